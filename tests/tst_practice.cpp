// The practice page of tab 1: the row choice, answer checking and the evaluation, driven
// through the widgets with a seeded random source.

#include "testsupport.h"

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSet>
#include <QTabWidget>

namespace {

template <typename T> T *control(TestMain &t, const char *name, int i) {
    return t.find<T>(QStringLiteral("QuorinPractice%1_%2").arg(QLatin1String(name)).arg(i));
}
QRadioButton *option(TestMain &t, int k) {
    return control<QRadioButton>(t, "SelectOption", k);
}
QLabel *question(TestMain &t, int i) {
    return control<QLabel>(t, "Question", i);
}
QLineEdit *box(TestMain &t, int i) {
    return control<QLineEdit>(t, "AnswerTextBox", i);
}
QLabel *mark(TestMain &t, int i) {
    return control<QLabel>(t, "Result", i);
}
QLabel *evaluation(TestMain &t) {
    return t.find<QLabel>(QStringLiteral("QuorinPracticeEvaluation"));
}
QPushButton *retryButton(TestMain &t) {
    return t.find<QPushButton>(QStringLiteral("QuorinPracticeRetryCommand"));
}
QWidget *focused() {
    return QApplication::focusWidget();
}

// The two factors of a question text such as "３　×　７　＝　".
QPair<int, int> factorsOf(const QString &text) {
    const QString digits = QStringLiteral("１２３４５６７８９");
    return {int(digits.indexOf(text.at(0))) + 1, int(digits.indexOf(text.at(4))) + 1};
}

// Signs a pupil in, shows the window and enters the practice tab.
void enterPractice(TestMain &t) {
    typeText(t.window->nameCombo()->lineEdit(), QStringLiteral("たろう"));
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
    t.window->show();
    QApplication::setActiveWindow(t.window.get());
    QVERIFY(QTest::qWaitForWindowActive(t.window.get()));
    t.window->tabStrip()->setCurrentIndex(1);
}

void answer(TestMain &t, int i, const QString &text) {
    box(t, i)->clear();
    QTest::keyClicks(box(t, i), text);
    QTest::keyClick(box(t, i), Qt::Key_Return);
}
void answerCorrectly(TestMain &t, int i) {
    const auto [a, b] = factorsOf(question(t, i)->text());
    answer(t, i, QString::number(a * b));
}

// The one selected row button, -1 for none, 100 for more than one.
int checkedRow(TestMain &t) {
    int checked = -1;
    for (int k = 0; k < 10; ++k)
        if (option(t, k)->isChecked())
            checked = checked == -1 ? k : 100;
    return checked;
}
int enabledOptions(TestMain &t) {
    int n = 0;
    for (int k = 0; k < 10; ++k)
        n += option(t, k)->isEnabled();
    return n;
}

// Visibility and text of every question row and of the evaluation.
QStringList pageState(TestMain &t) {
    QStringList out;
    for (int i = 0; i < 18; ++i)
        out << QStringLiteral("%1%2%3 %4 %5")
                   .arg(question(t, i)->isVisible())
                   .arg(box(t, i)->isVisible())
                   .arg(mark(t, i)->isVisible())
                   .arg(box(t, i)->text(),
                        mark(t, i)->isVisible() ? mark(t, i)->text() : QString());
    out << QString::number(evaluation(t)->isVisible()) + evaluation(t)->text();
    return out;
}

QColor colourOf(QLabel *label) {
    return label->palette().color(QPalette::WindowText);
}

} // namespace

class TestPractice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void rowChoice_data();
    void rowChoice();
    void randomRow();
    void keyboardChoosesRow_data();
    void keyboardChoosesRow();
    void confirmingKeys_data();
    void confirmingKeys();
    void wholeRow_data();
    void wholeRow();
    void retryRightAfterChoice();
    void snapshots();
};

void TestPractice::rowChoice_data() {
    QTest::addColumn<int>("row");
    for (int k = 0; k < 9; ++k)
        QTest::addRow("row %d", k + 1) << k;
}

void TestPractice::rowChoice() {
    QFETCH(int, row);
    TestMain t;
    enterPractice(t);
    QCOMPARE(option(t, row)->text(), row == 0 ? QStringLiteral("１") : QString::number(row + 1));
    QCOMPARE(checkedRow(t), -1);
    QCOMPARE(enabledOptions(t), 10);
    QTest::mouseClick(option(t, row), Qt::LeftButton);

    // Left column n × 1 … n × 9 in order, right column the same nine once each.
    QSet<int> right;
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(question(t, i)->text(), t.state.FactText[9 * row + i]);
        const auto [a, b] = factorsOf(question(t, 9 + i)->text());
        QCOMPARE(a, row + 1);
        right.insert(b);
    }
    QCOMPARE(right.size(), 9);
    QCOMPARE(checkedRow(t), row);
    QCOMPARE(enabledOptions(t), 0);
    for (int i = 0; i < 18; ++i)
        QCOMPARE(box(t, i)->isVisible(), i == 0);
    QVERIFY(question(t, 0)->isVisible() && !question(t, 1)->isVisible());
    QCOMPARE(focused(), box(t, 0));
}

void TestPractice::randomRow() {
    TestMain t;
    enterPractice(t);
    int counts[9] = {};
    QSet<QString> rightOrders;
    for (int n = 0; n < 900; ++n) {
        QTest::mouseClick(retryButton(t), Qt::LeftButton);
        QTest::mouseClick(option(t, 9), Qt::LeftButton);
        const int row = checkedRow(t);
        QVERIFY(row >= 0 && row < 9);
        QCOMPARE(factorsOf(question(t, 0)->text()).first, row + 1);
        QCOMPARE(enabledOptions(t), 0);
        ++counts[row];
        QString order;
        for (int i = 9; i < 18; ++i)
            order += QString::number(factorsOf(question(t, i)->text()).second);
        rightOrders.insert(order);
    }
    // 100 expected per row; a fair draw stays inside 60..140 (four standard deviations).
    for (int k = 0; k < 9; ++k)
        QVERIFY2(counts[k] >= 60 && counts[k] <= 140, qPrintable(QString::number(counts[k])));
    // The right column is shuffled afresh each time (900 draws from 9! orders).
    QVERIFY(rightOrders.size() >= 890);
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
    // Entering the tab puts the keyboard on the row buttons; arrows move, the key chooses.
    QCOMPARE(focused(), option(t, 0));
    QTest::keyClick(focused(), Qt::Key_Right);
    QTest::keyClick(focused(), Qt::Key_Right);
    QCOMPARE(checkedRow(t), -1);
    QTest::keyClick(focused(), Qt::Key(key));
    QCOMPARE(checkedRow(t), 2);
    QCOMPARE(focused(), box(t, 0));
    QCOMPARE(box(t, 0)->text(), QString());
    // "もう一度" from the keyboard, then Tab comes round to the row buttons again.
    retryButton(t)->setFocus();
    QTest::keyClick(retryButton(t), Qt::Key_Space);
    QCOMPARE(focused(), option(t, 0));
    retryButton(t)->setFocus();
    for (int n = 0; n < 20 && !qobject_cast<QRadioButton *>(focused()); ++n)
        QTest::keyClick(focused(), Qt::Key_Tab);
    QVERIFY(qobject_cast<QRadioButton *>(focused()));
}

void TestPractice::confirmingKeys_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("confirms");
    QTest::addRow("enter") << int(Qt::Key_Return) << true;
    QTest::addRow("up") << int(Qt::Key_Up) << true;
    QTest::addRow("lone shift") << int(Qt::Key_Shift) << true;
    QTest::addRow("letter") << int(Qt::Key_A) << true;
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
    QTest::mouseClick(option(t, 2), Qt::LeftButton); // 3 × 1 first

    // An empty box is a wrong answer: a miss and a blue "？".
    QTest::keyClick(box(t, 0), Qt::Key(key));
    QCOMPARE(mark(t, 0)->isVisible(), confirms);
    QCOMPARE(int(t.state.PracticeMissCount), confirms ? 1 : 0);
    if (confirms)
        QCOMPARE(mark(t, 0)->text() + colourOf(mark(t, 0)).name(), QStringLiteral("？#0000ff"));
    QCOMPARE(focused(), box(t, 0));

    // The right value confirmed by the same key: a red "◎" and the next question.
    box(t, 0)->setText(QStringLiteral("3"));
    QTest::keyClick(box(t, 0), Qt::Key(key));
    QCOMPARE(box(t, 1)->isVisible(), confirms);
    QCOMPARE(focused(), confirms ? box(t, 1) : box(t, 0));
    if (confirms)
        QCOMPARE(mark(t, 0)->text() + colourOf(mark(t, 0)).name(), QStringLiteral("◎#ff0000"));
}

void TestPractice::wholeRow_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("wrongFirst"); // typed into box 0 before the right answer
    QTest::addColumn<int>("missesBefore");
    QTest::addColumn<int>("missesAfter");
    QTest::addColumn<QString>("evaluation");
    const QString praise = QStringLiteral("よくできました！おめでとう。");
    const QString encourage = QStringLiteral("残念！がんばりましょう。");
    QTest::addRow("no miss") << 8 << QString() << 0 << 0 << praise;
    QTest::addRow("2 x 1 answered 8 first") << 1 << QStringLiteral("8") << 0 << 1 << encourage;
    // The counter stops at its limit instead of wrapping to a negative count.
    QTest::addRow("misses at the limit") << 0 << QStringLiteral("5") << 32767 << 32767 << encourage;
}

void TestPractice::wholeRow() {
    QFETCH(int, row);
    QFETCH(QString, wrongFirst);
    QFETCH(int, missesBefore);
    QFETCH(int, missesAfter);
    QFETCH(QString, evaluation);
    TestMain t;
    enterPractice(t);
    const QStringList filesBefore = QDir(t.dir.path()).entryList(QDir::Files);
    QTest::mouseClick(option(t, row), Qt::LeftButton);
    t.state.PracticeMissCount = qint16(missesBefore);
    if (!wrongFirst.isEmpty()) {
        answer(t, 0, wrongFirst);
        QCOMPARE(mark(t, 0)->text(), QStringLiteral("？"));
        QCOMPARE(box(t, 0)->text(), wrongFirst);
        QCOMPARE(focused(), box(t, 0));
        QVERIFY(!box(t, 1)->isVisible());
    }
    for (int i = 0; i < 18; ++i) {
        QCOMPARE(focused(), box(t, i));
        answerCorrectly(t, i);
        QCOMPARE(mark(t, i)->text(), QStringLiteral("◎"));
        QCOMPARE(::evaluation(t)->isVisible(), i == 17);
        if (i == 8) {
            // The left column is emptied and hidden, the focus is in box 9.
            for (int j = 0; j < 9; ++j)
                QVERIFY(!question(t, j)->isVisible() && !box(t, j)->isVisible() &&
                        box(t, j)->text().isEmpty() && !mark(t, j)->isVisible());
            QCOMPARE(focused(), box(t, 9));
        }
    }
    QCOMPARE(::evaluation(t)->text(), evaluation);
    QCOMPARE(int(t.state.PracticeMissCount), missesAfter);
    // Enter again in box 17 shows the same evaluation and changes nothing else.
    const QStringList before = pageState(t);
    QTest::keyClick(box(t, 17), Qt::Key_Return);
    QCOMPARE(pageState(t), before);
    QCOMPARE(int(t.state.PracticeMissCount), missesAfter);
    QCOMPARE(focused(), box(t, 17));
    // Practice writes no file.
    QCOMPARE(QDir(t.dir.path()).entryList(QDir::Files), filesBefore);
}

void TestPractice::retryRightAfterChoice() {
    TestMain t;
    enterPractice(t);
    const QStringList choosing = pageState(t);
    QTest::mouseClick(option(t, 9), Qt::LeftButton);
    answer(t, 0, QStringLiteral("99"));
    QTest::mouseClick(retryButton(t), Qt::LeftButton);
    QCOMPARE(checkedRow(t), -1);
    QCOMPARE(enabledOptions(t), 10);
    QCOMPARE(int(t.state.PracticeMissCount), 0);
    QCOMPARE(pageState(t), choosing);
}

void TestPractice::snapshots() {
    TestMain t;
    enterPractice(t);
    snapshot(t.window.get(), QStringLiteral("practice-choosing"));
    QTest::mouseClick(option(t, 6), Qt::LeftButton);
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
