#pragma once
// Measuring synthetic signals in tests: levels, the strongest frequency, sine generators.
#include <QByteArray>
#include <QtEndian>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

namespace Probe {
inline constexpr double rate = 16000;

inline std::vector<float> sine(double hz, int count, float amplitude = 0.3f, double startPhase = 0) {
    std::vector<float> s(count);
    for (int i = 0; i < count; ++i)
        s[i] = amplitude * float(std::sin(startPhase + 2 * M_PI * hz * i / rate));
    return s;
}

inline QByteArray pcm(const std::vector<float>& s) {
    QByteArray out(qsizetype(s.size() * 2), Qt::Uninitialized);
    for (std::size_t i = 0; i < s.size(); ++i) {
        const long v = std::lround(std::clamp(s[i], -1.0f, 1.0f) * 32767.0f);
        qToLittleEndian<qint16>(qint16(v), reinterpret_cast<uchar*>(out.data()) + 2 * i);
    }
    return out;
}

inline std::vector<float> floats(const QByteArray& pcm) {
    std::vector<float> s(std::size_t(pcm.size() / 2));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = qFromLittleEndian<qint16>(reinterpret_cast<const uchar*>(pcm.constData()) + 2 * i) / 32768.0f;
    return s;
}

inline std::vector<qint16> ints(const QByteArray& pcm) {
    std::vector<qint16> s(std::size_t(pcm.size() / 2));
    for (std::size_t i = 0; i < s.size(); ++i)
        s[i] = qFromLittleEndian<qint16>(reinterpret_cast<const uchar*>(pcm.constData()) + 2 * i);
    return s;
}

inline double rms(const float* s, std::size_t n) {
    double sum = 0;
    for (std::size_t i = 0; i < n; ++i)
        sum += double(s[i]) * s[i];
    return n ? std::sqrt(sum / double(n)) : 0;
}
inline double rms(const std::vector<float>& s, std::size_t from = 0, std::size_t to = SIZE_MAX) {
    to = std::min(to, s.size());
    return from < to ? rms(s.data() + from, to - from) : 0;
}

// Power of one frequency over a window (Goertzel), normalised to amplitude.
inline double amplitudeAt(const float* s, std::size_t n, double hz) {
    const double w = 2 * M_PI * hz / rate, c = 2 * std::cos(w);
    double s1 = 0, s2 = 0;
    for (std::size_t i = 0; i < n; ++i) {
        // Hann window so neighbouring tones do not leak into each other.
        const double win = 0.5 - 0.5 * std::cos(2 * M_PI * double(i) / double(n - 1));
        const double s0 = s[i] * win + c * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    const double p = s1 * s1 + s2 * s2 - c * s1 * s2;
    return 4 * std::sqrt(std::max(0.0, p)) / double(n);
}

// Amplitude of one frequency averaged over blocks of 100 ms (or the whole span when shorter), so
// that a scan in 5 Hz steps cannot miss a peak between steps.
inline double levelAt(const float* s, std::size_t n, double hz) {
    constexpr std::size_t block = 1600;
    if (n < 2 * block) return amplitudeAt(s, n, hz);
    double sum = 0;
    std::size_t blocks = 0;
    for (std::size_t at = 0; at + block <= n; at += block, ++blocks)
        sum += amplitudeAt(s + at, block, hz);
    return sum / double(blocks);
}
inline double levelAt(const std::vector<float>& s, std::size_t from, std::size_t to, double hz) {
    to = std::min(to, s.size());
    return levelAt(s.data() + from, to - from, hz);
}

// The strongest frequency between lo and hi, in `step` Hz steps.
inline double mainFrequency(const float* s, std::size_t n, double lo = 80, double hi = 7000,
                            double step = 5) {
    double best = 0, bestHz = 0;
    for (double hz = lo; hz <= hi; hz += step) {
        const double a = levelAt(s, n, hz);
        if (a > best) best = a, bestHz = hz;
    }
    return bestHz;
}
inline double mainFrequency(const std::vector<float>& s, std::size_t from, std::size_t to, double lo = 80,
                            double hi = 7000) {
    to = std::min(to, s.size());
    return mainFrequency(s.data() + from, to - from, lo, hi);
}

// Largest jump between neighbouring samples: a wrap-around shows as a jump near full scale.
inline int largestStep(const std::vector<qint16>& s) {
    int m = 0;
    for (std::size_t i = 1; i < s.size(); ++i)
        m = std::max(m, std::abs(int(s[i]) - int(s[i - 1])));
    return m;
}
} // namespace Probe
