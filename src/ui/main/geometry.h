#pragma once
// Layout helpers: the design measures in twips (15 twips to a logical pixel) and uses a
// proportional Japanese Gothic face.

#include <QColor>
#include <QFont>
#include <QIcon>
#include <QRect>
#include <QWidget>

class QScreen;

inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(int twips) {
    return (twips + kTwipsPerPixel / 2) / kTwipsPerPixel;
}
inline int pixelsToTwips(int pixels) {
    return pixels * kTwipsPerPixel;
}
inline QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twipsToPixels(left), twipsToPixels(top), twipsToPixels(width),
                 twipsToPixels(height));
}
// Places a widget at its design rectangle and keeps that rectangle with it, so the window
// can be laid out again at another scale (scaleDesign).
inline void placeInTwips(QWidget *w, int left, int top, int width, int height) {
    w->setProperty("designTwips", QRect(left, top, width, height));
    w->setGeometry(twipsRect(left, top, width, height));
}

// Marks a widget whose text must stay whole at every scale: `widest` is the widest text it
// shows. Text does not shrink exactly with its point size (a bold made from a regular face
// and hinting add whole pixels to every character), so where `widest` would not fit,
// scaleDesign makes the font smaller still.
inline void keepTextWhole(QWidget *w, const QString &widest) {
    w->setProperty("widestText", widest);
}

// Lays out every widget below `root` that was placed in twips at `factor` times its design
// rectangle, and gives every widget below `root` its design font at `factor` times the size.
// The design sizes are those the widgets have the first time this runs.
void scaleDesign(QWidget *root, qreal factor);

// What the window manager adds round a top-level window: known once it is shown; before
// that a title bar and thin borders are assumed.
QSize windowFrameExtra(const QWidget *window);

// Makes a top-level window, frame included, fit the available area of `screen` (the
// taskbar left free): its size is bounded by the area, a window never shown is centred on
// it, and one shown before is moved only as far as needed for all of it to show.
void fitOnScreen(QWidget *window, QScreen *screen);

// The largest scale, at most 1, at which something of `design` size fits into `available`.
qreal fitFactor(const QSize &design, const QSize &available);

// Height of the tab strip's row of tabs in twips. Positions the design gives "on the tab"
// are measured from the top of the strip; Qt's page starts below the tabs, so page code
// subtracts this.
inline constexpr int kTabRowTwips = 420;
inline void placeOnTabPage(QWidget *w, int left, int top, int width, int height) {
    placeInTwips(w, left, top - kTabRowTwips, width, height);
}

// The design font at a point size, falling back through metric-compatible Japanese faces.
QFont designFont(qreal pointSize, bool bold = false, bool underline = false);

// Sets a widget's text colour (and optionally its background) through its palette.
void setTextColour(QWidget *w, const QColor &colour);
void setBackgroundColour(QWidget *w, const QColor &colour);

// Hides every widget of a list or array.
template <typename Widgets> void hideAll(const Widgets &widgets) {
    for (QWidget *w : widgets)
        w->hide();
}

// The program's icon in every size from 16 to 256 pixels, so it is sharp at any scale.
QIcon applicationIcon();

// A PNG picture of the resources, read as PNG: the image-format plugins (none of which reads
// PNG) are not loaded to be asked whether they know the file.
QPixmap pngPixmap(const QString &path);

// Qt's own dialogs and buttons (file, print, message boxes) in Japanese, whatever the
// system's language: the program's Japanese pupils and teacher read no English.
void installJapaneseQtTexts();

// Names a control its documented name; an array element is "<Name>_<index>" and also carries
// the index as the dynamic property "index".
void nameControl(QObject *o, const QString &name);
void nameArrayControl(QObject *o, const QString &arrayName, int index);

namespace Colours {
inline const QColor Red(255, 0, 0);
inline const QColor Blue(0, 0, 255);
inline const QColor White(255, 255, 255);
inline const QColor Black(0, 0, 0);
inline const QColor FocusBackground(192, 255, 192);
inline const QColor FocusText(0, 0, 255);
inline const QColor ClockGreen(0, 128, 0);
inline const QColor WrongPink(255, 192, 255);
// The platform's menu-bar background (system colour index 4).
QColor menuBar();
} // namespace Colours
