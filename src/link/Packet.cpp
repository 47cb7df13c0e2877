#include "Packet.h"

#include "Bytes.h"
#include "Channel.h"
#include "KeyVault.h"

#include <cstring>

namespace {
constexpr qsizetype innerHeaderLength = 21; // kind 1 + txID 8 + seq 4 + sender 8
constexpr qsizetype nonceOffset = sealedHeaderLength;
constexpr qsizetype boxOffset = sealedHeaderLength + KeyVault::nonceLength;

void putU32(char* p, quint32 v) {
    for (int i = 0; i < 4; ++i)
        p[i] = char(v >> (24 - 8 * i));
}
void putU64(char* p, quint64 v) {
    for (int i = 0; i < 8; ++i)
        p[i] = char(v >> (56 - 8 * i));
}
quint32 getU32(const char* p) {
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v = v << 8 | uchar(p[i]);
    return v;
}
quint64 getU64(const char* p) {
    quint64 v = 0;
    for (int i = 0; i < 8; ++i)
        v = v << 8 | uchar(p[i]);
    return v;
}

bool validKind(uchar k) {
    return k >= 1 && k <= 11;
}

void writeInner(const Packet& p, char* out) {
    out[0] = char(p.kind);
    putU64(out + 1, p.txID);
    putU32(out + 9, p.seq);
    putU64(out + 13, p.sender);
    if (!p.payload.isEmpty())
        std::memcpy(out + innerHeaderLength, p.payload.constData(), size_t(p.payload.size()));
}

std::optional<Packet> readInner(const char* in, qsizetype length) {
    if (length < innerHeaderLength || !validKind(uchar(in[0]))) return std::nullopt;
    Packet p;
    p.kind = PacketKind(uchar(in[0]));
    p.txID = getU64(in + 1);
    p.seq = getU32(in + 9);
    p.sender = getU64(in + 13);
    p.payload = QByteArray(in + innerHeaderLength, length - innerHeaderLength);
    return p;
}
} // namespace

QByteArray Packet::encode() const {
    QByteArray out(innerHeaderLength + payload.size(), Qt::Uninitialized);
    writeInner(*this, out.data());
    return out;
}

std::optional<Packet> Packet::decode(const QByteArray& inner) {
    return readInner(inner.constData(), inner.size());
}

std::optional<QByteArray> Packet::seal(const Channel& channel) const {
    const qsizetype total = sealedOverhead + payload.size();
    if (total > maxSealed || !channel.isValid() || !validKind(uchar(kind))) return std::nullopt;
    const qsizetype innerLength = innerHeaderLength + payload.size();
    // The inner form is built in place where the box will go, then sealed over itself.
    QByteArray out(total, Qt::Uninitialized);
    char* p = out.data();
    std::memcpy(p, packetMagic.constData(), 4);
    std::memcpy(p + 4, channel.channelIDBytes().constData(), 16);
    if (!KeyVault::randomInto(p + nonceOffset, KeyVault::nonceLength)) return std::nullopt;
    writeInner(*this, p + boxOffset);
    if (!KeyVault::sealInto(channel.key().constData(), p + nonceOffset, p + boxOffset, innerLength, p,
                            sealedHeaderLength, p + boxOffset))
        return std::nullopt;
    return out;
}

std::optional<Packet> Packet::open(const QByteArray& sealed, const Channel& channel) {
    if (!looksSealed(sealed) || !channel.isValid()) return std::nullopt;
    const char* p = sealed.constData();
    if (std::memcmp(p + 4, channel.channelIDBytes().constData(), 16) != 0) return std::nullopt;
    const qsizetype boxLength = sealed.size() - boxOffset;
    const qsizetype innerLength = boxLength - KeyVault::tagLength;
    QByteArray inner(innerLength, Qt::Uninitialized);
    if (!KeyVault::openInto(channel.key().constData(), p + nonceOffset, p + boxOffset, boxLength, p,
                            sealedHeaderLength, inner.data()))
        return std::nullopt;
    if (!validKind(uchar(inner[0]))) return std::nullopt;
    Packet out;
    out.kind = PacketKind(uchar(inner[0]));
    out.txID = getU64(inner.constData() + 1);
    out.seq = getU32(inner.constData() + 9);
    out.sender = getU64(inner.constData() + 13);
    // Reuse the decrypted buffer for the payload instead of copying it once more.
    inner.remove(0, innerHeaderLength);
    out.payload = std::move(inner);
    return out;
}

std::optional<QByteArray> Packet::fingerprint(const QByteArray& sealed) {
    if (sealed.size() < sealedHeaderLength || !sealed.startsWith(packetMagic)) return std::nullopt;
    return sealed.mid(4, 16);
}

bool Packet::looksSealed(const QByteArray& bytes) {
    return bytes.size() >= sealedOverhead && bytes.size() <= maxSealed && bytes.startsWith(packetMagic);
}
