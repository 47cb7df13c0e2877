#include "VoiceCapture.h"

#include "Pcm.h"
#include "Scrambler.h"
#include "TRKLog.h"

#include <QMetaObject>
#include <QMutexLocker>
#include <atomic>
#include <optional>

struct VoiceCapture::Impl {
    std::shared_ptr<AudioInput> input;
    std::optional<AudioInput::OpenResult> lastOpen; // none before the first open of this run
    bool running = false;                           // main thread only

    // Shared with the device's thread.
    QMutex lock;
    QByteArray pending; // samples of the frame being filled
    QList<VoiceFrame> ready;
    std::unique_ptr<Scrambler> scrambler;
    bool wakePosted = false;
    bool accepting = false;

    VoiceFrame finish(const QByteArray& raw) {
        VoiceFrame f;
        // The meter shows how loud the speaker is, not the disguise.
        f.level = Pcm::peak(raw);
        f.pcm = scrambler ? scrambler->process(raw) : raw;
        return f;
    }
};

VoiceCapture::VoiceCapture(std::shared_ptr<AudioInput> input, QObject* parent)
    : QObject(parent), d(std::make_unique<Impl>()) {
    d->input = input ? std::move(input) : makeSystemAudioInput();
}

VoiceCapture::~VoiceCapture() {
    if (d->running) stop();
}

VoiceCapture::StartResult VoiceCapture::start(bool scramble, ScrambleMode mode) {
    if (d->running) stop();
    {
        QMutexLocker l(&d->lock);
        d->pending.clear();
        d->ready.clear();
        d->wakePosted = false;
        d->scrambler = scramble ? std::make_unique<Scrambler>(mode) : nullptr;
        d->accepting = true;
    }
    Impl* impl = d.get();
    VoiceCapture* self = this;
    const auto result = d->input->open([impl, self](const QByteArray& samples) {
        bool wake = false;
        {
            QMutexLocker l(&impl->lock);
            if (!impl->accepting) return;
            impl->pending += samples;
            while (impl->pending.size() >= VoiceFormat::frameBytes) {
                impl->ready.append(impl->finish(impl->pending.left(VoiceFormat::frameBytes)));
                impl->pending.remove(0, VoiceFormat::frameBytes);
            }
            if (!impl->ready.isEmpty() && !impl->wakePosted) wake = impl->wakePosted = true;
        }
        // The capture object outlives the open device (stop() closes it first), and a queued call
        // to an object destroyed meanwhile is dropped by Qt.
        if (wake) QMetaObject::invokeMethod(self, &VoiceCapture::framesReady, Qt::QueuedConnection);
    });
    const auto before = std::exchange(d->lastOpen, result);
    if (result != AudioInput::OpenResult::ok) {
        QMutexLocker l(&d->lock);
        d->accepting = false;
        d->scrambler.reset();
        // Said once, not at every press while the microphone stays missing.
        if (result != before)
            TRKLog::log(QStringLiteral("Microphone: cannot start capture (%1)")
                            .arg(result == AudioInput::OpenResult::noDevice       ? "no input device"
                                 : result == AudioInput::OpenResult::accessDenied ? "access denied"
                                                                                  : "open failed"));
        return result == AudioInput::OpenResult::noDevice ? StartResult::noDevice : StartResult::cannotOpen;
    }
    d->running = true;
    return StartResult::started;
}

QList<VoiceFrame> VoiceCapture::takeFrames() {
    QMutexLocker l(&d->lock);
    d->wakePosted = false;
    return std::exchange(d->ready, {});
}

QList<VoiceFrame> VoiceCapture::stop() {
    if (!d->running) return takeFrames();
    d->running = false;
    // After close() returns no more samples arrive, so what is queued now is everything.
    d->input->close();
    QMutexLocker l(&d->lock);
    d->accepting = false;
    d->wakePosted = false;
    QList<VoiceFrame> out = std::exchange(d->ready, {});
    if (!d->pending.isEmpty()) out.append(d->finish(std::exchange(d->pending, {})));
    if (d->scrambler) {
        for (const QByteArray& rest : d->scrambler->flush(VoiceFormat::frameBytes))
            out.append(VoiceFrame{rest, Pcm::peak(rest)});
        d->scrambler.reset();
    }
    return out;
}

bool VoiceCapture::isRunning() const {
    return d->running;
}

VoiceCapture::MicStatus VoiceCapture::micStatus() const {
    if (!d->input->hasDevice()) return MicStatus::restricted;
    if (!d->lastOpen || *d->lastOpen == AudioInput::OpenResult::noDevice) return MicStatus::notDetermined;
    return *d->lastOpen == AudioInput::OpenResult::ok ? MicStatus::authorized : MicStatus::denied;
}
