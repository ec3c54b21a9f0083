#pragma once
// The full-mark list: a modeless window without owner listing the pupils whose best run at
// the selected tab's activity is not zero.

#include <QDialog>

class Classroom;
class QListWidget;
class QLabel;
class QPushButton;

class QuorinScoreDialog : public QDialog {
    Q_OBJECT
public:
    explicit QuorinScoreDialog(Classroom &classroom);

    // Builds the heading and the list from the roster file (runs once, when the window loads).
    void Form_Load();

    QListWidget *list() const { return m_list; }
    QLabel *heading() const { return m_heading; }
    // The listed names, in list order.
    QStringList names() const;

public Q_SLOTS:
    void OKButton_Click();

protected:
    void resizeEvent(QResizeEvent *event) override;

private:
    Classroom &m_classroom;
    QListWidget *m_list = nullptr;
    QLabel *m_heading = nullptr;
    QPushButton *m_ok = nullptr;
};
