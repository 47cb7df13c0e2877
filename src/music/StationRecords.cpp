#include "StationRecords.h"

#include "TextRules.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringList>
#include <algorithm>

namespace {

struct Fail {};

QString required(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (!v.isString()) throw Fail{};
    return v.toString();
}

std::optional<QString> optionalString(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isString()) throw Fail{};
    return v.toString();
}

// A text the station shows (title, artist, genre, label): cleaned like every stranger's text, so it
// stays one line whatever the catalogue holds.
std::optional<QString> shownText(const QJsonObject& o, const char* key) {
    const auto v = optionalString(o, key);
    if (!v) return v;
    return TextRules::fromStranger(*v, StationRecords::maxShownCharacters);
}

std::optional<bool> optionalBool(const QJsonObject& o, const char* key) {
    const QJsonValue v = o.value(QLatin1String(key));
    if (v.isUndefined() || v.isNull()) return std::nullopt;
    if (!v.isBool()) throw Fail{};
    return v.toBool();
}

std::optional<QJsonObject> object(const QByteArray& json) {
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

} // namespace

namespace StationRecords {

std::optional<QList<Track>> decodeCatalog(const QByteArray& json) {
    const auto root = object(json);
    if (!root) return std::nullopt;
    try {
        const QJsonValue list = root->value(QLatin1String("tracks"));
        if (!list.isArray()) return std::nullopt;
        QList<Track> out;
        for (const QJsonValue& item : list.toArray()) {
            if (!item.isObject()) return std::nullopt;
            const QJsonObject o = item.toObject();
            Track t;
            t.id = required(o, "id");
            t.title = shownText(o, "title");
            t.artist = shownText(o, "artist");
            t.genre = shownText(o, "genre");
            t.audioURL = optionalString(o, "audio_url");
            t.active = optionalBool(o, "active");
            out.append(t);
        }
        return out;
    } catch (const Fail&) {
        return std::nullopt;
    }
}

std::optional<Broadcast> decodeBroadcast(const QByteArray& json) {
    const auto root = object(json);
    if (!root) return std::nullopt;
    try {
        const QJsonValue enabled = root->value(QLatin1String("enabled"));
        if (!enabled.isBool()) return std::nullopt;
        Broadcast b;
        b.enabled = enabled.toBool();
        b.url = required(*root, "url");
        b.label = shownText(*root, "label");
        return b;
    } catch (const Fail&) {
        return std::nullopt;
    }
}

std::optional<QUrl> liveAddress(const std::optional<Broadcast>& broadcast) {
    if (!broadcast || !broadcast->enabled) return std::nullopt;
    const QUrl url(broadcast->url, QUrl::StrictMode);
    if (!url.isValid() || url.isRelative() || !url.scheme().startsWith(QLatin1String("http")))
        return std::nullopt;
    return url;
}

QStringList genres(const QList<Track>& tracks) {
    QSet<QString> seen;
    QList<QList<uint>> sorted; // compared as code points, never by locale
    for (const Track& t : tracks) {
        if (!t.genre || t.genre->isEmpty() || *t.genre == QLatin1String("All") || seen.contains(*t.genre))
            continue;
        seen.insert(*t.genre);
        sorted.append(t.genre->toUcs4());
    }
    std::sort(sorted.begin(), sorted.end());
    QStringList out{QStringLiteral("All")};
    for (const auto& g : sorted)
        out.append(QString::fromUcs4(reinterpret_cast<const char32_t*>(g.constData()), g.size()));
    return out;
}

QString nowPlaying(const Track& track) {
    QStringList parts;
    if (track.title && !track.title->isEmpty()) parts << *track.title;
    if (track.artist && !track.artist->isEmpty()) parts << *track.artist;
    return parts.join(QStringLiteral(" · "));
}

} // namespace StationRecords
