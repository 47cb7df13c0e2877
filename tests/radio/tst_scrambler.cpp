// The voice scrambler on synthetic voices: frame lengths, where each voice moves the pitch, clean
// frame edges, the flush at the end and full-scale input.
#include "Records.h"
#include "Scrambler.h"
#include "SignalProbe.h"

#include <QCoreApplication>
#include <QTest>

Q_DECLARE_METATYPE(ScrambleMode)

namespace {
constexpr int frameBytes = 3200;
constexpr double inputHz = 400;

// Runs `frames` frames of a steady sine through a fresh scrambler; returns the output samples.
std::vector<float> scramble(ScrambleMode mode, int frames, QList<QByteArray>* rest = nullptr) {
    Scrambler s(mode);
    const auto input = Probe::sine(inputHz, frames * 1600, 0.3f);
    std::vector<float> out;
    for (int f = 0; f < frames; ++f) {
        const QByteArray in = Probe::pcm({input.begin() + f * 1600, input.begin() + (f + 1) * 1600});
        const QByteArray got = s.process(in);
        if (got.size() != frameBytes) return {};
        const auto fl = Probe::floats(got);
        out.insert(out.end(), fl.begin(), fl.end());
    }
    if (rest) *rest = s.flush(frameBytes);
    return out;
}
} // namespace

class ScramblerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void namesAndUnknownValues() {
        QCOMPARE(ScrambleModes::all().size(), 5);
        QCOMPARE(ScrambleModes::name(ScrambleModes::all().first()) + ": " +
                     ScrambleModes::detail(ScrambleMode::deep),
                 QString("Deep: Lower, heavier voice"));
        QCOMPARE(ScrambleModes::detail(ScrambleMode::shadow),
                 QString("Low voice with a metallic edge, hardest to recognize"));
        QCOMPARE(ScrambleModes::fromRaw(2), ScrambleMode::robot);
        QCOMPARE(ScrambleModes::fromRaw(5), ScrambleMode::shadow);
        QCOMPARE(ScrambleModes::fromRaw(-1), ScrambleMode::shadow);
    }

    void eachVoiceMovesThePitchItsWay_data() {
        QTest::addColumn<ScrambleMode>("mode");
        for (ScrambleMode m : ScrambleModes::all())
            QTest::newRow(qPrintable(ScrambleModes::name(m))) << m;
    }
    void eachVoiceMovesThePitchItsWay() {
        QFETCH(ScrambleMode, mode);
        QList<QByteArray> rest;
        const auto out = scramble(mode, 20, &rest);
        QVERIFY2(!out.empty(), "every frame keeps its 3,200 bytes");
        // The steady part, past the start-up of the pitch shifter.
        const std::size_t from = 5 * 1600, to = 18 * 1600;
        const double main = Probe::mainFrequency(out, from, to, 80, 2000);
        const QString seen = QString("main frequency %1 Hz").arg(main);
        switch (mode) {
        case ScrambleMode::deep: // five semitones down
            QVERIFY2(std::abs(main - inputHz * std::pow(2, -5 / 12.0)) < 15, qPrintable(seen));
            break;
        case ScrambleMode::high: // five semitones up
            QVERIFY2(std::abs(main - inputHz * std::pow(2, 5 / 12.0)) < 20, qPrintable(seen));
            break;
        case ScrambleMode::shadow: // lower, with ring-modulation side tones
            QVERIFY2(main < inputHz * 0.85, qPrintable(seen));
            QVERIFY(Probe::levelAt(out, from, to, main - Scrambler::voice(mode).ringHz) >
                    0.2 * Probe::levelAt(out, from, to, main));
            break;
        case ScrambleMode::robot: { // the tone itself is replaced by ring-modulation side tones
            const double ring = Scrambler::voice(mode).ringHz;
            QVERIFY2(std::abs(main - (inputHz - ring)) < 10 || std::abs(main - (inputHz + ring)) < 10,
                     qPrintable(seen));
            QVERIFY(Probe::levelAt(out, from, to, inputHz) < 0.2 * Probe::levelAt(out, from, to, main));
            break;
        }
        case ScrambleMode::alien: { // raised on average, and wobbling
            double lo = 1e9, hi = 0, sum = 0;
            int n = 0;
            for (std::size_t at = from; at + 800 <= to; at += 400, ++n) {
                const double f = Probe::mainFrequency(out.data() + at, 800, 80, 2000, 5);
                lo = std::min(lo, f), hi = std::max(hi, f), sum += f;
            }
            QVERIFY2(sum / n > inputHz * 1.08, qPrintable(QString("mean %1").arg(sum / n)));
            QVERIFY2(hi - lo > 40, qPrintable(QString("range %1..%2").arg(lo).arg(hi)));
            break;
        }
        }
        // Pitch-shifted voices hold back some samples that the flush returns, in frames of at most
        // 3,200 bytes; the others hold nothing back.
        const bool shifts = Scrambler::voice(mode).pitchSemitones != 0;
        QCOMPARE(!rest.isEmpty(), shifts);
        qsizetype restBytes = 0;
        for (const auto& r : rest) {
            QVERIFY(r.size() > 0 && r.size() <= frameBytes && r.size() % 2 == 0);
            restBytes += r.size();
        }
        QVERIFY(restBytes < 4 * frameBytes);
    }

    void frameEdgesDoNotClick_data() { eachVoiceMovesThePitchItsWay_data(); }
    void frameEdgesDoNotClick() {
        QFETCH(ScrambleMode, mode);
        const auto out = scramble(mode, 20);
        QVERIFY(!out.empty());
        // A quiet low sine moves at most ~0.03 per sample; a gap or a restart at a frame edge
        // jumps by a good part of the amplitude.
        float worst = 0;
        for (std::size_t i = 6 * 1600; i < 19 * 1600; ++i)
            worst = std::max(worst, std::abs(out[i] - out[i - 1]));
        const float limit = mode == ScrambleMode::robot || mode == ScrambleMode::alien ? 0.2f : 0.12f;
        QVERIFY2(worst < limit, qPrintable(QString::number(worst)));
    }

    void fullScaleNeverWraps_data() { eachVoiceMovesThePitchItsWay_data(); }
    void fullScaleNeverWraps() {
        QFETCH(ScrambleMode, mode);
        // A full-scale sine moves at most a few thousand steps per sample, even shifted up and
        // ring-modulated; a wrap-around would jump by nearly 65,536.
        Scrambler s(mode);
        const auto loud = Probe::sine(300, 16000, 1.0f);
        for (int f = 0; f < 10; ++f) {
            const auto out =
                Probe::ints(s.process(Probe::pcm({loud.begin() + f * 1600, loud.begin() + (f + 1) * 1600})));
            QCOMPARE(out.size(), std::size_t(1600));
            QVERIFY2(Probe::largestStep(out) < 30000, qPrintable(QString::number(Probe::largestStep(out))));
        }
    }

    void partialFramesAndReset() {
        // A short last frame comes back just as long; reset() starts over exactly like a new one.
        Scrambler a(ScrambleMode::deep), b(ScrambleMode::deep);
        const QByteArray in = Probe::pcm(Probe::sine(300, 1600));
        a.process(in);
        a.process(in);
        QCOMPARE(a.process(in.left(1000)).size(), 1000);
        a.reset();
        QCOMPARE(a.process(in), b.process(in));
        QCOMPARE(a.process(in), b.process(in));
    }
};

QTEST_GUILESS_MAIN(ScramblerTest)
#include "tst_scrambler.moc"
