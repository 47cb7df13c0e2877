// The model's receive entry against a bare Packet::open of the same voice packets; the whole receive
// path (a datagram at the LAN link's socket through the link thread's hand-over, the model, the radio
// effect and the jitter buffer to samples in the mixer, speaker not muted) against a bare recvfrom and
// Packet::open of the same datagrams, in CPU per packet; the CPU a model with all three links and ten
// channels uses while idle; the model's table sizes before and after a
// flood of packets for channels it does not hold. Prints ratios and sizes at the end.
//
// The idle run needs a private network namespace, so nothing leaves the machine: run it through
// scripts/bench.sh bench_radio.
// Add --long (or --benchmark_filter=idle/30) for the 30-second idle run.
#include "Clock.h"
#include "FakeAudio.h"
#include "Locator.h"
#include "NetworkGuard.h"
#include "Packet.h"
#include "RatioReporter.h"
#include "WalkieModel.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QNetworkInterface>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <arpa/inet.h>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <functional>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

namespace {
constexpr int voicePackets = 20000;

struct Fixture {
    Channel channel{QStringLiteral("bench"), QByteArray(32, '\x5a'), QDateTime::currentDateTimeUtc()};
    std::vector<QByteArray> sealed; // one transmission: start, then audio frames in order

    Fixture() {
        sealed.reserve(voicePackets);
        for (int i = 0; i < voicePackets; ++i) {
            Packet p{i == 0 ? PacketKind::start : PacketKind::audio, 0x1234, quint32(i + 1), 0xfeed,
                     i == 0 ? QByteArray("Bench") : QByteArray(3200, '\x11')};
            sealed.push_back(*p.seal(channel));
        }
    }
};

Fixture& fixture() {
    static Fixture f;
    return f;
}

WalkieModel::Options quietOptions(std::shared_ptr<ManualClock> clock) {
    WalkieModel::Options o;
    o.loadChannels = false;
    o.transports = QSet<QString>{};
    o.callSign = QStringLiteral("Bench");
    o.clock = std::move(clock);
    o.audioInput = std::make_shared<ScriptedAudioInput>();
    o.audioOutput = std::make_shared<RecordingAudioOutput>();
    o.locator = std::make_shared<ScriptedLocator>();
    o.runTimers = false;
    return o;
}

// Voice packets through the model's whole receive path. The speaker is muted so the radio effect's
// DSP (measured by the sound benchmarks) does not hide the model's own cost.
void modelReceive(benchmark::State& state) {
    auto clock = std::make_shared<ManualClock>();
    WalkieModel model(quietOptions(clock));
    model.setMuteSpeaker(true);
    model.setChannels({fixture().channel});
    int i = 0;
    for (auto _ : state) {
        model.receiveSealed(fixture().sealed[i % voicePackets]);
        clock->advance(0.1); // the real frame rate, so the 30-second tables hold what they would
        if (++i % 100 == 0) model.reap();
    }
}
BENCHMARK(modelReceive)->Iterations(voicePackets);

void rawOpen(benchmark::State& state) {
    int i = 0;
    for (auto _ : state) {
        auto p = Packet::open(fixture().sealed[i++ % voicePackets], fixture().channel);
        benchmark::DoNotOptimize(p);
    }
}
BENCHMARK(rawOpen)->Iterations(voicePackets);

double cpuSeconds(int who = RUSAGE_SELF) {
    rusage u{};
    getrusage(who, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// The whole receive path. A thread of its own sends one transmission's datagrams to the unit's LAN
// port on loopback, one every 2 ms, and plays the device: it takes a frame's worth from the mixer per
// packet, ten frames behind, so the jitter buffer works as it does at the real pace. Its own CPU is
// not counted; everything else in the process is.
constexpr int pathPackets = 590; // one talk under the 60 s limit
constexpr auto pathSpacing = std::chrono::milliseconds(2);

struct Sent {
    double senderCpu = 0;
};

sockaddr_in loopbackPort(quint16 port) {
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return to;
}

// Sends the fixture's transmission to `to`; `play` (may be empty) runs after each datagram.
Sent sendTransmission(const sockaddr_in& to, const std::function<void(int)>& play) {
    Sent sent;
    std::thread sender([&] {
        const double before = cpuSeconds(RUSAGE_THREAD);
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        auto next = std::chrono::steady_clock::now();
        for (int i = 0; i < pathPackets && fd >= 0; ++i) {
            const QByteArray& d = fixture().sealed[std::size_t(i)];
            ::sendto(fd, d.constData(), std::size_t(d.size()), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
            if (play) play(i);
            next += pathSpacing;
            std::this_thread::sleep_until(next);
        }
        if (fd >= 0) ::close(fd);
        sent.senderCpu = cpuSeconds(RUSAGE_THREAD) - before;
    });
    sender.join();
    return sent;
}

// A device that hands the mixer out to whoever plays it.
class PlayedOutput : public AudioOutput {
public:
    std::atomic<QIODevice*> source{nullptr};
    bool open(QIODevice* s) override {
        source = s;
        return true;
    }
    void close() override { source = nullptr; }
    bool isOpen() const override { return source != nullptr; }
};

quint16 freeUdpPort() {
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at = loopbackPort(0);
    socklen_t len = sizeof at;
    ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
    ::close(fd);
    return ntohs(at.sin_port);
}

std::map<std::string, double> pathCpu; // name -> CPU seconds per packet

void wholeReceivePath(benchmark::State& state) {
    if (const auto refused = NetworkGuard::refusal()) {
        state.SkipWithError(qPrintable(*refused));
        return;
    }
    for (auto _ : state) {
        const quint16 port = freeUdpPort();
        auto output = std::make_shared<PlayedOutput>();
        WalkieModel::Options o;
        o.loadChannels = false;
        o.transports = QSet<QString>{QStringLiteral("lan")};
        o.callSign = QStringLiteral("Bench");
        o.audioInput = std::make_shared<ScriptedAudioInput>();
        o.audioOutput = output;
        o.locator = std::make_shared<ScriptedLocator>();
        o.lanPortOverride = port;
        o.directPeersOverride = QStringLiteral("127.0.0.1:%1").arg(freeUdpPort());
        WalkieModel model(o);
        model.setChannels({fixture().channel});
        std::atomic<int> frames{0};
        model.onVoiceFrame = [&](const Packet&) { ++frames; };
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
        const double before = cpuSeconds();
        Sent sent;
        std::thread driver([&] {
            QByteArray frame(3200, Qt::Uninitialized);
            sent = sendTransmission(loopbackPort(port), [&](int i) {
                if (QIODevice* s = output->source; s && i >= 10) s->read(frame.data(), frame.size());
            });
        });
        // The model lives on this thread: its event loop takes the link's hand-overs.
        QEventLoop loop;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
            if (frames >= pathPackets - 1) loop.quit();
        });
        poll.start(20);
        QTimer::singleShot(30000, &loop, &QEventLoop::quit);
        loop.exec();
        driver.join();
        const double used = cpuSeconds() - before - sent.senderCpu;
        pathCpu["whole path"] = used / pathPackets;
        state.counters["us_per_packet"] = 1e6 * used / pathPackets;
        state.counters["voice_frames"] = frames.load();
    }
}
BENCHMARK(wholeReceivePath)->Iterations(1)->Unit(benchmark::kMillisecond);

void bareRecvAndOpen(benchmark::State& state) {
    for (auto _ : state) {
        const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
        sockaddr_in at = loopbackPort(0);
        socklen_t len = sizeof at;
        const timeval timeout{0, 200'000};
        ::bind(fd, reinterpret_cast<sockaddr*>(&at), sizeof at);
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&at), &len);
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout);
        std::atomic<int> opened{0};
        double receiverCpu = 0;
        std::thread receiver([&] {
            const double before = cpuSeconds(RUSAGE_THREAD);
            QByteArray buffer(65536, Qt::Uninitialized);
            for (int misses = 0; misses < 5 && opened < pathPackets;) {
                const ssize_t got = ::recvfrom(fd, buffer.data(), std::size_t(buffer.size()), 0, nullptr, nullptr);
                if (got <= 0) {
                    ++misses;
                    continue;
                }
                if (Packet::open(QByteArray(buffer.constData(), qsizetype(got)), fixture().channel)) ++opened;
            }
            receiverCpu = cpuSeconds(RUSAGE_THREAD) - before;
        });
        sendTransmission(at, {});
        receiver.join();
        ::close(fd);
        pathCpu["bare"] = receiverCpu / pathPackets;
        state.counters["us_per_packet"] = 1e6 * receiverCpu / pathPackets;
        state.counters["opened"] = opened.load();
    }
}
BENCHMARK(bareRecvAndOpen)->Iterations(1)->Unit(benchmark::kMillisecond);

std::map<std::string, double> idleShare; // benchmark name -> CPU share of one core

void idle(benchmark::State& state) {
    // Loopback and the veth pair a run through scripts/bench.sh made are all it may find.
    if (const auto refused = NetworkGuard::refusal()) {
        state.SkipWithError(qPrintable(*refused));
        return;
    }
    const int seconds = int(state.range(0));
    for (auto _ : state) {
        WalkieModel::Options o;
        o.loadChannels = false;
        o.transports =
            QSet<QString>{QStringLiteral("lan"), QStringLiteral("relay"), QStringLiteral("nearby")};
        o.callSign = QStringLiteral("Idle");
        o.audioInput = std::make_shared<ScriptedAudioInput>();
        o.audioOutput = std::make_shared<RecordingAudioOutput>();
        o.locator = std::make_shared<ScriptedLocator>();
        o.directPeersOverride = QStringLiteral("127.0.0.1:48790");
        WalkieModel model(o);
        QList<Channel> channels;
        for (int c = 0; c < 10; ++c)
            channels.append(*Channel::withRandomKey(QStringLiteral("ch%1").arg(c)));
        model.setChannels(channels);
        QEventLoop settle;
        QTimer::singleShot(500, &settle, &QEventLoop::quit);
        settle.exec();
        const double before = cpuSeconds();
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        const double used = cpuSeconds() - before;
        idleShare["idle " + std::to_string(seconds) + " s"] = used / seconds;
        state.counters["cpu_percent"] = 100.0 * used / seconds;
    }
}
BENCHMARK(idle)->Arg(3)->Iterations(1)->Unit(benchmark::kSecond);

void registerLongIdle() {
    benchmark::RegisterBenchmark("idle", idle)->Arg(30)->Iterations(1)->Unit(benchmark::kSecond);
}

// Packets for channels this unit does not hold, each with a fresh fingerprint.
void foreignFlood(benchmark::State& state) {
    auto clock = std::make_shared<ManualClock>();
    WalkieModel model(quietOptions(clock));
    model.setChannels({fixture().channel});
    QByteArray packet = fixture().sealed[1];
    auto* rng = QRandomGenerator::global();
    const auto before = model.tableSizes();
    for (auto _ : state) {
        for (int k = 0; k < 16; k += 4) {
            const quint32 r = rng->generate();
            std::memcpy(packet.data() + 4 + k, &r, 4);
        }
        model.receiveSealed(packet);
    }
    const auto after = model.tableSizes();
    std::printf("tables before flood: dedupe %d, foreign %d, foreign log %d, receptions %d, finished %d\n",
                before.dedupe, before.foreign, before.foreignLogged, before.receptions, before.finished);
    std::printf(
        "tables after %lld packets: dedupe %d, foreign %d, foreign log %d, receptions %d, finished %d\n",
        (long long)state.iterations(), after.dedupe, after.foreign, after.foreignLogged, after.receptions,
        after.finished);
}
BENCHMARK(foreignFlood)->Iterations(100000);

} // namespace

int main(int argc, char** argv) {
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (home.path() + "/data").toUtf8());
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Quillmarsh"));
    app.setApplicationName(QStringLiteral("QMRL Tessrook"));
    bool longRun = false;
    std::vector<char*> args;
    for (int i = 0; i < argc; ++i) {
        if (std::strcmp(argv[i], "--long") == 0) {
            longRun = true;
            continue;
        }
        // Naming the long run in a filter asks for it too.
        if (std::strstr(argv[i], "--benchmark_filter=") == argv[i] && std::strstr(argv[i], "idle/30"))
            longRun = true;
        args.push_back(argv[i]);
    }
    int n = int(args.size());
    if (longRun) registerLongIdle();
    benchmark::Initialize(&n, args.data());
    RatioReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    const auto ours = reporter.perIteration.find("modelReceive/iterations:20000");
    const auto raw = reporter.perIteration.find("rawOpen/iterations:20000");
    if (ours != reporter.perIteration.end() && raw != reporter.perIteration.end() && raw->second > 0)
        std::printf("receive path: %.3fx of a bare Packet::open (goal <= 1.30x)\n",
                    ours->second / raw->second);
    if (pathCpu.count("whole path") && pathCpu.count("bare") && pathCpu["bare"] > 0)
        std::printf("whole receive path (socket to mixer, speaker on): %.1f us a packet, %.1fx of a bare recvfrom "
                    "and Packet::open (%.1f us)\n",
                    1e6 * pathCpu["whole path"], pathCpu["whole path"] / pathCpu["bare"], 1e6 * pathCpu["bare"]);
    for (const auto& [name, share] : idleShare)
        std::printf("%s: %.3f%% of one core while idle with three links and ten channels (goal < 0.2%%)\n",
                    name.c_str(), 100.0 * share);
    return 0;
}
