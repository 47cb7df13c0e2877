// Sixteen relay links joined to one channel, each sending a voice-sized sealed packet (3,269 bytes) ten
// times a second for --seconds (default 5) through the relay program on 127.0.0.1. Printed: delivered
// / expected (every packet should reach the 15 others; goal 1.0) and the relay's CPU time (user +
// system, from /proc/<pid>/stat) per forwarded megabyte.
#include "Packet.h"
#include "RelayTransport.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {
using Clock = std::chrono::steady_clock;
// All from 127.0.0.1, and the relay takes at most 16 connections from one address.
constexpr int clients = 16;
constexpr int perSecond = 10;
constexpr int packetSize = 3269;
double seconds = 5.0;
const QString channel = QStringLiteral("5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a5a");

// CPU seconds (user + system) the process has used so far.
double cpuSeconds(qint64 pid) {
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    const QByteArray stat = f.readAll();
    // Fields after the command name, which sits in parentheses and may hold blanks.
    const QList<QByteArray> rest = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (rest.size() < 13) return 0;
    return double(rest[11].toLongLong() + rest[12].toLongLong()) / double(sysconf(_SC_CLK_TCK));
}

void relayFanOut(benchmark::State& state) {
    for (auto _ : state) {
        QProcess relay;
        relay.setProgram(QStringLiteral(RELAY_BINARY));
        relay.setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:0")});
        relay.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        relay.start();
        relay.waitForStarted();
        while (!relay.canReadLine() && relay.waitForReadyRead(5000)) {
        }
        const auto m =
            QRegularExpression(QStringLiteral(":(\\d+)\\s*$")).match(QString::fromUtf8(relay.readLine()));
        if (!m.hasMatch()) {
            state.SkipWithError("the relay did not start");
            return;
        }
        const QString url = QStringLiteral("ws://127.0.0.1:%1").arg(m.captured(1));

        std::atomic<qint64> delivered{0};
        std::vector<std::unique_ptr<RelayTransport>> links;
        for (int i = 0; i < clients; ++i) {
            auto link = std::make_unique<RelayTransport>(url);
            link->setPacketHandler([&](const QByteArray&) { ++delivered; });
            link->setChannels({channel});
            link->start();
            links.push_back(std::move(link));
        }
        QElapsedTimer waiting;
        waiting.start();
        auto allJoined = [&] {
            for (auto& l : links)
                if (l->status().peerCounts.value(channel) != clients) return false;
            return true;
        };
        while (!allJoined() && waiting.elapsed() < 10000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!allJoined()) {
            state.SkipWithError("the links did not all join");
            return;
        }

        QByteArray packet = packetMagic + QByteArray::fromHex(channel.toLatin1());
        packet.append(QByteArray(packetSize - packet.size(), 'v'));
        const double cpuBefore = cpuSeconds(relay.processId());
        // One send every 1 / (clients x perSecond) s, taking the clients in turn.
        const auto start = Clock::now();
        const qint64 total = qint64(seconds * clients * perSecond);
        for (qint64 n = 0; n < total; ++n) {
            std::this_thread::sleep_until(start +
                                          std::chrono::microseconds(n * 1000000 / (clients * perSecond)));
            std::memcpy(packet.data() + packet.size() - 8, &n, 8);
            links[size_t(n % clients)]->send(packet);
        }
        const qint64 expected = total * (clients - 1);
        QElapsedTimer tail;
        tail.start();
        while (delivered < expected && tail.elapsed() < 2000)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        const double cpu = cpuSeconds(relay.processId()) - cpuBefore;
        const double megabytes = double(delivered.load()) * packetSize / 1e6;

        const double ratio = double(delivered.load()) / double(expected);
        const double cpuMsPerMB = megabytes > 0 ? cpu * 1000.0 / megabytes : 0;
        state.SetIterationTime(seconds);
        state.counters["delivered_over_expected"] = ratio;
        state.counters["relay_cpu_ms_per_MB"] = cpuMsPerMB;
        std::printf(
            "relay fan-out: %d links x %d packets/s x %.1f s: delivered %lld of %lld (%.4f, goal 1.0); "
            "relay CPU %.3f s for %.1f MB forwarded = %.2f ms per MB\n",
            clients, perSecond, seconds, static_cast<long long>(delivered.load()),
            static_cast<long long>(expected), ratio, cpu, megabytes, cpuMsPerMB);
        for (auto& l : links)
            l->stop();
        relay.kill();
        relay.waitForFinished();
    }
}
} // namespace

BENCHMARK(relayFanOut)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook"));
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            seconds = std::atof(argv[i] + 10);
        else
            rest.push_back(argv[i]);
    }
    int restCount = int(rest.size());
    QCoreApplication app(restCount, rest.data());
    benchmark::Initialize(&restCount, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
