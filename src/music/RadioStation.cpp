#include "RadioStation.h"

#include "BoundedReply.h"
#include "Defaults.h"
#include "QMCredit.h"
#include "TRKLog.h"
#include "WalkieModel.h"

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>

namespace {
const QString volumeKey = QStringLiteral("musicVolume");
const QString genreKey = QStringLiteral("musicGenre");
constexpr double defaultVolume = 0.7;
const QString allGenres = QStringLiteral("All");
} // namespace

RadioStation::RadioStation(WalkieModel& model, QObject* parent) : RadioStation(model, Options{}, parent) {}

RadioStation::RadioStation(WalkieModel& model, Options options, QObject* parent)
    : QObject(parent), base_(options.base), clock_(std::move(options.clock)), sink_(std::move(options.sink)),
      deadlineMs_(options.deadlineMs) {
    if (!clock_) clock_ = std::make_shared<SystemClock>();
    if (!sink_) sink_ = makePlayerSink();
    // Qt's network access has no transfer limit of its own: a server that stops answering would leave
    // "Tuning in…" for ever.
    network_.setTransferTimeout(options.transferTimeoutMs);

    connect(sink_.get(), &MediaSink::endOfMedia, this, [this] {
        const quint64 item = item_;
        QMetaObject::invokeMethod(
            this,
            [this, item] {
                if (item == item_) itemEnded();
            },
            Qt::QueuedConnection);
    });
    connect(&Defaults::shared(), &Defaults::changed, this, [this](const QString& key) {
        if (key == volumeKey) {
            applyVolume();
            emit volumeChanged();
        } else if (key == genreKey) {
            emit genreChanged();
        }
    });
    // The model is not kept: its talk state arrives by signal, the current one first.
    connect(
        &model, &WalkieModel::talkChanged, this, [this](const TalkState& t) { setDucked(!t.isIdle()); },
        Qt::QueuedConnection);
    const TalkState current = model.talk();
    QMetaObject::invokeMethod(
        this, [this, current] { setDucked(!current.isIdle()); }, Qt::QueuedConnection);
    applyVolume();
}

RadioStation::~RadioStation() = default;

QString RadioStation::stationName() {
    return tr("Vellmoor Underground Radio");
}

QUrl RadioStation::defaultBase() {
    static const QUrl base = [] {
        const QUrl u(qmrlMakerAddress + QStringLiteral("/vellmoor/"), QUrl::StrictMode);
        Q_ASSERT(u.isValid());
        return u;
    }();
    return base;
}

QUrl RadioStation::pageURL() const {
    return base_.resolved(QUrl(QStringLiteral("index.php")));
}

QString RadioStation::tuningText() {
    return tr("Tuning in…");
}

QString RadioStation::unreachableText() {
    return tr("The station couldn't be reached. Check your internet.");
}

// ---- settings --------------------------------------------------------------------------------------

double RadioStation::volume() const {
    const double v = Defaults::shared().doubleValue(volumeKey, defaultVolume);
    return std::isfinite(v) ? v : defaultVolume;
}

void RadioStation::setVolume(double volume) {
    Defaults::shared().setValue(volumeKey, volume); // what was set; the player gets it clamped
    applyVolume();
}

QString RadioStation::genre() const {
    return Defaults::shared().stringValue(genreKey, allGenres);
}

void RadioStation::setGenre(const QString& genre) {
    Defaults::shared().setValue(genreKey, genre);
    if (!playing_) return;
    queue_.clear();
    next();
}

void RadioStation::applyVolume() {
    sink_->setVolume(std::clamp(float(volume()) * (ducked_ ? duckFactor : 1.0f), 0.0f, 1.0f));
}

void RadioStation::setDucked(bool ducked) {
    ducked_ = ducked;
    applyVolume();
}

// ---- actions --------------------------------------------------------------------------------------

void RadioStation::toggle() {
    if (playing_)
        stop();
    else
        start();
}

void RadioStation::start() {
    setPlaying(true);
    setLoading(true);
    setNowPlaying(tuningText());
    // A Stop meanwhile does not cancel the load: it ends with playLive() or next(), which find the
    // music off and do nothing.
    load([this] {
        setLoading(false);
        if (live_)
            playLive();
        else
            next();
    });
}

void RadioStation::stop() {
    sink_->stop();
    ++item_;
    setPlaying(false);
    setLoading(false);
    setNowPlaying(QString());
}

void RadioStation::next() {
    if (!playing_) return;
    bool refilled = false;
    for (;;) {
        if (queue_.isEmpty()) {
            // At most one refill per call: when every candidate of a fresh pass was unusable, stop here.
            if (refilled) break;
            refilled = true;
            const QString g = genre();
            for (const Track& t : std::as_const(tracks_)) {
                if (t.active == false || !t.audioURL || t.audioURL->isEmpty()) continue;
                if (g != allGenres && t.genre != g) continue;
                queue_.append(t);
            }
            std::shuffle(queue_.begin(), queue_.end(), *QRandomGenerator::global());
            if (queue_.isEmpty()) break;
        }
        const Track track = queue_.takeFirst();
        const QUrl reference(*track.audioURL, QUrl::StrictMode);
        if (!reference.isValid()) continue;
        const QUrl address = base_.resolved(reference);
        // Only web addresses: a catalogue must not make the player open local files or devices.
        const QString scheme = address.scheme();
        if (!address.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            continue;
        playItem(address);
        setNowPlaying(StationRecords::nowPlaying(track));
        return;
    }
    setNowPlaying(unreachableText());
}

void RadioStation::playLive() {
    if (!playing_) return;
    if (!broadcastURL_) {
        setLive(false);
        next();
        return;
    }
    playItem(*broadcastURL_);
    setNowPlaying(tr("LIVE · ") + broadcastLabel_.value_or(tr("Live Broadcast")));
}

void RadioStation::playItem(const QUrl& url) {
    ++item_;
    ++started_;
    sink_->play(url);
    applyVolume();
}

void RadioStation::itemEnded() {
    // The end of the live stream starts nothing.
    if (!live_) next();
}

// ---- loading -------------------------------------------------------------------------------------

void RadioStation::get(const QUrl& url, std::function<void(const QByteArray&)> done) {
    QNetworkRequest request(url);
    BoundedReply::prepare(request);
    QNetworkReply* reply = network_.get(request);
    BoundedReply::guard(reply, maxRecordBytes, deadlineMs_);
    connect(reply, &QNetworkReply::finished, this, [reply, done = std::move(done)] {
        reply->deleteLater();
        const BoundedReply::Result answer = BoundedReply::result(reply);
        if (!answer.refusal.isEmpty())
            TRKLog::log(QStringLiteral("Music: %1 from %2").arg(answer.refusal, reply->url().toString()));
        // The status is not examined: whatever body came is decoded (an empty one, as after a refusal,
        // fails).
        done(answer.body);
    });
}

void RadioStation::load(std::function<void()> then) {
    const QString cache = QString::number(clock_->now().toSecsSinceEpoch());
    get(base_.resolved(QUrl(QStringLiteral("api/public-broadcast.php?cache=") + cache)),
        [this, then](const QByteArray& body) {
            const auto broadcast = StationRecords::decodeBroadcast(body);
            if (const auto address = StationRecords::liveAddress(broadcast)) {
                broadcastURL_ = *address;
                broadcastLabel_ = broadcast->label;
                setLive(true);
            } else {
                setLive(false); // the last address and label stay
            }
            // The catalogue is fetched until one fetch brought tracks.
            if (!tracks_.isEmpty()) {
                then();
                return;
            }
            get(base_.resolved(QUrl(QStringLiteral("api/public-tracks.php"))),
                [this, then](const QByteArray& body) {
                    if (const auto tracks = StationRecords::decodeCatalog(body)) {
                        tracks_ = *tracks;
                        const QStringList g = StationRecords::genres(tracks_);
                        if (g != genres_) {
                            genres_ = g;
                            emit genresChanged();
                        }
                    }
                    then();
                });
        });
}

// ---- published setters -----------------------------------------------------------------------------

void RadioStation::setPlaying(bool on) {
    if (playing_ == on) return;
    playing_ = on;
    emit playingChanged();
}

void RadioStation::setLoading(bool on) {
    if (loading_ == on) return;
    loading_ = on;
    emit loadingChanged();
}

void RadioStation::setNowPlaying(const QString& text) {
    if (nowPlaying_ == text) return;
    nowPlaying_ = text;
    emit nowPlayingChanged();
}

void RadioStation::setLive(bool on) {
    if (live_ == on) return;
    live_ = on;
    emit liveChanged();
}
