#include "ui/main/frmmain.h"

#include "core/fileexists.h"
#include "core/numericvalue.h"
#include "core/shuffle.h"
#include "records/datafile.h"
#include "records/pupilname.h"
#include "records/streak.h"
#include "records/streakrecord.h"
#include "ui/dialogs/frmabout.h"
#include "ui/dialogs/frmoptions.h"
#include "ui/dialogs/helpviewer.h"
#include "ui/dialogs/quorinscoredialog.h"
#include "ui/main/challengepage.h"
#include "ui/main/classroomstyle.h"
#include "ui/main/geometry.h"
#include "ui/main/levelpage.h"
#include "ui/main/practicepage.h"
#include "ui/main/welcomeimage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFile>
#include <QKeyEvent>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>

// Resources live in the static widgets library, so they are registered explicitly.
static void initialiseResources() {
    Q_INIT_RESOURCE(quorin);
}

QString applicationTitle() {
    return QStringLiteral("ミルト　ーネ");
}

QString mainWindowCaption() {
    return QStringLiteral("ミルト　ーネ   Ver1.0.0");
}

namespace {

constexpr int kOuterWidthTwips = 12465;
constexpr int kOuterHeightTwips = 9255;
constexpr int kClientWidthTwips = 12375;
constexpr int kClientHeightTwips = 8640;
constexpr double kDefaultPositionTwips = 1000.0;

QSettings windowSettings() {
    return QSettings(applicationTitle());
}

QString rosterFileLabel() {
    return QStringLiteral("名簿ファイル（Quorin.ini）");
}
QString streakFileLabel() {
    return QStringLiteral("記録ファイル（Quorin.dat）");
}

double storedTwips(const QSettings &settings, const QString &key) {
    bool ok = false;
    const double value = settings.value(key).toString().trimmed().toDouble(&ok);
    return ok ? value : kDefaultPositionTwips;
}

} // namespace

frmMain::frmMain(ApplicationState &state, QWidget *parent)
    : QMainWindow(parent), m_state(state), m_ownRandom(std::make_unique<MersenneRandomSource>()),
      m_random(m_ownRandom.get()), m_helpFile(QStringLiteral(":/help/index.html")) {
    initialiseResources();
    useClassroomStyle();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(mainWindowCaption());
    setFont(designFont(12));
    setWindowIcon(QIcon(QStringLiteral(":/icons/quorin32.png")));
    buildMenus();

    m_tabs = new QTabWidget(this);
    nameControl(m_tabs, QStringLiteral("QuorinSSTab"));
    m_tabs->setUsesScrollButtons(false);
    setCentralWidget(m_tabs);

    auto *signIn = new QWidget;
    buildSignInPage(signIn);
    m_tabs->addTab(signIn, QStringLiteral("はじめに"));

    auto *practiceHolder = new QWidget;
    m_practice = new PracticePage(*this, practiceHolder);
    m_tabs->addTab(practiceHolder, QStringLiteral("れんしゅう"));

    const LevelParams levels[3] = {LevelParams::novice(), LevelParams::intermediate(),
                                   LevelParams::expert()};
    const QString levelCaptions[3] = {QStringLiteral("レベル1"), QStringLiteral("レベル2"),
                                      QStringLiteral("レベル3")};
    for (int i = 0; i < 3; ++i) {
        auto *holder = new QWidget;
        m_levels[i] = new LevelPage(*this, levels[i], holder);
        m_tabs->addTab(holder, levelCaptions[i]);
    }

    auto *challengeHolder = new QWidget;
    m_challenge = new ChallengePage(*this, challengeHolder);
    m_tabs->addTab(challengeHolder, QStringLiteral("チャレンジ"));

    // Each page fills its holder, the tab page.
    for (QWidget *page : std::initializer_list<QWidget *>{m_practice, m_levels[0], m_levels[1],
                                                          m_levels[2], m_challenge})
        page->setGeometry(0, 0, twipsToPixels(kClientWidthTwips),
                          twipsToPixels(kClientHeightTwips));

    connect(m_tabs, &QTabWidget::currentChanged, this, &frmMain::QuorinSSTab_Click);
    setUpKeyboard();
    applyFixedSize();
}

void frmMain::setUpKeyboard() {
    // Enter on a focused button presses it, as Space does.
    for (QPushButton *button : findChildren<QPushButton *>())
        button->setAutoDefault(true);

    // The activities are entered on purpose only: the tab strip's own arrow keys, Ctrl+Tab
    // and the mouse wheel would otherwise enter the next tab (and lock the others) at once.
    m_tabs->tabBar()->installEventFilter(this);
    m_tabs->installEventFilter(this);

    // Alt+1 .. Alt+5 on the sign-in page open the activity of that tab once a pupil has
    // signed in; Alt+0 on an activity page is its finish button. In an answer box the Alt
    // key pressed first is still an action key for the box, as every other key is.
    static const char *const finButtons[] = {
        "QuorinPracticeFinCommand", "QuorinNoviceQuizFinCommand",
        "QuorinIntermediateQuizFinCommand", "QuorinExpertQuizFinCommand",
        "QuorinChallengeQuizFinCommand"};
    for (int tab = 1; tab <= 5; ++tab) {
        auto *enter =
            new QShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_0 + tab)), m_tabs->widget(0));
        connect(enter, &QShortcut::activated, this, [this, tab] {
            if (m_tabs->currentIndex() == 0 && isTabSelectable(tab))
                m_tabs->setCurrentIndex(tab);
        });
        QWidget *page = m_tabs->widget(tab);
        auto *leave = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_0), page);
        QPushButton *fin = page->findChild<QPushButton *>(QLatin1String(finButtons[tab - 1]));
        connect(leave, &QShortcut::activated, fin, &QPushButton::click);
    }
}

bool frmMain::eventFilter(QObject *watched, QEvent *event) {
    if (watched == m_tabs->tabBar() && event->type() == QEvent::Wheel)
        return true;
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool ctrl = key->modifiers() & Qt::ControlModifier;
        switch (key->key()) {
        case Qt::Key_Left:
        case Qt::Key_Right:
        case Qt::Key_Up:
        case Qt::Key_Down:
        case Qt::Key_Home:
        case Qt::Key_End:
            if (watched == m_tabs->tabBar())
                return true;
            break;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
        case Qt::Key_PageUp:
        case Qt::Key_PageDown:
            if (ctrl)
                return true;
            break;
        default:
            break;
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

frmMain::~frmMain() {
    if (m_scoreDialog)
        delete m_scoreDialog.data();
    if (m_helpViewer)
        delete m_helpViewer.data();
}

void frmMain::applyFixedSize() {
    // The client area (below the menu bar) has the design's fixed size.
    setFixedSize(twipsToPixels(kClientWidthTwips),
                 twipsToPixels(kClientHeightTwips) + menuBar()->sizeHint().height());
}

void frmMain::setRandomSource(RandomSource *source) {
    m_random = source ? source : m_ownRandom.get();
}

void frmMain::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    nameControl(file, QStringLiteral("mnuFile"));
    QAction *exit = file->addAction(QStringLiteral("終了(&X)"));
    nameControl(exit, QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);

    QMenu *tools = menuBar()->addMenu(QStringLiteral("ﾂｰﾙ(&T)"));
    nameControl(tools, QStringLiteral("mnuTools"));
    QAction *options = tools->addAction(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)..."));
    nameControl(options, QStringLiteral("mnuToolsOptions"));
    connect(options, &QAction::triggered, this, &frmMain::mnuToolsOptions_Click);

    QMenu *help = menuBar()->addMenu(QStringLiteral("ﾍﾙﾌﾟ(&H)"));
    nameControl(help, QStringLiteral("mnuHelp"));
    QAction *contents = help->addAction(QStringLiteral("ﾍﾙﾌﾟ"));
    nameControl(contents, QStringLiteral("mnuHelpContents"));
    connect(contents, &QAction::triggered, this, &frmMain::mnuHelpContents_Click);
    QAction *about = help->addAction(QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報(&A)"));
    nameControl(about, QStringLiteral("mnuHelpAbout"));
    connect(about, &QAction::triggered, this, &frmMain::mnuHelpAbout_Click);
}

void frmMain::buildSignInPage(QWidget *page) {
    m_initImage = new QLabel(page);
    nameControl(m_initImage, QStringLiteral("QuorinInitImage"));
    placeOnTabPage(m_initImage, 360, 840, 3240, 6960);
    m_initImage->setPixmap(welcomeIllustration(m_initImage->size()));
    m_initImage->setAccessibleName(QStringLiteral("ようこそ"));

    m_nameLabel =
        new QLabel(QStringLiteral("ミルト　ーネの始まりです。最初に名前をいれてください。"), page);
    nameControl(m_nameLabel, QStringLiteral("PellixIniNameLabel"));
    placeOnTabPage(m_nameLabel, 3840, 2040, 6015, 1215);
    m_nameLabel->setWordWrap(true);

    m_nameCombo = new QComboBox(page);
    nameControl(m_nameCombo, QStringLiteral("QuorinIniNameCombo"));
    m_nameCombo->setEditable(true);
    m_nameCombo->setInsertPolicy(QComboBox::NoInsert);
    // The name is exactly what the pupil typed: no inline, case-insensitive completion into
    // another pupil's name. The drop-down list still offers the names.
    m_nameCombo->setCompleter(nullptr);
    m_nameCombo->setFont(designFont(24));
    m_nameCombo->setAccessibleName(QStringLiteral("なまえ"));
    placeOnTabPage(m_nameCombo, 4440, 4320, 4455, 615);
    m_nameLabel->setBuddy(m_nameCombo);

    m_iniFinCommand = new QPushButton(QStringLiteral("名前の入力終了"), page);
    nameControl(m_iniFinCommand, QStringLiteral("QuorinIniFinCommand"));
    placeOnTabPage(m_iniFinCommand, 9240, 6000, 2415, 495);
    m_iniFinCommand->setDefault(true);

    m_finCommand = new QPushButton(QStringLiteral("ミルトーネの終了"), page);
    nameControl(m_finCommand, QStringLiteral("QuorinFinCommand"));
    placeOnTabPage(m_finCommand, 9360, 7920, 2415, 495);

    // Says why a name was not taken; empty until then.
    m_iniMessage = new QLabel(page);
    nameControl(m_iniMessage, QStringLiteral("QuorinIniMessageLabel"));
    placeOnTabPage(m_iniMessage, 3840, 5040, 7815, 900);
    m_iniMessage->setFont(designFont(14));
    m_iniMessage->setWordWrap(true);
    m_iniMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(m_iniMessage, Colours::Red);

    m_recordStatus = new QLabel(page);
    nameControl(m_recordStatus, QStringLiteral("QuorinIniRecordLabel"));
    placeOnTabPage(m_recordStatus, 3840, 6600, 5280, 1200);
    m_recordStatus->setFont(designFont(11));
    m_recordStatus->setWordWrap(true);
    m_recordStatus->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    // Only the user's own edits and list picks count as editing the name. The combo box
    // also reports "activated" from its own Return and focus-out handling, with the text
    // unchanged: that is no edit, so a pick counts only when it changed the name.
    connect(m_nameCombo->lineEdit(), &QLineEdit::textEdited, this,
            &frmMain::QuorinIniNameCombo_Change);
    connect(m_nameCombo, &QComboBox::activated, this, [this] {
        if (currentNameText() != m_signedInName)
            QuorinIniNameCombo_Change();
    });
    // Enter in the name box confirms the name, as the default button would in a dialog.
    connect(m_nameCombo->lineEdit(), &QLineEdit::returnPressed, this,
            &frmMain::QuorinIniFinCommand_Click);
    connect(m_iniFinCommand, &QPushButton::clicked, this, &frmMain::QuorinIniFinCommand_Click);
    connect(m_finCommand, &QPushButton::clicked, this, &frmMain::QuorinFinCommand_Click);
}

// ---- Load and unload ------------------------------------------------------------------

void frmMain::Form_Load() {
    const QSettings settings = windowSettings();
    const double left = storedTwips(settings, QStringLiteral("Settings/MainLeft"));
    const double top = storedTwips(settings, QStringLiteral("Settings/MainTop"));
    m_loadedPosition = QPoint(qRound(left / kTwipsPerPixel), qRound(top / kTwipsPerPixel));
    m_loadedLeftTwips = left;
    m_loadedTopTwips = top;
    move(m_loadedPosition);
    applyFixedSize();

    m_tabs->setCurrentIndex(0);
    for (int i = 1; i <= 5; ++i)
        setTabSelectable(i, false);
    m_nameCombo->setFocus(Qt::OtherFocusReason);

    LoadRoster();
    ShowNoviceStreakRecord();
    ShowIntermediateStreakRecord();
    ShowExpertStreakRecord();
    ShowChallengeStreakRecord();
}

void frmMain::closeEvent(QCloseEvent *event) {
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    saveKeptChanges();
    // Close every other open window of the program, the most recent first.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (auto it = windows.crbegin(); it != windows.crend(); ++it) {
        QWidget *w = *it;
        if (w != this && w->isVisible())
            w->close();
    }
    if (!isMinimized()) {
        QSettings settings = windowSettings();
        const QRect frame = frameGeometry();
        settings.beginGroup(QStringLiteral("Settings"));
        // A window that was not moved writes back the twips it was placed at, so rounding to
        // pixels never makes it creep from run to run.
        const bool unmoved = frame.topLeft() == m_loadedPosition;
        settings.setValue(QStringLiteral("MainLeft"),
                          unmoved ? QString::number(m_loadedLeftTwips)
                                  : QString::number(pixelsToTwips(frame.x())));
        settings.setValue(QStringLiteral("MainTop"),
                          unmoved ? QString::number(m_loadedTopTwips)
                                  : QString::number(pixelsToTwips(frame.y())));
        settings.setValue(QStringLiteral("MainWidth"),
                          QString::number(qMax(pixelsToTwips(frame.width()), kOuterWidthTwips)));
        settings.setValue(QStringLiteral("MainHeight"),
                          QString::number(qMax(pixelsToTwips(frame.height()), kOuterHeightTwips)));
        settings.endGroup();
        settings.sync();
    }
}

void frmMain::QuorinFinCommand_Click() {
    close();
}

void frmMain::mnuFileExit_Click() {
    close();
}

// ---- Navigation -------------------------------------------------------------------------

void frmMain::setTabSelectable(int index, bool selectable) {
    // Disabling the current tab would make Qt move the current tab and raise the tab
    // change; the navigation never asks for it.
    if (!selectable && index == m_tabs->currentIndex())
        return;
    m_tabs->setTabEnabled(index, selectable);
}

bool frmMain::isTabSelectable(int index) const {
    return m_tabs->isTabEnabled(index);
}

void frmMain::lockActivityTabs() {
    m_signedInName.clear();
    for (int i = 1; i <= 5; ++i)
        setTabSelectable(i, false);
}

void frmMain::QuorinSSTab_Click() {
    const int selected = m_tabs->currentIndex();
    m_state.CurrentTab = static_cast<qint16>(selected);
    if (selected == 0) {
        m_iniFinCommand->setEnabled(true);
        // Keyboard use: the next pupil can type a name at once.
        m_nameCombo->setFocus(Qt::OtherFocusReason);
        return;
    }
    // EnterActivityTab: lock every other tab and start a fresh set of the activity.
    m_iniFinCommand->setEnabled(false);
    for (int i = 0; i < m_tabs->count(); ++i)
        setTabSelectable(i, i == selected);
    runActivityRetry(selected);
    if (selected == 5)
        m_challenge->timeLabel()->setText(QString());
}

void frmMain::ReturnToSignIn() {
    for (int i = 0; i < m_tabs->count(); ++i)
        setTabSelectable(i, true);
    m_tabs->setCurrentIndex(0);
}

// ---- Sign-in ----------------------------------------------------------------------------

QString frmMain::currentNameText() const {
    return m_nameCombo->currentText();
}

void frmMain::QuorinIniNameCombo_Change() {
    lockActivityTabs();
}

void frmMain::QuorinIniFinCommand_Click() {
    // 1. A missing roster file is created. It is read back at once, so the first pupil of a
    //    new folder is looked up and recorded like every later one. A roster that went
    //    missing while this copy holds it is written back whole; one that is there but
    //    cannot be read is left alone. The record file is made with it.
    const QString rosterPath = m_state.rosterPath();
    if (!FileExists(rosterPath)) {
        if (m_state.RosterLoaded)
            writeRoster();
        else if (!QFileInfo::exists(rosterPath) &&
                 createMissingDataFile(rosterPath, rosterFileLabel(), newRosterFileBytes()))
            LoadRoster();
        if (!QFileInfo::exists(m_state.streakPath()))
            createMissingDataFile(m_state.streakPath(), streakFileLabel(), newStreakFileBytes());
    }

    // 2. An empty name signs nobody in.
    if (currentNameText().isEmpty()) {
        lockActivityTabs();
        return;
    }

    // A name the files cannot hold is refused with a word to the pupil.
    const NameCheck check = checkPupilName(currentNameText());
    if (check.problem != NameProblem::None) {
        refuseName(nameProblemMessage(check));
        return;
    }
    const QString name = check.name;
    if (name != currentNameText())
        m_nameCombo->setEditText(name); // the composed form is the one stored and shown

    PupilSearch search;
    if (m_state.RosterLoaded) {
        // Another copy of the program may have added pupils or raised runs meanwhile.
        if (m_sync.refreshRoster(m_state, m_rosterFile, rosterPath)) {
            refillNameList(rosterNames(m_state, m_rosterFile));
            rememberSavedRoster();
        }
        search = findPupil(m_state, m_rosterFile, name);
        if (search.full) {
            refuseName(rosterFullMessage());
            return;
        }
    }

    // 3.
    for (int i = 1; i <= 5; ++i)
        setTabSelectable(i, true);
    m_signedInName = name;

    // 4. Find or add the pupil.
    if (m_state.RosterLoaded) {
        if (!search.found) {
            const int row = search.row;
            m_state.RosterTable[row][0] = name;
            for (int c = 1; c < kRosterCells; ++c)
                m_state.RosterTable[row][c] = QStringLiteral("0");
            if (row >= m_rosterFile.rows)
                m_rosterFile.rows = row + 1;
            if (!writeRoster()) {
                // Not recorded: the pupil is not signed in, the teacher has been told.
                refillNameList(rosterNames(m_state, m_rosterFile));
                lockActivityTabs();
                return;
            }
            // The merge with the file may have put the pupil in another row, or found no
            // row left once other copies' pupils were counted.
            search = findPupil(m_state, m_rosterFile, name);
            if (!search.found) {
                refuseName(rosterFullMessage());
                return;
            }
        }
        m_state.CurrentPupilRow = static_cast<qint16>(search.row);
    } else {
        // No roster could be read or made: the pupil has no row, so nothing is ever written
        // into another pupil's row.
        m_state.CurrentPupilRow = 0;
    }

    // 5. The pupil's best runs.
    for (Activity activity : kAllActivities) {
        ActivityFields f = activityFields(m_state, activity);
        f.CurrentStreak = 0;
        f.BestStreak =
            m_state.RosterLoaded && m_state.CurrentPupilRow > 0
                ? numericValueInt16(m_state.RosterTable[m_state.CurrentPupilRow][f.rosterColumn])
                : qint16(0);
    }
    m_iniMessage->clear();

    // 6. and 7.
    ShowNoviceStreakRecord();
    ShowIntermediateStreakRecord();
    ShowExpertStreakRecord();
    ShowChallengeStreakRecord();
    m_practice->QuorinPracticeRetryCommand_Click();
    for (LevelPage *level : m_levels)
        level->retry();
    m_challenge->QuorinChallengeQuizRetryCommand_Click();
}

void frmMain::refuseName(const QString &message) {
    lockActivityTabs();
    m_iniMessage->setText(message);
}

void frmMain::refillNameList(const QStringList &names) {
    // Refilling the list must not change the edit text nor count as the user's edit.
    const QString text = m_nameCombo->currentText();
    const QSignalBlocker blocker(m_nameCombo);
    m_nameCombo->clear();
    m_nameCombo->addItems(names);
    m_nameCombo->setCurrentIndex(-1);
    m_nameCombo->setEditText(text);
}

// ---- Roster and records ----------------------------------------------------------------

void frmMain::LoadRoster() {
    m_state.RosterLoaded = False;
    const DataFileRead read = readDataFileChecked(m_state.rosterPath());
    std::optional<QByteArray> bytes;
    if (read.state == DataFileRead::Read) {
        bytes = read.bytes;
        m_state.RosterLoaded = True;
    }
    // Changes still waiting for another copy to let go of the folder stay in memory, and the
    // signed-in pupil keeps the right row when other copies added pupils meanwhile.
    m_sync.rosterLoaded(m_state, m_rosterFile, m_state.rosterPath(), bytes);
    refillNameList(rosterNames(m_state, m_rosterFile));
    rememberSavedRoster();

    // A roster that is there but cannot be read is never taken for an empty one: the page
    // says that the pupils may practise but nothing of theirs is kept.
    m_rosterProblem.clear();
    if (read.state == DataFileRead::Unreadable)
        m_rosterProblem = QStringLiteral("めいぼが　よめないので、きろくが　のこりません。"
                                         "れんしゅうは　できます。\n（先生へ：") +
                          rosterFileLabel() + QStringLiteral("を読めません。") + read.reason +
                          QStringLiteral("）");
    showRecordStatus();
    QStringList untold;
    for (const QString &name : m_rosterFile.unwritable)
        if (!m_toldUnwritable.contains(name))
            untold << name;
    if (!untold.isEmpty()) {
        m_toldUnwritable += untold;
        showMessage(QMessageBox::Warning, applicationTitle(),
                    rosterFileLabel() +
                        QStringLiteral("の次の名前には、このプログラムが書けない字があります。"
                                       "名前の一覧には出さず、その行はそのまま残しています：\n") +
                        untold.join(QStringLiteral("、")));
    }
}

void frmMain::showRecordStatus() {
    QStringList lines;
    for (const QString *line : {&m_rosterProblem, &m_streakReadProblem, &m_streakWriteProblem})
        if (!line->isEmpty())
            lines << *line;
    m_recordStatus->setText(lines.join(u'\n'));
}

void frmMain::SaveRoster() {
    writeRoster();
}

bool frmMain::writeRoster() {
    const QString path = m_state.rosterPath();
    QString reason = QStringLiteral("名簿ファイルが読みこまれていません。");
    if (m_state.RosterLoaded) {
        // Merged with the file as other copies left it; memory then shows the merged roster.
        const SyncOutcome outcome = m_sync.saveRoster(m_state, m_rosterFile, path);
        reportSyncOutcome(outcome, rosterFileLabel());
        if (outcome.status != SyncStatus::Failed) {
            // Saved, or kept until another copy lets go of the folder.
            refillNameList(rosterNames(m_state, m_rosterFile));
            rememberSavedRoster();
            m_rosterFailureShown = false;
            m_rosterProblem.clear();
            showRecordStatus();
            return true;
        }
        reason = outcome.reason;
    }
    restoreSavedRoster();
    reportSaveFailure(rosterFileLabel(), path, reason, false);
    return false;
}

void frmMain::reportSyncOutcome(const SyncOutcome &outcome, const QString &label) {
    if (!outcome.lostReason.isEmpty())
        showMessage(QMessageBox::Warning, applicationTitle(), lostChangeText(outcome.lostReason));
    QStringList refused = outcome.refused;
    refused.removeAll(currentNameText()); // the sign-in page tells that pupil itself
    if (!refused.isEmpty())
        showMessage(QMessageBox::Warning, applicationTitle(), refusedPupilsText(refused));
    if (outcome.status == SyncStatus::Busy && !m_keptChangeShown) {
        // Told once; further changes join the kept ones quietly until they are written.
        m_keptChangeShown = true;
        showMessage(QMessageBox::Information, applicationTitle(),
                    keptChangeText(label, outcome.reason));
    }
    if (!outcome.waiting)
        m_keptChangeShown = false;
}

void frmMain::saveKeptChanges() {
    if (!m_sync.hasPending())
        return;
    const SyncOutcome outcome = m_sync.flushPending();
    if (!outcome.lostReason.isEmpty())
        showMessage(QMessageBox::Warning, applicationTitle(), lostChangeText(outcome.lostReason));
    if (outcome.waiting)
        showMessage(QMessageBox::Warning, applicationTitle(),
                    unsavedAtCloseText(m_state.DataFolder, outcome.reason));
}

void frmMain::rememberSavedRoster() {
    m_savedRosterFile = m_rosterFile;
    m_savedRows.resize(kRosterRows);
    for (int r = 0; r < kRosterRows; ++r)
        for (int c = 0; c < kRosterCells; ++c)
            m_savedRows[r][c] = m_state.RosterTable[r][c];
}

void frmMain::restoreSavedRoster() {
    m_rosterFile = m_savedRosterFile;
    for (int r = 0; r < m_savedRows.size(); ++r)
        for (int c = 0; c < kRosterCells; ++c)
            m_state.RosterTable[r][c] = m_savedRows[r][c];
}

bool frmMain::createMissingDataFile(const QString &path, const QString &label,
                                    const QByteArray &bytes) {
    // Under the folder's lock, so a file another copy has just made and written is never
    // replaced by an empty one.
    const SyncOutcome outcome = m_sync.createIfMissing(path, bytes);
    const bool made =
        outcome.status == SyncStatus::Saved || outcome.status == SyncStatus::Unchanged;
    if (!made)
        reportSaveFailure(label, path, outcome.reason, true);
    else if (label == streakFileLabel())
        m_streakWriteProblem.clear();
    return made;
}

void frmMain::reportSaveFailure(const QString &label, const QString &path, const QString &reason,
                                bool creating) {
    const QString text = saveFailureText(label, path, reason, creating);
    // The record file's failures only ever reach the record line. The roster's bring a box
    // the first time in a run; after that, until a save succeeds, the line alone tells, so a
    // lesson is not stopped at every sign-in and every graded set.
    QString line = text;
    line.replace(QStringLiteral("\n\n"), QStringLiteral("\n"));
    if (label == streakFileLabel()) {
        m_streakWriteProblem = line;
    } else {
        m_rosterProblem = line;
        if (!m_rosterFailureShown)
            showMessage(QMessageBox::Warning, applicationTitle(), text);
        m_rosterFailureShown = true;
    }
    showRecordStatus();
}

void frmMain::OpenDataFolder() {
    if (!FileExists(m_state.rosterPath()))
        createMissingDataFile(m_state.rosterPath(), rosterFileLabel(), newRosterFileBytes());
    LoadRoster();
    if (!FileExists(m_state.streakPath()))
        createMissingDataFile(m_state.streakPath(), streakFileLabel(), newStreakFileBytes());
    ShowNoviceStreakRecord();
    ShowIntermediateStreakRecord();
    ShowExpertStreakRecord();
    ShowChallengeStreakRecord();
    // RosterLoaded stays as LoadRoster left it: true only when the roster file was read, so
    // no pupil is added to a roster whose header was never read.
}

void frmMain::ShowNoviceStreakRecord() {
    ShowStreakRecord(Activity::Novice);
}
void frmMain::ShowIntermediateStreakRecord() {
    ShowStreakRecord(Activity::Intermediate);
}
void frmMain::ShowExpertStreakRecord() {
    ShowStreakRecord(Activity::Expert);
}
void frmMain::ShowChallengeStreakRecord() {
    ShowStreakRecord(Activity::Challenge);
}

void frmMain::ShowStreakRecord(Activity activity) {
    const QString path = m_state.streakPath();
    const QString name = currentNameText();
    DataFileRead read = readDataFileChecked(path);
    // A record about to be written into a folder without a record file: the file is made.
    if (read.state == DataFileRead::Missing && activityFields(m_state, activity).BestStreak > 0 &&
        createMissingDataFile(path, streakFileLabel(), newStreakFileBytes()))
        read = readDataFileChecked(path);
    m_streakReadProblem.clear();
    if (read.state == DataFileRead::Unreadable)
        m_streakReadProblem = streakFileLabel() + QStringLiteral("を読めません。") + read.reason +
                              QStringLiteral("クラスの記録は残りません。");
    const std::optional<QByteArray> bytes =
        read.state == DataFileRead::Read ? std::optional(read.bytes) : std::nullopt;
    if (readStreakRecord(m_state, activity, bytes, name)) {
        // The rewrite runs again under the folder's lock on the file as it is then, so a
        // longer run another copy wrote meanwhile is kept.
        const SyncOutcome outcome = m_sync.saveStreakRecord(m_state, activity, path, name);
        reportSyncOutcome(outcome, streakFileLabel());
        if (outcome.status == SyncStatus::Saved) {
            takeOverStreakRecord(m_state, activity, name);
            m_streakWriteProblem.clear();
        } else if (outcome.status == SyncStatus::Failed) {
            reportSaveFailure(streakFileLabel(), path, outcome.reason, false);
        }
    }
    showRecordStatus();
    if (QLabel *label = streakLabel(activity))
        label->setText(streakMessage(m_state, activity));
}

void frmMain::advanceStreakAndSave(Activity activity, int correctCount) {
    ActivityFields f = activityFields(m_state, activity);
    const qint16 bestBefore = f.BestStreak;
    // A best run that could not be saved is not kept either, so the next full mark that
    // beats the saved one tries again.
    if (AdvanceStreak(m_state, activity, correctCount) && !writeRoster())
        f.BestStreak = bestBefore;
}

QLabel *frmMain::streakLabel(Activity activity) const {
    if (activity == Activity::Challenge)
        return m_challenge->streakLabel();
    return m_levels[static_cast<int>(activity)]->streakLabel();
}

LevelPage *frmMain::levelPage(Activity activity) const {
    return activity == Activity::Challenge ? nullptr : m_levels[static_cast<int>(activity)];
}

// ---- Windows and messages ---------------------------------------------------------------

void frmMain::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text) {
    if (m_messageHook) {
        m_messageHook(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.exec();
}

int frmMain::execDialog(QDialog *dialog) {
    // A test's hook drives the dialog to its end (a button clicked) instead of exec().
    if (m_dialogHook) {
        m_dialogHook(dialog);
        return dialog->result();
    }
    return dialog->exec();
}

void frmMain::ShowScoreDialog() {
    // The list reads the roster file into memory. Changes kept while another copy holds the
    // folder are written first; those still waiting are put back into memory afterwards.
    const bool waiting =
        m_sync.hasPending() && m_state.RosterLoaded && writeRoster() && m_sync.hasPending();
    if (!m_scoreDialog) {
        m_scoreDialog = new QuorinScoreDialog(*this);
        m_scoreDialog->Form_Load();
    }
    if (waiting)
        restoreSavedRoster();
    m_scoreDialog->show();
    m_scoreDialog->raise();
    m_scoreDialog->activateWindow();
}

void frmMain::mnuToolsOptions_Click() {
    {
        frmOptions options(*this);
        options.Form_Load();
        if (execDialog(&options) == QDialog::Accepted)
            signOutAfterFolderChange();
    }
    OpenDataFolder();
}

void frmMain::signOutAfterFolderChange() {
    // Nobody is signed in after the folder changed: the activity pages close, tab 0 comes
    // back, and the pupil signs in again before any run can be written.
    const int current = m_tabs->currentIndex();
    if (current != 0) {
        runActivityRetry(current);
        // Tab 0 first, then select it: the current tab is never the one disabled.
        setTabSelectable(0, true);
        m_tabs->setCurrentIndex(0);
    }
    lockActivityTabs();
}

void frmMain::runActivityRetry(int tab) {
    switch (tab) {
    case 1:
        m_practice->QuorinPracticeRetryCommand_Click();
        break;
    case 2:
    case 3:
    case 4:
        m_levels[tab - 2]->retry();
        break;
    case 5:
        m_challenge->QuorinChallengeQuizRetryCommand_Click();
        break;
    default:
        break;
    }
}

void frmMain::mnuHelpAbout_Click() {
    frmAbout about(this);
    execDialog(&about);
}

void frmMain::mnuHelpContents_Click() {
    if (m_helpFile.isEmpty()) {
        showMessage(QMessageBox::Information, mainWindowCaption(),
                    QStringLiteral("ﾍﾙﾌﾟの目次を表示できません。 "
                                   "このﾌﾟﾛｼﾞｪｸﾄに関連付けられたﾍﾙﾌﾟが存在しません。"));
        return;
    }
    QString error;
    if (!m_helpViewer)
        m_helpViewer = new HelpViewer();
    if (!m_helpViewer->showFile(m_helpFile, &error)) {
        showMessage(QMessageBox::NoIcon, applicationTitle(), error);
        return;
    }
    m_helpViewer->show();
    m_helpViewer->raise();
    m_helpViewer->activateWindow();
}

QuorinScoreDialog *frmMain::scoreDialog() const {
    return m_scoreDialog.data();
}
