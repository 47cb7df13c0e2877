#pragma once
// A private channel: a name and a 32-byte key. Its ID, fingerprint and safety code derive from the
// key and are computed once per value.
#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>
#include <optional>

class Channel {
public:
    static constexpr int maxNameCharacters = 40;
    static constexpr int pbkdf2Rounds = 210000;

    Channel() = default;
    Channel(QString name, QByteArray key, QDateTime created, std::optional<QString> origin = std::nullopt,
            std::optional<QString> keyName = std::nullopt);

    QString name;
    QDateTime created;
    std::optional<QString> origin; // "passphrase", "invite" or none
    std::optional<QString> keyName;

    const QByteArray& key() const { return key_; }
    const QString& channelID() const { return id_; }              // 32 lower-case hex
    const QByteArray& channelIDBytes() const { return idBytes_; } // 16 bytes, the packet fingerprint
    const QString& safetyCode() const { return safetyCode_; }     // WORD-NNNN-WORD
    QString inviteLink() const;                                   // "" when it cannot be built
    bool isPassphrase() const { return origin && *origin == QLatin1String("passphrase"); }
    bool isValid() const { return key_.size() == 32 && idBytes_.size() == 16; }

    static std::optional<QString> passphraseProblem(const QString& passphrase);
    static QString normalizedName(const QString& name);
    // Slow (PBKDF2); touches no shared state. Nothing only when the crypto library fails.
    static std::optional<Channel> fromPassphrase(const QString& name, const QString& passphrase);
    static std::optional<Channel> fromInvite(const QString& text);
    // A fresh random 256-bit key; nothing when the random source fails.
    static std::optional<Channel> withRandomKey(const QString& name);

    // The channel store's record coding.
    struct Decoded {
        QList<Channel> channels;
        QList<int> skipped;      // indexes of records that could not be read or were duplicates
        bool unreadable = false; // not a JSON array at all
    };
    static Decoded decodeList(const QByteArray& json, const QDateTime& loadTime);
    static QByteArray encodeList(const QList<Channel>& channels);

    bool operator==(const Channel& o) const;

private:
    QByteArray key_;
    QString id_;
    QByteArray idBytes_;
    QString safetyCode_;
};
