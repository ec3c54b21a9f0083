#include "ui/main/frmmain.h"

#include "core/fileexists.h"
#include "core/numericvalue.h"
#include "ui/dialogs/frmabout.h"
#include "ui/dialogs/frmclasslist.h"
#include "ui/dialogs/frmclasssheet.h"
#include "ui/dialogs/frmfacts.h"
#include "ui/dialogs/frmkentei.h"
#include "ui/dialogs/frmoptions.h"
#include "ui/dialogs/helpviewer.h"
#include "ui/dialogs/quorinscoredialog.h"
#include "ui/main/accessibility.h"
#include "ui/main/challengepage.h"
#include "ui/main/classroomstyle.h"
#include "ui/main/geometry.h"
#include "ui/main/levelpage.h"
#include "ui/main/numberpad.h"
#include "ui/main/practicepage.h"
#include "ui/main/servermodule.h"
#include "ui/main/welcomeimage.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSettings>
#include <QShortcut>
#include <QTabBar>
#include <QTabWidget>
#include <QTimer>

// Resources live in the static widgets library, so they are registered explicitly.
static void initialiseResources() {
    Q_INIT_RESOURCE(quorin);
}

QString mainWindowCaption() {
    return QStringLiteral("ミルト　ーネ   Ver1.0.0");
}

namespace {

// The name beside the tabs asks for no more room than it is given: the tab widget leaves the
// tabs what the corner's size hint does not ask for, and a long name must not cut a tab.
class CornerLabel : public QLabel {
public:
    using QLabel::QLabel;
    QSize sizeHint() const override { return {minimumWidth(), QLabel::sizeHint().height()}; }
};

constexpr int kOuterWidthTwips = 12465;
constexpr int kOuterHeightTwips = 9255;
constexpr int kClientWidthTwips = 12375;
constexpr int kClientHeightTwips = 8640;
// The room right of the six tabs for the signed-in pupil's name.
constexpr int kPupilShownTwips = 4200;
constexpr double kDefaultPositionTwips = 1000.0;
const QString kNumberPadKey = QStringLiteral("Settings/NumberPad");

QSettings windowSettings() {
    return programSettings();
}

double storedTwips(const QSettings &settings, const QString &key) {
    bool ok = false;
    const double value = settings.value(key).toString().trimmed().toDouble(&ok);
    return ok ? value : kDefaultPositionTwips;
}

} // namespace

frmMain::frmMain(Classroom &classroom, QWidget *parent)
    : QMainWindow(parent), m_classroom(classroom), m_state(classroom.state()),
      m_helpFile(QStringLiteral(":/help/index.html")) {
    initialiseResources();
    installTabStripAccessibility();
    useClassroomStyle();
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(mainWindowCaption());
    setFont(designFont(12));
    // The program's icon, unless the application has it already (it is read only once).
    if (QGuiApplication::windowIcon().isNull())
        setWindowIcon(applicationIcon());

    // The tab strip fills the client area; the number pad, when shown, stands to its right.
    auto *client = new QWidget(this);
    auto *row = new QHBoxLayout(client);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    m_tabs = new QTabWidget(client);
    nameControl(m_tabs, QStringLiteral("QuorinSSTab"));
    m_tabs->setUsesScrollButtons(false);
    row->addWidget(m_tabs, 1);
    // Whose turn it is, on every page: beside the tabs, outside every page's own controls.
    m_pupilShown = new CornerLabel(m_tabs);
    nameControl(m_pupilShown, QStringLiteral("QuorinPupilShownLabel"));
    m_pupilShown->setTextFormat(Qt::PlainText);
    m_pupilShown->setFont(designFont(11, true));
    m_pupilShown->setContentsMargins(8, 0, 8, 0);
    m_pupilShown->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    // The room right of the six tabs, whatever name is shown (the tab widget sizes its corner
    // once, not at each new name).
    m_pupilShown->setMinimumWidth(twipsToPixels(kPupilShownTwips));
    m_tabs->setCornerWidget(m_pupilShown, Qt::TopRightCorner);
    // The number pad joins this row when it is first shown.
    m_row = row;
    setCentralWidget(client);
    buildMenus();

    auto *signIn = new QWidget;
    buildSignInPage(signIn);
    m_tabs->addTab(signIn, QStringLiteral("はじめに"));

    // The activity pages are built when first shown (buildActivityPage): until a pupil signs
    // in only the sign-in page is seen, and start-up builds nothing else.
    for (const QString &caption :
         {QStringLiteral("れんしゅう"), QStringLiteral("レベル1"), QStringLiteral("レベル2"),
          QStringLiteral("レベル3"), QStringLiteral("チャレンジ")})
        m_tabs->addTab(new QWidget, caption);

    connect(m_tabs, &QTabWidget::currentChanged, this, &frmMain::QuorinSSTab_Click);
    connectClassroom();
    setUpKeyboard();
    applyFixedSize();
}

void frmMain::connectClassroom() {
    connect(&m_classroom, &Classroom::namesChanged, this, &frmMain::refillNameList);
    connect(&m_classroom, &Classroom::recordStatusChanged, m_recordStatus, &QLabel::setText);
    connect(&m_classroom, &Classroom::streakMessageChanged, this,
            [this](Activity activity, const QString &text) {
                // A page not built yet shows the latest message when it is.
                m_streakTexts[int(activity)] = text;
                if (QLabel *label = builtStreakLabel(activity)) {
                    label->setText(text);
                    announce(label, text);
                }
            });
    connect(&m_classroom, &Classroom::message, this,
            [this](Notice notice, const QString &title, const QString &text) {
                const QMessageBox::Icon icon = notice == Notice::Warning ? QMessageBox::Warning
                                               : notice == Notice::Information
                                                   ? QMessageBox::Information
                                                   : QMessageBox::NoIcon;
                showMessage(icon, title, text);
            });
    // The record procedures write the holder's name as the name box shows it.
    connect(m_nameCombo, &QComboBox::editTextChanged, &m_classroom, &Classroom::setNameText);
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
    // signed in; Alt+0 on an activity page is its finish button (set up with the page). In an
    // answer box the Alt key pressed first is still an action key for the box, as every other
    // key is.
    for (int tab = 1; tab <= 5; ++tab) {
        auto *enter =
            new QShortcut(QKeySequence(Qt::ALT | Qt::Key(Qt::Key_0 + tab)), m_tabs->widget(0));
        connect(enter, &QShortcut::activated, this, [this, tab] {
            if (m_tabs->currentIndex() == 0 && isTabSelectable(tab))
                m_tabs->setCurrentIndex(tab);
        });
    }
}

QWidget *frmMain::buildActivityPage(int tab) {
    static const char *const finButtons[] = {
        "QuorinPracticeFinCommand", "QuorinNoviceQuizFinCommand",
        "QuorinIntermediateQuizFinCommand", "QuorinExpertQuizFinCommand",
        "QuorinChallengeQuizFinCommand"};
    if (tab < 1 || tab > 5)
        return nullptr;
    if (m_pages[tab])
        return m_pages[tab];
    QWidget *holder = m_tabs->widget(tab);
    QWidget *page = nullptr;
    if (tab == 1) {
        page = m_practice = new PracticePage(m_classroom, *this, holder);
    } else if (tab <= 4) {
        const LevelParams params = tab == 2   ? LevelParams::novice()
                                   : tab == 3 ? LevelParams::intermediate()
                                              : LevelParams::expert();
        page = m_levels[tab - 2] = new LevelPage(m_classroom, *this, params, holder);
    } else {
        page = m_challenge = new ChallengePage(m_classroom, *this, holder);
    }
    m_pages[tab] = page;
    // The page fills its holder, the tab page.
    placeInTwips(page, 0, 0, kClientWidthTwips, kClientHeightTwips);
    // Enter on a focused button presses it, as Space does.
    for (QPushButton *button : page->findChildren<QPushButton *>())
        button->setAutoDefault(true);
    auto *leave = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_0), holder);
    connect(leave, &QShortcut::activated,
            page->findChild<QPushButton *>(QLatin1String(finButtons[tab - 1])),
            &QPushButton::click);
    if (tab >= 2) {
        const Activity activity = tab == 5 ? Activity::Challenge : Activity(tab - 2);
        QLabel *label = builtStreakLabel(activity);
        label->setText(m_streakTexts[int(activity)]);
        label->setAccessibleName(m_streakTexts[int(activity)]);
    }
    // In a window scaled already, the page is scaled as it would have been with the window.
    if (holder->property("designFont").isValid())
        scaleDesign(holder, m_scale);
    // Children made after their parent was shown stay hidden until shown themselves.
    if (holder->isVisible())
        page->show();
    return page;
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
    if (m_classSheet)
        delete m_classSheet.data();
    if (m_helpViewer)
        delete m_helpViewer.data();
}

int frmMain::padWidth() const {
    return padShown() ? m_pad->width() : 0;
}

QSize frmMain::clientSize(qreal factor) const {
    // The pad keeps its size whatever the scale: its keys stay big enough for a finger.
    return QSize(qRound(twipsToPixels(kClientWidthTwips) * factor) + padWidth(),
                 qRound(twipsToPixels(kClientHeightTwips) * factor) +
                     menuBar()->sizeHint().height());
}

void frmMain::applyFixedSize() {
    // The client area (below the menu bar) has the design's size, unless the screen is too
    // small for it.
    fitInto(screen()->availableGeometry().size() - windowFrameExtra(this));
}

void frmMain::fitInto(const QSize &available) {
    // The menu bar keeps its size; the client area below it is what scales.
    const QSize fixed(padWidth(), menuBar()->sizeHint().height());
    const qreal factor = fitFactor(clientSize(1.0) - fixed, available - fixed);
    // The teacher may make the window smaller or larger; the content scales with it.
    setMinimumSize(clientSize(0.4));
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    resize(clientSize(factor));
    scaleContent(factor);
}

void frmMain::scaleContent(qreal factor) {
    if (qFuzzyCompare(factor, m_scale))
        return;
    m_scale = factor;
    scaleDesign(m_tabs, factor);
    // The tabs' padding does not shrink with their text: the name beside them gives up room
    // first, so that every tab stays whole.
    const int room =
        qRound(twipsToPixels(kClientWidthTwips) * factor) - m_tabs->tabBar()->sizeHint().width();
    m_pupilShown->setMinimumWidth(
        qBound(0, room, qRound(twipsToPixels(kPupilShownTwips) * factor)));
}

void frmMain::showOnThisScreen(QWidget *window) {
    // The teacher's windows open on the screen the program is on and fit it, whatever its
    // size and scale.
    fitOnScreen(window, screen());
    window->show();
    window->raise();
    window->activateWindow();
}

void frmMain::resizeEvent(QResizeEvent *event) {
    QMainWindow::resizeEvent(event);
    scaleToWindow();
}

void frmMain::scaleToWindow() {
    const int clientHeight = height() - menuBar()->height();
    scaleContent(qMin(qreal(width() - padWidth()) / twipsToPixels(kClientWidthTwips),
                      qreal(clientHeight) / twipsToPixels(kClientHeightTwips)));
}

bool frmMain::padShown() const {
    return m_pad && !m_pad->isHidden();
}

void frmMain::showNumberPad(bool shown) {
    // Built the first time it is shown; most classes never show it.
    if (!m_pad && !shown)
        return;
    if (!m_pad) {
        m_pad = new NumberPad(centralWidget());
        for (QPushButton *key : m_pad->findChildren<QPushButton *>())
            key->setAutoDefault(true);
        m_row->addWidget(m_pad);
    }
    m_pad->setVisible(shown);
}

void frmMain::mnuViewNumberPad_Click(bool shown) {
    QSettings settings = windowSettings();
    settings.setValue(kNumberPadKey, QString::number(shown ? 1 : 0));
    showNumberPad(shown);
    // The window grows or shrinks by the pad's width, so the pages keep their size and the
    // pad covers none of them; on a narrow screen the pages are scaled down to make room.
    if (isMaximized() || isFullScreen()) {
        scaleToWindow();
        return;
    }
    applyFixedSize();
    fitOnScreen(this, screen());
}

void frmMain::buildMenus() {
    QMenu *file = menuBar()->addMenu(QStringLiteral("ﾌｧｲﾙ(&F)"));
    nameControl(file, QStringLiteral("mnuFile"));
    QAction *exit = file->addAction(QStringLiteral("終了(&X)"));
    nameControl(exit, QStringLiteral("mnuFileExit"));
    connect(exit, &QAction::triggered, this, &frmMain::mnuFileExit_Click);

    QMenu *view = menuBar()->addMenu(QStringLiteral("表示(&V)"));
    nameControl(view, QStringLiteral("mnuView"));
    m_padAction = view->addAction(QStringLiteral("すうじボタン(&N)"));
    nameControl(m_padAction, QStringLiteral("mnuViewNumberPad"));
    m_padAction->setCheckable(true);
    connect(m_padAction, &QAction::triggered, this, &frmMain::mnuViewNumberPad_Click);

    QMenu *tools = menuBar()->addMenu(QStringLiteral("ﾂｰﾙ(&T)"));
    nameControl(tools, QStringLiteral("mnuTools"));
    QAction *options = tools->addAction(QStringLiteral("ｵﾌﾟｼｮﾝ(&O)..."));
    nameControl(options, QStringLiteral("mnuToolsOptions"));
    connect(options, &QAction::triggered, this, &frmMain::mnuToolsOptions_Click);
    QAction *classSheet = tools->addAction(QStringLiteral("クラスのようす(&C)..."));
    nameControl(classSheet, QStringLiteral("mnuToolsClassSheet"));
    connect(classSheet, &QAction::triggered, this, &frmMain::mnuToolsClassSheet_Click);
    QAction *kentei = tools->addAction(QStringLiteral("九九けんていの設定(&K)..."));
    nameControl(kentei, QStringLiteral("mnuToolsKentei"));
    connect(kentei, &QAction::triggered, this, &frmMain::mnuToolsKentei_Click);
    QAction *classList = tools->addAction(QStringLiteral("クラスの名簿(&L)..."));
    nameControl(classList, QStringLiteral("mnuToolsClassList"));
    connect(classList, &QAction::triggered, this, &frmMain::mnuToolsClassList_Click);
#ifdef QUORIN_SERVER_MODULE
    QAction *classServer = tools->addAction(QStringLiteral("タブレットの教室(&S)..."));
    nameControl(classServer, QStringLiteral("mnuToolsClassServer"));
    connect(classServer, &QAction::triggered, this, &frmMain::mnuToolsClassServer_Click);
#endif

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
    m_initImage = new WelcomePicture(page);
    nameControl(m_initImage, QStringLiteral("QuorinInitImage"));
    placeOnTabPage(m_initImage, 360, 840, 3240, 6960);
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

    // The next child signs in as themselves: the name box emptied and the activities shut.
    m_nextPupilCommand = new QPushButton(QStringLiteral("つぎの ひと (Alt+N)"), page);
    nameControl(m_nextPupilCommand, QStringLiteral("QuorinNextPupilCommand"));
    placeOnTabPage(m_nextPupilCommand, 6360, 6000, 2415, 495);

    // The signed-in pupil's own practice of weak facts and map of the facts.
    m_weakCommand = new QPushButton(QStringLiteral("にがて れんしゅう (Alt+6)"), page);
    nameControl(m_weakCommand, QStringLiteral("QuorinWeakFactsCommand"));
    placeOnTabPage(m_weakCommand, 3150, 7920, 3300, 495);
    m_mapCommand = new QPushButton(QStringLiteral("わたしの 九九 (Alt+7)"), page);
    nameControl(m_mapCommand, QStringLiteral("QuorinFactMapCommand"));
    placeOnTabPage(m_mapCommand, 6570, 7920, 2790, 495);
    // 九九けんてい: the check of a row and the pupil's card.
    m_checkCommand = new QPushButton(QStringLiteral("九九けんてい (Alt+8)"), page);
    nameControl(m_checkCommand, QStringLiteral("QuorinKenteiCommand"));
    placeOnTabPage(m_checkCommand, 360, 7920, 2670, 495);
    for (auto [button, key] :
         {std::pair{m_weakCommand, Qt::Key_6}, std::pair{m_mapCommand, Qt::Key_7},
          std::pair{m_checkCommand, Qt::Key_8}}) {
        button->setEnabled(false);
        auto *shortcut = new QShortcut(QKeySequence(Qt::ALT | key), page);
        connect(shortcut, &QShortcut::activated, button, &QPushButton::click);
    }
    connect(m_weakCommand, &QPushButton::clicked, this, &frmMain::openWeakPractice);
    connect(m_mapCommand, &QPushButton::clicked, this, &frmMain::openFactMap);
    connect(m_checkCommand, &QPushButton::clicked, this, &frmMain::openKentei);

    m_finCommand = new QPushButton(QStringLiteral("ミルトーネの終了"), page);
    nameControl(m_finCommand, QStringLiteral("QuorinFinCommand"));
    placeOnTabPage(m_finCommand, 9480, 7920, 2295, 495);

    // Says why a name was not taken; empty until then.
    m_iniMessage = new QLabel(page);
    nameControl(m_iniMessage, QStringLiteral("QuorinIniMessageLabel"));
    placeOnTabPage(m_iniMessage, 3840, 5040, 7815, 900);
    m_iniMessage->setFont(designFont(14));
    m_iniMessage->setTextFormat(Qt::PlainText);
    m_iniMessage->setWordWrap(true);
    m_iniMessage->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setTextColour(m_iniMessage, Colours::Red);

    m_recordStatus = new QLabel(page);
    nameControl(m_recordStatus, QStringLiteral("QuorinIniRecordLabel"));
    placeOnTabPage(m_recordStatus, 3840, 6600, 5280, 1200);
    m_recordStatus->setFont(designFont(11));
    // File names and pupils' names are shown as they are, never read as markup.
    m_recordStatus->setTextFormat(Qt::PlainText);
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
    // Its key, Alt+N, anywhere on the sign-in page (the name box included).
    auto *next = new QShortcut(QKeySequence(Qt::ALT | Qt::Key_N), page);
    connect(next, &QShortcut::activated, m_nextPupilCommand, &QPushButton::click);
    connect(m_nextPupilCommand, &QPushButton::clicked, this, [this] {
        m_nameCombo->setEditText(QString());
        QuorinIniFinCommand_Click();
        m_iniMessage->clear();
        m_nameCombo->setFocus(Qt::OtherFocusReason);
    });
}

// ---- Load and unload ------------------------------------------------------------------

void frmMain::Form_Load() {
    const QSettings settings = windowSettings();
    const double left = storedTwips(settings, QStringLiteral("Settings/MainLeft"));
    const double top = storedTwips(settings, QStringLiteral("Settings/MainTop"));
    m_loadedPosition = QPoint(qRound(left / kTwipsPerPixel), qRound(top / kTwipsPerPixel));
    m_loadedLeftTwips = left;
    m_loadedTopTwips = top;
    showNumberPad(settings.value(kNumberPadKey).toString().trimmed() == QLatin1String("1"));
    m_padAction->setChecked(padShown());
    move(m_loadedPosition);
    applyFixedSize();
    fitOnScreen(this, screen());

    m_tabs->setCurrentIndex(0);
    for (int i = 1; i <= 5; ++i)
        setTabSelectable(i, false);
    m_nameCombo->setFocus(Qt::OtherFocusReason);

    m_classroom.load();
    // The logs are read once while the first pupil types a name, so that a pupil's map and
    // weak facts after sign-in read only what was appended since.
    QTimer::singleShot(300, this, [this] { m_classroom.readFactsAhead(); });
}

void frmMain::closeEvent(QCloseEvent *event) {
    Form_Unload();
    event->accept();
}

void frmMain::Form_Unload() {
    if (m_unloaded)
        return;
    m_unloaded = true;
    // A set left open is logged as far as it was answered (a page never built holds none).
    for (LevelPage *level : m_levels)
        if (level)
            level->leaveSet();
    if (m_challenge)
        m_challenge->leaveSet();
    m_classroom.saveKeptChanges();
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
    const bool changed = m_tabs->isTabEnabled(index) != selectable;
    m_tabs->setTabEnabled(index, selectable);
    if (changed)
        tabSelectabilityChanged(m_tabs->tabBar(), index);
}

bool frmMain::isTabSelectable(int index) const {
    return m_tabs->isTabEnabled(index);
}

void frmMain::lockActivityTabs() {
    m_signedInName.clear();
    m_pupilShown->clear();
    m_weakCommand->setEnabled(false);
    m_mapCommand->setEnabled(false);
    m_checkCommand->setEnabled(false);
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
    buildActivityPage(selected);
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
    const SignInOutcome outcome = m_classroom.signIn(currentNameText());
    // The name as stored: composed when only that form fits the files.
    if (m_classroom.nameText() != currentNameText())
        m_nameCombo->setEditText(m_classroom.nameText());
    switch (outcome.kind) {
    case SignInOutcome::Empty:
    case SignInOutcome::Failed:
        lockActivityTabs();
        return;
    case SignInOutcome::Refused:
        refuseName(outcome.message);
        return;
    case SignInOutcome::SignedIn:
        break;
    }
    for (int i = 1; i <= 5; ++i)
        setTabSelectable(i, true);
    m_signedInName = outcome.name;
    m_pupilShown->setText(outcome.name + QStringLiteral(" さん"));
    m_weakCommand->setEnabled(true);
    m_mapCommand->setEnabled(true);
    m_checkCommand->setEnabled(true);
    m_iniMessage->clear();
    // Every activity page built so far starts fresh for this pupil (one built later starts
    // fresh when its tab is entered).
    for (int tab = 1; tab <= 5; ++tab)
        if (m_pages[tab])
            runActivityRetry(tab);
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

QLabel *frmMain::streakLabel(Activity activity) {
    buildActivityPage(activity == Activity::Challenge ? 5 : int(activity) + 2);
    return builtStreakLabel(activity);
}

QLabel *frmMain::builtStreakLabel(Activity activity) const {
    if (activity == Activity::Challenge)
        return m_challenge ? m_challenge->streakLabel() : nullptr;
    const LevelPage *level = m_levels[static_cast<int>(activity)];
    return level ? level->streakLabel() : nullptr;
}

PracticePage *frmMain::practicePage() {
    buildActivityPage(1);
    return m_practice;
}

LevelPage *frmMain::levelPage(Activity activity) {
    if (activity == Activity::Challenge)
        return nullptr;
    buildActivityPage(int(activity) + 2);
    return m_levels[static_cast<int>(activity)];
}

ChallengePage *frmMain::challengePage() {
    buildActivityPage(5);
    return m_challenge;
}

// ---- Windows and messages ---------------------------------------------------------------

void frmMain::showMessage(QMessageBox::Icon icon, const QString &title, const QString &text) {
    if (m_messageHook) {
        m_messageHook(icon, title, text);
        return;
    }
    QMessageBox box(icon, title, text, QMessageBox::Ok, this);
    box.setTextFormat(Qt::PlainText);
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
    // The list reads the roster file as every copy left it when it loads.
    if (!m_scoreDialog) {
        m_scoreDialog = new QuorinScoreDialog(m_classroom);
        m_scoreDialog->Form_Load();
    }
    showOnThisScreen(m_scoreDialog);
}

bool frmMain::teacherAllowed() {
    if (!Classroom::teacherPinSet())
        return true;
    QInputDialog ask(this);
    ask.setObjectName(QStringLiteral("TeacherPinDialog"));
    ask.setWindowTitle(QStringLiteral("先生の暗証番号"));
    ask.setLabelText(QStringLiteral("先生の暗証番号を入れてください："));
    ask.setTextEchoMode(QLineEdit::Password);
    if (execDialog(&ask) != QDialog::Accepted)
        return false;
    if (Classroom::teacherPinMatches(ask.textValue()))
        return true;
    showMessage(QMessageBox::Information, mainWindowCaption(),
                QStringLiteral("暗証番号がちがいます。"));
    return false;
}

void frmMain::mnuToolsOptions_Click() {
    if (!teacherAllowed())
        return;
    {
        frmOptions options(m_classroom, this);
        options.Form_Load();
        if (execDialog(&options) == QDialog::Accepted)
            signOutAfterFolderChange();
    }
    m_classroom.OpenDataFolder();
}

frmClassSheet *frmMain::classSheet() const {
    return m_classSheet;
}

void frmMain::mnuToolsClassSheet_Click() {
    // One sheet at a time, read afresh each time it is asked for. Without an owner, like the
    // full-mark list, so the main window's scaling leaves it alone.
    if (!m_classSheet && !teacherAllowed())
        return;
    if (!m_classSheet) {
        m_classSheet = new frmClassSheet(m_classroom);
        m_classSheet->setAttribute(Qt::WA_DeleteOnClose);
    }
    m_classSheet->Form_Load();
    showOnThisScreen(m_classSheet);
}

void frmMain::openWeakPractice() {
    if (m_signedInName.isEmpty())
        return;
    frmWeakPractice practice(m_classroom, padShown(), this);
    fitOnScreen(&practice, screen());
    execDialog(&practice);
}

void frmMain::openKentei() {
    if (m_signedInName.isEmpty())
        return;
    frmKentei check(
        m_classroom, [this] { return teacherAllowed(); }, this);
    fitOnScreen(&check, screen());
    execDialog(&check);
}

void frmMain::openFactMap() {
    if (m_signedInName.isEmpty())
        return;
    frmFactMap map(m_classroom.pupilFacts(), Classroom::factLimitMs(), this);
    fitOnScreen(&map, screen());
    execDialog(&map);
}

void frmMain::mnuToolsKentei_Click() {
    if (!teacherAllowed())
        return;
    frmKenteiSettings settings(m_classroom, this);
    execDialog(&settings);
}

void frmMain::mnuToolsClassList_Click() {
    if (!teacherAllowed())
        return;
    // The teacher changes the list while nobody is signed in: a pupil's row may move or go.
    signOutAfterFolderChange();
    frmClassList list(m_classroom, this);
    fitOnScreen(&list, screen());
    execDialog(&list);
}

void frmMain::mnuToolsClassServer_Click() {
    if (!teacherAllowed())
        return;
    if (!m_classServer) {
        const ClassServerEntries *module = classServerModule();
        if (!module) {
            showMessage(
                QMessageBox::Warning, mainWindowCaption(),
                QStringLiteral("タブレットの教室のファイル（クラスのサーバー）が見つかりません。"
                               "プログラムを入れ直してください。"));
            return;
        }
        m_classServer = module->openWindow(
            m_classroom.state().DataFolder, this,
            [this](const QString &note) {
                setWindowTitle(note.isEmpty() ? mainWindowCaption()
                                              : mainWindowCaption() + QStringLiteral("（") + note +
                                                    QStringLiteral("）"));
            },
            {});
    }
    fitOnScreen(m_classServer, screen());
    m_classServer->show();
    m_classServer->raise();
    m_classServer->activateWindow();
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
    showOnThisScreen(m_helpViewer);
}

QuorinScoreDialog *frmMain::scoreDialog() const {
    return m_scoreDialog.data();
}
