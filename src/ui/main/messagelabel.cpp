#include "ui/main/messagelabel.h"

#include "ui/main/geometry.h"

#include <QPainter>
#include <QTextLayout>
#include <memory>

namespace {
constexpr qreal kSmallestPointSize = 7.0;
constexpr qreal kStep = 0.5;
constexpr QChar kWordJoiner(0x2060);

// Joins every two characters with a word joiner except after a space or a sentence's end,
// the only places a line may break.
QString keptTogether(const QString &text) {
    QString joined;
    joined.reserve(text.size() * 2);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        joined += c;
        const bool breakAfter = c.isSpace() || c == u'。' || c.isHighSurrogate();
        if (i + 1 < text.size() && !breakAfter)
            joined += kWordJoiner;
    }
    return joined;
}

// The text laid out `width` wide; its height and widest line are given back.
struct Laid {
    std::unique_ptr<QTextLayout> layout;
    qreal height = 0;
    qreal width = 0;
};
Laid layOut(const QString &text, const QFont &font, qreal width) {
    Laid laid{std::make_unique<QTextLayout>(keptTogether(text), font)};
    QTextOption option(Qt::AlignLeft | Qt::AlignTop);
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    laid.layout->setTextOption(option);
    laid.layout->beginLayout();
    for (QTextLine line = laid.layout->createLine(); line.isValid();
         line = laid.layout->createLine()) {
        line.setLineWidth(width);
        line.setPosition(QPointF(0, laid.height));
        laid.height += line.height();
        laid.width = qMax(laid.width, line.naturalTextWidth());
    }
    laid.layout->endLayout();
    return laid;
}
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
        const Laid laid = layOut(text(), f, area.width());
        if (laid.height <= area.height() && laid.width <= area.width())
            return f;
    }
    f.setPointSizeF(kSmallestPointSize);
    return f;
}

void MessageLabel::paintEvent(QPaintEvent *) {
    QPainter painter(this);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::WindowText));
    const QRectF area = contentsRect();
    layOut(text(), fittedFont(), area.width()).layout->draw(&painter, area.topLeft());
}

QStringList MessageLabel::shownLines() const {
    const Laid laid = layOut(text(), fittedFont(), contentsRect().width());
    QStringList lines;
    for (int i = 0; i < laid.layout->lineCount(); ++i) {
        const QTextLine line = laid.layout->lineAt(i);
        lines << laid.layout->text().mid(line.textStart(), line.textLength()).remove(kWordJoiner);
    }
    return lines;
}
