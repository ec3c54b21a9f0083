#pragma once
// The class sheet window for the teacher (menu ﾂｰﾙ): every pupil's best runs and answers, the
// class records, the 81 facts coloured by the share of wrong first answers over a period, for
// the class or one pupil, and who answered nothing; on a tab of its own, the class's
// 九九けんてい (a line per pupil, a column per row, how many passed each row). It prints the
// sheet or saves it as PDF, and the pupils' 九九カード one to a page.

#include "classroom/classsheet.h"
#include "classroom/kukucheck.h"

#include <QDialog>
#include <functional>
#include <memory>

class Classroom;
class QComboBox;
class QLineEdit;
class QLabel;
class QProgressBar;
class QPushButton;
class QTableWidget;
class QTabWidget;
class QTimer;

class frmClassSheet : public QDialog {
    Q_OBJECT
public:
    explicit frmClassSheet(Classroom &classroom, QWidget *parent = nullptr);
    // A read still running is stopped and waited for.
    ~frmClassSheet() override;

    // Reads the roster and the record file again, and every computer's answer log in the
    // background: the sheet shows the roster at once and the answers when they are read.
    void Form_Load();
    // The answer logs are being read (for the sheet, then for the pupils' cards).
    bool isReading() const;
    QProgressBar *progressBar() const { return m_progress; }
    // The day the periods end on; today unless set (for pictures of a sheet).
    void setToday(const QDate &today);

    const ClassSheet &sheet() const { return m_sheet; }
    QComboBox *periodCombo() const { return m_period; }
    QComboBox *pupilCombo() const { return m_pupil; }
    QTableWidget *pupilTable() const { return m_table; }
    QTableWidget *factGrid() const { return m_grid; }
    QTabWidget *tabs() const { return m_tabs; }
    // The class's 九九けんてい: a line per pupil, then the line of how many passed each row.
    QTableWidget *kenteiTable() const { return m_kentei; }
    const QList<PupilCard> &cards() const { return m_cards; }

    // Where "PDFに保存" writes, asked in a file dialog unless a test answers it.
    using PathHook = std::function<QString()>;
    void setPdfPathHook(PathHook hook) { m_pdfPathHook = std::move(hook); }

public Q_SLOTS:
    void refresh();
    void PrintCommand_Click();
    void PdfCommand_Click();
    void CardsPrintCommand_Click();
    void CardsPdfCommand_Click();

private:
    void showSheet();
    void stopReading();
    void readSlice();
    void logsRead();
    void readCardsSlice();
    void showCards();
    // Where a PDF goes: the hook's answer, or the teacher's choice in a file dialog that
    // offers `fileName` in the Documents folder (the data folder where there is none).
    QString pdfPath(const QString &fileName);
    // What printing or saving came to, in a line under the sheet.
    void showOutcome(const QString &text, bool failed);

    Classroom &m_classroom;
    QDate m_today;
    ClassRoster m_roster;
    AnswerLogs m_logs;
    ClassSheet m_sheet;
    PathHook m_pdfPathHook;
    QComboBox *m_period = nullptr;
    QComboBox *m_pupil = nullptr;
    QLineEdit *m_className = nullptr; // the class's name for the sheet, its PDF and its title
    QLabel *m_range = nullptr;
    QLabel *m_records = nullptr;
    QLabel *m_gridTitle = nullptr;
    QLabel *m_idle = nullptr;
    QLabel *m_status = nullptr;
    QLabel *m_logProblem = nullptr;
    QLabel *m_outcome = nullptr;
    QProgressBar *m_progress = nullptr;
    QTimer *m_readTimer = nullptr;
    QList<QPushButton *> m_readingDisables;    // reload, print, PDF: not while reading
    std::unique_ptr<AnswerLogReader> m_reader; // the read running, a slice at each timer tick
    QTableWidget *m_table = nullptr;
    QTableWidget *m_grid = nullptr;
    QTabWidget *m_tabs = nullptr;
    QTableWidget *m_kentei = nullptr;
    QList<PupilCard> m_cards;
    bool m_readingCards = false; // the logs are read for the cards after the sheet's reading
};
