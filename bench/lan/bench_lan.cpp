// Voice-sized sealed packets (3,269 bytes) from one home-network link to another on 127.0.0.1, beside a
// bare QUdpSocket pair doing the same: packets per second delivered when sending flat out, and the loss
// at a steady 1,000 packets per second (a hundred times a busy channel's need). Only loopback unicast
// is sent. Each of the four runs lasts --seconds (default 1; the full measurement is --seconds=5).
// Both sides are built alike: the producer hands packets to a send thread through a bounded queue and,
// when the queue is nearly full, sleeps briefly instead of asking in a tight loop.
#include "LANTransport.h"
#include "LinkTestSupport.h"
#include "TRKLog.h"

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QUdpSocket>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <string>
#include <thread>

namespace {
using Clock = std::chrono::steady_clock;
constexpr int packetSize = 3269;
constexpr int bufferBytes = 4 * 1024 * 1024; // what the link asks for, given to the bare pair as well
constexpr int roomLeft = 200;                // the producer waits while this many are queued
constexpr auto roomWait = std::chrono::microseconds(50);
double seconds = 1.0;

struct Result {
    double deliveredPerSecond = 0;
    double loss = 0;
};
std::map<std::string, Result> results;

// Sends for the run's length, either flat out (rate 0) or at a fixed rate, through `push`, which
// returns false when the path asks the sender to wait.
template <typename Push> qint64 drive(int rate, Push push) {
    const QByteArray packet = sealedLike(0, packetSize);
    const auto start = Clock::now();
    const auto end =
        start + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(seconds));
    qint64 sent = 0;
    while (Clock::now() < end) {
        if (rate > 0) std::this_thread::sleep_until(start + std::chrono::microseconds(sent * 1000000 / rate));
        QByteArray p = packet;
        std::memcpy(p.data() + p.size() - 8, &sent, 8); // unique tail, as every sealed packet has
        if (push(p))
            ++sent;
        else
            std::this_thread::sleep_for(roomWait);
    }
    return sent;
}

void finish(benchmark::State& state, const std::string& name, qint64 sent, const std::atomic<qint64>& got) {
    std::this_thread::sleep_for(std::chrono::milliseconds(300)); // stragglers
    Result r;
    r.deliveredPerSecond = double(got.load()) / seconds;
    r.loss = sent > 0 ? 1.0 - double(got.load()) / double(sent) : 0;
    results[name] = r;
    state.SetIterationTime(seconds);
    state.counters["delivered_per_s"] = r.deliveredPerSecond;
    state.counters["loss"] = r.loss;
}

void throughLink(benchmark::State& state, int rate, const std::string& name) {
    for (auto _ : state) {
        LANTransport::Options ro;
        ro.port = 0;
        ro.interfaces = QStringList{};
        LANTransport receiver(ro);
        std::atomic<qint64> got{0};
        receiver.setPacketHandler([&](const QByteArray&) { ++got; });
        receiver.start();
        LANTransport::Options so = ro;
        so.directPeers = QStringLiteral("127.0.0.1:%1").arg(receiver.port());
        LANTransport sender(so);
        sender.start();
        // Flat out, the sender waits for room in the link's queue rather than let the queue drop.
        const qint64 sent = drive(rate, [&](const QByteArray& p) {
            if (sender.queuedCount() >= roomLeft) return false;
            sender.send(p);
            return true;
        });
        while (sender.queuedCount() > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        finish(state, name, sent, got);
    }
}

void bare(benchmark::State& state, int rate, const std::string& name) {
    for (auto _ : state) {
        std::atomic<qint64> got{0};
        std::atomic<bool> done{false};
        std::atomic<quint16> port{0};
        std::thread reader([&] {
            QUdpSocket in;
            in.bind(QHostAddress::LocalHost, 0);
            in.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, bufferBytes);
            port = in.localPort();
            QByteArray buffer(65535, Qt::Uninitialized);
            while (!done) {
                if (!in.waitForReadyRead(50)) continue;
                while (in.hasPendingDatagrams())
                    if (in.readDatagram(buffer.data(), buffer.size()) > 0) ++got;
            }
        });
        while (port == 0)
            std::this_thread::yield();
        // The link's shape without the link: a queue and a thread that empties it per wake.
        std::mutex lock;
        std::condition_variable wake;
        std::deque<QByteArray> queue;
        std::atomic<int> queued{0};
        bool stop = false;
        std::thread writer([&] {
            QUdpSocket out;
            std::deque<QByteArray> batch;
            for (;;) {
                {
                    std::unique_lock<std::mutex> l(lock);
                    wake.wait(l, [&] { return stop || !queue.empty(); });
                    if (stop && queue.empty()) return;
                    batch.swap(queue);
                    queued = 0;
                }
                for (const QByteArray& p : batch)
                    out.writeDatagram(p, QHostAddress::LocalHost, port);
                batch.clear();
            }
        });
        const qint64 sent = drive(rate, [&](const QByteArray& p) {
            if (queued >= roomLeft) return false;
            {
                std::lock_guard<std::mutex> l(lock);
                queue.push_back(p);
                queued = int(queue.size());
            }
            wake.notify_one();
            return true;
        });
        {
            std::lock_guard<std::mutex> l(lock);
            stop = true;
        }
        wake.notify_one();
        writer.join();
        finish(state, name, sent, got);
        done = true;
        reader.join();
    }
}

void linkFlatOut(benchmark::State& s) {
    throughLink(s, 0, "linkFlatOut");
}
void bareFlatOut(benchmark::State& s) {
    bare(s, 0, "bareFlatOut");
}
void linkAt1000(benchmark::State& s) {
    throughLink(s, 1000, "linkAt1000");
}
void bareAt1000(benchmark::State& s) {
    bare(s, 1000, "bareAt1000");
}
BENCHMARK(linkFlatOut)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bareFlatOut)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(linkAt1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(bareAt1000)->Iterations(1)->UseManualTime()->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName("Quillmarsh");
    QCoreApplication::setApplicationName("QMRL Tessrook");
    QTemporaryDir logs;
    TRKLog::setFolderOverride(logs.path());
    // --seconds=N is ours; everything else goes to the benchmark library.
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--seconds=", 10) == 0)
            seconds = std::max(0.2, std::atof(argv[i] + 10));
        else
            rest.push_back(argv[i]);
    }
    int n = int(rest.size());
    benchmark::Initialize(&n, rest.data());
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    const Result lf = results["linkFlatOut"], bf = results["bareFlatOut"];
    const Result l1 = results["linkAt1000"], b1 = results["bareAt1000"];
    std::printf("flat out: link %.0f packets/s (loss %.4f), bare QUdpSocket %.0f packets/s (loss %.4f): "
                "bare/link %.2fx (goal <= 1.50x)\n",
                lf.deliveredPerSecond, lf.loss, bf.deliveredPerSecond, bf.loss,
                lf.deliveredPerSecond > 0 ? bf.deliveredPerSecond / lf.deliveredPerSecond : 0.0);
    std::printf("at 1,000 packets/s: link loss %.4f, bare loss %.4f (goal 0)\n", l1.loss, b1.loss);
    return 0;
}
