#pragma once
// The streak message label of the graded tabs: blue, word-wrapped from the top left, and
// drawn in a smaller size when a long holder name would otherwise run past its bottom edge.
// Lines break only at the message's spaces and after its sentences, never inside a name or
// before "す。" (a part longer than a whole line breaks where it must).

#include <QLabel>
#include <QStringList>

class MessageLabel : public QLabel {
    Q_OBJECT
public:
    explicit MessageLabel(QWidget *parent = nullptr);

    // The lines as they are drawn now.
    QStringList shownLines() const;

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    QFont fittedFont() const;
};
