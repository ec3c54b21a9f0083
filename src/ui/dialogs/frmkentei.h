#pragma once
// 九九けんてい on the desktop: the pupil picks a row and a way, answers the nine questions
// one at a time against the clock, and sees the card (九九カード) after each check. The rules
// are the classroom model's (KukuCheck, Classroom::answerCheck, Classroom::kukuCard); this
// window draws and sends. The card prints on an A4 page, or goes to a PDF file.

#include "classroom/kukucheck.h"

#include <QDialog>
#include <QElapsedTimer>
#include <functional>
#include <optional>

class AnswerBox;
class Classroom;
class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QPushButton;
class QTimer;

class frmKentei : public QDialog {
    Q_OBJECT
public:
    // `teacherAllowed` asks for the teacher's PIN before a stamp (true: go on).
    frmKentei(Classroom &classroom, std::function<bool()> teacherAllowed,
              QWidget *parent = nullptr);

    // The text of a card cell as shown: "◎ 12/7", "先生 ◎ 12/7" or "".
    static QString cellText(const CardCell &cell);

    // Where "PDFに ほぞん" writes, asked in a file dialog unless a test answers it.
    using PathHook = std::function<QString()>;
    void setPdfPathHook(PathHook hook) { m_pdfPathHook = std::move(hook); }

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    void chooseRow(int row);
    void chooseWay(CheckWay way);
    void start();
    void showQuestion();
    void answer(int index, qint16 keyCode);
    void finish(KukuCheck::Outcome outcome);
    void stamp();
    void showCard();
    void tick();
    void printCard();
    void saveCardPdf();
    PupilCard pupilCard();

    Classroom &m_classroom;
    std::function<bool()> m_teacherAllowed;
    quint16 m_rows = 0;
    int m_row = 0;
    CheckWay m_way = CheckWay::Up;
    std::optional<KukuCheck> m_check;
    QList<QPushButton *> m_rowButtons;
    QList<QPushButton *> m_wayButtons;
    QPushButton *m_start = nullptr;
    QPushButton *m_stamp = nullptr;
    QLabel *m_question = nullptr;
    AnswerBox *m_box = nullptr;
    QLabel *m_clock = nullptr;
    QLabel *m_message = nullptr;
    QList<QLabel *> m_cells; // [row - 1][way], row by row
    QList<QLabel *> m_passedRows;
    QTimer *m_ticker = nullptr;
    QElapsedTimer m_since; // since the check started, for the clock shown
    QElapsedTimer m_asked; // since the question was shown
    bool m_enterAnswered = false;
    PathHook m_pdfPathHook;
};

// The teacher's settings of the check (ﾂｰﾙ → 九九けんていの設定..., behind the PIN): the rows
// the class has learned, written to the data folder for every computer of the class, and the
// time limit of each way, this computer's choice like the other options.
class frmKenteiSettings : public QDialog {
    Q_OBJECT
public:
    frmKenteiSettings(Classroom &classroom, QWidget *parent = nullptr);

private:
    void save();

    Classroom &m_classroom;
    QList<QCheckBox *> m_rowChecks;
    QList<QComboBox *> m_limitCombos;
    QLabel *m_problem = nullptr;
};
