#include "TileCache.h"

#include "BoundedReply.h"
#include "TRKLog.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QImageReader>
#include <QNetworkAccessManager>
#include <QNetworkDiskCache>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStandardPaths>

#ifndef TESSROOK_VERSION
#define TESSROOK_VERSION "0"
#endif

size_t qHash(const TileKey& k, size_t seed) {
    return qHashMulti(seed, k.z, k.x, k.y);
}

namespace {

QPointer<TileCache> sharedCache;

// Decoded tiles are counted in KiB: about 256 tiles of 256 x 256.
constexpr int memoryKiB = 64 * 1024;

bool isPng(const QByteArray& body) {
    return body.startsWith(QByteArrayLiteral("\x89PNG\r\n\x1a\n"));
}

// Failures of the connection itself (refused, unreachable, timed out, TLS, proxy), as opposed to an
// answer from the server that carries no tile.
bool networkFailure(QNetworkReply::NetworkError e) {
    return e != QNetworkReply::NoError && int(e) < 200;
}

} // namespace

TileCache::TileCache(const QString& address, QObject* parent)
    : QObject(parent), address_(address), memory_(memoryKiB) {
    if (!sharedCache) sharedCache = this;
    net_ = new QNetworkAccessManager(this);
    auto* disk = new QNetworkDiskCache(net_);
    disk->setCacheDirectory(QStandardPaths::writableLocation(QStandardPaths::CacheLocation) +
                            QStringLiteral("/tiles"));
    disk->setMaximumCacheSize(diskBytes);
    net_->setCache(disk);
    net_->setTransferTimeout(transferTimeoutMs);
    connect(net_, &QNetworkAccessManager::finished, this, &TileCache::finished);
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &TileCache::pump);
}

TileCache::~TileCache() {
    net_->disconnect(this);
    const auto replies = replies_.keys();
    replies_.clear();
    for (QNetworkReply* r : replies)
        r->abort();
}

TileCache* TileCache::shared() {
    if (!sharedCache) new TileCache(QString::fromLatin1(openStreetMap), QCoreApplication::instance());
    return sharedCache;
}

QString TileCache::userAgent() const {
    return QStringLiteral("QMRL-Tessrook/%1 (SOS map)").arg(QString::fromLatin1(TESSROOK_VERSION));
}

QString TileCache::url(const TileKey& key) const {
    QString u = address_;
    u.replace(QStringLiteral("{z}"), QString::number(key.z));
    u.replace(QStringLiteral("{x}"), QString::number(key.x));
    u.replace(QStringLiteral("{y}"), QString::number(key.y));
    return u;
}

TileCache::State TileCache::state(const TileKey& key) const {
    if (memory_.contains(key)) return State::ready;
    // At most maxInFlight replies: a scan is as quick as a second index and cannot drift from them.
    for (const auto& [loading, cacheOnly] : replies_)
        if (loading == key) return State::loading;
    const auto failed = failedAt_.constFind(key);
    if (failed != failedAt_.constEnd() && failed->secsTo(QDateTime::currentDateTimeUtc()) < backOffSeconds)
        return State::failed;
    return State::absent;
}

const QImage* TileCache::image(const TileKey& key) const {
    return memory_.object(key);
}

void TileCache::want(const QObject* client, const QList<TileKey>& keys) {
    if (!wanted_.contains(client))
        connect(client, &QObject::destroyed, this, [this, client] { forget(client); });
    wanted_.insert(client, keys);
    pump();
}

void TileCache::forget(const QObject* client) {
    wanted_.remove(client);
}

void TileCache::pump() {
    while (replies_.size() < maxInFlight) {
        std::optional<TileKey> next;
        for (auto it = wanted_.cbegin(); it != wanted_.cend() && !next; ++it)
            for (const TileKey& k : it.value())
                if (state(k) == State::absent) {
                    next = k;
                    break;
                }
        if (!next) break;
        failedAt_.remove(*next);
        // While the server is out of reach, tiles already on disk still come from there.
        const bool cacheOnly =
            networkDownUntil_.isValid() && QDateTime::currentDateTimeUtc() < networkDownUntil_;
        start(*next, cacheOnly);
    }
    // A wanted tile still waiting after a failure is asked for again when its wait is over.
    const QDateTime now = QDateTime::currentDateTimeUtc();
    std::optional<qint64> soonest;
    for (auto it = wanted_.cbegin(); it != wanted_.cend(); ++it)
        for (const TileKey& k : it.value())
            if (state(k) == State::failed) {
                const qint64 left = qint64(backOffSeconds) * 1000 - failedAt_.value(k).msecsTo(now);
                soonest = std::min(soonest.value_or(left), left);
            }
    if (soonest && (!retry_.isActive() || retry_.remainingTime() > *soonest))
        retry_.start(int(std::max<qint64>(*soonest, 0)) + 50);
}

void TileCache::start(const TileKey& key, bool cacheOnly) {
    QNetworkRequest request{QUrl(url(key))};
    request.setHeader(QNetworkRequest::UserAgentHeader, userAgent());
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute,
                         cacheOnly ? QNetworkRequest::AlwaysCache : QNetworkRequest::PreferNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, true);
    request.setTransferTimeout(transferTimeoutMs);
    BoundedReply::prepare(request);
    QNetworkReply* reply = net_->get(request);
    BoundedReply::guard(reply, maxTileBytes, deadlineMs_);
    replies_.insert(reply, {key, cacheOnly});
}

void TileCache::finished(QNetworkReply* reply) {
    reply->deleteLater();
    const auto found = replies_.constFind(reply);
    if (found == replies_.constEnd()) return;
    const auto [key, cacheOnly] = found.value();
    replies_.erase(found);

    const QNetworkReply::NetworkError error = reply->error();
    BoundedReply::Result answer = BoundedReply::result(reply);
    // The disk cache keeps what arrived before the guard or the decoder refused it: only accepted
    // tiles may stay there.
    auto forgetOnDisk = [this, reply] {
        net_->cache()->remove(reply->request().url());
        net_->cache()->remove(reply->url());
    };
    if (!answer.refusal.isEmpty()) {
        forgetOnDisk();
        fail(key, QStringLiteral("%1 for %2").arg(answer.refusal, reply->url().toString()));
    } else if (error == QNetworkReply::NoError) {
        const QString why = decode(key, std::move(answer.body));
        if (why.isEmpty()) {
            emit changed();
        } else {
            forgetOnDisk();
            fail(key, QStringLiteral("%1 for %2").arg(why, reply->url().toString()));
        }
    } else if (networkFailure(error) && !cacheOnly) {
        networkDownUntil_ = QDateTime::currentDateTimeUtc().addSecs(backOffSeconds);
        start(key, true);
    } else {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        fail(key, status >= 400 ? QStringLiteral("HTTP %1 for %2").arg(status).arg(reply->url().toString())
                                : reply->errorString());
    }
    pump();
}

QString TileCache::decode(const TileKey& key, QByteArray body) {
    if (!isPng(body)) return QStringLiteral("not a PNG image");
    QBuffer buffer(&body);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "PNG");
    // The header's size, before any pixel is decoded: a few KiB of PNG can unpack to gigabytes.
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > maxTileSide || size.height() > maxTileSide)
        return QStringLiteral("a %1 x %2 image is no tile").arg(size.width()).arg(size.height());
    const QImage decoded = reader.read();
    if (decoded.isNull()) return QStringLiteral("not a PNG image");
    auto* image = new QImage(decoded.convertToFormat(QImage::Format_ARGB32_Premultiplied));
    // A tile the memory cache will not hold would be fetched again at every paint: call it failed.
    if (!memory_.insert(key, image, int(image->sizeInBytes() / 1024) + 1))
        return QStringLiteral("the tile does not fit the memory cache");
    return {};
}

void TileCache::fail(const TileKey& key, const QString& why) {
    const QDateTime now = QDateTime::currentDateTimeUtc();
    failedAt_.insert(key, now);
    if (failLog_.pace(now.toMSecsSinceEpoch(), 60000, 1).write)
        TRKLog::log(QStringLiteral("Map tiles unavailable: %1").arg(why));
    emit changed();
}
