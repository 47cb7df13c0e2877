#include "RelayProtocol.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>

namespace {
std::optional<QJsonObject> objectOf(QStringView text) {
    QJsonParseError error;
    const auto doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject()) return std::nullopt;
    return doc.object();
}

QString quoted(const QString& s) {
    // Via the JSON writer so that any character is escaped the same way a parser expects.
    const QByteArray a = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return QString::fromUtf8(a.mid(1, a.size() - 2));
}
} // namespace

namespace RelayProtocol {
bool isChannelID(QStringView text) {
    if (text.size() != 32) return false;
    for (QChar c : text) {
        const ushort u = c.unicode();
        if (!((u >= '0' && u <= '9') || (u >= 'a' && u <= 'f'))) return false;
    }
    return true;
}

QString joinMessage(const QStringList& channelIDs) {
    QStringList items;
    items.reserve(channelIDs.size());
    for (const auto& id : channelIDs)
        items << quoted(id);
    return QStringLiteral("{\"type\":\"join\",\"v\":%1,\"channels\":[%2]}")
        .arg(QString::number(version), items.join(u','));
}

std::optional<QStringList> parseJoin(QStringView text, int maxIDs) {
    const auto o = objectOf(text);
    if (!o || o->value("type").toString() != QLatin1String("join")) return std::nullopt;
    const QJsonValue v = o->value("v");
    if (!v.isDouble() || v.toDouble() != version) return std::nullopt;
    const QJsonValue list = o->value("channels");
    if (!list.isArray()) return std::nullopt;
    QStringList ids;
    QSet<QString> seen;
    for (const auto& item : list.toArray()) {
        if (ids.size() >= maxIDs) break;
        const QString id = item.toString();
        if (!item.isString() || !isChannelID(id) || seen.contains(id)) continue;
        seen.insert(id);
        ids << id;
    }
    return ids;
}

QString peersMessage(const QMap<QString, int>& counts) {
    QStringList items;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        items << quoted(it.key()) + u':' + QString::number(it.value());
    return QStringLiteral("{\"type\":\"peers\",\"counts\":{%1}}").arg(items.join(u','));
}

std::optional<QHash<QString, int>> parsePeers(QStringView text) {
    const auto o = objectOf(text);
    if (!o || o->value("type").toString() != QLatin1String("peers") || !o->value("counts").isObject())
        return std::nullopt;
    QHash<QString, int> counts;
    const QJsonObject c = o->value("counts").toObject();
    for (auto it = c.begin(); it != c.end(); ++it) {
        const double n = it.value().toDouble(-1);
        if (!isChannelID(it.key()) || !it.value().isDouble() || n < 0 || n > 1e9 || n != double(int(n)))
            continue;
        counts.insert(it.key(), int(n));
    }
    return counts;
}
} // namespace RelayProtocol
