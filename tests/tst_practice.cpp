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

// The main window with a pupil signed in and the practice tab shown.
struct Practice : TestMain {
    bool active = false;
    Practice() {
        typeText(window->nameCombo()->lineEdit(), QStringLiteral("たろう"));
        QTest::mouseClick(find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
        window->show();
        QApplication::setActiveWindow(window.get());
        active = QTest::qWaitForWindowActive(window.get());
        window->tabStrip()->setCurrentIndex(1);
    }
    // The control named QuorinPractice<name>, or its element i of an array.
    template <typename T> T *control(const char *name, int i = -1) const {
        const QString base = QStringLiteral("QuorinPractice") + QLatin1String(name);
        return find<T>(i < 0 ? base : base + QStringLiteral("_%1").arg(i));
    }
    QRadioButton *option(int k) const { return control<QRadioButton>("SelectOption", k); }
    QLineEdit *box(int i) const { return control<QLineEdit>("AnswerTextBox", i); }
    QWidget *focus() const { return QApplication::focusWidget(); }
    QPushButton *retry() const { return control<QPushButton>("RetryCommand"); }
    // Chooses row button k from the keyboard: Enter on the button.
    void choose(int k) const {
        option(k)->setFocus();
        QTest::keyClick(option(k), Qt::Key_Return);
    }
    void answer(int i, const QString &text, int key = Qt::Key_Return) const {
        box(i)->setText(text);
        QTest::keyClick(box(i), Qt::Key(key));
    }
    // The two factors of question i, whose text reads like "３　×　７　＝　"; 0 for a factor
    // that is not there.
    QPair<int, int> factors(int i) const {
        const QString digits = QStringLiteral("１２３４５６７８９");
        const QString text = control<QLabel>("Question", i)->text().leftJustified(5);
        return {int(digits.indexOf(text.at(0))) + 1, int(digits.indexOf(text.at(4))) + 1};
    }
    // The mark beside box i and its colour; empty while hidden.
    QString mark(int i) const {
        QLabel *m = control<QLabel>("Result", i);
        return m->isVisible() ? m->text() + m->palette().color(QPalette::WindowText).name()
                              : QString();
    }
    // Per row button 2 when selected plus 1 when enabled.
    QString options() const {
        QString out;
        for (int k = 0; k < 10; ++k)
            out += QString::number(option(k)->isChecked() * 2 + option(k)->isEnabled());
        return out;
    }
    // Per question row "<question shown><box shown> <box text> <mark>", then the evaluation
    // on view, the miss count and the row buttons.
    QStringList pageState() const {
        QStringList out;
        for (int i = 0; i < 18; ++i)
            out << QStringLiteral("%1%2 %3 %4")
                       .arg(control<QLabel>("Question", i)->isVisible())
                       .arg(box(i)->isVisible())
                       .arg(box(i)->text(), mark(i));
        QLabel *evaluation = control<QLabel>("Evaluation");
        return out << (evaluation->isVisible() ? evaluation->text() : QString())
                   << QString::number(state.PracticeMissCount) << options();
    }
};

} // namespace

class TestPractice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void wholeRow_data();
    void wholeRow();
    void randomRowAndRetry();
};

void TestPractice::wholeRow_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("key");            // confirms every answer
    QTest::addColumn<QString>("wrongFirst"); // confirmed in box 0 first unless null
    QTest::addColumn<int>("missesBefore");
    QTest::addColumn<QString>("result"); // miss count and evaluation
    const QString good = QStringLiteral("0 よくできました！おめでとう。");
    const QString bad = QStringLiteral("1 残念！がんばりましょう。");
    const int enter = Qt::Key_Return;
    // The counter stops at its limit instead of wrapping to a negative count.
    QTest::addRow("a letter, misses at the limit")
        << 2 << int(Qt::Key_A) << QStringLiteral("5") << 32767
        << QStringLiteral("32767 残念！がんばりましょう。");
    QTest::addRow("Enter in an empty box") << 0 << enter << QStringLiteral("") << 0 << bad;
    QTest::addRow("lone Shift") << 4 << int(Qt::Key_Shift) << QString() << 0 << good;
    QTest::addRow("2 x 1 answered 8, Up")
        << 1 << int(Qt::Key_Up) << QStringLiteral("8") << 0 << bad;
    QTest::addRow("no miss") << 8 << enter << QString() << 0 << good; // last, for the snapshots
}

void TestPractice::wholeRow() {
    QFETCH(int, row);
    QFETCH(int, key);
    QFETCH(QString, wrongFirst);
    QFETCH(int, missesBefore);
    QFETCH(QString, result);
    Practice t;
    QVERIFY(t.active);
    QCOMPARE(t.focus(), t.option(0)); // the keyboard starts on the row buttons
    t.choose(row);
    // Left column n × 1 … n × 9 in order, right column the same nine once each.
    QSet<int> right;
    for (int i = 0; i < 9; ++i) {
        QCOMPARE(t.factors(i), qMakePair(row + 1, i + 1));
        QCOMPARE(t.factors(9 + i).first, row + 1);
        right.insert(t.factors(9 + i).second);
    }
    QCOMPARE(right.size(), 9);
    t.state.PracticeMissCount = qint16(missesBefore);
    for (int k : {Qt::Key_Left, Qt::Key_Right, Qt::Key_Backspace, Qt::Key_Delete})
        t.answer(0, QStringLiteral("99"), k); // editing keys confirm nothing
    QCOMPARE(t.mark(0), QString());
    if (!wrongFirst.isNull()) { // a miss: a blue "？", and the next question stays hidden
        t.answer(0, wrongFirst, key);
        QCOMPARE(t.mark(0), QStringLiteral("？#0000ff"));
        QVERIFY(!t.box(1)->isVisible());
    }
    for (int i = 0; i < 18; ++i) {
        QCOMPARE(t.focus(), t.box(i));
        t.answer(i, QString::number(t.factors(i).first * t.factors(i).second), key);
        QCOMPARE(t.mark(i), i == 8 ? QString() : QStringLiteral("◎#ff0000"));
        // After box 8 the left column is emptied and hidden.
        if (i == 8)
            QCOMPARE(t.pageState().mid(0, 9), QStringList(9, QStringLiteral("00  ")));
        if (i == 13)
            snapshot(t.window.get(), QStringLiteral("practice-right"));
        QCOMPARE(t.pageState()[18].isEmpty(), i < 17); // the evaluation
    }
    snapshot(t.window.get(), QStringLiteral("practice-evaluated"));
    const QStringList evaluated = t.pageState();
    QCOMPARE(evaluated[19] + QLatin1Char(' ') + evaluated[18], result);
    // Enter again in box 17 shows the same evaluation and changes nothing else.
    QTest::keyClick(t.box(17), Qt::Key_Return);
    QCOMPARE(t.pageState(), evaluated);
    QCOMPARE(t.focus(), t.box(17));
}

void TestPractice::randomRowAndRetry() {
    Practice t;
    QVERIFY(t.active);
    snapshot(t.window.get(), QStringLiteral("practice-choosing"));
    const QStringList choosing = t.pageState();
    int counts[9] = {};
    for (int n = 0; n < 900; ++n) {
        QTest::mouseClick(t.option(9), Qt::LeftButton);
        // The chosen row's button is the selected one; all ten are disabled.
        const int row = t.factors(0).first - 1;
        QCOMPARE(t.options(), QStringLiteral("0000000000").replace(row, 1, QLatin1Char('2')));
        ++counts[row];
        // "もう一度" right after the choice (and a miss) returns to the choosing state.
        t.answer(0, QStringLiteral("99"));
        t.retry()->setFocus();
        QTest::keyClick(t.retry(), Qt::Key_Space);
        QCOMPARE(t.pageState(), choosing);
        QCOMPARE(t.focus(), t.option(0));
    }
    // 100 expected per row; a fair draw stays inside 60..140 (four standard deviations).
    for (int k = 0; k < 9; ++k)
        QVERIFY2(counts[k] >= 60 && counts[k] <= 140, qPrintable(QString::number(counts[k])));
    // Tab comes round to the row buttons.
    t.retry()->setFocus();
    for (int n = 0; n < 20 && !qobject_cast<QRadioButton *>(t.focus()); ++n)
        QTest::keyClick(t.focus(), Qt::Key_Tab);
    QVERIFY(qobject_cast<QRadioButton *>(t.focus()));
}

QTEST_MAIN(TestPractice)
#include "tst_practice.moc"
