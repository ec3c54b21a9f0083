#pragma once
// The full-mark list: a modeless window without owner listing the pupils whose best run at
// the selected tab's activity is not zero.

#include <QDialog>

class frmMain;
class QListWidget;
class QLabel;
class QPushButton;

class QuorinScoreDialog : public QDialog {
    Q_OBJECT
public:
    explicit QuorinScoreDialog(frmMain &main);

    // Builds the heading and the list from the roster file (runs once, when the window loads).
    void Form_Load();

public Q_SLOTS:
    void OKButton_Click();

private:
    frmMain &m_main;
    QListWidget *m_list = nullptr;
    QLabel *m_heading = nullptr;
    QPushButton *m_ok = nullptr;
};
