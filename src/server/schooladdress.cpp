#include "server/schooladdress.h"

#include <optional>

namespace {

// "a.b.c.d" as a number; nothing for any other text.
std::optional<quint32> parseIPv4(const QString &text) {
    const QStringList parts = text.split(u'.');
    if (parts.size() != 4)
        return std::nullopt;
    quint32 value = 0;
    for (const QString &part : parts) {
        bool ok = false;
        const uint byte = part.toUInt(&ok, 10);
        if (!ok || part.isEmpty() || part.size() > 3 || byte > 255)
            return std::nullopt;
        value = value << 8 | byte;
    }
    return value;
}

bool privateIPv4(quint32 v4) {
    return (v4 >> 24) == 10 || (v4 >> 20) == (172u << 4 | 1) || (v4 >> 16) == (192u << 8 | 168);
}

// An address the system gives itself when nothing on the network answered: IPv4 169.254/16
// and IPv6 fe80::/10. Neither says the computer is on a network.
bool selfAssigned(const QString &address) {
    if (const std::optional<quint32> v4 = parseIPv4(address))
        return (*v4 >> 16) == (169u << 8 | 254);
    const QString lower = address.toLower();
    return lower.startsWith(u"fe8") || lower.startsWith(u"fe9") || lower.startsWith(u"fea") ||
           lower.startsWith(u"feb");
}

} // namespace

bool looksVirtual(const NetworkInterfaceRecord &interface) {
    if (interface.kind == NetworkInterfaceRecord::Kind::Virtual)
        return true;
    // Linux names of container, virtual machine, tunnel and bridge interfaces; Windows names
    // tunnels "tunnel_…".
    static const char *const kNamePrefixes[] = {"docker", "br",  "veth",    "virbr", "vboxnet",
                                                "vmnet",  "tun", "tap",     "lxcbr", "lxdbr",
                                                "podman", "cni", "flannel", "wg"};
    const QString name = interface.name.toLower();
    for (const char *prefix : kNamePrefixes)
        if (name.startsWith(QLatin1String(prefix)))
            return true;
    // Windows adapters' own names: Hyper-V's switches (WSL's among them) are "vEthernet (…)".
    static const char *const kWords[] = {"vethernet", "virtualbox", "vmware", "hyper-v", "wsl",
                                         "docker",    "bridge",     "tap-",   "tunnel",  "vpn"};
    const QString human = interface.humanReadableName.toLower();
    for (const char *word : kWords)
        if (human.contains(QLatin1String(word)))
            return true;
    // Makers' prefixes of host-side virtual adapters: VirtualBox host-only, VMware host,
    // Hyper-V, Docker.
    static const char *const kHardware[] = {"0a:00:27", "00:50:56", "00:15:5d", "02:42"};
    const QString hardware = interface.hardwareAddress.toLower();
    for (const char *prefix : kHardware)
        if (hardware.startsWith(QLatin1String(prefix)))
            return true;
    return false;
}

SchoolAddress chooseSchoolAddress(const QList<NetworkInterfaceRecord> &interfaces) {
    SchoolAddress virtualChoice;
    bool connected = false;
    for (const NetworkInterfaceRecord &interface : interfaces) {
        if (!interface.up || !interface.running || interface.loopback ||
            interface.kind == NetworkInterfaceRecord::Kind::Loopback)
            continue;
        for (const QString &address : interface.addresses) {
            const QString text = address.trimmed();
            connected = connected || (!text.isEmpty() && !selfAssigned(text));
            const std::optional<quint32> v4 = parseIPv4(text);
            if (!v4 || !privateIPv4(*v4))
                continue;
            if (!looksVirtual(interface))
                return {text, SchoolAddress::Missing::None};
            if (virtualChoice.address.isEmpty())
                virtualChoice = {text, SchoolAddress::Missing::None};
        }
    }
    if (!virtualChoice.address.isEmpty())
        return virtualChoice;
    return {QString(), connected ? SchoolAddress::Missing::NoSchoolAddress
                                 : SchoolAddress::Missing::NotConnected};
}

QString schoolAddressProblem(SchoolAddress::Missing missing) {
    switch (missing) {
    case SchoolAddress::Missing::None:
        return {};
    case SchoolAddress::Missing::NotConnected:
        return QStringLiteral("このコンピューターは学校のネットワークにつながっていません。"
                              "LAN ケーブルか Wi-Fi をつないでください。");
    case SchoolAddress::Missing::NoSchoolAddress:
        return QStringLiteral("このコンピューターのネットワークは、学校の中のネットワーク"
                              "（アドレスが 10.～、172.16.～172.31.～、192.168.～）ではありません。"
                              "タブレットと同じ学校のネットワークにつないでください。");
    }
    return {};
}
