#pragma once
// Keys and mouse clicks delivered through the X server (XTest), as a keyboard and a mouse
// deliver them: the toolkit sees them exactly as it sees a person's input, auto-repeat
// included. Kept apart from Qt's headers because Xlib's macros clash with Qt's names.

#include <QPoint>
#include <QStringList>

class XInput {
public:
    XInput();
    ~XInput();
    XInput(const XInput &) = delete;
    XInput &operator=(const XInput &) = delete;

    // False when no X server with the XTest extension could be reached.
    bool ok() const { return m_display != nullptr; }

    // A key by its X keysym name ("Return", "a", "Right", "Alt_L", "1"): pressed and
    // released, with the given modifier keys held around it.
    void tap(const QString &key, const QStringList &modifiers = {});
    // Types ASCII letters and digits one key at a time.
    void type(const QString &text);
    // Moves the pointer to a point of the screen and clicks the left button there.
    void click(const QPoint &globalPos);

private:
    void key(const QString &name, bool down);
    void *m_display = nullptr;
};
