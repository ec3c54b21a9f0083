// The class sheet: built from the logs of several computers, told of answers the log could
// not take, and saved as a PDF page. (The lines a pupil's answers add to the log are checked
// in the page journeys.)

#include "classroom/answerlog.h"
#include "classroom/classroom.h"
#include "testsupport.h"
#include "ui/dialogs/frmclasssheet.h"
#include "ui/main/geometry.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QStringEncoder>
#include <QTimer>

class TestClassSheet : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() {
        useTestSettings();
        installJapaneseQtTexts();
    }
    void sheetFromLogs_data();
    void sheetFromLogs();
    void answerTimes_data();
    void answerTimes();
    void sheetWindow();
    void pdfPage();
};

namespace {

// A data folder with three pupils, たろう holding the level 1 record, and answer logs.
struct Folder : Room {
    explicit Folder(const QList<QByteArray> &logs)
        : Room(roster({"たろう;3;0;1;0", "はなこ;0;2;0;0", "じろう;0;0;0;0"}),
               streakLines({"たろう; 3", "はなこ; 2", ";0", ";0"}), false) {
        for (int i = 0; i < logs.size(); ++i)
            writeBytes(dir.filePath(QStringLiteral("answers-pc%1.csv").arg(i)), logs[i]);
    }
};

QByteArray log(const QByteArray &lines) {
    return answerLogHeader() + lines;
}

QByteArray utf16(QStringConverter::Encoding encoding, const QString &text) {
    return QStringEncoder(encoding, QStringConverter::Flag::WriteBom).encode(text);
}

} // namespace

// Grid cells "a×b wrong/answered" (every other cell empty); table lines "name runs answered
// wrong" with ★ on a class record; the pupils without answers; damaged lines.
void TestClassSheet::sheetFromLogs_data() {
    QTest::addColumn<QList<QByteArray>>("logs");
    QTest::addColumn<int>("period");
    QTest::addColumn<QString>("pupil");
    QTest::addColumn<QStringList>("grid");
    QTest::addColumn<QStringList>("table");
    QTest::addColumn<QStringList>("idle");
    QTest::addColumn<int>("damaged");
    QTest::addColumn<QStringList>("known"); // pupils' known facts, then each fact's known share
    const QList<QByteArray> twoPcs = {log("2026-12-07 09:00:00,たろう,レベル1,3,4,×\r\n2026-12-08 "
                                          "09:00:00,たろう,れんしゅう,3,4,○\r\n"),
                                      log("2026-11-30 10:00:00,はなこ,レベル2,3,4,×\r\n2026-12-09 "
                                          "10:00:00,はなこ,チャレンジ,3,4,×\n"
                                          "2026-12-09 10:00:01,はなこ,チャレンジ,9,9,○\n")};
    // The answer of November 30 is in neither this week nor this month.
    for (int period : {0, 1})
        QTest::newRow(period ? "this month" : "two computers, this week")
            << twoPcs << period << "" << QStringList{"3×4 2/3", "9×9 0/1"}
            << QStringList{"たろう ★3 0 1 0 2 1", "はなこ 0 ★2 0 0 2 1", "じろう 0 0 0 0 0 0"}
            << QStringList{"じろう"} << 0 << QStringList{};
    QTest::newRow("all, one pupil")
        << twoPcs << 2 << "はなこ" << QStringList{"3×4 2/2", "9×9 0/1"}
        << QStringList{"たろう ★3 0 1 0 2 1", "はなこ 0 ★2 0 0 3 2", "じろう 0 0 0 0 0 0"}
        << QStringList{"じろう"} << 0 << QStringList{};
    // Quoted names, a date a spreadsheet rewrote, CR LF and LF, a column added; damaged: a
    // factor 0, a 10, text, an unknown activity, a mark that is no mark, a day that does not
    // exist, an open quote, and a torn last line. The header again is no damage.
    QTest::newRow("damaged lines")
        << QList<QByteArray>{log("2026-12-08 10:00:00,\"じ,ろう\",れんしゅう,2,2,×\r\n"
                                 "2026/12/8 10:00,\"た\"\"ろう\",レベル3,2,2,○\n"
                                 "2026-12-08 10:00:00,たろう,レベル1,0,4,○\n"
                                 "2026-12-08 10:00:00,たろう,レベル1,10,4,○\n"
                                 "garbage\n"
                                 "2026-12-08 10:00:00,たろう,しゅくだい,2,4,○\n"
                                 "2026-12-08 10:00:00,たろう,レベル1,2,4,◎\n"
                                 "2026-02-30 10:00:00,たろう,レベル1,2,4,○\n"
                                 "2026-12-08 10:00:00,\"たろう,レベル1,2,4,○\n"
                                 "2026-12-08 10:00:00,たろう,レベル1,2,4,○,x\n" +
                                 answerLogHeader().mid(3) + "2026-12-08 10:0"),
                             log("")}
        << 0 << "" << QStringList{"2×2 1/2", "2×4 0/1"}
        << QStringList{"たろう ★3 0 1 0 1 0", "はなこ 0 ★2 0 0 0 0", "じろう 0 0 0 0 0 0"}
        << QStringList{"はなこ", "じろう"} << 8 << QStringList{};
    // Files a spreadsheet saved again, every one of them read: code page 932 with its own
    // dates, UTF-16 with a byte order mark (tab-separated too), a column added; an answer of
    // a set left unfinished counts like any other.
    const QString header6 = "日時,名前,活動,かけられる数,かける数,はじめの答え\r\n";
    QTest::newRow("spreadsheet saves")
        << QList<QByteArray>{encodeCp932(header6 + "2026/12/8 10:00,たろう,レベル1,3,4,×\r\n")
                                 .value(),
                             utf16(QStringConverter::Utf16LE,
                                   header6 +
                                       "2026-12-08 10:00:00,はなこ,レベル2,3,4,○,とちゅう\r\n"),
                             utf16(QStringConverter::Utf16BE,
                                   "日時\t名前\t活動\t1\t2\t3\r\n"
                                   "2026-12-08 10:00:00\tはなこ\tレベル2\t9\t9\t×\r\n"),
                             log("2026-12-08 10:00:00,じろう,チャレンジ,3,4,○,,よくできた\r\n")}
        << 0 << "" << QStringList{"3×4 1/3", "9×9 1/1"}
        << QStringList{"たろう ★3 0 1 0 1 1", "はなこ 0 ★2 0 0 2 1", "じろう 0 0 0 0 1 0"}
        << QStringList{} << 0 << QStringList{};
    // Lines longer than any answer's are skipped unread, with or without a line end.
    QTest::newRow("over-long lines")
        << QList<QByteArray>{log("2026-12-08 10:00:00," + QByteArray(1100, 'a') +
                                 ",レベル1,3,4,○,\r\n" + QByteArray(1 << 20, ',') +
                                 "\n2026-12-08 10:00:00,たろう,レベル1,2,2,○,\r\n" +
                                 QByteArray(3000, '"'))}
        << 0 << "" << QStringList{"2×2 0/1"}
        << QStringList{"たろう ★3 0 1 0 1 0", "はなこ 0 ★2 0 0 0 0", "じろう 0 0 0 0 0 0"}
        << QStringList{"はなこ", "じろう"} << 3 << QStringList{};
    // Lines with answer times: 3 × 4 right twice within 6 seconds is known to たろう; はなこ
    // was too slow once, and an older line has no time; a set of the weak facts' practice
    // reads as an activity too.
    QTest::newRow("answer times")
        << QList<QByteArray>{log("2026-12-08 10:00:00,たろう,レベル1,3,4,○,,2100,12\r\n"
                                 "2026-12-08 10:00:09,たろう,にがて れんしゅう,3,4,○,,5900,12\r\n"
                                 "2026-12-08 10:00:10,はなこ,レベル2,3,4,○,,6100,12\r\n"
                                 "2026-12-08 10:00:11,はなこ,レベル2,3,4,○\r\n")}
        << 0 << "" << QStringList{"3×4 0/4"}
        << QStringList{"たろう ★3 0 1 0 2 0", "はなこ 0 ★2 0 0 2 0", "じろう 0 0 0 0 0 0"}
        << QStringList{"じろう"} << 0 << QStringList{"たろう 1", "3×4 1/2"};
}

void TestClassSheet::sheetFromLogs() {
    QFETCH(QList<QByteArray>, logs);
    QFETCH(int, period);
    QFETCH(QString, pupil);
    Folder f(logs);
    const AnswerLogs read = readAnswerLogs(f.dir.path());
    QCOMPARE(read.files.size(), logs.size());
    const ClassSheet sheet = buildClassSheet(f.model->classRoster(), read, SheetPeriod(period),
                                             QDate(2026, 12, 9), pupil);
    const auto fact = [](int i, int part, int whole) {
        return QStringLiteral("%1×%2 %3/%4").arg(i / 9 + 1).arg(i % 9 + 1).arg(part).arg(whole);
    };
    QStringList grid, table, known, knownFacts;
    for (int i = 0; i < kFactCount; ++i) {
        if (sheet.facts[i].answered)
            grid << fact(i, sheet.facts[i].wrong, sheet.facts[i].answered);
        if (sheet.facts[i].knownBy)
            knownFacts << fact(i, sheet.facts[i].knownBy, sheet.facts[i].pupils);
    }
    for (const PupilLine &line : sheet.pupils) {
        QString text = line.name;
        for (int k = 0; k < 4; ++k)
            text += (line.holdsRecord[k] ? " ★" : " ") + QString::number(line.best[k]);
        table << text + QStringLiteral(" %1 %2").arg(line.answered).arg(line.wrong);
        if (line.known)
            known << QStringLiteral("%1 %2").arg(line.name).arg(line.known);
    }
    QTEST(grid, "grid");
    QTEST(table, "table");
    QTEST(sheet.idle, "idle");
    QTEST(sheet.damagedLines, "damaged");
    QTEST(known + knownFacts, "known");
}

// The day, the time of day and the time taken read from each line ("day second ms"), and the
// lines that are no answers: times out of range or holding the byte after '9'. The days: one
// whose text starts with the text of the day before.
void TestClassSheet::answerTimes_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QStringList>("read");
    QTest::addColumn<int>("damaged");
    QTest::newRow("times of day") << QByteArray("2026-12-08 10:15:03,た,レベル1,3,4,○,,2140,12\r\n"
                                                "2026-12-08 23:59:59,た,レベル1,3,4,○\r\n"
                                                "2026/12/8 9:05,た,レベル1,3,4,○\r\n"
                                                "2026-12-08 24:00:00,た,レベル1,3,4,○\r\n"
                                                "2026-12-08 10:60:00,た,レベル1,3,4,○\r\n"
                                                "2026-12-08 10:00:60,た,レベル1,3,4,○\r\n"
                                                "2026-12-08 0;:00:00,た,レベル1,3,4,○\r\n")
                                  << QStringList{"2026-12-08 36903 2140", "2026-12-08 86399 -1",
                                                 "2026-12-08 32700 -1"}
                                  << 4;
    QTest::newRow("days in turn") << QByteArray("2026/12/1 10:00,た,レベル1,3,4,○\r\n"
                                                "2026/12/10 10:00,た,レベル1,3,4,○\r\n"
                                                "2026/12/1 10:00,た,レベル1,3,4,○\r\n"
                                                "2026-12-01 10:00,た,レベル1,3,4,○\r\n")
                                  << QStringList{"2026-12-01 36000 -1", "2026-12-10 36000 -1",
                                                 "2026-12-01 36000 -1", "2026-12-01 36000 -1"}
                                  << 0;
}

void TestClassSheet::answerTimes() {
    QFETCH(QByteArray, lines);
    AnswerLogs logs;
    QVERIFY(logs.addFile(log(lines)));
    QStringList read;
    for (const AnswerRecord &r : logs.answers)
        read << QDate::fromJulianDay(r.day).toString(Qt::ISODate) +
                    QStringLiteral(" %1 %2").arg(r.second).arg(r.ms);
    QTEST(read, "read");
    QTEST(logs.damagedLines, "damaged");
}

// The window opened from the menu: the logs are read in the background with a progress bar,
// the window can be closed while they are read; a name holding markup and a file name
// holding markup are shown as they are; answers this computer could not log are told.
void TestClassSheet::sheetWindow() {
    const QString markup = "<font color=red size=7>先生へ</font>";
    ShownMain t(roster({markup + ";1;0;0;0"}));
    writeBytes(t.path("Quorin.dat"), streakLines({markup + "; 1", ";0", ";0", ";0"}));
    QByteArray lines = answerLogHeader();
    const QByteArray today = QDate::currentDate().toString("yyyy-MM-dd").toLatin1();
    for (int i = 0; i < 20000; ++i)
        lines += today + " 10:00:00," + markup.toUtf8() + ",レベル1,3,4,○,\r\n";
    writeBytes(t.path("answers-pc.csv"), lines);
    // An unreadable log with markup in its name: a link to a device where there are links, a
    // folder (with an entity in its name, as "<" cannot be in one) on Windows.
#ifdef Q_OS_UNIX
    const QString odd = "answers-<i>pc.csv";
    QVERIFY(QFile::link("/dev/zero", t.path(odd)));
#else
    const QString odd = "answers-&lt;i&gt;pc.csv";
    QVERIFY(QDir(t.dir.path()).mkdir(odd));
#endif
    const auto open = [&t] {
        QApplication::setActiveWindow(t.window.get());
        [&] { QVERIFY(QTest::qWaitForWindowActive(t.window.get())); }();
        t.menu(Qt::Key_T, Qt::Key_C);
        return t.window->classSheet();
    };
    {
        SlowLogReadForTesting slow(100);
        QPointer<frmClassSheet> sheet = open();
        QVERIFY(sheet && sheet->isReading());
        QTRY_VERIFY(sheet->progressBar()->isVisible() && sheet->progressBar()->value() > 0);
        snapshot(sheet, "classsheet-reading");
        QTest::mouseClick(sheet->findChild<QPushButton *>("ClassSheetCloseCommand"),
                          Qt::LeftButton);
        QTRY_VERIFY(!sheet); // stopped and gone at once, whatever was left to read
    }
    t.signIn("たろう");
    {
        AppendFaultForTesting fault;
        t.classroom->recordAnswer(LoggedActivity::Practice, {2, 3, true});
    }
    frmClassSheet *sheet = open();
    QTRY_VERIFY(!sheet->isReading());
    QVERIFY(sheet->findChild<QLabel *>("ClassSheetLogProblem")->text().contains("答えが 1 問"));
    QCOMPARE(sheet->sheet().answered, 20000);
    QCOMPARE(sheet->sheet().unreadable, QStringList{odd});
    sheet->pupilCombo()->setCurrentIndex(1);
    snapshot(sheet, "classsheet-markup");
    int shown = 0;
    for (QLabel *label : sheet->findChildren<QLabel *>()) {
        const QString text = label->text();
        if (text.contains(markup) || text.contains(odd.mid(8, 8))) {
            QVERIFY2(label->textFormat() == Qt::PlainText, qPrintable(text));
            ++shown;
        }
        if (label->textFormat() != Qt::PlainText)
            QVERIFY2(!text.contains("<font") && !text.contains("<i>"), qPrintable(text));
    }
    QVERIFY(shown >= 3); // the grid's title, the class records, the files read
}

// The sheet saved as PDF from its window: one A4 page with the class, the period and the day.
void TestClassSheet::pdfPage() {
    Folder f({log("2026-12-08 09:00:00,たろう,レベル1,3,4,×\r\n")});
    frmClassSheet window(*f.model);
    window.Form_Load();
    QTRY_VERIFY(!window.isReading());
    window.setToday(QDate(2026, 12, 9));
    window.show();
    // Without a Documents folder, the save dialog opens in the data folder, in Japanese.
    // (Windows shows its own save dialog, in its own language, and finds Documents without
    // HOME: the step is Unix's.)
#ifndef Q_OS_WIN
    QTemporaryDir home;
    const QByteArray oldHome = qgetenv("HOME");
    qputenv("HOME", QFile::encodeName(home.path()));
    qunsetenv("XDG_CONFIG_HOME");
    QString opened;
    QStringList buttons;
    QTimer::singleShot(0, &window, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        opened = dialog->directory().absolutePath();
        snapshot(dialog, "pdf-save-dialog");
        for (const QPushButton *button : dialog->findChildren<QPushButton *>())
            buttons << button->text();
        dialog->reject();
    });
    QTest::mouseClick(window.findChild<QPushButton *>("ClassSheetPdfCommand"), Qt::LeftButton);
    qputenv("HOME", oldHome);
    QCOMPARE(opened, QDir(f.dir.path()).absolutePath());
    QVERIFY2(buttons.contains("保存(&S)") && buttons.contains("キャンセル"),
             qPrintable(buttons.join(u'|')));
#endif
    // The class named by the teacher instead of by its folder, and remembered for the folder.
    QVERIFY(window.windowTitle().endsWith(QFileInfo(f.dir.path()).fileName()));
    auto *className = window.findChild<QLineEdit *>("ClassSheetClassName");
    QTest::mouseClick(className, Qt::LeftButton);
    typeText(className, "2年1組");
    QTest::keyClick(className, Qt::Key_Return);
    {
        frmClassSheet again(*f.model);
        again.Form_Load();
        QCOMPARE(again.windowTitle(), "クラスのようす　2年1組");
    }
    const QString pdf = f.dir.filePath("sheet.pdf");
    window.setPdfPathHook([&pdf] { return pdf; });
    QTest::mouseClick(window.findChild<QPushButton *>("ClassSheetPdfCommand"), Qt::LeftButton);
    QVERIFY(readBytes(pdf).startsWith("%PDF-"));
    // Its pages are read with poppler's tools, which the Windows build under Wine cannot start.
    if (QStandardPaths::findExecutable("pdfinfo").isEmpty())
        QSKIP("pdfinfo and pdftotext (poppler-utils) are not here");
    QProcess info, text;
    info.start("pdfinfo", {pdf});
    QVERIFY(info.waitForFinished());
    const QString infoText = QString::fromUtf8(info.readAllStandardOutput());
    QVERIFY2(infoText.contains(QRegularExpression("Pages:\\s+1\\n")), qPrintable(infoText));
    QVERIFY2(infoText.contains("595 x 842 pts (A4)"), qPrintable(infoText));
    text.start("pdftotext", {"-layout", pdf, "-"});
    QVERIFY(text.waitForFinished());
    const QString page = QString::fromUtf8(text.readAllStandardOutput());
    for (const char *expected : {"クラスのようす", "2年1組", "今週（2026年12月7日（月）",
                                 "2026年12月9日（水）", "たろうさん", "じろう"})
        QVERIFY2(page.contains(expected), qPrintable(QString(expected) + "\n" + page));
    const QString printed = QDate::currentDate().toString("yyyy年M月d日");
    QVERIFY(page.contains(QRegularExpression("印刷日\\s*" + printed)));
}

QTEST_MAIN(TestClassSheet)
#include "tst_classsheet.moc"
