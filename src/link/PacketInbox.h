#pragma once
// The bounded handover of received packets from a link's own thread to the main thread. Packets for
// the joined channels and packets for any other channel wait in separate queues, so a flood of
// strangers' packets can never push ours out: ours are bounded generously (seconds of the busiest
// channel), the others tightly, and each keeps only the clear header, which is all the key-mismatch
// report needs. Ours are opened here, on the link's thread: what does not open goes no further, and
// each kind waits in a queue of its own that the main thread serves in turn, so a member's flood of
// one kind (texts, SOS records, hellos) cannot crowd out radio checks or voice. A full queue drops its
// oldest packet and counts it. The main thread takes packets in batches, and one queued call serves a
// whole batch.
#include "Channel.h"
#include "Key16.h"
#include "Packet.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <deque>
#include <optional>

class PacketInbox {
public:
    static constexpr int maxOurPackets = 1024;             // voice: about 2 s of a busy channel on one link
    static constexpr qint64 maxOurBytes = 4 * 1024 * 1024; // whichever comes first
    static constexpr int maxSharePackets = 64;             // each other kind: far more than real use
    static constexpr qint64 maxShareBytes = 512 * 1024;
    static constexpr int maxForeignPackets = 64;
    static constexpr int batchPackets = 256; // taken per call, so the main thread stays responsive
    static constexpr qint64 reportIntervalMs = 60000;
    // Our packets remembered by their tag, so an exact copy (a replay, or one datagram delivered twice)
    // is dropped here on the link's thread and costs the main thread nothing.
    static constexpr int recentTail = 1024;

    struct Dropped {
        qint64 ours = 0;
        qint64 foreign = 0;
        bool operator==(const Dropped&) const = default;
    };

    // The channels whose packets count as ours (their keys open them here); any thread.
    void setChannels(const QList<Channel>& channels);
    // From the link's thread. True when the inbox was idle: the caller then schedules one take. A copy
    // of one of our recent packets, or one with our fingerprint that does not open, is dropped and
    // returns false.
    bool put(const QByteArray& sealed);
    // On the main thread: up to batchPackets packets, ours first, one of each kind in turn (in the
    // order they came within a kind). `more` is set when packets are left; the caller then schedules
    // another take, otherwise the next put does.
    QList<QByteArray> take(bool* more);
    Dropped dropped() const; // since the inbox was made
    // What was dropped since the last report, at most once per reportIntervalMs (the first drop is
    // reported at once); nothing when there is nothing to report yet.
    std::optional<Dropped> report(qint64 nowMs);

private:
    // Kinds that must stay in order share a queue: a transmission's start, frames and end; an SOS,
    // its updates and its cancel.
    enum Share { voice, hello, radioCheck, radioCheckReply, text, sos, ack, shareCount };
    static Share shareOf(PacketKind kind);
    struct Queue {
        std::deque<QByteArray> packets;
        qint64 bytes = 0;
    };

    mutable QMutex lock_;
    QHash<Key16, Channel> ours_; // by fingerprint
    Queue ourQueues_[shareCount];
    int nextShare_ = 0; // the queue served first in the next turn
    std::deque<QByteArray> foreignQueue_;
    QSet<Key16> recent_; // tags of our last recentTail packets
    std::deque<Key16> recentOrder_;
    bool scheduled_ = false;
    Dropped dropped_, reported_;
    std::optional<qint64> lastReportMs_;
};
