#include "ui/main/welcomeimage.h"

#include "ui/main/geometry.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

WelcomePicture::WelcomePicture(QWidget *parent) : QWidget(parent) {
}

void WelcomePicture::paintEvent(QPaintEvent *) {
    // Drawn at the design size and scaled with the window, straight onto the screen: sharp
    // at any scale, and no picture kept in memory.
    const QRect twips = property("designTwips").toRect();
    const QRect design = twipsRect(twips.x(), twips.y(), twips.width(), twips.height());
    if (design.isEmpty())
        return;
    QPainter p(this);
    p.scale(qreal(width()) / design.width(), qreal(height()) / design.height());
    paintWelcomeIllustration(p, design.size());
}

void paintWelcomeIllustration(QPainter &p, const QSize &size) {
    p.setRenderHint(QPainter::Antialiasing);
    const qreal w = size.width();
    const qreal h = size.height();

    // Sky card.
    p.setPen(QPen(QColor(90, 140, 200), 2));
    p.setBrush(QColor(225, 240, 255));
    p.drawRoundedRect(QRectF(2, 2, w - 4, h - 4), 14, 14);

    // Smiling sun.
    const QPointF sun(w * 0.5, h * 0.2);
    const qreal r = w * 0.16;
    p.setPen(QPen(QColor(255, 170, 0), 3, Qt::SolidLine, Qt::RoundCap));
    for (int i = 0; i < 12; ++i) {
        const qreal a = i * M_PI / 6;
        p.drawLine(sun + QPointF(qCos(a), qSin(a)) * (r + 6),
                   sun + QPointF(qCos(a), qSin(a)) * (r + 16));
    }
    p.setPen(QPen(QColor(230, 140, 0), 2));
    p.setBrush(QColor(255, 215, 60));
    p.drawEllipse(sun, r, r);
    p.setBrush(QColor(70, 50, 30));
    p.setPen(Qt::NoPen);
    p.drawEllipse(sun + QPointF(-r * 0.35, -r * 0.2), r * 0.1, r * 0.14);
    p.drawEllipse(sun + QPointF(r * 0.35, -r * 0.2), r * 0.1, r * 0.14);
    p.setBrush(QColor(255, 150, 150));
    p.drawEllipse(sun + QPointF(-r * 0.6, r * 0.2), r * 0.15, r * 0.09);
    p.drawEllipse(sun + QPointF(r * 0.6, r * 0.2), r * 0.15, r * 0.09);
    p.setPen(QPen(QColor(70, 50, 30), 2, Qt::SolidLine, Qt::RoundCap));
    p.setBrush(Qt::NoBrush);
    p.drawArc(QRectF(sun.x() - r * 0.45, sun.y() - r * 0.2, r * 0.9, r * 0.7), 200 * 16, 140 * 16);

    // Slate with three facts.
    const QRectF slate(w * 0.1, h * 0.42, w * 0.8, h * 0.36);
    p.setPen(QPen(QColor(150, 100, 50), 6));
    p.setBrush(QColor(40, 100, 70));
    p.drawRoundedRect(slate, 6, 6);
    p.setPen(QColor(255, 255, 255));
    p.setFont(designFont(15, true));
    const QStringList facts = {QStringLiteral("２×３＝６"), QStringLiteral("４×５＝２０"),
                               QStringLiteral("９×９＝８１")};
    for (int i = 0; i < facts.size(); ++i) {
        const QRectF line(slate.left(), slate.top() + slate.height() * (0.08 + i * 0.3),
                          slate.width(), slate.height() * 0.28);
        p.drawText(line, Qt::AlignCenter, facts[i]);
    }

    // A pencil lying below the slate.
    p.save();
    p.translate(w * 0.5, h * 0.87);
    p.rotate(-12);
    const qreal len = w * 0.7;
    p.setPen(QPen(QColor(120, 80, 20), 1.5));
    p.setBrush(QColor(250, 200, 40));
    p.drawRect(QRectF(-len / 2, -8, len * 0.8, 16));
    p.setBrush(QColor(240, 120, 140));
    p.drawRect(QRectF(-len / 2 - 12, -8, 12, 16));
    QPainterPath tip;
    tip.moveTo(len * 0.3, -8);
    tip.lineTo(len / 2, 0);
    tip.lineTo(len * 0.3, 8);
    tip.closeSubpath();
    p.setBrush(QColor(240, 220, 180));
    p.drawPath(tip);
    p.restore();

    // Caption.
    p.setPen(QColor(30, 60, 140));
    p.setFont(designFont(14, true));
    p.drawText(QRectF(0, h * 0.03, w, h * 0.06), Qt::AlignHCenter | Qt::AlignTop,
               QStringLiteral("ようこそ"));
}
