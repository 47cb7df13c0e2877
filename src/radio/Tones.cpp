#include "Tones.h"

#include "RadioEffect.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace {
constexpr double rate = Tones::sampleRate;

int ms(double milliseconds) {
    return int(std::lround(milliseconds * rate / 1000));
}

// Raised-cosine fade in and out over `fade` samples at both ends of [from, from + count).
void fadeEnds(std::vector<float>& s, std::size_t from, std::size_t count, int fade) {
    const std::size_t f = std::min<std::size_t>(fade, count / 2);
    for (std::size_t i = 0; i < f; ++i) {
        const float g = float(0.5 - 0.5 * std::cos(M_PI * double(i) / double(f)));
        s[from + i] *= g;
        s[from + count - 1 - i] *= g;
    }
}

void appendSine(std::vector<float>& s, double hz, int count, float amplitude, int fade) {
    const std::size_t from = s.size();
    for (int i = 0; i < count; ++i)
        s.push_back(amplitude * float(std::sin(2 * M_PI * hz * i / rate)));
    fadeEnds(s, from, count, fade);
}

void appendSilence(std::vector<float>& s, int count) {
    s.insert(s.end(), count, 0.0f);
}

// Deterministic noise so that every burst sounds the same and tests can rely on it.
std::vector<float> squelchNoise(int length, double attackMs, double decayMs, float amplitude,
                                std::uint32_t seed) {
    std::vector<float> s(length);
    Biquad band = Biquad::bandPass(rate, Tones::squelchCentreHz, 0.6);
    Biquad top = Biquad::lowPass(rate, 5000, 0.707);
    std::uint32_t x = seed;
    const int attack = ms(attackMs);
    const double tau = decayMs * rate / 1000;
    for (int i = 0; i < length; ++i) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        const float white = float(double(x) / 2147483648.0 - 1.0);
        const float v = top.step(band.step(white)) * 2.2f;
        const double env = i < attack ? double(i) / attack : std::exp(-(i - attack) / tau);
        s[i] = std::clamp(v, -1.0f, 1.0f) * amplitude * float(env);
    }
    fadeEnds(s, length - ms(4), ms(4), ms(2)); // end exactly at zero
    return s;
}

std::vector<float> makeTalkPermit() {
    std::vector<float> s;
    appendSine(s, Tones::talkPermitLowHz, ms(70), 0.3f, ms(5));
    appendSilence(s, ms(15));
    appendSine(s, Tones::talkPermitHighHz, ms(80), 0.3f, ms(5));
    return s;
}

std::vector<float> makeBusy() {
    std::vector<float> s;
    for (int i = 0; i < 3; ++i) {
        if (i) appendSilence(s, ms(70));
        appendSine(s, Tones::busyHz, ms(110), 0.35f, ms(8));
    }
    return s;
}

std::vector<float> makeRoger() {
    std::vector<float> s;
    appendSine(s, Tones::rogerFirstHz, ms(80), 0.3f, ms(4));
    appendSine(s, Tones::rogerSecondHz, ms(100), 0.3f, ms(4));
    return s;
}

std::vector<float> makeSiren() {
    const int n = ms(Tones::sirenCycleSeconds * 1000);
    std::vector<float> s(n);
    double phase = 0;
    for (int i = 0; i < n; ++i) {
        const double t = double(i) / n; // 0..1 over the cycle
        const double tri = t < 0.5 ? t * 2 : 2 - t * 2;
        const double hz = Tones::sirenLowHz + (Tones::sirenHighHz - Tones::sirenLowHz) * tri;
        s[i] = 0.35f * float(std::sin(phase));
        phase += 2 * M_PI * hz / rate;
    }
    return s;
}
} // namespace

const std::vector<float>& Tones::talkPermit() {
    static const auto s = makeTalkPermit();
    return s;
}

const std::vector<float>& Tones::busy() {
    static const auto s = makeBusy();
    return s;
}

const std::vector<float>& Tones::roger() {
    static const auto s = makeRoger();
    return s;
}

const std::vector<float>& Tones::squelchBurst() {
    static const auto s = squelchNoise(ms(180), 3, 60, 0.3f, 0x9e3779b9u);
    return s;
}

const std::vector<float>& Tones::squelchTail() {
    static const auto s = squelchNoise(ms(110), 2, 30, 0.3f, 0x85ebca6bu);
    return s;
}

const std::vector<float>& Tones::sirenCycle() {
    static const auto s = makeSiren();
    return s;
}

const std::vector<float>& Tones::samples(Tone tone) {
    switch (tone) {
    case Tone::talkPermit:
        return talkPermit();
    case Tone::busy:
        return busy();
    case Tone::roger:
        return roger();
    case Tone::squelchBurst:
        return squelchBurst();
    case Tone::squelchTail:
        return squelchTail();
    }
    return busy();
}
