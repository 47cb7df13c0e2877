// What the self-test costs per 1.5 s refresh (goal: well under 1 ms with the firewall answer kept), what
// one probe costs with tools that answer at once, and how long the music takes to follow a talk-state
// change (goal: under 50 ms).
#include "FirewallProbe.h"
#include "LinkDiagnostics.h"
#include "ModelFixture.h"
#include "RadioStation.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <benchmark/benchmark.h>
#include <chrono>

namespace {

class CannedTools : public FirewallProbe::Runner {
public:
    bool has(const QString& tool) const override { return tool == QLatin1String("firewall-cmd"); }
    FirewallProbe::Run run(const QString&, const QStringList& args, int) override {
        return {true, 0,
                args.value(0) == QLatin1String("--state") ? QStringLiteral("running\n")
                                                          : QStringLiteral("yes\n")};
    }
};

class QuietSink : public MediaSink {
public:
    float volume = -1;
    void play(const QUrl&) override {}
    void stop() override {}
    void setVolume(float v) override { volume = v; }
};

void reportWithKeptFirewallAnswer(benchmark::State& state) {
    fixture::Rig rig;
    WalkieModel& m = rig.make();
    const Channel ch = fixture::channel(QStringLiteral("Bench"));
    m.setChannels({ch});
    for (quint64 u = 1; u <= 4; ++u)
        m.receiveSealed(
            fixture::sealed(ch, PacketKind::hello, u, 1, u, QStringLiteral("Unit %1").arg(u).toUtf8()));
    FirewallProbe::Options o;
    o.runner = std::make_shared<CannedTools>();
    o.clock = rig.clock;
    FirewallProbe probe(o);
    probe.firewall(LANTransport::defaultPort);
    for (auto _ : state) {
        auto lines = LinkDiagnostics::build(LinkDiagnostics::snapshot(m, probe));
        benchmark::DoNotOptimize(lines);
    }
    state.counters["probes"] = probe.probes();
}
BENCHMARK(reportWithKeptFirewallAnswer)->Unit(benchmark::kMicrosecond);

void probeWithCannedTools(benchmark::State& state) {
    QTemporaryDir root;
    FirewallProbe::Options o;
    o.runner = std::make_shared<CannedTools>();
    o.root = root.path();
    FirewallProbe probe(o);
    for (auto _ : state)
        benchmark::DoNotOptimize(probe.read(LANTransport::defaultPort));
}
BENCHMARK(probeWithCannedTools)->Unit(benchmark::kMicrosecond);

void talkStateToMusicVolume(benchmark::State& state) {
    fixture::Rig rig;
    WalkieModel& m = rig.make();
    const Channel ch = fixture::channel(QStringLiteral("Duck"));
    m.setChannels({ch});
    RadioStation::Options o;
    auto sink = std::make_unique<QuietSink>();
    QuietSink* s = sink.get();
    o.sink = std::move(sink);
    RadioStation station(m, std::move(o));
    QCoreApplication::processEvents();
    quint64 tx = 1;
    for (auto _ : state) {
        const bool receiving = m.talk().isReceiving();
        const float before = s->volume;
        const auto t0 = std::chrono::steady_clock::now();
        if (receiving)
            m.receiveSealed(fixture::sealed(ch, PacketKind::end, tx++, 2, 0xA11));
        else
            m.receiveSealed(fixture::sealed(ch, PacketKind::start, tx, 1, 0xA11, "Ann"));
        while (s->volume == before)
            QCoreApplication::processEvents();
        state.SetIterationTime(std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count());
    }
}
BENCHMARK(talkStateToMusicVolume)->UseManualTime()->Unit(benchmark::kMicrosecond)->Iterations(2000);

} // namespace

int main(int argc, char** argv) {
    fixture::privateFolders();
    pinMediaBackend();
    QCoreApplication app(argc, argv);
    app.setOrganizationName(QStringLiteral("Quillmarsh"));
    app.setApplicationName(QStringLiteral("QMRL Tessrook"));
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
