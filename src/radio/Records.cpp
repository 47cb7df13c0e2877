#include "Records.h"

#include "TextRules.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <cmath>

namespace {
constexpr int maxWhoCharacters = 46;

// A JSON number that is finite, or nothing (wrong type or not finite).
std::optional<double> finiteNumber(const QJsonValue& v) {
    if (!v.isDouble()) return std::nullopt;
    const double d = v.toDouble();
    if (!std::isfinite(d)) return std::nullopt;
    return d;
}
} // namespace

QByteArray SOSInfo::toJson() const {
    QJsonObject o;
    o.insert(QStringLiteral("who"), TextRules::leftCharacters(TextRules::trimmed(who), maxWhoCharacters));
    o.insert(QStringLiteral("time"), double(time.toMSecsSinceEpoch()) / 1000.0);
    // A position is written whole or not at all, and only with finite values in range.
    if (lat && lon && accuracy && std::isfinite(*lat) && std::isfinite(*lon) && std::isfinite(*accuracy) &&
        *lat >= -90 && *lat <= 90 && *lon >= -180 && *lon <= 180 && *accuracy >= 0) {
        o.insert(QStringLiteral("lat"), *lat);
        o.insert(QStringLiteral("lon"), *lon);
        o.insert(QStringLiteral("accuracy"), *accuracy);
    }
    if (battery && *battery >= 0 && *battery <= 100) o.insert(QStringLiteral("battery"), *battery);
    o.insert(QStringLiteral("silent"), silent);
    o.insert(QStringLiteral("auto"), automatic);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

std::optional<SOSInfo> SOSInfo::fromJson(const QByteArray& json) {
    QJsonParseError err{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &err);
    if (err.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    const QJsonObject o = doc.object();
    SOSInfo info;

    const QJsonValue who = o.value(QStringLiteral("who"));
    if (!who.isString()) return std::nullopt;
    // The name came from the network: same cleaning as every other received text.
    info.who = TextRules::nameFromStranger(who.toString(), maxWhoCharacters);
    if (info.who.isEmpty()) return std::nullopt;

    const auto time = finiteNumber(o.value(QStringLiteral("time")));
    if (!time || std::fabs(*time) > 1e13) return std::nullopt;
    info.time = QDateTime::fromMSecsSinceEpoch(qint64(std::llround(*time * 1000.0)), Qt::UTC);

    const bool hasLat = o.contains(QStringLiteral("lat"));
    const bool hasLon = o.contains(QStringLiteral("lon"));
    const bool hasAcc = o.contains(QStringLiteral("accuracy"));
    if (hasLat || hasLon || hasAcc) {
        if (!(hasLat && hasLon && hasAcc)) return std::nullopt;
        const auto lat = finiteNumber(o.value(QStringLiteral("lat")));
        const auto lon = finiteNumber(o.value(QStringLiteral("lon")));
        const auto acc = finiteNumber(o.value(QStringLiteral("accuracy")));
        if (!lat || !lon || !acc) return std::nullopt;
        if (*lat < -90 || *lat > 90 || *lon < -180 || *lon > 180 || *acc < 0) return std::nullopt;
        info.lat = lat;
        info.lon = lon;
        info.accuracy = acc;
    }

    if (o.contains(QStringLiteral("battery"))) {
        const auto b = finiteNumber(o.value(QStringLiteral("battery")));
        if (!b || *b != std::floor(*b) || *b < 0 || *b > 100) return std::nullopt;
        info.battery = int(*b);
    }

    for (const auto& [key, field] : {std::pair{QStringLiteral("silent"), &info.silent},
                                     std::pair{QStringLiteral("auto"), &info.automatic}}) {
        if (!o.contains(key)) continue;
        const QJsonValue v = o.value(key);
        if (!v.isBool()) return std::nullopt;
        *field = v.toBool();
    }
    return info;
}
