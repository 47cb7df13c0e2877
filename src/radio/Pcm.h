#pragma once
// Conversions between 16-bit little-endian PCM bytes and float samples in -1..1.
#include "RadioEffect.h"

#include <QByteArray>
#include <QtEndian>
#include <algorithm>
#include <cstdlib>
#include <vector>

namespace Pcm {
inline std::vector<float> toFloats(const QByteArray& pcm) {
    const int n = int(pcm.size() / 2);
    std::vector<float> out(n);
    const auto* in = reinterpret_cast<const uchar*>(pcm.constData());
    for (int i = 0; i < n; ++i)
        out[i] = qFromLittleEndian<qint16>(in + 2 * i) / 32768.0f;
    return out;
}
inline QByteArray fromFloats(const float* s, std::size_t n) {
    QByteArray out(qsizetype(n * 2), Qt::Uninitialized);
    auto* o = reinterpret_cast<uchar*>(out.data());
    for (std::size_t i = 0; i < n; ++i)
        qToLittleEndian<qint16>(toPcm16(s[i]), o + 2 * i);
    return out;
}
inline QByteArray fromFloats(const std::vector<float>& s) {
    return fromFloats(s.data(), s.size());
}
// Peak of the frame, 0 to 1.
inline float peak(const QByteArray& pcm) {
    const auto* in = reinterpret_cast<const uchar*>(pcm.constData());
    int m = 0;
    for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
        m = std::max(m, std::abs(int(qFromLittleEndian<qint16>(in + i))));
    return std::min(1.0f, m / 32767.0f);
}
} // namespace Pcm
