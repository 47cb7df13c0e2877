#pragma once
// The cryptographic primitives, over OpenSSL 3 EVP. Nothing here throws; a failure is an empty result.
#include <QByteArray>
#include <optional>

namespace KeyVault {
inline constexpr int keyLength = 32;
inline constexpr int nonceLength = 12;
inline constexpr int tagLength = 16;

QByteArray sha256(const QByteArray& data); // 32 bytes
std::optional<QByteArray> pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int rounds,
                                       int length);
// ChaCha20-Poly1305: returns ciphertext || tag.
std::optional<QByteArray> seal(const QByteArray& key, const QByteArray& nonce, const QByteArray& plain,
                               const QByteArray& aad);
// Takes ciphertext || tag; nothing when the tag, key or AAD do not match.
std::optional<QByteArray> open(const QByteArray& key, const QByteArray& nonce, const QByteArray& sealed,
                               const QByteArray& aad);
std::optional<QByteArray> randomBytes(int count); // nothing when the random source fails
std::optional<QByteArray> randomKey();            // 32 random bytes
std::optional<quint64> randomU64();

// Copy-free forms for the packet path. `out` holds plainLength + tagLength bytes when sealing and
// sealedLength - tagLength bytes when opening; the key is keyLength bytes, the nonce nonceLength.
bool sealInto(const char* key, const char* nonce, const char* plain, qsizetype plainLength, const char* aad,
              qsizetype aadLength, char* out);
bool openInto(const char* key, const char* nonce, const char* sealed, qsizetype sealedLength, const char* aad,
              qsizetype aadLength, char* out);
bool randomInto(char* out, int count);
} // namespace KeyVault
