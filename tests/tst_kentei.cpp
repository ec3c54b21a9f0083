// 九九けんてい: the card read back from real log lines, the check as the model runs it, the
// rows taught kept in the data folder, the 81 readings, the class's view in the class sheet
// and the cards printed to PDF.

#include "classroom/classroom.h"
#include "classroom/kukucheck.h"
#include "records/taughtrows.h"
#include "testsupport.h"
#include "ui/dialogs/frmclasssheet.h"
#include "ui/dialogs/frmkentei.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFileInfo>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>

namespace {

const QDateTime kDay(QDate(2026, 12, 7), QTime(10, 15, 3));

// The log lines of one check as the program writes them: the multipliers asked, the
// answers' times, and the position of a wrong answer (-1: none); `start` marks the first.
QByteArray checkLines(int row, CheckWay way, const QList<int> &bs, int msEach, int wrongAt = -1,
                      const QDateTime &when = kDay, const QString &pupil = "たろう") {
    QByteArray lines;
    for (qsizetype i = 0; i < bs.size(); ++i) {
        LoggedAnswer line{when, pupil, LoggedActivity::Check,
                          FactAnswer{row, bs[i], i != wrongAt, msEach, row * bs[i]}};
        line.check = {row, way, i == 0, false};
        lines += answerLogLine(line);
    }
    return lines;
}

const QList<int> kUp{1, 2, 3, 4, 5, 6, 7, 8, 9};
const QList<int> kDown{9, 8, 7, 6, 5, 4, 3, 2, 1};

// The card as text: the cells done, "7あがり 2026-12-07", a stamp marked "せんせい".
QString cardText(const KukuCard &card) {
    QStringList cells;
    for (int row = 1; row <= 9; ++row)
        for (int way = 0; way < kCheckWays; ++way) {
            const CardCell &c = card.cell(row, CheckWay(way));
            const QString name = QString::number(row) + checkWayLabel(CheckWay(way));
            if (c.passed.isValid())
                cells << name + u' ' + c.passed.toString(Qt::ISODate);
            if (c.stamped.isValid())
                cells << name + QStringLiteral(" せんせい ") + c.stamped.toString(Qt::ISODate);
        }
    return cells.join(u',');
}

// たろう signed in on a fresh data folder.
struct CheckRoom : Room {
    CheckRoom() { signIn("たろう"); }
    // Answers the check: right at every question but `wrongAt` (0-based), `ms` each.
    KukuCheck::Outcome take(KukuCheck &check, int ms, int wrongAt = -1) {
        KukuCheck::Outcome outcome = check.outcome();
        for (int i = 0; check.running(); ++i)
            outcome =
                model->answerCheck(check, check.row() * check.multiplier() + (i == wrongAt), ms);
        return outcome;
    }
};

quint16 rowsOf(std::initializer_list<int> rows) {
    quint16 mask = 0;
    for (int row : rows)
        mask |= quint16(1u << row);
    return mask;
}

} // namespace

class TestKentei : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { useTestSettings(); }
    void card_data();
    void card();
    void cardReadsOnlyWhatWasAppended();
    void checkInTheClassroom();
    void taughtRows_data();
    void taughtRows();
    void taughtRowsInTheFolder();
    void weakFactsOfTaughtRows_data();
    void weakFactsOfTaughtRows();
    void readings_data();
    void readings();
    void journey();
    void teacherSettings();
    void classView_data();
    void classView();
    void cardsOnPaper();
};

void TestKentei::card_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<int>("limitMs");
    QTest::addColumn<QString>("expected");
    const QString up7 = QStringLiteral("7あがり 2026-12-07");
    QTest::newRow("all right in time") << checkLines(7, CheckWay::Up, kUp, 3000) << 30000 << up7;
    QTest::newRow("exactly the limit") << checkLines(7, CheckWay::Up, kUp, 3000) << 27000 << up7;
    QTest::newRow("the limit passed by 1 ms")
        << checkLines(7, CheckWay::Up, kUp, 3000) << 26999 << QString();
    QTest::newRow("times unknown, a limit")
        << checkLines(7, CheckWay::Up, kUp, -1) << 30000 << QString();
    QTest::newRow("times unknown, no limit") << checkLines(7, CheckWay::Up, kUp, -1) << 0 << up7;
    QTest::newRow("one wrong") << checkLines(7, CheckWay::Up, kUp, 1000, 5) << 0 << QString();
    QTest::newRow("wrong, then passed at the second try")
        << checkLines(7, CheckWay::Down, kDown.first(6), 1000, 5) +
               checkLines(7, CheckWay::Down, kDown, 1000, -1, kDay.addDays(1))
        << 0 << QStringLiteral("7さがり 2026-12-08");
    QTest::newRow("a check left half way, then one passed")
        << checkLines(7, CheckWay::Up, kUp.first(4), 1000) +
               checkLines(7, CheckWay::Up, kUp, 1000, -1, kDay.addDays(2))
        << 0 << QStringLiteral("7あがり 2026-12-09");
    QTest::newRow("the first pass counts, not a later one")
        << checkLines(7, CheckWay::Up, kUp, 1000, -1, kDay.addDays(3)) +
               checkLines(7, CheckWay::Up, kUp, 1000)
        << 0 << up7;
    QTest::newRow("さがり in its order")
        << checkLines(3, CheckWay::Down, kDown, 1000) << 0 << QStringLiteral("3さがり 2026-12-07");
    QTest::newRow("さがり out of order")
        << checkLines(3, CheckWay::Down, {9, 8, 7, 5, 6, 4, 3, 2, 1}, 1000) << 0 << QString();
    QTest::newRow("あがり out of order")
        << checkLines(3, CheckWay::Up, {1, 2, 3, 4, 5, 6, 7, 9, 8}, 1000) << 0 << QString();
    QTest::newRow("ばらばら, each fact once")
        << checkLines(8, CheckWay::Mixed, {4, 9, 1, 7, 2, 8, 3, 6, 5}, 1000) << 0
        << QStringLiteral("8ばらばら 2026-12-07");
    QTest::newRow("ばらばら, one fact twice, one never")
        << checkLines(8, CheckWay::Mixed, {4, 9, 1, 7, 2, 8, 3, 6, 4}, 1000) << 0 << QString();
    QTest::newRow("another pupil's check")
        << checkLines(7, CheckWay::Up, kUp, 1000, -1, kDay, "はなこ") << 0 << QString();
    // The lines as they stand in the file, the teacher's stamp among them.
    QTest::newRow("the teacher's stamp")
        << QByteArray("2026-12-07 10:20:00,たろう,けんてい 7のだん ばらばら せんせい,7,1,○,,,\r\n")
        << 0 << QStringLiteral("7ばらばら せんせい 2026-12-07");
}

void TestKentei::card() {
    QFETCH(QByteArray, lines);
    QFETCH(int, limitMs);
    QFETCH(QString, expected);
    QTemporaryDir dir;
    QVERIFY(writeBytes(dir.filePath("answers-pc-0123456789.csv"), answerLogHeader() + lines));
    FactIndex index;
    index.update(dir.path());
    QCOMPARE(cardText(index.card("たろう", {limitMs, limitMs, limitMs})), expected);
    // A stamp is no answer: the facts know nothing of it.
    if (QTest::currentDataTag() == QByteArray("the teacher's stamp"))
        QCOMPARE(index.facts("たろう")[factIndex(7, 1)].count, 0);
}

void TestKentei::cardReadsOnlyWhatWasAppended() {
    // はなこ passed 3のだん; once read, her name in those lines is changed in place to たろう
    // (same length) and たろう's check is appended. Only what was appended is read: his card
    // holds the new check alone. (The time it takes is measured in bench_facts.)
    QTemporaryDir dir;
    const QString log = dir.filePath("answers-pc-0123456789.csv");
    // (じろう's lines after hers: the last bytes read stay as they were, so the file is not
    // taken for one saved again whole.)
    const QByteArray hers = checkLines(3, CheckWay::Up, kUp, 1000, -1, kDay, "はなこ"),
                     his = checkLines(2, CheckWay::Up, kUp, 1000, -1, kDay, "じろう");
    QVERIFY(writeBytes(log, answerLogHeader() + hers + his));
    FactIndex index;
    index.update(dir.path());
    QCOMPARE(cardText(index.card("たろう", {0, 0, 0})), QString());
    QVERIFY(writeBytes(log, answerLogHeader() + QByteArray(hers).replace("はなこ", "たろう") + his +
                                checkLines(6, CheckWay::Down, kDown, 1000)));
    index.update(dir.path());
    QCOMPARE(cardText(index.card("たろう", {0, 0, 0})), QStringLiteral("6さがり 2026-12-07"));
}

void TestKentei::checkInTheClassroom() {
    CheckRoom room;
    Classroom &model = *room.model;
    QCOMPARE(model.setTaughtRows(rowsOf({5, 2, 3, 4})), QString());
    QVERIFY(!model.startCheck(7, CheckWay::Up)); // not taught yet
    QCOMPARE(model.setTaughtRows(rowsOf({5, 2, 3, 4, 6, 7})), QString());
    Classroom::setCheckLimitMs(CheckWay::Up, 20000);
    Classroom::setCheckLimitMs(CheckWay::Down, 20000);

    std::optional<KukuCheck> check = model.startCheck(7, CheckWay::Up);
    QVERIFY(check);
    QCOMPARE(room.take(*check, 2000), KukuCheck::Outcome::Passed);
    // さがり: the sixth answer wrong ends it at once; the second try passes.
    check = model.startCheck(7, CheckWay::Down);
    QCOMPARE(room.take(*check, 1000, 5), KukuCheck::Outcome::Wrong);
    QCOMPARE(check->index(), 5);
    QCOMPARE(check->multiplier(), 4);
    check = model.startCheck(7, CheckWay::Down);
    QCOMPARE(room.take(*check, 1000), KukuCheck::Outcome::Passed);
    // ばらばら too slow: 9 × 2223 ms over 20 s.
    Classroom::setCheckLimitMs(CheckWay::Mixed, 20000);
    check = model.startCheck(7, CheckWay::Mixed);
    QCOMPARE(room.take(*check, 2223), KukuCheck::Outcome::TooSlow);
    QVERIFY(model.stampCheck(7, CheckWay::Mixed));
    QVERIFY(model.stampCheck(9, CheckWay::Up));

    const QString today = QDate::currentDate().toString(Qt::ISODate);
    const KukuCard card = model.kukuCard();
    QCOMPARE(cardText(card),
             QStringLiteral("7あがり %1,7さがり %1,7ばらばら せんせい %1,9あがり せんせい %1")
                 .arg(today));
    QVERIFY(card.rowPassed(7));
    const QString text = QString::fromUtf8(readBytes(model.answerLogPath()));
    QCOMPARE(text.count("けんてい 7のだん さがり,7,"), 6 + 9);
    QCOMPARE(text.count("けんてい 7のだん さがり,7,9,○,はじめ,1000,63"), 2);
    QCOMPARE(text.count("けんてい 7のだん ばらばら せんせい,7,1,○,"), 1);
    // The answers count for the facts, the stamps not.
    const PupilFacts facts = model.pupilFacts();
    QCOMPARE(facts[factIndex(7, 4)].count, 3);
    QCOMPARE(facts[factIndex(9, 1)].count, 0);
}

void TestKentei::taughtRows_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<quint16>("rows");
    QTest::newRow("as written") << taughtRowsFileBytes(rowsOf({5, 2, 3, 4}))
                                << rowsOf({2, 3, 4, 5});
    QTest::newRow("row 1") << taughtRowsFileBytes(rowsOf({1})) << rowsOf({1});
    QTest::newRow("UTF-8 with its mark, full-width, 、")
        << QByteArray("\xEF\xBB\xBF教えた段\r\n５、２、 7\r\n") << rowsOf({2, 5, 7});
    QTest::newRow("code page 932 by hand") << cp932Lines({"教えた段", "6,7"}) << rowsOf({6, 7});
    QTest::newRow("no row: all nine") << taughtRowsFileBytes(0) << kEveryRow;
    QTest::newRow("empty") << QByteArray() << kEveryRow;
    QTest::newRow("text among the digits is no row")
        << QByteArray("5,2,x\r\n3のだん\r\n") << kEveryRow;
}

void TestKentei::taughtRows() {
    QFETCH(QByteArray, bytes);
    QFETCH(quint16, rows);
    QCOMPARE(parseTaughtRows(bytes), rows);
}

void TestKentei::taughtRowsInTheFolder() {
    QTemporaryDir dir;
    QCOMPARE(readTaughtRows(dir.path()).rows, kEveryRow); // none ticked yet
    QCOMPARE(writeTaughtRows(dir.path(), rowsOf({5, 2})).status, SyncStatus::Saved);
    QCOMPARE(readBytes(taughtRowsPath(dir.path())), cp932Lines({"教えた段", "5,2"}));
    QCOMPARE(readTaughtRows(dir.path()).rows, rowsOf({2, 5}));
    // Hostile contents: too large, or a link, is not read; all nine rows, and the reason.
    QVERIFY(writeBytes(taughtRowsPath(dir.path()), "5\r\n" + QByteArray(kMaxTaughtRowsBytes, ' ')));
    TaughtRowsRead read = readTaughtRows(dir.path());
    QCOMPARE(read.rows, kEveryRow);
    QVERIFY(!read.problem.isEmpty());
#ifndef Q_OS_WIN // a link made there is a shortcut file, an ordinary file of its own
    QVERIFY(QFile::remove(taughtRowsPath(dir.path())));
    QVERIFY(writeBytes(dir.filePath("elsewhere"), "5\r\n"));
    QVERIFY(QFile::link(dir.filePath("elsewhere"), taughtRowsPath(dir.path())));
    read = readTaughtRows(dir.path());
    QCOMPARE(read.rows, kEveryRow);
    QVERIFY(!read.problem.isEmpty());
#endif
}

void TestKentei::weakFactsOfTaughtRows_data() {
    QTest::addColumn<quint16>("rows");
    QTest::newRow("5, 2, 3, 4") << rowsOf({5, 2, 3, 4});
    QTest::newRow("7 alone") << rowsOf({7});
}

void TestKentei::weakFactsOfTaughtRows() {
    QFETCH(quint16, rows);
    // A pupil who answered nothing yet, and one who knows every fact: a whole set, all of it
    // from the rows taught.
    PupilFacts fresh{}, known{};
    for (FactHistory &h : known)
        for (int i = 0; i < 3; ++i)
            h.add({1000 + i, true, 1000});
    for (const PupilFacts *facts : {&fresh, &known}) {
        MersenneRandomSource random(false, 3);
        const WeakSet set = dealWeakSet(*facts, 6000, 86400 * 10, random, rows);
        QCOMPARE(set.questions.size(), kWeakSetSize);
        for (const auto &[a, b] : set.questions)
            QVERIFY2(rowTaught(rows, a), qPrintable(QString("%1 × %2").arg(a).arg(b)));
    }
}

void TestKentei::readings_data() {
    QTest::addColumn<int>("row");
    QTest::addColumn<QString>("nine");
    // The table as children say it, typed afresh.
    const char *table[9] = {
        "いんいち が いち/いんに が に/いんさん が さん/いんし が し/いんご が ご/"
        "いんろく が ろく/いんしち が しち/いんはち が はち/いんく が く",
        "にいち が に/ににん が し/にさん が ろく/にし が はち/にご じゅう/にろく じゅうに/"
        "にしち じゅうし/にはち じゅうろく/にく じゅうはち",
        "さんいち が さん/さんに が ろく/さざん が く/さんし じゅうに/さんご じゅうご/"
        "さぶろく じゅうはち/さんしち にじゅういち/さんぱ にじゅうし/さんく にじゅうしち",
        "しいち が し/しに が はち/しさん じゅうに/しし じゅうろく/しご にじゅう/"
        "しろく にじゅうし/ししち にじゅうはち/しは さんじゅうに/しく さんじゅうろく",
        "ごいち が ご/ごに じゅう/ごさん じゅうご/ごし にじゅう/ごご にじゅうご/"
        "ごろく さんじゅう/ごしち さんじゅうご/ごは しじゅう/ごっく しじゅうご",
        "ろくいち が ろく/ろくに じゅうに/ろくさん じゅうはち/ろくし にじゅうし/"
        "ろくご さんじゅう/ろくろく さんじゅうろく/ろくしち しじゅうに/ろくは しじゅうはち/"
        "ろっく ごじゅうし",
        "しちいち が しち/しちに じゅうし/しちさん にじゅういち/しちし にじゅうはち/"
        "しちご さんじゅうご/しちろく しじゅうに/しちしち しじゅうく/しちは ごじゅうろく/"
        "しちく ろくじゅうさん",
        "はちいち が はち/はちに じゅうろく/はちさん にじゅうし/はちし さんじゅうに/"
        "はちご しじゅう/はちろく しじゅうはち/はちしち ごじゅうろく/はっぱ ろくじゅうし/"
        "はっく しちじゅうに",
        "くいち が く/くに じゅうはち/くさん にじゅうしち/くし さんじゅうろく/くご しじゅうご/"
        "くろく ごじゅうし/くしち ろくじゅうさん/くは しちじゅうに/くく はちじゅういち"};
    for (int row = 1; row <= 9; ++row)
        QTest::addRow("%d", row) << row << QString::fromUtf8(table[row - 1]);
}

void TestKentei::readings() {
    QFETCH(int, row);
    QFETCH(QString, nine);
    const QStringList expected = nine.split(u'/');
    QCOMPARE(expected.size(), 9);
    for (int b = 1; b <= 9; ++b)
        QCOMPARE(kukuReading(row, b), expected[b - 1]);
}

namespace {

// Clicks a control of the window by name.
void click(QWidget *window, const QString &name) {
    auto *b = window->findChild<QPushButton *>(name);
    QVERIFY2(b && b->isEnabled(), qPrintable(name));
    QTest::mouseClick(b, Qt::LeftButton);
}

// Answers the questions the window asks, reading each from its label, with keys to the
// focused box: right, but wrong at question `wrongAt` (0-based; -1: never).
void answerQuestions(QWidget *window, int count, int wrongAt = -1) {
    auto *question = window->findChild<QLabel *>("KenteiQuestionLabel");
    for (int i = 0; i < count; ++i) {
        const FactAnswer fact = factAnswer(question->text(), true);
        QVERIFY(fact.a > 0);
        QWidget *box = QApplication::focusWidget();
        QVERIFY(box && box->objectName() == "KenteiAnswerTextBox_0");
        QTest::keyClicks(box, QByteArray::number(fact.a * fact.b + (i == wrongAt)));
        QTest::keyClick(box, Qt::Key_Return);
    }
}

} // namespace

void TestKentei::journey() {
    CheckRoom room;
    QCOMPARE(room.model->setTaughtRows(rowsOf({5, 2, 3, 4, 6, 7})), QString());
    for (int way = 0; way < kCheckWays; ++way)
        Classroom::setCheckLimitMs(CheckWay(way), 45000);
    int pinAsked = 0;
    frmKentei window(*room.model, [&pinAsked] { return ++pinAsked > 0; });
    window.show();
    QApplication::setActiveWindow(&window);
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QVERIFY(!window.findChild<QPushButton *>("KenteiRowCommand_8")->isEnabled()); // not taught
    // 7のだん あがり passes.
    click(&window, "KenteiRowCommand_7");
    click(&window, "KenteiWayCommand_0");
    click(&window, "KenteiStartCommand");
    snapshot(&window, "kentei-question");
    answerQuestions(&window, 9);
    auto *message = window.findChild<QLabel *>("KenteiMessageLabel");
    QVERIFY2(message->text().startsWith("ごうかく"), qPrintable(message->text()));
    // さがり: the sixth answer wrong ends the check with the right answer and its reading.
    click(&window, "KenteiWayCommand_1");
    click(&window, "KenteiStartCommand");
    answerQuestions(&window, 6, 5);
    QVERIFY(message->text().contains("7 × 4 は 28（しちし にじゅうはち）"));
    snapshot(&window, "kentei-wrong");
    click(&window, "KenteiStartCommand");
    answerQuestions(&window, 9);
    QVERIFY(message->text().startsWith("ごうかく"));
    // The teacher stamps ばらばら after hearing the child.
    click(&window, "KenteiWayCommand_2");
    click(&window, "KenteiStampCommand");
    QCOMPARE(pinAsked, 1);
    snapshot(&window, "kentei-card");
    const QDate today = QDate::currentDate();
    const QString date = QStringLiteral("%1/%2").arg(today.month()).arg(today.day());
    const auto cell = [&window](int row, int way) {
        return window.findChild<QLabel *>(QStringLiteral("KenteiCardCell_%1_%2").arg(row).arg(way))
            ->text();
    };
    QCOMPARE(cell(7, 0), "◎ " + date);
    QCOMPARE(cell(7, 1), "◎ " + date);
    QCOMPARE(cell(7, 2), "先生 ◎ " + date);
    QCOMPARE(cell(6, 0), QString());
    QCOMPARE(window.findChild<QLabel *>("KenteiRowPassedLabel_7")->text(), "ごうかく");
}

void TestKentei::teacherSettings() {
    CheckRoom room;
    QCOMPARE(room.model->setTaughtRows(rowsOf({5, 2, 3, 4})), QString());
    Classroom::setCheckLimitMs(CheckWay::Mixed, 30000);
    frmKenteiSettings settings(*room.model);
    settings.show();
    QApplication::setActiveWindow(&settings);
    QVERIFY(QTest::qWaitForWindowExposed(&settings));
    auto *three = settings.findChild<QCheckBox *>("KenteiTaughtCheck_3");
    QVERIFY(three->isChecked());
    QTest::mouseClick(three, Qt::LeftButton, {}, QPoint(8, three->height() / 2));
    auto *six = settings.findChild<QCheckBox *>("KenteiTaughtCheck_6");
    QTest::mouseClick(six, Qt::LeftButton, {}, QPoint(8, six->height() / 2));
    auto *mixed = settings.findChild<QComboBox *>("KenteiLimitCombo_2");
    mixed->setFocus();
    QTest::keyClick(mixed, Qt::Key_Down); // 30 s → 45 s
    snapshot(&settings, "kentei-settings");
    QTest::mouseClick(settings.findChild<QPushButton *>("KenteiSettingsOK"), Qt::LeftButton);
    QCOMPARE(settings.result(), int(QDialog::Accepted));
    QCOMPARE(readBytes(taughtRowsPath(room.dir.path())), cp932Lines({"教えた段", "5,2,4,6"}));
    QCOMPARE(Classroom::checkLimitMs(CheckWay::Mixed), 45000);
}

namespace {

// たろう, はなこ and じろう on the roster (たろう signed in), `lines` in another computer's log,
// and every way's limit 30 s.
struct ClassRoom : CheckRoom {
    explicit ClassRoom(const QByteArray &lines) {
        for (int way = 0; way < kCheckWays; ++way)
            Classroom::setCheckLimitMs(CheckWay(way), 30000);
        for (const char *name : {"はなこ", "じろう", "たろう"})
            model->signIn(name);
        writeBytes(dir.filePath("answers-pc2-0123456789.csv"), answerLogHeader() + lines);
    }
};

QByteArray stampLine(int row, CheckWay way, const QString &pupil) {
    LoggedAnswer line{kDay, pupil, LoggedActivity::Check, FactAnswer{row, 1, true}};
    line.check = {row, way, false, true};
    return answerLogLine(line);
}

// The pupil's nine rows as the class view shows them, "たろう ・・・・・・◎・・".
QString classLine(const PupilCard &pupil) {
    QString text = pupil.name + u' ';
    for (int row = 1; row <= 9; ++row)
        text += classCellText(pupil.card, row);
    return text;
}

// The text of page `page` (1-based) of a PDF, by poppler's pdftotext.
QString pdfPageText(const QString &pdf, int page) {
    QProcess text;
    text.start("pdftotext", {"-f", QString::number(page), "-l", QString::number(page), pdf, "-"});
    text.waitForFinished();
    return QString::fromUtf8(text.readAllStandardOutput());
}

} // namespace

void TestKentei::classView_data() {
    QTest::addColumn<QByteArray>("lines");
    QTest::addColumn<QString>("expected"); // the three pupils' lines, then the counts per row
    const auto passed = [](int row, CheckWay way, const QString &pupil) {
        return checkLines(row, way, way == CheckWay::Down ? kDown : kUp, 1000, -1, kDay, pupil);
    };
    const QString none =
        "たろう ・・・・・・・・・|はなこ ・・・・・・・・・|じろう ・・・・・・・・・";
    QTest::newRow("nothing yet") << QByteArray() << none + "|000000000";
    QTest::newRow("three ways, two, one")
        << passed(7, CheckWay::Up, "たろう") + passed(7, CheckWay::Down, "たろう") +
               passed(7, CheckWay::Mixed, "たろう") + passed(7, CheckWay::Up, "はなこ") +
               passed(7, CheckWay::Down, "はなこ") + passed(7, CheckWay::Up, "じろう")
        << "たろう ・・・・・・◎・・|はなこ ・・・・・・2・・|じろう ・・・・・・1・・|000000100";
    QTest::newRow("a stamp alone is a way, with two passes ごうかく")
        << stampLine(5, CheckWay::Up, "じろう") + passed(3, CheckWay::Up, "はなこ") +
               passed(3, CheckWay::Down, "はなこ") + stampLine(3, CheckWay::Mixed, "はなこ")
        << "たろう ・・・・・・・・・|はなこ ・・◎・・・・・・|じろう ・・・・1・・・・|001000000";
    QTest::newRow("a check with a wrong answer is no way")
        << checkLines(2, CheckWay::Up, kUp, 1000, 4, kDay, "たろう") << none + "|000000000";
    QTest::newRow("two pupils pass a row, a third has it twice over")
        << passed(2, CheckWay::Up, "たろう") + passed(2, CheckWay::Down, "たろう") +
               stampLine(2, CheckWay::Mixed, "たろう") + passed(2, CheckWay::Up, "じろう") +
               passed(2, CheckWay::Down, "じろう") + passed(2, CheckWay::Mixed, "じろう") +
               passed(2, CheckWay::Up, "じろう")
        << "たろう ・◎・・・・・・・|はなこ ・・・・・・・・・|じろう ・◎・・・・・・・|020000000";
}

// The class's cards from the model, fed by another computer's log lines.
void TestKentei::classView() {
    QFETCH(QByteArray, lines);
    QFETCH(QString, expected);
    ClassRoom room(lines);
    const std::optional<QList<PupilCard>> cards =
        room.model->classCards({"たろう", "はなこ", "じろう"});
    QVERIFY(cards);
    QStringList shown;
    for (const PupilCard &pupil : *cards)
        shown << classLine(pupil);
    QString counts;
    for (int n : rowPassCounts(*cards))
        counts += QString::number(n);
    QCOMPARE(shown.join(u'|') + u'|' + counts, expected);
}

// The class sheet's 九九けんてい tab, the class's cards and the sheet to PDF by its buttons, and
// a pupil's own card from the check's window: a card per page, each with its pupil.
void TestKentei::cardsOnPaper() {
    if (QStandardPaths::findExecutable("pdftotext").isEmpty())
        QSKIP("pdftotext (poppler-utils) is not here");
    ClassRoom room(checkLines(7, CheckWay::Up, kUp, 1000) +
                   checkLines(7, CheckWay::Down, kDown, 1000) +
                   stampLine(7, CheckWay::Mixed, "たろう") +
                   checkLines(4, CheckWay::Up, kUp, 1000, -1, kDay, "じろう"));
    frmClassSheet sheet(*room.model);
    sheet.show();
    sheet.Form_Load();
    QTRY_VERIFY(!sheet.isReading());
    QTabBar *tabs = sheet.tabs()->tabBar();
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(1).center());
    QCOMPARE(sheet.tabs()->currentWidget()->objectName(), "ClassSheetKenteiPage");
    QTableWidget *table = sheet.kenteiTable();
    QCOMPARE(table->rowCount(), 4);
    QCOMPARE(table->item(0, 7)->text() + table->item(2, 4)->text() + table->item(3, 7)->text(),
             "◎11人");
    snapshot(&sheet, "kentei-class-view");

    const QString cards = room.dir.filePath("cards.pdf"), sheetPdf = room.dir.filePath("sheet.pdf");
    sheet.setPdfPathHook([&cards] { return cards; });
    QTest::mouseClick(sheet.findChild<QPushButton *>("ClassSheetCardsPdfCommand"), Qt::LeftButton);
    const QStringList names{"たろう", "はなこ", "じろう"};
    for (int page = 1; page <= 3; ++page) {
        const QString text = pdfPageText(cards, page);
        QVERIFY2(text.contains("九九カード") && text.contains(names[page - 1]), qPrintable(text));
        for (const QString &other : names)
            QVERIFY2(other == names[page - 1] || !text.contains(other), qPrintable(text));
        // たろう's card: his two passes, the teacher's stamp drawn as hers, 7のだん ごうかく,
        // and the readings.
        if (page == 1) {
            QCOMPARE(text.count("できた"), 2 + 2);
            QCOMPARE(text.count("先生"), 2 + 1);
            QCOMPARE(text.count("ごうかく"), 2 + 1);
            QVERIFY2(text.contains("しちし にじゅうはち"), qPrintable(text));
        }
    }
    QVERIFY(pdfPageText(cards, 4).isEmpty());
    QTest::mouseClick(tabs, Qt::LeftButton, {}, tabs->tabRect(0).center());
    sheet.setPdfPathHook([&sheetPdf] { return sheetPdf; });
    QTest::mouseClick(sheet.findChild<QPushButton *>("ClassSheetPdfCommand"), Qt::LeftButton);
    const QString classPage = pdfPageText(sheetPdf, 2);
    QVERIFY2(classPage.contains("九九けんてい") && classPage.contains("じろう"),
             qPrintable(classPage));

    frmKentei window(*room.model, [] { return true; });
    window.show();
    snapshot(&window, "kentei-card-passed");
    const QString own = room.dir.filePath("own.pdf");
    window.setPdfPathHook([&own] { return own; });
    QTest::mouseClick(window.findChild<QPushButton *>("KenteiCardPdfCommand"), Qt::LeftButton);
    QVERIFY(pdfPageText(own, 1).contains("たろう"));
    QVERIFY(pdfPageText(own, 2).isEmpty());
    // The pages beside the snapshots, to be looked at.
    const QString shots = qEnvironmentVariable("QUORIN_SNAPSHOTS");
    for (const QString &pdf : {cards, sheetPdf})
        if (!shots.isEmpty())
            QFile::copy(pdf, shots + "/kentei-" + QFileInfo(pdf).fileName());
}

QTEST_MAIN(TestKentei)
#include "tst_kentei.moc"
