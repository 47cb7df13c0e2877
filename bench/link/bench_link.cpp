// Sealing and opening one 100 ms voice frame through Packet versus the bare AEAD calls, and one
// passphrase key derivation versus the bare PBKDF2 call. Prints the ratios at the end.
#include "Channel.h"
#include "Packet.h"
#include "RatioReporter.h"

#include <QCoreApplication>

#include <benchmark/benchmark.h>
#include <openssl/evp.h>
#include <openssl/rand.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr int voiceFrameBytes = 3200;

const Channel& benchChannel() {
    static const Channel c(QStringLiteral("bench"), QByteArray(32, '\x5a'), QDateTime::currentDateTimeUtc());
    return c;
}

void packetSealOpen(benchmark::State& state) {
    const Channel& channel = benchChannel();
    const Packet packet{PacketKind::audio, 0x1122334455667788ULL, 42, 0x99aabbccddeeff00ULL,
                        QByteArray(voiceFrameBytes, '\x33')};
    for (auto _ : state) {
        auto sealed = packet.seal(channel);
        auto opened = Packet::open(*sealed, channel);
        benchmark::DoNotOptimize(opened);
    }
}
BENCHMARK(packetSealOpen);

// The least a caller of OpenSSL must do for the same bytes: a fresh nonce, seal with the header as
// AAD, open, with the cipher fetched and the buffers and context allocated once.
void rawSealOpen(benchmark::State& state) {
    const Channel& channel = benchChannel();
    const auto* key = reinterpret_cast<const unsigned char*>(channel.key().constData());
    EVP_CIPHER* cipher = EVP_CIPHER_fetch(nullptr, "ChaCha20-Poly1305", nullptr);
    EVP_CIPHER_CTX* ctx = EVP_CIPHER_CTX_new();
    const int innerLength = voiceFrameBytes + 21;
    std::vector<unsigned char> plain(innerLength, 0x33), box(innerLength + 16), back(innerLength);
    unsigned char header[20] = {'Q', 'M', 'T', '1'}, nonce[12];
    int len = 0;
    for (auto _ : state) {
        RAND_bytes(nonce, sizeof nonce);
        EVP_EncryptInit_ex2(ctx, cipher, key, nonce, nullptr);
        EVP_EncryptUpdate(ctx, nullptr, &len, header, sizeof header);
        EVP_EncryptUpdate(ctx, box.data(), &len, plain.data(), innerLength);
        EVP_EncryptFinal_ex(ctx, box.data() + innerLength, &len);
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_GET_TAG, 16, box.data() + innerLength);
        EVP_DecryptInit_ex2(ctx, cipher, key, nonce, nullptr);
        EVP_DecryptUpdate(ctx, nullptr, &len, header, sizeof header);
        EVP_DecryptUpdate(ctx, back.data(), &len, box.data(), innerLength);
        EVP_CIPHER_CTX_ctrl(ctx, EVP_CTRL_AEAD_SET_TAG, 16, box.data() + innerLength);
        const int ok = EVP_DecryptFinal_ex(ctx, back.data() + innerLength, &len);
        benchmark::DoNotOptimize(ok);
        benchmark::DoNotOptimize(back.data());
    }
    EVP_CIPHER_CTX_free(ctx);
    EVP_CIPHER_free(cipher);
}
BENCHMARK(rawSealOpen);

void channelFromPassphrase(benchmark::State& state) {
    for (auto _ : state) {
        auto c =
            Channel::fromPassphrase(QStringLiteral("Base Camp"), QStringLiteral("tin hollow maple lane"));
        benchmark::DoNotOptimize(c);
    }
}
BENCHMARK(channelFromPassphrase)->Iterations(6)->Unit(benchmark::kMillisecond);

void rawPbkdf2(benchmark::State& state) {
    const std::string password = "tin hollow maple lane", salt = "qmt-walkie/v1/salt/base camp";
    unsigned char out[32];
    for (auto _ : state) {
        PKCS5_PBKDF2_HMAC(password.data(), int(password.size()),
                          reinterpret_cast<const unsigned char*>(salt.data()), int(salt.size()),
                          Channel::pbkdf2Rounds, EVP_sha256(), sizeof out, out);
        benchmark::DoNotOptimize(out);
    }
}
BENCHMARK(rawPbkdf2)->Iterations(6)->Unit(benchmark::kMillisecond);


void printRatio(const RatioReporter& r, const char* ours, const char* raw, const char* what,
                const char* goal) {
    const auto a = r.perIteration.find(ours), b = r.perIteration.find(raw);
    if (a == r.perIteration.end() || b == r.perIteration.end() || b->second <= 0) return;
    std::printf("%s: %.3fx of the bare OpenSSL call (goal %s)\n", what, a->second / b->second, goal);
}
} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName("Quillmarsh");
    QCoreApplication::setApplicationName("QMRL Tessrook");
    benchmark::Initialize(&argc, argv);
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    printRatio(reporter, "packetSealOpen", "rawSealOpen", "seal+open of a 3,200-byte voice packet",
               "at most 1.25x");
    printRatio(reporter, "channelFromPassphrase/iterations:6", "rawPbkdf2/iterations:6",
               "key from name and passphrase", "about 1.0x");
    return 0;
}
