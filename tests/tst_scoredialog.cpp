// The full-mark list: heading and column by the selected tab, the roster re-read at load,
// the scan's end, and a second opening that only brings the window forward.

#include "records/cp932.h"
#include "records/roster.h"
#include "testsupport.h"
#include "ui/dialogs/quorinscoredialog.h"

#include <QLabel>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>

namespace {

void writeRoster(const QString &path, const QStringList &pupils) {
    QStringList lines{rosterHeaderLine()};
    lines += pupils;
    QVERIFY(writeBytes(
        path, encodeCp932(lines.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n")).value()));
}

// Opens the list as the button of tab `tab` would.
QuorinScoreDialog *openFromTab(TestMain &t, int tab) {
    t.state.CurrentTab = static_cast<qint16>(tab);
    t.window->ShowScoreDialog();
    return t.window->scoreDialog();
}

} // namespace

class TestScoreDialog : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }

    void headingAndColumnByTab_data();
    void headingAndColumnByTab();
    void scanEnds_data();
    void scanEnds();
    void fullTableStopsAfterLastRow();
    void missingFileListsTheRosterInMemory();
    void secondOpeningKeepsTheOldList();
    void looksLikeThreeColumns();
};

void TestScoreDialog::headingAndColumnByTab_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("heading");
    QTest::addColumn<QStringList>("names");
    const QString hundred = QStringLiteral("100点　発表！");
    QTest::newRow("Novice") << 2 << hundred
                            << QStringList{QStringLiteral("あいこ"), QStringLiteral("なおき")};
    QTest::newRow("Intermediate") << 3 << hundred
                                  << QStringList{QStringLiteral("かずま"),
                                                 QStringLiteral("なおき")};
    QTest::newRow("Expert") << 4 << hundred
                            << QStringList{QStringLiteral("さとし"), QStringLiteral("なおき")};
    QTest::newRow("Challenge") << 5 << QStringLiteral("合格　発表！")
                               << QStringList{QStringLiteral("たかこ"), QStringLiteral("なおき"),
                                              QStringLiteral("はるか")};
    QTest::newRow("no activity") << 1 << hundred << QStringList{};
}

void TestScoreDialog::headingAndColumnByTab() {
    QFETCH(int, tab);
    QFETCH(QString, heading);
    QFETCH(QStringList, names);
    TestMain t;
    writeRoster(t.state.rosterPath(),
                {QStringLiteral("あいこ;1;0;0;0"), QStringLiteral("かずま;0;2;0;0"),
                 QStringLiteral("さとし;0;0;3;0"), QStringLiteral("たかこ;0;0;0;4"),
                 QStringLiteral("なおき;5;5;5;5"), QStringLiteral("のりこ;0;x;;0"),
                 QStringLiteral("はるか;;;;2回")});
    QuorinScoreDialog *list = openFromTab(t, tab);
    QVERIFY(list && list->isVisible());
    QCOMPARE(list->windowTitle(), QStringLiteral("まん点リスト"));
    QCOMPARE(list->heading()->text(), heading);
    QCOMPARE(list->names(), names);
    QCOMPARE(list->findChild<QPushButton *>(QStringLiteral("OKButton"))->text(),
             QStringLiteral("戻る"));
}

void TestScoreDialog::scanEnds_data() {
    QTest::addColumn<QStringList>("pupils");
    QTest::addColumn<QStringList>("names");
    QTest::newRow("header only") << QStringList{} << QStringList{};
    QTest::newRow("zero not listed")
        << QStringList{QStringLiteral("あ;0;0;0;0"), QStringLiteral("い;3;0;0;0")}
        << QStringList{QStringLiteral("い")};
    QTest::newRow("empty name stops")
        << QStringList{QStringLiteral("あ;1;0;0;0"), QStringLiteral(";1;0;0;0"),
                       QStringLiteral("う;1;0;0;0")}
        << QStringList{QStringLiteral("あ")};
    // A malformed line stops the reading; what came before it is listed.
    QTest::newRow("malformed line")
        << QStringList{QStringLiteral("あ;1;0;0;0"), QStringLiteral("い;1;0"),
                       QStringLiteral("う;1;0;0;0")}
        << QStringList{QStringLiteral("あ"), QStringLiteral("い")};
}

void TestScoreDialog::scanEnds() {
    QFETCH(QStringList, pupils);
    QFETCH(QStringList, names);
    TestMain t;
    writeRoster(t.state.rosterPath(), pupils);
    QCOMPARE(openFromTab(t, 2)->names(), names);
}

void TestScoreDialog::fullTableStopsAfterLastRow() {
    // 100 pupils fill every row of the table; a 102nd line is never read.
    TestMain t;
    QStringList pupils;
    for (int i = 1; i <= 101; ++i)
        pupils << QStringLiteral("p%1;1;0;0;0").arg(i);
    writeRoster(t.state.rosterPath(), pupils);
    const QStringList names = openFromTab(t, 2)->names();
    QCOMPARE(names.size(), 100);
    QCOMPARE(names.first(), QStringLiteral("p1"));
    QCOMPARE(names.last(), QStringLiteral("p100"));
}

void TestScoreDialog::missingFileListsTheRosterInMemory() {
    TestMain t;
    t.state.RosterTable[0][0] = rosterHeaderLine().section(QLatin1Char(';'), 0, 0);
    t.state.RosterTable[1][0] = QStringLiteral("みき");
    t.state.RosterTable[1][4] = QStringLiteral("2");
    QVERIFY(!QFile::exists(t.state.rosterPath()));
    QCOMPARE(openFromTab(t, 5)->names(), QStringList{QStringLiteral("みき")});
}

void TestScoreDialog::secondOpeningKeepsTheOldList() {
    TestMain t;
    t.window->show();
    writeRoster(t.state.rosterPath(), {QStringLiteral("あ;0;0;0;1")});
    QPointer<QuorinScoreDialog> first = openFromTab(t, 5);
    QCOMPARE(first->names(), QStringList{QStringLiteral("あ")});
    // A new full mark is saved and the Novice button pressed: the open list comes forward
    // unchanged.
    writeRoster(t.state.rosterPath(), {QStringLiteral("あ;0;0;0;1"), QStringLiteral("い;1;0;0;1")});
    QuorinScoreDialog *second = openFromTab(t, 2);
    QCOMPARE(second, first.data());
    QCOMPARE(second->heading()->text(), QStringLiteral("合格　発表！"));
    QCOMPARE(second->names(), QStringList{QStringLiteral("あ")});
    // "戻る" unloads it; the next opening loads afresh.
    QTest::mouseClick(second->findChild<QPushButton *>(QStringLiteral("OKButton")), Qt::LeftButton);
    QTRY_VERIFY(!first);
    QuorinScoreDialog *third = openFromTab(t, 2);
    QCOMPARE(third->heading()->text(), QStringLiteral("100点　発表！"));
    QCOMPARE(third->names(), QStringList{QStringLiteral("い")});
}

void TestScoreDialog::looksLikeThreeColumns() {
    TestMain t;
    QStringList pupils;
    const QString names[] = {QStringLiteral("あおき　はな"), QStringLiteral("いとう"),
                             QStringLiteral("うえだ　しょうた"), QStringLiteral("えもと"),
                             QStringLiteral("おがわ　ゆい")};
    for (int i = 0; i < 30; ++i)
        pupils << names[i % 5] + QString::number(i + 1) + QStringLiteral(";1;0;0;0");
    writeRoster(t.state.rosterPath(), pupils);
    QuorinScoreDialog *list = openFromTab(t, 2);
    QListWidget *view = list->list();
    QCOMPARE(view->count(), 30);
    // Names run down the first column and continue at the top of the next.
    QSet<int> columns;
    for (int i = 0; i < view->count(); ++i)
        columns.insert(view->visualItemRect(view->item(i)).left());
    QCOMPARE(columns.size(), 3);
    const QRect first = view->visualItemRect(view->item(0));
    const QRect second = view->visualItemRect(view->item(1));
    QCOMPARE(second.left(), first.left());
    QVERIFY(second.top() > first.top());
    snapshot(list, QStringLiteral("full-mark-list"));
}

QTEST_MAIN(TestScoreDialog)
#include "tst_scoredialog.moc"
