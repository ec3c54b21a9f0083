#pragma once
// The class's record keeper, without widgets: the roster table and file, the record file, the
// saves shared with other copies on the same data folder, the signed-in pupil and the four
// graded activities' runs. The windows ask it to sign a name in, to grade a set, to open a
// data folder and to list the full marks; it tells them what changed through its signals.

#include "classroom/answerlog.h"
#include "classroom/answerqueue.h"
#include "classroom/classsheet.h"
#include "classroom/factstate.h"
#include "classroom/runspool.h"
#include "core/applicationstate.h"
#include "core/shuffle.h"
#include "records/foldersync.h"
#include "records/roster.h"
#include "records/rosterversions.h"

#include <QObject>
#include <QSettings>
#include <QStringList>
#include <QTimer>
#include <array>
#include <memory>
#include <optional>

// What the teacher is told in a message box.
enum class Notice { Information, Warning, Plain };

// The runs of a pupil whose pages are elsewhere (a tablet the class server serves): what the
// classroom keeps for that pupil between requests, activity by activity.
struct PupilRuns {
    qint16 current[4] = {};
    qint16 firstAttempt[4] = {};
};

// The outcome of confirming a name on the sign-in page.
struct SignInOutcome {
    enum Kind {
        Empty,    // nothing typed: nobody signed in
        Refused,  // the name cannot be used or no row is left: `message` says why, to the pupil
        Failed,   // the new pupil could not be saved: the teacher has been told
        SignedIn, // found or added: `name` is the pupil's name as stored
    };
    Kind kind = Empty;
    QString name;
    QString message;
};

class Classroom : public QObject {
    Q_OBJECT
public:
    explicit Classroom(ApplicationState &state, QObject *parent = nullptr);
    ~Classroom() override;

    ApplicationState &state() { return m_state; }
    const ApplicationState &state() const { return m_state; }
    RandomSource &random() { return *m_random; }
    // Tests inject a seeded source; a clock-seeded one is used otherwise.
    void setRandomSource(RandomSource *source);

    // The text of the sign-in name box, kept current by the window: a class record is
    // written under the name the box shows at that moment.
    void setNameText(const QString &text) { m_nameText = text; }
    QString nameText() const { return m_nameText; }

    // Start-up: the roster and the four class records.
    void load();

    // Sign-in: finds or adds the pupil, loads the pupil's best runs and refreshes the four
    // messages. A missing roster is created first (a roster that vanished while this copy
    // holds it is written back whole), with the record file.
    SignInOutcome signIn(const QString &typed);

    // The class server's pupils take turns in one classroom: makes `name` the signed-in
    // pupil again with the runs kept for them (the roster read on from what other copies
    // wrote, the best runs from it). False, and nobody signed in, when the roster no longer
    // holds the name.
    bool resumePupil(const QString &name, const PupilRuns &runs);
    PupilRuns pupilRuns() const;
    // The class server's answers go to a log of their own (the tablet named in each line),
    // kept apart from this computer's desktop log and spool.
    void useServerAnswerLog();
    // The class server's many pupils: a raised best run is written with the others raised in
    // the same turn of the event loop (one locked, merged save for a whole class answering at
    // once) instead of at once. The answers themselves are logged at once as ever.
    void setDeferredRosterSaves(bool deferred);
    // Writes the roster now when raised runs wait for the deferred save.
    void writeDeferredRoster();
    void setAnswerTablet(const QString &tablet) { m_answerTablet = tablet; }
    // The class server's classroom: a name not on the class list is refused at sign-in, as
    // with a closed class list (a new pupil is added at the desktop or in the class list).
    void setNewPupilsRefused(bool refused) { m_newPupilsRefused = refused; }

    // The end of every grading of an activity: the run step (the roster is saved when the
    // best run rose), the end of the set's first attempt, and the record procedure.
    // `answers` are the set's questions as marked; they go to the answer log at the first
    // grading of the set only.
    void grade(Activity activity, int correctCount, const QList<FactAnswer> &answers = {});
    // The run step alone, with the roster save when the best run rose. A best run that could
    // not be saved is not kept either, so the next full mark that beats it tries again.
    void advanceStreakAndSave(Activity activity, int correctCount);

    // The record procedures: read the record file, take the record over when the pupil's
    // best run beats it, and send the activity's message.
    void ShowNoviceStreakRecord();
    void ShowIntermediateStreakRecord();
    void ShowExpertStreakRecord();
    void ShowChallengeStreakRecord();
    void ShowStreakRecord(Activity activity);
    void showAllStreakRecords();

    // The roster file.
    void LoadRoster();
    void SaveRoster();
    // SaveRoster with its outcome: false when the file could not be written. The teacher
    // has then been told, the old file is untouched and the roster in memory is as it was at
    // the last load or successful save.
    bool writeRoster();
    // The same for a pupil's raised run: a failure is told on the record line only (a pupil
    // is at the computer), and the run is kept on this computer instead.
    bool writeRosterQuietly();
    // Makes sure both data files exist, then reads the roster and the class records.
    void OpenDataFolder();

    // The data-folder dialog's OK: a usable folder becomes the data folder and nobody is
    // signed in any more. Returns why the folder cannot be used (nothing changes then).
    QString useDataFolder(const QString &folder);

    // The teacher's PIN, guarding the options, the class list and the class sheet. Kept in
    // this computer's settings as a salted, many-times-hashed value, never as the PIN; an
    // empty PIN removes it.
    // The time within which a right answer shows a fact is known (kFactLimitsMs; 0: no
    // limit), this computer's choice in the options dialog.
    static int factLimitMs();
    static void setFactLimitMs(int ms);
    static bool teacherPinSet();
    static void setTeacherPin(const QString &pin);
    static bool teacherPinMatches(const QString &pin);
    // A closed class list (kept per data folder, off unless the teacher turns it on): a name
    // the roster does not hold signs nobody in.
    bool closedClassList() const;
    void setClosedClassList(bool closed);
    // The class list: the roster's pupils as in memory.
    QList<RosterRow> classList() const;
    // Writes `pupils` as the roster through the same locked, merged and verified save as a
    // sign-in; a class record of a renamed pupil (`renamed`: old name, new name) follows the
    // new name. Nobody is signed in afterwards. Returns why the change was not written, or
    // an empty text (memory is as before when it was not).
    QString setClassList(const QList<RosterRow> &pupils,
                         const QList<QPair<QString, QString>> &renamed = {});
    // The versions of the roster this computer kept for the data folder in use (each time the
    // roster read or written changed), newest first.
    QList<RosterVersion> rosterVersions() const;
    // The class list with the pupils of a kept version back (restoredClassList), written as a
    // teacher's change; returns why not, or an empty text.
    QString restoreRosterVersion(const QString &fileName);
    // A change of another copy or of an editor that would take more than half of the pupils
    // with runs off the roster waits for the teacher (FolderSync::heldDrop); the class list
    // asks. `take`: written as it is; otherwise set aside and the roster written back.
    std::optional<FolderSync::HeldDrop> heldRosterDrop() const { return m_sync.heldDrop(); }
    void decideRosterDrop(bool take);

    // The full-mark list's look at the roster file: changes kept while another copy holds
    // the folder are written first, then memory takes in the roster as every copy left it
    // (changes still kept stay in memory), and the signed-in pupil's row is found again by
    // name. A roster that cannot be read leaves memory as it is.
    void rereadRoster();
    // The pupils whose best run in the activity of tab `tab` (2..5) is not 0, in roster
    // order; nobody for any other tab.
    QStringList fullMarkNames(int tab) const;

    // Writes the changes still kept for a busy folder; told to the teacher when it cannot.
    void saveKeptChanges();
    // Tries the kept changes again (every 15 s while some wait): a folder that was away gets
    // them when it is back.
    void retryKeptChanges();
    void setRetryInterval(int ms) { m_retryTimer.setInterval(ms); }

    // What the last load kept of the roster file (rows in use, the unread part).
    const RosterFile &rosterFile() const { return m_rosterFile; }
    FolderSync &folderSync() { return m_sync; }
    // The record line: what cannot be read or written just now; empty when all is well.
    QString recordStatus() const;

    // The answer log of this computer: the signed-in pupil's answers, appended at once. A
    // failure never stops the lesson: the answers are kept on this computer (also over a
    // restart) and written at the next chance, the pupil's page says so, and the record line
    // says why.
    void recordAnswer(LoggedActivity activity, const FactAnswer &answer);
    void recordAnswers(LoggedActivity activity, const QList<FactAnswer> &answers);
    // The answers given in a set that was left before it was graded, logged as unfinished
    // under the pupil the set was dealt to.
    void recordUnfinishedSet(LoggedActivity activity, const QList<FactAnswer> &answers,
                             const QString &pupil);
    // The signed-in pupil as the answer log names them; empty before the first sign-in.
    // The signed-in pupil's facts from every computer's answer log (each log read on from
    // where it was left), and a weak-facts set dealt from them.
    PupilFacts pupilFacts() { return *pupilFacts(-1); }
    WeakSet dealWeakSet() { return *dealWeakSet(-1); }
    // The same reading the logs for about `budgetMs` at most: nothing when they could not be
    // read up to date within it (what was read is kept; the next call reads on).
    std::optional<PupilFacts> pupilFacts(int budgetMs);
    std::optional<WeakSet> dealWeakSet(int budgetMs);
    // Reads the logs into the facts ahead of the first pupil's map, for about `budgetMs`
    // (< 0: until done); true when they are read up to date.
    bool readFactsAhead(int budgetMs = -1) { return m_facts.update(m_state.DataFolder, budgetMs); }

    // 九九けんてい, for both front ends. The time limit of each way (kCheckLimitsMs; 0: no
    // limit) is this computer's choice in the options, like the facts' limit.
    static int checkLimitMs(CheckWay way);
    static void setCheckLimitMs(CheckWay way, int ms);
    static std::array<int, kCheckWays> checkLimitsMs();
    // The rows the class has learned (bit n for row n), from the data folder's Quorin.dan:
    // the check and the weak-facts practice offer only these. All nine while the teacher
    // ticked none or the file cannot be read (the record line then says why).
    quint16 taughtRows();
    // The teacher's ticks, written for every computer of the class; the reason when they
    // could not be (empty when written).
    QString setTaughtRows(quint16 rows);
    // A check of the row that way for the signed-in pupil; nullopt when nobody is signed in
    // or the row is not offered.
    std::optional<KukuCheck> startCheck(int row, CheckWay way);
    // Grades the check's current question and logs the answer at once with its time.
    KukuCheck::Outcome answerCheck(KukuCheck &check, int given, int ms);
    // The signed-in pupil's card, read from every computer's log (only what was appended
    // since the last look is read).
    KukuCard kukuCard() { return *kukuCard(-1); }
    // The same reading the logs for about `budgetMs` at most (< 0: until done): nothing when
    // they could not be read up to date within it (the next call reads on).
    std::optional<KukuCard> kukuCard(int budgetMs);
    // The teacher's stamp on the signed-in pupil's card (the desktop asks for the PIN
    // first); false when nobody is signed in or the row is out of range.
    bool stampCheck(int row, CheckWay way);
    // The cards of `pupils` (the roster's names, in its order) for the class sheet and the
    // printed cards, from the same reading of every computer's log as kukuCard(): only what
    // was appended since the last look is read, for about `budgetMs` (< 0: until done).
    // Nothing when the logs could not be read up to date within it (the next call reads on).
    // Answers kept on this computer for the log are not in them.
    std::optional<QList<PupilCard>> classCards(const QStringList &pupils, int budgetMs = -1);
    QString pupilName() const { return m_pupilName; }
    QString answerLogPath();
    // Writes the answers kept on this computer, when there are any.
    void writeKeptAnswers();
    // Answers wait on this computer because the log cannot take them.
    bool answersKept() const { return m_answerQueue && m_answerQueue->kept(); }
    // Best runs or class records wait on this computer because the data folder could not
    // take them (kept over a restart, beside the answer spool); written when it does.
    bool runsKept() const { return m_runSpool && !m_runSpool->isEmpty(); }
    // Writes the kept runs and records, merged with the files as they are then.
    void writeKeptRuns();
    // What waits for the answer log and why; empty when nothing does.
    QString answerLogProblem() const;
    // The class sheet's roster and class records, read from the files as every copy left
    // them (the roster in memory when its file cannot be read); memory does not change.
    ClassRoster classRoster() const;
    // The class's name as the teacher gave it for this data folder (kept in this computer's
    // settings); without one, the folder's name.
    // The folder the teacher chose for every start, unusable at this start: while records go
    // to the folder used instead, the record line says so (and when that folder is back).
    void setUsualFolderAway(const QString &usualFolder);
    QString className() const;
    QString givenClassName() const; // empty while the teacher has given none
    // A setting of this computer kept for the data folder (group `group`, one key per folder);
    // an invalid value removes it.
    QVariant folderSetting(const QString &group) const;
    void setFolderSetting(const QString &group, const QVariant &value);
    void setClassName(const QString &name);

    // Passes a message for the teacher on to the window.
    void tell(Notice notice, const QString &title, const QString &text);

Q_SIGNALS:
    // The roster's names changed: the sign-in list shows these.
    void namesChanged(const QStringList &names);
    // The message of an activity's tab.
    void streakMessageChanged(Activity activity, const QString &text);
    // The record line of the sign-in page.
    void recordStatusChanged(const QString &text);
    // A message box for the teacher.
    void message(Notice notice, const QString &title, const QString &text);
    // Answers started or stopped waiting on this computer for the log (answersKept()).
    void answersKeptChanged(bool kept);
    // Runs started or stopped waiting on this computer for the data folder (runsKept()).
    void runsKeptChanged(bool kept);

private:
    struct OffRosterRuns;
    void rememberSavedRoster();
    // Puts the roster in memory back as it was last loaded or saved.
    void restoreSavedRoster();
    // Memory takes in the roster as other copies left it (nothing is written), then the
    // signed-in pupil's row is found again by name.
    void lookAtRoster();
    // The signed-in pupil's row, found by name in the rows as they are now, every time they
    // were replaced: a row number never outlives the rows it pointed into. A pupil the roster
    // no longer holds (removed elsewhere, with the runs of that line) has no row, so no run
    // is written into the line that now has the old number.
    void findSignedInPupil();
    // The signed-in pupil's best runs raised while the roster does not hold the pupil: the
    // pupil is added back with them while the class list is open and a row is free;
    // otherwise they are kept on this computer and the teacher is told on the record line.
    void placeOffRosterRuns();
    // Kept runs of pupils the roster holds again go into their lines in memory; returns them
    // (they are kept again when the roster cannot be written).
    QList<OffRosterRuns> takeInOffRosterRuns();
    bool createMissingDataFile(const QString &path, const QString &label, const QByteArray &bytes);
    void reportSaveFailure(const QString &label, const QString &path, const QString &reason,
                           bool creating, bool quiet = false);
    void reportSyncOutcome(const SyncOutcome &outcome, const QString &label);
    void showFolderAway(const QString &reason, bool waiting);
    // The record line while changes wait for the folder (`line` empty: as it was while they
    // still wait, cleared once they are written).
    void showWaiting(const QString &line, bool waiting);
    void publishNames();
    void showRecordStatus();
    AnswerQueue &answerQueue();
    RunSpool &runSpool();
    void keepRun(const KeptRun &run);
    // After a roster save: the kept best runs that memory (the merged file) now holds are
    // written and no longer kept.
    void forgetWrittenRuns();
    bool writeRoster(bool quiet);
    void logAnswers(LoggedActivity activity, const QList<FactAnswer> &answers, const QString &pupil,
                    bool unfinished);
    void logLines(const QByteArray &lines, int count = 1);
    void answerQueueChanged(bool keptBefore, const QString &problemBefore);

    ApplicationState &m_state;
    std::unique_ptr<RandomSource> m_ownRandom;
    RandomSource *m_random = nullptr;
    QString m_nameText;
    RosterFile m_rosterFile;
    FolderSync m_sync;
    // The roster as last loaded or saved, put back when a save fails.
    RosterFile m_savedRosterFile;
    QList<RosterRow> m_savedRows;
    // What the record line says: the roster cannot be read or saved; the record file cannot be
    // read; the record file cannot be written.
    QString m_rosterProblem, m_streakReadProblem, m_streakWriteProblem;
    QString m_awayProblem;   // the data folder is away or held, and changes wait for it
    QString m_usualFolder;   // see setUsualFolderAway
    QString m_insteadFolder; // the data folder used instead of it
    QTimer m_retryTimer;
    bool m_rosterFailureShown = false; // a box told of a failing roster save in this run
    QString m_rosterWaitReason;        // why the last roster save was kept for later
    QStringList m_toldUnwritable;      // names the teacher was told the roster cannot offer
    FactIndex m_facts;
    QString m_taughtRowsProblem; // why Quorin.dan could not be read, for the record line
    QString m_pupilName;         // the signed-in pupil, as the answer log names them
    std::unique_ptr<AnswerQueue> m_answerQueue;     // for the data folder in use
    std::optional<RosterVersions> m_rosterVersions; // of the data folder in use
    std::unique_ptr<RunSpool> m_runSpool;           // for the data folder in use
    QString m_runSpoolFolder;
    bool m_rosterSaved = false;      // the last roster save was written (or had nothing to write)
    QTimer *m_answerRetry = nullptr; // tries the waiting answers again now and then
    bool m_serverLog = false;        // see useServerAnswerLog
    bool m_deferSaves = false;       // see setDeferredRosterSaves
    bool m_newPupilsRefused = false; // see setNewPupilsRefused
    bool m_rosterDirty = false;      // raised runs wait for the deferred save
    QList<KeptRun> m_deferredRuns;   // the runs it holds, kept when that save fails
    QTimer m_deferredSave;
    QString m_answerTablet;        // the tablet whose answers are logged now
    bool m_pupilOffRoster = false; // the signed-in pupil was not found in the last look
    // Best runs (by activity) of pupils the roster of `path` no longer holds, waiting for
    // their lines.
    struct OffRosterRuns {
        QString path, name;
        std::array<qint16, 4> best{};
    };
    QList<OffRosterRuns> m_offRosterRuns;
};

// The application title, under which the window position is kept and messages are titled.
QString applicationTitle();

// The program's settings store (the window's place, the number pad, the remembered folder).
// It is never read when its file is not an ordinary file: a scratch store serves then.
QSettings programSettings();

// The data folder the teacher chose in the data-folder dialog to use at every start, kept in
// the settings store; empty when none was chosen.
QString rememberedDataFolder();
// Keeps `folder` for every start; an empty folder forgets the choice.
void rememberDataFolder(const QString &folder);
