#pragma once
// The class server's requests, without sockets: the pupils' tablets sign in, are dealt sets
// and send their answers, and every answer is graded here by the classroom model exactly as a
// set typed at the desktop. The tablets take turns in one classroom of their own (each turn
// resumes the tablet's pupil with the runs kept for them), so its saves go through the same
// locked, merged writes as any other copy of the program on the data folder.
//
// The protocol (JSON over POST, under /c/<class code>/api/<verb>):
//   hello     {tablet?}                        -> {tablet, name, className}
//   names     {}                               -> {names}
//   signin    {name}                           -> {pupil, messages{novice,...}}
//   signout   {}                               -> {}
//   deal      {activity, row?}                 -> {set, activity, questions | rows+columns}
//   grade     {set, attempt, answers[{given,first?,ms}]} -> {marks, correct, score?, result?,
//                                                    message, counted}
//   leave     {set, answers[{given,first?,ms}]} -> {}   a level or challenge set left before its
//                                                    grading: its filled boxes are logged as
//                                                    unfinished, once
// `first` is the number the box held when it was first confirmed (the answer log's first
// answer); without it the box's number is taken.
//   answer    {set, index, try, given, ms}     -> {right, product?, done, summary?}
//   facts     {}                               -> {known, total, cells[{a,b,state}]}
//   fullmarks {activity}                       -> {names}
// 九九けんてい (the rules are the classroom model's, as at the desktop):
//   checkrows  {}                               -> {rows, limits{up,down,mixed}}  the rows taught
//                                                    (ascending) and this computer's limit of
//                                                    each way in ms (0: none)
//   check      {row, way}                       -> {set, row, way, order, limitMs}  a new check
//                                                    of the signed-in pupil (way: up, down or
//                                                    mixed; order: the nine multipliers as
//                                                    asked); a row not taught is refused
//                                                    ("untaught"). Nothing is logged until an
//                                                    answer, so a check asked again only
//                                                    replaces the one before.
//   checkanswer {set, index, given, ms}          -> {right, product, reading?, outcome, totalMs,
//                                                    card?}  the check's current question:
//                                                    graded and logged at once; outcome is
//                                                    next, passed, wrong or slow; reading for
//                                                    あがり and さがり and after a wrong answer;
//                                                    the card once the check is over
//   card       {}                               -> {cells[{row, way, passed, stamped}],
//                                                    passedRows}  the pupil's card from the
//                                                    logs; days as "2026-12-08", "" when not
// The teacher's stamp is given at the desktop only: no tablet request makes one.
// An error is {code, error}: a word for the page and a text a pupil can read. A request to
// another class code (an old QR code) gets 410 {code: "gone"}; the page's files are served
// under any code, so that an old address shows the page telling the pupil to scan again. A request
// sent again after a lost reply (same set and attempt, or index and try; a check's answer by its
// index) gets the same reply and changes nothing.

#include "classroom/classroom.h"

#include <QByteArray>
#include <QHash>
#include <QJsonObject>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <utility>

struct ServiceReply {
    int status = 200;
    QByteArray contentType = "application/json";
    QByteArray body;
};

// A tablet as the teacher sees it.
struct TabletView {
    QString token;
    QString name;           // "たんまつ 3"
    QString pupil;          // empty until someone signs in
    QString address;        // the peer's address
    bool connected = false; // heard from within kConnectedMs
};

class ClassService : public QObject {
    Q_OBJECT
public:
    static constexpr qsizetype kMaxBody = 16 * 1024;
    static constexpr int kMaxTablets = 200;
    // Tablets from one address: a class of up to 40 pupils behind one router still fits, and
    // no four addresses can take every place.
    static constexpr int kMaxTabletsPerAddress = 40;
    // A tablet is counted as connected while it was heard from this recently.
    static constexpr qint64 kConnectedMs = 60000;

    // `classroom` is the server's own, used for nothing else. `steadyMs` is the clock the
    // rate limits and the tablets' times use (tests pass their own).
    explicit ClassService(Classroom &classroom, std::function<qint64()> steadyMs = {},
                          QObject *parent = nullptr);

    // The class code of the address: random; kept over restarts by the server (setCode).
    QString code() const { return m_code; }
    void newCode();
    void setCode(const QString &code);
    static bool validCode(const QString &code);

    // The tablets, their pupils and their sets with the replies given, as bytes to keep over
    // a restart (the tokens, so that the pupils stay signed in; the sets and replies, so that
    // a request sent again after the restart is answered the same and logged once).
    QByteArray savedState() const;
    // Takes back what savedState() gave (bounded and checked: the file may be anyone's).
    // False, and nothing changed, when the bytes are not such a state.
    bool restoreState(const QByteArray &bytes);
    static constexpr qsizetype kMaxStateBytes = 16 * 1024 * 1024;
    // Whether a request changed what savedState() would give since the last call.
    bool takeStateChanged() { return std::exchange(m_stateChanged, false); }

    // One request. `path` is the URL's path as sent, `tablet` the X-Tablet header, `peer` the
    // peer's address as text.
    ServiceReply handle(const QByteArray &method, const QString &path, const QByteArray &body,
                        const QByteArray &tablet, const QString &peer);

    QList<TabletView> tablets() const;
    int connectedCount() const;
    // The teacher sends a tablet away: its next request is told to start again.
    void disconnectTablet(const QString &token);
    // Every tablet is forgotten (the server stops).
    void forgetTablets();
    // Reads the answer logs into the facts a slice at a time between the other requests, so
    // that a fact map or a weak-facts set is answered without holding the server up.
    void readFactsAhead() { m_factsReader.start(); }
    // The longest a request reads the logs; a map asked for before they are read is told to
    // wait a moment (the page asks again).
    static constexpr int kFactsBudgetMs = 30;
    static constexpr int kFactsSliceMs = 15;

Q_SIGNALS:
    // A tablet joined, left, signed someone in or was heard from after a quiet minute.
    void tabletsChanged();

private:
    struct DealtSet;
    struct CheckSet;
    struct Tablet;

    ServiceReply api(const QString &verb, const QByteArray &body, const QByteArray &token,
                     const QString &peer);
    QJsonObject hello(const QJsonObject &request, const QString &peer, ServiceReply &error);
    ServiceReply signIn(Tablet &tablet, const QJsonObject &request);
    ServiceReply deal(Tablet &tablet, const QJsonObject &request);
    ServiceReply grade(Tablet &tablet, const QJsonObject &request);
    ServiceReply leave(Tablet &tablet, const QJsonObject &request);
    ServiceReply answer(Tablet &tablet, const QJsonObject &request);
    ServiceReply facts(Tablet &tablet);
    ServiceReply fullMarks(Tablet &tablet, const QJsonObject &request);
    ServiceReply checkRows();
    ServiceReply startCheck(Tablet &tablet, const QJsonObject &request);
    ServiceReply checkAnswer(Tablet &tablet, const QJsonObject &request);
    ServiceReply card(Tablet &tablet);
    static std::shared_ptr<CheckSet> restoredCheck(const QJsonObject &saved);
    // The logs could not be read far enough within a request's budget: the reading goes on
    // between requests, and the page is told to ask again in a moment.
    ServiceReply logsStillRead();
    // Makes the tablet's pupil the classroom's signed-in pupil for this request.
    bool resume(Tablet &tablet);
    void keepRuns(Tablet &tablet);
    bool withinRate(const QString &key, double perSecond, double burst);
    qint64 now() const;

    Classroom &m_classroom;
    std::function<qint64()> m_steadyMs;
    QString m_code;
    QHash<QString, std::shared_ptr<Tablet>> m_tablets; // by token
    struct Bucket {
        double tokens = 0;
        qint64 atMs = 0;
    };
    QHash<QString, Bucket> m_buckets; // by tablet token or peer address
    int m_tabletNumber = 0;
    int m_setNumber = 0;
    bool m_stateChanged = false;
    QTimer m_factsReader;
};

// The service's pupil-readable error texts, by code.
QString serviceErrorText(const QString &code);
