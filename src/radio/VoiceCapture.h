#pragma once
// The microphone path: 16 kHz mono 16-bit frames of 3,200 bytes (100 ms) with their peak level,
// scrambled in place when the scrambler is on. Capture runs off the main thread.
#include "AudioDevice.h"
#include "Records.h"

#include <QList>
#include <QMutex>
#include <QObject>

namespace VoiceFormat {
inline constexpr int sampleRate = 16000;
inline constexpr int channels = 1;
inline constexpr int bytesPerSample = 2;
inline constexpr int frameBytes = 3200; // 100 ms
inline constexpr int frameSamples = frameBytes / bytesPerSample;
} // namespace VoiceFormat

struct VoiceFrame {
    QByteArray pcm;  // at most VoiceFormat::frameBytes
    float level = 0; // peak, 0 to 1
};

class VoiceCapture : public QObject {
    Q_OBJECT
public:
    // restricted: no input is listed; notDetermined: listed, not opened yet this run (or only while it
    // was missing); authorized: the last open worked; denied: the last open failed. A listed input may
    // still refuse to open, so only an open proves access.
    enum class MicStatus { authorized, restricted, denied, notDetermined };
    enum class StartResult { started, noDevice, cannotOpen };

    // Without an input, the system microphone.
    explicit VoiceCapture(std::shared_ptr<AudioInput> input = {}, QObject* parent = nullptr);
    ~VoiceCapture() override;

    // Scrambler settings are taken once per transmission.
    StartResult start(bool scramble, ScrambleMode mode);
    QList<VoiceFrame> takeFrames(); // whole frames captured so far, in order
    // Stops the device and returns every frame not yet taken plus the partial last one.
    QList<VoiceFrame> stop();
    bool isRunning() const;
    MicStatus micStatus() const;

signals:
    void framesReady(); // queued to this object's thread when a whole frame is waiting

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};
