#include "RadioPlayer.h"

#include "Pcm.h"
#include "RadioEffect.h"
#include "TRKLog.h"
#include "Tones.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>
#include <deque>
#include <map>

namespace {
constexpr int rate = Tones::sampleRate;
constexpr int frameSamples = rate / 10;                  // 100 ms
constexpr int jitterStartFrames = 2;                     // play once two frames are in...
constexpr qint64 jitterStartSamples = rate * 150 / 1000; // ...or 150 ms after the first, whichever is first
constexpr qint64 closeAfterIdleSamples = rate * 2;       // close the stream after 2 s of silence
constexpr std::size_t maxQueuedSamples = rate * 5;       // a stalled device must not grow queues forever
constexpr int sirenFadeSamples = rate * 20 / 1000;
constexpr int reopenIntervalMs = 2000;

// Everything the output pulls: receptions, tones and the siren, summed. The device pulls from its own
// thread; the player adds to it from its own.
class Mixer : public QIODevice {
public:
    struct Reception {
        std::deque<float> play; // may be played now
        std::deque<float> held; // voice waiting for the jitter buffer to fill
        int heldFrames = 0;
        qint64 firstFrameAt = -1; // mixer clock when the first voice frame came in
        bool voiceStarted = false;
        bool ended = false;
    };

    Mixer() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }
    // Pull-mode sinks read only what a device reports as available; there is always sound (or
    // silence) to give, one frame at a time so nothing is produced far ahead of the device.
    qint64 bytesAvailable() const override { return frameSamples * 2 + QIODevice::bytesAvailable(); }

    void begin(quint64 key, const std::vector<float>* opening) {
        QMutexLocker l(&m_);
        Reception& r = receptions_[key];
        r = Reception{};
        if (opening) r.play.insert(r.play.end(), opening->begin(), opening->end());
    }
    void frame(quint64 key, std::vector<float> samples) {
        QMutexLocker l(&m_);
        Reception& r = receptions_[key];
        if (r.ended) return; // a straggler after the end must not cut off the roger beep
        if (r.voiceStarted) {
            append(r.play, samples);
        } else {
            if (r.firstFrameAt < 0) r.firstFrameAt = clock_;
            append(r.held, samples);
            ++r.heldFrames;
            promote(r);
        }
    }
    void end(quint64 key, const std::vector<std::vector<float>>& closing) {
        QMutexLocker l(&m_);
        auto it = receptions_.find(key);
        if (it == receptions_.end()) return;
        Reception& r = it->second;
        startVoice(r);
        for (const auto& s : closing)
            r.play.insert(r.play.end(), s.begin(), s.end());
        r.ended = true;
    }
    void tone(const std::vector<float>* s) {
        QMutexLocker l(&m_);
        tones_.push_back({s, 0});
    }
    void siren(bool on) {
        QMutexLocker l(&m_);
        if (on) {
            if (!sirenOn_) sirenPos_ = 0;
            sirenOn_ = true;
            sirenFade_ = -1;
        } else if (sirenOn_ && sirenFade_ < 0) {
            sirenFade_ = sirenFadeSamples;
        }
    }
    bool sirenOn() const {
        QMutexLocker l(&m_);
        return sirenOn_ && sirenFade_ < 0; // a siren fading out has been silenced
    }
    qint64 idleSamples() const {
        QMutexLocker l(&m_);
        return idle_;
    }
    // The stream closed: drop what can no longer be heard and restart the silence count.
    void clear() {
        QMutexLocker l(&m_);
        receptions_.clear();
        tones_.clear();
        sirenOn_ = false;
        idle_ = 0;
    }

protected:
    qint64 writeData(const char*, qint64) override { return -1; }
    qint64 readData(char* data, qint64 maxlen) override {
        const qint64 n = maxlen / 2;
        if (n <= 0) return 0;
        mix_.assign(std::size_t(n), 0.0f);
        bool sounding = false;
        {
            QMutexLocker l(&m_);
            for (auto it = receptions_.begin(); it != receptions_.end();) {
                Reception& r = it->second;
                if (!r.voiceStarted && r.firstFrameAt >= 0) promote(r);
                const std::size_t take = std::min<std::size_t>(std::size_t(n), r.play.size());
                for (std::size_t i = 0; i < take; ++i)
                    mix_[i] += r.play[i];
                r.play.erase(r.play.begin(), r.play.begin() + qsizetype(take));
                // An underrun is silence and the reception goes on. A reception with nothing left to
                // play counts as silence, so one whose end never comes (muted half-way, say) cannot
                // keep the stream open for good.
                if (take > 0 || !r.held.empty()) sounding = true;
                if (r.ended && r.play.empty())
                    it = receptions_.erase(it);
                else
                    ++it;
            }
            for (auto it = tones_.begin(); it != tones_.end();) {
                const auto& s = *it->samples;
                const std::size_t take = std::min<std::size_t>(std::size_t(n), s.size() - it->pos);
                for (std::size_t i = 0; i < take; ++i)
                    mix_[i] += s[it->pos + i];
                it->pos += take;
                sounding = true;
                it = it->pos >= s.size() ? tones_.erase(it) : it + 1;
            }
            if (sirenOn_) {
                const auto& s = Tones::sirenCycle();
                for (qint64 i = 0; i < n; ++i) {
                    float g = 1;
                    if (sirenFade_ >= 0) {
                        if (sirenFade_ == 0) {
                            sirenOn_ = false;
                            break;
                        }
                        g = float(sirenFade_--) / sirenFadeSamples;
                    }
                    mix_[std::size_t(i)] += s[sirenPos_] * g;
                    sirenPos_ = (sirenPos_ + 1) % s.size();
                }
                sounding = true;
            }
            clock_ += n;
            idle_ = sounding ? 0 : idle_ + n;
        }
        auto* out = reinterpret_cast<uchar*>(data);
        for (qint64 i = 0; i < n; ++i)
            qToLittleEndian<qint16>(toPcm16(mix_[std::size_t(i)]), out + 2 * i);
        return n * 2;
    }

private:
    struct Playing {
        const std::vector<float>* samples;
        std::size_t pos;
    };

    static void append(std::deque<float>& q, const std::vector<float>& s) {
        q.insert(q.end(), s.begin(), s.end());
        if (q.size() > maxQueuedSamples)
            q.erase(q.begin(), q.begin() + qsizetype(q.size() - maxQueuedSamples));
    }
    void promote(Reception& r) {
        if (r.heldFrames >= jitterStartFrames || clock_ - r.firstFrameAt >= jitterStartSamples) startVoice(r);
    }
    static void startVoice(Reception& r) {
        if (r.voiceStarted) return;
        r.voiceStarted = true;
        r.play.insert(r.play.end(), r.held.begin(), r.held.end());
        r.held.clear();
        r.heldFrames = 0;
    }

    mutable QMutex m_;
    std::map<quint64, Reception> receptions_;
    std::vector<Playing> tones_;
    bool sirenOn_ = false;
    std::size_t sirenPos_ = 0;
    int sirenFade_ = -1;
    qint64 clock_ = 0; // samples produced
    qint64 idle_ = 0;  // samples produced since anything last sounded
    std::vector<float> mix_;
};
} // namespace

struct RadioPlayer::Impl {
    std::shared_ptr<AudioOutput> output;
    Mixer mixer;
    std::map<quint64, RadioEffect> effects; // one per reception, so filter state never crosses voices
    bool radioSound = true;
    bool rogerBeep = true;
    QTimer idleCheck;
    QElapsedTimer lastFailure;
    bool failureLogged = false;

    // Opens the stream when something is about to play. Without a device the radio stays silent and
    // says so once in the log.
    bool ensureOpen() {
        if (output->isOpen()) return true;
        if (lastFailure.isValid() && lastFailure.elapsed() < reopenIntervalMs) return false;
        mixer.clear();
        if (output->open(&mixer)) {
            lastFailure.invalidate();
            idleCheck.start();
            return true;
        }
        lastFailure.start();
        if (!failureLogged) {
            failureLogged = true;
            TRKLog::log(QStringLiteral("Speaker: no sound output available; playing nothing"));
        }
        return false;
    }
    void closeIfIdle() {
        if (!output->isOpen()) {
            idleCheck.stop();
            return;
        }
        if (mixer.idleSamples() < closeAfterIdleSamples) return;
        output->close();
        mixer.clear();
        effects.clear();
        idleCheck.stop();
    }
};

RadioPlayer::RadioPlayer(std::shared_ptr<AudioOutput> output, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>()) {
    d->output = output ? std::move(output) : makeSystemAudioOutput();
    d->idleCheck.setInterval(250);
    connect(&d->idleCheck, &QTimer::timeout, this, [this] { d->closeIfIdle(); });
}

RadioPlayer::~RadioPlayer() {
    if (d->output->isOpen()) d->output->close();
}

void RadioPlayer::setRadioSound(bool on) {
    d->radioSound = on;
}

bool RadioPlayer::radioSound() const {
    return d->radioSound;
}

void RadioPlayer::setRogerBeep(bool on) {
    d->rogerBeep = on;
}

bool RadioPlayer::rogerBeep() const {
    return d->rogerBeep;
}

void RadioPlayer::beginReception(quint64 key) {
    if (!d->ensureOpen()) return;
    d->effects.erase(key);
    d->effects.try_emplace(key, double(rate));
    d->mixer.begin(key, d->radioSound ? &Tones::squelchBurst() : nullptr);
}

void RadioPlayer::playFrame(quint64 key, const QByteArray& pcm16le) {
    if (!d->ensureOpen()) return;
    // A frame for a reception that was never begun (its start was lost) still plays, without a burst.
    auto [it, fresh] = d->effects.try_emplace(key, double(rate));
    std::vector<float> s = Pcm::toFloats(pcm16le);
    if (d->radioSound) it->second.process(s.data(), s.size());
    d->mixer.frame(key, std::move(s));
}

void RadioPlayer::endReception(quint64 key) {
    if (d->effects.erase(key) == 0 || !d->output->isOpen()) return;
    std::vector<std::vector<float>> closing;
    if (d->rogerBeep) closing.push_back(Tones::roger());
    if (d->radioSound) closing.push_back(Tones::squelchTail());
    d->mixer.end(key, closing);
}

void RadioPlayer::playTone(Tone tone) {
    if (!d->ensureOpen()) return;
    d->mixer.tone(&Tones::samples(tone));
}

void RadioPlayer::startSiren() {
    if (!d->ensureOpen()) return;
    d->mixer.siren(true);
}

void RadioPlayer::stopSiren() {
    d->mixer.siren(false);
}

bool RadioPlayer::sirenPlaying() const {
    return d->mixer.sirenOn();
}
