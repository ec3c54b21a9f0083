#pragma once
// Tab 1: practice on one row of the table.

#include <QWidget>

class frmMain;
class QGroupBox;
class QPushButton;

class PracticePage : public QWidget {
    Q_OBJECT
public:
    PracticePage(frmMain &main, QWidget *parent);

public Q_SLOTS:
    void QuorinPracticeRetryCommand_Click();
    void QuorinPracticeFinCommand_Click();

Q_SIGNALS:
    // Emitted at the end of every Retry (a fresh page, waiting for a row).
    void retried();

private:
    frmMain &m_main;
    QGroupBox *m_frame = nullptr;
    QPushButton *m_retry = nullptr;
    QPushButton *m_fin = nullptr;
};
