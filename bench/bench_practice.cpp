// Practice page: cost of choosing a row and of one confirmed answer, through the widgets.

#include "../tests/testsupport.h"
#include "ui/main/practicepage.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>

class BenchPractice : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void chooseRow();
    void wholeRow();

private:
    static void enter(TestMain &t);
};

void BenchPractice::enter(TestMain &t) {
    typeText(t.window->nameCombo()->lineEdit(), QStringLiteral("たろう"));
    QTest::mouseClick(t.find<QPushButton>(QStringLiteral("QuorinIniFinCommand")), Qt::LeftButton);
    t.window->show();
    t.window->tabStrip()->setCurrentIndex(1);
}

void BenchPractice::chooseRow() {
    TestMain t;
    enter(t);
    PracticePage *page = t.window->practicePage();
    QRadioButton *random = t.find<QRadioButton>(QStringLiteral("QuorinPracticeSelectOption_9"));
    QBENCHMARK {
        page->QuorinPracticeRetryCommand_Click();
        QTest::mouseClick(random, Qt::LeftButton);
    }
}

void BenchPractice::wholeRow() {
    TestMain t;
    enter(t);
    PracticePage *page = t.window->practicePage();
    QRadioButton *row9 = t.find<QRadioButton>(QStringLiteral("QuorinPracticeSelectOption_8"));
    QBENCHMARK {
        page->QuorinPracticeRetryCommand_Click();
        QTest::mouseClick(row9, Qt::LeftButton);
        for (int i = 0; i < 18; ++i) {
            auto *box = t.find<QLineEdit>(QStringLiteral("QuorinPracticeAnswerTextBox_%1").arg(i));
            box->setText(QString::number(t.state.PracticeAnswerKey[i]));
            QTest::keyClick(box, Qt::Key_Return);
        }
    }
}

QTEST_MAIN(BenchPractice)
#include "bench_practice.moc"
