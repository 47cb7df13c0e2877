#pragma once
// Small helpers shared by the link tests: sealed-looking packets with a unique tail, a handler sink
// that is safe to fill from a link's own threads, a port that nothing listens on, and TCP connections
// from a chosen loopback address.
#include <QByteArray>
#include <QCoreApplication>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>
#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "NetworkGuard.h"
#include "TRKLog.h"
#include "Transport.h"

// The start of every test that sends on lo: names, a private log folder, and a refusal to send
// multicast or broadcast outside a private network namespace.
#define LINK_TEST_INIT(logDir)                                                                               \
    do {                                                                                                     \
        QCoreApplication::setOrganizationName("Quillmarsh");                                                 \
        QCoreApplication::setApplicationName("QMRL Tessrook");                                               \
        TRKLog::setFolderOverride((logDir).path());                                                          \
        if (auto why = NetworkGuard::refusal()) {                                                            \
            if (NetworkGuard::strict()) QFAIL(qPrintable(*why));                                             \
            QSKIP(qPrintable(QStringLiteral("refusing to send multicast: ") + *why));                        \
        }                                                                                                    \
    } while (false)

// "QMT1", a made-up fingerprint, the sequence number, filler, and 16 random bytes at the end (the
// part a sealed packet keeps unique).
inline QByteArray sealedLike(quint32 seq, int size = 120) {
    QByteArray b = QByteArrayLiteral("QMT1") + QByteArray(16, '\x5a');
    char s[4];
    qToBigEndian(seq, s);
    b.append(s, 4);
    b.append(QByteArray(size - b.size() - 16, '\x11'));
    for (int i = 0; i < 4; ++i) {
        const quint32 r = QRandomGenerator::global()->generate();
        b.append(reinterpret_cast<const char*>(&r), 4);
    }
    return b;
}

inline quint32 seqOf(const QByteArray& packet) {
    return qFromBigEndian<quint32>(packet.constData() + 20);
}

// Collects what a link hands over. The handlers share the collected data, so a link that outlives the
// sink (declared earlier, stopped later) never writes into freed memory.
struct Sink {
    struct State {
        QMutex lock;
        QList<QByteArray> packets;
        QList<TransportStatus> statuses;
    };
    std::shared_ptr<State> st = std::make_shared<State>();

    void attach(Transport& t) {
        t.setPacketHandler([st = st](const QByteArray& p) {
            QMutexLocker l(&st->lock);
            st->packets.append(p);
        });
        t.setStatusHandler([st = st](const TransportStatus& s) {
            QMutexLocker l(&st->lock);
            st->statuses.append(s);
        });
    }
    int count() const {
        QMutexLocker l(&st->lock);
        return int(st->packets.size());
    }
    QList<QByteArray> all() const {
        QMutexLocker l(&st->lock);
        return st->packets;
    }
    QString lastText() const {
        QMutexLocker l(&st->lock);
        return st->statuses.isEmpty() ? QString() : st->statuses.last().text;
    }
    int statusCount() const {
        QMutexLocker l(&st->lock);
        return int(st->statuses.size());
    }
    bool contains(const QByteArray& p) const {
        QMutexLocker l(&st->lock);
        return st->packets.contains(p);
    }
};

// A UDP port on 127.0.0.1 that was free a moment ago and now has no listener.
inline quint16 deadPort() {
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}

// A TCP connection from `from` (any 127/8 address) to 127.0.0.1:port; -1 when it could not be made.
// A receive buffer, when given, is set before connecting so that it bounds the advertised window.
inline int connectFrom(const char* from, quint16 port, int receiveBuffer = 0) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) return -1;
    if (receiveBuffer) ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in local{};
    local.sin_family = AF_INET;
    local.sin_addr.s_addr = inet_addr(from);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_port = htons(port);
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 ||
        ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// Everything the link log holds so far, once every queued line is written.
inline QByteArray logText() {
    TRKLog::flush();
    QFile log(TRKLog::file());
    return log.open(QIODevice::ReadOnly) ? log.readAll() : QByteArray();
}

// Resident memory of a process in KiB, read from /proc (0 when it cannot be read).
inline qint64 residentKiB(qint64 pid = 0) {
    QFile f(pid ? QStringLiteral("/proc/%1/status").arg(pid) : QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}
