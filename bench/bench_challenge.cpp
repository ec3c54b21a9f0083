// Challenge page: cost of dealing a sheet, of one move between boxes and of marking the
// whole sheet, through the widgets.

#include "../tests/testsupport.h"
#include "ui/main/answerbox.h"
#include "ui/main/challengepage.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>

class BenchChallenge : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void deal();
    void moveToNextBox();
    void markFullSheet();

private:
    static ChallengePage *enter(TestMain &t);
    static void fill(TestMain &t);
};

ChallengePage *BenchChallenge::enter(TestMain &t) {
    typeText(t.window->nameCombo()->lineEdit(), QStringLiteral("たろう"));
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
    t.window->show();
    QApplication::setActiveWindow(t.window.get());
    (void)QTest::qWaitForWindowActive(t.window.get());
    t.window->tabStrip()->setCurrentIndex(5);
    return t.window->challengePage();
}

void BenchChallenge::fill(TestMain &t) {
    ChallengePage *page = t.window->challengePage();
    for (int i = 0; i < ChallengePage::kBoxCount; ++i)
        page->answerBox(i)->setText(QString::number(t.state.ChallengeAnswerKey[i]));
}

void BenchChallenge::deal() {
    TestMain t;
    ChallengePage *page = enter(t);
    fill(t);
    QBENCHMARK {
        page->QuorinChallengeQuizRetryCommand_Click();
    }
}

void BenchChallenge::moveToNextBox() {
    TestMain t;
    ChallengePage *page = enter(t);
    QBENCHMARK {
        page->answerBox(40)->setFocus();
        QTest::keyClick(page->answerBox(40), Qt::Key_Return);
    }
}

void BenchChallenge::markFullSheet() {
    TestMain t;
    ChallengePage *page = enter(t);
    fill(t);
    QBENCHMARK {
        QTest::keyClick(page->answerBox(80), Qt::Key_Return);
    }
}

QTEST_MAIN(BenchChallenge)
#include "bench_challenge.moc"
