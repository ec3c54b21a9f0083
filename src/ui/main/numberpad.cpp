#include "ui/main/numberpad.h"

#include "ui/main/answerbox.h"
#include "ui/main/geometry.h"

#include <QApplication>
#include <QGridLayout>
#include <QKeyEvent>
#include <QPointer>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
constexpr int kSpacing = 6;
constexpr int kMargin = 8;
} // namespace

NumberPad::NumberPad(QWidget *parent) : QWidget(parent) {
    nameControl(this, QStringLiteral("QuorinNumberPad"));
    setAccessibleName(QStringLiteral("すうじボタン"));
    auto *grid = new QGridLayout;
    grid->setSpacing(kSpacing);
    // 1 2 3 on top, in reading order; a wide 0 and the clear key below the nine, and the
    // confirming key across the whole pad at the bottom, nearest the hand.
    for (int digit = 1; digit <= 9; ++digit)
        grid->addWidget(addKey(QStringLiteral("Key_%1").arg(digit), QString::number(digit),
                               QString::number(digit)),
                        (digit - 1) / 3, (digit - 1) % 3);
    grid->addWidget(addKey(QStringLiteral("Key_0"), QStringLiteral("0"), QStringLiteral("0")), 3, 0,
                    1, 2);
    grid->addWidget(
        addKey(QStringLiteral("Clear"), QStringLiteral("けす"), QStringLiteral("こたえを けす")), 3,
        2);
    grid->addWidget(addKey(QStringLiteral("Enter"), QStringLiteral("けってい"),
                           QStringLiteral("こたえを けってい")),
                    4, 0, 1, 3);
    for (int digit = 0; digit <= 9; ++digit)
        connect(m_keys[digit == 0 ? 9 : digit - 1], &QPushButton::clicked, this,
                [this, digit] { typeDigit(digit); });
    connect(m_keys[10], &QPushButton::clicked, this, &NumberPad::clearAnswer);
    connect(m_keys[11], &QPushButton::clicked, this, &NumberPad::confirmAnswer);

    // The pad stands in the middle of the height beside the pages.
    auto *column = new QVBoxLayout(this);
    column->setContentsMargins(kMargin, kMargin, kMargin, kMargin);
    column->addStretch();
    column->addLayout(grid);
    column->addStretch();
    setFixedWidth(3 * kKeySize + 2 * kSpacing + 2 * kMargin);

    connect(qApp, &QApplication::focusChanged, this, &NumberPad::updateKeys);
    updateKeys();
}

QPushButton *NumberPad::addKey(const QString &name, const QString &caption, const QString &spoken) {
    auto *key = new QPushButton(caption, this);
    nameControl(key, QStringLiteral("QuorinNumberPad") + name);
    key->setAccessibleName(spoken);
    // Pressing a key leaves the focus, and with it the caret, in the answer box.
    key->setFocusPolicy(Qt::NoFocus);
    key->setMinimumSize(kKeySize, kKeySize);
    key->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    key->setFont(designFont(caption.size() > 1 ? 14 : 20, true));
    m_keys.append(key);
    return key;
}

AnswerBox *NumberPad::target() const {
    auto *box = qobject_cast<AnswerBox *>(window()->focusWidget());
    return box && box->isVisible() && box->isEnabled() ? box : nullptr;
}

void NumberPad::updateKeys() {
    // The keys can be pressed only while an answer box waits for an answer.
    const bool active = target() != nullptr;
    for (QPushButton *key : std::as_const(m_keys))
        key->setEnabled(active);
}

void NumberPad::sendKey(int qtKey, const QString &text) {
    QPointer<AnswerBox> box = target();
    if (!box)
        return;
    // A press and its release, as a key of the keyboard gives them. The key may move the
    // focus on or grade the set; the release goes to the box that had the press.
    QKeyEvent press(QEvent::KeyPress, qtKey, Qt::NoModifier, text);
    QCoreApplication::sendEvent(box, &press);
    if (!box)
        return;
    QKeyEvent release(QEvent::KeyRelease, qtKey, Qt::NoModifier, text);
    QCoreApplication::sendEvent(box, &release);
}

void NumberPad::typeDigit(int digit) {
    sendKey(Qt::Key_0 + digit, QString::number(digit));
}

void NumberPad::confirmAnswer() {
    sendKey(Qt::Key_Return, QStringLiteral("\r"));
}

void NumberPad::clearAnswer() {
    // Backspace and Delete until the box is empty, as a pupil empties it from the keyboard:
    // they only edit the box, so clearing never moves on or grades.
    AnswerBox *box = target();
    for (int guard = box ? int(box->text().size()) : 0; guard >= 0 && target() == box; --guard) {
        if (box->text().isEmpty())
            break;
        if (box->cursorPosition() > 0)
            sendKey(Qt::Key_Backspace, QStringLiteral("\b"));
        else
            sendKey(Qt::Key_Delete, QStringLiteral("\x7f"));
    }
}
