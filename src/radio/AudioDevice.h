#pragma once
// The boundary between the radio and the sound hardware. The real devices are PulseAudio streams of
// our own, or Qt Multimedia where no PulseAudio server takes them; tests put recording or scripted
// devices here.
#include <QByteArray>
#include <QIODevice>
#include <functional>
#include <memory>

// Microphone: delivers 16 kHz mono signed 16-bit little-endian samples.
class AudioInput {
public:
    enum class OpenResult { ok, noDevice, accessDenied, failed };
    virtual ~AudioInput() = default;
    virtual bool hasDevice() const = 0; // an input device is listed; never opens it
    // Samples arrive on any thread, in order, until close() returns.
    virtual OpenResult open(std::function<void(const QByteArray& samples)> onSamples) = 0;
    virtual void close() = 0;
};

// Speaker: pulls 16 kHz mono signed 16-bit little-endian samples from `source`, which reports
// bytesAvailable(), until close().
class AudioOutput {
public:
    virtual ~AudioOutput() = default;
    virtual bool open(QIODevice* source) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual int bufferBytes() const { return 0; } // the device buffer while open, when known
};

// The real devices: the system's default ones, or the device with this id (the sound server's name
// for it, as Qt Multimedia lists it), for measurements that wire units to devices of their own.
std::shared_ptr<AudioInput> makeSystemAudioInput(const QByteArray& deviceId = {});
std::shared_ptr<AudioOutput> makeSystemAudioOutput(const QByteArray& deviceId = {});
