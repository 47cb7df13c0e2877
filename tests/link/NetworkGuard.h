#pragma once
// Multicast and broadcast must never leave the machine. Before anything sends them, this checks that
// the only interfaces up are loopback and veth interfaces this run made (their names are passed in
// TESSROOK_RUN_VETH by the script that made them). Under CI=true a refusal is a failure.
#include <QByteArray>
#include <QString>
#include <QStringList>
#include <cstring>
#include <ifaddrs.h>
#include <linux/ethtool.h>
#include <linux/sockios.h>
#include <net/if.h>
#include <optional>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace NetworkGuard {

inline bool strict() {
    return qgetenv("CI") == "true";
}

inline QString driverOf(const QString& name) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return {};
    ethtool_drvinfo info{};
    info.cmd = ETHTOOL_GDRVINFO;
    ifreq req{};
    std::strncpy(req.ifr_name, name.toLocal8Bit().constData(), IFNAMSIZ - 1);
    req.ifr_data = reinterpret_cast<char*>(&info);
    const bool ok = ioctl(fd, SIOCETHTOOL, &req) == 0;
    close(fd);
    return ok ? QString::fromLatin1(info.driver) : QString();
}

// Nothing when sending multicast and broadcast is safe here; otherwise the reason it is not.
inline std::optional<QString> refusal() {
    const QStringList ours =
        QString::fromLocal8Bit(qgetenv("TESSROOK_RUN_VETH")).split(',', Qt::SkipEmptyParts);
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return QStringLiteral("cannot list the network interfaces");
    QStringList foreign;
    for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_name || !(ifa->ifa_flags & IFF_UP) || (ifa->ifa_flags & IFF_LOOPBACK)) continue;
        const QString name = QString::fromLocal8Bit(ifa->ifa_name);
        if (ours.contains(name) && driverOf(name) == QLatin1String("veth")) continue;
        if (!foreign.contains(name)) foreign << name;
    }
    freeifaddrs(list);
    if (foreign.isEmpty()) return std::nullopt;
    return QStringLiteral(
               "interfaces up besides loopback and this run's veth: %1; run inside a private network "
               "namespace (unshare -n)")
        .arg(foreign.join(QStringLiteral(", ")));
}

} // namespace NetworkGuard
