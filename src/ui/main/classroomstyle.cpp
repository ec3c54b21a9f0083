#include "ui/main/classroomstyle.h"

#include <QApplication>
#include <QPainter>
#include <QStyleFactory>
#include <QStyleOption>

namespace {

// Dark blue, two logical pixels wide (four device pixels on a screen at scale 2).
const QColor kRingColour(0, 84, 196);
constexpr qreal kRingWidth = 2.0;

void drawRing(QPainter *painter, const QRect &rect) {
    painter->save();
    painter->setRenderHint(QPainter::Antialiasing, false);
    QPen pen(kRingColour, kRingWidth);
    pen.setJoinStyle(Qt::MiterJoin);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(
        QRectF(rect).adjusted(kRingWidth / 2, kRingWidth / 2, -kRingWidth / 2, -kRingWidth / 2));
    painter->restore();
}

} // namespace

ClassroomStyle::ClassroomStyle() : QProxyStyle(QStyleFactory::create(QStringLiteral("Fusion"))) {
}

void ClassroomStyle::drawPrimitive(PrimitiveElement element, const QStyleOption *option,
                                   QPainter *painter, const QWidget *widget) const {
    if (element == PE_FrameFocusRect) {
        drawRing(painter, option->rect);
        return;
    }
    QProxyStyle::drawPrimitive(element, option, painter, widget);
    if (element == PE_FrameLineEdit && (option->state & State_HasFocus))
        drawRing(painter, option->rect);
}

void ClassroomStyle::drawControl(ControlElement element, const QStyleOption *option,
                                 QPainter *painter, const QWidget *widget) const {
    if (element == CE_PushButton && (option->state & State_HasFocus)) {
        // The ring goes round the whole button instead of Fusion's inner rectangle.
        if (const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option)) {
            QStyleOptionButton plain = *button;
            plain.state &= ~State_HasFocus;
            QProxyStyle::drawControl(element, &plain, painter, widget);
            drawRing(painter, option->rect);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
    if (element == CE_TabBarTab && (option->state & State_HasFocus))
        drawRing(painter, option->rect);
}

void ClassroomStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex *option,
                                        QPainter *painter, const QWidget *widget) const {
    QProxyStyle::drawComplexControl(control, option, painter, widget);
    if (control == CC_ComboBox && (option->state & State_HasFocus))
        drawRing(painter, option->rect);
}

void useClassroomStyle() {
    if (!qobject_cast<ClassroomStyle *>(QApplication::style()))
        QApplication::setStyle(new ClassroomStyle);
}
