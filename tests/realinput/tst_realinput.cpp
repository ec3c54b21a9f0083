// The program driven as a pupil and a teacher drive it: keys and clicks through a real X
// server (XTest) into the focused widget, checked against what they see and what lands in
// the files.

#include "testsupport.h"
#include "ui/dialogs/frmoptions.h"
#include "ui/main/answerbox.h"
#include "ui/main/challengepage.h"
#include "ui/main/levelpage.h"
#include "ui/main/practicepage.h"
#include "xinput.h"

#include <QApplication>
#include <QFileSystemModel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTabBar>
#include <QTabWidget>
#include <QTreeView>

namespace {

// Counts the key events that reach the program's windows, so a test knows when the keys it
// sent have been handled. A shortcut's press never reaches a window, and a key that closes a
// window or opens a modal dialog may see its release go nowhere: either event counts.
class ReleaseCounter : public QObject {
public:
    int count = 0;  // key presses and releases
    int clicks = 0; // mouse buttons
    bool eventFilter(QObject *o, QEvent *e) override {
        if (!o->isWindowType())
            return false;
        if (e->type() == QEvent::KeyPress || e->type() == QEvent::KeyRelease)
            ++count;
        if (e->type() == QEvent::MouseButtonRelease)
            ++clicks;
        return false;
    }
};

QByteArray fourPupils() {
    // 塚 as code page 932 writes it in the teacher's file: FA 9C, a compatibility ideograph.
    return roster({"Suzuki;0;0;0;0", "Kenta;1;0;0;0", "\uFA10田;0;0;0;0", "hanako;0;0;0;0"});
}

int scale() {
    return qEnvironmentVariableIntValue("QUORIN_TEST_SCALE") > 1 ? 2 : 1;
}

} // namespace

class TestRealInput : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase() { qApp->removeEventFilter(&m_releases); }
    void enterSignsInAsTyped_data();
    void enterSignsInAsTyped();
    void enterPressesTheFocusedButton_data();
    void enterPressesTheFocusedButton();
    void tabStripKeysAreHarmless();
    void focusIsVisible_data();
    void focusIsVisible();
    void folderDialogBrowses();

private:
    // Sends keys (each a keysym name, "Alt_L+1" for a chord) and waits until each has been
    // handled.
    void keys(const QStringList &names);
    std::unique_ptr<TestMain> shownMain(const QByteArray &rosterBytes = QByteArray());
    void activate(QWidget *window);
    // Clicks the left mouse button on a point of the widget (its centre by default).
    void click(QWidget *w, QPoint at = QPoint());
    void signIn(TestMain &t, const QString &name);

    XInput m_x;
    ReleaseCounter m_releases;
};

void TestRealInput::initTestCase() {
    useTestSettings();
    if (QGuiApplication::platformName() != QLatin1String("xcb") || !m_x.ok())
        QSKIP("no X server with XTest: these tests need one (make test starts Xvfb)");
    qApp->installEventFilter(&m_releases);
}

void TestRealInput::keys(const QStringList &names) {
    for (const QString &name : names) {
        const int before = m_releases.count;
        QStringList chord = name.split(u'+');
        m_x.tap(chord.takeLast(), chord);
        QTRY_VERIFY_WITH_TIMEOUT(m_releases.count > before, 5000);
        // Modifier releases arrive last; let them through as well.
        QTest::qWait(20);
    }
}

std::unique_ptr<TestMain> TestRealInput::shownMain(const QByteArray &rosterBytes) {
    auto t = std::make_unique<TestMain>(true, rosterBytes);
    t->window->show();
    activate(t->window.get());
    return t;
}

void TestRealInput::activate(QWidget *window) {
    // Without a window manager the X server's focus can come back to the window shown
    // before; ask again until the program has this one active.
    QTRY_VERIFY_WITH_TIMEOUT(
        [&] {
            if (QApplication::activeWindow() != window)
                window->activateWindow();
            return QApplication::activeWindow() == window;
        }(),
        5000);
}

void TestRealInput::signIn(TestMain &t, const QString &name) {
    QLineEdit *edit = t.window->nameCombo()->lineEdit();
    edit->setFocus(Qt::MouseFocusReason);
    edit->clear();
    m_x.type(name);
    click(t.find<QPushButton>("QuorinIniFinCommand"));
    QTRY_COMPARE(openActivities(t), 5);
}

void TestRealInput::click(QWidget *w, QPoint at) {
    if (at.isNull())
        at = w->rect().center();
    // The X server counts device pixels; at scale 2 they are twice the logical ones.
    const QPointF global = QPointF(w->mapToGlobal(at)) * w->devicePixelRatioF();
    const int before = m_releases.clicks;
    m_x.click(global.toPoint());
    QTRY_VERIFY(m_releases.clicks > before);
}

// ---- Sign-in by Enter -----------------------------------------------------------------------

void TestRealInput::enterSignsInAsTyped_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("row");
    QTest::newRow("new name") << "akira" << 5;
    QTest::newRow("listed, not the list's current entry") << "Kenta" << 2;
    QTest::newRow("listed in another letter case") << "suzuki" << 5;
    QTest::newRow("beginning of a listed name") << "ken" << 5;
    QTest::newRow("compatibility kanji") << "\uFA10田" << 3;
}

void TestRealInput::enterSignsInAsTyped() {
    QFETCH(QString, name);
    QFETCH(int, row);
    const QByteArray file = fourPupils();
    auto t = shownMain(file);
    QLineEdit *edit = t->window->nameCombo()->lineEdit();
    QCOMPARE(QApplication::focusWidget(), t->window->nameCombo());
    if (name.front().unicode() < 0x80)
        m_x.type(name);
    else // typed as text: XTest has no key for it
        typeText(edit, name);
    keys({"Return"}); // once
    QCOMPARE(edit->text(), name);
    QCOMPARE(openActivities(*t), 5);
    QCOMPARE(t->state.CurrentPupilRow, qint16(row));
    QCOMPARE(t->state.RosterTable[row][0], name);
    QCOMPARE(rosterOnDisk(*t), row == 5 ? file + cp932Lines({name + ";0;0;0;0"}) : file);
}

// ---- Buttons and the keyboard ---------------------------------------------------------------

void TestRealInput::enterPressesTheFocusedButton_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("button");
    QTest::newRow("practice retry") << 1 << "QuorinPracticeRetryCommand";
    QTest::newRow("level 1 list") << 2 << "QuorinNoviceQuizBestScoreCommand";
    QTest::newRow("level 3 fin") << 4 << "QuorinExpertQuizFinCommand";
    QTest::newRow("challenge list") << 5 << "QuorinChallengeQuizBestScoreCommand";
    QTest::newRow("quit") << 0 << "QuorinFinCommand";
}

void TestRealInput::enterPressesTheFocusedButton() {
    QFETCH(int, tab);
    QFETCH(QString, button);
    auto t = shownMain(fourPupils());
    signIn(*t, "hanako");
    t->window->tabStrip()->setCurrentIndex(tab);
    QWidget *window = t->window.get();
    auto *b = window->findChild<QPushButton *>(button);
    QVERIFY(b && b->isVisible());
    b->setFocus(Qt::TabFocusReason);
    QSignalSpy clicked(b, &QPushButton::clicked);
    keys({"Return"});
    QCOMPARE(clicked.count(), 1);
}

void TestRealInput::tabStripKeysAreHarmless() {
    auto t = shownMain(fourPupils());
    signIn(*t, "hanako");
    t->window->tabStrip()->tabBar()->setFocus(Qt::TabFocusReason);
    keys({"Right", "End", "Left", "Control_L+Tab", "Control_L+Next"});
    QCOMPARE(t->window->tabStrip()->currentIndex(), 0);
    QCOMPARE(openActivities(*t), 5);
}

// ---- What the pupil sees ---------------------------------------------------------------------

void TestRealInput::focusIsVisible_data() {
    QTest::addColumn<int>("tab");
    QTest::addColumn<QString>("control");
    QTest::newRow("default button") << 0 << "QuorinIniFinCommand";
    QTest::newRow("tab strip") << 0 << "QuorinSSTab";
    QTest::newRow("row button") << 1 << "QuorinPracticeSelectOption_3";
}

void TestRealInput::focusIsVisible() {
    QFETCH(int, tab);
    QFETCH(QString, control);
    auto t = shownMain(fourPupils());
    signIn(*t, "hanako");
    t->window->tabStrip()->setCurrentIndex(tab);
    QWidget *w = t->find<QWidget>(control);
    if (auto *tabs = qobject_cast<QTabWidget *>(w))
        w = tabs->tabBar();
    QVERIFY(w);
    // The program gives the focus itself (the name box at start, box 0 or the row buttons
    // on entering a page), so no keyboard focus change is involved.
    if (QApplication::focusWidget() == w || w->isAncestorOf(QApplication::focusWidget()))
        QApplication::focusWidget()->clearFocus();
    const QImage plain = w->grab().toImage();
    w->setFocus(Qt::OtherFocusReason);
    QTRY_VERIFY(w->hasFocus() || w->isAncestorOf(QApplication::focusWidget()));
    const QImage focused = w->grab().toImage();
    QCOMPARE(focused.size(), plain.size());
    int differing = 0;
    for (int y = 0; y < plain.height(); ++y)
        for (int x = 0; x < plain.width(); ++x)
            differing += plain.pixel(x, y) != focused.pixel(x, y) ? 1 : 0;
    snapshot(w, QStringLiteral("focus-%1-x%2").arg(control).arg(scale()));
    // At least a ring round a small control, one device pixel wide.
    QVERIFY2(differing >= 150 * scale(),
             qPrintable(QStringLiteral("%1 pixels differ").arg(differing)));
}

void TestRealInput::folderDialogBrowses() {
    auto t = shownMain();
    // The class folders: the program runs in one, the teacher wants a sibling's subfolder.
    const QString root = t->path("school");
    QVERIFY(QDir().mkpath(root + "/2-1"));
    QVERIFY(QDir().mkpath(root + "/2-2/shared"));
    t->state.DataFolder = root;
    t->state.OptionsDrive = QString();
    frmOptions options(*t->classroom, t->window.get());
    QVERIFY(QDir::setCurrent(root + "/2-1"));
    options.Form_Load();
    QCOMPARE(options.optionsPath(), root); // the folder in use, until the teacher chooses
    options.show();
    activate(&options);
    QTreeView *tree = options.folderList();
    auto *model = qobject_cast<QFileSystemModel *>(tree->model());
    tree->setFocus(Qt::TabFocusReason);
    QTRY_COMPARE(QDir(model->filePath(tree->currentIndex())).absolutePath(),
                 QDir(root + "/2-1").absolutePath());
    // The volume's other folders are listed too, not only the way down to this one.
    const QModelIndex top = model->index(QDir::rootPath());
    QTRY_VERIFY(model->rowCount(top) > 1);
    // Keyboard only: down to the sibling, open it, down into its subfolder.
    keys({"Down"});
    QTRY_COMPARE(QFileInfo(model->filePath(tree->currentIndex())).fileName(), "2-2");
    keys({"Right"});
    // Down goes where the tree shows it: wait until the subfolder is the row below.
    QTRY_VERIFY(tree->indexBelow(tree->currentIndex()).parent() == tree->currentIndex());
    keys({"Down"});
    QTRY_COMPARE(QFileInfo(model->filePath(tree->currentIndex())).fileName(), "shared");
    // The teacher keeps it for every start: Tab to the check box, Space, Enter for OK.
    keys({"Tab", "space"});
    snapshot(&options, QStringLiteral("options-sibling-x%1").arg(scale()));
    const QString shared = QDir::toNativeSeparators(root + "/2-2/shared");
    QCOMPARE(options.optionsPath(), shared);
    // The dialog closes on the press; its release may reach no window of the program.
    m_x.tap("Return");
    QTRY_VERIFY(!options.isVisible());
    QCOMPARE(options.result(), int(QDialog::Accepted));
    QCOMPARE(t->state.DataFolder, shared);
    QCOMPARE(rememberedDataFolder(), shared);
    frmOptions again(*t->classroom, t->window.get()); // opened again: on the chosen folder
    again.Form_Load();
    QTreeView *list = again.folderList();
    QCOMPARE(qobject_cast<QFileSystemModel *>(list->model())->filePath(list->currentIndex()),
             root + "/2-2/shared");
    rememberDataFolder(QString());
    QDir::setCurrent(QDir::rootPath());
}

QTEST_MAIN(TestRealInput)
#include "tst_realinput.moc"
