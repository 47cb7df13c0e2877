// The radio's own sounds: length, pitch, shape and clean edges of each.
#include "SignalProbe.h"
#include "Tones.h"

#include <QCoreApplication>
#include <QTest>

class TonesTest : public QObject {
    Q_OBJECT
    static double msOf(const std::vector<float>& s) { return s.size() * 1000.0 / Tones::sampleRate; }
    static std::size_t at(double ms) { return std::size_t(ms * Tones::sampleRate / 1000); }

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void lengthsAndPitches() {
        const auto& permit = Tones::talkPermit();
        QVERIFY(msOf(permit) >= 120 && msOf(permit) <= 250);
        // Two notes, the second higher.
        QCOMPARE(Probe::mainFrequency(permit, at(5), at(65)), Tones::talkPermitLowHz);
        QCOMPARE(Probe::mainFrequency(permit, at(90), at(160)), Tones::talkPermitHighHz);
        QVERIFY(Tones::talkPermitHighHz > Tones::talkPermitLowHz);

        const auto& busy = Tones::busy();
        QVERIFY(msOf(busy) >= 300 && msOf(busy) <= 700);
        QVERIFY(std::abs(Probe::mainFrequency(busy, 0, busy.size()) - Tones::busyHz) <= 10);
        QVERIFY(Tones::busyHz < 500);
        // Pulsed: a gap between the first two pulses.
        QVERIFY(Probe::rms(busy, at(115), at(175)) < 0.01);

        const auto& roger = Tones::roger();
        QVERIFY(msOf(roger) >= 120 && msOf(roger) <= 300);
        QCOMPARE(Probe::mainFrequency(roger, at(5), at(75)), Tones::rogerFirstHz);
        QCOMPARE(Probe::mainFrequency(roger, at(90), at(175)), Tones::rogerSecondHz);

        const auto& siren = Tones::sirenCycle();
        QCOMPARE(siren.size(), std::size_t(Tones::sirenCycleSeconds * Tones::sampleRate));
        const double low = Probe::mainFrequency(siren, 0, at(40));
        const double high = Probe::mainFrequency(siren, at(480), at(520));
        QVERIFY2(low < Tones::sirenLowHz + 60, qPrintable(QString::number(low)));
        QVERIFY2(high > Tones::sirenHighHz - 60, qPrintable(QString::number(high)));
    }

    void squelchIsBandLimitedNoiseThatDecays() {
        for (const auto* s : {&Tones::squelchBurst(), &Tones::squelchTail()}) {
            QVERIFY(msOf(*s) >= 60 && msOf(*s) <= 300);
            // Fast attack: loud within the first 20 ms; then it dies away.
            const double start = Probe::rms(*s, 0, at(20));
            QVERIFY(start > 0.05);
            QVERIFY(Probe::rms(*s, s->size() - at(20), s->size()) < start * 0.3);
            // Noise rather than a tone: no single frequency carries much of it, and the band
            // below 300 Hz is nearly empty.
            double strongest = 0;
            for (double hz = 500; hz < 4000; hz += 50)
                strongest = std::max(strongest, Probe::amplitudeAt(s->data(), at(40), hz));
            QVERIFY(strongest < start);
            QVERIFY(Probe::amplitudeAt(s->data(), at(40), 100) < start * 0.2);
        }
        QVERIFY(msOf(Tones::squelchTail()) < msOf(Tones::squelchBurst()));
    }

    void everySoundStartsAndEndsQuietlyAndStaysInRange() {
        for (Tone t : {Tone::talkPermit, Tone::busy, Tone::roger, Tone::squelchBurst, Tone::squelchTail}) {
            const auto& s = Tones::samples(t);
            QVERIFY(!s.empty());
            QVERIFY2(std::abs(s.front()) < 0.01f && std::abs(s.back()) < 0.01f,
                     qPrintable(QString::number(int(t))));
            for (float v : s)
                QVERIFY(v >= -1 && v <= 1);
        }
        // The siren loops: the end of one cycle runs into the start of the next without a jump.
        const auto& siren = Tones::sirenCycle();
        const float step = std::abs(siren.front() - siren.back());
        QVERIFY2(step < 0.35f * 2 * M_PI * Tones::sirenLowHz / Tones::sampleRate * 1.5,
                 qPrintable(QString::number(step)));
    }
};

QTEST_GUILESS_MAIN(TonesTest)
#include "tst_tones.moc"
