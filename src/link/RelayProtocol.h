#pragma once
// The relay's wire protocol, shared by the relay link and the relay server. Text frames carry JSON:
//   client -> server {"type":"join","v":1,"channels":["<32 hex>", ...]}   (replaces the client's set)
//   server -> client {"type":"peers","counts":{"<32 hex>": n, ...}}      (n counts the client itself)
// Binary frames carry one sealed packet each, unchanged.
#include <QHash>
#include <QMap>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <optional>

namespace RelayProtocol {
inline constexpr int version = 1;
// The relay takes at most this many channel IDs from one join.
inline constexpr int maxChannelsPerJoin = 64;

// 32 lower-case hexadecimal characters: the only channel IDs the relay accepts.
bool isChannelID(QStringView text);

// The join text exactly as sent, channel IDs in the order given.
QString joinMessage(const QStringList& channelIDs);
// The IDs of a join: well-formed IDs only, duplicates dropped, at most maxIDs kept (first come).
// Nothing when the text is not a version-1 join (unknown type, other version, no channel array).
std::optional<QStringList> parseJoin(QStringView text, int maxIDs);

// The peers text exactly as sent, IDs in ascending order.
QString peersMessage(const QMap<QString, int>& counts);
// Nothing when the text is not a peers report; entries that are not an ID with a count are skipped.
std::optional<QHash<QString, int>> parsePeers(QStringView text);
} // namespace RelayProtocol
