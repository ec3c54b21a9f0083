// The command line: arguments in, the data folder or the text to print and the exit code out.

#include "app/commandline.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>
#include <numeric>
#include <sys/stat.h>

class TestCommandLine : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void decide_data();
    void decide();
    void helpLinesUp_data();
    void helpLinesUp();
};

// Placeholders in the rows: <cwd> the current directory, <appdata> the per-user data folder
// (not yet made), <shared> an existing folder, <file> an ordinary file.
void TestCommandLine::decide_data() {
    QTest::addColumn<QStringList>("args");
    QTest::addColumn<bool>("japanese");
    QTest::addColumn<QString>("appData");
    QTest::addColumn<int>("exitCode"); // -1: goes on to open the window
    QTest::addColumn<QString>("folder");
    QTest::addColumn<QString>("printed");    // in stdout, in stderr on failure, else the notice
    QTest::addColumn<QString>("remembered"); // the folder chosen for every start

    const auto text = [](const char *t) { return *t ? QString::fromUtf8(t) : QString(); };
    const auto row = [&text](const char *name, const QStringList &args, int exitCode,
                             const char *folder, const char *printed, const char *remembered = "",
                             bool japanese = false, const char *appData = "<appdata>") {
        QTest::newRow(name) << args << japanese << text(appData) << exitCode << text(folder)
                            << text(printed) << text(remembered);
    };
    row("no arguments: current directory", {}, -1, "<cwd>", "");
    row("forget the teacher's PIN", {"--forget-pin"}, 0, "", "暗証番号を消しました", "", true);
    row("from menu: per-user folder, made", {"--from-menu"}, -1, "<appdata>", "");
    row("data folder wins over menu", {"--from-menu", "--data-folder", "<shared>"}, -1, "<shared>",
        "");
    row("relative data folder, = form", {"--data-folder=../shared/"}, -1, "<shared>", "");
    row("missing data folder", {"--data-folder", "<shared>/nothing"}, 1, "", "<shared>/nothing");
    // A folder whose name's bytes are no UTF-8 is there, but cannot be used by its name.
    row("data folder named in another encoding", {"--data-folder", "<latin1>"}, 1, "",
        "読めない文字", "", true);
    row("data folder is a file", {"--data-folder", "<file>"}, 1, "", "フォルダーではありません", "",
        true);
    row("empty data folder", {"--data-folder=", "--from-menu"}, 1, "", "--data-folder");
    row("unknown option", {"--colour"}, 1, "", "--colour");
    row("menu, per-user folder cannot be made", {"--from-menu"}, 1, "", "<file>/quorin", "", false,
        "<file>/quorin");
    row("version", {"--version"}, 0, "", "quorin 1.0.0\n");
    row("help wins over a bad folder", {"--help", "--data-folder", "<file>"}, 0, "", "--from-menu");
    row("remembered folder", {}, -1, "<shared>", "", "<shared>");
    row("remembered folder gone: current directory, teacher told", {}, -1, "<cwd>", "<shared>/gone",
        "<shared>/gone");
    row("data folder wins over remembered", {"--data-folder", "<cwd>"}, -1, "<cwd>", "",
        "<shared>");
    row("help, Japanese", {"-h"}, 0, "", "使い方", "", true);
    row("remembered folder gone: the notice names the folder used instead", {}, -1, "<cwd>",
        "<cwd>", "<shared>/gone");
    row("class server without a window", {"--serve", "--port", "8080"}, -1, "<cwd>", "");
    row("listen without the server", {"--listen", "127.0.0.1"}, 1, "", "--serve");
}

void TestCommandLine::decide() {
    QFETCH(QStringList, args);
    QFETCH(bool, japanese);
    QFETCH(QString, appData);
    QFETCH(int, exitCode);
    QFETCH(QString, folder);
    QFETCH(QString, printed);
    QFETCH(QString, remembered);

    QTemporaryDir tmp;
    const QString root = tmp.path();
    QVERIFY(QDir(root).mkpath("cwd") && QDir(root).mkpath("shared"));
    const QByteArray latin1 = QFile::encodeName(root) + "/caf\xe9";
#ifdef Q_OS_UNIX
    QCOMPARE(::mkdir(latin1.constData(), 0755), 0);
    const auto removeLatin1 = qScopeGuard([&latin1] { ::rmdir(latin1.constData()); });
#else
    if (args.contains("<latin1>"))
        QSKIP("Windows names files in UTF-16: no name is bytes of another encoding");
#endif
    QVERIFY(QFile(root + "/file").open(QIODevice::WriteOnly)); // an empty file
    const auto fill = [&](QString s) {
        return s.replace("<cwd>", root + "/cwd")
            .replace("<appdata>", root + "/share/quorin")
            .replace("<shared>", root + "/shared")
            .replace("<file>", root + "/file")
            .replace("<latin1>", QString::fromLocal8Bit(latin1));
    };

    CommandLineInput in;
    in.arguments << "quorin";
    for (const QString &a : args)
        in.arguments << fill(a);
    in.currentDirectory = root + "/cwd";
    in.appDataLocation = fill(appData);
    in.japanese = japanese;
    in.rememberedFolder = fill(remembered);

    const StartDecision d = decideStart(in);
    QCOMPARE(d.exitNow, exitCode >= 0);
    QCOMPARE(d.forgetPin, args.contains("--forget-pin"));
    // Whatever is printed, and the class server's own lines, reach the command prompt.
    QCOMPARE(writesToConsole(d), exitCode >= 0 || args.contains("--serve"));
    if (exitCode < 0) {
        QCOMPARE(d.dataFolder, QDir::toNativeSeparators(fill(folder)));
        QVERIFY(QFileInfo(d.dataFolder).isDir());
        QVERIFY2(d.standardError.isEmpty(), qPrintable(d.standardError));
        QCOMPARE(d.notice.isEmpty(), printed.isEmpty());
        QVERIFY2(d.notice.contains(QDir::toNativeSeparators(fill(printed))), qPrintable(d.notice));
        return;
    }
    QCOMPARE(d.exitCode, exitCode);
    const QString text = exitCode == 0 ? d.standardOutput : d.standardError;
    // Paths are printed as the system writes them (with "\" on Windows).
    QVERIFY2(text.contains(QDir::toNativeSeparators(fill(printed))), qPrintable(text));
    if (exitCode == 0)
        QVERIFY(d.standardError.isEmpty());
}

void TestCommandLine::helpLinesUp_data() {
    QTest::addColumn<bool>("japanese");
    QTest::newRow("English") << false;
    QTest::newRow("Japanese") << true;
}

void TestCommandLine::helpLinesUp() {
    // In a terminal a kana or kanji takes two columns: every explanation of an option starts
    // in the same column, and no line is wider than 80 columns.
    QFETCH(bool, japanese);
    CommandLineInput in;
    in.arguments = QStringList{"quorin", "--help"};
    in.japanese = japanese;
    const auto columns = [](const QString &text) {
        return std::accumulate(text.begin(), text.end(), 0,
                               [](int n, QChar c) { return n + (c.unicode() >= 0x1100 ? 2 : 1); });
    };
    QSet<int> starts;
    for (const QString &line : decideStart(in).standardOutput.split(u'\n')) {
        QVERIFY2(columns(line) <= 80, qPrintable(line));
        if (!line.startsWith("  "))
            continue;
        const qsizetype gap = line.indexOf("  ", 2);
        // An option's explanation starts after the gap; any other line's at its first letter.
        const qsizetype start =
            line.indexOf(QRegularExpression("\\S"), line.startsWith("  -") ? gap : 0);
        starts.insert(columns(line.left(start)));
    }
    QCOMPARE(starts.size(), 1);
}

QTEST_GUILESS_MAIN(TestCommandLine)
#include "tst_commandline.moc"
