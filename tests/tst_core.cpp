// Shared state start values, the fact tables and the file test.

#include "core/applicationstate.h"
#include "core/fileexists.h"
#include "core/keys.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

class TestCore : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void factTexts_data();
    void factTexts();
    void everyFactTextIsFullWidth();
    void startValues();
    void dataFileNamesFollowTheFolder();
    void fileExists_data();
    void fileExists();
    void isDigitKey();
};

void TestCore::factTexts_data() {
    QTest::addColumn<int>("index");
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("product");
    // Ideographic spaces around the signs, full-width digits.
    QTest::newRow("1x1") << 0 << QStringLiteral("１\u3000×\u3000１\u3000＝\u3000") << 1;
    QTest::newRow("1x9") << 8 << QStringLiteral("１\u3000×\u3000９\u3000＝\u3000") << 9;
    QTest::newRow("2x1") << 9 << QStringLiteral("２\u3000×\u3000１\u3000＝\u3000") << 2;
    QTest::newRow("9x9") << 80 << QStringLiteral("９\u3000×\u3000９\u3000＝\u3000") << 81;
    QTest::newRow("unused 81") << 81 << QString() << 0;
}

void TestCore::factTexts() {
    QFETCH(int, index);
    QFETCH(QString, text);
    QFETCH(int, product);
    ApplicationState s;
    initialiseApplicationState(s, QStringLiteral("/tmp"));
    QCOMPARE(s.FactText[index], text);
    QCOMPARE(int(s.FactProduct[index]), product);
}

void TestCore::everyFactTextIsFullWidth() {
    ApplicationState s;
    initialiseApplicationState(s, QStringLiteral("/tmp"));
    QCOMPARE(s.DigitText, QStringLiteral("１２３４５６７８９"));
    for (int i = 0; i < kFactCount; ++i) {
        QCOMPARE(s.FactText[i].size(), 8);
        QVERIFY(s.FactText[i].endsWith(QChar(0x3000)));
        for (QChar c : s.FactText[i])
            QVERIFY2(!(c >= u'0' && c <= u'9'), qPrintable(s.FactText[i]));
        const int a = i / 9 + 1, b = i % 9 + 1;
        QCOMPARE(s.FactText[i][0], QChar(0xFF10 + a));
        QCOMPARE(s.FactText[i][4], QChar(0xFF10 + b));
        QCOMPARE(int(s.FactProduct[i]), a * b);
    }
}

void TestCore::startValues() {
    ApplicationState s;
    initialiseApplicationState(s, QStringLiteral("/data"));
    // Nobody has signed in, yet the pupil row starts at 1.
    QCOMPARE(int(s.CurrentPupilRow), 1);
    QCOMPARE(int(s.CurrentTab), 0);
    QCOMPARE(int(s.RosterLoaded), int(False));
    QCOMPARE(int(True), -1);
    QCOMPARE(int(s.NoviceFirstAttempt), 0);
    QCOMPARE(int(s.ChallengeBestStreak), 0);
    QVERIFY(s.RosterTable[0][0].isEmpty());
    QCOMPARE(s.DataFolder, QStringLiteral("/data"));
}

void TestCore::dataFileNamesFollowTheFolder() {
    ApplicationState s;
    initialiseApplicationState(s, QDir::separator());
    // A root folder gives a doubled separator, which the platform accepts.
    QCOMPARE(s.rosterPath(),
             QString(QDir::separator()) + QDir::separator() + QStringLiteral("Quorin.ini"));
    QCOMPARE(s.streakPath(),
             QString(QDir::separator()) + QDir::separator() + QStringLiteral("Quorin.dat"));
    QTemporaryDir dir;
    QFile f(dir.path() + QStringLiteral("/Quorin.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.close();
    QVERIFY(QFile::exists(dir.path() + QDir::separator() + QDir::separator() +
                          QStringLiteral("Quorin.ini")));
}

void TestCore::fileExists_data() {
    QTest::addColumn<QString>("kind");
    QTest::addColumn<bool>("expected");
    QTest::newRow("ordinary file") << "file" << true;
    QTest::newRow("read-only file") << "readonly" << true;
    QTest::newRow("folder") << "folder" << false;
    QTest::newRow("hidden file") << "hidden" << false;
    QTest::newRow("missing path") << "missing" << false;
    QTest::newRow("parent is a file") << "under-file" << false;
    QTest::newRow("empty path") << "empty" << false;
}

void TestCore::fileExists() {
    QFETCH(QString, kind);
    QFETCH(bool, expected);
    QTemporaryDir dir;
    const QString base = dir.path();
    auto touch = [](const QString &p) {
        QFile f(p);
        return f.open(QIODevice::WriteOnly) && f.write("x") == 1;
    };
    QVERIFY(touch(base + QStringLiteral("/plain.txt")));
    QVERIFY(touch(base + QStringLiteral("/.hidden")));
    QVERIFY(touch(base + QStringLiteral("/ro.txt")));
    QVERIFY(QFile::setPermissions(base + QStringLiteral("/ro.txt"), QFileDevice::ReadOwner));
    QVERIFY(QDir(base).mkdir(QStringLiteral("sub")));
    QString path;
    if (kind == u"file")
        path = base + QStringLiteral("/plain.txt");
    else if (kind == u"readonly")
        path = base + QStringLiteral("/ro.txt");
    else if (kind == u"folder")
        path = base + QStringLiteral("/sub");
    else if (kind == u"hidden")
        path = base + QStringLiteral("/.hidden");
    else if (kind == u"missing")
        path = base + QStringLiteral("/nothing/here.ini");
    else if (kind == u"under-file")
        path = base + QStringLiteral("/plain.txt/Quorin.ini");
    QCOMPARE(FileExists(path), expected);
}

void TestCore::isDigitKey() {
    // Main-row digits 48..57 and keypad digits 96..105, nothing around them.
    for (int code = 0; code < 256; ++code) {
        qint16 result = 1;
        IsDigitKey(qint16(code), result);
        const bool digit = (code >= 48 && code <= 57) || (code >= 96 && code <= 105);
        QCOMPARE(int(result), digit ? int(True) : int(False));
    }
}

QTEST_APPLESS_MAIN(TestCore)
#include "tst_core.moc"
