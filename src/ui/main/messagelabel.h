#pragma once
// The streak message label of the graded tabs: blue, word-wrapped from the top left, and
// drawn in a smaller size when a long holder name would otherwise run past its bottom edge.

#include <QLabel>

class MessageLabel : public QLabel {
    Q_OBJECT
public:
    explicit MessageLabel(QWidget *parent = nullptr);

    // The point size the current text is drawn in (the label's own size when it fits).
    qreal fittedPointSize() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont fittedFont() const;
};
