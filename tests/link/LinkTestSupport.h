#pragma once
// Small helpers shared by the link tests: sealed-looking packets with a unique tail, a handler sink
// that is safe to fill from a link's own threads, and a port that nothing listens on.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>

#include "Transport.h"

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

inline quint32 seqOf(const QByteArray& packet) { return qFromBigEndian<quint32>(packet.constData() + 20); }

struct Sink {
    mutable QMutex lock;
    QList<QByteArray> packets;
    QList<TransportStatus> statuses;

    void attach(Transport& t) {
        t.setPacketHandler([this](const QByteArray& p) {
            QMutexLocker l(&lock);
            packets.append(p);
        });
        t.setStatusHandler([this](const TransportStatus& s) {
            QMutexLocker l(&lock);
            statuses.append(s);
        });
    }
    int count() const {
        QMutexLocker l(&lock);
        return int(packets.size());
    }
    QList<QByteArray> all() const {
        QMutexLocker l(&lock);
        return packets;
    }
    QString lastText() const {
        QMutexLocker l(&lock);
        return statuses.isEmpty() ? QString() : statuses.last().text;
    }
    int statusCount() const {
        QMutexLocker l(&lock);
        return int(statuses.size());
    }
    bool contains(const QByteArray& p) const {
        QMutexLocker l(&lock);
        return packets.contains(p);
    }
};

// A UDP port on 127.0.0.1 that was free a moment ago and now has no listener.
inline quint16 deadPort() {
    QUdpSocket s;
    s.bind(QHostAddress::LocalHost, 0);
    return s.localPort();
}
