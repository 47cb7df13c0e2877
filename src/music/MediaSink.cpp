#include "MediaSink.h"

#include <QAudioOutput>
#include <QMediaPlayer>

namespace {

class PlayerSink : public MediaSink {
public:
    PlayerSink() {
        player_.setAudioOutput(&output_);
        connect(&player_, &QMediaPlayer::mediaStatusChanged, this, [this](QMediaPlayer::MediaStatus status) {
            if (status == QMediaPlayer::EndOfMedia) emit endOfMedia();
        });
    }

    void play(const QUrl& url) override {
        // The player ignores a source equal to the current one, and a replay would only seek to 0, which
        // fails on a server without range requests: start over from no source.
        player_.setSource(QUrl());
        player_.setSource(url);
        player_.play();
    }

    void stop() override {
        player_.pause();
        player_.setSource(QUrl());
    }

    void setVolume(float volume) override { output_.setVolume(volume); }

private:
    QMediaPlayer player_;
    QAudioOutput output_;
};

} // namespace

std::unique_ptr<MediaSink> makePlayerSink() {
    pinMediaBackend();
    return std::make_unique<PlayerSink>();
}

void pinMediaBackend() {
    // The ffmpeg backend of Qt 6.4 crashed without a display; GStreamer is the tested one.
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) qputenv("QT_MEDIA_BACKEND", "gstreamer");
}
