#include "RadioPlayer.h"

#include "Pcm.h"
#include "RadioEffect.h"
#include "TRKLog.h"
#include "Tones.h"

#include <QElapsedTimer>
#include <QMutex>
#include <QMutexLocker>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <limits>
#include <map>
#include <optional>
#include <pthread.h>

namespace {
constexpr int rate = Tones::sampleRate;
constexpr int frameSamples = rate / 10;            // 100 ms
constexpr qint64 closeAfterIdleSamples = rate * 2; // close the stream after 2 s of silence
constexpr std::size_t maxQueuedSamples = rate * 5; // a stalled device must not grow queues forever
constexpr int sirenFadeSamples = rate * 20 / 1000;
constexpr int reopenIntervalMs = 2000;

// The adaptive jitter buffer. A reception starts once its first frame has waited a margin: the spread
// of arrival times seen on its route (how late its last 64 frames came against the sender's even 100 ms
// pace, all but the worst one) plus the device's pull period, never less than 10 ms. A route that has
// seen under two seconds of frames assumes a wider spread, since its first frames (links and devices
// settling) come the least evenly: trusting the first second alone left gaps 1.4 to 1.8 s in. A gap
// (voice ran out before the next frame) adds its length (20 to 40 ms) to the margin at once, while the
// late frame itself plays as it comes; frames that come in time take that back within a second or so. When more is queued than the margin needs
// (the frames a network stall held back came in a bunch, or the device stalled while frames kept
// coming), a little is cut at each frame until the delay is back. Only frames that come while the
// device plays on count: frames handed over together are never cut.
constexpr qint64 minMarginSamples = rate * 10 / 1000;
constexpr qint64 maxMarginSamples = rate * 400 / 1000;
constexpr qint64 startCushionSamples = rate * 5 / 1000;  // a start waits this beyond the margin
constexpr qint64 youngSpreadSamples = rate * 25 / 1000;   // the least spread a new route assumes
constexpr std::size_t youngRouteFrames = 20;              // frames (2 s) before a route's spread is trusted
constexpr qint64 minUnderrunBoostSamples = rate * 20 / 1000; // added per gap: the gap's length, within these
constexpr qint64 maxUnderrunBoostSamples = rate * 40 / 1000;
constexpr qint64 boostDecaySamples = rate * 3 / 1000;     // taken back per frame that came in time
constexpr qint64 catchUpSlackSamples = rate * 3 / 1000;   // queued beyond margin and pull before cutting
constexpr qint64 catchUpStepSamples = rate * 50 / 1000;   // cut at most this much per frame
constexpr int crossfadeSamples = rate * 5 / 1000;         // where a cut joins, no click
constexpr qint64 maxLatenessSamples = rate * 300 / 1000;  // one stall must not set the margin for long
constexpr std::size_t spreadWindow = 64;                  // frames remembered per route
constexpr quint32 maxSilentFrames = 10;                   // a forged jump in numbering stays short
constexpr std::size_t periodWindow = 15;                  // device pulls remembered
constexpr qint64 maxPeriodSamples = frameSamples;

// Keeps the newest `limit` values.
void pushBounded(std::deque<qint64>& window, qint64 value, std::size_t limit) {
    window.push_back(value);
    if (window.size() > limit) window.pop_front();
}

// The worst value but one: a lone late frame (one stall, answered by the boost) does not set the
// margin, while a second within the window does. A 95th percentile let three late frames of 64 pass,
// and on a busy machine each of them was a gap in the voice.
qint64 allButWorst(const std::deque<qint64>& window) {
    if (window.size() < 2) return window.empty() ? 0 : window.front();
    qint64 worst = std::numeric_limits<qint64>::min(), next = worst;
    for (qint64 v : window) {
        if (v > worst) {
            next = worst;
            worst = v;
        } else if (v > next) {
            next = v;
        }
    }
    return next;
}

// The value `percent` of the way up the sorted window; the window must not be empty.
qint64 percentile(const std::deque<qint64>& window, std::size_t percent) {
    std::vector<qint64> sorted(window.begin(), window.end());
    const std::size_t at = std::min(sorted.size() - 1, sorted.size() * percent / 100);
    std::nth_element(sorted.begin(), sorted.begin() + qsizetype(at), sorted.end());
    return sorted[at];
}

// The speaker's real-time thread takes the mixer's lock on every pull, while the threads that feed
// the mixer run at ordinary priority: one the machine preempted while holding the lock would keep
// the speaker waiting past its queue. Priority inheritance lends the holder the waiting thread's
// priority until it lets go (where the system refuses it, this is a plain lock).
class SpeakerLock {
public:
    SpeakerLock() {
        pthread_mutexattr_t a;
        pthread_mutexattr_init(&a);
        pthread_mutexattr_setprotocol(&a, PTHREAD_PRIO_INHERIT);
        pthread_mutex_init(&m_, &a);
        pthread_mutexattr_destroy(&a);
    }
    ~SpeakerLock() { pthread_mutex_destroy(&m_); }
    SpeakerLock(const SpeakerLock&) = delete;
    SpeakerLock& operator=(const SpeakerLock&) = delete;
    void lock() { pthread_mutex_lock(&m_); }
    void unlock() { pthread_mutex_unlock(&m_); }

private:
    pthread_mutex_t m_;
};

// Everything the output pulls: receptions, tones and the siren, summed. The device pulls from its own
// thread; the player adds to it from its own.
class Mixer : public QIODevice {
public:
    struct Reception {
        quint64 route = 0;
        std::deque<float> play; // may be played now
        std::deque<float> held; // voice waiting for its margin
        qint64 waitFrom = -1;   // mixer clock when the held voice started waiting
        bool voiceStarted = false;
        bool starving = false;   // voice ran out before the next frame came
        qint64 starved = 0;      // samples of silence played since
        qint64 lastArrival = -1; // mixer clock at the previous frame
        bool ended = false;
        bool haveSeq = false;
        quint32 firstSeq = 0, lastSeq = 0;
        qint64 minTransit = std::numeric_limits<qint64>::max();
    };
    struct Route {
        std::deque<qint64> lateness; // samples late against the earliest frame of its reception
        qint64 boost = 0;
    };

    Mixer() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }

    bool isSequential() const override { return true; }
    // Pull-mode sinks read only what a device reports as available; there is always sound (or
    // silence) to give, one frame at a time so nothing is produced far ahead of the device.
    qint64 bytesAvailable() const override { return frameSamples * 2 + QIODevice::bytesAvailable(); }

    void begin(quint64 key, quint64 route, const std::vector<float>* opening) {
        QMutexLocker l(&m_);
        Reception& r = receptions_[key];
        r = Reception{};
        r.route = route;
        if (opening) r.play.insert(r.play.end(), opening->begin(), opening->end());
    }
    void frame(quint64 key, std::optional<quint32> givenSeq, std::vector<float> samples) {
        QMutexLocker l(&m_);
        auto found = receptions_.find(key);
        if (found == receptions_.end()) found = receptions_.emplace(key, Reception{}).first;
        Reception& r = found->second;
        if (r.ended) return; // a straggler after the end must not cut off the roger beep
        const quint32 seq = givenSeq.value_or(r.haveSeq ? r.lastSeq + 1 : 1);
        if (r.haveSeq && seq <= r.lastSeq) return; // late or repeated: its place has been played
        quint32 missing = 0;
        if (!r.haveSeq) {
            r.haveSeq = true;
            r.firstSeq = seq;
        } else {
            missing = std::min(seq - r.lastSeq - 1, maxSilentFrames);
        }
        r.lastSeq = seq;
        Route& route = routes_[r.route];

        // A lost frame is silence of its length at its place. When the voice ran dry meanwhile, part
        // of that silence has been played already; only a frame later than its place is a gap.
        qint64 silence = qint64(missing) * frameSamples;
        bool gap = false;
        if (r.starving) {
            const qint64 late = r.starved - silence;
            silence = std::max<qint64>(0, -late);
            r.starving = false;
            if (late > 0) {
                ++underruns_;
                // The late frame plays as it comes: the silence heard so far is the gap, and the queue
                // keeps the lateness as extra margin. Waiting the whole wider margin again made every
                // late frame a gap of its lateness plus that margin (40-130 ms on a busy machine).
                route.boost = std::min(route.boost + std::clamp(late, minUnderrunBoostSamples, maxUnderrunBoostSamples), maxMarginSamples);
                gap = true;
            }
        }
        const qint64 transit = learn(r, route, seq);
        // The gap counts once in the spread, so gaps that keep coming widen the margin for good; one
        // stall is not the usual spread, so lateness is counted afresh from this frame on and the
        // boost alone answers it.
        if (gap) r.minTransit = transit;
        if (silence > 0) samples.insert(samples.begin(), std::size_t(silence), 0.0f);
        const bool deviceMoved = clock_ != r.lastArrival;
        r.lastArrival = clock_;
        if (r.voiceStarted) {
            if (!gap) route.boost = std::max<qint64>(0, route.boost - boostDecaySamples);
            if (deviceMoved) catchUp(r, samples);
            append(r.play, samples);
        } else {
            if (r.waitFrom < 0) r.waitFrom = clock_;
            append(r.held, samples);
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
    int underruns() const {
        QMutexLocker l(&m_);
        return underruns_;
    }
    qint64 marginFor(quint64 route) const {
        QMutexLocker l(&m_);
        return margin(route);
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
        receptions_.clear(); // what the routes learned stays: it is about the network, not the stream
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
            notePull(n);
            for (auto it = receptions_.begin(); it != receptions_.end();) {
                Reception& r = it->second;
                if (!r.voiceStarted && r.waitFrom >= 0) promote(r);
                const std::size_t take = std::min<std::size_t>(std::size_t(n), r.play.size());
                for (std::size_t i = 0; i < take; ++i)
                    mix_[i] += r.play[i];
                r.play.erase(r.play.begin(), r.play.begin() + qsizetype(take));
                // Voice ran out in the middle of a reception: whether that is a gap or the place of a
                // lost frame is known when the next frame comes.
                if (r.voiceStarted && !r.ended && take < std::size_t(n)) {
                    if (!r.starving) r.starved = 0;
                    r.starving = true;
                    r.starved += n - qint64(take);
                }
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
    // Held voice plays once it has waited the margin and the start's cushion, or at once when more than
    // a frame beyond that is already in (frames that came in a bunch need no further wait). The cushion:
    // the first frame may be the earliest of its reception and every later one plays against it, while
    // lateness is seen only a whole pull at a time. Waiting the margin alone ran dry about once in five
    // minutes of talk on loopback, on a frame one pull later than the spread seen.
    void promote(Reception& r) {
        const qint64 m = margin(r.route) + startCushionSamples;
        if (clock_ - r.waitFrom >= m || qint64(r.held.size()) >= frameSamples + m) startVoice(r);
    }
    static void startVoice(Reception& r) {
        if (r.voiceStarted) return;
        r.voiceStarted = true;
        r.play.insert(r.play.end(), r.held.begin(), r.held.end());
        r.held.clear();
        r.waitFrom = -1;
    }
    // How late this frame came against the earliest one of its reception, at the sender's pace; its transit.
    qint64 learn(Reception& r, Route& route, quint32 seq) {
        const qint64 transit = clock_ - qint64(seq - r.firstSeq) * frameSamples;
        r.minTransit = std::min(r.minTransit, transit);
        pushBounded(route.lateness, std::min(transit - r.minTransit, maxLatenessSamples), spreadWindow);
        return transit;
    }
    qint64 margin(quint64 routeKey) const {
        qint64 spread = 0;
        qint64 boost = 0;
        if (const auto it = routes_.find(routeKey); it != routes_.end()) {
            boost = it->second.boost;
            if (!it->second.lateness.empty()) spread = allButWorst(it->second.lateness);
            if (it->second.lateness.size() < youngRouteFrames) spread = std::max(spread, youngSpreadSamples);
        } else {
            spread = youngSpreadSamples;
        }
        return std::clamp(spread + period() + boost, minMarginSamples, maxMarginSamples);
    }
    qint64 period() const {
        if (pulls_.empty()) return 0;
        return std::min(percentile(pulls_, 50), maxPeriodSamples);
    }
    void notePull(qint64 n) { pushBounded(pulls_, n, periodWindow); }
    // More queued ahead of this frame than the margin needs: cut a little off the end of what is
    // queued and fade it into the new frame, so the delay comes back down within a few frames.
    void catchUp(Reception& r, std::vector<float>& next) {
        // The queue swings by a pull as the device takes its pieces: that much is no excess.
        const qint64 slack = catchUpSlackSamples + period();
        const qint64 excess = qint64(r.play.size()) - margin(r.route);
        if (excess <= slack || next.empty()) return;
        const qint64 cut = std::min(excess - slack, catchUpStepSamples);
        const qint64 keep = qint64(r.play.size()) - cut;
        const int fade = int(std::min<qint64>({crossfadeSamples, keep, qint64(next.size())}));
        // The last `fade` kept samples blend into the first `fade` samples of the new frame.
        for (int i = 0; i < fade; ++i) {
            const float g = float(i + 1) / float(fade + 1);
            float& kept = r.play[std::size_t(keep - fade + i)];
            kept = kept * (1 - g) + next[std::size_t(i)] * g;
        }
        r.play.erase(r.play.begin() + qsizetype(keep), r.play.end());
        next.erase(next.begin(), next.begin() + fade);
    }

    mutable SpeakerLock m_;
    std::map<quint64, Reception> receptions_;
    std::map<quint64, Route> routes_;
    std::deque<qint64> pulls_;
    int underruns_ = 0;
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
    void frame(quint64 key, std::optional<quint32> seq, const QByteArray& pcm16le) {
        if (!ensureOpen()) return;
        // A frame for a reception that was never begun (its start was lost) still plays, without a burst.
        auto [it, fresh] = effects.try_emplace(key, double(rate));
        std::vector<float> s = Pcm::toFloats(pcm16le);
        if (radioSound) it->second.process(s.data(), s.size());
        mixer.frame(key, seq, std::move(s));
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

void RadioPlayer::beginReception(quint64 key, quint64 route) {
    if (!d->ensureOpen()) return;
    d->effects.erase(key);
    d->effects.try_emplace(key, double(rate));
    d->mixer.begin(key, route, d->radioSound ? &Tones::squelchBurst() : nullptr);
}

void RadioPlayer::playFrame(quint64 key, quint32 seq, const QByteArray& pcm16le) {
    d->frame(key, seq, pcm16le);
}

void RadioPlayer::playFrame(quint64 key, const QByteArray& pcm16le) {
    d->frame(key, std::nullopt, pcm16le);
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

int RadioPlayer::underruns() const {
    return d->mixer.underruns();
}

double RadioPlayer::marginMs(quint64 route) const {
    return double(d->mixer.marginFor(route)) * 1000.0 / rate;
}
