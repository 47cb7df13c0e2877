#include "PacketInbox.h"

#include "Packet.h"

void PacketInbox::setChannels(const QStringList& channelIDs) {
    QSet<Key16> fingerprints;
    for (const QString& id : channelIDs) {
        const QByteArray bytes = QByteArray::fromHex(id.toLatin1());
        if (bytes.size() == 16) fingerprints.insert(Key16::of(bytes)); // no packet can name another
    }
    QMutexLocker locker(&lock_);
    ours_ = std::move(fingerprints);
}

bool PacketInbox::put(const QByteArray& sealed) {
    if (sealed.size() < sealedHeaderLength || !sealed.startsWith(packetMagic)) return false;
    const Key16 fingerprint = Key16::at(sealed.constData() + 4); // read in place, once per datagram
    QMutexLocker locker(&lock_);
    if (ours_.contains(fingerprint)) {
        const Key16 tag = Key16::tail(sealed);
        if (recent_.contains(tag)) return false;
        recent_.insert(tag);
        recentOrder_.push_back(tag);
        if (qsizetype(recentOrder_.size()) > recentTail) {
            recent_.remove(recentOrder_.front());
            recentOrder_.pop_front();
        }
        ourQueue_.push_back(sealed);
        ourBytes_ += sealed.size();
        while (qsizetype(ourQueue_.size()) > maxOurPackets ||
               (ourBytes_ > maxOurBytes && ourQueue_.size() > 1)) {
            ourBytes_ -= ourQueue_.front().size();
            ourQueue_.pop_front();
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
    while (batch.size() < batchPackets && !ourQueue_.empty()) {
        ourBytes_ -= ourQueue_.front().size();
        batch.append(std::move(ourQueue_.front()));
        ourQueue_.pop_front();
    }
    while (batch.size() < batchPackets && !foreignQueue_.empty()) {
        batch.append(std::move(foreignQueue_.front()));
        foreignQueue_.pop_front();
    }
    const bool left = !ourQueue_.empty() || !foreignQueue_.empty();
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
