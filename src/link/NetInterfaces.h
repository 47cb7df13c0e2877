#pragma once
// The interfaces the home-network and nearby links send on, and the small socket helpers both use.
// Plain BSD sockets: Qt cannot set SO_REUSEPORT or the outgoing multicast interface per send.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

struct NetInterface {
    QString name;
    int index = 0;
    quint32 address = 0; // IPv4, host byte order
    quint32 netmask = 0;
    std::optional<quint32> broadcast; // host byte order; nothing when the interface has none
    bool loopback = false;
};

namespace NetInterfaces {
// Up, running, IPv4 (link-local counts), multicast- or broadcast-capable, not loopback. With `named`,
// exactly the interfaces of those names that are up and carry IPv4 (loopback allowed, since tests name
// `lo`, which the system marks as neither multicast- nor broadcast-capable); an empty list means none.
QList<NetInterface> usable(const std::optional<QStringList>& named);

// The broadcast address the system reports, else address | ~mask for prefixes up to /30.
std::optional<quint32> broadcastFor(quint32 address, quint32 netmask, std::optional<quint32> reported);

// True when the address lies on the interface's own subnet.
bool onSubnet(quint32 address, const NetInterface& iface);
// A datagram with where it came from, the interface it came in on and the address it was sent to
// (all host order); the socket must have asked for them with wantArrivalInfo.
struct Arrival {
    qsizetype size = 0;
    quint32 from = 0;
    quint16 fromPort = 0;
    int interfaceIndex = -1;
    quint32 to = 0;
};
bool wantArrivalInfo(int fd);
std::optional<Arrival> receive(int fd, char* buffer, qsizetype capacity); // never blocks
QString addressText(quint32 hostOrder);
std::optional<quint32> parseAddress(const QString& dotted); // strict a.b.c.d, no look-up
bool isLoopback(quint32 hostOrder);                         // 127/8

// A UDP socket bound to 0.0.0.0:port with address and port sharing, broadcast, multicast TTL 1 and
// loop on. Returns the descriptor, or -1 with `error` set. `boundPort` gets the port in use.
int openUdp(quint16 port, quint16* boundPort, QString* error);
bool join(int fd, quint32 group, const NetInterface& iface);
bool leave(int fd, quint32 group, const NetInterface& iface);
bool setMulticastInterface(int fd, const NetInterface& iface);
// sendto without blocking; returns an error text on failure.
std::optional<QString> sendTo(int fd, const QByteArray& bytes, quint32 address, quint16 port);
} // namespace NetInterfaces
