#include "ui/main/messagelabel.h"

#include "ui/main/geometry.h"

#include <QFontMetricsF>
#include <QPainter>

namespace {
constexpr int kFlags = Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap;
constexpr qreal kSmallestPointSize = 7.0;
constexpr qreal kStep = 0.5;
} // namespace

MessageLabel::MessageLabel(QWidget *parent) : QLabel(parent) {
    setWordWrap(true);
    // A pupil's name is shown as typed, never read as markup.
    setTextFormat(Qt::PlainText);
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setFont(designFont(12));
    setTextColour(this, Colours::Blue);
    setAccessibleDescription(QStringLiteral("れんぞく 100点の きろく"));
    // The caption shown until the first record procedure replaces it.
    setText(QStringLiteral("ただいま連続　　　回正解中です。　あなたの最高記録は　　　回です。"
                           "　　　最高連続正解回数は、　　　　　　　さんの　　　回です。"));
}

QFont MessageLabel::fittedFont() const {
    QFont f = font();
    const QRectF area = contentsRect();
    for (qreal size = font().pointSizeF(); size > kSmallestPointSize; size -= kStep) {
        f.setPointSizeF(size);
        const QRectF needed = QFontMetricsF(f).boundingRect(area, kFlags, text());
        if (needed.height() <= area.height() && needed.width() <= area.width())
            return f;
    }
    f.setPointSizeF(kSmallestPointSize);
    return f;
}

qreal MessageLabel::fittedPointSize() const {
    return fittedFont().pointSizeF();
}

void MessageLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setFont(fittedFont());
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    painter.drawText(contentsRect(), kFlags, text());
}
