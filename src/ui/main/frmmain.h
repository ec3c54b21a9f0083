#pragma once
// The main window: menu bar, the six-tab strip with the navigation protocol and the sign-in
// page. The class's records live in the classroom model it is given; the pages reach the
// window only through the navigation interface.

#include "classroom/classroom.h"
#include "ui/main/navigation.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <memory>

class QTabWidget;
class QHBoxLayout;
class QComboBox;
class QLabel;
class QPushButton;
class QAction;
class QMenu;
class PracticePage;
class LevelPage;
class ChallengePage;
class QuorinScoreDialog;
class frmClassSheet;
class HelpViewer;
class NumberPad;

class frmMain : public QMainWindow, public Navigation {
    Q_OBJECT
public:
    explicit frmMain(Classroom &classroom, QWidget *parent = nullptr);
    ~frmMain() override;

    Classroom &classroom() { return m_classroom; }
    ApplicationState &state() { return m_state; }

    // Every message box of the program goes through here. A test installs a hook that
    // records the box instead of showing it, so nothing blocks.
    using MessageHook =
        std::function<void(QMessageBox::Icon icon, const QString &title, const QString &text)>;
    void setMessageHook(MessageHook hook) { m_messageHook = std::move(hook); }
    void showMessage(QMessageBox::Icon icon, const QString &title, const QString &text);

    // Modal dialogs (options, about) call this with the dialog before exec(); a test uses it
    // to drive the dialog instead of blocking.
    using DialogHook = std::function<void(QDialog *dialog)>;
    void setDialogHook(DialogHook hook) { m_dialogHook = std::move(hook); }
    int execDialog(QDialog *dialog);

    // The help file shown by the help command; empty means no help is configured.
    void setHelpFile(const QString &path) { m_helpFile = path; }
    QString helpFile() const { return m_helpFile; }

    // Start-up load: position, tabs, roster and the four class records.
    void Form_Load();

    // Navigation, for the pages.
    void ReturnToSignIn() override;
    // Opens the full-mark list (modeless, no owner), or brings the open one forward.
    void ShowScoreDialog() override;
    QuorinScoreDialog *scoreDialog() const;
    // The teacher's class sheet while it is open.
    frmClassSheet *classSheet() const;

    // Tab selectability; never disables the current tab (Qt would move the current tab).
    void setTabSelectable(int index, bool selectable);
    bool isTabSelectable(int index) const;
    QTabWidget *tabStrip() const { return m_tabs; }
    QComboBox *nameCombo() const { return m_nameCombo; }
    QString currentNameText() const;
    // The activity pages are built when first shown; asking for one builds it.
    QLabel *streakLabel(Activity activity);
    // The sign-in page's message for a name that was refused.
    QLabel *signInMessageLabel() const { return m_iniMessage; }
    // The sign-in page's line about keeping records: a data file that cannot be read or
    // written. Empty while all is well.
    QLabel *recordStatusLabel() const { return m_recordStatus; }

    PracticePage *practicePage();
    LevelPage *levelPage(Activity activity);
    ChallengePage *challengePage();

public Q_SLOTS:
    void QuorinSSTab_Click();
    void QuorinIniFinCommand_Click();
    void QuorinIniNameCombo_Change();
    void QuorinFinCommand_Click();
    void mnuFileExit_Click();
    void mnuToolsOptions_Click();
    void mnuToolsClassSheet_Click();
    void openWeakPractice();
    void openKentei();
    void mnuToolsKentei_Click();
    void openFactMap();
    void mnuToolsClassList_Click();
    // The class server window for the pupils' tablets (kept, with its server, once opened).
    void mnuToolsClassServer_Click();
    // Shows or hides the number pad beside the pages and remembers the choice.
    void mnuViewNumberPad_Click(bool shown);
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

    // Sizes the window to the design, scaled down as far as needed to fit `available` (the
    // screen's free area less the window frame), with the content scaled alike.
    void fitInto(const QSize &available);
    // The scale the content is shown at (1: the design size).
    qreal contentScale() const { return m_scale; }

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void applyFixedSize();
    void showOnThisScreen(QWidget *window);
    // The teacher's windows open after the teacher's PIN, when one is set.
    bool teacherAllowed();
    void scaleContent(qreal factor);
    QSize clientSize(qreal factor) const;
    int padWidth() const;
    void scaleToWindow();
    void buildSignInPage(QWidget *page);
    // Builds the page of activity tab 1..5 into its tab once; returns it.
    QWidget *buildActivityPage(int tab);
    QLabel *builtStreakLabel(Activity activity) const;
    bool padShown() const;
    void showNumberPad(bool shown);
    void setUpKeyboard();
    void connectClassroom();
    void Form_Unload();
    void refillNameList(const QStringList &names);
    void lockActivityTabs();
    void refuseName(const QString &message);
    void runActivityRetry(int tab);
    void signOutAfterFolderChange();

    Classroom &m_classroom;
    ApplicationState &m_state;
    MessageHook m_messageHook;
    DialogHook m_dialogHook;
    QString m_helpFile;

    QTabWidget *m_tabs = nullptr;
    QWidget *m_initImage = nullptr;
    QLabel *m_nameLabel = nullptr;
    QComboBox *m_nameCombo = nullptr;
    QPushButton *m_iniFinCommand = nullptr;
    QPushButton *m_nextPupilCommand = nullptr; // つぎの ひと: the name box emptied, tabs locked
    QLabel *m_pupilShown = nullptr;            // the signed-in pupil, beside the tabs
    QPushButton *m_finCommand = nullptr;
    QPushButton *m_weakCommand = nullptr;  // にがて れんしゅう, once a pupil signed in
    QPushButton *m_checkCommand = nullptr; // 九九けんてい, once a pupil signed in
    QPushButton *m_mapCommand = nullptr;   // わたしの 九九, once a pupil signed in
    QLabel *m_iniMessage = nullptr;
    QString m_signedInName; // the name that opened tabs 1..5; empty while they are locked
    QLabel *m_recordStatus = nullptr;
    QWidget *m_pages[6] = {}; // the built activity pages by tab; none for the sign-in tab
    QString m_streakTexts[4]; // the latest message of each level and the challenge
    QHBoxLayout *m_row = nullptr;
    PracticePage *m_practice = nullptr;
    LevelPage *m_levels[3] = {nullptr, nullptr, nullptr};
    ChallengePage *m_challenge = nullptr;
    NumberPad *m_pad = nullptr;
    QAction *m_padAction = nullptr;
    QPointer<QuorinScoreDialog> m_scoreDialog;
    QPointer<frmClassSheet> m_classSheet;
    QDialog *m_classServer = nullptr;
    QPointer<HelpViewer> m_helpViewer;
    bool m_unloaded = false;
    qreal m_scale = 1.0;
    QPoint m_loadedPosition;
    double m_loadedLeftTwips = 1000;
    double m_loadedTopTwips = 1000;
};

// The main window's caption.
QString mainWindowCaption();
