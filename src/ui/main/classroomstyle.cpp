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

QIcon ClassroomStyle::standardIcon(StandardPixmap standardIcon, const QStyleOption *option,
                                   const QWidget *widget) const {
    if (standardIcon != SP_ToolBarHorizontalExtensionButton &&
        standardIcon != SP_ToolBarVerticalExtensionButton)
        return QProxyStyle::standardIcon(standardIcon, option, widget);
    // Two chevrons pointing along the bar, at twice the size for screens at scale 2.
    QPixmap pixmap(32, 32);
    pixmap.setDevicePixelRatio(2.0);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(QColor(60, 60, 60), 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
    if (standardIcon == SP_ToolBarVerticalExtensionButton) {
        painter.translate(16, 0);
        painter.rotate(90);
    }
    for (qreal x : {4.0, 9.0})
        painter.drawPolyline(QPolygonF({QPointF(x, 4), QPointF(x + 4, 8), QPointF(x, 12)}));
    painter.end();
    return QIcon(pixmap);
}

void useClassroomStyle() {
    if (!qobject_cast<ClassroomStyle *>(QApplication::style()))
        QApplication::setStyle(new ClassroomStyle);
}
