#include "NetInterfaces.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <ifaddrs.h>
#include <net/if.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace NetInterfaces {

namespace {
QString errnoText(int e) {
    return QString::fromLocal8Bit(strerror(e));
}

sockaddr_in endpoint(quint32 address, quint16 port) {
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(address);
    sa.sin_port = htons(port);
    return sa;
}
} // namespace

QList<NetInterface> usable(const std::optional<QStringList>& named) {
    QList<NetInterface> out;
    if (named && named->isEmpty()) return out;
    ifaddrs* list = nullptr;
    if (getifaddrs(&list) != 0) return out;
    for (ifaddrs* ifa = list; ifa; ifa = ifa->ifa_next) {
        if (!ifa->ifa_addr || ifa->ifa_addr->sa_family != AF_INET || !ifa->ifa_name) continue;
        const unsigned flags = ifa->ifa_flags;
        const QString name = QString::fromLocal8Bit(ifa->ifa_name);
        if (!(flags & IFF_UP) || !(flags & IFF_RUNNING)) continue;
        const bool loopback = flags & IFF_LOOPBACK;
        if (named) {
            if (!named->contains(name)) continue;
            if (!loopback && !(flags & (IFF_MULTICAST | IFF_BROADCAST))) continue;
        } else if (loopback || !(flags & (IFF_MULTICAST | IFF_BROADCAST))) {
            continue;
        }
        // One entry per interface: the first IPv4 address it carries.
        bool seen = false;
        for (const auto& i : out)
            seen = seen || i.name == name;
        if (seen) continue;
        NetInterface n;
        n.name = name;
        n.index = int(if_nametoindex(ifa->ifa_name));
        n.address = ntohl(reinterpret_cast<sockaddr_in*>(ifa->ifa_addr)->sin_addr.s_addr);
        n.netmask = ifa->ifa_netmask
                        ? ntohl(reinterpret_cast<sockaddr_in*>(ifa->ifa_netmask)->sin_addr.s_addr)
                        : 0xffffffffu;
        std::optional<quint32> reported;
        if ((flags & IFF_BROADCAST) && ifa->ifa_broadaddr && ifa->ifa_broadaddr->sa_family == AF_INET) {
            const quint32 b = ntohl(reinterpret_cast<sockaddr_in*>(ifa->ifa_broadaddr)->sin_addr.s_addr);
            if (b != 0) reported = b;
        }
        n.broadcast = broadcastFor(n.address, n.netmask, reported);
        n.loopback = loopback;
        out.append(n);
    }
    freeifaddrs(list);
    return out;
}

std::optional<quint32> broadcastFor(quint32 address, quint32 netmask, std::optional<quint32> reported) {
    if (reported) return reported;
    // A /31 or /32 has no room for a broadcast address of its own.
    const int prefix = __builtin_popcount(netmask);
    if (prefix > 30) return std::nullopt;
    return address | ~netmask;
}

QString addressText(quint32 hostOrder) {
    return QStringLiteral("%1.%2.%3.%4")
        .arg(hostOrder >> 24)
        .arg((hostOrder >> 16) & 0xff)
        .arg((hostOrder >> 8) & 0xff)
        .arg(hostOrder & 0xff);
}

std::optional<quint32> parseAddress(const QString& dotted) {
    const QByteArray ascii = dotted.toLatin1();
    if (ascii.size() != dotted.size() || ascii.isEmpty()) return std::nullopt;
    in_addr a{};
    if (inet_pton(AF_INET, ascii.constData(), &a) != 1) return std::nullopt;
    return ntohl(a.s_addr);
}

bool isLoopback(quint32 hostOrder) {
    return (hostOrder >> 24) == 127;
}

bool onSubnet(quint32 address, const NetInterface& iface) {
    return iface.netmask != 0 && (address & iface.netmask) == (iface.address & iface.netmask);
}

bool wantArrivalInfo(int fd) {
    const int one = 1;
    return ::setsockopt(fd, IPPROTO_IP, IP_PKTINFO, &one, sizeof one) == 0;
}

std::optional<Arrival> receive(int fd, char* buffer, qsizetype capacity) {
    char control[CMSG_SPACE(sizeof(in_pktinfo))];
    sockaddr_in from{};
    iovec iov{buffer, size_t(capacity)};
    msghdr msg{};
    msg.msg_name = &from;
    msg.msg_namelen = sizeof from;
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    const ssize_t got = ::recvmsg(fd, &msg, MSG_DONTWAIT);
    if (got < 0) return std::nullopt;
    Arrival a;
    a.size = qsizetype(got);
    a.from = ntohl(from.sin_addr.s_addr);
    a.fromPort = ntohs(from.sin_port);
    for (cmsghdr* c = CMSG_FIRSTHDR(&msg); c; c = CMSG_NXTHDR(&msg, c)) {
        if (c->cmsg_level != IPPROTO_IP || c->cmsg_type != IP_PKTINFO) continue;
        in_pktinfo info;
        std::memcpy(&info, CMSG_DATA(c), sizeof info);
        a.interfaceIndex = info.ipi_ifindex;
        a.to = ntohl(info.ipi_addr.s_addr);
    }
    return a;
}

int openUdp(quint16 port, quint16* boundPort, QString* error) {
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        *error = errnoText(errno);
        return -1;
    }
    const int one = 1;
    const unsigned char ttl = 1, loop = 1;
    const timeval sendTimeout{1, 0}; // a stuck interface must not hold the send queue for long
    const int rcvbuf = 4 * 1024 * 1024;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_REUSEPORT, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &sendTimeout, sizeof sendTimeout);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &rcvbuf, sizeof rcvbuf);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_TTL, &ttl, sizeof ttl);
    setsockopt(fd, IPPROTO_IP, IP_MULTICAST_LOOP, &loop, sizeof loop);
    const sockaddr_in sa = endpoint(INADDR_ANY, port);
    if (bind(fd, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) != 0) {
        *error = errnoText(errno);
        close(fd);
        return -1;
    }
    sockaddr_in got{};
    socklen_t len = sizeof got;
    getsockname(fd, reinterpret_cast<sockaddr*>(&got), &len);
    if (boundPort) *boundPort = ntohs(got.sin_port);
    return fd;
}

static bool membership(int fd, int option, quint32 group, const NetInterface& iface) {
    ip_mreqn m{};
    m.imr_multiaddr.s_addr = htonl(group);
    m.imr_address.s_addr = htonl(iface.address);
    m.imr_ifindex = iface.index;
    return setsockopt(fd, IPPROTO_IP, option, &m, sizeof m) == 0 || errno == EADDRINUSE;
}

bool join(int fd, quint32 group, const NetInterface& iface) {
    return membership(fd, IP_ADD_MEMBERSHIP, group, iface);
}

bool leave(int fd, quint32 group, const NetInterface& iface) {
    return membership(fd, IP_DROP_MEMBERSHIP, group, iface);
}

bool setMulticastInterface(int fd, const NetInterface& iface) {
    ip_mreqn m{};
    m.imr_address.s_addr = htonl(iface.address);
    m.imr_ifindex = iface.index;
    return setsockopt(fd, IPPROTO_IP, IP_MULTICAST_IF, &m, sizeof m) == 0;
}

std::optional<QString> sendTo(int fd, const QByteArray& bytes, quint32 address, quint16 port) {
    const sockaddr_in sa = endpoint(address, port);
    const ssize_t n = ::sendto(fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&sa), sizeof sa);
    if (n < 0) return errnoText(errno);
    if (n != bytes.size()) return QStringLiteral("short send");
    return std::nullopt;
}

} // namespace NetInterfaces
