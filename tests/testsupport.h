#pragma once
// Shared fixtures: data files in code page 932, a main window on a temporary data folder with
// a seeded random source and its message boxes recorded instead of shown, and PNG snapshots.

#include "classroom/answerlog.h"
#include "core/shuffle.h"
#include "records/cp932.h"
#include "records/datasync.h"
#include "records/streakrecord.h"
#include "ui/main/frmmain.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QSettings>
#include <QStandardPaths>
#include <QTabBar>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

// Call once per test executable before any settings are touched.
inline void useTestSettings() {
    QStandardPaths::setTestModeEnabled(true);
    // Each test program its own settings: ctest runs several at once, and one program's
    // window position or class name must not reach another.
    static QTemporaryDir own;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, own.path());
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, own.path());
}

inline QByteArray readBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline const QString kRosterHeader =
    "氏名;初級100点回数;中級100点回数;上級100点回数;チャレンジ100点回数";

// Lines in code page 932, each ended by CR LF.
inline QByteArray cp932Lines(const QStringList &lines) {
    QByteArray bytes;
    for (const QString &line : lines)
        bytes += encodeCp932(line).value() + "\r\n";
    return bytes;
}

// The roster file with its header and the given pupil lines.
inline QByteArray roster(const QStringList &pupils) {
    return cp932Lines(QStringList{kRosterHeader} + pupils);
}

// The record file with its header and the given record lines.
inline QByteArray streakLines(const QStringList &records) {
    return cp932Lines(QStringList{"氏名;得点"} + records);
}

// Save options that wait at most `ms` for a lock another copy holds.
inline SyncOptions lockWait(int ms) {
    SyncOptions options;
    options.lockWaitMs = ms;
    options.settleMs = 0; // one process: no other copy's rename is under way
    return options;
}

// The folder's lock as another computer leaves it, `ageSeconds` old.
inline void foreignLock(const QString &dataFile, int ageSeconds) {
    const QString path = dataFolderLockPath(dataFile);
    writeBytes(path, "4242\nquorin\nshokuinshitsu-pc\n");
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadWrite));
    QVERIFY(file.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                             QFileDevice::FileModificationTime));
}

// The classroom model without a window on a temporary data folder holding `ini` and `dat`
// (nothing when empty), or on the folder of another copy; with what it tells the teacher and
// shows.
struct Room {
    QTemporaryDir dir;
    ApplicationState state;
    MersenneRandomSource random{false, 20261206u};
    std::unique_ptr<Classroom> model;
    QStringList told;
    QString status;
    QString message[4];
    QStringList names;

    explicit Room(const QByteArray &ini = QByteArray(), const QByteArray &dat = QByteArray(),
                  bool loadNow = true) {
        if (!ini.isEmpty())
            writeBytes(dir.filePath("Quorin.ini"), ini);
        if (!dat.isEmpty())
            writeBytes(dir.filePath("Quorin.dat"), dat);
        open(dir.path(), loadNow);
    }
    // Another copy of the program on `folder`: another computer's, or the next start.
    explicit Room(const QString &folder) { open(folder, true); }

    SignInOutcome signIn(const QString &name) {
        model->setNameText(name);
        return model->signIn(name);
    }
    // A full mark (or `correct` answers) in a freshly dealt set of the activity.
    void grade(Activity a, int correct = 20, const QList<FactAnswer> &answers = {}) {
        activityFields(state, a).FirstAttempt = True;
        model->grade(a, correct, answers);
    }
    QByteArray ini() const { return readBytes(state.rosterPath()); }
    QByteArray dat() const { return readBytes(state.streakPath()); }

private:
    void open(const QString &folder, bool loadNow) {
        initialiseApplicationState(state, folder);
        model = std::make_unique<Classroom>(state);
        model->setRandomSource(&random);
        // One process: no other copy's rename can be under way, so no save waits to look again.
        SyncOptions options;
        options.settleMs = 0;
        model->folderSync().setOptions(options);
        QObject::connect(model.get(), &Classroom::message,
                         [this](Notice, const QString &, const QString &text) { told << text; });
        QObject::connect(model.get(), &Classroom::recordStatusChanged,
                         [this](const QString &text) { status = text; });
        QObject::connect(model.get(), &Classroom::streakMessageChanged,
                         [this](Activity a, const QString &text) { message[int(a)] = text; });
        QObject::connect(model.get(), &Classroom::namesChanged,
                         [this](const QStringList &list) { names = list; });
        if (loadNow)
            model->load();
    }
};

// Types text of any script into a widget as key events (QTest::keyClicks takes Latin-1
// only). ASCII characters go through QTest::keyClick so digits carry their key codes.
inline void typeText(QWidget *widget, const QString &text) {
    for (QChar c : text) {
        if (c.unicode() < 0x80) {
            QTest::keyClick(widget, char(c.unicode()));
        } else {
            QTest::sendKeyEvent(QTest::Press, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
            QTest::sendKeyEvent(QTest::Release, widget, Qt::Key_unknown, QString(c),
                                Qt::NoModifier);
        }
    }
}

struct TestMain {
    QTemporaryDir dir;
    ApplicationState state;
    MersenneRandomSource random{false, 20261206u};
    std::unique_ptr<Classroom> classroom;
    std::unique_ptr<frmMain> window;
    QStringList messages; // the texts of the message boxes

    // On a data folder holding `ini` (nothing when empty), loaded at once unless told not to.
    explicit TestMain(bool load = true, const QByteArray &ini = QByteArray()) {
        initialiseApplicationState(state, dir.path());
        if (!ini.isEmpty())
            writeBytes(path("Quorin.ini"), ini);
        classroom = std::make_unique<Classroom>(state);
        classroom->setRandomSource(&random);
        window = std::make_unique<frmMain>(*classroom);
        state.MainWindow = window.get();
        window->setMessageHook([this](QMessageBox::Icon, const QString &, const QString &text) {
            messages.append(text);
        });
        if (load)
            window->Form_Load();
    }
    ~TestMain() {
        window->close();
        window.reset(); // before the model it shows
    }

    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    // A menu item chosen with the keys a teacher uses: Alt and the menu's letter, then the
    // item's letter.
    void menu(Qt::Key menu, Qt::Key item) const {
        QTest::keyClick(window.get(), menu, Qt::AltModifier);
        QTest::keyClick(QApplication::activePopupWidget(), item);
    }
    template <typename T> T *find(const QString &name) const {
        return window->findChild<T *>(name);
    }
};

// The window shown and active on a data folder holding `ini` (nothing when empty) and a fresh
// record file, driven as a pupil drives it.
struct ShownMain : TestMain {
    explicit ShownMain(const QByteArray &ini = QByteArray()) : TestMain(false, ini) {
        writeBytes(path("Quorin.dat"), newStreakFileBytes());
        window->Form_Load();
        window->show();
        QApplication::setActiveWindow(window.get());
        active = QTest::qWaitForWindowActive(window.get());
    }
    bool active = false;

    // The name typed into the sign-in box over what it held, then Enter.
    void signIn(const QString &name) {
        QLineEdit *edit = window->nameCombo()->lineEdit();
        QTest::mouseClick(edit, Qt::LeftButton);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        typeText(edit, name);
        QTest::keyClick(edit, Qt::Key_Return);
    }
    void clickTab(int tab) {
        QTabBar *bar = window->tabStrip()->tabBar();
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->tabRect(tab).center());
    }
};

inline QByteArray rosterOnDisk(const TestMain &t) {
    return readBytes(t.path("Quorin.ini"));
}

// How many of the activity tabs 1..5 can be chosen: 5 signed in, 0 locked.
inline int openActivities(const TestMain &t) {
    int open = 0;
    for (int i = 1; i <= 5; ++i)
        open += t.window->isTabSelectable(i) ? 1 : 0;
    return open;
}

// The lines of the window's answer log after its header, each without its time when that is
// of the last minutes ("たろう,レベル1,3,4,○"); one line saying what is wrong when there is not
// exactly one log file starting with its header.
inline QStringList answerLogLines(const TestMain &t) {
    const QStringList files = QDir(t.dir.path()).entryList({answerLogFilePattern()});
    const QByteArray bytes = readBytes(t.path(files.value(0)));
    if (files.size() != 1 || !bytes.startsWith(answerLogHeader()))
        return {"log files: " + files.join(u' ')};
    QStringList lines =
        QString::fromUtf8(bytes.mid(answerLogHeader().size())).split("\r\n", Qt::SkipEmptyParts);
    for (QString &line : lines) {
        const QDateTime when = QDateTime::fromString(line.left(19), "yyyy-MM-dd HH:mm:ss");
        if (qAbs(when.secsTo(QDateTime::currentDateTime())) < 600 && line.mid(19, 1) == u",")
            line = line.mid(20);
        // The time and the number given: every answer confirmed in these journeys has both,
        // the number of a right one is the product; then they are left out of the line.
        QStringList f = line.split(u',');
        const QString given = f.value(f.size() - 1), ms = f.value(f.size() - 2);
        f = f.mid(0, f.size() - 2);
        line = f.join(u',');
        const bool right = f.value(f.size() - 2) == "○";
        const int product = f.value(f.size() - 4).toInt() * f.value(f.size() - 3).toInt();
        if (!line.endsWith("とちゅう") && (ms.toInt() < 0 || ms.isEmpty()))
            line += ",no time";
        if (right && !line.endsWith("とちゅう") && given.toInt() != product)
            line += ",given " + given;
    }
    return lines;
}

inline QString logLine(const QString &who, const QString &activity, int a, int b, bool right,
                       bool unfinished = false) {
    return who + u',' + activity + QStringLiteral(",%1,%2,").arg(a).arg(b) + (right ? "○" : "×") +
           u',' + (unfinished ? "とちゅう" : "");
}

// Saves a PNG of the widget into $QUORIN_SNAPSHOTS when that folder is set (for looking at
// what the tests drive); does nothing otherwise.
inline void snapshot(QWidget *w, const QString &name) {
    const QByteArray dir = qgetenv("QUORIN_SNAPSHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + ".png");
}
