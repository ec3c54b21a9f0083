#pragma once
// The teacher's class list: every pupil with the four best runs; pupils added (one or a pasted
// column of names), renamed in place, removed, merged, reset and put in あいうえお order.
// Every change is written at once through the roster's save.

#include "records/roster.h"

#include <QDialog>

class Classroom;
class QLabel;
class QPlainTextEdit;
class QTableWidget;

class frmClassList : public QDialog {
    Q_OBJECT
public:
    explicit frmClassList(Classroom &classroom, QWidget *parent = nullptr);

private:
    void showList();
    void addNames();
    void readFile();
    void rename(int row, const QString &typed);
    void removeChosen();
    void mergeChosen();
    void resetChosen();
    void sort();
    // Offers the versions of the roster this computer kept, and puts the chosen one's pupils back.
    void restoreVersion();
    // Asks about a change held because it would take most of the class off the roster.
    void askHeldDrop();
    // The selected rows, top to bottom.
    QList<int> chosenRows() const;
    bool confirm(const QString &text);
    // Writes the list; the message says what was done, or why not.
    void write(const QList<RosterRow> &pupils, const QString &done, const QStringList &refusals,
               const QList<QPair<QString, QString>> &renamed = {});

    Classroom &m_classroom;
    QList<RosterRow> m_pupils;
    QTableWidget *m_table = nullptr;
    QPlainTextEdit *m_newNames = nullptr;
    QLabel *m_message = nullptr;
    bool m_filling = false;
};
