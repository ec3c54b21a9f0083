#include "server/classserver.h"

#include "records/ownfile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QHttpServer>
#include <QHttpServerRequest>
#include <QHttpServerResponder>
#include <QNetworkInterface>
#include <QPointer>
#include <QSaveFile>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

bool localNetworkPeer(const QHostAddress &peer) {
    bool isV4 = false;
    const quint32 v4 = peer.toIPv4Address(&isV4); // also an IPv4 address mapped into IPv6
    if (isV4)
        return (v4 >> 24) == 10 || (v4 >> 20) == (172u << 4 | 1) ||
               (v4 >> 16) == (192u << 8 | 168) || (v4 >> 16) == (169u << 8 | 254) ||
               (v4 >> 24) == 127;
    if (peer.protocol() != QAbstractSocket::IPv6Protocol)
        return false;
    const Q_IPV6ADDR v6 = peer.toIPv6Address();
    return peer.isLoopback() || (v6[0] & 0xFE) == 0xFC   // unique local fc00::/7
           || (v6[0] == 0xFE && (v6[1] & 0xC0) == 0x80); // link-local fe80::/10
}

bool PeerConnections::peerFull(const QHostAddress &peer) const {
    return m_byPeer.value(peer.toString()) >= m_perPeer && !peer.isLoopback();
}

bool PeerConnections::take(const QHostAddress &peer) {
    if (!localNetworkPeer(peer) || m_open >= m_total || peerFull(peer))
        return false;
    const QString key = peer.toString();
    ++m_open;
    ++m_byPeer[key];
    return true;
}

void PeerConnections::release(const QHostAddress &peer) {
    const QString key = peer.toString();
    auto it = m_byPeer.find(key);
    if (it == m_byPeer.end())
        return; // never taken
    --m_open;
    if (--*it <= 0)
        m_byPeer.erase(it);
}

// Takes only the connections PeerConnections allows, closes a connection that sends more
// bytes than any tablet needs, and one that is slow: its request's head not whole within
// `headMs` of its first byte (or of the connection's opening), its body not within `bodyMs`
// after, or no new request within `idleMs` of the last reply. When every place is taken, a
// connection waiting between two requests (the longest idle first), or else one whose request
// has been arriving for longer than any tablet's takes, makes room for the new one: a browser
// opens a closed keep-alive connection again by itself, and a peer that holds places by
// sending slowly cannot keep a tablet out.
class GuardedTcpServer : public QTcpServer {
public:
    GuardedTcpServer(const ClassServer::ConnectionTimeouts &timeouts, QObject *parent)
        : QTcpServer(parent), m_timeouts(timeouts) {
        m_clock.start();
        m_sweep.setInterval(qMax(20, qMin(timeouts.headMs, timeouts.idleMs) / 5));
        connect(&m_sweep, &QTimer::timeout, this, &GuardedTcpServer::closeSlow);
    }

protected:
    void incomingConnection(qintptr handle) override {
        auto *socket = new QTcpSocket(this);
        if (!socket->setSocketDescriptor(handle)) {
            delete socket;
            return;
        }
        const QHostAddress peer = socket->peerAddress();
        if (!m_connections.take(peer) && !(makeRoomFor(peer) && m_connections.take(peer))) {
            socket->abort();
            socket->deleteLater();
            return;
        }
        Open open;
        open.peer = peer;
        open.sinceMs = m_clock.elapsed();
        m_open.insert(socket, open);
        connect(socket, &QObject::destroyed, this, [this, socket] { forget(socket); });
        // What the socket takes from the system at a time, and in all, is bounded; this
        // runs before the HTTP server reads what arrived.
        socket->setReadBufferSize(64 * 1024);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { arrived(socket); });
        // A reply going out ends the request: the connection waits for the next one.
        connect(socket, &QTcpSocket::bytesWritten, this, [this, socket] {
            if (const auto it = m_open.find(socket); it != m_open.end())
                it->phase = Phase::Idle, it->sinceMs = m_clock.elapsed();
        });
        if (!m_sweep.isActive())
            m_sweep.start();
        addPendingConnection(socket);
    }

private:
    enum class Phase { Head, Body, Idle };
    struct Open {
        QHostAddress peer;
        Phase phase = Phase::Head;
        qint64 sinceMs = 0; // steady clock: when the phase began
        qint64 received = 0;
        QByteArray tail; // the head's last bytes so far, to see its end across reads
    };

    void arrived(QTcpSocket *socket) {
        const auto it = m_open.find(socket);
        if (it == m_open.end())
            return;
        const QByteArray bytes = socket->peek(socket->bytesAvailable());
        it->received += bytes.size();
        if (it->received > ClassServer::kMaxBytesPerConnection) {
            QMetaObject::invokeMethod(socket, &QTcpSocket::abort, Qt::QueuedConnection);
            return;
        }
        if (it->phase == Phase::Idle) {
            it->phase = Phase::Head;
            it->sinceMs = m_clock.elapsed();
            it->tail.clear();
        }
        if (it->phase == Phase::Head) {
            const QByteArray seen = it->tail + bytes;
            if (seen.contains("\r\n\r\n")) {
                it->phase = Phase::Body;
                it->sinceMs = m_clock.elapsed();
            }
            it->tail = seen.right(3);
        }
    }

    qint64 limitMs(Phase phase) const {
        return phase == Phase::Head   ? m_timeouts.headMs
               : phase == Phase::Body ? m_timeouts.bodyMs
                                      : m_timeouts.idleMs;
    }

    void closeSlow() {
        const qint64 now = m_clock.elapsed();
        QList<QTcpSocket *> slow;
        for (auto it = m_open.cbegin(); it != m_open.cend(); ++it)
            if (now - it->sinceMs > limitMs(it->phase))
                slow << it.key();
        for (QTcpSocket *socket : std::as_const(slow))
            close(socket);
        if (m_open.isEmpty())
            m_sweep.stop();
    }

    // Closes a connection to make room for one from `peer`: one of the peer's own when it has
    // all it may have, else any. False when none may be closed.
    bool makeRoomFor(const QHostAddress &peer) {
        if (!localNetworkPeer(peer))
            return false;
        const bool ownOnly = m_connections.peerFull(peer);
        const qint64 now = m_clock.elapsed();
        // A tablet's request arrives whole within this on a school network.
        const qint64 graceMs = qMin(1000, m_timeouts.headMs);
        QTcpSocket *idlest = nullptr, *slowest = nullptr;
        qint64 idleSince = now, slowSince = now - graceMs;
        for (auto it = m_open.cbegin(); it != m_open.cend(); ++it) {
            if (ownOnly && it->peer != peer)
                continue;
            if (it->phase == Phase::Idle && it->sinceMs <= idleSince)
                idlest = it.key(), idleSince = it->sinceMs;
            else if (it->phase != Phase::Idle && it->sinceMs < slowSince)
                slowest = it.key(), slowSince = it->sinceMs;
        }
        QTcpSocket *victim = idlest ? idlest : slowest;
        if (!victim)
            return false;
        close(victim);
        return true;
    }

    void close(QTcpSocket *socket) {
        forget(socket);
        socket->abort(); // the HTTP server deletes it
    }

    void forget(QTcpSocket *socket) {
        const auto it = m_open.find(socket);
        if (it == m_open.end())
            return;
        m_connections.release(it->peer);
        m_open.erase(it);
    }

    const ClassServer::ConnectionTimeouts m_timeouts;
    PeerConnections m_connections{ClassServer::kMaxConnections,
                                  ClassServer::kMaxConnectionsPerPeer};
    QHash<QTcpSocket *, Open> m_open;
    QElapsedTimer m_clock; // monotonic
    QTimer m_sweep;
};

QList<NetworkInterfaceRecord> networkInterfaceRecords() {
    QList<NetworkInterfaceRecord> records;
    for (const QNetworkInterface &interface : QNetworkInterface::allInterfaces()) {
        NetworkInterfaceRecord record;
        record.name = interface.name();
        record.humanReadableName = interface.humanReadableName();
        record.up = interface.flags().testFlag(QNetworkInterface::IsUp);
        record.running = interface.flags().testFlag(QNetworkInterface::IsRunning);
        record.loopback = interface.flags().testFlag(QNetworkInterface::IsLoopBack);
        using Kind = NetworkInterfaceRecord::Kind;
        switch (interface.type()) {
        case QNetworkInterface::Unknown:
            record.kind = Kind::Unknown;
            break;
        case QNetworkInterface::Loopback:
            record.kind = Kind::Loopback;
            break;
        case QNetworkInterface::Virtual:
            record.kind = Kind::Virtual;
            break;
        case QNetworkInterface::Ethernet:
            record.kind = Kind::Ethernet;
            break;
        case QNetworkInterface::Wifi:
            record.kind = Kind::Wifi;
            break;
        default:
            record.kind = Kind::Other;
            break;
        }
        record.hardwareAddress = interface.hardwareAddress();
        for (const QNetworkAddressEntry &entry : interface.addressEntries())
            record.addresses << entry.ip().toString();
        records << record;
    }
    return records;
}

ClassServer::ClassServer(Classroom &classroom, InterfaceSource interfaces, QObject *parent)
    : QObject(parent), m_classroom(classroom), m_service(classroom),
      m_interfaces(interfaces ? std::move(interfaces) : InterfaceSource(networkInterfaceRecords)) {
    // What the requests changed is written a moment later, batched: a whole class answering
    // at once makes one write a second.
    m_saveTimer.setSingleShot(true);
    m_saveTimer.setInterval(1000);
    connect(&m_saveTimer, &QTimer::timeout, this, &ClassServer::saveState);
}

namespace {
const QString kCodeGroup = QStringLiteral("ClassServerCodes");
const QString kPortGroup = QStringLiteral("ClassServerPorts");
} // namespace

QString ClassServer::statePath() const {
    return answerSpoolPath(m_classroom.state().DataFolder)
        .replace(QStringLiteral("/waiting-answers-"), QStringLiteral("/tablets-"))
        .replace(QStringLiteral(".csv"), QStringLiteral(".json"));
}

void ClassServer::saveState() {
    m_saveTimer.stop();
    m_service.takeStateChanged();
    QDir().mkpath(QFileInfo(statePath()).path());
    QSaveFile file(statePath());
    if (file.open(QIODevice::WriteOnly)) {
        file.write(m_service.savedState());
        file.commit();
    }
}

void ClassServer::renewCode() {
    m_service.newCode();
    m_service.forgetTablets();
    m_classroom.setFolderSetting(kCodeGroup, m_service.code());
    saveState();
    Q_EMIT runningChanged(running());
}

ClassServer::~ClassServer() {
    stop();
}

bool ClassServer::running() const {
    return m_http != nullptr;
}

QString ClassServer::start(const QHostAddress &address, quint16 port) {
    stop();
    // The class code kept for this folder, and the tablets kept with it.
    const QString kept = m_classroom.folderSetting(kCodeGroup).toString();
    if (ClassService::validCode(kept)) {
        if (kept != m_service.code()) {
            m_service.setCode(kept);
            m_service.forgetTablets();
        }
        if (checkOwnPath(statePath()).ordinaryFile) {
            QFile file(statePath());
            if (file.open(QIODevice::ReadOnly) && file.size() <= ClassService::kMaxStateBytes)
                m_service.restoreState(file.read(ClassService::kMaxStateBytes));
        }
    } else {
        m_classroom.setFolderSetting(kCodeGroup, m_service.code());
    }
    m_http = std::make_unique<QHttpServer>();
    m_http->setMissingHandler([this](const QHttpServerRequest &request,
                                     QHttpServerResponder &&responder) {
        const QByteArray method = request.method() == QHttpServerRequest::Method::Get    ? "GET"
                                  : request.method() == QHttpServerRequest::Method::Post ? "POST"
                                  : request.method() == QHttpServerRequest::Method::Head ? "HEAD"
                                                                                         : "OTHER";
        // An IPv4 peer on a dual-stack socket is shown as the IPv4 address it is.
        bool isV4 = false;
        const quint32 v4 = request.remoteAddress().toIPv4Address(&isV4);
        const QString peer =
            isV4 ? QHostAddress(v4).toString() : request.remoteAddress().toString();
        const ServiceReply reply = m_service.handle(method, request.url().path(), request.body(),
                                                    request.value("x-tablet"), peer);
        if (m_service.takeStateChanged() && !m_saveTimer.isActive())
            m_saveTimer.start();
        // The page's own files and answers only: nothing is cached, sniffed or framed, and
        // the page may load nothing from anywhere else.
        responder.write(reply.body,
                        {{"Content-Type", reply.contentType},
                         {"Cache-Control", "no-store"},
                         {"X-Content-Type-Options", "nosniff"},
                         {"Referrer-Policy", "no-referrer"},
                         {"Content-Security-Policy",
                          "default-src 'self'; img-src 'self' data:; frame-ancestors 'none'; "
                          "base-uri 'none'; form-action 'none'"}},
                        QHttpServerResponder::StatusCode(reply.status));
    });
    m_tcp = new GuardedTcpServer(m_timeouts, m_http.get());
    // The port kept for this folder, so the address (and its QR code) stays the same.
    m_portNote.clear();
    const quint16 keptPort = quint16(m_classroom.folderSetting(kPortGroup).toUInt());
    if (port == 0 && keptPort != 0 && !m_tcp->listen(address, keptPort))
        m_portNote = QStringLiteral("前のポート %1 は使えないため、別のポートにしました。"
                                    "タブレットは新しいアドレス（QR コード）を開いてください。")
                         .arg(keptPort);
    if (!m_tcp->isListening() && !m_tcp->listen(address, port)) {
        const QString reason = m_tcp->errorString();
        m_http.reset();
        m_tcp = nullptr;
        return QStringLiteral("クラスのサーバーを始められません。") + reason;
    }
    m_http->bind(m_tcp);
    // A class answering at once: one roster save for the runs raised in one turn.
    m_classroom.setDeferredRosterSaves(true);
    m_service.readFactsAhead();
    m_listenAddress = address;
    m_port = m_tcp->serverPort();
    m_classroom.setFolderSetting(kPortGroup, m_port);
    Q_EMIT runningChanged(true);
    return {};
}

void ClassServer::stop() {
    if (!m_http)
        return;
    m_http.reset(); // closes the listening socket and every connection
    m_tcp = nullptr;
    m_port = 0;
    saveState();
    m_classroom.setDeferredRosterSaves(false);
    m_classroom.saveKeptChanges();
    m_classroom.writeKeptAnswers();
    Q_EMIT runningChanged(false);
}

ClassServer::TabletAddress ClassServer::tabletAddress() const {
    if (!m_http)
        return {};
    const auto url = [this](QString host) {
        if (host.contains(u':'))
            host = u'[' + host + u']';
        return QStringLiteral("http://%1:%2/c/%3/").arg(host).arg(m_port).arg(m_service.code());
    };
    if (m_listenAddress != QHostAddress::Any && m_listenAddress != QHostAddress::AnyIPv4 &&
        m_listenAddress != QHostAddress::AnyIPv6)
        return {url(m_listenAddress.toString()), {}};
    const SchoolAddress school = chooseSchoolAddress(m_interfaces());
    if (school.address.isEmpty())
        return {url(QStringLiteral("127.0.0.1")), schoolAddressProblem(school.missing)};
    return {url(school.address), {}};
}
