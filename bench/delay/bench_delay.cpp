// Mouth to ear: how long a sound takes from one unit's microphone to the other unit's speaker, over
// each link, with real devices on the sound server. Unit A listens to the monitor of a sink "tr_mic"
// into which short 1 kHz bursts are played; unit B plays into a sink "tr_spk". Both monitors are
// recorded, and each burst's delay is the time between its onsets. Taps on A's microphone, B's
// receive path and B's speaker split the delay into its stages. Each link talks several times between
// the same two units (the jitter buffer keeps what it learned across talks); the figures are over all
// the talks, with the spread of the talks' own medians, since one talk's median lands on the phase of
// the device pulls. Beside them, the floor: the same bursts through plain sound-server tools, captured
// in 5 ms pieces, sent as one UDP datagram per 100 ms frame over loopback and played to a 20 ms stream
// behind a 10 ms cushion. Printed, not asserted.
//
// Under the bursts runs a quiet continuous bed tone, so every stretch of silence the ear recorder hears
// inside a talk is a gap the listener hears, whatever its cause (the voice ran out, or the speaker's
// device ran dry); they are counted beside the player's own underruns. Every path runs twice: on the
// machine as it is, and "busy" with two compilers (or busy loops) per core. Beside them, a plain 40 ms
// playback stream of the bed tone alone, as the reference for what the sound server itself drops under
// that load.
//
// Needs the sound server and a private network: run it through scripts/bench.sh bench_delay.
// TESSROOK_DELAY_SECONDS sets each talk (default 15), TESSROOK_DELAY_RUNS the talks per link (default 3),
// TESSROOK_DELAY_PASSES=quiet or busy runs one pass only, TESSROOK_DELAY_LOAD=loops makes the busy load
// busy loops instead of compilers. Each pass prints its summary as soon as it ends, with the machine's
// load average before and after it, so a slow later pass never costs an earlier one.
#include "AudioDevice.h"
#include "Channel.h"
#include "ChildProcess.h"
#include "Defaults.h"
#include "Packet.h"
#include "RadioPlayer.h"
#include "NetworkGuard.h"
#include "WalkieModel.h"

#include <QAudioDevice>
#include <QAudioSink>
#include <QAudioSource>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QMediaDevices>
#include <QMutex>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <QEventLoop>
#include <QtEndian>
#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <csignal>
#include <fcntl.h>
#include <netinet/in.h>
#include <pthread.h>
#include <sched.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <benchmark/benchmark.h>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstdio>
#include <limits>
#include <map>
#include <optional>
#include <vector>

namespace {
constexpr int rate = 16000;
constexpr int frameSamples = 1600;
constexpr int burstSamples = rate * 20 / 1000;
// A little over 500 ms, so each burst starts 10.5 ms further into its 100 ms frame and 0.5 ms further
// into the device's 5 ms pull than the one before: over a talk the onsets sweep every phase, as speech
// does, instead of one talk's median landing wherever its first burst fell.
constexpr int burstEverySamples = rate / 2 + 168;

// The bed tone: in the radio's band, and quiet enough, after the radio effect's gain, to stay below the
// burst thresholds. A gap is a stretch this long with no sample above `gapLevel`: the bed is never
// that quiet for more than a fraction of a millisecond.
constexpr double bedHz = 700;
constexpr double bedLevel = 0.006;
constexpr int gapLevel = 40;
constexpr int gapMinSamples = rate * 3 / 1000;

QElapsedTimer wall; // one clock for every tap, in nanoseconds

qint64 nowNs() {
    return wall.nsecsElapsed();
}

QAudioDevice findDevice(const QList<QAudioDevice>& list, const QByteArray& id) {
    for (const auto& d : list)
        if (d.id() == id) return d;
    return {};
}

// Sample positions where a burst of 1 kHz starts: the envelope crosses a threshold after at least
// 200 ms below it.
std::vector<qint64> onsets(const std::vector<qint16>& s, double threshold = 2000) {
    std::vector<qint64> found;
    qint64 quietSince = -1;
    const int window = 16; // 1 ms
    for (qint64 i = 0; i + window <= qint64(s.size()); i += window) {
        int peak = 0;
        for (int k = 0; k < window; ++k)
            peak = std::max(peak, std::abs(int(s[std::size_t(i + k)])));
        if (peak < threshold) {
            if (quietSince < 0) quietSince = i;
        } else {
            if (quietSince >= 0 && i - quietSince >= rate / 5) {
                qint64 at = i; // the first loud sample in the window
                while (at < i + window && std::abs(int(s[std::size_t(at)])) < threshold)
                    ++at;
                found.push_back(at);
            }
            quietSince = -1;
        }
    }
    return found;
}

// Silences in samples [from, to) of a recording over the bed tone: how many, and how long in all.
struct Gaps {
    int count = 0;
    double ms = 0;
    void add(const Gaps& g) {
        count += g.count;
        ms += g.ms;
    }
};
// Each silence as (first sample, length in samples).
std::vector<std::pair<qint64, qint64>> silenceRuns(const std::vector<qint16>& s, qint64 from, qint64 to) {
    std::vector<std::pair<qint64, qint64>> found;
    qint64 run = 0;
    to = std::min(to, qint64(s.size()));
    for (qint64 i = std::max<qint64>(0, from); i <= to; ++i) {
        if (i < to && std::abs(int(s[std::size_t(i)])) <= gapLevel) {
            ++run;
            continue;
        }
        if (run >= gapMinSamples) found.emplace_back(i - run, run);
        run = 0;
    }
    return found;
}
Gaps silences(const std::vector<qint16>& s, qint64 from, qint64 to) {
    Gaps g;
    for (const auto& [at, length] : silenceRuns(s, from, to)) {
        ++g.count;
        g.ms += double(length) * 1000.0 / rate;
    }
    return g;
}
// The gaps heard between the first and the last burst of a talk: inside them the voice never stops.
Gaps gapsBetweenBursts(const std::vector<qint16>& heard, const std::vector<qint64>& onsetsInTalk) {
    if (onsetsInTalk.size() < 2) return {};
    return silences(heard, onsetsInTalk.front() + burstSamples, onsetsInTalk.back());
}

// What a busy desktop runs beside the radio, two per core while it lives, at ordinary priority: by
// default compilers, each compiling one heavy source over and over (processes starting and ending,
// memory, files); TESSROOK_DELAY_LOAD=loops runs plain busy loops instead. Each worker ends itself after
// `boundSeconds` should the benchmark die first; a compiler it started finishes its file.
class BusyLoad {
public:
    static bool compilers() { return qgetenv("TESSROOK_DELAY_LOAD") != "loops"; }
    static const char* name() { return compilers() ? "two compilers per core" : "two busy loops per core"; }

    BusyLoad(bool on, int boundSeconds) {
        if (!on) return;
        QByteArray source;
        if (compilers()) {
            source = (dir_.path() + QStringLiteral("/heavy.cpp")).toLocal8Bit();
            QFile f(QString::fromLocal8Bit(source));
            if (!f.open(QIODevice::WriteOnly) || f.write(heavySource) != qint64(std::strlen(heavySource)) ||
                !f.flush()) {
                std::fprintf(stderr, "busy load: cannot write %s\n", source.constData());
                return;
            }
        }
        const long cores = std::max(1L, ::sysconf(_SC_NPROCESSORS_ONLN));
        for (long i = 0; i < 2 * cores; ++i) {
            const pid_t pid = ::fork();
            if (pid == 0) {
                ::setpgid(0, 0); // the compiler it runs goes with it
                ::alarm(unsigned(boundSeconds));
                if (source.isEmpty())
                    for (;;)
                        asm volatile("" ::: "memory");
                for (;;) {
                    const pid_t cc = ::fork();
                    if (cc == 0) {
                        ::execlp("c++", "c++", "-std=c++20", "-O2", "-c", source.constData(), "-o", "/dev/null",
                                 static_cast<char*>(nullptr));
                        std::fprintf(stderr, "busy load: cannot run c++ (%s)\n", std::strerror(errno));
                        ::_exit(127);
                    }
                    int status = 0;
                    if (cc < 0 || ::waitpid(cc, &status, 0) < 0 || WEXITSTATUS(status) == 127) ::_exit(1);
                }
            }
            if (pid > 0) pids_.push_back(pid);
        }
    }
    ~BusyLoad() {
        for (pid_t pid : pids_)
            ::kill(-pid, SIGKILL);
        for (pid_t pid : pids_)
            ::waitpid(pid, nullptr, 0);
    }

private:
    // Takes about 4 s to compile at -O2: regular expressions, maps and a deep template.
    static constexpr const char* heavySource = R"cc(#include <cstring>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <unordered_map>
#include <variant>
#include <vector>
template <int N> struct Deep {
    static int value(std::map<std::string, std::vector<int>>& m) {
        m[std::to_string(N)].push_back(N);
        return Deep<N - 1>::value(m) + int(m.size());
    }
};
template <> struct Deep<0> {
    static int value(std::map<std::string, std::vector<int>>&) { return 0; }
};
int main(int argc, char** argv) {
    std::map<std::string, std::vector<int>> m;
    std::regex words("([a-z]+)\\s*=\\s*([0-9]+)");
    std::unordered_map<std::string, std::variant<int, std::string>> table;
    for (int i = 1; i < argc; ++i)
        for (std::cregex_iterator it(argv[i], argv[i] + std::strlen(argv[i]), words), end; it != end; ++it)
            table[(*it)[1]] = std::stoi((*it)[2]);
    std::ostringstream out;
    out << Deep<150>::value(m) << table.size();
    std::cout << out.str() << std::endl;
}
)cc";
    QTemporaryDir dir_;
    std::vector<pid_t> pids_;
};

// Samples of a stream with the wall time at which each chunk of them arrived or left.
struct Timeline {
    QMutex m;
    std::vector<qint16> samples;
    std::vector<std::pair<qint64, qint64>> chunks; // (end sample, wall ns)
    void add(const QByteArray& pcm, qint64 at) {
        QMutexLocker l(&m);
        for (qsizetype i = 0; i + 1 < pcm.size(); i += 2)
            samples.push_back(qFromLittleEndian<qint16>(pcm.constData() + i));
        chunks.emplace_back(qint64(samples.size()), at);
    }
    // Wall time of the chunk that held sample `index`.
    std::optional<qint64> timeOf(qint64 index) {
        QMutexLocker l(&m);
        const auto it = std::lower_bound(chunks.begin(), chunks.end(), std::make_pair(index + 1, qint64(-1)));
        if (it == chunks.end()) return std::nullopt;
        return it->second;
    }
    void clear() {
        QMutexLocker l(&m);
        samples.clear();
        chunks.clear();
    }
    // The samples so far: the stream may still be adding to them.
    std::vector<qint16> snapshot() {
        QMutexLocker l(&m);
        return samples;
    }
};

// A sound-server input recorded as the radio records its microphone: a stream of its own read in 5 ms
// pieces on a real-time thread. Qt's recorder fell behind by half a second for stretches of ten
// seconds and more, which put every burst heard meanwhile that much late.
class Recorder {
public:
    Recorder(const QByteArray& deviceId) : input_(makeSystemAudioInput(deviceId)) {
        input_->open([this](const QByteArray& pcm) { line.add(pcm, nowNs()); });
    }
    ~Recorder() { input_->close(); }
    // Wall time of a recorded sample: the earliest that the chunks from its own on put it at, at the
    // stream's pace, so the recorder's own buffering (the same for both recorders) does not smear the
    // measurement, and samples the recorder dropped on a busy machine shift nothing after them. Each
    // chunk gives a time no earlier than the true one, so looking further ahead only tightens it: a
    // recorder that fell behind for longer than half a second put whole stretches of bursts 500 ms
    // late when it looked 25 chunks ahead. Ten seconds ahead keeps clock drift out of it.
    qint64 timeOf(qint64 index) {
        QMutexLocker l(&line.m);
        const auto& chunks = line.chunks;
        auto it = std::lower_bound(chunks.begin(), chunks.end(), std::make_pair(index + 1, qint64(-1)));
        qint64 best = std::numeric_limits<qint64>::max();
        for (; it != chunks.end() && it->first - index <= 10 * rate; ++it)
            best = std::min(best, it->second - (it->first - index) * 1'000'000'000 / rate);
        return best;
    }
    Timeline line;

private:
    std::shared_ptr<AudioInput> input_;
};

// Plays a 20 ms 1 kHz burst about every 500 ms into a sink over the bed tone, for as long as it is open.
class Bursts : public QIODevice {
public:
    Bursts() { open(QIODevice::ReadOnly); }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return 3200 + QIODevice::bytesAvailable(); }

protected:
    qint64 writeData(const char*, qint64) override { return -1; }
    qint64 readData(char* data, qint64 maxlen) override {
        const qint64 n = maxlen / 2;
        for (qint64 i = 0; i < n; ++i, ++pos_) {
            const qint64 inCycle = pos_ % burstEverySamples;
            const double v = (inCycle < burstSamples ? 0.5 * std::sin(2 * M_PI * 1000 * inCycle / rate) : 0) +
                             bedLevel * std::sin(2 * M_PI * bedHz * double(pos_) / rate);
            qToLittleEndian<qint16>(qint16(std::lround(v * 32767)), data + 2 * i);
        }
        return n * 2;
    }

private:
    qint64 pos_ = 0;
};

// The sinks of this run, made on the sound server and removed after.
class NullSinks {
public:
    // Qt lists no monitor sources, so each monitor is also offered as a source of its own: "tr_mouth"
    // hears what is played into "tr_mic", "tr_ear" what is played into "tr_spk".
    NullSinks() {
        load({"module-null-sink", "sink_name=tr_mic"});
        load({"module-null-sink", "sink_name=tr_spk"});
        load({"module-remap-source", "master=tr_mic.monitor", "source_name=tr_mouth"});
        load({"module-remap-source", "master=tr_spk.monitor", "source_name=tr_ear"});
        // As on the test server: without a stream keeping it busy, a null sink stalls each new stream
        // for a second or two.
        for (const char* sink : {"--device=tr_mic", "--device=tr_spk"}) {
            const char* argv[] = {"pacat", "--playback", sink, "--latency-msec=20", "--raw", "--format=s16le",
                                  "--rate=16000", "--channels=1", nullptr};
            posix_spawn_file_actions_t fa;
            posix_spawn_file_actions_init(&fa);
            posix_spawn_file_actions_addopen(&fa, 0, "/dev/zero", O_RDONLY, 0);
            pid_t pid = -1;
            if (posix_spawnp(&pid, argv[0], &fa, nullptr, const_cast<char**>(argv), environ) == 0)
                keepAlive_.push_back(pid);
            posix_spawn_file_actions_destroy(&fa);
        }
    }
    ~NullSinks() {
        for (pid_t pid : keepAlive_) {
            ::kill(pid, SIGTERM);
            ::waitpid(pid, nullptr, 0);
        }
        for (auto it = modules_.rbegin(); it != modules_.rend(); ++it) // the sources before their sinks
            QProcess::execute(QStringLiteral("pactl"), {QStringLiteral("unload-module"), QString::fromLatin1(*it)});
    }
    bool ok() const { return modules_.size() == 4; }

private:
    void load(const QStringList& args) {
        QProcess p;
        p.start(QStringLiteral("pactl"), QStringList{QStringLiteral("load-module")} + args);
        p.waitForFinished(5000);
        const QByteArray id = p.readAllStandardOutput().trimmed();
        if (!id.isEmpty()) modules_.push_back(id);
    }
    std::vector<QByteArray> modules_;
    std::vector<pid_t> keepAlive_;
};

// The microphone as the device gives it, with the wall time of every chunk.
class TappedInput : public AudioInput {
public:
    TappedInput(std::shared_ptr<AudioInput> real, Timeline& line) : real_(std::move(real)), line_(line) {}
    bool hasDevice() const override { return real_->hasDevice(); }
    OpenResult open(std::function<void(const QByteArray&)> onSamples) override {
        line_.clear();
        return real_->open([this, onSamples](const QByteArray& pcm) {
            line_.add(pcm, nowNs());
            onSamples(pcm);
        });
    }
    void close() override { real_->close(); }

private:
    std::shared_ptr<AudioInput> real_;
    Timeline& line_;
};

// What the player hands the speaker, with the wall time of every pull.
class TapSource : public QIODevice {
public:
    TapSource(QIODevice* inner, Timeline& line) : inner_(inner), line_(line) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return inner_->bytesAvailable(); }

protected:
    qint64 writeData(const char*, qint64) override { return -1; }
    qint64 readData(char* data, qint64 maxlen) override {
        const qint64 n = inner_->read(data, maxlen);
        if (n > 0) line_.add(QByteArray(data, n), nowNs());
        return n;
    }

private:
    QIODevice* inner_;
    Timeline& line_;
};

class TappedOutput : public AudioOutput {
public:
    TappedOutput(std::shared_ptr<AudioOutput> real, Timeline& line) : real_(std::move(real)), line_(line) {}
    bool open(QIODevice* source) override {
        tap_ = std::make_unique<TapSource>(source, line_);
        return real_->open(tap_.get());
    }
    void close() override { real_->close(); }
    bool isOpen() const override { return real_->isOpen(); }
    int bufferBytes() const override { return real_->bufferBytes(); }

private:
    std::shared_ptr<AudioOutput> real_;
    Timeline& line_;
    std::unique_ptr<TapSource> tap_;
};

class NoInput : public AudioInput {
public:
    bool hasDevice() const override { return false; }
    OpenResult open(std::function<void(const QByteArray&)>) override { return OpenResult::noDevice; }
    void close() override {}
};

quint16 freePort() {
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

// Lets the event loop run (links, devices) for `ms` without spinning.
void runFor(int ms) {
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> v, double p) {
    if (v.empty()) return NAN;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, std::size_t(p * double(v.size())))];
}
double median(const std::vector<double>& v) {
    return percentile(v, 0.5);
}

std::pair<double, double> lowHigh(const std::vector<double>& v) {
    if (v.empty()) return {NAN, NAN};
    const auto [lo, hi] = std::minmax_element(v.begin(), v.end());
    return {*lo, *hi};
}

struct Stages {
    std::vector<double> total, fill, capture, network, jitter, output;
};

struct Result {
    std::string line;
    double median = NAN;
    double bestTalk = NAN; // the lowest talk median
    Gaps gaps;             // heard at the speaker
};
std::map<std::pair<bool, std::string>, Result> summary; // (busy, path) -> printed line
std::map<bool, Result> floorLine;                       // busy -> the floor
std::map<bool, std::string> plainLine;                  // busy -> the plain stream's gaps

int envOr(const char* name, int fallback) {
    const int v = qEnvironmentVariableIntValue(name);
    return v > 0 ? v : fallback;
}
const int seconds = envOr("TESSROOK_DELAY_SECONDS", 15);
const int runs = envOr("TESSROOK_DELAY_RUNS", 3);
// The busy load ends itself after this, should the benchmark die before it ends them.
int busyBound() {
    return seconds * runs * 2 + 120;
}
const char* passName(bool busy) {
    return busy ? "busy" : "quiet";
}

// One talk's bursts into A's microphone, through a plain stream of its own with room to spare: the
// delay is timed from what the microphone's monitor hears, so this stream's latency costs nothing,
// while a stream that ran dry on a busy machine would put its silence into the talk as a gap.
void sayBursts(QIODevice& bursts) {
    ChildProcess play = ChildProcess::spawn({"pacat", "--playback", "--device=tr_mic", "--latency-msec=200", "--raw",
                                             "--format=s16le", "--rate=16000", "--channels=1"},
                                            false);
    std::atomic<bool> stop{false};
    std::thread feed([&] {
        // The pipe holds about two seconds ahead: the stream, not this thread, sets the pace.
        std::vector<char> piece(rate / 50 * 2);
        while (!stop && bursts.read(piece.data(), qint64(piece.size())) > 0)
            if (::write(play.fd, piece.data(), piece.size()) < 0) break;
    });
    runFor(seconds * 1000);
    stop = true;
    play.end(); // ends the feed's write
    feed.join();
}

// Both monitors are listed as sources.
bool recordersListed() {
    const auto inputs = QMediaDevices::audioInputs();
    return !findDevice(inputs, "tr_mouth").isNull() && !findDevice(inputs, "tr_ear").isNull();
}

// The null sinks are loaded and both monitors listed, or the benchmark says why it cannot run. The
// device list follows the sound server's events, which come through the event loop.
bool soundReady(benchmark::State& state, const NullSinks& sinks) {
    for (int i = 0; i < 50 && !recordersListed(); ++i)
        runFor(100);
    if (qEnvironmentVariableIsSet("TESSROOK_DELAY_DEBUG"))
        for (const auto& d : QMediaDevices::audioInputs())
            std::fprintf(stderr, "input %s\n", d.id().constData());
    if (sinks.ok() && recordersListed()) return true;
    state.SkipWithError("no sound server: run through scripts/bench.sh");
    return false;
}

// Follows each burst said into A's microphone during one talk through every tap to B's speaker.
void follow(Stages& st, Recorder& mouth, Recorder& ear, Timeline& micTap, Timeline& speakerTap,
            const std::map<quint32, qint64>& received, quint32 firstSeq, qint64 releasedAt) {
    const auto said = onsets(mouth.line.snapshot()), heard = onsets(ear.line.snapshot(), 1500),
               captured = onsets(micTap.snapshot()), played = onsets(speakerTap.snapshot(), 1500);
    // Two recordings of one sound can put it a little apart: the mouth recorder's estimate came up to
    // a few milliseconds after the unit's own capture of the same burst, which then matched the next
    // burst and counted as a 600 ms delay. Bursts are 500 ms apart, so 20 ms of leeway cannot match
    // the previous one.
    constexpr qint64 leeway = 20'000'000;
    const auto firstAfter = [](const std::vector<qint64>& at, auto timeOf, qint64 from, qint64 within)
        -> std::optional<std::pair<qint64, qint64>> {
        for (qint64 i : at)
            if (const std::optional<qint64> t = timeOf(i); t && *t >= from - leeway && *t - from < within)
                return std::make_pair(i, *t);
        return std::nullopt;
    };
    constexpr qint64 second = 1'000'000'000;
    const std::optional<qint64> talkFrom = micTap.timeOf(0);
    for (qint64 s : said) {
        const qint64 saidAt = mouth.timeOf(s);
        if (!talkFrom || saidAt < *talkFrom) continue; // an earlier talk's
        if (saidAt >= releasedAt - second) break;
        const auto cap = firstAfter(captured, [&](qint64 i) { return micTap.timeOf(i); }, saidAt, second);
        if (!cap) continue;
        const qint64 frame = cap->first / frameSamples;
        const auto frameReady = micTap.timeOf((frame + 1) * frameSamples - 1);
        const auto got = received.find(firstSeq + quint32(frame));
        if (!frameReady || got == received.end()) continue;
        const auto out = firstAfter(played, [&](qint64 i) { return speakerTap.timeOf(i); }, got->second, second);
        if (!out) continue;
        const auto ear_ =
            firstAfter(heard, [&](qint64 i) { return std::optional<qint64>(ear.timeOf(i)); }, out->second, second);
        if (!ear_) continue;
        const double fill = double((frame + 1) * frameSamples - cap->first) * 1000.0 / rate;
        const double capture = double(*frameReady - saidAt) / 1e6 - fill;
        const double network = double(got->second - *frameReady) / 1e6;
        const double intoFrame = double(cap->first - frame * frameSamples) * 1000.0 / rate;
        const double jitter = double(out->second - got->second) / 1e6 - intoFrame;
        const double output = double(ear_->second - out->second) / 1e6;
        if (qEnvironmentVariableIsSet("TESSROOK_DELAY_DEBUG"))
            std::fprintf(stderr, "said %.1f frame %lld ready %.1f got %.1f pulled %.1f heard %.1f\n", saidAt / 1e6,
                         (long long)frame, *frameReady / 1e6, got->second / 1e6, out->second / 1e6,
                         ear_->second / 1e6);
        st.total.push_back(double(ear_->second - saidAt) / 1e6);
        st.fill.push_back(fill);
        st.capture.push_back(capture);
        st.network.push_back(network);
        st.jitter.push_back(jitter);
        st.output.push_back(output);
    }
}

// Frames that left the microphone late against the sender's even pace, or took long from ready to
// received: which side an underrun came from.
void lateFrames(Timeline& micTap, const std::map<quint32, qint64>& received, quint32 firstSeq) {
    std::optional<qint64> readyBase, gotBase;
    for (const auto& [seq, got] : received) {
        const qint64 frame = seq - firstSeq;
        const auto ready = micTap.timeOf((frame + 1) * frameSamples - 1);
        if (!ready) continue;
        const qint64 paced = frame * 100'000'000;
        readyBase = std::min(readyBase.value_or(*ready - paced), *ready - paced);
        gotBase = std::min(gotBase.value_or(got - paced), got - paced);
    }
    for (const auto& [seq, got] : received) {
        const qint64 frame = seq - firstSeq;
        const auto ready = micTap.timeOf((frame + 1) * frameSamples - 1);
        if (!ready || !readyBase) continue;
        const qint64 paced = frame * 100'000'000;
        const double readyLate = double(*ready - paced - *readyBase) / 1e6, gotLate = double(got - paced - *gotBase) / 1e6,
                     transit = double(got - *ready) / 1e6;
        if (gotLate > 12) std::fprintf(stderr, "frame %lld: ready %.1f ms late, received %.1f ms late (transit %.1f)\n",
                                       (long long)frame, readyLate, gotLate, transit);
    }
}

// Device pulls since `from` that came long after the one before: the output side of a gap.
void slowPulls(Timeline& speakerTap, qint64 from) {
    QMutexLocker l(&speakerTap.m);
    for (std::size_t i = 1; i < speakerTap.chunks.size(); ++i) {
        const auto [end, at] = speakerTap.chunks[i];
        const qint64 prev = speakerTap.chunks[i - 1].second;
        if (prev < from || at - prev < 12'000'000) continue;
        std::fprintf(stderr, "pull %.1f ms after press came %.1f ms after the one before (%lld samples)\n",
                     double(at - from) / 1e6, double(at - prev) / 1e6, (long long)(end - speakerTap.chunks[i - 1].first));
    }
}

void mouthToEar(benchmark::State& state, const QString& path, bool busy) {
    const BusyLoad load(busy, busyBound());
    NullSinks sinks;
    if (!soundReady(state, sinks)) return;
    if (const auto refused = NetworkGuard::refusal()) {
        state.SkipWithError(qPrintable(*refused));
        return;
    }
    std::unique_ptr<QProcess> relay;
    const quint16 portA = freePort(), portB = freePort();
    if (path == QLatin1String("relay")) {
        const quint16 relayPort = freePort();
        relay = std::make_unique<QProcess>();
        relay->start(QCoreApplication::applicationDirPath() + QStringLiteral("/../tools/relay/tessrook-relay"),
                     {QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(relayPort)});
        if (!relay->waitForStarted(5000)) {
            state.SkipWithError("relay did not start");
            return;
        }
        Defaults::shared().setValue(QStringLiteral("relayURL"), QStringLiteral("ws://127.0.0.1:%1").arg(relayPort));
    }

    Timeline micTap, speakerTap;
    std::map<quint32, qint64> received; // seq -> wall ns at B
    const Channel channel = *Channel::fromPassphrase(QStringLiteral("Delay"), QStringLiteral("mouth to ear"));

    WalkieModel::Options a, b;
    for (auto* o : {&a, &b}) {
        o->loadChannels = false;
        o->transports = QSet<QString>{path};
    }
    a.callSign = QStringLiteral("Alpha");
    b.callSign = QStringLiteral("Bravo");
    a.lanPortOverride = portA;
    b.lanPortOverride = portB;
    a.directPeersOverride = QStringLiteral("127.0.0.1:%1").arg(portB);
    b.directPeersOverride = QStringLiteral("127.0.0.1:%1").arg(portA);
    a.audioInput = std::make_shared<TappedInput>(makeSystemAudioInput("tr_mouth"), micTap);
    b.audioInput = std::make_shared<NoInput>();
    const auto speaker = std::make_shared<TappedOutput>(makeSystemAudioOutput("tr_spk"), speakerTap);
    b.audioOutput = speaker;
    double speakerQueueMs = 0; // the most the speaker kept queued at a release
    WalkieModel unitA(a), unitB(b);
    unitA.setChannels({channel});
    unitB.setChannels({channel});
    quint32 firstSeq = 0;
    unitB.onVoiceFrame = [&](const Packet& p) {
        if (!firstSeq) firstSeq = p.seq;
        received[p.seq] = nowNs();
    };
    // Links up and each unit heard the other's hello.
    for (int i = 0; i < 150 && (unitA.roster().isEmpty() || unitB.roster().isEmpty()); ++i)
        runFor(100);
    runFor(500);

    Bursts bursts;
    Recorder mouth("tr_mouth"), ear("tr_ear");
    const int underrunsBefore = unitB.player()->underruns();
    Stages st;
    std::vector<double> talkMedians;
    std::string talkUnderruns, talkGaps;
    int underrunsSoFar = 0;
    Gaps gaps, gapsSaid, gapsHanded; // heard at the speaker; already in what the microphone heard; in
                                     // what the player handed the device

    // Debug: when each gap came, against the talk's start, to set beside late frames and device pulls.
    qint64 pressedAt = 0;
    int seenUnderruns = unitB.player()->underruns();
    int seenQueue = 0;
    QTimer gapWatch;
    if (qEnvironmentVariableIsSet("TESSROOK_DELAY_DEBUG")) {
        QObject::connect(&gapWatch, &QTimer::timeout, [&] {
            if (const int n = unitB.player()->underruns(); n != seenUnderruns) {
                seenUnderruns = n;
                std::fprintf(stderr, "gap seen %.1f ms after press\n", double(nowNs() - pressedAt) / 1e6);
            }
            // The speaker's queue grows each time the sound server reports the stream ran dry.
            if (const int q = speaker->bufferBytes(); q != seenQueue) {
                std::fprintf(stderr, "speaker queue %.1f -> %.1f ms %.1f ms after press\n", seenQueue / 32.0, q / 32.0,
                             double(nowNs() - pressedAt) / 1e6);
                seenQueue = q;
            }
        });
        gapWatch.start(5);
    }

    for (auto _ : state) {
        for (int run = 0; run < runs; ++run) {
            received.clear();
            firstSeq = 0;
            pressedAt = nowNs();
            unitA.pressTalk();
            runFor(500);
            sayBursts(bursts);
            runFor(500);
            const qint64 releasedAt = nowNs();
            speakerQueueMs = std::max(speakerQueueMs, speaker->bufferBytes() / 2.0 * 1000.0 / rate);
            unitA.releaseTalk();
            runFor(1500);
            const std::size_t before = st.total.size();
            follow(st, mouth, ear, micTap, speakerTap, received, firstSeq, releasedAt);
            std::vector<qint64> saidInTalk;
            for (qint64 m : onsets(mouth.line.snapshot()))
                if (const qint64 t = mouth.timeOf(m); t >= pressedAt && t < releasedAt) saidInTalk.push_back(m);
            gapsSaid.add(gapsBetweenBursts(mouth.line.snapshot(), saidInTalk));
            // The voice heard runs from the first burst said on: the squelch that opens the reception
            // is loud enough to pass for a burst, and the wait for the voice after it is no gap in it.
            const qint64 voiceFrom = saidInTalk.empty() ? releasedAt : mouth.timeOf(saidInTalk.front());
            std::vector<qint64> heardInTalk;
            for (qint64 h : onsets(ear.line.snapshot(), 1500))
                if (const qint64 t = ear.timeOf(h); t >= voiceFrom && t < releasedAt) heardInTalk.push_back(h);
            const Gaps talk = gapsBetweenBursts(ear.line.snapshot(), heardInTalk);
            gaps.add(talk);
            // The same count in what the player handed the device: a gap heard but not handed over was
            // lost between the device and the ear.
            std::vector<qint64> playedInTalk;
            for (qint64 p : onsets(speakerTap.snapshot(), 1500))
                if (const auto t = speakerTap.timeOf(p); t && *t >= voiceFrom && *t < releasedAt) playedInTalk.push_back(p);
            gapsHanded.add(gapsBetweenBursts(speakerTap.snapshot(), playedInTalk));
            if (qEnvironmentVariableIsSet("TESSROOK_DELAY_DEBUG")) {
                if (heardInTalk.size() >= 2)
                    for (const auto& [at, length] :
                         silenceRuns(ear.line.snapshot(), heardInTalk.front() + burstSamples, heardInTalk.back())) {
                        const qint64 t = ear.timeOf(at);
                        // The recorder's own pace around it: a late chunk there is the recorder's stall.
                        qint64 worstChunk = 0;
                        {
                            QMutexLocker l(&ear.line.m);
                            const auto& c = ear.line.chunks;
                            for (std::size_t i = 1; i < c.size(); ++i)
                                if (std::abs(c[i].second - t) < 300'000'000)
                                    worstChunk = std::max(worstChunk, c[i].second - c[i - 1].second);
                        }
                        std::fprintf(stderr, "ear gap %.1f ms long %.1f ms after press (sample %lld); ear chunks "
                                             "there at most %.1f ms apart\n",
                                     double(length) / 16.0, double(t - pressedAt) / 1e6, (long long)at,
                                     double(worstChunk) / 1e6);
                    }
                if (playedInTalk.size() >= 2)
                    for (const auto& [at, length] : silenceRuns(speakerTap.snapshot(),
                                                                playedInTalk.front() + burstSamples, playedInTalk.back()))
                        std::fprintf(stderr, "handed gap %.1f ms long %.1f ms after press\n", double(length) / 16.0,
                                     double(speakerTap.timeOf(at).value_or(0) - pressedAt) / 1e6);
            }
            talkGaps += (run ? "," : "") + std::to_string(talk.count);
            if (qEnvironmentVariableIsSet("TESSROOK_DELAY_DEBUG")) {
                lateFrames(micTap, received, firstSeq);
                slowPulls(speakerTap, pressedAt);
            }
            talkMedians.push_back(median({st.total.begin() + qsizetype(before), st.total.end()}));
            talkUnderruns += (run ? "," : "") + std::to_string(unitB.player()->underruns() - underrunsBefore - underrunsSoFar);
            underrunsSoFar = unitB.player()->underruns() - underrunsBefore;
        }
        state.SetIterationTime(double(seconds * runs));
    }
    const int underruns = unitB.player()->underruns() - underrunsBefore;
    const double marginMs = unitB.player()->marginMs(qHash(channel.channelID()));
    if (qEnvironmentVariableIsSet("TESSROOK_DELAY_DEBUG")) {
        auto sizes = [](Timeline& t) {
            std::vector<double> d;
            qint64 prev = 0;
            for (const auto& c : t.chunks) {
                d.push_back(double(c.first - prev) / 16.0);
                prev = c.first;
            }
            return d;
        };
        std::fprintf(stderr, "capture chunks median %.1f ms max %.1f; speaker pulls median %.1f ms max %.1f\n",
                     median(sizes(micTap)), percentile(sizes(micTap), 1.0), median(sizes(speakerTap)),
                     percentile(sizes(speakerTap), 1.0));
        std::vector<double> gaps;
        for (auto it = std::next(received.begin()); it != received.end(); ++it)
            gaps.push_back(double(it->second - std::prev(it)->second) / 1e6);
        std::fprintf(stderr, "arrival spacing median %.1f p5 %.1f p95 %.1f\n", median(gaps), percentile(gaps, 0.05),
                     percentile(gaps, 0.95));
    }
    const double worst = st.total.empty() ? NAN : *std::max_element(st.total.begin(), st.total.end());
    state.counters["bursts"] = double(st.total.size());
    state.counters["median_ms"] = median(st.total);
    state.counters["p95_ms"] = percentile(st.total, 0.95);
    state.counters["worst_ms"] = worst;
    state.counters["underruns"] = underruns;
    state.counters["speaker_gaps"] = gaps.count;
    const auto [lo, hi] = lowHigh(talkMedians);
    char line[800];
    std::snprintf(line, sizeof line,
                  "%-7s %d talks, bursts %3zu  median %6.1f  p95 %6.1f  worst %6.1f ms  talk medians %5.1f-%5.1f"
                  "  | stages (median ms): fill %5.1f capture %5.1f network %5.1f jitter wait %5.1f output %5.1f"
                  "  | margin %5.1f  speaker queue %4.1f ms  | in %d s: gaps at the speaker %d, %.0f ms (by talk %s);"
                  " underruns %d (by talk %s); gaps handed to the device %d, said into the microphone %d",
                  qPrintable(path), runs, st.total.size(), median(st.total), percentile(st.total, 0.95), worst, lo, hi,
                  median(st.fill), median(st.capture), median(st.network), median(st.jitter), median(st.output),
                  marginMs, speakerQueueMs, seconds * runs, gaps.count, gaps.ms,
                  talkGaps.c_str(), underruns, talkUnderruns.c_str(), gapsHanded.count, gapsSaid.count);
    summary[{busy, path.toStdString()}] = {line, median(st.total), lo, gaps};
    if (relay) {
        relay->kill();
        relay->waitForFinished(2000);
    }
}

// The least this sound stack allows for 100 ms frames: parec in 5 ms pieces from the same microphone,
// each whole frame one UDP datagram over loopback, played by pacat to a 20 ms stream, 10 ms of silence
// ahead of the first frame as the cushion.
void floorPath(benchmark::State& state, bool busy) {
    const BusyLoad load(busy, busyBound());
    NullSinks sinks;
    if (!soundReady(state, sinks)) return;
    const int sock = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    timeval timeout{0, 200'000};
    if (sock < 0 || ::bind(sock, reinterpret_cast<sockaddr*>(&at), sizeof at) != 0 ||
        ::getsockname(sock, reinterpret_cast<sockaddr*>(&at), &len) != 0 ||
        ::setsockopt(sock, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof timeout) != 0) {
        state.SkipWithError("no loopback socket");
        if (sock >= 0) ::close(sock);
        return;
    }
    const std::vector<std::string> format{"--raw", "--format=s16le", "--rate=16000", "--channels=1"};
    auto with = [&](std::vector<std::string> v) {
        v.insert(v.end(), format.begin(), format.end());
        return v;
    };
    Bursts bursts;
    Recorder mouth("tr_mouth"), ear("tr_ear");
    Stages st;
    std::vector<double> talkMedians;
    Gaps gaps;
    for (auto _ : state) {
        for (int run = 0; run < runs; ++run) {
            ChildProcess rec = ChildProcess::spawn(with({"parec", "--device=tr_mouth", "--latency-msec=5"}), true);
            ChildProcess play = ChildProcess::spawn(with({"pacat", "--playback", "--device=tr_spk", "--latency-msec=20"}), false);
            std::atomic<bool> stop{false};
            std::thread sender([&] {
                std::vector<char> frame(frameSamples * 2);
                while (!stop && rec.readFully(frame.data(), frame.size()))
                    ::sendto(sock, frame.data(), frame.size(), 0, reinterpret_cast<const sockaddr*>(&at), sizeof at);
            });
            std::thread receiver([&] {
                std::vector<char> frame(frameSamples * 2 + 1);
                bool first = true;
                while (!stop) {
                    const ssize_t got = ::recv(sock, frame.data(), frame.size(), 0);
                    if (got <= 0) continue;
                    if (first) {
                        const std::vector<char> cushion(rate / 100 * 2, 0);
                        if (::write(play.fd, cushion.data(), cushion.size()) < 0) break;
                        first = false;
                    }
                    if (::write(play.fd, frame.data(), std::size_t(got)) < 0) break;
                }
            });
            runFor(500);
            const qint64 from = nowNs();
            sayBursts(bursts);
            runFor(1000);
            const qint64 until = nowNs() - 1'000'000'000;
            stop = true;
            rec.end(); // ends the sender's read
            sender.join();
            receiver.join();
            play.end();
            const std::size_t before = st.total.size();
            const auto said = onsets(mouth.line.snapshot()), heard = onsets(ear.line.snapshot(), 1500);
            std::vector<qint64> heardInTalk;
            for (qint64 h : heard)
                if (const qint64 t = ear.timeOf(h); t >= from && t < until + 1'000'000'000) heardInTalk.push_back(h);
            gaps.add(gapsBetweenBursts(ear.line.snapshot(), heardInTalk));
            for (qint64 s : said) {
                const qint64 saidAt = mouth.timeOf(s);
                if (saidAt < from || saidAt >= until) continue;
                for (qint64 h : heard)
                    if (const qint64 t = ear.timeOf(h); t > saidAt && t - saidAt < 1'000'000'000) {
                        st.total.push_back(double(t - saidAt) / 1e6);
                        break;
                    }
            }
            talkMedians.push_back(median({st.total.begin() + qsizetype(before), st.total.end()}));
        }
        state.SetIterationTime(double(seconds * runs));
    }
    ::close(sock);
    const auto [lo, hi] = lowHigh(talkMedians);
    state.counters["median_ms"] = median(st.total);
    state.counters["p95_ms"] = percentile(st.total, 0.95);
    state.counters["speaker_gaps"] = gaps.count;
    char line[400];
    std::snprintf(line, sizeof line,
                  "%-7s %d talks, bursts %3zu  median %6.1f  p95 %6.1f ms  spread p5-p95 %5.1f-%5.1f  talk medians "
                  "%5.1f-%5.1f  | gaps at the speaker %d, %.0f ms",
                  "floor", runs, st.total.size(), median(st.total), percentile(st.total, 0.95),
                  percentile(st.total, 0.05), percentile(st.total, 0.95), lo, hi, gaps.count, gaps.ms);
    floorLine[busy] = {line, median(st.total), lo, gaps};
}

// What the sound server itself drops: the bed tone alone through a plain 40 ms playback stream into the
// speaker's sink, recorded at its monitor.
void plainStream(benchmark::State& state, bool busy) {
    const BusyLoad load(busy, busyBound());
    NullSinks sinks;
    if (!soundReady(state, sinks)) return;
    Recorder ear("tr_ear");
    Gaps gaps;
    for (auto _ : state) {
        ChildProcess play = ChildProcess::spawn({"pacat", "--playback", "--device=tr_spk", "--latency-msec=40", "--raw",
                                                 "--format=s16le", "--rate=16000", "--channels=1"},
                                                false);
        std::atomic<bool> stop{false};
        std::thread feed([&] {
            // The pipe holds about two seconds ahead: the stream, not this thread, sets the pace.
            std::vector<qint16> piece(rate / 10);
            qint64 pos = 0;
            while (!stop) {
                for (auto& v : piece)
                    v = qint16(std::lround(bedLevel * 4 * 32767 * std::sin(2 * M_PI * bedHz * double(pos++) / rate)));
                if (::write(play.fd, piece.data(), piece.size() * 2) < 0) break;
            }
        });
        runFor(1000);
        const qint64 from = qint64(ear.line.snapshot().size());
        runFor(seconds * runs * 1000);
        const qint64 to = qint64(ear.line.snapshot().size());
        stop = true;
        play.end(); // ends the feed's write
        feed.join();
        gaps = silences(ear.line.snapshot(), from, to);
        state.SetIterationTime(double(seconds * runs));
    }
    state.counters["speaker_gaps"] = gaps.count;
    char line[200];
    std::snprintf(line, sizeof line, "plain 40 ms stream, %d s: gaps at the speaker %d, %.0f ms", seconds * runs,
                  gaps.count, gaps.ms);
    plainLine[busy] = line;
}

std::map<bool, double> passLoadBefore; // the load average as each pass began
double loadAverage();
void printPass(bool busy, double loadBefore, double loadAfter);

void registerPass(bool busy) {
    const std::string pass = passName(busy);
    const auto add = [&](const std::string& name, auto run) {
        benchmark::RegisterBenchmark((name + "/" + pass).c_str(), [=](benchmark::State& st) { run(st, busy); })
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    };
    add("floorPath", [](benchmark::State& st, bool b) {
        passLoadBefore[b] = loadAverage();
        floorPath(st, b);
    });
    for (const char* path : {"lan", "relay", "nearby"})
        add(std::string(path) + "Path",
            [path](benchmark::State& st, bool b) { mouthToEar(st, QString::fromLatin1(path), b); });
    // The last of a pass: its summary prints at once, before a slow pass after it.
    add("plainStream", [](benchmark::State& st, bool b) {
        plainStream(st, b);
        printPass(b, passLoadBefore.count(b) ? passLoadBefore.at(b) : NAN, loadAverage());
    });
}

// The ratio to the floor takes its best talk: a talk's median lands on the phase of the device pulls. A
// floor that gapped measured a broken stream, and nothing is divided by it.
std::string againstFloor(const Result& r, const Result& floor) {
    char text[120];
    if (floor.line.empty() || std::isnan(floor.bestTalk))
        std::snprintf(text, sizeof text, "no floor");
    else if (floor.gaps.count > 0)
        std::snprintf(text, sizeof text, "floor invalid (it gapped %d times)", floor.gaps.count);
    else
        std::snprintf(text, sizeof text, "%.2fx the floor's best talk", r.median / floor.bestTalk);
    return text;
}
double loadAverage() {
    double load = NAN;
    return ::getloadavg(&load, 1) == 1 ? load : NAN;
}

// Whether this process may raise a thread to real-time priority, as the audio threads ask: a desktop
// user without it gets the figures of a run under `unshare -r`, where it is refused.
bool realTimeGranted() {
    bool granted = false;
    std::thread([&] {
        sched_param p{};
        p.sched_priority = 5;
        granted = pthread_setschedparam(pthread_self(), SCHED_FIFO, &p) == 0;
    }).join();
    return granted;
}

void printPass(bool busy, double loadBefore, double loadAfter) {
    const std::string load = busy ? std::string(" (") + BusyLoad::name() + ")" : std::string();
    std::printf("\n%s pass%s, load average %.1f before, %.1f after, real-time audio threads %s: mouth to ear "
                "over %d talks of %d s per link (goal: median at most 140 ms, p95 at most 160 ms quiet; busy: "
                "median at most 150 ms, at most 20 ms of gaps heard); gaps at the speaker over a continuous bed tone\n",
                passName(busy), load.c_str(), loadBefore, loadAfter, realTimeGranted() ? "granted" : "refused", runs,
                seconds);
    const Result floor = floorLine.count(busy) ? floorLine.at(busy) : Result{};
    if (!floor.line.empty()) std::printf("%s\n", floor.line.c_str());
    for (const auto& [key, r] : summary)
        if (key.first == busy) std::printf("%s  | %s\n", r.line.c_str(), againstFloor(r, floor).c_str());
    if (plainLine.count(busy)) std::printf("%s\n", plainLine.at(busy).c_str());
    std::fflush(stdout);
}
} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    std::signal(SIGPIPE, SIG_IGN); // a sound tool that quits must not take the benchmark with it
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Quillmarsh"));
    QCoreApplication::setApplicationName(QStringLiteral("QMRL Tessrook delay bench"));
    wall.start();
    benchmark::Initialize(&argc, argv);
    const QByteArray passes = qgetenv("TESSROOK_DELAY_PASSES");
    // One run for both passes: this library's second run after clearing what was registered crashed.
    for (const bool busy : {false, true})
        if (passes.isEmpty() || passes == passName(busy)) registerPass(busy);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
