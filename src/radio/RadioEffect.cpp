#include "RadioEffect.h"
#include "Pcm.h"

#include <QtEndian>
#include <algorithm>
#include <cmath>

namespace {
struct Coeffs {
    double w0, cosw, alpha;
};
Coeffs prepare(double rate, double freq, double q) {
    const double w0 = 2 * M_PI * freq / rate;
    return {w0, std::cos(w0), std::sin(w0) / (2 * q)};
}
Biquad normalised(double b0, double b1, double b2, double a0, double a1, double a2) {
    Biquad f;
    f.b0 = float(b0 / a0);
    f.b1 = float(b1 / a0);
    f.b2 = float(b2 / a0);
    f.a1 = float(a1 / a0);
    f.a2 = float(a2 / a0);
    return f;
}
} // namespace

Biquad Biquad::highPass(double rate, double freq, double q) {
    const auto c = prepare(rate, freq, q);
    return normalised((1 + c.cosw) / 2, -(1 + c.cosw), (1 + c.cosw) / 2, 1 + c.alpha, -2 * c.cosw,
                      1 - c.alpha);
}

Biquad Biquad::lowPass(double rate, double freq, double q) {
    const auto c = prepare(rate, freq, q);
    return normalised((1 - c.cosw) / 2, 1 - c.cosw, (1 - c.cosw) / 2, 1 + c.alpha, -2 * c.cosw, 1 - c.alpha);
}

Biquad Biquad::bandPass(double rate, double freq, double q) {
    const auto c = prepare(rate, freq, q);
    return normalised(c.alpha, 0, -c.alpha, 1 + c.alpha, -2 * c.cosw, 1 - c.alpha);
}

Biquad Biquad::peaking(double rate, double freq, double q, double gainDb) {
    const auto c = prepare(rate, freq, q);
    const double a = std::pow(10.0, gainDb / 40);
    return normalised(1 + c.alpha * a, -2 * c.cosw, 1 - c.alpha * a, 1 + c.alpha / a, -2 * c.cosw,
                      1 - c.alpha / a);
}

float softClip(float x) {
    // tanh as a rational function (its continued fraction cut after the seventh order), which reaches
    // 1 near 4.97 and is held there: within 1e-4 of tanh everywhere, far below a 16-bit step after the
    // make-up gain, at a fraction of tanhf's cost on every received sample.
    x = std::clamp(x, -5.0f, 5.0f); // past where it is 1 anyway; keeps x^6 finite
    const float x2 = x * x;
    const float y = x * (135135.0f + x2 * (17325.0f + x2 * (378.0f + x2))) /
                    (135135.0f + x2 * (62370.0f + x2 * (3150.0f + x2 * 28.0f)));
    return std::clamp(y, -1.0f, 1.0f);
}

qint16 toPcm16(float x) {
    // The same scale as the way in (1/32768 a step), so clean sound comes back sample for sample.
    return qint16(std::lround(std::clamp(x * 32768.0f, -32768.0f, 32767.0f)));
}

RadioEffect::RadioEffect(double rate)
    : hp1_(Biquad::highPass(rate, highPassHz, 0.5412)), hp2_(Biquad::highPass(rate, highPassHz, 1.3066)),
      lp1_(Biquad::lowPass(rate, lowPassHz, 0.5412)), lp2_(Biquad::lowPass(rate, lowPassHz, 1.3066)),
      presence_(Biquad::peaking(rate, presenceHz, 1.0, presenceDb)) {}

void RadioEffect::reset() {
    for (Biquad* f : {&hp1_, &hp2_, &lp1_, &lp2_, &presence_})
        f->clear();
}

void RadioEffect::process(float* s, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
        float v = hp2_.step(hp1_.step(s[i]));
        v = lp2_.step(lp1_.step(v));
        v = presence_.step(v);
        // Loud peaks crunch like an overdriven handheld; quiet speech passes nearly linearly.
        v = softClip(v * drive) / drive * makeUp;
        s[i] = v;
    }
}

QByteArray RadioEffect::process(const QByteArray& pcm) {
    auto buf = Pcm::toFloats(pcm);
    process(buf.data(), buf.size());
    return Pcm::fromFloats(buf);
}
