// DSP cost of one 100 ms frame as a share of those 100 ms (goal: under 1% each), and the playback
// latency from a frame handed to the player to its first sample at the device's output, heard on the
// output's monitor (goal: under 60 ms, the first frame after the stream opens included), beside the
// moment the player's device took it and the device buffer size. Run it through scripts/bench.sh.
#include "AudioDevice.h"
#include "ChildProcess.h"
#include "RadioEffect.h"
#include "RadioPlayer.h"
#include "Records.h"
#include "Scrambler.h"

#include <QAudioDevice>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMediaDevices>
#include <QTimer>
#include <QtEndian>
#include <atomic>
#include <benchmark/benchmark.h>
#include <chrono>
#include <cmath>
#include <thread>
#include <vector>

namespace {
constexpr int frameSamples = 1600;

std::vector<float> voiceLike() {
    std::vector<float> s(frameSamples);
    for (int i = 0; i < frameSamples; ++i)
        for (int k = 1; k < 20; ++k)
            s[i] += 0.25f / k * float(std::sin(2 * M_PI * 140 * k * i / 16000.0));
    return s;
}

QByteArray toPcm(const std::vector<float>& s) {
    QByteArray b(frameSamples * 2, Qt::Uninitialized);
    for (int i = 0; i < frameSamples; ++i)
        qToLittleEndian<qint16>(toPcm16(s[i]), reinterpret_cast<uchar*>(b.data()) + 2 * i);
    return b;
}

// Percent of a 100 ms frame's duration spent per frame.
void reportShare(benchmark::State& state, std::chrono::steady_clock::time_point since) {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
    state.counters["pct_of_100ms"] = seconds / double(state.iterations()) / 0.1 * 100;
}

void radioEffect(benchmark::State& state) {
    RadioEffect fx;
    const auto in = voiceLike();
    std::vector<float> buf;
    const auto since = std::chrono::steady_clock::now();
    for (auto _ : state) {
        buf = in;
        fx.process(buf.data(), buf.size());
        benchmark::DoNotOptimize(buf.data());
    }
    reportShare(state, since);
}
BENCHMARK(radioEffect)->MinTime(0.3);

void scrambler(benchmark::State& state) {
    const auto mode = ScrambleModes::fromRaw(int(state.range(0)));
    state.SetLabel(ScrambleModes::name(mode).toStdString());
    Scrambler s(mode);
    const QByteArray in = toPcm(voiceLike());
    const auto since = std::chrono::steady_clock::now();
    for (auto _ : state) {
        QByteArray out = s.process(in);
        benchmark::DoNotOptimize(out.data());
    }
    reportShare(state, since);
}
BENCHMARK(scrambler)->DenseRange(0, 4)->MinTime(0.3);

// Passes the mixer's stream to the real device and notes when the first non-silent sample goes by.
class TapDevice : public QIODevice {
public:
    explicit TapDevice(QIODevice* inner) : inner_(inner) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return inner_->bytesAvailable(); }
    std::atomic<qint64> firstSoundNs{0};

protected:
    qint64 writeData(const char*, qint64) override { return -1; }
    qint64 readData(char* data, qint64 maxlen) override {
        const qint64 n = inner_->read(data, maxlen);
        if (n > 0 && firstSoundNs == 0) {
            for (qint64 i = 0; i + 1 < n; i += 2)
                if (data[i] || data[i + 1]) {
                    firstSoundNs = std::chrono::steady_clock::now().time_since_epoch().count();
                    break;
                }
        }
        return n;
    }

private:
    QIODevice* inner_;
};

class TapOutput : public AudioOutput {
public:
    std::shared_ptr<AudioOutput> real = makeSystemAudioOutput();
    std::unique_ptr<TapDevice> tap;
    bool open(QIODevice* source) override {
        tap = std::make_unique<TapDevice>(source);
        return real->open(tap.get());
    }
    void close() override { real->close(); }
    bool isOpen() const override { return real->isOpen(); }
    int bufferBytes() const override { return real->bufferBytes(); }
};

qint64 nowNs() {
    return std::chrono::steady_clock::now().time_since_epoch().count();
}

// Records the default output's monitor in 5 ms pieces and notes when sound first comes out after it
// was armed: the piece's arrival less the samples in it after the first loud one.
class OutputMonitor {
public:
    OutputMonitor() {
        child_ = ChildProcess::spawn({"parec", "--device=@DEFAULT_MONITOR@", "--latency-msec=5", "--raw",
                                      "--format=s16le", "--rate=16000", "--channels=1"},
                                     true);
        thread_ = std::thread([this] {
            std::vector<qint16> piece(80);
            while (child_.readFully(reinterpret_cast<char*>(piece.data()), piece.size() * 2)) {
                const qint64 at = nowNs();
                if (!armed_ || heardNs != 0) continue;
                for (std::size_t i = 0; i < piece.size(); ++i)
                    if (std::abs(int(qFromLittleEndian(piece[i]))) > 64) {
                        heardNs = at - qint64(piece.size() - i) * 1'000'000'000 / 16000;
                        break;
                    }
            }
        });
    }
    ~OutputMonitor() {
        child_.end();
        thread_.join();
    }
    bool ok() const { return child_.pid > 0; }
    void arm() {
        heardNs = 0;
        armed_ = true;
    }
    std::atomic<qint64> heardNs{0};

private:
    ChildProcess child_;
    std::thread thread_;
    std::atomic<bool> armed_{false};
};

// Turns the event loop for `ms`.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

// Waits until the output's monitor heard sound; the delays in ms from `from` to the device taking the
// first sound and to its coming out.
std::pair<double, double> waitForSound(TapOutput& out, OutputMonitor& monitor, qint64 from) {
    QElapsedTimer t;
    t.start();
    while (monitor.heardNs == 0 && t.elapsed() < 2000)
        runFor(5);
    const auto ms = [from](qint64 at) { return at ? double(at - from) / 1e6 : 2000.0; };
    return {ms(out.tap->firstSoundNs), ms(monitor.heardNs)};
}

QByteArray steadyFrame() {
    return QByteArray(frameSamples * 2, char(0x10)); // never silent from its first sample on
}

void reportLatency(benchmark::State& state, std::vector<double> ms, const char* name) {
    std::sort(ms.begin(), ms.end());
    state.counters[std::string(name) + "_median_ms"] = ms[ms.size() / 2];
    state.counters[std::string(name) + "_worst_ms"] = ms.back();
}

// Frames handed as the network delivers them after a start packet: the jitter buffer's own wait is
// left out by handing the first two frames together, so what is measured is the path itself.
void playbackLatency(benchmark::State& state) {
    std::signal(SIGPIPE, SIG_IGN);
    OutputMonitor monitor;
    if (QMediaDevices::audioOutputs().isEmpty() || !monitor.ok()) {
        state.SkipWithError("no sound server reachable: run through scripts/bench.sh");
        return;
    }
    runFor(300); // the monitor stream settles
    std::vector<double> first, open, firstTaken, openTaken;
    int buffer = 0;
    for (auto _ : state) {
        for (int run = 0; run < 8; ++run) {
            runFor(300); // what the last run left in the server has come out
            // First frame after the stream opens.
            auto out = std::make_shared<TapOutput>();
            RadioPlayer player(out);
            player.setRadioSound(false);
            player.setRogerBeep(false); // nothing but the frames comes out
            monitor.arm();
            const qint64 t0 = nowNs();
            player.playFrame(1, steadyFrame());
            player.playFrame(1, steadyFrame());
            const auto [taken, heard] = waitForSound(*out, monitor, t0);
            firstTaken.push_back(taken);
            first.push_back(heard);
            buffer = out->bufferBytes();
            // A frame into the open stream, after the previous ones have played out.
            runFor(300);
            player.endReception(1);
            runFor(100);
            out->tap->firstSoundNs = 0;
            monitor.arm();
            const qint64 t1 = nowNs();
            player.playFrame(2, steadyFrame());
            player.playFrame(2, steadyFrame());
            const auto [taken2, heard2] = waitForSound(*out, monitor, t1);
            openTaken.push_back(taken2);
            open.push_back(heard2);
        }
    }
    reportLatency(state, first, "after_open");
    reportLatency(state, open, "open_stream");
    reportLatency(state, firstTaken, "after_open_taken");
    reportLatency(state, openTaken, "open_stream_taken");
    state.counters["device_buffer_bytes"] = buffer;
    state.counters["device_buffer_ms"] = buffer / 32.0;
}
BENCHMARK(playbackLatency)->Iterations(1)->Unit(benchmark::kMillisecond);
} // namespace

int main(int argc, char** argv) {
    QCoreApplication::setOrganizationName("Quillmarsh");
    QCoreApplication::setApplicationName("QMRL Tessrook");
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
