#pragma once
// One radio message and its sealed form, the unit every link carries unchanged:
// "QMT1" | fingerprint (16) | nonce (12) | ChaCha20-Poly1305(kind, txID, seq, sender, payload) | tag (16).
#include <QByteArray>
#include <optional>

class Channel;

enum class PacketKind : quint8 {
    start = 1,
    audio,
    end,
    hello,
    sos,
    sosUpdate,
    sosCancel,
    ack,
    radioCheck,
    radioCheckReply,
    text
};

inline constexpr qsizetype maxSealed = 65000;   // the cap everywhere: seal, open, links, relay
inline constexpr qsizetype sealedOverhead = 69; // header 20 + nonce 12 + inner header 21 + tag 16
inline constexpr qsizetype sealedHeaderLength = 20;
inline const QByteArray packetMagic = QByteArrayLiteral("QMT1");

struct Packet {
    PacketKind kind = PacketKind::hello;
    quint64 txID = 0;
    quint32 seq = 0;
    quint64 sender = 0;
    QByteArray payload;

    QByteArray encode() const;
    static std::optional<Packet> decode(const QByteArray& inner);

    // Nothing when the result would exceed maxSealed or the random source fails.
    std::optional<QByteArray> seal(const Channel& channel) const;
    static std::optional<Packet> open(const QByteArray& sealed, const Channel& channel);

    // The 16-byte fingerprint of a sealed packet, when it is long enough and carries the magic.
    static std::optional<QByteArray> fingerprint(const QByteArray& sealed);
    // Cheap shape check the links use: 69..maxSealed bytes beginning with the magic.
    static bool looksSealed(const QByteArray& bytes);

    bool operator==(const Packet&) const = default;
};
