#include "xinput.h"

#include <QStringList>

#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace {
Display *dpy(void *d) {
    return static_cast<Display *>(d);
}
} // namespace

XInput::XInput() {
    Display *d = XOpenDisplay(nullptr);
    int event = 0, error = 0, major = 0, minor = 0;
    if (d && !XTestQueryExtension(d, &event, &error, &major, &minor)) {
        XCloseDisplay(d);
        d = nullptr;
    }
    m_display = d;
}

XInput::~XInput() {
    if (m_display)
        XCloseDisplay(dpy(m_display));
}

void XInput::key(const QString &name, bool down) {
    if (!m_display)
        return;
    const KeySym sym = XStringToKeysym(name.toLatin1().constData());
    const KeyCode code = XKeysymToKeycode(dpy(m_display), sym);
    if (code == 0)
        return;
    XTestFakeKeyEvent(dpy(m_display), code, down ? True : False, CurrentTime);
    XSync(dpy(m_display), False);
}

void XInput::tap(const QString &name, const QStringList &modifiers) {
    for (const QString &m : modifiers)
        key(m, true);
    key(name, true);
    key(name, false);
    for (auto it = modifiers.crbegin(); it != modifiers.crend(); ++it)
        key(*it, false);
}

void XInput::type(const QString &text) {
    for (QChar c : text) {
        const QString name(c);
        if (c.isUpper())
            tap(name, {"Shift_L"});
        else
            tap(name);
    }
}

void XInput::click(const QPoint &globalPos) {
    if (!m_display)
        return;
    Display *d = dpy(m_display);
    XTestFakeMotionEvent(d, -1, globalPos.x(), globalPos.y(), CurrentTime);
    XTestFakeButtonEvent(d, 1, True, CurrentTime);
    XTestFakeButtonEvent(d, 1, False, CurrentTime);
    XSync(d, False);
}
