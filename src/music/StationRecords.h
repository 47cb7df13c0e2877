#pragma once
// The music station's two JSON records, decoded strictly: the body must be an object, a required key
// missing, null or of another type fails the whole document, an optional key may be missing or null but
// not of another type, and unknown keys are ignored. Texts that are shown come cleaned (one line).
#include <QByteArray>
#include <QList>
#include <QString>
#include <QUrl>
#include <optional>

struct Track {
    QString id;
    std::optional<QString> title;
    std::optional<QString> artist;
    std::optional<QString> genre;
    std::optional<QString> audioURL; // absolute, or relative to the station's base
    std::optional<bool> active;      // none counts as active
    bool operator==(const Track&) const = default;
};

struct Broadcast {
    bool enabled = false;
    QString url;
    std::optional<QString> label;
};

namespace StationRecords {

// A title, artist, genre or label longer than this is cut; the now-playing line shows far less.
inline constexpr int maxShownCharacters = 200;

std::optional<QList<Track>> decodeCatalog(const QByteArray& json); // {"tracks": [...]}
std::optional<Broadcast> decodeBroadcast(const QByteArray& json);

// The stream address when the record names a broadcast on air: enabled, and a URL that parses on its own,
// is absolute and has a scheme beginning "http".
std::optional<QUrl> liveAddress(const std::optional<Broadcast>& broadcast);

// "All" followed by every distinct non-empty genre in code-point order (a genre named "All" is not
// listed twice).
QStringList genres(const QList<Track>& tracks);

// title · artist, leaving out each that is missing or empty.
QString nowPlaying(const Track& track);

} // namespace StationRecords
