// This unit's SOS (record, clip, updates, cancel), the check-in timer, alerts from other units and
// the privacy lock.
#include "ModelPrivate.h"

#include "RadioPlayer.h"
#include "TRKLog.h"
#include "TextRules.h"

#include <algorithm>

SOSInfo WalkieModel::currentSOSRecord() const {
    SOSInfo info;
    info.who = callSign();
    info.time = now();
    if (p_->position) {
        info.lat = (*p_->position)[0];
        info.lon = (*p_->position)[1];
        info.accuracy = (*p_->position)[2];
    }
    info.battery = p_->battery ? p_->battery->percent() : std::nullopt;
    info.silent = p_->sosSilent;
    info.automatic = p_->sosAutomatic;
    return info;
}

void WalkieModel::sendSOSPacket(PacketKind kind) {
    const Packet packet = ownPacket(kind, p_->sosID, ++p_->sosSeq, currentSOSRecord().toJson());
    for (const Channel& c : std::as_const(channels_))
        sendPacket(packet, c);
}

void WalkieModel::clearCheckIn() {
    p_->checkInTimer.stop();
    if (!checkInDeadline_.isValid()) return;
    checkInDeadline_ = QDateTime();
    emit checkInDeadlineChanged();
}

void WalkieModel::triggerSOS(bool silent, bool automatic) {
    if (channels_.isEmpty()) {
        setNotice(QStringLiteral("Join or create a channel first, so your SOS has somewhere to go."));
        return;
    }
    p_->sosSilent = silent;
    p_->sosAutomatic = automatic;
    if (sosActive_) {
        // Already running: the same SOS goes out again with the new flags.
        sendSOSPacket(PacketKind::sosUpdate);
    } else {
        p_->sosID = randomID();
        p_->sosSeq = 0;
        p_->position.reset();
        p_->positionSent = false;
        if (!sosResponders_.isEmpty()) {
            sosResponders_.clear();
            emit sosRespondersChanged();
        }
        sosActive_ = true;
        emit sosActiveChanged();
        locator_->start();
        sendSOSPacket(PacketKind::sos);
        if (p_->runTimers) p_->sosTimer.start();
        pressTalk(true); // the microphone clip; skipped when already transmitting
        TRKLog::log(QStringLiteral("SOS raised on %1 channel(s)%2%3")
                        .arg(channels_.size())
                        .arg(silent ? QStringLiteral(", silent") : QString())
                        .arg(automatic ? QStringLiteral(", missed check-in") : QString()));
    }
    if (!silent)
        setNotice(automatic ? QStringLiteral("Check-in missed. SOS sent to all your channels.")
                            : QStringLiteral("SOS sent to all your channels."));
    clearCheckIn();
}

void WalkieModel::sosUpdateTick() {
    if (!sosActive_ || channels_.isEmpty()) return;
    if (p_->position) p_->positionSent = true;
    // Without a location service (no geoclue on many desktops) an SOS never carries a position, and
    // nothing else would say why.
    if (!p_->position && !std::exchange(p_->noPositionLogged, true))
        TRKLog::log(QStringLiteral("SOS: no position yet, so the alert goes without one; is the location "
                                   "service (geoclue) running?"));
    sendSOSPacket(PacketKind::sosUpdate);
}

void WalkieModel::cancelSOS() {
    if (!sosActive_) return;
    sendSOSPacket(PacketKind::sosCancel);
    sosActive_ = false;
    emit sosActiveChanged();
    p_->sosTimer.stop();
    locator_->stop();
    if (p_->tx && p_->tx->sosClip) finishTransmission();
    TRKLog::log(QStringLiteral("SOS cancelled"));
    setNotice(QStringLiteral("SOS cancelled. Everyone was told you're OK."));
}

void WalkieModel::startCheckIn(int minutes) {
    checkInDeadline_ = now().addSecs(qint64(minutes) * 60);
    emit checkInDeadlineChanged();
    p_->checkInTimer.stop();
    if (p_->runTimers) p_->checkInTimer.start();
    TRKLog::log(QStringLiteral("Check-in set for %1 minutes").arg(minutes));
    setNotice(QStringLiteral("Check-in set. If you don't tap I'm OK within %1 minutes, an SOS goes out.")
                  .arg(minutes));
}

void WalkieModel::checkInOK() {
    clearCheckIn();
    TRKLog::log(QStringLiteral("Checked in"));
    setNotice(QStringLiteral("Checked in. Timer cleared."));
}

void WalkieModel::checkInTick() {
    if (!checkInDeadline_.isValid()) {
        p_->checkInTimer.stop();
        return;
    }
    if (now() < checkInDeadline_) {
        emit checkInDeadlineChanged(); // views redraw their countdown
        return;
    }
    p_->checkInTimer.stop();
    TRKLog::log(QStringLiteral("Check-in missed"));
    triggerSOS(false, true);
    // With no channel the SOS could not go out; the check-in is over all the same.
    clearCheckIn();
}

int WalkieModel::indexOfAlert(quint64 id) const {
    return p_->alertIndex.value(id, -1);
}

void WalkieModel::reindexAlerts() {
    p_->alertIndex.clear();
    for (int i = 0; i < alerts_.size(); ++i)
        p_->alertIndex.insert(alerts_[i].id, i);
}

void WalkieModel::stopSirenIfQuiet() {
    for (const SOSAlert& a : std::as_const(alerts_))
        if (a.active) return;
    player_->stopSiren();
}

// A member holds the key and chooses sender and SOS IDs freely: new alerts are paced per channel as
// well as per sender.
bool WalkieModel::admitNewAlert(quint64 sender, const Channel& channel, qint64 t) {
    const bool bySender = p_->newAlertsBySender.admit(sender, t);
    if (bySender && p_->newAlertsByChannel.admit(channel.channelID(), t)) return true;
    pacedLog(
        p_->sosRefusedLog, t,
        QStringLiteral("SOS refused on %1: too many new alerts %2 this minute")
            .arg(channel.name, bySender ? QStringLiteral("on the channel") : QStringLiteral("from one unit")),
        QStringLiteral("Many SOS records refused; not logging more of them this minute"));
    return false;
}

// Drops alerts until one more fits on the channel and in all: ended ones first, then the one least
// recently heard from.
void WalkieModel::makeRoomForAlert(const QString& channelID) {
    const auto evictOne = [&](const auto& among) {
        int victim = -1;
        for (int i = 0; i < alerts_.size(); ++i) {
            const SOSAlert& a = alerts_[i];
            if (!among(a)) continue;
            if (victim < 0) {
                victim = i;
                continue;
            }
            const SOSAlert& v = alerts_[victim];
            // Later in the list is older: it goes first among equals.
            if (std::pair(a.active, a.lastUpdate) <= std::pair(v.active, v.lastUpdate)) victim = i;
        }
        if (victim >= 0) alerts_.removeAt(victim);
    };
    const auto onChannel = [&](const SOSAlert& a) { return a.channelID == channelID; };
    while (std::count_if(alerts_.cbegin(), alerts_.cend(), onChannel) >= maxAlertsPerChannel)
        evictOne(onChannel);
    while (alerts_.size() >= maxAlerts)
        evictOne([](const SOSAlert&) { return true; });
}

void WalkieModel::receiveSOS(const Packet& packet, const Channel& channel) {
    const qint64 ms = nowMs();
    const int index = indexOfAlert(packet.txID);
    if (index < 0 && !admitNewAlert(packet.sender, channel, ms)) return;
    const auto info = SOSInfo::fromJson(packet.payload);
    if (!info) {
        pacedLog(p_->sosRefusedLog, ms, QStringLiteral("SOS record refused on %1").arg(channel.name),
                 QStringLiteral("Many SOS records refused; not logging more of them this minute"));
        return;
    }
    const QDateTime t = now();
    std::optional<Coordinate> point;
    if (info->lat && info->lon) point = Coordinate{*info->lat, *info->lon};
    if (index < 0) {
        SOSAlert alert;
        alert.id = packet.txID;
        alert.info = *info;
        alert.channelName = channel.name;
        alert.channelID = channel.channelID();
        if (point) alert.trail.append(*point);
        alert.active = true;
        alert.lastUpdate = t;
        makeRoomForAlert(alert.channelID);
        alerts_.prepend(alert);
        reindexAlerts();
        emit alertsChanged();
        setShowSOSPanel(true);
        player_->startSiren();
        TRKLog::log(QStringLiteral("SOS from %1 on %2").arg(info->who, channel.name));
        setNotice(QStringLiteral("%1 sent an SOS on %2.").arg(info->who, channel.name));
        return;
    }
    SOSAlert& alert = alerts_[index];
    if (!alert.active) return; // a late update after the cancel
    alert.info = *info;
    alert.lastUpdate = t;
    if (point && (alert.trail.isEmpty() || !(alert.trail.last() == *point))) {
        alert.trail.append(*point);
        while (alert.trail.size() > maxTrail)
            alert.trail.removeFirst();
    }
    emit alertsChanged();
}

void WalkieModel::receiveSOSCancel(const Packet& packet, const Channel& channel) {
    const int index = indexOfAlert(packet.txID);
    if (index < 0) return;
    SOSAlert& alert = alerts_[index];
    if (!alert.active) return; // the same cancel on another channel
    if (const auto info = SOSInfo::fromJson(packet.payload)) alert.info = *info;
    alert.active = false;
    alert.lastUpdate = now();
    const QString who = alert.info.who;
    emit alertsChanged();
    stopSirenIfQuiet();
    TRKLog::log(QStringLiteral("SOS from %1 cancelled (on %2)").arg(who, channel.name));
    setNotice(QStringLiteral("%1 is safe. SOS cancelled.").arg(who));
}

void WalkieModel::receiveAck(const Packet& packet, const Channel& channel) {
    if (!sosActive_ || packet.txID != p_->sosID) return;
    const QString who = TextRules::nameFromNetwork(packet.payload, maxCallSignCharacters);
    if (who.isEmpty() || sosResponders_.contains(who)) return;
    sosResponders_.append(who);
    emit sosRespondersChanged();
    TRKLog::log(QStringLiteral("%1 is responding to the SOS (on %2)").arg(who, channel.name));
    setNotice(QStringLiteral("%1 is responding to your SOS.").arg(who));
}

void WalkieModel::respond(const SOSAlert& alert) {
    const int index = indexOfAlert(alert.id);
    if (index < 0) return;
    SOSAlert& a = alerts_[index];
    if (!a.responders.contains(QStringLiteral("You"))) a.responders.append(QStringLiteral("You"));
    const QString channelID = a.channelID;
    const QString channelName = a.channelName;
    emit alertsChanged();
    player_->stopSiren();

    const Packet ack = ownPacket(PacketKind::ack, alert.id, 1, callSign().toUtf8());
    // The channel the alert came on first, so a rename since cannot lose the answer; then every
    // channel of that name.
    QSet<QString> sent;
    const int byID = indexOfChannel(channelID);
    if (byID >= 0 && sendPacket(ack, channels_[byID])) sent.insert(channelID);
    for (const Channel& c : std::as_const(channels_)) {
        if (c.name != channelName || sent.contains(c.channelID())) continue;
        if (sendPacket(ack, c)) sent.insert(c.channelID());
    }
    TRKLog::log(QStringLiteral("Answered the SOS of %1").arg(a.info.who));
}

void WalkieModel::dismiss(const SOSAlert& alert) {
    const auto removed = alerts_.removeIf([&](const SOSAlert& a) { return a.id == alert.id; });
    if (removed == 0) return;
    reindexAlerts();
    emit alertsChanged();
    stopSirenIfQuiet();
}

void WalkieModel::unlock() {
    // A second call while the first has not answered would stack a second prompt over the first.
    if (p_->unlocking) return;
    p_->unlocking = true;
    QPointer<WalkieModel> self(this);
    p_->authenticator->authenticate(
        QStringLiteral("Unlock your private channels"), [self](Authenticator::Result r) {
            if (!self) return;
            self->p_->unlocking = false;
            switch (r) {
            case Authenticator::Result::success:
                break;
            case Authenticator::Result::cannotEvaluate:
                TRKLog::log(QStringLiteral("Privacy lock: no way to authenticate here; unlocked"));
                break;
            case Authenticator::Result::failed:
                return;
            }
            if (self->locked_) {
                self->locked_ = false;
                emit self->lockedChanged();
            }
        });
}
