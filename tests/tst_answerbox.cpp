// The answer box: numeric value, the change filter under real typing, the digit-key test,
// key events turned into key codes, and the focus colours.

#include "core/applicationstate.h"
#include "core/keys.h"
#include "core/numericvalue.h"
#include "ui/main/answerbox.h"

#include <QApplication>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// Types a row's keys: "<Home>", "<End>", "<Back>" and "<Del>" are those keys, anything else is text
// typed one character at a time as real key events.
void typeKeys(QWidget *box, const QStringList &keys) {
    for (const QString &key : keys) {
        if (key == QStringLiteral("<Home>")) {
            QTest::keyClick(box, Qt::Key_Home);
        } else if (key == QStringLiteral("<End>")) {
            QTest::keyClick(box, Qt::Key_End);
        } else if (key == QStringLiteral("<Back>")) {
            QTest::keyClick(box, Qt::Key_Backspace);
        } else if (key == QStringLiteral("<Del>")) {
            QTest::keyClick(box, Qt::Key_Delete);
        } else {
            for (QChar c : key) {
                if (c.unicode() < 0x80) {
                    QTest::keyClick(box, char(c.unicode()));
                } else {
                    QTest::sendKeyEvent(QTest::Press, box, Qt::Key_unknown, QString(c),
                                        Qt::NoModifier);
                    QTest::sendKeyEvent(QTest::Release, box, Qt::Key_unknown, QString(c),
                                        Qt::NoModifier);
                }
            }
        }
    }
}

} // namespace

class TestAnswerBox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void numericValueOfText_data();
    void numericValueOfText();
    void changeFilterWhileTyping_data();
    void changeFilterWhileTyping();
    void textSetByProgramIsFiltered();
    void isDigitKey_data();
    void isDigitKey();
    void keyCodes_data();
    void keyCodes();
    void keyDownComesFirstAndKeyIsKept();
    void focusColoursWithoutSelection();
};

void TestAnswerBox::numericValueOfText_data() {
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("empty") << QString() << 0.0;
    QTest::newRow("digits") << QStringLiteral("56") << 56.0;
    QTest::newRow("trailing letters") << QStringLiteral("12abc") << 12.0;
    QTest::newRow("7a") << QStringLiteral("7a") << 7.0;
    QTest::newRow("single letter") << QStringLiteral("a") << 0.0;
    QTest::newRow("minus") << QStringLiteral("-5") << -5.0;
    QTest::newRow("plus") << QStringLiteral("+8") << 8.0;
    QTest::newRow("lone sign") << QStringLiteral("-") << 0.0;
    QTest::newRow("leading blanks") << QStringLiteral("  42") << 42.0;
    QTest::newRow("ideographic blank") << QStringLiteral("　9") << 9.0;
    QTest::newRow("blank inside") << QStringLiteral("1 2") << 1.0;
    QTest::newRow("decimal") << QStringLiteral("1.5x") << 1.5;
    QTest::newRow("point first") << QStringLiteral(".5") << 0.5;
    QTest::newRow("full-width") << QStringLiteral("５０") << 50.0;
    QTest::newRow("no exponent") << QStringLiteral("1e5") << 1.0;
    QTest::newRow("no radix prefix") << QStringLiteral("&H10") << 0.0;
    QTest::newRow("letter first") << QStringLiteral("x12") << 0.0;
}

void TestAnswerBox::numericValueOfText() {
    QFETCH(QString, text);
    QFETCH(double, value);
    QCOMPARE(numericValue(text), value);
}

void TestAnswerBox::changeFilterWhileTyping_data() {
    QTest::addColumn<QStringList>("keys");
    QTest::addColumn<QString>("text");
    QTest::addColumn<double>("value");
    QTest::newRow("0 empties") << QStringList{QStringLiteral("0")} << QString() << 0.0;
    QTest::newRow("5 then 0") << QStringList{QStringLiteral("50")} << QStringLiteral("50") << 50.0;
    QTest::newRow("99 stays") << QStringList{QStringLiteral("99")} << QStringLiteral("99") << 99.0;
    QTest::newRow("third digit empties") << QStringList{QStringLiteral("123")} << QString() << 0.0;
    QTest::newRow("100 empties") << QStringList{QStringLiteral("100")} << QString() << 0.0;
    QTest::newRow("after emptying typing goes on")
        << QStringList{QStringLiteral("1234")} << QStringLiteral("4") << 4.0;
    QTest::newRow("12abc kept") << QStringList{QStringLiteral("12abc")} << QStringLiteral("12abc")
                                << 12.0;
    QTest::newRow("7a kept") << QStringList{QStringLiteral("7a")} << QStringLiteral("7a") << 7.0;
    QTest::newRow("letter empties") << QStringList{QStringLiteral("a")} << QString() << 0.0;
    QTest::newRow("minus first empties")
        << QStringList{QStringLiteral("-5")} << QStringLiteral("5") << 5.0;
    QTest::newRow("-5 kept") << QStringList{QStringLiteral("5"), QStringLiteral("<Home>"),
                                            QStringLiteral("-")}
                             << QStringLiteral("-5") << -5.0;
    QTest::newRow("blank first empties") << QStringList{QStringLiteral(" ")} << QString() << 0.0;
    QTest::newRow("leading blanks kept")
        << QStringList{QStringLiteral("8"), QStringLiteral("<Home>"), QStringLiteral("  ")}
        << QStringLiteral("  8") << 8.0;
    QTest::newRow("trailing blank kept")
        << QStringList{QStringLiteral("8 ")} << QStringLiteral("8 ") << 8.0;
    QTest::newRow("full-width digits")
        << QStringList{QStringLiteral("５６")} << QStringLiteral("５６") << 56.0;
    QTest::newRow("full-width zero empties")
        << QStringList{QStringLiteral("０")} << QString() << 0.0;
    QTest::newRow("backspace") << QStringList{QStringLiteral("56"), QStringLiteral("<Back>")}
                               << QStringLiteral("5") << 5.0;
    QTest::newRow("deleting the 1 of 10 empties")
        << QStringList{QStringLiteral("10"), QStringLiteral("<Home>"), QStringLiteral("<Del>")}
        << QString() << 0.0;
    QTest::newRow("letter before the digits empties")
        << QStringList{QStringLiteral("10"), QStringLiteral("<Home>"), QStringLiteral("x")}
        << QString() << 0.0;
}

void TestAnswerBox::changeFilterWhileTyping() {
    QFETCH(QStringList, keys);
    QFETCH(QString, text);
    QFETCH(double, value);
    QWidget parent;
    auto *box = new AnswerBox(QStringLiteral("QuorinNoviceAnswerTextBox"), 3, &parent);
    typeKeys(box, keys);
    QCOMPARE(box->text(), text);
    QCOMPARE(box->value(), value);
}

void TestAnswerBox::textSetByProgramIsFiltered() {
    QWidget parent;
    AnswerBox box(QStringLiteral("QuorinExpertAnswerTextBox"), 0, &parent);
    QSignalSpy changes(&box, &QLineEdit::textChanged);
    box.setText(QStringLiteral("abc"));
    QCOMPARE(box.text(), QString());
    // The change to "abc" and the nested change back to empty, nothing more.
    QCOMPARE(changes.count(), 2);
    box.setText(QStringLiteral("250"));
    QCOMPARE(box.text(), QString());
    box.setText(QStringLiteral("0.5"));
    QCOMPARE(box.text(), QStringLiteral("0.5"));
    QVERIFY(AnswerBox::filterEmpties(QStringLiteral("-0")));
    QVERIFY(!AnswerBox::filterEmpties(QStringLiteral("-5")));
}

void TestAnswerBox::isDigitKey_data() {
    QTest::addColumn<int>("code");
    QTest::addColumn<bool>("digit");
    for (int code : {48, 52, 57, 96, 100, 105})
        QTest::addRow("%d", code) << code << true;
    for (int code : {47, 58, 95, 106, 13, 16, 8, 37, 0, -1})
        QTest::addRow("%d", code) << code << false;
}

void TestAnswerBox::isDigitKey() {
    QFETCH(int, code);
    QFETCH(bool, digit);
    qint16 result = 12345;
    IsDigitKey(static_cast<qint16>(code), result);
    QCOMPARE(result, digit ? True : False);
}

void TestAnswerBox::keyCodes_data() {
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("code");
    const int none = Qt::NoModifier;
    const int keypad = Qt::KeypadModifier;
    QTest::newRow("0") << int(Qt::Key_0) << none << QStringLiteral("0") << 48;
    QTest::newRow("9") << int(Qt::Key_9) << none << QStringLiteral("9") << 57;
    QTest::newRow("keypad 0") << int(Qt::Key_0) << keypad << QStringLiteral("0") << 96;
    QTest::newRow("keypad 9") << int(Qt::Key_9) << keypad << QStringLiteral("9") << 105;
    QTest::newRow("full-width 5") << int(Qt::Key_unknown) << none << QStringLiteral("５") << 53;
    QTest::newRow("backspace") << int(Qt::Key_Backspace) << none << QString() << 8;
    QTest::newRow("enter") << int(Qt::Key_Return) << none << QStringLiteral("\r") << 13;
    QTest::newRow("keypad enter") << int(Qt::Key_Enter) << keypad << QStringLiteral("\r") << 13;
    QTest::newRow("shift") << int(Qt::Key_Shift) << int(Qt::ShiftModifier) << QString() << 16;
    QTest::newRow("ctrl") << int(Qt::Key_Control) << int(Qt::ControlModifier) << QString() << 17;
    QTest::newRow("alt") << int(Qt::Key_Alt) << int(Qt::AltModifier) << QString() << 18;
    QTest::newRow("space") << int(Qt::Key_Space) << none << QStringLiteral(" ") << 32;
    QTest::newRow("left") << int(Qt::Key_Left) << none << QString() << 37;
    QTest::newRow("up") << int(Qt::Key_Up) << none << QString() << 38;
    QTest::newRow("right") << int(Qt::Key_Right) << none << QString() << 39;
    QTest::newRow("down") << int(Qt::Key_Down) << none << QString() << 40;
    QTest::newRow("delete") << int(Qt::Key_Delete) << none << QString() << 46;
    QTest::newRow("a") << int(Qt::Key_A) << none << QStringLiteral("a") << 65;
    QTest::newRow("minus") << int(Qt::Key_Minus) << none << QStringLiteral("-") << 189;
    QTest::newRow("F1") << int(Qt::Key_F1) << none << QString() << 112;
}

void TestAnswerBox::keyCodes() {
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QString, text);
    QFETCH(int, code);
    QCOMPARE(int(virtualKeyCode(key, Qt::KeyboardModifiers(modifiers), 0, 0, text)), code);
}

void TestAnswerBox::keyDownComesFirstAndKeyIsKept() {
    QWidget parent;
    AnswerBox box(QStringLiteral("QuorinNoviceAnswerTextBox"), 7, &parent);
    QList<std::pair<int, int>> seen;
    QStringList textAtKeyDown;
    connect(&box, &AnswerBox::keyDown, &box, [&](int index, qint16 code) {
        seen.append({index, code});
        textAtKeyDown.append(box.text());
    });
    QTest::keyClick(&box, Qt::Key_4);
    QTest::keyClick(&box, Qt::Key_2, Qt::KeypadModifier);
    QTest::keyClick(&box, Qt::Key_A);
    QCOMPARE(seen, (QList<std::pair<int, int>>{{7, 52}, {7, 98}, {7, 65}}));
    // The handler sees the text before the key; the key itself is never swallowed.
    QCOMPARE(textAtKeyDown, (QStringList{QString(), QStringLiteral("4"), QStringLiteral("42")}));
    QCOMPARE(box.text(), QStringLiteral("42a"));
}

void TestAnswerBox::focusColoursWithoutSelection() {
    QWidget window;
    auto *layout = new QVBoxLayout(&window);
    auto *first = new AnswerBox(QStringLiteral("QuorinNoviceAnswerTextBox"), 0, &window);
    auto *second = new AnswerBox(QStringLiteral("QuorinNoviceAnswerTextBox"), 1, &window);
    layout->addWidget(first);
    layout->addWidget(second);
    second->setText(QStringLiteral("56"));
    second->setCursorPosition(1);
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowActive(&window));
    QSignalSpy got(second, &AnswerBox::gotFocus);
    QSignalSpy lost(second, &AnswerBox::lostFocus);
    first->setFocus();
    QTest::keyClick(first, Qt::Key_Tab);
    QCOMPARE(QApplication::focusWidget(), second);
    QCOMPARE(got.count(), 1);
    QCOMPARE(got.first().first().toInt(), 1);
    QCOMPARE(second->palette().color(QPalette::Base), QColor(192, 255, 192));
    QCOMPARE(second->palette().color(QPalette::Text), QColor(0, 0, 255));
    // Tab would normally select the whole text; the box only changes colour.
    QVERIFY(!second->hasSelectedText());
    QCOMPARE(second->cursorPosition(), 1);
    first->setFocus();
    QCOMPARE(lost.count(), 1);
    QCOMPARE(second->palette().color(QPalette::Base), QColor(255, 255, 255));
    QCOMPARE(second->palette().color(QPalette::Text), QColor(0, 0, 0));
}

QTEST_MAIN(TestAnswerBox)
#include "tst_answerbox.moc"
