// Playback through the real sound server: what the null sink's monitor hears.
#include "ModelFixture.h"
#include "RadioPlayer.h"
#include "SignalProbe.h"
#include "SoundServer.h"
#include "Tones.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <atomic>

namespace {
// Milliseconds into `s` of the first 20 ms window where `hz` is strong and the strongest. (A busy
// machine may drop a few samples on the way through the sound server; the clicks that leaves must
// not count as a tone.)
int whenHeard(const std::vector<float>& s, double hz, double level = 0.05) {
    for (std::size_t at = 0; at + 320 <= s.size(); at += 160)
        if (Probe::amplitudeAt(s.data() + at, 320, hz) > level &&
            std::abs(Probe::mainFrequency(s.data() + at, 320, 200, 4000, 10) - hz) <= 40)
            return int(at / 16);
    return -1;
}
int whenLoud(const std::vector<float>& s, double level = 0.02) {
    for (std::size_t at = 0; at + 320 <= s.size(); at += 160)
        if (Probe::rms(s.data() + at, 320) > level) return int(at / 16);
    return -1;
}
} // namespace

class PlayerDeviceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    // The real sound server: what the null sink's monitor hears.
    void realDevicePlaysSquelchVoiceRogerInOrder() {
        REQUIRE_SOUND_SERVER();
        const auto s = record([](RadioPlayer& player) {
            player.beginReception(42);
            const auto voice = Probe::sine(700, 1600 * 5, 0.3f);
            for (int i = 0; i < 5; ++i) {
                player.playFrame(42, Probe::pcm({voice.begin() + i * 1600, voice.begin() + (i + 1) * 1600}));
                QTest::qWait(100); // frames come in real time, as over a link
            }
            player.endReception(42);
            QTest::qWait(700); // the roger beep plays out on the real device while it is recorded
        });
        const int noise = whenLoud(s), speech = whenHeard(s, 700), roger = whenHeard(s, Tones::rogerFirstHz);
        QVERIFY2(noise >= 0 && speech > noise && roger > speech + 300,
                 qPrintable(QString("noise %1 voice %2 roger %3 ms").arg(noise).arg(speech).arg(roger)));
        QVERIFY(Probe::levelAt(s, std::size_t(noise) * 16, std::size_t(noise) * 16 + 640, 700) < 0.02);
    }

    // The real stream's feed held back longer than its queue lasts: the sound server reports it ran dry,
    // and the speaker keeps more queued from then on.
    void aFeedHeldBackGrowsTheRealSpeakersQueue() {
        REQUIRE_SOUND_SERVER();
        class HeldBackSource : public QIODevice {
        public:
            std::atomic<int> reads{0};
            HeldBackSource() { open(QIODevice::ReadOnly | QIODevice::Unbuffered); }
            bool isSequential() const override { return true; }
            qint64 bytesAvailable() const override { return 3200; }

        protected:
            qint64 writeData(const char*, qint64) override { return -1; }
            qint64 readData(char* data, qint64 maxlen) override {
                if (++reads % 40 == 0) QThread::msleep(120); // beyond the largest queue
                std::fill(data, data + maxlen, char(1));
                return maxlen;
            }
        } source;
        auto out = makeSystemAudioOutput();
        QVERIFY(out->open(&source));
        const int small = out->bufferBytes();
        QCOMPARE(small, 16 * 15 * 2);
        QTRY_VERIFY_WITH_TIMEOUT(out->bufferBytes() > small, 10000);
        out->close();
    }

    void realDeviceMutedPlaysNothingOfAReceptionButTheSiren() {
        REQUIRE_SOUND_SERVER();
        QTemporaryDir folders;
        qputenv("XDG_CONFIG_HOME", (folders.path() + "/config").toUtf8());
        qputenv("XDG_DATA_HOME", (folders.path() + "/data").toUtf8());
        fixture::Rig rig;
        const Channel ch = fixture::channel(QStringLiteral("Mute"));
        const quint64 ann = 0xA11;
        const double voiceHz = 2500; // clear of the siren's sweep and of both roger tones
        const auto s = recordWhile([&] {
            auto o = rig.options();
            o.audioOutput = makeSystemAudioOutput(); // the real speaker
            WalkieModel& m = rig.make(o);
            m.setChannels({ch});
            m.setSelectedID(ch.channelID());
            m.setMuteSpeaker(true);
            m.receiveSealed(fixture::sealed(ch, PacketKind::start, 1, 1, ann, "Ann"));
            const auto voice = Probe::sine(voiceHz, 1600 * 5, 0.3f);
            for (int i = 0; i < 5; ++i) {
                m.receiveSealed(
                    fixture::sealed(ch, PacketKind::audio, 1, quint32(2 + i), ann,
                                    Probe::pcm({voice.begin() + i * 1600, voice.begin() + (i + 1) * 1600})));
                QTest::qWait(100); // frames come in real time, as over a link
            }
            m.receiveSealed(fixture::sealed(ch, PacketKind::end, 1, 7, ann));
            QTest::qWait(400); // where the roger beep and the squelch tail would be: none may sound
            SOSInfo info;
            info.who = QStringLiteral("Ann");
            info.time = rig.clock->now();
            m.receiveSealed(fixture::sealed(ch, PacketKind::sos, 9, 1, ann, info.toJson()));
            QTest::qWait(1100); // the siren sounds for a while on the real device while it is recorded
            QVERIFY(m.activity().size() == 1 && m.player()->sirenPlaying());
            rig.model.reset();
        });
        QVERIFY(whenHeard(s, 700, 0.02) >= 0); // the siren passes 700 Hz on its way up
        QCOMPARE(whenHeard(s, voiceHz, 0.02), -1);
        QCOMPARE(whenHeard(s, Tones::rogerFirstHz, 0.02), -1);
        // Every loud stretch is a clean tone of the sweep, not squelch noise.
        for (std::size_t at = 0; at + 320 <= s.size(); at += 320) {
            const double r = Probe::rms(s.data() + at, 320);
            if (r < 0.05) continue;
            const double f = Probe::mainFrequency(s.data() + at, 320, 400, 4000, 10);
            QVERIFY2(f >= Tones::sirenLowHz - 60 && f <= Tones::sirenHighHz + 60,
                     qPrintable(QString::number(f)));
        }
    }

private:
    // Records the sink's monitor while `play` drives a player on the real speaker.
    template <typename F> std::vector<float> record(F play) {
        return recordWhile([&] {
            RadioPlayer player;
            play(player);
        });
    }

    // Records the sink's monitor while `run` runs.
    template <typename F> std::vector<float> recordWhile(F run) {
        QProcess rec;
        rec.start("parec", {"-d", "@DEFAULT_MONITOR@", "--raw", "--format=s16le", "--rate=16000",
                            "--channels=1", "--latency-msec=20"});
        if (!rec.waitForStarted(3000)) {
            if (qgetenv("CI") == "true") qFatal("parec is missing");
            return {};
        }
        QByteArray pcm;
        QElapsedTimer t;
        t.start();
        while (pcm.isEmpty() && t.elapsed() < 3000) {
            rec.waitForReadyRead(100);
            pcm += rec.readAll();
        }
        pcm.clear(); // start from the moment the recorder is known to run
        run();
        pcm += rec.readAll();
        QTest::qWait(100); // the recorder's latency: the last sound reaches it this much later
        pcm += rec.readAll();
        rec.terminate();
        rec.waitForFinished(2000);
        pcm += rec.readAll();
        return Probe::floats(pcm);
    }
};

SOUND_TEST_MAIN(PlayerDeviceTest)
#include "tst_player.moc"
