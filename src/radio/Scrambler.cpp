#include "Scrambler.h"

#include "Pcm.h"
#include "RadioEffect.h"

#include <soundtouch/SoundTouch.h>

#include <cmath>

namespace {
constexpr double rate = 16000;
constexpr int wobbleBlock = 160; // pitch is updated every 10 ms for a smooth warble
} // namespace

struct Scrambler::Shifter {
    soundtouch::SoundTouch st;
    std::vector<float> fifo; // shifted samples waiting to go out
    std::size_t head = 0;

    std::size_t available() const { return fifo.size() - head; }
    void collect() {
        const uint n = st.numSamples();
        if (!n) return;
        const std::size_t old = fifo.size();
        fifo.resize(old + n);
        const uint got = st.receiveSamples(fifo.data() + old, n);
        fifo.resize(old + got);
    }
    void take(float* out, std::size_t n) {
        std::copy_n(fifo.begin() + head, n, out);
        head += n;
        if (head > 8192) {
            fifo.erase(fifo.begin(), fifo.begin() + head);
            head = 0;
        }
    }
};

Scrambler::Voice Scrambler::voice(ScrambleMode mode) {
    Voice v;
    switch (mode) {
    case ScrambleMode::deep:
        v.pitchSemitones = -5;
        break;
    case ScrambleMode::high:
        v.pitchSemitones = 5;
        break;
    case ScrambleMode::robot:
        v.ringHz = 70;
        v.ringMix = 1;
        v.combDelay = 80; // 5 ms: a metallic ring at multiples of 200 Hz
        v.combFeedback = 0.55f;
        break;
    case ScrambleMode::alien:
        v.pitchSemitones = 3;
        v.wobbleSemitones = 2.5;
        v.wobbleHz = 5;
        v.ringHz = 180;
        v.ringMix = 0.3f;
        break;
    case ScrambleMode::shadow:
        v.pitchSemitones = -4;
        v.ringHz = 45;
        v.ringMix = 0.4f;
        v.drive = 2;
        break;
    }
    return v;
}

Scrambler::Scrambler(ScrambleMode mode) : mode_(mode), v_(voice(mode)) {
    reset();
}

Scrambler::~Scrambler() = default;

void Scrambler::reset() {
    ringPhase_ = 0;
    wobblePhase_ = 0;
    comb_.assign(std::size_t(v_.combDelay), 0.0f);
    combPos_ = 0;
    shifter_.reset();
    if (v_.pitchSemitones == 0 && v_.wobbleSemitones == 0) return;
    shifter_ = std::make_unique<Shifter>();
    auto& st = shifter_->st;
    st.setSampleRate(uint(rate));
    st.setChannels(1);
    st.setPitchSemiTones(v_.pitchSemitones);
    st.setSetting(SETTING_USE_QUICKSEEK, 1);
    // Start a little behind, by two processing sequences, so the shifter's uneven output rarely
    // leaves a frame short later on.
    shifter_->fifo.assign(std::size_t(2 * st.getSetting(SETTING_NOMINAL_OUTPUT_SEQUENCE)), 0.0f);
}

void Scrambler::shape(float* s, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) {
        float x = s[i];
        if (v_.ringMix > 0) {
            const float carrier = float(std::sin(ringPhase_));
            ringPhase_ += 2 * M_PI * v_.ringHz / rate;
            if (ringPhase_ > 2 * M_PI) ringPhase_ -= 2 * M_PI;
            x = x * (1 - v_.ringMix) + x * carrier * v_.ringMix * 2; // ring halves the level; restore it
        }
        if (v_.combDelay > 0) {
            const float y = x + v_.combFeedback * comb_[combPos_];
            comb_[combPos_] = y;
            combPos_ = (combPos_ + 1) % comb_.size();
            x = y * (1 - v_.combFeedback);
        }
        if (v_.drive > 0) x = softClip(x * v_.drive) / v_.drive * 1.2f;
        s[i] = x;
    }
}

QByteArray Scrambler::process(const QByteArray& pcm) {
    std::vector<float> in = Pcm::toFloats(pcm);
    const std::size_t n = in.size();
    std::vector<float> out(n, 0.0f);
    if (shifter_) {
        auto& sh = *shifter_;
        if (v_.wobbleSemitones != 0) {
            for (std::size_t at = 0; at < n; at += wobbleBlock) {
                const std::size_t len = std::min<std::size_t>(wobbleBlock, n - at);
                sh.st.setPitchSemiTones(v_.pitchSemitones + v_.wobbleSemitones * std::sin(wobblePhase_));
                wobblePhase_ += 2 * M_PI * v_.wobbleHz * double(len) / rate;
                if (wobblePhase_ > 2 * M_PI) wobblePhase_ -= 2 * M_PI;
                sh.st.putSamples(in.data() + at, uint(len));
            }
        } else {
            sh.st.putSamples(in.data(), uint(n));
        }
        sh.collect();
        // What the shifter still owes is paid in silence ahead of its output, which only happens
        // while it fills up at the start.
        const std::size_t have = std::min(sh.available(), n);
        sh.take(out.data() + (n - have), have);
    } else {
        out = in;
    }
    shape(out.data(), n);
    return Pcm::fromFloats(out);
}

QList<QByteArray> Scrambler::flush(int maxBytes) {
    QList<QByteArray> frames;
    if (!shifter_) return frames;
    auto& sh = *shifter_;
    sh.st.flush();
    sh.collect();
    const std::size_t per = std::size_t(std::max(2, maxBytes) / 2);
    while (sh.available() > 0) {
        const std::size_t n = std::min(per, sh.available());
        std::vector<float> out(n);
        sh.take(out.data(), n);
        shape(out.data(), n);
        frames.append(Pcm::fromFloats(out));
    }
    return frames;
}
