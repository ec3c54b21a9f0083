#include "ui/dialogs/frmfacts.h"

#include "classroom/classroom.h"
#include "core/keys.h"
#include "core/numericvalue.h"
#include "ui/main/accessibility.h"
#include "ui/main/answerbox.h"
#include "ui/main/geometry.h"
#include "ui/main/numberpad.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

QColor stateColour(FactState state) {
    switch (state) {
    case FactState::Known:
        return {170, 230, 170};
    case FactState::Learning:
        return {255, 236, 150};
    case FactState::NotYet:
        break;
    }
    return Colours::White;
}

QLabel *cellLabel(const QString &text, QWidget *parent, qreal points = 13) {
    auto *label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setAlignment(Qt::AlignCenter);
    label->setFont(designFont(points));
    return label;
}

QPushButton *closeButton(QDialog *dialog) {
    auto *close = new QPushButton(QStringLiteral("とじる"), dialog);
    close->setObjectName(QStringLiteral("FactsCloseCommand"));
    close->setFont(designFont(12));
    QObject::connect(close, &QPushButton::clicked, dialog, &QDialog::accept);
    return close;
}

} // namespace

QString frmFactMap::mark(FactState state) {
    switch (state) {
    case FactState::Known:
        return QStringLiteral("◎");
    case FactState::Learning:
        return QStringLiteral("△");
    case FactState::NotYet:
        break;
    }
    return QStringLiteral("・");
}

QString frmFactMap::word(FactState state) {
    switch (state) {
    case FactState::Known:
        return QStringLiteral("おぼえた");
    case FactState::Learning:
        return QStringLiteral("もうすこし");
    case FactState::NotYet:
        break;
    }
    return QStringLiteral("まだ");
}

frmFactMap::frmFactMap(const PupilFacts &facts, int limitMs, QWidget *parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmFactMap"));
    setWindowTitle(QStringLiteral("わたしの 九九"));
    auto *layout = new QVBoxLayout(this);
    auto *count = cellLabel(
        QStringLiteral("おぼえた 九九: %1 / 81").arg(knownFacts(facts, limitMs)), this, 16);
    count->setObjectName(QStringLiteral("FactMapCountLabel"));
    layout->addWidget(count);

    auto *grid = new QGridLayout;
    grid->setSpacing(2);
    grid->addWidget(cellLabel(QStringLiteral("×"), this), 0, 0);
    for (int n = 1; n <= 9; ++n) {
        grid->addWidget(cellLabel(QString::number(n), this, 14), 0, n);
        grid->addWidget(cellLabel(QString::number(n), this, 14), n, 0);
    }
    for (int a = 1; a <= 9; ++a) {
        for (int b = 1; b <= 9; ++b) {
            const FactState state = facts[factIndex(a, b)].state(limitMs);
            auto *cell =
                cellLabel(QStringLiteral("%1×%2\n%3").arg(a).arg(b).arg(mark(state)), this, 11);
            cell->setObjectName(QStringLiteral("FactMapCell_%1_%2").arg(a).arg(b));
            cell->setAccessibleName(
                QStringLiteral("%1かける%2、%3").arg(a).arg(b).arg(word(state)));
            cell->setMinimumSize(52, 44);
            cell->setAutoFillBackground(true);
            cell->setFrameShape(QFrame::Box);
            setBackgroundColour(cell, stateColour(state));
            setTextColour(cell, Colours::Black);
            grid->addWidget(cell, a, b);
        }
    }
    layout->addLayout(grid);

    auto *legend = new QHBoxLayout;
    for (FactState state : {FactState::Known, FactState::Learning, FactState::NotYet}) {
        auto *key = cellLabel(mark(state) + QStringLiteral(" ") + word(state), this, 12);
        key->setAutoFillBackground(true);
        key->setFrameShape(QFrame::Box);
        setBackgroundColour(key, stateColour(state));
        setTextColour(key, Colours::Black);
        legend->addWidget(key);
    }
    legend->addStretch();
    legend->addWidget(closeButton(this));
    layout->addLayout(legend);
}

frmWeakPractice::frmWeakPractice(Classroom &classroom, bool numberPad, QWidget *parent)
    : QDialog(parent), m_classroom(classroom) {
    setObjectName(QStringLiteral("frmWeakPractice"));
    setWindowTitle(QStringLiteral("にがて れんしゅう"));
    auto *outer = new QHBoxLayout(this);
    auto *layout = new QVBoxLayout;
    outer->addLayout(layout, 1);
    m_intro = cellLabel(QString(), this, 14);
    m_intro->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    m_intro->setWordWrap(true);
    layout->addWidget(m_intro);

    // Two columns of questions, filled top to bottom, as on the practice page.
    auto *grid = new QGridLayout;
    for (int i = 0; i < kWeakSetSize; ++i) {
        auto *question = cellLabel(QString(), this, 20);
        question->setObjectName(QStringLiteral("WeakQuestion_%1").arg(i));
        question->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        auto *box = new AnswerBox(QStringLiteral("WeakAnswerTextBox"), i, this);
        box->setFixedWidth(80);
        auto *mark = cellLabel(QString(), this, 18);
        mark->setObjectName(QStringLiteral("WeakMark_%1").arg(i));
        mark->setMinimumWidth(40);
        setTextColour(mark, Colours::Red);
        const int row = i % (kWeakSetSize / 2), column = (i / (kWeakSetSize / 2)) * 3;
        grid->addWidget(question, row, column);
        grid->addWidget(box, row, column + 1);
        grid->addWidget(mark, row, column + 2);
        m_questions << question;
        m_boxes << box;
        m_marks << mark;
        connect(box, &AnswerBox::keyDown, this, &frmWeakPractice::answer);
    }
    layout->addLayout(grid);

    m_end = cellLabel(QString(), this, 16);
    m_end->setObjectName(QStringLiteral("WeakEndLabel"));
    layout->addWidget(m_end);
    auto *buttons = new QHBoxLayout;
    m_again = new QPushButton(QStringLiteral("もういちど"), this);
    m_again->setObjectName(QStringLiteral("WeakRetryCommand"));
    m_again->setFont(designFont(12));
    connect(m_again, &QPushButton::clicked, this, &frmWeakPractice::deal);
    buttons->addStretch();
    buttons->addWidget(m_again);
    buttons->addWidget(closeButton(this));
    layout->addLayout(buttons);
    if (numberPad)
        outer->addWidget(new NumberPad(this));
    deal();
}

void frmWeakPractice::deal() {
    m_set = m_classroom.dealWeakSet();
    m_answered = QList<bool>(kWeakSetSize, false);
    m_right = 0;
    QStringList learnt;
    for (int fact : std::as_const(m_set.weakFacts))
        learnt << QStringLiteral("%1×%2").arg(fact / 9 + 1).arg(fact % 9 + 1);
    m_intro->setText(QStringLiteral("きょうの れんしゅう: ") + learnt.join(QStringLiteral("、")));
    for (int i = 0; i < kWeakSetSize; ++i) {
        const auto [a, b] = m_set.questions.value(i, {1, 1});
        // Full-width digits with ideographic spaces, as the other pages write a question.
        const QString text =
            QStringLiteral("%1　×　%2　＝　").arg(QChar(0xFF10 + a)).arg(QChar(0xFF10 + b));
        m_questions[i]->setText(text);
        m_questions[i]->hide();
        m_boxes[i]->setText(QString());
        m_boxes[i]->newQuestion();
        m_boxes[i]->setQuestion(text.trimmed());
        m_boxes[i]->setReadOnly(false);
        m_boxes[i]->hide();
        m_marks[i]->clear();
    }
    m_end->clear();
    showQuestion(0);
}

void frmWeakPractice::keyPressEvent(QKeyEvent *event) {
    // Enter in an answer box answers; it must not press the window's default button too.
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    if (enter && (qobject_cast<AnswerBox *>(focusWidget()) || m_enterAnswered)) {
        m_enterAnswered = false;
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

void frmWeakPractice::showQuestion(int index) {
    m_questions[index]->show();
    m_boxes[index]->show();
    m_boxes[index]->setFocus(Qt::OtherFocusReason);
}

void frmWeakPractice::answer(int index, qint16 keyCode) {
    // Digits and editing keys belong to the box; Enter with a number in it answers.
    if (isEditingKey(keyCode) || keyCode != VK::Return || m_answered[index] ||
        m_boxes[index]->text().isEmpty())
        return;
    m_answered[index] = true;
    const auto [a, b] = m_set.questions[index];
    const bool right = numericValue(m_boxes[index]->text()) == double(a * b);
    m_classroom.recordAnswer(LoggedActivity::WeakFacts,
                             m_boxes[index]->withFirstAnswer({a, b, right}));
    m_right += right;
    m_marks[index]->setText(right ? QStringLiteral("◎") : QStringLiteral("×"));
    announce(m_marks[index], right ? QStringLiteral("せいかい")
                                   : QStringLiteral("まちがい。こたえは %1").arg(a * b));
    if (!right) // put right in place: the pupil sees the product
        m_boxes[index]->setText(QString::number(a * b));
    m_boxes[index]->setReadOnly(true);
    if (index + 1 < kWeakSetSize) {
        showQuestion(index + 1);
        return;
    }
    // The Enter that answered the last question goes on to the window after this: it must
    // not press the button that has the focus now.
    m_enterAnswered = true;
    m_end->setText(
        QStringLiteral("おわり！ %1もん中 %2もん せいかい。").arg(kWeakSetSize).arg(m_right));
    announce(m_end, m_end->text());
    m_again->setFocus(Qt::OtherFocusReason);
}
