// The answer box: numeric value and the change filter under real typing, the digit-key test,
// key events turned into key codes, and the focus colours.

#include "core/keys.h"
#include "core/numericvalue.h"
#include "testsupport.h"
#include "ui/main/answerbox.h"

#include <QApplication>
#include <QHash>
#include <QSignalSpy>

namespace {

// Types `keys` into the box as key events, "⇤", "⇥" and "⌦" being Home, End and Delete.
void typeKeys(QLineEdit *box, const QString &keys) {
    const QHash<QChar, Qt::Key> named{
        {u'⇤', Qt::Key_Home}, {u'⇥', Qt::Key_End}, {u'⌦', Qt::Key_Delete}};
    for (QChar c : keys)
        named.contains(c) ? QTest::keyClick(box, named[c]) : typeText(box, c);
}

} // namespace

class TestAnswerBox : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void valueAndFilter_data() {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        const auto row = [](const char *keys, const char *text, double value) {
            QTest::newRow(keys) << QString::fromUtf8(keys) << QString::fromUtf8(text) << value;
        };
        row("0", "", 0);
        row("50", "50", 50);
        row("100", "", 0);
        row("123", "", 0);
        row("12abc", "12abc", 12);
        row("7a", "7a", 7);
        row("a", "", 0);
        row("-5⇤-", "-5", -5); // a lone "-" empties; typed before the 5 it is kept
        row(" 8⇤  ⇥ ", "  8 ", 8);
        row("０５６⇤　", "　５６", 56);
        row("10⇤⌦", "", 0);
        row("1.5x", "1.5x", 1.5);
        row("1e5", "1e5", 1);
    }

    void valueAndFilter() {
        QFETCH(QString, keys);
        QFETCH(QString, text);
        QFETCH(double, value);
        AnswerBox box(QStringLiteral("QuorinNoviceAnswerTextBox"), 3, nullptr);
        typeKeys(&box, keys);
        QCOMPARE(box.text(), text);
        QCOMPARE(box.value(), value);
        QCOMPARE(numericValue(text), value);
    }

    void keyCodes_data() {
        QTest::addColumn<int>("key"); // with the modifiers
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("code");
        const auto row = [](const char *name, QKeyCombination key, const char *text, int code) {
            QTest::newRow(name) << key.toCombined() << QString::fromUtf8(text) << code;
        };
        const auto pad = Qt::KeypadModifier;
        row("0", Qt::Key_0, "0", 48);
        row("keypad 9", pad | Qt::Key_9, "9", 105);
        row("keypad *", pad | Qt::Key_Asterisk, "*", 106);
        row("full-width 5", Qt::Key_unknown, "５", 53);
        row("backspace", Qt::Key_Backspace, "", 8);
        row("keypad enter", pad | Qt::Key_Enter, "\r", 13);
        row("lone shift", Qt::Key_Shift, "", 16);
        row("left", Qt::Key_Left, "", 37);
        row("up", Qt::Key_Up, "", 38);
        row("right", Qt::Key_Right, "", 39);
        row("delete", Qt::Key_Delete, "", 46);
        row("a", Qt::Key_A, "a", 65);
    }

    void keyCodes() {
        QFETCH(int, key);
        QFETCH(QString, text);
        QFETCH(int, code);
        AnswerBox box(QStringLiteral("QuorinNoviceAnswerTextBox"), 7, nullptr);
        box.setText(QStringLiteral("4"));
        QStringList seen; // index, code and the text the handler saw
        connect(&box, &AnswerBox::keyDown, &box, [&](int index, qint16 keyCode) {
            seen << QStringLiteral("%1 %2 %3").arg(index).arg(keyCode).arg(box.text());
        });
        const auto combination = QKeyCombination::fromCombined(key);
        QTest::sendKeyEvent(QTest::Click, &box, combination.key(), text,
                            combination.keyboardModifiers());
        // The handler comes first, then the box handles the key itself: nothing is swallowed.
        QCOMPARE(seen, QStringList{QStringLiteral("7 %1 4").arg(code)});
        qint16 digit = False;
        IsDigitKey(static_cast<qint16>(code), digit);
        QCOMPARE(digit == True, text.size() == 1 && text[0].isDigit());
        if (text.size() == 1 && text[0].isPrint())
            QCOMPARE(box.text(), QStringLiteral("4") + text);
    }

    void focusColoursWithoutSelection() {
        AnswerBox box(QStringLiteral("QuorinNoviceAnswerTextBox"), 1, nullptr);
        box.setText(QStringLiteral("56"));
        box.setCursorPosition(1);
        box.show();
        QApplication::setActiveWindow(&box);
        QVERIFY(QTest::qWaitForWindowActive(&box));
        box.clearFocus();
        QSignalSpy got(&box, &AnswerBox::gotFocus);
        QSignalSpy lost(&box, &AnswerBox::lostFocus);
        const auto colours = [&box] {
            return std::pair(box.palette().color(QPalette::Base),
                             box.palette().color(QPalette::Text));
        };
        box.setFocus(Qt::TabFocusReason);
        QCOMPARE(got.value(0).value(0).toInt(), 1);
        QCOMPARE(colours(), std::pair(QColor(192, 255, 192), QColor(0, 0, 255)));
        // Tab would normally select the whole text; the box only changes colour.
        QVERIFY(!box.hasSelectedText());
        box.clearFocus();
        QCOMPARE(lost.count(), 1);
        QCOMPARE(colours(), std::pair(QColor(255, 255, 255), QColor(0, 0, 0)));
    }
};

QTEST_MAIN(TestAnswerBox)
#include "tst_answerbox.moc"
