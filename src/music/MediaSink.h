#pragma once
// The boundary between the music station and the media player: play an address from its start, stop,
// set the volume, and report the end of what plays. The real one is QMediaPlayer on GStreamer; tests
// put a recording sink here.
#include <QObject>
#include <QUrl>
#include <memory>

class MediaSink : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    // Replaces whatever played and plays `url` from its start, even when it is the same address.
    virtual void play(const QUrl& url) = 0;
    // Pauses and removes the current item.
    virtual void stop() = 0;
    virtual void setVolume(float volume) = 0; // 0 to 1, linear

signals:
    void endOfMedia(); // the current item played to its end
};

// QMediaPlayer with a QAudioOutput on the default output device.
std::unique_ptr<MediaSink> makePlayerSink();

// Chooses GStreamer as Qt's media backend unless QT_MEDIA_BACKEND is set already. Takes effect only
// before anything of Qt Multimedia is used, so the program calls it first thing.
void pinMediaBackend();
