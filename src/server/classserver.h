#pragma once
// The class server: Qt HTTP Server on this computer's local network, answering the pupils'
// tablets through the class service. It listens only while the teacher has it on, takes
// peers only from private, link-local and loopback addresses, and bounds every connection
// (how many per address, how many bytes) before a request reaches the service.

#include "server/classservice.h"
#include "server/schooladdress.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>
#include <QTimer>
#include <functional>
#include <memory>

class QHttpServer;
class GuardedTcpServer;

// This computer's network interfaces as plain records, from QNetworkInterface.
QList<NetworkInterfaceRecord> networkInterfaceRecords();

// Whether a peer may use the class server: the school's own network (private IPv4 ranges,
// IPv6 unique local), link-local addresses and this computer itself.
bool localNetworkPeer(const QHostAddress &address);

// The connections the class server holds: taken only from local-network peers, at most
// `total` in all and `perPeer` from one address (this computer itself, the tests' simulated
// class, is bound by the total alone). A taken connection counts until it is released.
class PeerConnections {
public:
    PeerConnections(int total, int perPeer) : m_total(total), m_perPeer(perPeer) {}
    // Whether a new connection from `peer` is taken; a taken one is counted.
    bool take(const QHostAddress &peer);
    // A taken connection from `peer` has closed.
    void release(const QHostAddress &peer);
    // Whether `peer` has every connection it may have.
    bool peerFull(const QHostAddress &peer) const;

private:
    int m_total;
    int m_perPeer;
    int m_open = 0;
    QHash<QString, int> m_byPeer;
};

class ClassServer : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 256;
    static constexpr int kMaxConnectionsPerPeer = 16;
    static constexpr qint64 kMaxBytesPerConnection = 2 * 1024 * 1024;

    // How long a connection may take over a request's head and its body, and wait idle for
    // the next request, before it is closed (steady clock).
    struct ConnectionTimeouts {
        int headMs = 5000;
        int bodyMs = 5000;
        int idleMs = 15000;
    };

    using InterfaceSource = std::function<QList<NetworkInterfaceRecord>()>;

    // `interfaces` lists this computer's network interfaces each time the address is asked
    // for (empty: networkInterfaceRecords()).
    ClassServer(Classroom &classroom, InterfaceSource interfaces = {}, QObject *parent = nullptr);
    ~ClassServer() override;

    // Starts listening on `address` (Any: every interface) at `port` (0: the port kept for
    // this data folder, or one the system gives when none is kept or it cannot be had). The
    // class code and the port are kept per data folder in this computer's settings, and the
    // tablets with their sets on this computer's disk, so a restart costs the class nothing.
    // Returns why it could not, or an empty text.
    QString start(const QHostAddress &address = QHostAddress::Any, quint16 port = 0);
    // For the teacher: why the kept port was not taken at the last start; empty when it was.
    QString portNote() const { return m_portNote; }
    // Stops listening and closes every tablet's connection; the tablets are kept.
    void stop();
    // A new class code: every tablet is forgotten and scans the new address.
    void renewCode();
    // Writes the tablets and their sets now when a request changed them.
    void saveState();
    QString statePath() const;
    bool running() const;
    quint16 port() const { return m_port; }
    struct TabletAddress {
        QString url;     // what a tablet opens; this computer's own when no tablet can reach it
        QString problem; // for the teacher: why no tablet can reach it; empty when one can
    };
    // The address a tablet opens: the one listened on, or when listening on every interface,
    // this computer's address on the school network. Asked afresh each time, so a cable
    // plugged in later shows.
    TabletAddress tabletAddress() const;
    QString address() const { return tabletAddress().url; }

    ClassService &service() { return m_service; }
    // Other timeouts from the next start (tests).
    void setConnectionTimeouts(const ConnectionTimeouts &timeouts) { m_timeouts = timeouts; }

Q_SIGNALS:
    void runningChanged(bool running);

private:
    Classroom &m_classroom;
    ClassService m_service;
    std::unique_ptr<QHttpServer> m_http;
    GuardedTcpServer *m_tcp = nullptr; // owned by m_http
    InterfaceSource m_interfaces;
    QHostAddress m_listenAddress;
    quint16 m_port = 0;
    QString m_portNote;
    QTimer m_saveTimer;
    ConnectionTimeouts m_timeouts;
};
