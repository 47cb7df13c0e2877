// The receive path: fingerprint, dedupe, open, gate and dispatch of every sealed packet, and the
// periodic reaper and hellos.
#include "ModelPrivate.h"

#include "Bytes.h"
#include "RadioPlayer.h"
#include "TRKLog.h"
#include "TextRules.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace {
constexpr qint64 dedupeMs = 30000;
constexpr qint64 silenceMs = 1500;
constexpr qint64 rosterMs = 8000;
constexpr qint64 forgetMs = 10 * 60 * 1000; // foreign fingerprints and finished transmissions
constexpr qint64 foreignLogMs = 60000;
constexpr int maxForeignLogLines = 20; // per minute, all fingerprints together

template <typename Map> void dropOldest(Map& map) {
    auto oldest = map.begin();
    for (auto it = map.begin(); it != map.end(); ++it)
        if (it.value() < oldest.value()) oldest = it;
    if (oldest != map.end()) map.erase(oldest);
}
} // namespace

void WalkieModel::emitEvent(const QString& text) {
    if (onEvent) onEvent(text);
}

void WalkieModel::noteForeign(const Key16& fingerprint) {
    const qint64 t = nowMs();
    if (!foreignChannels_.contains(fingerprint) && foreignChannels_.size() >= maxForeign) {
        dropOldest(foreignChannels_);
    }
    foreignChannels_.insert(fingerprint, t);
    emit foreignChannelsChanged();
    const QString hex = TRKLog::shortHex(fingerprint.bytes());
    const auto logged = p_->foreignLogged.constFind(fingerprint);
    if (logged == p_->foreignLogged.cend() || t - logged.value() >= foreignLogMs) {
        if (logged == p_->foreignLogged.cend() && p_->foreignLogged.size() >= maxForeign)
            dropOldest(p_->foreignLogged);
        p_->foreignLogged.insert(fingerprint, t);
        // A flood of made-up fingerprints must not flood the log as well.
        const int line = p_->foreignLog.count(t, foreignLogMs);
        if (line <= maxForeignLogLines)
            TRKLog::log(QStringLiteral("Packet for unknown channel %1 (not one of your channels)").arg(hex));
        else if (line == maxForeignLogLines + 1)
            TRKLog::log(QStringLiteral("Many unknown channels heard; not logging more of them this minute"));
    }
    emitEvent(QStringLiteral("UNKNOWN CHANNEL %1 (not one of your channels)").arg(hex));
}

bool WalkieModel::receiveSealed(const QByteArray& sealed) {
    // looksSealed holds the 20-byte header and the 16-byte tail, both read in place below.
    if (!Packet::looksSealed(sealed)) return false;
    // The tail sits a frame away from the header: ask for it now, it is needed after the lookup.
    __builtin_prefetch(sealed.constData() + sealed.size() - 16);
    const Key16 fingerprint = Key16::at(sealed.constData() + 4);
    const auto found = p_->channelByFingerprint.constFind(fingerprint);
    if (found == p_->channelByFingerprint.cend()) {
        noteForeign(fingerprint);
        return false;
    }
    // The list is held, not the channel copied: a handler that replaces the channels (a callback
    // can) leaves this packet's channel intact until it is done.
    const int index = found.value();
    const QList<Channel> held = channels_;
    const Channel& channel = held.at(index);
    const qint64 t = nowMs();
    const Key16 tail = Key16::tail(sealed);
    const auto seen = p_->seen.constFind(tail);
    if (seen != p_->seen.cend() && t - seen.value() < dedupeMs) return true; // a copy of one that opened

    const auto packet = Packet::open(sealed, channel);
    if (!packet) return false;
    // Recorded only now, so junk with a copied tail cannot hide real packets.
    if (p_->seen.size() >= maxDedupe) dropOldest(p_->seen);
    p_->seen.insert(tail, t);
    if (packet->sender == senderID_) return true;
    lastGoodPacketMs_ = t;
    emit lastGoodPacketChanged();

    const bool listening = isSelected(index) || monitorAll();

    switch (packet->kind) {
    case PacketKind::hello:
        receiveHello(*packet, channel);
        break;
    case PacketKind::radioCheck:
        receiveRadioCheck(*packet, channel);
        break;
    case PacketKind::radioCheckReply:
        receiveRadioCheckReply(*packet, channel);
        break;
    case PacketKind::text:
        receiveText(*packet, channel);
        break;
    case PacketKind::start:
    case PacketKind::audio:
    case PacketKind::end:
        if (listening) receiveVoice(*packet, channel);
        break;
    case PacketKind::sos:
    case PacketKind::sosUpdate:
        if (listening) receiveSOS(*packet, channel);
        break;
    case PacketKind::sosCancel:
        receiveSOSCancel(*packet, channel);
        break;
    case PacketKind::ack:
        receiveAck(*packet, channel);
        break;
    }
    return true;
}

void WalkieModel::receiveHello(const Packet& packet, const Channel& channel) {
    const QString who = TextRules::nameFromNetwork(packet.payload, maxCallSignCharacters);
    if (who.isEmpty()) return;
    // Sender IDs cost a member nothing: a full roster takes no newcomer until entries expire.
    auto& units = roster_[channel.channelID()];
    if (units.size() >= maxRoster && !units.contains(packet.sender)) return;
    units.insert(packet.sender, RosterEntry{who, now()});
    emit rosterChanged();
    emitEvent(QStringLiteral("HELLO from %1 on %2").arg(who, channel.name));
}

void WalkieModel::receiveRadioCheck(const Packet& packet, const Channel& channel) {
    const QString who = TextRules::nameFromNetwork(packet.payload, maxCallSignCharacters);
    if (who.isEmpty()) return;
    TRKLog::log(QStringLiteral("Radio check from %1 on %2").arg(who, channel.name));
    emitEvent(QStringLiteral("RADIO CHECK from %1 on %2").arg(who, channel.name));
    sendPacket(ownPacket(PacketKind::radioCheckReply, packet.txID, 1, callSign().toUtf8()), channel);
}

void WalkieModel::receiveRadioCheckReply(const Packet& packet, const Channel& channel) {
    if (p_->lastCheckID == 0 || packet.txID != p_->lastCheckID) return; // not an answer to our check
    const QString who = TextRules::nameFromNetwork(packet.payload, maxCallSignCharacters);
    if (who.isEmpty()) return;
    if (p_->checkRepliedSenders.contains(packet.sender)) return;
    p_->checkRepliedSenders.insert(packet.sender);
    radioCheckReplies_.append(who);
    emit radioCheckRepliesChanged();
    TRKLog::log(QStringLiteral("Radio check answered by %1 on %2").arg(who, channel.name));
    emitEvent(QStringLiteral("RADIO CHECK REPLY from %1 on %2").arg(who, channel.name));
}

void WalkieModel::receiveText(const Packet& packet, const Channel& channel) {
    // Counted before the parse, which is the costly part.
    const qint64 ms = nowMs();
    if (!p_->textsBySender.admit(packet.sender, ms)) {
        pacedLog(p_->textLog, ms,
                 QStringLiteral("Text refused on %1: too many from one unit this minute").arg(channel.name),
                 QStringLiteral("Many texts heard; not logging more of them this minute"));
        return;
    }
    const QJsonDocument doc = QJsonDocument::fromJson(packet.payload);
    if (!doc.isObject()) return;
    const QJsonObject o = doc.object();
    if (!o.value(QStringLiteral("who")).isString() || !o.value(QStringLiteral("text")).isString()) return;
    const QString who =
        TextRules::nameFromStranger(o.value(QStringLiteral("who")).toString(), maxCallSignCharacters);
    const QString text =
        TextRules::fromStranger(o.value(QStringLiteral("text")).toString(), maxTextCharacters);
    if (who.isEmpty() || text.isEmpty()) return;
    addMessage(TextMessage{QUuid::createUuid(), channel.name, who, text, false, now()});
    pacedLog(p_->textLog, ms,
             QStringLiteral("Text from %1 on %2 (%3 characters)")
                 .arg(who, channel.name)
                 .arg(TextRules::characterCount(text)),
             QStringLiteral("Many texts heard; not logging more of them this minute"));
    emitEvent(QStringLiteral("TEXT from %1 on %2: %3").arg(who, channel.name, text));
}

void WalkieModel::addMessage(const TextMessage& message) {
    messages_.prepend(message);
    while (messages_.size() > maxMessages)
        messages_.removeLast();
    emit messagesChanged();
}

void WalkieModel::addActivity(const ActivityEntry& entry) {
    activity_.prepend(entry);
    while (activity_.size() > maxActivity)
        activity_.removeLast();
    emit activityChanged();
}

void WalkieModel::receiveVoice(const Packet& packet, const Channel& channel) {
    const ReceptionKey key{packet.sender, packet.txID};
    if (p_->finished.contains(key)) return; // a replay of a finished transmission
    if (resumeReaped(packet, channel)) return;
    auto it = p_->receptions.find(key);
    if (it != p_->receptions.end() && it->channelID != channel.channelID()) return; // same one, other channel
    const qint64 t = nowMs();

    if (packet.kind == PacketKind::start) {
        if (it != p_->receptions.end()) return;
        const QString who = TextRules::nameFromNetwork(packet.payload, maxCallSignCharacters);
        if (who.isEmpty()) return;
        beginReception(key, channel, who, packet.seq, t);
        emitEvent(QStringLiteral("VOICE START from %1 on %2").arg(who, channel.name));
        return;
    }
    if (packet.kind == PacketKind::end) {
        if (it != p_->receptions.end()) finishReception(key);
        return;
    }
    // Audio. A lost start still lets the voice through, under the name the roster knows.
    if (it == p_->receptions.end()) {
        const auto entry = roster_.value(channel.channelID()).value(packet.sender);
        beginReception(key, channel, entry.name.isEmpty() ? QStringLiteral("Unknown") : entry.name, 0, t);
        it = p_->receptions.find(key);
    }
    if (packet.seq <= it->lastSeq) return; // late or repeated
    it->lastSeq = packet.seq;
    it->lastHeardMs = t;
    ++it->frames;
    if (onVoiceFrame) onVoiceFrame(packet);
    if (!muteSpeaker_) {
        player_->playFrame(it->playerKey, packet.seq, packet.payload);
        it->inPlayer = true;
    }
}

// A talk the silence reaper ended goes on with its next new frame, as a new reception with its squelch:
// the silence was an outage of the links, not its end. Returns whether the packet was dealt with here.
bool WalkieModel::resumeReaped(const Packet& packet, const Channel& channel) {
    const ReceptionKey key{packet.sender, packet.txID};
    const auto reaped = p_->reaped.find(key);
    if (reaped == p_->reaped.end()) return false;
    if (reaped->channelID != channel.channelID()) return true; // same one, other channel
    if (packet.kind == PacketKind::end) {
        p_->reaped.erase(reaped);
        rememberFinished(key, nowMs());
        return true;
    }
    if (packet.kind != PacketKind::audio || packet.seq <= reaped->lastSeq) return true; // played already
    const ReapedTalk talk = *reaped;
    p_->reaped.erase(reaped);
    beginReception(key, channel, talk.who, talk.lastSeq, nowMs());
    return false;
}

void WalkieModel::rememberFinished(const ReceptionKey& key, qint64 ms) {
    if (!p_->finished.contains(key) && p_->finished.size() >= maxFinished) dropOldest(p_->finished);
    p_->finished.insert(key, ms);
}

void WalkieModel::beginReception(const ReceptionKey& key, const Channel& channel, const QString& who,
                                 quint32 seq, qint64 t) {
    Reception r;
    r.channelID = channel.channelID();
    r.channelName = channel.name;
    r.who = who;
    r.lastSeq = seq;
    r.started = now();
    r.lastHeardMs = t;
    r.playerKey = key.first ^ (key.second * 0x9E3779B97F4A7C15ull);
    if (!muteSpeaker_) {
        player_->beginReception(r.playerKey, qHash(r.channelID));
        r.inPlayer = true;
    }
    // Forged starts cost a member nothing: the start and end lines are paced.
    const int line = p_->voiceLog.count(t, 60000);
    r.logged = line <= maxPacedLogLines;
    if (r.logged)
        TRKLog::log(QStringLiteral("Voice from %1 on %2").arg(who, channel.name));
    else if (line == maxPacedLogLines + 1)
        TRKLog::log(QStringLiteral("Many transmissions heard; not logging more of them this minute"));
    p_->receptions.insert(key, r);
    updateTalk();
}

void WalkieModel::finishReception(const ReceptionKey& key) {
    const auto it = p_->receptions.find(key);
    if (it == p_->receptions.end()) return;
    const Reception r = *it;
    p_->receptions.erase(it);
    const QDateTime t = now();
    rememberFinished(key, t.toMSecsSinceEpoch());
    if (r.inPlayer && !muteSpeaker_) player_->endReception(r.playerKey);
    addActivity(ActivityEntry{QUuid::createUuid(), r.channelName, r.who, false, r.started,
                              std::max(0.0, r.started.msecsTo(t) / 1000.0)});
    if (r.logged)
        TRKLog::log(
            QStringLiteral("Voice from %1 on %2 ended, %3 frames").arg(r.who, r.channelName).arg(r.frames));
    emitEvent(QStringLiteral("VOICE END from %1 on %2, %3 frames").arg(r.who, r.channelName).arg(r.frames));
    updateTalk();
}

// Muting in the middle of a reception closes it in the player without the roger beep and squelch
// tail; left open there, it would keep the output stream running for good.
void WalkieModel::silencePlayback(Reception& r) {
    if (!r.inPlayer) return;
    r.inPlayer = false;
    const bool roger = player_->rogerBeep();
    const bool radio = player_->radioSound();
    player_->setRogerBeep(false);
    player_->setRadioSound(false);
    player_->endReception(r.playerKey);
    player_->setRogerBeep(roger);
    player_->setRadioSound(radio);
}

void WalkieModel::setMuteSpeaker(bool on) {
    muteSpeaker_ = on;
    if (!on) return;
    for (Reception& r : p_->receptions)
        silencePlayback(r);
}

void WalkieModel::updateTalk() {
    TalkState next = TalkState::idle();
    if (p_->tx) {
        next = TalkState::transmitting();
    } else if (p_->busyHeld) {
        next = TalkState::busy();
    } else if (!p_->receptions.isEmpty()) {
        // The most recent talker is the one shown.
        const Reception* latest = nullptr;
        for (const Reception& r : std::as_const(p_->receptions))
            if (!latest || r.started > latest->started) latest = &r;
        next = TalkState::receiving(latest->who + QStringLiteral(" on ") + latest->channelName);
    }
    if (next == talk_) return;
    talk_ = next;
    emit talkChanged(talk_);
}

void WalkieModel::reap() {
    const QDateTime t = now();
    const qint64 ms = t.toMSecsSinceEpoch();
    expireNotice();

    QList<ReceptionKey> silent;
    for (auto it = p_->receptions.cbegin(); it != p_->receptions.cend(); ++it)
        if (ms - it->lastHeardMs >= silenceMs) silent.append(it.key());
    for (const auto& key : silent) {
        const Reception r = p_->receptions.value(key);
        finishReception(key);
        // Not finished for good: its later frames resume it.
        p_->finished.remove(key);
        if (!p_->reaped.contains(key) && p_->reaped.size() >= maxFinished) dropOldest(p_->reaped);
        p_->reaped.insert(key, ReapedTalk{ms, r.lastSeq, r.who, r.channelID});
    }

    bool rosterChangedNow = false;
    for (auto ch = roster_.begin(); ch != roster_.end();) {
        for (auto e = ch->begin(); e != ch->end();) {
            if (e->last.msecsTo(t) >= rosterMs) {
                e = ch->erase(e);
                rosterChangedNow = true;
            } else {
                ++e;
            }
        }
        if (ch->isEmpty()) {
            ch = roster_.erase(ch);
            rosterChangedNow = true;
        } else {
            ++ch;
        }
    }
    if (rosterChangedNow) emit rosterChanged();

    p_->seen.removeIf([&](const auto& e) { return ms - e.value() >= dedupeMs; });
    p_->finished.removeIf([&](const auto& e) { return ms - e.value() >= forgetMs; });
    p_->reaped.removeIf([&](const auto& e) { return ms - e.value().ms >= forgetMs; });
    p_->foreignLogged.removeIf([&](const auto& e) { return ms - e.value() >= forgetMs; });
    if (foreignChannels_.removeIf([&](const auto& e) { return ms - e.value() >= forgetMs; }) > 0)
        emit foreignChannelsChanged();
}

void WalkieModel::sendHello() {
    if (channels_.isEmpty()) return;
    const QByteArray name = callSign().toUtf8();
    for (const Channel& c : std::as_const(channels_))
        sendPacket(ownPacket(PacketKind::hello, randomID(), 1, name), c);
}

Packet WalkieModel::ownPacket(PacketKind kind, quint64 txID, quint32 seq, const QByteArray& payload) const {
    Packet packet;
    packet.kind = kind;
    packet.txID = txID;
    packet.seq = seq;
    packet.sender = senderID_;
    packet.payload = payload;
    return packet;
}

bool WalkieModel::sendPacket(const Packet& packet, const Channel& channel) {
    const auto sealed = packet.seal(channel);
    if (!sealed) {
        TRKLog::log(QStringLiteral("Could not seal a packet for %1").arg(channel.name));
        return false;
    }
    sendSealed(*sealed);
    return true;
}
