#include "KeyVault.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

#include <memory>

namespace {
// Fetched once: an implicit fetch on every init would cost more than sealing a voice frame.
const EVP_CIPHER* chacha() {
    static EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "ChaCha20-Poly1305", nullptr);
    return cipher;
}

const EVP_MD* sha256Md() {
    static EVP_MD* md = EVP_MD_fetch(nullptr, "SHA256", nullptr);
    return md;
}

// A context per call: cheap next to sealing a voice frame, and nothing outlives the library's own
// clean-up at exit the way a per-thread context would.
using Context = std::unique_ptr<EVP_CIPHER_CTX, decltype(&EVP_CIPHER_CTX_free)>;
Context newContext() {
    return Context(EVP_CIPHER_CTX_new(), &EVP_CIPHER_CTX_free);
}

const uchar* u(const char* p) {
    return reinterpret_cast<const uchar*>(p);
}
uchar* u(char* p) {
    return reinterpret_cast<uchar*>(p);
}
} // namespace

namespace KeyVault {
QByteArray sha256(const QByteArray& data) {
    QByteArray out(32, Qt::Uninitialized);
    unsigned int len = 0;
    const EVP_MD* md = sha256Md();
    if (!md || !EVP_Digest(data.constData(), size_t(data.size()), u(out.data()), &len, md, nullptr) ||
        len != 32)
        return {};
    return out;
}

std::optional<QByteArray> pbkdf2Sha256(const QByteArray& password, const QByteArray& salt, int rounds,
                                       int length) {
    if (rounds < 1 || length < 1) return std::nullopt;
    QByteArray out(length, Qt::Uninitialized);
    if (PKCS5_PBKDF2_HMAC(password.constData(), int(password.size()), u(salt.constData()), int(salt.size()),
                          rounds, EVP_sha256(), length, u(out.data())) != 1)
        return std::nullopt;
    return out;
}

bool sealInto(const char* key, const char* nonce, const char* plain, qsizetype plainLength, const char* aad,
              qsizetype aadLength, char* out) {
    const Context holder = newContext();
    EVP_CIPHER_CTX* ctx = holder.get();
    const EVP_CIPHER* cipher = chacha();
    if (!ctx || !cipher || plainLength < 0 || plainLength > INT_MAX || aadLength < 0 || aadLength > INT_MAX)
        return false;
    int len = 0;
    if (EVP_EncryptInit_ex2(ctx, cipher, u(key), u(nonce), nullptr) != 1) return false;
    if (aadLength > 0 && EVP_EncryptUpdate(ctx, nullptr, &len, u(aad), int(aadLength)) != 1) return false;
    if (plainLength > 0 && EVP_EncryptUpdate(ctx, u(out), &len, u(plain), int(plainLength)) != 1)
        return false;
    if (EVP_EncryptFinal_ex(ctx, u(out) + plainLength, &len) != 1) return false;
    return EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, tagLength, out + plainLength) == 1;
}

bool openInto(const char* key, const char* nonce, const char* sealed, qsizetype sealedLength, const char* aad,
              qsizetype aadLength, char* out) {
    const Context holder = newContext();
    EVP_CIPHER_CTX* ctx = holder.get();
    const EVP_CIPHER* cipher = chacha();
    if (!ctx || !cipher || sealedLength < tagLength || sealedLength > INT_MAX || aadLength < 0 ||
        aadLength > INT_MAX)
        return false;
    const qsizetype plainLength = sealedLength - tagLength;
    int len = 0;
    if (EVP_DecryptInit_ex2(ctx, cipher, u(key), u(nonce), nullptr) != 1) return false;
    if (aadLength > 0 && EVP_DecryptUpdate(ctx, nullptr, &len, u(aad), int(aadLength)) != 1) return false;
    if (plainLength > 0 && EVP_DecryptUpdate(ctx, u(out), &len, u(sealed), int(plainLength)) != 1)
        return false;
    // The tag must be set before the final call, which is where it is checked.
    if (EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, tagLength, const_cast<char*>(sealed + plainLength)) !=
        1)
        return false;
    return EVP_DecryptFinal_ex(ctx, u(out) + plainLength, &len) == 1;
}

std::optional<QByteArray> seal(const QByteArray& key, const QByteArray& nonce, const QByteArray& plain,
                               const QByteArray& aad) {
    if (key.size() != keyLength || nonce.size() != nonceLength) return std::nullopt;
    QByteArray out(plain.size() + tagLength, Qt::Uninitialized);
    if (!sealInto(key.constData(), nonce.constData(), plain.constData(), plain.size(), aad.constData(),
                  aad.size(), out.data()))
        return std::nullopt;
    return out;
}

std::optional<QByteArray> open(const QByteArray& key, const QByteArray& nonce, const QByteArray& sealed,
                               const QByteArray& aad) {
    if (key.size() != keyLength || nonce.size() != nonceLength || sealed.size() < tagLength)
        return std::nullopt;
    QByteArray out(sealed.size() - tagLength, Qt::Uninitialized);
    if (!openInto(key.constData(), nonce.constData(), sealed.constData(), sealed.size(), aad.constData(),
                  aad.size(), out.data()))
        return std::nullopt;
    return out;
}

bool randomInto(char* out, int count) {
    return count >= 0 && RAND_bytes(u(out), count) == 1;
}

std::optional<QByteArray> randomBytes(int count) {
    if (count < 0) return std::nullopt;
    QByteArray out(count, Qt::Uninitialized);
    if (!randomInto(out.data(), count)) return std::nullopt;
    return out;
}

std::optional<QByteArray> randomKey() {
    return randomBytes(keyLength);
}

std::optional<quint64> randomU64() {
    quint64 v = 0;
    if (!randomInto(reinterpret_cast<char*>(&v), int(sizeof v))) return std::nullopt;
    return v;
}
} // namespace KeyVault
