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

QStringList utf8(std::initializer_list<const char *> texts) {
    QStringList out;
    for (const char *text : texts)
        out << QString::fromUtf8(text);
    return out;
}

void writeRoster(const QString &path, const QStringList &pupils) {
    const QString text = (QStringList{rosterHeaderLine()} + pupils).join(QStringLiteral("\r\n"));
    QVERIFY(writeBytes(path, encodeCp932(text + QStringLiteral("\r\n")).value()));
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

    void listedNames_data() {
        QTest::addColumn<int>("tab");
        QTest::addColumn<QStringList>("pupils");
        QTest::addColumn<QStringList>("names");
        const QStringList roster =
            utf8({"あいこ;1;0;0;0", "かずま;0;2;0;0", "さとし;0;0;3;0", "たかこ;0;0;0;4",
                  "なおき;5;5;5;5", "のりこ;0;x;;0", "はるか;;;;2回"});
        QTest::newRow("Novice") << 2 << roster << utf8({"あいこ", "なおき"});
        QTest::newRow("Intermediate") << 3 << roster << utf8({"かずま", "なおき"});
        QTest::newRow("Expert") << 4 << roster << utf8({"さとし", "なおき"});
        QTest::newRow("Challenge") << 5 << roster << utf8({"たかこ", "なおき", "はるか"});
        QTest::newRow("header only") << 2 << QStringList{} << QStringList{};
        // Lines that are no pupil's (an empty name, too few ";") hide nobody after them.
        QTest::newRow("lines that are no pupil's")
            << 2 << utf8({"あ;1;0;0;0", ";1;0;0;0", "い;1;0", "う;1;0;0;0"}) << utf8({"あ", "う"});
        // 100 pupils fill every row of the table; a 102nd line is never read.
        QStringList pupils;
        for (int i = 1; i <= 101; ++i)
            pupils << QStringLiteral("p%1;1;0;0;0").arg(i);
        QTest::newRow("full table")
            << 2 << pupils
            << pupils.mid(0, 100).replaceInStrings(QStringLiteral(";1;0;0;0"), QString());
    }

    void listedNames() {
        QFETCH(int, tab);
        QFETCH(QStringList, pupils);
        QFETCH(QStringList, names);
        TestMain t;
        writeRoster(t.state.rosterPath(), pupils);
        QuorinScoreDialog *list = openFromTab(t, tab);
        QVERIFY(list && list->isVisible() && !list->parentWidget());
        QCOMPARE(list->heading()->text(),
                 tab == 5 ? QStringLiteral("合格　発表！") : QStringLiteral("100点　発表！"));
        QCOMPARE(list->names(), names);
    }

    void secondOpeningKeepsTheOldList() {
        TestMain t;
        t.window->show();
        // Without a roster file the list shows the roster in memory, up to the first empty name.
        t.state.RosterTable[0][0] = rosterHeaderLine().section(QLatin1Char(';'), 0, 0);
        t.state.RosterTable[1][0] = QStringLiteral("あ");
        t.state.RosterTable[1][4] = QStringLiteral("1");
        t.state.RosterTable[3][0] = QStringLiteral("う");
        t.state.RosterTable[3][4] = QStringLiteral("1");
        QPointer<QuorinScoreDialog> first = openFromTab(t, 5);
        QCOMPARE(first->names(), utf8({"あ"}));
        // A new full mark is saved and the Novice button pressed: the open list comes forward
        // unchanged.
        writeRoster(t.state.rosterPath(), utf8({"あ;0;0;0;1", "い;1;0;0;1"}));
        QCOMPARE(openFromTab(t, 2), first.data());
        QCOMPARE(first->heading()->text(), QStringLiteral("合格　発表！"));
        QCOMPARE(first->names(), utf8({"あ"}));
        // "戻る" unloads it; the next opening loads afresh.
        auto *ok = first->findChild<QPushButton *>(QStringLiteral("OKButton"));
        QCOMPARE(ok->text(), QStringLiteral("戻る"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QTRY_VERIFY(!first);
        QuorinScoreDialog *third = openFromTab(t, 2);
        QCOMPARE(third->heading()->text(), QStringLiteral("100点　発表！"));
        QCOMPARE(third->names(), utf8({"い"}));
    }

    void looksLikeThreeColumns() {
        TestMain t;
        const QStringList names = utf8({"あおき　はな", "いとう", "うえだ　しょうた", "えもと"});
        QStringList pupils;
        for (int i = 0; i < 30; ++i)
            pupils << names[i % 4] + QString::number(i + 1) + QStringLiteral(";1;0;0;0");
        writeRoster(t.state.rosterPath(), pupils);
        QListWidget *view = openFromTab(t, 2)->list();
        // Names run down the first column, then the second and the third.
        QSet<int> columns;
        for (int i = 0; i < view->count(); ++i)
            columns.insert(view->visualItemRect(view->item(i)).left());
        QCOMPARE(columns.size(), 3);
        snapshot(view->window(), QStringLiteral("full-mark-list"));
    }
};

QTEST_MAIN(TestScoreDialog)
#include "tst_scoredialog.moc"
