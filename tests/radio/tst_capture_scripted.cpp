// The microphone path on a scripted microphone: frames in order with nothing lost, the scrambler's
// per-transmission state and the microphone status.
#include "FakeAudio.h"
#include "SignalProbe.h"
#include "TRKLog.h"
#include "VoiceCapture.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <thread>

namespace {
// Samples that differ everywhere, so any loss, repeat or reordering shows.
QByteArray pattern(int bytes, int seed = 0) {
    QByteArray b(bytes, Qt::Uninitialized);
    for (int i = 0; i < bytes / 2; ++i)
        qToLittleEndian<qint16>(qint16((i * 7 + seed) % 20000 - 10000),
                                reinterpret_cast<uchar*>(b.data()) + 2 * i);
    return b;
}
QByteArray joined(const QList<VoiceFrame>& frames) {
    QByteArray all;
    for (const auto& f : frames)
        all += f.pcm;
    return all;
}
} // namespace

class CaptureTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void everyFrameInOrderPlusThePartialLast() {
        auto mic = std::make_shared<ScriptedAudioInput>();
        VoiceCapture cap(mic);
        QSignalSpy ready(&cap, &VoiceCapture::framesReady);
        QCOMPARE(cap.start(false, ScrambleMode::shadow), VoiceCapture::StartResult::started);
        QVERIFY(cap.isRunning() && mic->isOpen());

        const QByteArray said = pattern(VoiceFormat::frameBytes * 5 + 1600);
        for (int at = 0; at < said.size(); at += 1234)
            mic->feed(said.mid(at, 1234));
        QVERIFY(ready.wait(1000));
        QList<VoiceFrame> got = cap.takeFrames();
        QVERIFY(!got.isEmpty());
        for (const auto& f : got) {
            QCOMPARE(f.pcm.size(), VoiceFormat::frameBytes);
            const auto v = Probe::ints(f.pcm);
            const int peak = std::abs(*std::max_element(
                v.begin(), v.end(), [](int a, int b) { return std::abs(a) < std::abs(b); }));
            QCOMPARE(f.level, float(peak / 32767.0));
        }
        // What was not taken, and the half frame at the release, come back from stop().
        got += cap.stop();
        QVERIFY(!cap.isRunning() && !mic->isOpen());
        QCOMPARE(got.size(), 6);
        QCOMPARE(got.last().pcm.size(), 1600);
        QCOMPARE(joined(got), said);
        // Nothing more arrives once stopped.
        mic->feed(pattern(3200));
        QVERIFY(cap.takeFrames().isEmpty());
    }

    void nothingLostWhileTheDeviceThreadDelivers() {
        auto mic = std::make_shared<ScriptedAudioInput>();
        VoiceCapture cap(mic);
        QList<VoiceFrame> got;
        connect(&cap, &VoiceCapture::framesReady, this, [&] { got += cap.takeFrames(); });
        QCOMPARE(cap.start(false, ScrambleMode::deep), VoiceCapture::StartResult::started);
        const QByteArray said = pattern(640 * 397, 3);
        std::atomic<bool> done = false;
        std::thread device([&] {
            for (int at = 0; at < said.size(); at += 640) {
                mic->feed(said.mid(at, 640));
                if (at % 6400 == 0) std::this_thread::sleep_for(std::chrono::milliseconds(1));
            }
            done = true;
        });
        while (!done)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        device.join();
        got += cap.stop();
        QCOMPARE(joined(got), said);
        for (int i = 0; i + 1 < got.size(); ++i)
            QCOMPARE(got[i].pcm.size(), VoiceFormat::frameBytes);
    }

    void scramblerStateIsFreshForEachTransmission() {
        auto mic = std::make_shared<ScriptedAudioInput>();
        VoiceCapture cap(mic);
        const auto voice = Probe::pcm(Probe::sine(300, 1600 * 8));
        QList<QByteArray> runs;
        for (int run = 0; run < 2; ++run) {
            QCOMPARE(cap.start(true, ScrambleMode::deep), VoiceCapture::StartResult::started);
            mic->feed(voice);
            const QList<VoiceFrame> frames = cap.stop();
            // Eight whole frames, then what the pitch shifter still held, at most a frame at a time.
            QVERIFY(frames.size() > 8);
            for (int i = 0; i < frames.size(); ++i) {
                if (i < 8) QCOMPARE(frames[i].pcm.size(), VoiceFormat::frameBytes);
                QVERIFY(frames[i].pcm.size() > 0 && frames[i].pcm.size() <= VoiceFormat::frameBytes);
            }
            runs << joined(frames);
            QVERIFY(runs.last() != voice.left(runs.last().size()));
        }
        QCOMPARE(runs[0], runs[1]);
        // Scrambler off: the samples go out untouched.
        QCOMPARE(cap.start(false, ScrambleMode::deep), VoiceCapture::StartResult::started);
        mic->feed(voice);
        QCOMPARE(joined(cap.stop()), voice);
    }

    void microphoneStatus() {
        QTemporaryDir logs;
        TRKLog::setFolderOverride(logs.path());
        const auto complaints = [] {
            TRKLog::flush();
            QFile f(TRKLog::file());
            f.open(QIODevice::ReadOnly);
            return QString::fromUtf8(f.readAll()).count(QStringLiteral("Microphone: cannot start"));
        };
        auto mic = std::make_shared<ScriptedAudioInput>();
        VoiceCapture cap(mic);
        // A listed input is not yet known to open.
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::notDetermined);
        QCOMPARE(mic->opens, 0); // asking never opens the device

        mic->present = false;
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::restricted);
        for (int press = 0; press < 3; ++press)
            QCOMPARE(cap.start(false, ScrambleMode::deep), VoiceCapture::StartResult::noDevice);
        QVERIFY(!cap.isRunning());
        QCOMPARE(complaints(), 1); // said once, not at every press
        mic->present = true;       // plugged in: not tried since
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::notDetermined);

        mic->result = AudioInput::OpenResult::accessDenied;
        QCOMPARE(cap.start(false, ScrambleMode::deep), VoiceCapture::StartResult::cannotOpen);
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::denied);
        QVERIFY(cap.stop().isEmpty());

        mic->result = AudioInput::OpenResult::ok;
        QCOMPARE(cap.start(false, ScrambleMode::deep), VoiceCapture::StartResult::started);
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::authorized);
        cap.stop();
        QCOMPARE(complaints(), 2); // the refusal was a new failure

        // Listed, yet it will not open (the access error is never reported as such): not allowed.
        mic->result = AudioInput::OpenResult::failed;
        QCOMPARE(cap.start(false, ScrambleMode::deep), VoiceCapture::StartResult::cannotOpen);
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::denied);
        TRKLog::setFolderOverride(std::nullopt);
    }
};

QTEST_GUILESS_MAIN(CaptureTest)
#include "tst_capture_scripted.moc"
