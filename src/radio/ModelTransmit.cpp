// The transmit path: push-to-talk, captured frames to audio packets, the talk limit, texts, radio
// checks and the test tone.
#include "ModelPrivate.h"

#include "RadioPlayer.h"
#include "TRKLog.h"
#include "TextRules.h"
#include "VoiceCapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QtEndian>
#include <cmath>

namespace {
constexpr double toneHz = 660;
constexpr double toneAmplitude = 6000;
} // namespace

void WalkieModel::pressTalk(bool sosClip) {
    if (p_->tx) return; // already on air (an SOS clip is skipped too)
    QList<Channel> targets;
    if (sosClip) {
        targets = channels_;
    } else {
        if (!p_->receptions.isEmpty()) {
            // Someone else holds the air: answer with the busy tone until the release.
            player_->playTone(Tone::busy);
            p_->busyHeld = true;
            updateTalk();
            return;
        }
        if (auto sel = selected()) targets.append(*sel);
    }
    if (targets.isEmpty()) return;

    const auto started = capture_->start(scrambler(), ScrambleModes::fromRaw(scrambleMode()));
    if (started == VoiceCapture::StartResult::noDevice) {
        if (!sosClip) setNotice(QStringLiteral("No microphone found. Connect one and try again."));
        TRKLog::log(QStringLiteral("Talk: no microphone"));
        updateTalk();
        return;
    }
    if (started == VoiceCapture::StartResult::cannotOpen) {
        if (!sosClip) setNotice(QStringLiteral("The microphone can't be opened. Check your sound settings."));
        TRKLog::log(QStringLiteral("Talk: the microphone cannot be opened"));
        updateTalk();
        return;
    }

    // The chirp says "you are on air", so it sounds only once the microphone is open.
    if (!(sosClip && p_->sosSilent)) player_->playTone(Tone::talkPermit);
    Transmission tx;
    tx.channels = targets;
    tx.txID = randomID();
    tx.started = now();
    tx.sosClip = sosClip;
    p_->tx = tx;
    talkSeconds_ = 0;
    emit talkSecondsChanged();
    updateTalk();
    if (p_->runTimers) p_->transmitTimer.start();

    sendTransmissionPacket(PacketKind::start, callSign().toUtf8());
    TRKLog::log(
        QStringLiteral("Transmitting on %1%2")
            .arg(targets.first().name, sosClip ? QStringLiteral(" (SOS clip, all channels)") : QString()));
}

void WalkieModel::sendTransmissionPacket(PacketKind kind, const QByteArray& payload) {
    auto& tx = *p_->tx;
    const Packet packet = ownPacket(kind, tx.txID, ++tx.seq, payload);
    for (const Channel& c : std::as_const(tx.channels))
        sendPacket(packet, c);
}

void WalkieModel::sendFrames(const QList<VoiceFrame>& frames) {
    if (!p_->tx) return;
    float peak = -1;
    for (const VoiceFrame& f : frames) {
        if (f.pcm.isEmpty()) continue;
        sendTransmissionPacket(PacketKind::audio, f.pcm);
        peak = f.level;
    }
    if (peak >= 0 && peak != level_) {
        level_ = peak;
        emit levelChanged();
    }
}

void WalkieModel::sendCapturedFrames() {
    if (!p_->tx) {
        capture_->takeFrames(); // stale frames after a stop
        return;
    }
    sendFrames(capture_->takeFrames());
}

void WalkieModel::releaseTalk() {
    if (p_->busyHeld) {
        p_->busyHeld = false;
        updateTalk();
        return;
    }
    if (p_->tx && !p_->tx->sosClip) finishTransmission();
}

void WalkieModel::finishTransmission() {
    if (!p_->tx) return;
    // Everything captured before the release goes out, in order, before the end packet.
    sendFrames(capture_->stop());
    sendTransmissionPacket(PacketKind::end);
    const Transmission tx = *p_->tx;
    p_->tx.reset();
    p_->transmitTimer.stop();
    const double seconds = std::max(0.0, tx.started.msecsTo(now()) / 1000.0);
    if (!tx.sosClip) {
        addActivity(ActivityEntry{QUuid::createUuid(), tx.channels.first().name, callSign(), true, tx.started,
                                  seconds});
    }
    TRKLog::log(
        QStringLiteral("Transmission ended after %1 s, %2 packets").arg(seconds, 0, 'f', 1).arg(tx.seq));
    talkSeconds_ = 0;
    emit talkSecondsChanged();
    if (level_ != 0) {
        level_ = 0;
        emit levelChanged();
    }
    updateTalk();
}

void WalkieModel::transmitTick() {
    if (!p_->tx) return;
    const double seconds = std::max(0.0, p_->tx->started.msecsTo(now()) / 1000.0);
    const double limit = p_->tx->sosClip ? sosClipSeconds : talkLimitSeconds;
    talkSeconds_ = std::min(seconds, limit);
    emit talkSecondsChanged();
    if (seconds >= limit) finishTransmission();
}

void WalkieModel::sendText(const QString& text, const Channel& channel) {
    const QString t = TextRules::leftCharacters(TextRules::trimmed(text), maxTextCharacters);
    if (t.isEmpty()) return;
    QJsonObject o;
    o.insert(QStringLiteral("who"), callSign());
    o.insert(QStringLiteral("text"), t);
    const Packet packet =
        ownPacket(PacketKind::text, randomID(), 1, QJsonDocument(o).toJson(QJsonDocument::Compact));
    if (!sendPacket(packet, channel)) {
        // Nothing went out, so nothing is recorded as sent.
        setNotice(QStringLiteral("Message not sent: it couldn't be encrypted."));
        return;
    }
    addMessage(TextMessage{QUuid::createUuid(), channel.name, QStringLiteral("You"), t, true, now()});
    TRKLog::log(QStringLiteral("Text sent on %1 (%2 characters)")
                    .arg(channel.name)
                    .arg(TextRules::characterCount(t)));
}

void WalkieModel::radioCheck(const Channel& channel) {
    radioCheckReplies_.clear();
    emit radioCheckRepliesChanged();
    p_->checkRepliedSenders.clear();
    p_->lastCheckID = randomID();
    sendPacket(ownPacket(PacketKind::radioCheck, p_->lastCheckID, 1, callSign().toUtf8()), channel);
    TRKLog::log(QStringLiteral("Radio check sent on %1").arg(channel.name));
}

void WalkieModel::transmitTestTone(double seconds, const Channel& channel) {
    if (p_->tone) finishTestTone();
    const int frames = int(std::lround(std::max(0.0, seconds) * 10));
    TestTone tone;
    tone.channel = channel;
    tone.txID = randomID();
    tone.framesLeft = frames;
    p_->tone = tone;
    sendTonePacket(PacketKind::start, QByteArrayLiteral("Test unit"));
    if (frames == 0) {
        finishTestTone();
        return;
    }
    p_->toneTimer.start();
    TRKLog::log(QStringLiteral("Test tone: %1 frames on %2").arg(frames).arg(channel.name));
}

void WalkieModel::sendTonePacket(PacketKind kind, const QByteArray& payload) {
    auto& tone = *p_->tone;
    sendPacket(ownPacket(kind, tone.txID, ++tone.seq, payload), tone.channel);
}

void WalkieModel::testToneStep() {
    if (!p_->tone) {
        p_->toneTimer.stop();
        return;
    }
    auto& tone = *p_->tone;
    QByteArray pcm(VoiceFormat::frameBytes, Qt::Uninitialized);
    const double step = 2 * M_PI * toneHz / VoiceFormat::sampleRate;
    for (int i = 0; i < VoiceFormat::frameSamples; ++i) {
        const qint16 s = qint16(std::lround(toneAmplitude * std::sin(tone.phase)));
        qToLittleEndian<qint16>(s, pcm.data() + 2 * i);
        tone.phase = std::fmod(tone.phase + step, 2 * M_PI); // continuous across frames
    }
    sendTonePacket(PacketKind::audio, pcm);
    if (--tone.framesLeft <= 0) finishTestTone();
}

void WalkieModel::finishTestTone() {
    p_->toneTimer.stop();
    if (!p_->tone) return;
    sendTonePacket(PacketKind::end);
    p_->tone.reset();
}
