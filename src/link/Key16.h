#pragma once
// Sixteen bytes held as two integers: a packet's fingerprint or its last 16 bytes (the cipher tag),
// read straight from the sealed bytes. Tables keyed by it cost no allocation per packet.
#include <QByteArray>
#include <QHashFunctions>
#include <cstring>

struct Key16 {
    quint64 a = 0, b = 0;

    static Key16 at(const char* p) {
        Key16 k;
        std::memcpy(&k.a, p, 8);
        std::memcpy(&k.b, p + 8, 8);
        return k;
    }
    // The bytes must hold at least 16.
    static Key16 of(const QByteArray& bytes) { return at(bytes.constData()); }
    // The last 16 bytes; the bytes must hold at least 16.
    static Key16 tail(const QByteArray& bytes) { return at(bytes.constData() + bytes.size() - 16); }

    QByteArray bytes() const {
        QByteArray out(16, Qt::Uninitialized);
        std::memcpy(out.data(), &a, 8);
        std::memcpy(out.data() + 8, &b, 8);
        return out;
    }
    bool operator==(const Key16&) const = default;
};

// Seeded per process like every QHash key, and a few multiplications instead of a byte-string hash.
// Strangers choose the fingerprints they send, but every table they can fill is capped in size.
inline size_t qHash(const Key16& k, size_t seed = 0) noexcept {
    return qHashMulti(seed, k.a, k.b);
}
