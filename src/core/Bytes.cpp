#include "Bytes.h"

namespace {
template <typename T> void appendBE(QByteArray& out, T v) {
    char buf[sizeof(T)];
    for (size_t i = 0; i < sizeof(T); ++i)
        buf[i] = char((v >> (8 * (sizeof(T) - 1 - i))) & 0xff);
    out.append(buf, qsizetype(sizeof(T)));
}

template <typename T> std::optional<T> readBE(const QByteArray& in, qsizetype offset) {
    if (offset < 0 || offset > in.size() - qsizetype(sizeof(T))) return std::nullopt;
    T v = 0;
    const auto* p = reinterpret_cast<const uchar*>(in.constData()) + offset;
    for (size_t i = 0; i < sizeof(T); ++i)
        v = T((v << 8) | p[i]);
    return v;
}

constexpr char urlAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";

int urlValue(QChar c) {
    const ushort u = c.unicode();
    if (u >= 'A' && u <= 'Z') return u - 'A';
    if (u >= 'a' && u <= 'z') return u - 'a' + 26;
    if (u >= '0' && u <= '9') return u - '0' + 52;
    if (u == '-') return 62;
    if (u == '_') return 63;
    return -1;
}

int hexValue(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9') return u - '0';
    if (u >= 'a' && u <= 'f') return u - 'a' + 10;
    if (u >= 'A' && u <= 'F') return u - 'A' + 10;
    return -1;
}
} // namespace

namespace Bytes {
void appendU16(QByteArray& out, quint16 v) {
    appendBE(out, v);
}
void appendU32(QByteArray& out, quint32 v) {
    appendBE(out, v);
}
void appendU64(QByteArray& out, quint64 v) {
    appendBE(out, v);
}
std::optional<quint16> readU16(const QByteArray& in, qsizetype offset) {
    return readBE<quint16>(in, offset);
}
std::optional<quint32> readU32(const QByteArray& in, qsizetype offset) {
    return readBE<quint32>(in, offset);
}
std::optional<quint64> readU64(const QByteArray& in, qsizetype offset) {
    return readBE<quint64>(in, offset);
}

QString hex(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex());
}

std::optional<QByteArray> fromHex(QStringView text) {
    if (text.size() % 2) return std::nullopt;
    QByteArray out;
    out.reserve(text.size() / 2);
    for (qsizetype i = 0; i < text.size(); i += 2) {
        const int hi = hexValue(text[i]), lo = hexValue(text[i + 1]);
        if (hi < 0 || lo < 0) return std::nullopt;
        out.append(char(hi << 4 | lo));
    }
    return out;
}

QString base64Url(const QByteArray& bytes) {
    QString out;
    out.reserve((bytes.size() * 4 + 2) / 3);
    const auto* p = reinterpret_cast<const uchar*>(bytes.constData());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    for (; i + 3 <= n; i += 3) {
        const quint32 v = quint32(p[i]) << 16 | quint32(p[i + 1]) << 8 | p[i + 2];
        for (int s = 18; s >= 0; s -= 6)
            out.append(QLatin1Char(urlAlphabet[(v >> s) & 63]));
    }
    if (n - i == 1) {
        const quint32 v = quint32(p[i]) << 16;
        out.append(QLatin1Char(urlAlphabet[(v >> 18) & 63]));
        out.append(QLatin1Char(urlAlphabet[(v >> 12) & 63]));
    } else if (n - i == 2) {
        const quint32 v = quint32(p[i]) << 16 | quint32(p[i + 1]) << 8;
        out.append(QLatin1Char(urlAlphabet[(v >> 18) & 63]));
        out.append(QLatin1Char(urlAlphabet[(v >> 12) & 63]));
        out.append(QLatin1Char(urlAlphabet[(v >> 6) & 63]));
    }
    return out;
}

std::optional<QByteArray> fromBase64Url(QStringView text, bool allowPad) {
    if (allowPad) {
        // Padding only ever completes the last group to four characters.
        qsizetype pads = 0;
        while (pads < text.size() && text[text.size() - 1 - pads] == QLatin1Char('='))
            ++pads;
        if (pads > 2 || (pads > 0 && text.size() % 4 != 0)) return std::nullopt;
        text = text.first(text.size() - pads);
    }
    const qsizetype rest = text.size() % 4;
    if (rest == 1) return std::nullopt;
    QByteArray out;
    out.reserve(text.size() * 3 / 4);
    quint32 acc = 0;
    int bits = 0;
    for (QChar c : text) {
        const int v = urlValue(c);
        if (v < 0) return std::nullopt;
        acc = (acc << 6) | quint32(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.append(char((acc >> bits) & 0xff));
        }
    }
    // Canonical: the bits left over after the last whole byte must be zero.
    if (bits > 0 && (acc & ((1u << bits) - 1)) != 0) return std::nullopt;
    return out;
}
} // namespace Bytes
