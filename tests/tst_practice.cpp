// The practice page of tab 1: the row choice, answer checking and the evaluation, driven
// through the widgets with a seeded random source.

#include "testsupport.h"
#include "ui/main/practicepage.h"

#include <QApplication>
#include <QComboBox>
#include <QDirIterator>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabWidget>

namespace {

const QString kPraise = QStringLiteral("よくできました！おめでとう。");
const QString kEncourage = QStringLiteral("残念！がんばりましょう。");

QRadioButton *option(TestMain &t, int k) {
    return t.find<QRadioButton>(QStringLiteral("QuorinPracticeSelectOption_%1").arg(k));
}
QLabel *question(TestMain &t, int i) {
    return t.find<QLabel>(QStringLiteral("QuorinPracticeQuestion_%1").arg(i));
}
QLineEdit *box(TestMain &t, int i) {
    return t.find<QLineEdit>(QStringLiteral("QuorinPracticeAnswerTextBox_%1").arg(i));
}
QLabel *result(TestMain &t, int i) {
    return t.find<QLabel>(QStringLiteral("QuorinPracticeResult_%1").arg(i));
}
QLabel *evaluation(TestMain &t) {
    return t.find<QLabel>(QStringLiteral("QuorinPracticeEvaluation"));
}
QWidget *focused() {
    return QApplication::focusWidget();
}

// The two factors of a question text such as "３　×　７　＝　".
QPair<int, int> factorsOf(const QString &text) {
    const QString digits = QStringLiteral("１２３４５６７８９");
    return {int(digits.indexOf(text.at(0))) + 1, int(digits.indexOf(text.at(4))) + 1};
}
int productOf(const QString &text) {
    const auto [a, b] = factorsOf(text);
    return a * b;
}

// Signs a pupil in, shows the window and enters the practice tab.
void enterPractice(TestMain &t) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->clear();
    typeText(edit, QStringLiteral("たろう"));
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
    t.window->show();
    QApplication::setActiveWindow(t.window.get());
    QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
    t.window->tabStrip()->setCurrentIndex(1);
}

void chooseRow(TestMain &t, int k) {
    QTest::mouseClick(option(t, k), Qt::LeftButton);
}

// Types the text into box i and confirms it with Enter.
void answer(TestMain &t, int i, const QString &text) {
    QLineEdit *b = box(t, i);
    b->clear();
    QTest::keyClicks(b, text);
    QTest::keyClick(b, Qt::Key_Return);
}
void answerCorrectly(TestMain &t, int i) {
    answer(t, i, QString::number(productOf(question(t, i)->text())));
}

int checkedRow(TestMain &t) {
    int checked = -1;
    for (int k = 0; k < 10; ++k)
        if (option(t, k)->isChecked())
            checked = checked == -1 ? k : 100; // 100: more than one
    return checked;
}

bool allOptionsEnabled(TestMain &t, bool enabled) {
    for (int k = 0; k < 10; ++k)
        if (option(t, k)->isEnabled() != enabled)
            return false;
    return true;
}

// What the pupil sees of the question rows: visibility and text of every control.
QStringList pageState(TestMain &t) {
    QStringList out;
    for (int i = 0; i < 18; ++i)
        out << QStringLiteral("%1 %2%3%4 %5 %6")
                   .arg(i)
                   .arg(question(t, i)->isVisible())
                   .arg(box(t, i)->isVisible())
                   .arg(result(t, i)->isVisible())
                   .arg(box(t, i)->text(), result(t, i)->text());
    out << QString::number(evaluation(t)->isVisible()) + evaluation(t)->text();
    return out;
}

QColor textColour(QLabel *label) {
    return label->palette().color(QPalette::WindowText);
}

QMap<QString, QByteArray> folderContents(const QString &path) {
    QMap<QString, QByteArray> out;
    QDirIterator it(path, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        out.insert(file, readBytes(file));
    }
    return out;
}

} // namespace

class TestPractice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }

    void layoutAndCaptions();
    void rowChoice_data();
    void rowChoice();
    void randomRowIsUniform();
    void keyboardChoosesRow_data();
    void keyboardChoosesRow();
    void confirmingKeys_data();
    void confirmingKeys();
    void wrongThenCorrected();
    void wholeRowWithoutMiss();
    void leftColumnGoesAfterBox8();
    void box17AgainChangesNothing();
    void reconfirmingAnsweredBox();
    void retryRightAfterChoice();
    void missCountSaturates();
    void snapshots();
};

void TestPractice::layoutAndCaptions() {
    TestMain t;
    enterPractice(t);
    auto *select = t.find<QGroupBox>(QStringLiteral("QuorinPracticeSelectFrame"));
    QVERIFY(select);
    QCOMPARE(select->title(), QStringLiteral("なんだんのれんしゅうをしますか？"));
    const QStringList captions = {QStringLiteral("１"), QStringLiteral("2"), QStringLiteral("3"),
                                  QStringLiteral("4"),  QStringLiteral("5"), QStringLiteral("6"),
                                  QStringLiteral("7"),  QStringLiteral("8"), QStringLiteral("9"),
                                  QStringLiteral("???")};
    QWidget *page = t.window->practicePage();
    const QRect pageRect = page->rect();
    for (int k = 0; k < 10; ++k) {
        QCOMPARE(option(t, k)->text(), captions[k]);
        QCOMPARE(option(t, k)->parentWidget(), select);
        QCOMPARE(option(t, k)->property("index").toInt(), k);
        // The caption is not cut off by the button's width.
        QVERIFY(option(t, k)->sizeHint().width() <= option(t, k)->width() + 2);
    }
    // Every control lies within the page.
    for (QWidget *w : page->findChildren<QWidget *>()) {
        const QRect r(w->mapTo(page, QPoint(0, 0)), w->size());
        QVERIFY2(pageRect.contains(r), qPrintable(w->objectName()));
    }
    // Question texts (their trailing blank aside) and the evaluations fit their labels.
    const QFontMetrics questionMetrics(question(t, 17)->font());
    for (int f = 0; f < 81; ++f)
        QVERIFY(questionMetrics.horizontalAdvance(t.state.FactText[f].trimmed()) <=
                question(t, 17)->width());
    for (const QString &text : {kPraise, kEncourage})
        QVERIFY(evaluation(t)->fontMetrics().horizontalAdvance(text) <= evaluation(t)->width());
}

void TestPractice::rowChoice_data() {
    QTest::addColumn<int>("row");
    for (int k = 0; k < 9; ++k)
        QTest::addRow("row %d", k + 1) << k;
}

void TestPractice::rowChoice() {
    QFETCH(int, row);
    TestMain t;
    enterPractice(t);
    QCOMPARE(checkedRow(t), -1);
    QVERIFY(allOptionsEnabled(t, true));
    chooseRow(t, row);

    // Left column n × 1 … n × 9 in order, right column the same nine once each.
    QSet<int> right;
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(question(t, i)->text(), t.state.FactText[9 * row + i]);
        const auto [a, b] = factorsOf(question(t, 9 + i)->text());
        QCOMPARE(a, row + 1);
        right.insert(b);
    }
    QCOMPARE(right.size(), 9);
    for (int i = 0; i < 18; ++i)
        QCOMPARE(int(t.state.PracticeAnswerKey[i]), productOf(question(t, i)->text()));

    QCOMPARE(checkedRow(t), row);
    QVERIFY(allOptionsEnabled(t, false));
    // Only question 0 and its box are shown, with the focus in the box.
    for (int i = 0; i < 18; ++i) {
        QCOMPARE(question(t, i)->isVisible(), i == 0);
        QCOMPARE(box(t, i)->isVisible(), i == 0);
        QVERIFY(!result(t, i)->isVisible());
    }
    QVERIFY(!evaluation(t)->isVisible());
    QCOMPARE(focused(), box(t, 0));
}

void TestPractice::randomRowIsUniform() {
    TestMain t;
    enterPractice(t);
    QPushButton *retry = t.find<QPushButton>(QStringLiteral("QuorinPracticeRetryCommand"));
    int counts[9] = {};
    QSet<QString> rightOrders;
    const int draws = 900;
    for (int n = 0; n < draws; ++n) {
        QTest::mouseClick(retry, Qt::LeftButton);
        chooseRow(t, 9);
        const int row = checkedRow(t);
        QVERIFY2(row >= 0 && row < 9, qPrintable(QString::number(row)));
        // The questions are those of the selected row.
        QCOMPARE(factorsOf(question(t, 0)->text()).first, row + 1);
        QVERIFY(allOptionsEnabled(t, false));
        ++counts[row];
        QString order;
        for (int i = 9; i < 18; ++i)
            order += QString::number(factorsOf(question(t, i)->text()).second);
        rightOrders.insert(order);
    }
    // The right column is shuffled afresh each time (900 draws from 9! orders).
    QVERIFY2(rightOrders.size() >= 890, qPrintable(QString::number(rightOrders.size())));
    // 100 expected per row; a fair draw stays well inside 60..140 (four standard deviations).
    for (int k = 0; k < 9; ++k)
        QVERIFY2(counts[k] >= 60 && counts[k] <= 140,
                 qPrintable(QStringLiteral("row %1: %2").arg(k + 1).arg(counts[k])));
}

void TestPractice::keyboardChoosesRow_data() {
    QTest::addColumn<int>("key");
    QTest::addRow("space") << int(Qt::Key_Space);
    QTest::addRow("enter") << int(Qt::Key_Return);
}

void TestPractice::keyboardChoosesRow() {
    QFETCH(int, key);
    TestMain t;
    enterPractice(t);
    // Entering the tab puts the keyboard on the row buttons.
    QCOMPARE(focused(), option(t, 0));
    QTest::keyClick(focused(), Qt::Key_Right);
    QTest::keyClick(focused(), Qt::Key_Right);
    QCOMPARE(focused(), option(t, 2));
    QCOMPARE(checkedRow(t), -1);
    QTest::keyClick(focused(), Qt::Key(key));
    QCOMPARE(checkedRow(t), 2);
    QCOMPARE(question(t, 0)->text(), t.state.FactText[18]);
    QCOMPARE(focused(), box(t, 0));
    QCOMPARE(box(t, 0)->text(), QString());
    // "もう一度" from the keyboard returns to the row buttons.
    QPushButton *retry = t.find<QPushButton>(QStringLiteral("QuorinPracticeRetryCommand"));
    retry->setFocus();
    QTest::keyClick(retry, Qt::Key_Space);
    QCOMPARE(focused(), option(t, 0));
    QCOMPARE(checkedRow(t), -1);
    // Tab from the finish button comes round to the row buttons again.
    t.find<QPushButton>(QStringLiteral("QuorinPracticeFinCommand"))->setFocus();
    for (int n = 0; n < 20 && !qobject_cast<QRadioButton *>(focused()); ++n)
        QTest::keyClick(focused(), Qt::Key_Tab);
    QVERIFY(qobject_cast<QRadioButton *>(focused()));
}

void TestPractice::confirmingKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("confirms");
    QTest::addRow("enter") << int(Qt::Key_Return) << true;
    QTest::addRow("up") << int(Qt::Key_Up) << true;
    QTest::addRow("down") << int(Qt::Key_Down) << true;
    QTest::addRow("lone shift") << int(Qt::Key_Shift) << true;
    QTest::addRow("letter") << int(Qt::Key_A) << true;
    QTest::addRow("minus") << int(Qt::Key_Minus) << true;
    QTest::addRow("left") << int(Qt::Key_Left) << false;
    QTest::addRow("right") << int(Qt::Key_Right) << false;
    QTest::addRow("backspace") << int(Qt::Key_Backspace) << false;
    QTest::addRow("delete") << int(Qt::Key_Delete) << false;
}

void TestPractice::confirmingKeys() {
    QFETCH(int, key);
    QFETCH(bool, confirms);
    TestMain t;
    enterPractice(t);
    chooseRow(t, 2); // 3 × 1 … 3 × 9

    // An empty box is a wrong answer.
    QTest::keyClick(box(t, 0), Qt::Key(key));
    QCOMPARE(result(t, 0)->isVisible(), confirms);
    QCOMPARE(int(t.state.PracticeMissCount), confirms ? 1 : 0);
    if (confirms) {
        QCOMPARE(result(t, 0)->text(), QStringLiteral("？"));
        QCOMPARE(textColour(result(t, 0)), QColor(0, 0, 255));
    }
    QCOMPARE(focused(), box(t, 0));

    // The right value confirmed by the same key opens the next question.
    box(t, 0)->setText(QStringLiteral("3"));
    box(t, 0)->setCursorPosition(1);
    QTest::keyClick(box(t, 0), Qt::Key(key));
    QCOMPARE(question(t, 1)->isVisible(), confirms);
    QCOMPARE(box(t, 1)->isVisible(), confirms);
    QCOMPARE(focused(), confirms ? box(t, 1) : box(t, 0));
    if (confirms) {
        QCOMPARE(result(t, 0)->text(), QStringLiteral("◎"));
        QCOMPARE(textColour(result(t, 0)), QColor(255, 0, 0));
        QCOMPARE(int(t.state.PracticeMissCount), 1);
    }
}

void TestPractice::wrongThenCorrected() {
    TestMain t;
    enterPractice(t);
    chooseRow(t, 1); // 2 × 1 first
    answer(t, 0, QStringLiteral("8"));
    QCOMPARE(result(t, 0)->text(), QStringLiteral("？"));
    QCOMPARE(box(t, 0)->text(), QStringLiteral("8"));
    QCOMPARE(focused(), box(t, 0));
    QVERIFY(!box(t, 1)->isVisible());
    QCOMPARE(int(t.state.PracticeMissCount), 1);

    QTest::keyClick(box(t, 0), Qt::Key_Backspace);
    QTest::keyClicks(box(t, 0), QStringLiteral("2"));
    QTest::keyClick(box(t, 0), Qt::Key_Return);
    QCOMPARE(result(t, 0)->text(), QStringLiteral("◎"));
    QCOMPARE(textColour(result(t, 0)), QColor(255, 0, 0));
    QVERIFY(question(t, 1)->isVisible());
    QCOMPARE(focused(), box(t, 1));

    for (int i = 1; i < 18; ++i)
        answerCorrectly(t, i);
    QVERIFY(evaluation(t)->isVisible());
    QCOMPARE(evaluation(t)->text(), kEncourage);
}

void TestPractice::wholeRowWithoutMiss() {
    TestMain t;
    enterPractice(t);
    const QMap<QString, QByteArray> filesBefore = folderContents(t.dir.path());
    const QString rosterRow = t.state.RosterTable[t.state.CurrentPupilRow][1];
    chooseRow(t, 8);
    for (int i = 0; i < 18; ++i) {
        QCOMPARE(focused(), box(t, i));
        answerCorrectly(t, i);
        QCOMPARE(result(t, i)->text(), QStringLiteral("◎"));
    }
    QVERIFY(evaluation(t)->isVisible());
    QCOMPARE(evaluation(t)->text(), kPraise);
    QCOMPARE(focused(), box(t, 17));
    // Practice records nothing.
    QCOMPARE(folderContents(t.dir.path()), filesBefore);
    QCOMPARE(t.state.RosterTable[t.state.CurrentPupilRow][1], rosterRow);
    QCOMPARE(int(t.state.NoviceCurrentStreak), 0);
}

void TestPractice::leftColumnGoesAfterBox8() {
    TestMain t;
    enterPractice(t);
    chooseRow(t, 6);
    for (int i = 0; i < 8; ++i)
        answerCorrectly(t, i);
    QVERIFY(box(t, 0)->isVisible());
    QCOMPARE(box(t, 0)->text(), QStringLiteral("7"));
    answerCorrectly(t, 8);
    for (int j = 0; j < 9; ++j) {
        QVERIFY(!question(t, j)->isVisible());
        QVERIFY(!box(t, j)->isVisible());
        QCOMPARE(box(t, j)->text(), QString());
        QVERIFY(!result(t, j)->isVisible());
    }
    QVERIFY(question(t, 9)->isVisible());
    QVERIFY(box(t, 9)->isVisible());
    QVERIFY(!box(t, 10)->isVisible());
    QCOMPARE(focused(), box(t, 9));
}

void TestPractice::box17AgainChangesNothing() {
    TestMain t;
    enterPractice(t);
    chooseRow(t, 3);
    answer(t, 0, QStringLiteral("5"));
    for (int i = 0; i < 18; ++i)
        answerCorrectly(t, i);
    QCOMPARE(evaluation(t)->text(), kEncourage);
    const QStringList before = pageState(t);
    QTest::keyClick(box(t, 17), Qt::Key_Return);
    QCOMPARE(pageState(t), before);
    QCOMPARE(int(t.state.PracticeMissCount), 1);
    QCOMPARE(focused(), box(t, 17));
    QCOMPARE(checkedRow(t), 3);
}

void TestPractice::reconfirmingAnsweredBox() {
    TestMain t;
    enterPractice(t);
    chooseRow(t, 4); // 5 × 1 …
    answerCorrectly(t, 0);
    answerCorrectly(t, 1);
    QCOMPARE(focused(), box(t, 2));
    // Box 0 stays editable: a wrong value there is a miss and replaces its mark.
    box(t, 0)->setFocus();
    answer(t, 0, QStringLiteral("6"));
    QCOMPARE(result(t, 0)->text(), QStringLiteral("？"));
    QCOMPARE(int(t.state.PracticeMissCount), 1);
    QCOMPARE(focused(), box(t, 0));
    // Corrected, it sends the focus to box 1 again; nothing further opens.
    answer(t, 0, QStringLiteral("5"));
    QCOMPARE(result(t, 0)->text(), QStringLiteral("◎"));
    QCOMPARE(focused(), box(t, 1));
    QVERIFY(box(t, 2)->isVisible());
    QVERIFY(!box(t, 3)->isVisible());
}

void TestPractice::retryRightAfterChoice() {
    TestMain t;
    enterPractice(t);
    chooseRow(t, 9);
    answer(t, 0, QStringLiteral("99"));
    QCOMPARE(int(t.state.PracticeMissCount), 1);
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinPracticeRetryCommand")),
                      Qt::LeftButton);
    QCOMPARE(checkedRow(t), -1);
    QVERIFY(allOptionsEnabled(t, true));
    QCOMPARE(int(t.state.PracticeMissCount), 0);
    for (int i = 0; i < 18; ++i) {
        QVERIFY(!question(t, i)->isVisible());
        QVERIFY(!box(t, i)->isVisible());
        QCOMPARE(box(t, i)->text(), QString());
        QVERIFY(!result(t, i)->isVisible());
    }
    QVERIFY(!evaluation(t)->isVisible());
    // A new row can be chosen at once.
    chooseRow(t, 0);
    QCOMPARE(checkedRow(t), 0);
    QCOMPARE(question(t, 0)->text(), t.state.FactText[0]);
}

void TestPractice::missCountSaturates() {
    TestMain t;
    enterPractice(t);
    chooseRow(t, 0);
    t.state.PracticeMissCount = 32766;
    QTest::keyClick(box(t, 0), Qt::Key_Return);
    QTest::keyClick(box(t, 0), Qt::Key_Return);
    QTest::keyClick(box(t, 0), Qt::Key_Return);
    QCOMPARE(int(t.state.PracticeMissCount), 32767);
    for (int i = 0; i < 18; ++i)
        answerCorrectly(t, i);
    QCOMPARE(evaluation(t)->text(), kEncourage);
}

void TestPractice::snapshots() {
    TestMain t;
    enterPractice(t);
    snapshot(t.window.get(), QStringLiteral("practice-choosing"));
    QTest::keyClick(focused(), Qt::Key_Right);
    snapshot(t.find<QWidget>(QStringLiteral("QuorinPracticeSelectFrame")),
             QStringLiteral("practice-select-focus"));
    chooseRow(t, 6);
    answer(t, 0, QStringLiteral("8"));
    snapshot(t.window.get(), QStringLiteral("practice-left"));
    for (int i = 0; i < 13; ++i)
        answerCorrectly(t, i);
    answer(t, 13, QStringLiteral("5"));
    snapshot(t.window.get(), QStringLiteral("practice-right"));
    for (int i = 13; i < 18; ++i)
        answerCorrectly(t, i);
    snapshot(t.window.get(), QStringLiteral("practice-evaluated"));
    QVERIFY(evaluation(t)->isVisible());
}

QTEST_MAIN(TestPractice)
#include "tst_practice.moc"
