// Opening takes bytes from any peer on the network. The first byte chooses whether the rest is
// opened as it is, or first sealed properly as an inner encoding so the checks past the tag run too.
#include "Channel.h"
#include "KeyVault.h"
#include "Packet.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const Channel channel(QStringLiteral("fuzz"), QByteArray(32, '\x42'), {});
    if (size == 0) return 0;
    const QByteArray rest(reinterpret_cast<const char*>(data) + 1, qsizetype(size - 1));
    QByteArray sealed = rest;
    if (data[0] & 1) {
        const QByteArray header = packetMagic + channel.channelIDBytes();
        const QByteArray nonce(12, '\x01');
        sealed = header + nonce + KeyVault::seal(channel.key(), nonce, rest, header).value_or(QByteArray());
    }
    Packet::looksSealed(sealed);
    Packet::fingerprint(sealed);
    const auto opened = Packet::open(sealed, channel);
    if (data[0] & 1) {
        // Whatever opens must match a plain decode of the inner bytes and survive a fresh seal.
        const auto decoded = Packet::decode(rest);
        const bool fits = sealed.size() <= maxSealed;
        if (bool(opened) != (bool(decoded) && fits)) std::abort();
        if (opened) {
            if (!(*opened == *decoded) || opened->encode() != rest) std::abort();
            const auto again = opened->seal(channel);
            if (!again || Packet::open(*again, channel) != opened) std::abort();
        }
    } else if (opened) {
        // Only a genuine packet for the fuzz key (a seed) gets here; it must re-encode to what was sealed.
        if (opened->encode().size() + sealedOverhead - 21 != sealed.size()) std::abort();
    }
    Packet::decode(rest);
    return 0;
}
