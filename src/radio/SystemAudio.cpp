// The real microphone and speaker. On PulseAudio each is a stream of our own, moved in 5 ms pieces
// by a thread of its own: Qt 6.4 cannot go that low (its capture hands over 20-40 ms at a time and
// its sink keeps 45 ms queued, filled 20 ms at a time), and every millisecond there is mouth-to-ear
// delay. Where no PulseAudio server takes the stream, Qt Multimedia does the job. Both ask for 16 kHz
// mono 16-bit directly (the sound server converts); only a Qt device that refuses that format gets its
// own format, converted here with the speexdsp resampler.
#include "AudioDevice.h"
#include "SpeakerQueue.h"
#include "TRKLog.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QAudioSource>
#include <QCoreApplication>
#include <QMediaDevices>
#include <QMutex>
#include <QThread>
#include <QtEndian>
#include <atomic>
#include <chrono>
#include <pthread.h>
#include <pulse/error.h>
#include <pulse/pulseaudio.h>
#include <speex/speex_resampler.h>
#include <thread>
#include <vector>

namespace {
constexpr int voiceRate = 16000;
// Small device buffers keep the radio's delay low, yet leave room for a busy machine. Not just any
// size: PulseAudio starts a stream once two thirds of its buffer are filled, and Qt 6.4 fills in
// whole periods, so at 20, 40 or 50 ms the first write stops a few bytes short and the stream never
// starts. 30 and 60 ms start at once; 60 ms (Qt reports 45 ms) still gets a frame out in ~25 ms.
constexpr int bufferMs = 60;
// Capture has no such start-up rule: the server hands over what it has whenever the buffer's worth is
// in, so a small buffer makes a frame leave as soon as its 100 ms are captured, instead of up to a
// buffer later. 20 ms keeps the per-chunk work small on a busy machine.
constexpr int captureBufferMs = 20;
// Our own streams move audio in pieces this long. How much the output keeps queued at the server is
// the speaker queue's to say: it starts at 15 ms, measured on the null sink of a heavily loaded 8-core
// machine to start at once (sound comes out ~18 ms after it is taken), and grows where the device runs dry.
constexpr int pieceMs = 5;
constexpr int pieceBytes = voiceRate / 1000 * pieceMs * 2;

QAudioFormat voiceFormat() {
    QAudioFormat f;
    f.setSampleRate(voiceRate);
    f.setChannelCount(1);
    f.setSampleFormat(QAudioFormat::Int16);
    return f;
}

int bytesFor(const QAudioFormat& f, int ms) {
    return f.bytesForDuration(qint64(ms) * 1000);
}

void logOnce(std::atomic<bool>& flag, const QString& text) {
    if (!flag.exchange(true)) TRKLog::log(text);
}

float readSample(const uchar* p, QAudioFormat::SampleFormat f) {
    switch (f) {
    case QAudioFormat::UInt8:
        return (int(*p) - 128) / 128.0f;
    case QAudioFormat::Int16:
        return qFromLittleEndian<qint16>(p) / 32768.0f;
    case QAudioFormat::Int32:
        return float(qFromLittleEndian<qint32>(p) / 2147483648.0);
    case QAudioFormat::Float:
        return qFromLittleEndian<float>(p);
    default:
        return 0;
    }
}

void writeSample(uchar* p, QAudioFormat::SampleFormat f, float v) {
    v = std::clamp(v, -1.0f, 1.0f);
    switch (f) {
    case QAudioFormat::UInt8:
        *p = uchar(std::lround(v * 127) + 128);
        break;
    case QAudioFormat::Int16:
        qToLittleEndian<qint16>(qint16(std::lround(v * 32767)), p);
        break;
    case QAudioFormat::Int32:
        qToLittleEndian<qint32>(qint32(std::llround(double(v) * 2147483647.0)), p);
        break;
    case QAudioFormat::Float:
        qToLittleEndian<float>(v, p);
        break;
    default:
        break;
    }
}

// Rate conversion of mono float samples; keeps its state between calls.
class Resampler {
public:
    Resampler(int from, int to) : from_(from), to_(to) {
        int err = 0;
        st_ = speex_resampler_init(1, spx_uint32_t(from), spx_uint32_t(to), 5, &err);
    }
    ~Resampler() {
        if (st_) speex_resampler_destroy(st_);
    }
    std::vector<float> process(const std::vector<float>& in) {
        if (!st_) return {};
        std::vector<float> out(in.size() * std::size_t(to_) / std::size_t(from_) + 64);
        spx_uint32_t inLen = spx_uint32_t(in.size()), outLen = spx_uint32_t(out.size());
        speex_resampler_process_float(st_, 0, in.data(), &inLen, out.data(), &outLen);
        out.resize(outLen);
        return out;
    }

private:
    int from_, to_;
    SpeexResamplerState* st_ = nullptr;
};

// A worker object that lives on the device's thread.
class DeviceThread {
public:
    DeviceThread(const char* name) {
        thread_.setObjectName(QString::fromLatin1(name));
        thread_.start();
        context_.moveToThread(&thread_);
    }
    ~DeviceThread() {
        thread_.quit();
        thread_.wait();
    }
    template <typename F> void run(F&& f) {
        QMetaObject::invokeMethod(&context_, std::forward<F>(f), Qt::BlockingQueuedConnection);
    }

private:
    QThread thread_;
    QObject context_;
};

QAudioDevice pick(const QList<QAudioDevice>& devices, const QAudioDevice& fallback, const QByteArray& id) {
    if (id.isEmpty()) return fallback;
    for (const QAudioDevice& d : devices)
        if (d.id() == id) return d;
    return {};
}

// The device threads wake every 5 ms and do little each time; on a busy machine an ordinary thread
// can wait longer than the stream's queue lasts. Real-time scheduling where the system allows it,
// as sound servers give their clients; otherwise the thread runs as it is.
void preferRealTime() {
    sched_param p{};
    p.sched_priority = 5;
    pthread_setschedparam(pthread_self(), SCHED_FIFO, &p);
}

// One stream of our own at 16 kHz mono 16-bit, run from one real-time thread of ours, the sound
// client's loop included. (The simple API runs its loop on a thread of its own at ordinary priority,
// which a busy machine held back until the speaker ran dry or the microphone's frames left late.)
class PulseConnection {
public:
    // Stops the thread, then frees the stream.
    void close() {
        if (!loop_) return;
        if (thread_.joinable()) {
            stop_ = true;
            pa_mainloop_wakeup(loop_);
            thread_.join();
        }
        release();
    }
    bool running() const { return loop_ && !failed_; }

protected:
    ~PulseConnection() = default;
    // Runs the loop on this thread until the stream is ready or has failed.
    bool connect(const char* name, const QByteArray& deviceId, bool playback, const pa_buffer_attr& attr) {
        loop_ = pa_mainloop_new();
        if (!loop_) return fail();
        const QByteArray app = QCoreApplication::applicationName().toUtf8();
        context_ = pa_context_new(pa_mainloop_get_api(loop_), app.isEmpty() ? "radio" : app.constData());
        if (!context_ || pa_context_connect(context_, nullptr, PA_CONTEXT_NOFLAGS, nullptr) < 0) return fail();
        for (pa_context_state_t st; (st = pa_context_get_state(context_)) != PA_CONTEXT_READY;)
            if (!PA_CONTEXT_IS_GOOD(st) || pa_mainloop_iterate(loop_, 1, nullptr) < 0) return fail();
        const pa_sample_spec spec{PA_SAMPLE_S16LE, voiceRate, 1};
        stream_ = pa_stream_new(context_, name, &spec, nullptr);
        if (!stream_) return fail();
        prepare();
        // The flags the simple API uses: the server sets the device's latency to what the stream asks.
        const auto flags = pa_stream_flags_t(PA_STREAM_INTERPOLATE_TIMING | PA_STREAM_ADJUST_LATENCY |
                                             PA_STREAM_AUTO_TIMING_UPDATE);
        const char* device = deviceId.isEmpty() ? nullptr : deviceId.constData();
        if ((playback ? pa_stream_connect_playback(stream_, device, &attr, flags, nullptr, nullptr)
                      : pa_stream_connect_record(stream_, device, &attr, flags)) < 0)
            return fail();
        for (pa_stream_state_t st; (st = pa_stream_get_state(stream_)) != PA_STREAM_READY;)
            if (!PA_STREAM_IS_GOOD(st) || pa_mainloop_iterate(loop_, 1, nullptr) < 0) return fail();
        stop_ = false;
        failed_ = false;
        return true;
    }
    virtual void prepare() {} // callbacks on the stream, before it connects
    // Waits for the server; false once the stream is gone.
    bool iterate() {
        return pa_mainloop_iterate(loop_, 1, nullptr) >= 0 && PA_STREAM_IS_GOOD(pa_stream_get_state(stream_));
    }
    QString lastError() const { return QString::fromUtf8(pa_strerror(error_)); }

    pa_mainloop* loop_ = nullptr;
    pa_context* context_ = nullptr;
    pa_stream* stream_ = nullptr;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> failed_{false};

private:
    bool fail() {
        error_ = context_ ? pa_context_errno(context_) : PA_ERR_INTERNAL;
        release();
        return false;
    }
    void release() {
        if (stream_) {
            pa_stream_set_underflow_callback(stream_, nullptr, nullptr);
            pa_stream_disconnect(stream_);
            pa_stream_unref(stream_);
            stream_ = nullptr;
        }
        if (context_) {
            pa_context_disconnect(context_);
            pa_context_unref(context_);
            context_ = nullptr;
        }
        if (loop_) {
            pa_mainloop_free(loop_);
            loop_ = nullptr;
        }
    }
    int error_ = 0;
};

// The microphone as a record stream that hands over 5 ms pieces as they come.
class PulseInput : public PulseConnection {
public:
    ~PulseInput() { close(); }
    bool open(const QByteArray& deviceId, std::function<void(const QByteArray&)> onSamples) {
        close();
        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = std::uint32_t(-1);
        attr.tlength = std::uint32_t(-1);
        attr.fragsize = std::uint32_t(pieceBytes);
        if (!connect("Microphone", deviceId, false, attr)) {
            // Refused streams fall back to Qt's devices; the reason is worth one line.
            static std::atomic<bool> refusedLogged;
            logOnce(refusedLogged,
                    QStringLiteral("Sound server: no record stream of our own (%1); using Qt's device").arg(lastError()));
            return false;
        }
        thread_ = std::thread([this, onSamples = std::move(onSamples)] { run(onSamples); });
        return true;
    }

private:
    void run(const std::function<void(const QByteArray&)>& onSamples) {
        preferRealTime();
        QByteArray piece;
        for (;;) {
            // What the server holds at the stop was said before the release: it is handed over too.
            const bool stopping = stop_;
            if (!stopping && !iterate()) break;
            for (;;) {
                const void* data = nullptr;
                std::size_t n = 0;
                if (pa_stream_peek(stream_, &data, &n) < 0) break;
                if (n == 0) break;
                if (data)
                    piece.append(static_cast<const char*>(data), qsizetype(n));
                else
                    piece.append(qsizetype(n), '\0'); // a hole the server left: silence of its length
                pa_stream_drop(stream_);
                for (; piece.size() >= pieceBytes; piece.remove(0, pieceBytes))
                    onSamples(piece.left(pieceBytes));
            }
            if (stopping) {
                if (!piece.isEmpty()) onSamples(piece);
                return;
            }
        }
        failed_ = true;
        TRKLog::log(QStringLiteral("Microphone: the sound server's stream failed (%1)").arg(lastError()));
    }
};

// The speaker as a playback stream: the thread waits for the server to ask for sound, pulls 5 ms
// pieces from the source and writes them, so no more than the stream's queue is ever ahead of the
// ear. Each time the server reports the stream ran dry, the queue grows; see SpeakerQueue.
class PulseOutput : public PulseConnection {
public:
    ~PulseOutput() { close(); }
    bool open(const QByteArray& deviceId, QIODevice* source, SpeakerQueue* queue) {
        close();
        queue_ = queue;
        queuedMs_ = queue_->ms();
        if (!connect("Radio", deviceId, true, attrFor(queuedMs_))) {
            static std::atomic<bool> refusedLogged;
            logOnce(refusedLogged,
                    QStringLiteral("Sound server: no playback stream of our own (%1); using Qt's device").arg(lastError()));
            return false;
        }
        thread_ = std::thread([this, source] { run(source); });
        return true;
    }

private:
    void prepare() override {
        pa_stream_set_underflow_callback(
            stream_, [](pa_stream*, void* self) { static_cast<PulseOutput*>(self)->queue_->ranDry(); }, this);
    }
    pa_buffer_attr attrFor(int queueMs) const {
        pa_buffer_attr attr;
        attr.maxlength = std::uint32_t(-1);
        attr.prebuf = std::uint32_t(-1);
        attr.minreq = pieceBytes;
        attr.tlength = std::uint32_t(voiceRate / 1000 * queueMs * 2);
        attr.fragsize = std::uint32_t(-1);
        return attr;
    }
    void run(QIODevice* source) {
        preferRealTime();
        std::vector<char> piece(pieceBytes);
        // A queue that grew is topped up from the source only as far as the device ran dry: the
        // source was not pulled meanwhile, so the voice that came in that time waits there, and
        // taking that much is taking nothing from the margin behind it. The rest of the growth is
        // silence, or the pull would run the voice queued behind it out, a second gap. The device
        // ran dry for at least as long as it went unfed beyond what was queued.
        using Clock = std::chrono::steady_clock;
        Clock::time_point lastFed = Clock::now(), pauseAt = lastFed;
        Clock::duration pause{}; // the longest the stream went unfed lately
        int silenceOwed = 0;
        // A growth waits for a moment the source hands silence (between receptions, or before a
        // reception's voice starts), where the silence it takes goes unheard; the device running dry
        // once more before that grows it at once. A lone short dry spell then costs only itself.
        int putOffAtDry = -1; // the dry count when a growth was put off
        bool quiet = false;   // the last piece the source handed was silence
        while (!stop_) {
            if (!iterate()) break;
            if (stop_) return;
            const int want = queue_->ms();
            if (want <= queuedMs_)
                putOffAtDry = -1;
            else if (putOffAtDry < 0)
                putOffAtDry = queue_->dryCount();
            if (want < queuedMs_ || (want > queuedMs_ && (quiet || queue_->dryCount() > putOffAtDry))) {
                // In the middle of sound it grows one step per dry spell; the rest waits as above.
                const int to = quiet || want < queuedMs_ ? want : std::min(want, queuedMs_ + SpeakerQueue::growMs);
                putOffAtDry = to < want ? queue_->dryCount() : -1;
                const auto dryMs = std::max<qint64>(
                    0, std::chrono::duration_cast<std::chrono::milliseconds>(pause).count() - queuedMs_);
                silenceOwed += int(std::max<qint64>(0, to - queuedMs_ - dryMs)) * voiceRate / 1000 * 2;
                queuedMs_ = to;
                const pa_buffer_attr attr = attrFor(to);
                if (pa_operation* op = pa_stream_set_buffer_attr(stream_, &attr, nullptr, nullptr))
                    pa_operation_unref(op);
            }
            std::size_t writable = pa_stream_writable_size(stream_);
            if (writable == std::size_t(-1)) break;
            if (writable >= std::size_t(pieceBytes)) {
                // The server's notice that the stream ran dry can come a wake-up after the request
                // that ended the pause, so the longest pause holds for a little while.
                const Clock::time_point now = Clock::now();
                if (now - lastFed > pause || now - pauseAt > std::chrono::milliseconds(200)) {
                    pause = now - lastFed;
                    pauseAt = now;
                }
                lastFed = now;
            }
            for (; writable >= std::size_t(pieceBytes); writable -= pieceBytes) {
                qint64 got = 0;
                if (silenceOwed > 0)
                    silenceOwed -= pieceBytes;
                else {
                    got = std::max<qint64>(0, source->read(piece.data(), pieceBytes));
                    quiet = std::all_of(piece.begin(), piece.begin() + got, [](char c) { return c == 0; });
                }
                // A source with nothing to give keeps the stream's pace with silence.
                std::fill(piece.begin() + got, piece.end(), 0);
                if (pa_stream_write(stream_, piece.data(), piece.size(), nullptr, 0, PA_SEEK_RELATIVE) < 0) {
                    failed_ = true;
                    return;
                }
                queue_->played(pieceMs);
            }
        }
        if (!stop_) failed_ = true;
    }

    SpeakerQueue* queue_ = nullptr;
    int queuedMs_ = 0; // what the stream was last asked to keep queued
};

class SystemAudioInput : public AudioInput {
public:
    explicit SystemAudioInput(QByteArray deviceId) : deviceId_(std::move(deviceId)) {}
    bool hasDevice() const override { return !QMediaDevices::audioInputs().isEmpty(); }

    OpenResult open(std::function<void(const QByteArray&)> onSamples) override {
        close();
        const QAudioDevice dev =
            pick(QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(), deviceId_);
        if (dev.isNull()) {
            logOnce(noDeviceLogged_, QStringLiteral("Microphone: no input device"));
            return OpenResult::noDevice;
        }
        if (pulse_.open(deviceId_, onSamples)) return OpenResult::ok;
        OpenResult result = OpenResult::failed;
        thread_.run([&] {
            QAudioFormat fmt = voiceFormat();
            if (!dev.isFormatSupported(fmt)) fmt = dev.preferredFormat();
            const bool convert = fmt != voiceFormat();
            if (convert) {
                resampler_ = std::make_unique<Resampler>(fmt.sampleRate(), voiceRate);
                TRKLog::log(QStringLiteral("Microphone: converting from %1 Hz, %2 channels")
                                .arg(fmt.sampleRate())
                                .arg(fmt.channelCount()));
            }
            source_ = std::make_unique<QAudioSource>(dev, fmt);
            source_->setBufferSize(bytesFor(fmt, captureBufferMs));
            QIODevice* io = source_->start();
            if (!io || source_->error() != QAudio::NoError) {
                source_.reset();
                resampler_.reset();
                return;
            }
            drain_ = [this, io, fmt, convert, onSamples] {
                const QByteArray raw = io->readAll();
                if (raw.isEmpty()) return;
                onSamples(convert ? toVoice(raw, fmt) : raw);
            };
            QObject::connect(io, &QIODevice::readyRead, io, [this] { drain_(); });
            result = OpenResult::ok;
        });
        if (result != OpenResult::ok)
            logOnce(openFailLogged_, QStringLiteral("Microphone: the input device did not open"));
        return result;
    }

    void close() override {
        pulse_.close();
        thread_.run([&] {
            // What the device already holds was said before the release: hand it over first.
            if (source_ && drain_) drain_();
            if (source_) source_->stop();
            drain_ = nullptr;
            source_.reset();
            resampler_.reset();
        });
    }

private:
    QByteArray toVoice(const QByteArray& raw, const QAudioFormat& fmt) {
        const int bpf = fmt.bytesPerFrame(), bps = fmt.bytesPerSample(), ch = fmt.channelCount();
        if (bpf <= 0) return {};
        const auto* p = reinterpret_cast<const uchar*>(raw.constData());
        std::vector<float> mono(std::size_t(raw.size() / bpf));
        for (std::size_t i = 0; i < mono.size(); ++i) {
            float sum = 0;
            for (int c = 0; c < ch; ++c)
                sum += readSample(p + i * bpf + c * bps, fmt.sampleFormat());
            mono[i] = sum / float(ch);
        }
        const auto out = resampler_->process(mono);
        QByteArray pcm(qsizetype(out.size() * 2), Qt::Uninitialized);
        for (std::size_t i = 0; i < out.size(); ++i)
            writeSample(reinterpret_cast<uchar*>(pcm.data()) + 2 * i, QAudioFormat::Int16, out[i]);
        return pcm;
    }

    QByteArray deviceId_;
    PulseInput pulse_;
    DeviceThread thread_{"qmrl.trk.audio.in"};
    std::unique_ptr<QAudioSource> source_;
    std::function<void()> drain_; // reads what the device holds and hands it on
    std::unique_ptr<Resampler> resampler_;
    std::atomic<bool> noDeviceLogged_{false}, openFailLogged_{false};
};

// Reads 16 kHz mono from the mixer and hands the device its own format.
class ConvertingSource : public QIODevice {
public:
    ConvertingSource(QIODevice* voice, const QAudioFormat& fmt)
        : voice_(voice), fmt_(fmt), resampler_(voiceRate, fmt.sampleRate()) {
        open(QIODevice::ReadOnly | QIODevice::Unbuffered);
    }
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return voice_->bytesAvailable() / 2 * fmt_.sampleRate() / voiceRate * fmt_.bytesPerFrame();
    }

protected:
    qint64 writeData(const char*, qint64) override { return -1; }
    qint64 readData(char* data, qint64 maxlen) override {
        const int bpf = fmt_.bytesPerFrame();
        const qint64 wantFrames = maxlen / bpf;
        while (qint64(pending_.size()) < wantFrames) {
            const qint64 need = (wantFrames - qint64(pending_.size())) * voiceRate / fmt_.sampleRate() + 1;
            const QByteArray in = voice_->read(need * 2);
            if (in.isEmpty()) break;
            std::vector<float> f(std::size_t(in.size() / 2));
            for (std::size_t i = 0; i < f.size(); ++i)
                f[i] =
                    readSample(reinterpret_cast<const uchar*>(in.constData()) + 2 * i, QAudioFormat::Int16);
            const auto out = resampler_.process(f);
            pending_.insert(pending_.end(), out.begin(), out.end());
        }
        const qint64 frames = std::min<qint64>(wantFrames, qint64(pending_.size()));
        auto* p = reinterpret_cast<uchar*>(data);
        for (qint64 i = 0; i < frames; ++i)
            for (int c = 0; c < fmt_.channelCount(); ++c)
                writeSample(p + i * bpf + c * fmt_.bytesPerSample(), fmt_.sampleFormat(),
                            pending_[std::size_t(i)]);
        pending_.erase(pending_.begin(), pending_.begin() + frames);
        return frames * bpf;
    }

private:
    QIODevice* voice_;
    QAudioFormat fmt_;
    Resampler resampler_;
    std::vector<float> pending_;
};

class SystemAudioOutput : public AudioOutput {
public:
    explicit SystemAudioOutput(QByteArray deviceId) : deviceId_(std::move(deviceId)) {}
    ~SystemAudioOutput() override { close(); }

    bool open(QIODevice* source) override {
        close();
        const QAudioDevice dev =
            pick(QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(), deviceId_);
        if (dev.isNull()) {
            logOnce(noDeviceLogged_, QStringLiteral("Speaker: no output device"));
            return false;
        }
        if (pulse_.open(deviceId_, source, &queue_)) {
            pulseOpen_ = true;
            open_ = true;
            return true;
        }
        pulseOpen_ = false;
        bool ok = false;
        thread_.run([&] {
            QAudioFormat fmt = voiceFormat();
            QIODevice* feed = source;
            if (!dev.isFormatSupported(fmt)) {
                fmt = dev.preferredFormat();
                converter_ = std::make_unique<ConvertingSource>(source, fmt);
                feed = converter_.get();
                TRKLog::log(QStringLiteral("Speaker: converting to %1 Hz, %2 channels")
                                .arg(fmt.sampleRate())
                                .arg(fmt.channelCount()));
            }
            sink_ = std::make_unique<QAudioSink>(dev, fmt);
            sink_->setBufferSize(bytesFor(fmt, bufferMs));
            sink_->start(feed);
            if (sink_->error() != QAudio::NoError || sink_->state() == QAudio::StoppedState) {
                sink_.reset();
                converter_.reset();
                return;
            }
            buffer_ = int(sink_->bufferSize());
            ok = true;
        });
        if (!ok) logOnce(openFailLogged_, QStringLiteral("Speaker: the output device did not open"));
        open_ = ok;
        return ok;
    }

    void close() override {
        if (!open_) return;
        pulse_.close();
        thread_.run([&] {
            if (sink_) sink_->stop();
            sink_.reset();
            converter_.reset();
        });
        open_ = false;
    }

    // A stream the sound server dropped counts as closed, so the next sound opens a new one.
    bool isOpen() const override { return open_ && (pulse_.running() || sink_); }
    int bufferBytes() const override {
        if (!open_) return 0;
        return pulseOpen_ ? voiceRate / 1000 * queue_.ms() * 2 : buffer_.load();
    }

private:
    QByteArray deviceId_;
    SpeakerQueue queue_; // what it learned outlives each stream: a busy machine stays busy
    PulseOutput pulse_;
    std::atomic<bool> pulseOpen_{false};
    DeviceThread thread_{"qmrl.trk.audio.out"};
    std::unique_ptr<QAudioSink> sink_;
    std::unique_ptr<ConvertingSource> converter_;
    std::atomic<int> buffer_{0};
    std::atomic<bool> open_{false};
    std::atomic<bool> noDeviceLogged_{false}, openFailLogged_{false};
};
} // namespace

std::shared_ptr<AudioInput> makeSystemAudioInput(const QByteArray& deviceId) {
    return std::make_shared<SystemAudioInput>(deviceId);
}

std::shared_ptr<AudioOutput> makeSystemAudioOutput(const QByteArray& deviceId) {
    return std::make_shared<SystemAudioOutput>(deviceId);
}
