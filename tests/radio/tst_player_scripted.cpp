// Playback on a scripted speaker: when the stream opens and closes, the jitter buffer, the order of
// squelch, voice and roger beep, mixing without wrap-around, the siren, and no device at all.
#include "FakeAudio.h"
#include "RadioPlayer.h"
#include "SignalProbe.h"
#include "Tones.h"

#include <QCoreApplication>
#include <QRandomGenerator>
#include <QTest>
#include <functional>

namespace {
QByteArray frameOf(int index) {
    // Distinct, never-silent samples so a frame can be found again in what was played.
    QByteArray b(3200, Qt::Uninitialized);
    for (int i = 0; i < 1600; ++i)
        qToLittleEndian<qint16>(qint16(1000 + index * 3000 + (i % 97)),
                                reinterpret_cast<uchar*>(b.data()) + 2 * i);
    return b;
}
bool silent(const QByteArray& pcm) {
    return pcm.count('\0') == pcm.size();
}
// Index of the first sample at or after `from` that is not silent, or -1.
qsizetype firstSound(const QByteArray& pcm, qsizetype from = 0) {
    for (qsizetype i = from * 2; i + 1 < pcm.size(); i += 2)
        if (pcm[i] || pcm[i + 1]) return i / 2;
    return -1;
}
// Milliseconds into `s` of the first 20 ms window where `hz` is strong.
int whenHeard(const std::vector<float>& s, double hz, double level = 0.05) {
    for (std::size_t at = 0; at + 320 <= s.size(); at += 160)
        if (Probe::amplitudeAt(s.data() + at, 320, hz) > level) return int(at / 16);
    return -1;
}
int whenLoud(const std::vector<float>& s, double level = 0.02) {
    for (std::size_t at = 0; at + 320 <= s.size(); at += 160)
        if (Probe::rms(s.data() + at, 320) > level) return int(at / 16);
    return -1;
}
// Frames whose samples are all one level, so where each begins can be found in what was played.
struct Arrival {
    double ms;   // when it reaches the player, on the device's clock
    quint32 seq; // its number; the level tells frames apart
};
QByteArray levelFrame(quint32 seq) {
    return Probe::pcm(std::vector<float>(1600, float(seq % 250 + 1) / 300.0f));
}
struct Played {
    QByteArray pcm;
    std::vector<quint32> seqs;
    // Milliseconds from the start of the run to the first sample of the n-th frame sent, or -1.
    int startOf(std::size_t n) const {
        const qint16 want = Probe::ints(levelFrame(seqs.at(n)).left(2)).front();
        const auto s = Probe::ints(pcm);
        for (std::size_t i = 0; i < s.size(); ++i)
            if (s[i] == want) return int(i / 16);
        return -1;
    }
};
// Hands each frame over when the device clock reaches its arrival, pulling 10 ms at a time as a sound
// card would.
Played drive(RadioPlayer& player, RecordingAudioOutput& out, quint64 key, const std::vector<Arrival>& arrivals,
             int totalMs, const std::function<void(int)>& delivered = {}) {
    Played run;
    std::size_t next = 0;
    for (int t = 0; t < totalMs; t += 10) {
        while (next < arrivals.size() && arrivals[next].ms <= t) {
            player.playFrame(key, arrivals[next].seq, levelFrame(arrivals[next].seq));
            run.seqs.push_back(arrivals[next].seq);
            if (delivered) delivered(int(next));
            ++next;
        }
        run.pcm += out.pull(10);
    }
    return run;
}
// A speaker that is not there until the test says so.
class MissingAudioOutput : public RecordingAudioOutput {
public:
    bool present = false;
    int attempts = 0;
    bool open(QIODevice* source) override {
        ++attempts;
        return present && RecordingAudioOutput::open(source);
    }
};
} // namespace

class PlayerTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void streamOpensWhenNeededAndClosesAfterTwoSecondsOfSilence() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        QCOMPARE(out->opens, 0); // an idle radio keeps no stream open
        player.playTone(Tone::talkPermit);
        QVERIFY(out->isOpen());
        QVERIFY(!silent(out->pull(200)));
        out->pull(1700);
        QTest::qWait(400);      // the stream may not close in this time
        QVERIFY(out->isOpen()); // under two seconds of silence so far
        out->pull(300);
        QTRY_VERIFY(!out->isOpen());
        player.beginReception(7);
        QVERIFY(out->isOpen());
        QCOMPARE(out->opens, 2);
    }

    void aReceptionWhoseEndNeverComesStillLetsTheStreamClose() {
        // Muting half-way through a reception means its end is never passed on.
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.beginReception(4);
        player.playFrame(4, frameOf(0));
        player.playFrame(4, frameOf(1));
        QVERIFY(!silent(out->pull(500)));
        out->pull(2000);
        QTRY_VERIFY(!out->isOpen());
        // Its end arriving after all opens nothing.
        player.endReception(4);
        QVERIFY(!out->isOpen());
    }

    void withoutASpeakerTheRadioGoesOnSilently() {
        auto out = std::make_shared<MissingAudioOutput>();
        RadioPlayer player(out);
        player.beginReception(1);
        player.playFrame(1, frameOf(0));
        player.endReception(1);
        player.playTone(Tone::busy);
        player.startSiren();
        QVERIFY(!player.sirenPlaying());
        QCOMPARE(out->attempts, 1); // no retry storm while the device is missing
        // A speaker that appears later is used for the next sound.
        out->present = true;
        QTest::qWait(2100); // a missing speaker is tried again only after two seconds
        player.playTone(Tone::talkPermit);
        QVERIFY(out->isOpen());
        QCOMPARE(Probe::floats(out->pull(300)).size(), std::size_t(4800));
        QVERIFY(Probe::floats(out->recorded.left(3200)) != std::vector<float>(1600, 0.0f));
    }

    void cleanSoundIsUntouchedAndInOrder() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        player.setRogerBeep(false);
        player.beginReception(1);
        QByteArray sent;
        for (int i = 0; i < 4; ++i) {
            player.playFrame(1, frameOf(i));
            sent += frameOf(i);
        }
        // Loud samples too, up to both ends of the range.
        QByteArray loud(3200, Qt::Uninitialized);
        for (int i = 0; i < 1600; ++i)
            qToLittleEndian<qint16>(qint16(i * 41 % 65536 - 32768),
                                    reinterpret_cast<uchar*>(loud.data()) + 2 * i);
        qToLittleEndian<qint16>(qint16(32767), reinterpret_cast<uchar*>(loud.data()) + 3198);
        player.playFrame(1, loud);
        sent += loud;
        player.endReception(1);
        const QByteArray played = out->pull(800);
        // No squelch, no effect, no beep: exactly the frames, back to back, then silence.
        const qsizetype start = firstSound(played);
        QCOMPARE(start, 0);
        QCOMPARE(played.mid(0, sent.size()), sent);
        QVERIFY(silent(played.mid(sent.size())));
    }

    void aNewRouteStartsWideThenEvenArrivalsSettleToThePullPeriod() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        // A route never heard before waits long enough for its first frames to come unevenly: the
        // fifteenth, 1.4 s in, comes 20 ms late and still nothing runs dry.
        player.beginReception(1, 3);
        std::vector<Arrival> first;
        for (quint32 i = 0; i < 30; ++i)
            first.push_back({i * 100.0 + (i == 14 ? 20 : 0), i + 1});
        const Played opening = drive(player, *out, 1, first, 3200);
        QCOMPARE(opening.startOf(0), 40); // 25 ms assumed spread + the 10 ms pull, on the next pull
        QCOMPARE(player.underruns(), 0);
        // Learned even arrivals on the route: the next talk waits only the device's pull, and every
        // frame plays at its place, with no drift.
        player.endReception(1);
        player.beginReception(2, 3);
        std::vector<Arrival> even;
        for (quint32 i = 0; i < 50; ++i)
            even.push_back({i * 100.0, i + 1});
        const Played run = drive(player, *out, 2, even, 5200);
        QCOMPARE(player.marginMs(3), 10.0);
        for (quint32 i = 0; i < 50; ++i)
            QCOMPARE(run.startOf(i) - int(i) * 100, 20); // the margin and the start's cushion, on the next pull
        QCOMPARE(player.underruns(), 0);
        // A lone frame starts after the same wait, without waiting for a second one.
        player.beginReception(4, 3);
        const Played lone = drive(player, *out, 4, {{0, 1}}, 200);
        QCOMPARE(lone.startOf(0), 20);

        // A route that has seen frames up to a pull late; a talk on it whose first frame is the earliest
        // still has room for one that comes later than anything seen, as the device's pulls measure it.
        player.endReception(4);
        std::vector<Arrival> learned, next;
        for (quint32 i = 0; i < 30; ++i) {
            learned.push_back({i * 100.0 + (i % 4 == 3 ? 10 : 0), i + 1});
            next.push_back({i * 100.0 + (i == 10 ? 30 : 0), i + 1});
        }
        player.beginReception(5, 7);
        drive(player, *out, 5, learned, 3200);
        player.endReception(5);
        QCOMPARE(player.marginMs(7), 20.0);
        player.beginReception(6, 7);
        drive(player, *out, 6, next, 3200);
        QCOMPARE(player.underruns(), 0);
    }

    void aSmallSpreadSettlesNearItAndNeverRunsDry() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        player.setRogerBeep(false); // a beep over the next talk's first frames would hide where they start
        QRandomGenerator random(11);
        // A steady stream with a few milliseconds of spread, as loopback and a quiet LAN give.
        for (quint64 talk = 1; talk <= 3; ++talk) {
            std::vector<Arrival> steady;
            for (quint32 i = 0; i < 100; ++i)
                steady.push_back({i * 100.0 + random.bounded(8.0), i + 1});
            player.beginReception(talk, 9);
            drive(player, *out, talk, steady, 10300);
            player.endReception(talk);
        }
        QCOMPARE(player.underruns(), 0);
        QVERIFY2(player.marginMs(9) >= 10 && player.marginMs(9) <= 20, qPrintable(QString::number(player.marginMs(9))));
        // Frames 30 ms late every two seconds, as a busy machine gives: the first two cost a gap each,
        // after that the margin holds them. A gap costs no more than the frame's lateness: the late
        // frame plays as it comes, and the wider margin is for the next time.
        std::vector<Arrival> bumpy;
        for (quint32 i = 0; i < 100; ++i)
            bumpy.push_back({i * 100.0 + random.bounded(8.0) + (i % 20 == 10 ? 30 : 0), i + 1});
        player.beginReception(4, 9);
        const Played run = drive(player, *out, 4, bumpy, 10300);
        QCOMPARE(player.underruns(), 2);
        for (std::size_t i = 1; i < bumpy.size(); ++i) {
            const int heard = run.startOf(i) - run.startOf(i - 1) - 100; // below 0: the extra delay trimmed
            QVERIFY2(heard <= 30, qPrintable(QString("silence of %1 ms before frame %2").arg(heard).arg(i)));
        }
    }

    void jitterSettlesWithoutRepeatedGaps() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        QRandomGenerator random(7);
        std::vector<Arrival> jittery;
        for (quint32 i = 0; i < 120; ++i)
            jittery.push_back({i * 100.0 + random.bounded(80.0), i + 1}); // ±40 ms around an even pace
        player.beginReception(1, 5);
        int settledAt = -1;
        const Played run = drive(player, *out, 1, jittery, 12400, [&](int frame) {
            if (frame == 30) settledAt = player.underruns();
        });
        QVERIFY2(settledAt <= 3, qPrintable(QString::number(settledAt)));
        QCOMPARE(player.underruns(), settledAt); // none once it has learned the spread
        QVERIFY(player.marginMs(5) >= 70 && player.marginMs(5) <= 150);
        // The next transmission on the same route starts with what was learned; a new route does not.
        QVERIFY(player.marginMs(6) <= 35.5);
        QVERIFY(run.startOf(119) > 0);
    }

    void aStallGrowsTheMarginAtOnceThenPlaybackCatchesUpAndGivesItBack() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        std::vector<Arrival> stalled;
        for (quint32 i = 0; i < 50; ++i)
            stalled.push_back({i >= 20 && i < 23 ? 2300.0 : i * 100.0, i + 1});
        player.beginReception(1, 2);
        double before = 0, grown = 0, afterEight = 0, afterFifteen = 0;
        const Played run = drive(player, *out, 1, stalled, 5400, [&](int frame) {
            if (frame == 19) before = player.marginMs(2);
            if (frame == 20) grown = player.marginMs(2);
            if (frame == 28) afterEight = player.marginMs(2);
            if (frame == 35) afterFifteen = player.marginMs(2);
        });
        QCOMPARE(player.underruns(), 1);
        QCOMPARE(before, 10.0);
        QCOMPARE(grown, before + 40); // the gap's length, at most 40 ms
        // Given back faster than 2 ms a frame once frames come in time, all of it within 15 frames:
        // one stall does not stay in the margin.
        QVERIFY2(grown - afterEight > 8 * 2, qPrintable(QString::number(afterEight)));
        QCOMPARE(afterFifteen, before);
        // Before the stall every frame plays; the new route's wide start is trimmed once its spread
        // is known. The delay is back to the margin a few frames after the stall.
        const int start = run.startOf(0);
        for (int i = 0; i < 20; ++i) {
            const int delay = run.startOf(i) - i * 100;
            QVERIFY2(delay >= before && delay <= start, qPrintable(QString("frame %1 waits %2 ms").arg(i).arg(delay)));
        }
        const int afterStall = run.startOf(23) - 2300;
        QVERIFY2(afterStall > 100, qPrintable(QString::number(afterStall)));
        for (int i = 32; i < 50; ++i)
            QVERIFY2(run.startOf(i) - i * 100 <= 40,
                     qPrintable(QString("frame %1 waits %2 ms").arg(i).arg(run.startOf(i) - i * 100)));
    }

    void aLostFramePlaysAsSilenceInItsPlace() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        player.beginReception(1);
        // The third frame never comes; the fourth comes on time.
        const Played run = drive(player, *out, 1, {{0, 1}, {100, 2}, {300, 4}, {400, 5}}, 700);
        const int start = run.startOf(0);
        QCOMPARE(run.startOf(1), start + 100);
        QCOMPARE(run.startOf(2), start + 300);
        QCOMPARE(run.startOf(3), start + 400);
        QVERIFY(silent(run.pcm.mid((start + 200) * 32, 100 * 32)));
        QCOMPARE(player.underruns(), 0);
        // Numbering that jumps far ahead (forged or broken) costs at most a second of silence.
        player.beginReception(2);
        const Played jump = drive(player, *out, 2, {{0, 1}, {100, 100000}}, 1400);
        QCOMPARE(jump.startOf(1) - jump.startOf(0), 100 + 1000);
    }

    void radioSoundOpensWithSquelchAndEndsWithRogerAndTail() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        QVERIFY(player.radioSound() && player.rogerBeep()); // the defaults
        player.beginReception(9);
        const auto voice = Probe::sine(700, 4800, 0.3f);
        for (int i = 0; i < 3; ++i)
            player.playFrame(9, Probe::pcm({voice.begin() + i * 1600, voice.begin() + (i + 1) * 1600}));
        player.endReception(9);
        const auto s = Probe::floats(out->pull(1500));

        const int noise = whenLoud(s), speech = whenHeard(s, 700), roger = whenHeard(s, Tones::rogerFirstHz),
                  roger2 = whenHeard(s, Tones::rogerSecondHz);
        QVERIFY2(
            noise == 0 && speech > noise && roger > speech + 250 && roger2 > roger,
            qPrintable(
                QString("noise %1 voice %2 roger %3/%4 ms").arg(noise).arg(speech).arg(roger).arg(roger2)));
        // The voice went through the radio effect, and the squelch tail follows the beep.
        const auto burst = Tones::squelchBurst();
        QVERIFY(Probe::rms(s, 0, 160) > 0.02 && Probe::levelAt(s, 0, 640, 700) < 0.02);
        const std::size_t tail = std::size_t(roger2 + 110) * 16;
        QVERIFY(Probe::rms(s, tail, tail + 480) > 0.01);
        QVERIFY(silent(Probe::pcm(std::vector<float>(s.begin() + 1300 * 16, s.end()))));
        QVERIFY(burst.size() < 300 * 16);
    }

    void rogerWithoutRadioSoundHasNoSquelch() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        player.beginReception(3);
        player.playFrame(3, frameOf(1));
        player.playFrame(3, frameOf(2));
        player.endReception(3);
        player.playFrame(3, frameOf(4)); // a straggler after the end changes nothing
        const QByteArray played = out->pull(600);
        QCOMPARE(played.left(6400), frameOf(1) + frameOf(2));
        const auto rest = Probe::floats(played.mid(6400));
        QCOMPARE(whenHeard(rest, Tones::rogerFirstHz), 0);
        // Only the beep: its length, then silence.
        QVERIFY(silent(Probe::pcm(std::vector<float>(rest.begin() + Tones::roger().size(), rest.end()))));
    }

    void receptionsMixWithoutWrappingAround() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.setRadioSound(false);
        const QByteArray loud = Probe::pcm(Probe::sine(500, 1600, 1.0f));
        for (quint64 key : {1, 2}) {
            player.beginReception(key);
            player.playFrame(key, loud);
            player.playFrame(key, loud);
        }
        player.playTone(Tone::busy);
        const auto s = Probe::ints(out->pull(300));
        QVERIFY2(Probe::largestStep(s) < 40000, qPrintable(QString::number(Probe::largestStep(s))));
        QCOMPARE(*std::max_element(s.begin(), s.end()), qint16(32767));
    }

    void sirenLoopsUntilSilenced() {
        auto out = std::make_shared<RecordingAudioOutput>();
        RadioPlayer player(out);
        player.startSiren();
        QVERIFY(player.sirenPlaying());
        const auto s = Probe::floats(out->pull(2500));
        for (std::size_t at = 0; at + 1600 <= s.size(); at += 1600)
            QVERIFY(Probe::rms(s, at, at + 1600) > 0.15);
        // It sweeps: low near the start of each cycle, high in the middle.
        QVERIFY(Probe::mainFrequency(s, 16000, 16000 + 480) < 800);
        QVERIFY(Probe::mainFrequency(s, 24000 - 240, 24000 + 240) > 1200);
        player.stopSiren();
        QVERIFY(!player.sirenPlaying());
        const QByteArray after = out->pull(100);
        QVERIFY(!silent(after.left(64)));        // fades out rather than cutting off...
        QVERIFY(silent(after.mid(25 * 16 * 2))); // ...within a few milliseconds
    }
};

QTEST_GUILESS_MAIN(PlayerTest)
#include "tst_player_scripted.moc"
