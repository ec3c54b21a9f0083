#pragma once
// The program's widget style: the platform's Fusion look, with a focus ring that is always
// drawn, strong enough to see from a pupil's seat, on every control that can take the
// keyboard focus (buttons, row buttons, tabs, the name box, the answer boxes). Fusion alone
// shows the focus only after the Tab key was used, and not at all on a default button.

#include <QProxyStyle>

class ClassroomStyle : public QProxyStyle {
    Q_OBJECT
public:
    ClassroomStyle();

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget = nullptr) const override;
    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    void drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                            QPainter *painter, const QWidget *widget = nullptr) const override;
    // The menu bar's overflow button gets a drawn chevron: Fusion's own is a picture file
    // whose reading loads every image-format plugin while the menu bar is built.
    QIcon standardIcon(StandardPixmap standardIcon, const QStyleOption *option = nullptr,
                       const QWidget *widget = nullptr) const override;
};

// Makes ClassroomStyle the application's style, once.
void useClassroomStyle();
