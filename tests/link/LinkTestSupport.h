#pragma once
// Small helpers shared by the link tests: sealed-looking packets with a unique tail, a handler sink
// that is safe to fill from a link's own threads, and a port that nothing listens on.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QRandomGenerator>
#include <QUdpSocket>
#include <QtEndian>
#include <memory>

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
