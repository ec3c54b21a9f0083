#pragma once
// The main window: menu bar, the six-tab strip with the navigation protocol, the sign-in
// page, and the procedures the activities share (roster, records, full-mark list).

#include "core/applicationstate.h"
#include "records/foldersync.h"
#include "records/roster.h"

#include <QMainWindow>
#include <QMessageBox>
#include <QPointer>
#include <functional>
#include <memory>

class QTabWidget;
class QComboBox;
class QLabel;
class QPushButton;
class QAction;
class QMenu;
class RandomSource;
class PracticePage;
class LevelPage;
class ChallengePage;
class QuorinScoreDialog;
class HelpViewer;

class frmMain : public QMainWindow {
    Q_OBJECT
public:
    explicit frmMain(ApplicationState &state, QWidget *parent = nullptr);
    ~frmMain() override;

    ApplicationState &state() { return m_state; }
    RandomSource &random() { return *m_random; }
    // Tests inject a seeded source; the window keeps a clock-seeded one otherwise.
    void setRandomSource(RandomSource *source);

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

    // Procedures shared by the pages.
    void ReturnToSignIn();
    void LoadRoster();
    void SaveRoster();
    // SaveRoster with its outcome: false when the file could not be written. The teacher has
    // then been told, the old file is untouched and RosterTable is as it was at the last
    // load or successful save.
    bool writeRoster();
    void OpenDataFolder();
    void ShowNoviceStreakRecord();
    void ShowIntermediateStreakRecord();
    void ShowExpertStreakRecord();
    void ShowChallengeStreakRecord();
    void ShowStreakRecord(Activity activity);
    // The run step of every grading (see AdvanceStreak in the records layer) followed by
    // the roster save when the best run rose.
    void advanceStreakAndSave(Activity activity, int correctCount);
    // Opens the full-mark list (modeless, no owner), or brings the open one forward.
    void ShowScoreDialog();
    QuorinScoreDialog *scoreDialog() const;

    // Tab selectability; never disables the current tab (Qt would move the current tab).
    void setTabSelectable(int index, bool selectable);
    bool isTabSelectable(int index) const;
    QTabWidget *tabStrip() const { return m_tabs; }
    QComboBox *nameCombo() const { return m_nameCombo; }
    QString currentNameText() const;
    QLabel *streakLabel(Activity activity) const;
    // The sign-in page's message for a name that was refused.
    QLabel *signInMessageLabel() const { return m_iniMessage; }
    // The sign-in page's line about keeping records: a data file that cannot be read or
    // written. Empty while all is well.
    QLabel *recordStatusLabel() const { return m_recordStatus; }
    // What the last load kept of the roster file (rows in use, the unread part).
    const RosterFile &rosterFile() const { return m_rosterFile; }
    // The saves shared with other copies of the program on the same data folder: lock,
    // merge, and the changes kept while another copy keeps the folder.
    FolderSync &folderSync() { return m_sync; }

    PracticePage *practicePage() const { return m_practice; }
    LevelPage *levelPage(Activity activity) const;
    ChallengePage *challengePage() const { return m_challenge; }

public Q_SLOTS:
    void QuorinSSTab_Click();
    void QuorinIniFinCommand_Click();
    void QuorinIniNameCombo_Change();
    void QuorinFinCommand_Click();
    void mnuFileExit_Click();
    void mnuToolsOptions_Click();
    void mnuHelpContents_Click();
    void mnuHelpAbout_Click();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildMenus();
    void applyFixedSize();
    void buildSignInPage(QWidget *page);
    void setUpKeyboard();
    void Form_Unload();
    void refillNameList(const QStringList &names);
    void lockActivityTabs();
    void refuseName(const QString &message);
    void runActivityRetry(int tab);
    void signOutAfterFolderChange();
    bool createMissingDataFile(const QString &path, const QString &label, const QByteArray &bytes);
    void reportSaveFailure(const QString &label, const QString &path, const QString &reason,
                           bool creating);
    void showRecordStatus();
    void rememberSavedRoster();
    void restoreSavedRoster();
    void reportSyncOutcome(const SyncOutcome &outcome, const QString &label);
    void saveKeptChanges();

    ApplicationState &m_state;
    std::unique_ptr<RandomSource> m_ownRandom;
    RandomSource *m_random = nullptr;
    MessageHook m_messageHook;
    DialogHook m_dialogHook;
    QString m_helpFile;

    QTabWidget *m_tabs = nullptr;
    QLabel *m_initImage = nullptr;
    QLabel *m_nameLabel = nullptr;
    QComboBox *m_nameCombo = nullptr;
    QPushButton *m_iniFinCommand = nullptr;
    QPushButton *m_finCommand = nullptr;
    QLabel *m_iniMessage = nullptr;
    QString m_signedInName; // the name that opened tabs 1..5; empty while they are locked
    QLabel *m_recordStatus = nullptr;
    // What the record line says: the roster cannot be read or saved; the record file cannot be
    // read; the record file cannot be written.
    QString m_rosterProblem, m_streakReadProblem, m_streakWriteProblem;
    bool m_rosterFailureShown = false; // a box told of a failing roster save in this run
    QStringList m_toldUnwritable;      // names the teacher was told the roster cannot offer
    RosterFile m_rosterFile;
    FolderSync m_sync;
    bool m_keptChangeShown = false; // the teacher was told that changes wait for the folder
    // The roster as last loaded or saved, put back when a save fails.
    RosterFile m_savedRosterFile;
    QList<RosterRow> m_savedRows;
    PracticePage *m_practice = nullptr;
    LevelPage *m_levels[3] = {nullptr, nullptr, nullptr};
    ChallengePage *m_challenge = nullptr;
    QPointer<QuorinScoreDialog> m_scoreDialog;
    QPointer<HelpViewer> m_helpViewer;
    bool m_unloaded = false;
    QPoint m_loadedPosition;
    double m_loadedLeftTwips = 1000;
    double m_loadedTopTwips = 1000;
};

// The application title, under which the window position is kept.
QString applicationTitle();
// The main window's caption.
QString mainWindowCaption();
