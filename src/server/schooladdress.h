#pragma once
// The address the pupils' tablets open: this computer's address on the school network,
// chosen from plain records of the network interfaces (filled from QNetworkInterface by
// networkInterfaceRecords() in classserver.h), so that the rule runs without a network.

#include <QList>
#include <QString>
#include <QStringList>

struct NetworkInterfaceRecord {
    // What the system says the interface is (QNetworkInterface::type()).
    enum class Kind { Unknown, Loopback, Virtual, Ethernet, Wifi, Other };

    QString name;              // "eth0", "docker0"; on Windows "ethernet_32769"
    QString humanReadableName; // on Windows the adapter's name: "Wi-Fi", "vEthernet (WSL)"
    bool up = false;
    bool running = false;
    bool loopback = false;
    Kind kind = Kind::Unknown;
    QString hardwareAddress; // "00:15:5D:01:02:03"
    QStringList addresses;   // "192.168.1.5", "fe80::1"
};

struct SchoolAddress {
    enum class Missing {
        None,            // `address` holds the school network's address
        NotConnected,    // no working connection at all (or only an address the system made up)
        NoSchoolAddress, // connected, but not with a private address of a school network
    };
    QString address; // an IPv4 address in its usual text form; empty when missing
    Missing missing = Missing::NotConnected;
};

// A private IPv4 address (10/8, 172.16/12, 192.168/16) of an interface that is up, running
// and no loopback; an adapter that looks real before one that looks virtual (containers,
// virtual machines, WSL, tunnels, bridges), otherwise in the system's order.
SchoolAddress chooseSchoolAddress(const QList<NetworkInterfaceRecord> &interfaces);

// Whether the interface looks like a virtual machine's, a container's, a tunnel's or a bridge's.
bool looksVirtual(const NetworkInterfaceRecord &interface);

// For the teacher: why the tablets cannot open the server and what to do about it; empty
// when the address was found.
QString schoolAddressProblem(SchoolAddress::Missing missing);
