#pragma once
// Map tiles for the SOS maps: one cache per process on the main thread. Tiles come over one network
// manager with a disk cache (in the cache folder, about 100 MB) and are kept decoded in memory.
// Requests are joined when the same tile is wanted twice, at most two are in flight, and only tiles
// some map asks for now are fetched (no prefetch, no bulk download). A network failure is tried once
// more from the disk cache alone; a tile that still cannot be had is not asked for again for a minute.
// A server is trusted with nothing: each answer is bounded in bytes, pixels and time, and redirected
// only on its own host; a tile refused for any of these counts as failed.
#include "TRKLog.h"

#include <QCache>
#include <QDateTime>
#include <QHash>
#include <QImage>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QTimer>
#include <optional>

class QNetworkAccessManager;
class QNetworkReply;

struct TileKey {
    int z = 0;
    int x = 0;
    int y = 0;
    bool operator==(const TileKey&) const = default;
};
size_t qHash(const TileKey& k, size_t seed = 0);

class TileCache : public QObject {
    Q_OBJECT
public:
    // The public OpenStreetMap tile server; its policy asks for a real User-Agent and the attribution.
    static constexpr const char* openStreetMap = "https://tile.openstreetmap.org/{z}/{x}/{y}.png";

    // `address` holds {z}, {x} and {y}. The first cache made becomes the process's shared one.
    explicit TileCache(const QString& address = QString::fromLatin1(openStreetMap),
                       QObject* parent = nullptr);
    ~TileCache() override;
    // The process's cache; made with the OpenStreetMap address when none exists yet.
    static TileCache* shared();

    enum class State { absent, loading, ready, failed };
    State state(const TileKey& key) const;
    // The decoded tile, or null when it is not in memory.
    const QImage* image(const TileKey& key) const;
    // The tiles `client` wants now, most wanted first; replaces what it wanted before. Tiles nobody
    // wants any more are not fetched.
    void want(const QObject* client, const QList<TileKey>& keys);

    QString address() const { return address_; }
    QString userAgent() const;
    QString url(const TileKey& key) const;
    int inFlight() const { return int(replies_.size()); }

    static constexpr int maxInFlight = 2;
    static constexpr int transferTimeoutMs = 15000;
    static constexpr int backOffSeconds = 60;
    static constexpr qint64 diskBytes = 100LL * 1024 * 1024;
    // A map tile is a few tens of KiB; a larger answer is not a tile.
    static constexpr qint64 maxTileBytes = 512 * 1024;
    // Tiles are 256 (or 512) pixels square; anything beyond this is refused before it is decoded.
    static constexpr int maxTileSide = 1024;
    // The whole transfer of one tile, however slowly its bytes come.
    static constexpr int transferDeadlineMs = 30000;
    // Tests shorten the deadline; it applies to requests started afterwards.
    void setTransferDeadlineMs(int ms) { deadlineMs_ = ms; }

signals:
    void changed(); // a tile arrived or failed

private:
    void pump();
    void start(const TileKey& key, bool cacheOnly);
    void finished(QNetworkReply* reply);
    void fail(const TileKey& key, const QString& why);
    // Decodes and keeps a tile; says why not when it cannot.
    QString decode(const TileKey& key, QByteArray body);
    void forget(const QObject* client);

    QString address_;
    int deadlineMs_ = transferDeadlineMs;
    QNetworkAccessManager* net_ = nullptr;
    QCache<TileKey, QImage> memory_;
    QHash<QNetworkReply*, std::pair<TileKey, bool>> replies_; // reply -> tile, cache-only retry
    QHash<TileKey, QDateTime> failedAt_;
    QHash<const QObject*, QList<TileKey>> wanted_;
    QDateTime networkDownUntil_; // after a network failure: cache-only until then
    TRKLogWindow failLog_;
    QTimer retry_; // asks again for wanted tiles once their wait is over
};
