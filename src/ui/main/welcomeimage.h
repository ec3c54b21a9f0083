#pragma once
#include <QSize>
#include <QWidget>

class QPainter;

// The welcome illustration of the sign-in page, drawn in code: a smiling sun over a slate
// with a few facts of the table and a pencil, into `size` logical pixels.
void paintWelcomeIllustration(QPainter &painter, const QSize &size);

// The illustration on the sign-in page, drawn whenever it is painted. Placed in twips, it
// scales with the window like the controls. Screen readers take it for a picture.
class WelcomePicture : public QWidget {
    Q_OBJECT
public:
    explicit WelcomePicture(QWidget *parent = nullptr);

protected:
    void paintEvent(QPaintEvent *event) override;
};
