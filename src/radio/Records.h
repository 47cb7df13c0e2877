#pragma once
// Plain value records of the radio model.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QUuid>
#include <optional>

enum class ScrambleMode { deep = 0, high = 1, robot = 2, alien = 3, shadow = 4 };

namespace ScrambleModes {
QList<ScrambleMode> all();
QString name(ScrambleMode m);   // "Deep" ...
QString detail(ScrambleMode m); // "Lower, heavier voice" ...
ScrambleMode fromRaw(int raw);  // unknown -> shadow
} // namespace ScrambleModes

struct ActivityEntry {
    QUuid id;
    QString channel;
    QString who;
    bool outgoing = false;
    QDateTime time;
    double seconds = 0;
};

struct TextMessage {
    QUuid id;
    QString channel;
    QString who;
    QString text;
    bool outgoing = false;
    QDateTime time;
};

struct RosterEntry {
    QString name;
    QDateTime last;
};

struct Coordinate {
    double lat = 0;
    double lon = 0;
    bool operator==(const Coordinate&) const = default;
};

struct SOSInfo {
    QString who;
    std::optional<double> lat;
    std::optional<double> lon;
    std::optional<double> accuracy;
    std::optional<int> battery;
    bool silent = false;
    bool automatic = false; // JSON key "auto"
    QDateTime time;

    QByteArray toJson() const;
    static std::optional<SOSInfo> fromJson(const QByteArray& json);
};

struct SOSAlert {
    quint64 id = 0;
    SOSInfo info;
    QString channelName;
    QString channelID;
    QList<Coordinate> trail;
    QStringList responders;
    bool active = true;
    QDateTime lastUpdate;
};
