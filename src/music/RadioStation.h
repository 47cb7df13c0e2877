#pragma once
// The music station: plays the station's live broadcast when one is on air, else its catalogue as a
// shuffled playlist, optionally of one genre, track after track; turned down to 15 % while the radio is
// not idle. Nothing is fetched before start(). Lives on the main thread; only the two web requests run
// elsewhere (inside Qt's network access).
#include "Clock.h"
#include "MediaSink.h"
#include "StationRecords.h"

#include <QList>
#include <QNetworkAccessManager>
#include <QObject>
#include <QStringList>
#include <QUrl>
#include <functional>
#include <memory>
#include <optional>

class WalkieModel;

class RadioStation : public QObject {
    Q_OBJECT
public:
    struct Options {
        QUrl base = defaultBase();       // the web service's folder, ending in "/"
        std::shared_ptr<Clock> clock;    // the broadcast request's cache value; none: the system clock
        std::unique_ptr<MediaSink> sink; // none: the media player
        int transferTimeoutMs = 60000;   // a request with no progress this long fails
        int deadlineMs = 90000;          // a request not whole this long after it began fails
    };

    explicit RadioStation(WalkieModel& model, QObject* parent = nullptr);
    RadioStation(WalkieModel& model, Options options, QObject* parent = nullptr);
    ~RadioStation() override;

    static QString stationName(); // "Vellmoor Underground Radio"
    static QUrl defaultBase();    // the maker's site + "/vellmoor/"
    QUrl base() const { return base_; }
    QUrl pageURL() const; // base + "index.php"

    // ---- published --------------------------------------------------------------------------------
    bool playing() const { return playing_; }
    bool loading() const { return loading_; }
    QString nowPlaying() const { return nowPlaying_; }
    QStringList genres() const { return genres_; }
    bool live() const { return live_; }

    // ---- stored settings ------------------------------------------------------------------------
    double volume() const; // "musicVolume", 0.7; a hand-edited value that is not a number reads 0.7
    void setVolume(double volume);
    QString genre() const; // "musicGenre", "All"
    void setGenre(const QString& genre);

    // ---- actions --------------------------------------------------------------------------------
    void toggle();
    void start();
    void stop();
    void next();

    // ---- read by tests -----------------------------------------------------------------------------
    QList<Track> tracks() const { return tracks_; }
    QList<Track> queue() const { return queue_; }
    bool ducked() const { return ducked_; }
    quint64 itemsStarted() const { return started_; }
    static constexpr float duckFactor = 0.15f;
    // The station's records are a few hundred KiB at most; a larger answer is refused as it arrives.
    static constexpr qint64 maxRecordBytes = 4 * 1024 * 1024;

    static QString tuningText();      // "Tuning in…"
    static QString unreachableText(); // "The station couldn't be reached. Check your internet."

signals:
    void playingChanged();
    void loadingChanged();
    void nowPlayingChanged();
    void genresChanged();
    void liveChanged();
    void volumeChanged();
    void genreChanged();

private:
    void load(std::function<void()> then);
    void playLive();
    void playItem(const QUrl& url);
    void applyVolume();
    void setDucked(bool ducked);
    void setPlaying(bool on);
    void setLoading(bool on);
    void setNowPlaying(const QString& text);
    void setLive(bool on);
    void itemEnded();
    void get(const QUrl& url, std::function<void(const QByteArray&)> done);

    QUrl base_;
    std::shared_ptr<Clock> clock_;
    std::unique_ptr<MediaSink> sink_;
    QNetworkAccessManager network_;
    int deadlineMs_;
    bool playing_ = false;
    bool loading_ = false;
    QString nowPlaying_;
    QStringList genres_{QStringLiteral("All")};
    bool live_ = false;
    QList<Track> tracks_;
    QList<Track> queue_;
    bool ducked_ = false;
    quint64 started_ = 0;
    quint64 item_ = 0; // bumped for every item and every stop: an end report names the item it ends
    std::optional<QUrl> broadcastURL_;
    std::optional<QString> broadcastLabel_;
};
