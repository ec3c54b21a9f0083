#include "app/commandline.h"

#include "classroom/classroom.h"
#include "records/datafile.h"

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QStandardPaths>
#include <cstdio>

#ifdef Q_OS_WIN
#include <qt_windows.h>
#include <shellapi.h>
#endif

namespace {

const char *const kProgram = "quorin";

// Options that QApplication takes out of argv for itself. They are accepted here and left
// to it, so that a program started with -platform or -style still starts.
const char *const kQtValueOptions[] = {"platform",
                                       "platformpluginpath",
                                       "platformtheme",
                                       "plugin",
                                       "qwindowgeometry",
                                       "geometry",
                                       "qwindowtitle",
                                       "title",
                                       "qwindowicon",
                                       "icon",
                                       "session",
                                       "display",
                                       "name",
                                       "style",
                                       "stylesheet",
                                       "qmljsdebugger"};
const char *const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb",
                                      "dograb",  "sync",        "testability"};

QString versionText(bool japanese) {
    const QString first =
        QStringLiteral("%1 %2\n").arg(QLatin1String(kProgram), QStringLiteral(QUORIN_VERSION));
    return first + (japanese
                        ? QStringLiteral("ミルト　ーネ — かけ算九九の練習（小学2年生の算数）\n")
                        : QStringLiteral("ミルト　ーネ — multiplication-table drill for "
                                         "second-grade pupils\n"));
}

// Columns a character takes in a terminal: two for East Asian wide and full-width ones.
int displayWidth(const QString &text) {
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) ||
                          (u >= 0xAC00 && u <= 0xD7A3) || (u >= 0xF900 && u <= 0xFAFF) ||
                          (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60) ||
                          (u >= 0xFFE0 && u <= 0xFFE6);
        width += c.isLowSurrogate() ? 0 : (wide ? 2 : 1);
    }
    return width;
}

// The options and their lines of explanation, in one column that lines up in a terminal
// whatever the language (a Japanese word takes two columns a letter).
QString optionTable(const QList<QPair<QString, QStringList>> &options) {
    int column = 0;
    for (const auto &option : options)
        column = qMax(column, displayWidth(option.first));
    QString table;
    for (const auto &option : options)
        for (qsizetype i = 0; i < option.second.size(); ++i) {
            const QString head = i == 0 ? option.first : QString();
            table += QStringLiteral("  ") + head + QString(column - displayWidth(head) + 2, u' ') +
                     option.second[i] + u'\n';
        }
    return table;
}

QString helpText(bool japanese) {
    if (japanese)
        return QStringLiteral("使い方: quorin [オプション]\n"
                              "かけ算九九の練習ソフトです。\n"
                              "\n"
                              "オプション:\n") +
               optionTable(
                   {{QStringLiteral("-h, --help"),
                     {QStringLiteral("この説明を表示して終わります")}},
                    {QStringLiteral("-v, --version"),
                     {QStringLiteral("バージョンを表示して終わります")}},
                    {QStringLiteral("--data-folder <フォルダー>"),
                     {QStringLiteral("名簿と記録のファイルをこのフォルダーに置きます"),
                      QStringLiteral("（クラスのパソコンで同じ共有フォルダーを使うとき）")}},
                    {QStringLiteral("--from-menu"),
                     {QStringLiteral("メニューから起動したとき: --data-folder がなければ"),
                      QStringLiteral("ユーザーごとのデータフォルダーを使います")}},
                    {QStringLiteral("--forget-pin"),
                     {QStringLiteral("先生の暗証番号を消して終わります（わすれたとき）")}},
                    {QStringLiteral("--serve"),
                     {QStringLiteral("ウィンドウを出さずに、タブレット用の"),
                      QStringLiteral("クラスのサーバーを始めます（Ctrl+C で終わります）")}},
                    {QStringLiteral("--listen <アドレス>"),
                     {QStringLiteral("--serve のサーバーが待つアドレス")}},
                    {QStringLiteral("--port <番号>"),
                     {QStringLiteral("--serve のサーバーのポート")}}}) +
               QStringLiteral("\n"
                              "オプションがなければ、オプション画面でおぼえたフォルダー、\n"
                              "それもなければいまのフォルダーがデータフォルダーです。\n"
                              "データフォルダーには名簿 Quorin.ini、記録 Quorin.dat、\n"
                              "コンピューターごとの答えの記録 answers-*.csv を置きます\n"
                              "（ﾂｰﾙ → クラスのようす で見られます）。\n");
    return QStringLiteral("Usage: quorin [options]\n"
                          "A multiplication-table drill for second-grade pupils (Japanese "
                          "interface).\n"
                          "\n"
                          "Options:\n") +
           optionTable(
               {{QStringLiteral("-h, --help"), {QStringLiteral("show this help and exit")}},
                {QStringLiteral("-v, --version"), {QStringLiteral("show the version and exit")}},
                {QStringLiteral("--data-folder <folder>"),
                 {QStringLiteral("keep the roster and record files in this folder"),
                  QStringLiteral("(for example one shared folder for a whole class)")}},
                {QStringLiteral("--from-menu"),
                 {QStringLiteral("started from the desktop menu: without --data-folder,"),
                  QStringLiteral("use the per-user data folder")}},
                {QStringLiteral("--forget-pin"),
                 {QStringLiteral("remove a forgotten teacher's PIN and exit")}},
                {QStringLiteral("--serve"),
                 {QStringLiteral("run the class server for the pupils' tablets without a"),
                  QStringLiteral("window (stop with Ctrl+C)")}},
                {QStringLiteral("--listen <address>"),
                 {QStringLiteral("the address the --serve server listens on")}},
                {QStringLiteral("--port <port>"), {QStringLiteral("the --serve server's port")}}}) +
           QStringLiteral("\n"
                          "Without options the data folder is the one remembered in the options\n"
                          "dialog, or else the current directory. It holds the roster Quorin.ini,\n"
                          "the records Quorin.dat and each computer's answer log answers-*.csv\n"
                          "(shown by Tools > class sheet).\n");
}

// An IPv4 or IPv6 address in its usual text form (Qt Network is not needed to tell).
bool isAddress(const QString &text) {
    static const QRegularExpression v4(QStringLiteral(
        "^((25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)\\.){3}(25[0-5]|2[0-4]\\d|1\\d\\d|[1-9]?\\d)$"));
    static const QRegularExpression v6(QStringLiteral("^[0-9A-Fa-f:.]{2,45}$"));
    return v4.match(text).hasMatch() || (text.contains(u':') && v6.match(text).hasMatch());
}

QString hint(bool japanese) {
    return japanese ? QStringLiteral("くわしくは quorin --help\n")
                    : QStringLiteral("See quorin --help.\n");
}

StartDecision fail(const QString &message, bool japanese, bool usage = false) {
    StartDecision d;
    d.exitNow = true;
    d.exitCode = 1;
    d.standardError = QStringLiteral("quorin: ") + message + QLatin1Char('\n');
    if (usage)
        d.standardError += hint(japanese);
    return d;
}

StartDecision startIn(const QString &folder) {
    StartDecision d;
    d.dataFolder = QDir::toNativeSeparators(folder);
    return d;
}

// The per-user folder is made when missing. It must be a folder that can be written: never
// the root, which is what an unset home directory would give.
StartDecision startInAppData(const QString &location, bool japanese) {
    const QString path = QDir::cleanPath(location);
    if (location.isEmpty() || QDir(path).isRoot())
        return fail(japanese ? QStringLiteral("ユーザーごとのデータフォルダーが決まりません。"
                                              "--data-folder でフォルダーを指定してください。")
                             : QStringLiteral("there is no per-user data folder; name one "
                                              "with --data-folder."),
                    japanese);
    const bool made = QDir().mkpath(path);
    const QFileInfo info(path);
    if (!made || !info.isDir() || !info.isWritable())
        return fail(japanese ? QStringLiteral("データフォルダー %1 を作れないか、書きこめません。")
                                   .arg(QDir::toNativeSeparators(path))
                             : QStringLiteral("the data folder %1 cannot be made or written.")
                                   .arg(QDir::toNativeSeparators(path)),
                    japanese);
    return startIn(path);
}

} // namespace

StartDecision decideStart(const CommandLineInput &input) {
    const bool ja = input.japanese;
    QCommandLineParser parser;
    // Qt's own options start with one dash and are whole words; -h and -v stay short options.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption version(QStringList{QStringLiteral("v"), QStringLiteral("version")});
    const QCommandLineOption dataFolder(QStringLiteral("data-folder"), QString(),
                                        QStringLiteral("folder"));
    const QCommandLineOption fromMenu(QStringLiteral("from-menu"));
    const QCommandLineOption forgetPin(QStringLiteral("forget-pin"));
    const QCommandLineOption serve(QStringLiteral("serve"));
    const QCommandLineOption listen(QStringLiteral("listen"), QString(), QStringLiteral("address"));
    const QCommandLineOption port(QStringLiteral("port"), QString(), QStringLiteral("port"));
    parser.addOptions({help, version, dataFolder, fromMenu, forgetPin, serve, listen, port});
    for (const char *name : kQtValueOptions)
        parser.addOption(
            QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value")));
    for (const char *name : kQtFlagOptions)
        parser.addOption(QCommandLineOption(QString::fromLatin1(name)));

    const bool parsed = parser.parse(input.arguments);
    // Help and version answer even when the rest of the line is wrong.
    if (parser.isSet(help) || parser.isSet(version)) {
        StartDecision d;
        d.exitNow = true;
        d.standardOutput = parser.isSet(help) ? helpText(ja) : versionText(ja);
        return d;
    }
    if (!parsed) {
        const QStringList unknown = parser.unknownOptionNames();
        if (!unknown.isEmpty()) {
            const QString name =
                (unknown.first().size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) +
                unknown.first();
            return fail(ja ? QStringLiteral("%1 というオプションはありません。").arg(name)
                           : QStringLiteral("unknown option %1.").arg(name),
                        ja, true);
        }
        // A missing or an unexpected value; Qt's text names the option.
        return fail(
            ja ? QStringLiteral("オプションの書き方がちがいます（%1）").arg(parser.errorText())
               : parser.errorText(),
            ja, true);
    }
    if (!parser.positionalArguments().isEmpty())
        return fail(ja ? QStringLiteral("%1 は使えません。オプションだけを書いてください。")
                             .arg(parser.positionalArguments().first())
                       : QStringLiteral("unexpected argument %1.")
                             .arg(parser.positionalArguments().first()),
                    ja, true);

    if (parser.isSet(forgetPin)) {
        StartDecision d;
        d.exitNow = true;
        d.forgetPin = true;
        d.standardOutput = ja ? QStringLiteral("先生の暗証番号を消しました。\n")
                              : QStringLiteral("The teacher's PIN is removed.\n");
        return d;
    }
    // The class server without a window: where it listens.
    ServeChoice served;
    served.serve = parser.isSet(serve);
    if (parser.isSet(listen) || parser.isSet(port)) {
        if (!served.serve)
            return fail(ja ? QStringLiteral("--listen と --port は --serve といっしょに使います。")
                           : QStringLiteral("--listen and --port go with --serve."),
                        ja, true);
        served.listen = parser.value(listen);
        bool number = true;
        const uint portNumber = parser.isSet(port) ? parser.value(port).toUInt(&number) : 0;
        if (!number || portNumber > 65535)
            return fail(ja ? QStringLiteral("--port には 0 から 65535 までの数を書いてください。")
                           : QStringLiteral("--port needs a number from 0 to 65535."),
                        ja, true);
        served.port = int(portNumber);
        if (parser.isSet(listen) && !isAddress(served.listen))
            return fail(
                ja ? QStringLiteral("--listen の %1 はアドレスではありません。").arg(served.listen)
                   : QStringLiteral("--listen: %1 is not an address.").arg(served.listen),
                ja, true);
    }
    const auto withServe = [&served](StartDecision d) {
        if (!d.exitNow)
            d.serve = served;
        return d;
    };
    if (parser.isSet(dataFolder)) {
        const QString given = parser.value(dataFolder);
        // An empty value would quietly mean the current directory.
        if (given.isEmpty())
            return fail(ja ? QStringLiteral("--data-folder のあとにフォルダーを書いてください。")
                           : QStringLiteral("--data-folder needs a folder."),
                        ja, true);
        const QString path = QDir::cleanPath(QDir(input.currentDirectory).absoluteFilePath(given));
        // Bytes that are no text in the system's encoding were decoded as U+FFFD: such a
        // folder may well exist, but no file in it can be named.
        if (given.contains(QChar::ReplacementCharacter))
            return fail(ja ? QStringLiteral("データフォルダーの名前 %1 に、このコンピューターで"
                                            "読めない文字があります。フォルダーの名前を変えて"
                                            "ください。")
                                 .arg(QDir::toNativeSeparators(path))
                           : QStringLiteral("the data folder's name %1 is not valid text in "
                                            "this system's encoding; rename the folder.")
                                 .arg(QDir::toNativeSeparators(path)),
                        ja);
        const QFileInfo info(path);
        if (!info.exists())
            return fail(ja ? QStringLiteral("データフォルダー %1 がありません。")
                                 .arg(QDir::toNativeSeparators(path))
                           : QStringLiteral("the data folder %1 does not exist.")
                                 .arg(QDir::toNativeSeparators(path)),
                        ja);
        if (!info.isDir())
            return fail(
                ja ? QStringLiteral("%1 はフォルダーではありません。")
                         .arg(QDir::toNativeSeparators(path))
                   : QStringLiteral("%1 is not a folder.").arg(QDir::toNativeSeparators(path)),
                ja);
        return withServe(startIn(path));
    }
    // The folder the teacher chose to use at every start, while it is there and usable.
    QString notice;
    if (!input.rememberedFolder.isEmpty()) {
        const QString problem = dataFolderProblem(input.rememberedFolder);
        if (problem.isEmpty())
            return withServe(startIn(input.rememberedFolder));
        notice = QStringLiteral("毎回使うように決めたデータフォルダーが使えません。\n\n"
                                "フォルダー：%1\n理由：%2\n\n今回は次のフォルダーを使います。")
                     .arg(QDir::toNativeSeparators(input.rememberedFolder), problem);
    }
    StartDecision d = parser.isSet(fromMenu) ? startInAppData(input.appDataLocation, ja)
                                             : startIn(input.currentDirectory);
    if (!notice.isEmpty()) {
        d.notice = notice + QStringLiteral("\n") + d.dataFolder;
        d.insteadOf = QDir::toNativeSeparators(input.rememberedFolder);
    }
    return withServe(d);
}

CommandLineInput commandLineInput(int argc, char *argv[]) {
    QCoreApplication::setApplicationName(QLatin1String(kProgram));
    QCoreApplication::setApplicationVersion(QStringLiteral(QUORIN_VERSION));
    CommandLineInput in;
#ifdef Q_OS_WIN
    // argv holds the arguments in the ANSI code page, which loses every character outside it
    // (a folder named "café" on Japanese Windows); Windows keeps the command line in UTF-16.
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    int count = 0;
    if (wchar_t **wide = CommandLineToArgvW(GetCommandLineW(), &count)) {
        for (int i = 0; i < count; ++i)
            in.arguments << QString::fromWCharArray(wide[i]);
        LocalFree(wide);
    }
#else
    for (int i = 0; i < argc; ++i)
        in.arguments << QString::fromLocal8Bit(argv[i]);
#endif
    in.currentDirectory = QDir::currentPath();
    in.appDataLocation = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    in.japanese = QLocale::system().language() == QLocale::Japanese;
    in.rememberedFolder = rememberedDataFolder();
    return in;
}

#ifdef Q_OS_WIN
namespace {
// A window program has no console of its own. Started from a command prompt, it writes help,
// errors and the class server's lines there; output already sent to a file or a pipe stays
// where it goes.
void useParentConsole() {
    const auto unset = [](DWORD which) {
        const HANDLE handle = GetStdHandle(which);
        return handle == nullptr || handle == INVALID_HANDLE_VALUE;
    };
    const bool out = unset(STD_OUTPUT_HANDLE);
    const bool err = unset(STD_ERROR_HANDLE);
    if ((!out && !err) || !AttachConsole(ATTACH_PARENT_PROCESS))
        return;
    if (out)
        std::freopen("CONOUT$", "w", stdout);
    if (err)
        std::freopen("CONOUT$", "w", stderr);
}
} // namespace
#endif

bool writesToConsole(const StartDecision &decision) {
    return !decision.standardOutput.isEmpty() || !decision.standardError.isEmpty() ||
           (!decision.exitNow && decision.serve.serve);
}

void printStartDecision(const StartDecision &decision) {
#ifdef Q_OS_WIN
    if (writesToConsole(decision))
        useParentConsole();
#endif
    if (!decision.standardOutput.isEmpty()) {
        std::fputs(decision.standardOutput.toLocal8Bit().constData(), stdout);
        std::fflush(stdout);
    }
    if (!decision.standardError.isEmpty())
        std::fputs(decision.standardError.toLocal8Bit().constData(), stderr);
}
