// Capture from the real sound server's null source.
#include "SoundServer.h"
#include "VoiceCapture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>

class CaptureDeviceTest : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void realMicrophoneDeliversWholeFrames() {
        REQUIRE_SOUND_SERVER();
        VoiceCapture cap;
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::notDetermined);
        QCOMPARE(cap.start(false, ScrambleMode::shadow), VoiceCapture::StartResult::started);
        QCOMPARE(cap.micStatus(), VoiceCapture::MicStatus::authorized);
        QList<VoiceFrame> got;
        QElapsedTimer t;
        t.start();
        while (got.size() < 5 && t.elapsed() < 3000) {
            QTest::qWait(50);
            got += cap.takeFrames();
        }
        const auto rest = cap.stop();
        QVERIFY2(got.size() >= 5, qPrintable(QString("%1 frames in 3 s").arg(got.size())));
        for (const auto& f : got) {
            QCOMPARE(f.pcm.size(), VoiceFormat::frameBytes);
            QVERIFY(f.level >= 0 && f.level <= 1);
        }
        for (const auto& f : rest)
            QVERIFY(f.pcm.size() > 0 && f.pcm.size() <= VoiceFormat::frameBytes);
    }
};

SOUND_TEST_MAIN(CaptureDeviceTest)
#include "tst_capture.moc"
