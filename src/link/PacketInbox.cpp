#include "PacketInbox.h"

#include "Packet.h"

void PacketInbox::setChannels(const QList<Channel>& channels) {
    QHash<Key16, Channel> ours;
    for (const Channel& c : channels)
        if (c.isValid()) ours.insert(Key16::of(c.channelIDBytes()), c);
    QMutexLocker locker(&lock_);
    ours_ = std::move(ours);
}

PacketInbox::Share PacketInbox::shareOf(PacketKind kind) {
    switch (kind) {
    case PacketKind::start:
    case PacketKind::audio:
    case PacketKind::end:
        return voice;
    case PacketKind::hello:
        return hello;
    case PacketKind::radioCheck:
        return radioCheck;
    case PacketKind::radioCheckReply:
        return radioCheckReply;
    case PacketKind::text:
        return text;
    case PacketKind::sos:
    case PacketKind::sosUpdate:
    case PacketKind::sosCancel:
        return sos;
    case PacketKind::ack:
        return ack;
    }
    return text;
}

bool PacketInbox::put(const QByteArray& sealed) {
    if (sealed.size() < sealedHeaderLength || !sealed.startsWith(packetMagic)) return false;
    const Key16 fingerprint = Key16::at(sealed.constData() + 4); // read in place, once per datagram
    QMutexLocker locker(&lock_);
    const auto channel = ours_.constFind(fingerprint);
    if (channel != ours_.cend()) {
        const Key16 tag = Key16::tail(sealed);
        if (recent_.contains(tag)) return false;
        // Opened outside the lock: the copy keeps the key while the channels change meanwhile.
        const Channel key = channel.value();
        locker.unlock();
        const auto packet = Packet::open(sealed, key);
        if (!packet) return false;
        locker.relock();
        if (recent_.contains(tag)) return false;
        recent_.insert(tag);
        recentOrder_.push_back(tag);
        if (qsizetype(recentOrder_.size()) > recentTail) {
            recent_.remove(recentOrder_.front());
            recentOrder_.pop_front();
        }
        const Share share = shareOf(packet->kind);
        const int maxPackets = share == voice ? maxOurPackets : maxSharePackets;
        const qint64 maxBytes = share == voice ? maxOurBytes : maxShareBytes;
        Queue& q = ourQueues_[share];
        q.packets.push_back(sealed);
        q.bytes += sealed.size();
        while (qsizetype(q.packets.size()) > maxPackets || (q.bytes > maxBytes && q.packets.size() > 1)) {
            q.bytes -= q.packets.front().size();
            q.packets.pop_front();
            ++dropped_.ours;
        }
    } else {
        // The header alone still reads as a sealed packet of that channel; it will not open, and
        // nothing but the fingerprint is wanted from it.
        foreignQueue_.push_back(sealed.left(sealedOverhead));
        if (qsizetype(foreignQueue_.size()) > maxForeignPackets) {
            foreignQueue_.pop_front();
            ++dropped_.foreign;
        }
    }
    return !std::exchange(scheduled_, true);
}

QList<QByteArray> PacketInbox::take(bool* more) {
    QList<QByteArray> batch;
    QMutexLocker locker(&lock_);
    for (int idle = 0; batch.size() < batchPackets && idle < shareCount;
         nextShare_ = (nextShare_ + 1) % shareCount) {
        Queue& q = ourQueues_[nextShare_];
        if (q.packets.empty()) {
            ++idle;
            continue;
        }
        idle = 0;
        q.bytes -= q.packets.front().size();
        batch.append(std::move(q.packets.front()));
        q.packets.pop_front();
    }
    while (batch.size() < batchPackets && !foreignQueue_.empty()) {
        batch.append(std::move(foreignQueue_.front()));
        foreignQueue_.pop_front();
    }
    bool left = !foreignQueue_.empty();
    for (const Queue& q : ourQueues_)
        left = left || !q.packets.empty();
    scheduled_ = left;
    if (more) *more = left;
    return batch;
}

PacketInbox::Dropped PacketInbox::dropped() const {
    QMutexLocker locker(&lock_);
    return dropped_;
}

std::optional<PacketInbox::Dropped> PacketInbox::report(qint64 nowMs) {
    QMutexLocker locker(&lock_);
    if (dropped_ == reported_) return std::nullopt;
    if (lastReportMs_ && nowMs - *lastReportMs_ < reportIntervalMs) return std::nullopt;
    const Dropped since{dropped_.ours - reported_.ours, dropped_.foreign - reported_.foreign};
    reported_ = dropped_;
    lastReportMs_ = nowMs;
    return since;
}
