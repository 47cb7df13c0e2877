#pragma once
// The bounded handover of received packets from a link's own thread to the main thread. Packets for
// the joined channels and packets for any other channel wait in separate queues, so a flood of
// strangers' packets can never push ours out: ours are bounded generously (seconds of the busiest
// channel), the others tightly, and each keeps only the clear header, which is all the key-mismatch
// report needs. A full queue drops its oldest packet and counts it. The main thread takes packets in
// batches, and one queued call serves a whole batch.
#include "Key16.h"

#include <QByteArray>
#include <QMutex>
#include <QSet>
#include <QStringList>
#include <deque>
#include <optional>

class PacketInbox {
public:
    static constexpr int maxOurPackets = 1024;             // about 2 s of a busy channel on one link
    static constexpr qint64 maxOurBytes = 4 * 1024 * 1024; // whichever comes first
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

    // The channel IDs (32 hex characters) whose packets count as ours; any thread.
    void setChannels(const QStringList& channelIDs);
    // From the link's thread. True when the inbox was idle: the caller then schedules one take. A copy
    // of one of our recent packets is dropped and returns false.
    bool put(const QByteArray& sealed);
    // On the main thread: up to batchPackets packets, ours first. `more` is set when packets are left;
    // the caller then schedules another take, otherwise the next put does.
    QList<QByteArray> take(bool* more);
    Dropped dropped() const; // since the inbox was made
    // What was dropped since the last report, at most once per reportIntervalMs (the first drop is
    // reported at once); nothing when there is nothing to report yet.
    std::optional<Dropped> report(qint64 nowMs);

private:
    mutable QMutex lock_;
    QSet<Key16> ours_; // fingerprints
    std::deque<QByteArray> ourQueue_, foreignQueue_;
    QSet<Key16> recent_; // tags of our last recentTail packets
    std::deque<Key16> recentOrder_;
    qint64 ourBytes_ = 0;
    bool scheduled_ = false;
    Dropped dropped_, reported_;
    std::optional<qint64> lastReportMs_;
};
