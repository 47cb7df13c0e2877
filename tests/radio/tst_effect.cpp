// The two-way-radio sound: what it lets through, how loud, and that it never wraps around.
#include "Pcm.h"
#include "RadioEffect.h"
#include "SignalProbe.h"

#include <QCoreApplication>
#include <QTest>

class EffectTest : public QObject {
    Q_OBJECT

    // Output level over input level for a steady sine, measured after the filters settled.
    static double gainAt(double hz, float amplitude = 0.1f) {
        RadioEffect fx;
        auto s = Probe::sine(hz, 8000, amplitude);
        fx.process(s.data(), s.size());
        return Probe::rms(s, 4000) / (amplitude / std::sqrt(2.0));
    }
    static double db(double ratio) { return 20 * std::log10(ratio); }

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void keepsTheVoiceBandAndCutsBoomAndHiss() {
        const double mid = gainAt(1000);
        QVERIFY2(db(gainAt(100) / mid) < -20, qPrintable(QString::number(db(gainAt(100) / mid))));
        QVERIFY2(db(gainAt(6000) / mid) < -20, qPrintable(QString::number(db(gainAt(6000) / mid))));
        // The presence lift: the upper voice band stands out a little.
        QVERIFY(gainAt(1800) > mid);
    }

    void speechKeepsItsLevel() {
        // A voiced sound: 140 Hz and its harmonics up to 4 kHz, falling off like a voice. Switching
        // the effect on must not make it jump in loudness.
        std::vector<float> voice(16000, 0.0f);
        for (int k = 1; k * 140 < 4000; ++k) {
            const auto h = Probe::sine(140.0 * k, 16000, 0.3f / k, k * 1.3);
            for (std::size_t i = 0; i < voice.size(); ++i)
                voice[i] += h[i];
        }
        const double before = Probe::rms(voice, 8000);
        RadioEffect fx;
        fx.process(voice.data(), voice.size());
        const double change = db(Probe::rms(voice, 8000) / before);
        QVERIFY2(std::abs(change) < 3, qPrintable(QString::number(change)));
    }

    void loudVoiceIsSoftClippedNotWrapped() {
        for (double hz : {400.0, 1000.0, 2500.0}) {
            const std::vector<float> s = Probe::sine(hz, 3200, 1.0f);
            RadioEffect fx;
            const auto out = Probe::ints(fx.process(Probe::pcm(s)));
            QCOMPARE(out.size(), s.size());
            // Clipped softly, so never beyond the clipper's ceiling; a wrap-around would be a jump of
            // nearly 65,536 between neighbours.
            QVERIFY2(Probe::largestStep(out) < 55000, qPrintable(QString::number(Probe::largestStep(out))));
            const int loudest = std::abs(*std::max_element(
                out.begin(), out.end(), [](int a, int b) { return std::abs(a) < std::abs(b); }));
            QVERIFY2(loudest > 16000 && loudest <= RadioEffect::makeUp / RadioEffect::drive * 32767 + 2,
                     qPrintable(QString::number(loudest)));
        }
        QCOMPARE(toPcm16(3.0f), qint16(32767));
        QCOMPARE(toPcm16(-3.0f), qint16(-32768));
    }

    void softClipIsTanhWithinInaudibleError() {
        // The cheaper curve must sound the same: never more than 1e-4 (-80 dB) from tanh, odd, and
        // never beyond full scale, however hard it is driven. Large inputs must not overflow to NaN.
        double worst = 0;
        for (int i = -100000; i <= 100000; ++i) {
            const float x = float(i) * 1e-4f * 8;
            const float y = softClip(x);
            worst = std::max(worst, std::abs(double(y) - std::tanh(double(x))));
            QCOMPARE(softClip(-x), -y);
        }
        QVERIFY2(worst < 1e-4, qPrintable(QString::number(worst)));
        for (float x : {20.0f, 1e4f, 1e19f})
            QCOMPARE(softClip(x), 1.0f);
    }

    void stateCarriesAcrossFrames() {
        // Cutting the stream into frames must sound the same as one piece: no clicks at the edges.
        std::vector<float> whole = Probe::sine(440, 4800, 0.4f);
        for (std::size_t i = 0; i < whole.size(); ++i)
            whole[i] += 0.2f * float(std::sin(i * 0.9));
        const QByteArray in = Probe::pcm(whole);
        RadioEffect a, b;
        const QByteArray once = a.process(in);
        QByteArray pieces;
        for (int at = 0; at < in.size(); at += 3200)
            pieces += b.process(in.mid(at, 3200));
        QCOMPARE(pieces, once);
        // And reset() really forgets.
        b.reset();
        QCOMPARE(b.process(in), once);
    }
};

QTEST_GUILESS_MAIN(EffectTest)
#include "tst_effect.moc"
