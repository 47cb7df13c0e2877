#pragma once
// Audio devices for tests: a microphone fed by the test and a speaker that records what the
// player hands it, pulled by the test so time is under its control.
#include "AudioDevice.h"

#include <QMutex>
#include <QMutexLocker>

class ScriptedAudioInput : public AudioInput {
public:
    bool present = true;
    OpenResult result = OpenResult::ok;
    int opens = 0;

    bool hasDevice() const override { return present; }
    OpenResult open(std::function<void(const QByteArray&)> onSamples) override {
        ++opens;
        if (!present) return OpenResult::noDevice;
        if (result != OpenResult::ok) return result;
        QMutexLocker l(&m_);
        sink_ = std::move(onSamples);
        return OpenResult::ok;
    }
    void close() override {
        QMutexLocker l(&m_);
        sink_ = nullptr;
    }
    bool isOpen() const {
        QMutexLocker l(&m_);
        return bool(sink_);
    }
    // Delivers samples as if the microphone had heard them.
    void feed(const QByteArray& samples) {
        QMutexLocker l(&m_);
        if (sink_) sink_(samples);
    }

private:
    mutable QMutex m_;
    std::function<void(const QByteArray&)> sink_;
};

class RecordingAudioOutput : public AudioOutput {
public:
    int opens = 0;
    QByteArray recorded;

    bool open(QIODevice* source) override {
        ++opens;
        source_ = source;
        return true;
    }
    void close() override { source_ = nullptr; }
    bool isOpen() const override { return source_ != nullptr; }
    // Pulls `ms` of audio from the player, as a sound card would.
    QByteArray pull(int ms) {
        if (!source_) return {};
        const qint64 want = qint64(ms) * 16 * 2;
        QByteArray got = source_->read(want);
        recorded += got;
        return got;
    }

private:
    QIODevice* source_ = nullptr;
};
