#pragma once
// What the nearby tests share: quick timings on loopback, the frame format, a beacon listener and a
// hand-driven peer.
#include "Bytes.h"
#include "NearbyTransport.h"
#include "NetInterfaces.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTest>
#include <sys/socket.h>
#include <unistd.h>

namespace {

inline NearbyTransport::Options quick(quint16 beaconPort) {
    NearbyTransport::Options o;
    o.beaconPort = beaconPort;
    o.interfaces = QStringList{QStringLiteral("lo")};
    o.beaconIntervalMs = 150;
    o.keepAliveMs = 150;
    o.silenceMs = 700;
    o.firstFrameMs = 500;
    return o;
}

inline QByteArray framed(const QByteArray& body) {
    QByteArray out;
    Bytes::appendU32(out, quint32(body.size()));
    return out + body;
}

// Listens for beacons on the port, as a unit would, and returns the first one not from `skip`.
inline std::optional<NearbyTransport::Beacon> hearBeacon(quint16 port, int ms = 3000) {
    quint16 bound = 0;
    QString error;
    const int fd = NetInterfaces::openUdp(port, &bound, &error);
    if (fd < 0) return std::nullopt;
    QElapsedTimer t;
    t.start();
    std::optional<NearbyTransport::Beacon> got;
    while (!got && t.elapsed() < ms) {
        char buf[512];
        const ssize_t n = recv(fd, buf, sizeof buf, MSG_DONTWAIT);
        if (n > 0)
            got = NearbyTransport::decodeBeacon(QByteArray(buf, n));
        else
            QTest::qWait(10);
    }
    close(fd);
    return got;
}

// A hand-driven peer that dials a unit's session port.
struct FakePeer {
    QTcpSocket socket;
    QByteArray received;
    bool dial(quint16 tcpPort) {
        socket.connectToHost(QHostAddress::LocalHost, tcpPort);
        return socket.waitForConnected(2000);
    }
    void introduce(quint64 id) {
        socket.write(framed(NearbyTransport::encodeBeacon({id, 9})));
        socket.flush();
    }
    bool closedWithin(int ms) {
        QElapsedTimer t;
        t.start();
        while (socket.state() == QAbstractSocket::ConnectedState && t.elapsed() < ms) {
            socket.waitForReadyRead(20);
            received += socket.readAll();
        }
        return socket.state() != QAbstractSocket::ConnectedState;
    }
};
} // namespace
