#pragma once
// Shared fixtures for the widget tests: a main window on a temporary data folder with a
// seeded random source, message boxes recorded instead of shown, and PNG snapshots.

#include "core/applicationstate.h"
#include "core/shuffle.h"
#include "ui/main/frmmain.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <memory>

struct RecordedMessage {
    QMessageBox::Icon icon;
    QString title;
    QString text;
};

// Call once per test executable before any settings are touched.
inline void useTestSettings() {
    QStandardPaths::setTestModeEnabled(true);
}

struct TestMain {
    QTemporaryDir dir;
    ApplicationState state;
    MersenneRandomSource random{false, 20261206u};
    std::unique_ptr<Classroom> classroom;
    std::unique_ptr<frmMain> window;
    QList<RecordedMessage> messages;

    explicit TestMain(bool load = true, const QString &dataFolder = QString()) {
        initialiseApplicationState(state, dataFolder.isEmpty() ? dir.path() : dataFolder);
        classroom = std::make_unique<Classroom>(state);
        classroom->setRandomSource(&random);
        window = std::make_unique<frmMain>(*classroom);
        state.MainWindow = window.get();
        window->setMessageHook(
            [this](QMessageBox::Icon icon, const QString &title, const QString &text) {
                messages.append({icon, title, text});
            });
        if (load)
            window->Form_Load();
    }
    ~TestMain() {
        if (window)
            window->close();
        window.reset(); // before the model it shows
    }

    QString path(const QString &name) const { return dir.path() + QLatin1Char('/') + name; }
    template <typename T> T *find(const QString &name) const {
        return window->findChild<T *>(name);
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

inline QByteArray readBytes(const QString &path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool writeBytes(const QString &path, const QByteArray &bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// Saves a PNG of the widget into $QUORIN_SNAPSHOTS when that folder is set (for looking at
// what the tests drive); does nothing otherwise.
inline void snapshot(QWidget *w, const QString &name) {
    const QByteArray dir = qgetenv("QUORIN_SNAPSHOTS");
    if (dir.isEmpty())
        return;
    QDir().mkpath(QString::fromLocal8Bit(dir));
    w->grab().save(QString::fromLocal8Bit(dir) + QLatin1Char('/') + name + QStringLiteral(".png"));
}
