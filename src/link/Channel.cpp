#include "Channel.h"

#include "Bytes.h"
#include "KeyVault.h"
#include "TextRules.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QStringDecoder>
#include <QStringList>

static void loadWordListResource() {
    Q_INIT_RESOURCE(wordlist);
}

namespace {
const QByteArray saltPrefix = QByteArrayLiteral("qmt-walkie/v1/salt/");
const QByteArray idLabel = QByteArrayLiteral("qmt-walkie/v1/channel-id");
const QByteArray safetyLabel = QByteArrayLiteral("qmt-walkie/v1/safety-code");
const QString sharedChannelName = QStringLiteral("Shared channel");
const QString dateFormat = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss.zzz'Z'");

const QStringList& wordList() {
    static const QStringList words = [] {
        loadWordListResource();
        QFile f(QStringLiteral(":/link/english.txt"));
        QStringList list;
        if (f.open(QIODevice::ReadOnly))
            list = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        return list;
    }();
    return words;
}

QString upperWord(quint16 index) {
    const QStringList& words = wordList();
    return index < words.size() ? words[index].toUpper() : QString();
}

// RFC 3986 unreserved characters stay; every other byte of the UTF-8 becomes %XX.
QString percentEncode(const QString& s) {
    const QByteArray utf8 = s.toUtf8();
    QString out;
    out.reserve(utf8.size() * 3);
    static const char hexDigits[] = "0123456789ABCDEF";
    for (char ch : utf8) {
        const uchar c = uchar(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
            c == '.' || c == '_' || c == '~') {
            out.append(QLatin1Char(char(c)));
        } else {
            out.append(QLatin1Char('%'));
            out.append(QLatin1Char(hexDigits[c >> 4]));
            out.append(QLatin1Char(hexDigits[c & 15]));
        }
    }
    return out;
}

// Strict: a '%' must start two hex digits and the bytes must be valid UTF-8. '+' stays a plus.
std::optional<QString> percentDecode(QStringView s) {
    // '%' and hex digits are ASCII, so the UTF-8 of the text can be decoded byte by byte.
    const QByteArray in = s.toUtf8();
    QByteArray bytes;
    bytes.reserve(in.size());
    for (qsizetype i = 0; i < in.size(); ++i) {
        if (in[i] != '%') {
            bytes.append(in[i]);
            continue;
        }
        if (i + 2 >= in.size()) return std::nullopt;
        auto byte = Bytes::fromHex(QString::fromLatin1(in.mid(i + 1, 2)));
        if (!byte) return std::nullopt;
        bytes.append(*byte);
        i += 2;
    }
    // A leading U+FEFF is part of the name, not a byte-order mark to drop.
    QStringDecoder decoder(QStringDecoder::Utf8,
                           QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString out = decoder.decode(bytes);
    if (decoder.hasError()) return std::nullopt;
    return out;
}
} // namespace

Channel::Channel(QString name_, QByteArray key, QDateTime created_, std::optional<QString> origin_,
                 std::optional<QString> keyName_)
    : name(std::move(name_)), created(std::move(created_)), origin(std::move(origin_)),
      keyName(std::move(keyName_)) {
    if (key.size() != KeyVault::keyLength) return; // stays invalid: no ID, no code
    key_ = std::move(key);
    idBytes_ = KeyVault::sha256(idLabel + key_).left(16);
    id_ = Bytes::hex(idBytes_);
    const QByteArray h = KeyVault::sha256(safetyLabel + key_);
    if (h.size() == 32) {
        const quint16 first = *Bytes::readU16(h, 0) >> 5;
        const quint32 number = *Bytes::readU32(h, 2) % 10000;
        const quint16 second = *Bytes::readU16(h, 6) >> 5;
        safetyCode_ = upperWord(first) + QLatin1Char('-') +
                      QStringLiteral("%1").arg(number, 4, 10, QLatin1Char('0')) + QLatin1Char('-') +
                      upperWord(second);
    }
}

QString Channel::inviteLink() const {
    if (!isValid()) return {};
    return QStringLiteral("qmtalk://join?v=1&n=") + percentEncode(name) + QStringLiteral("&k=") +
           Bytes::base64Url(key_);
}

std::optional<QString> Channel::passphraseProblem(const QString& passphrase) {
    if (TextRules::characterCount(TextRules::trimmed(passphrase)) < 8)
        return QStringLiteral("Use at least 8 characters (a few words is best).");
    return std::nullopt;
}

QString Channel::normalizedName(const QString& name) {
    return TextRules::collapseSpaces(TextRules::trimmed(name))
        .toLower()
        .normalized(QString::NormalizationForm_C);
}

std::optional<Channel> Channel::fromPassphrase(const QString& name, const QString& passphrase) {
    const QString trimmedName = TextRules::trimmed(name);
    const QByteArray password = passphrase.normalized(QString::NormalizationForm_C).toUtf8();
    const QByteArray salt = saltPrefix + normalizedName(name).toUtf8();
    auto key = KeyVault::pbkdf2Sha256(password, salt, pbkdf2Rounds, KeyVault::keyLength);
    if (!key) return std::nullopt;
    return Channel(TextRules::leftCharacters(trimmedName, maxNameCharacters), *key,
                   QDateTime::currentDateTimeUtc(), QStringLiteral("passphrase"), trimmedName);
}

std::optional<Channel> Channel::withRandomKey(const QString& name) {
    auto key = KeyVault::randomKey();
    if (!key) return std::nullopt;
    return Channel(TextRules::leftCharacters(TextRules::trimmed(name), maxNameCharacters), *key,
                   QDateTime::currentDateTimeUtc());
}

std::optional<Channel> Channel::fromInvite(const QString& text) {
    const QString link = TextRules::trimmed(text);
    const qsizetype schemeEnd = link.indexOf(QLatin1String("://"));
    if (schemeEnd < 0 ||
        QStringView(link).first(schemeEnd).compare(QLatin1String("qmtalk"), Qt::CaseInsensitive))
        return std::nullopt;
    QStringView rest = QStringView(link).sliced(schemeEnd + 3);
    // A fragment is not part of the link's data.
    if (const qsizetype hash = rest.indexOf(QLatin1Char('#')); hash >= 0) rest = rest.first(hash);
    QStringView query;
    if (const qsizetype q = rest.indexOf(QLatin1Char('?')); q >= 0) {
        query = rest.sliced(q + 1);
        rest = rest.first(q);
    }
    QStringView host = rest, path;
    if (const qsizetype slash = rest.indexOf(QLatin1Char('/')); slash >= 0) {
        host = rest.first(slash);
        path = rest.sliced(slash);
    }
    if (host.compare(QLatin1String("join"), Qt::CaseInsensitive) != 0) return std::nullopt;
    if (!path.isEmpty() && path != QLatin1String("/")) return std::nullopt;

    std::optional<QStringView> v, n, k;
    for (QStringView item : query.split(QLatin1Char('&'))) {
        const qsizetype eq = item.indexOf(QLatin1Char('='));
        const QStringView itemKey = eq < 0 ? item : item.first(eq);
        const QStringView value = eq < 0 ? QStringView() : item.sliced(eq + 1);
        if (itemKey == QLatin1String("v") && !v)
            v = value;
        else if (itemKey == QLatin1String("n") && !n)
            n = value;
        else if (itemKey == QLatin1String("k") && !k)
            k = value;
    }
    if (v && *v != QLatin1String("1")) return std::nullopt;
    if (!k) return std::nullopt;
    QStringView keyText = *k;
    if (keyText.size() == 44 && keyText.endsWith(QLatin1Char('='))) keyText.chop(1);
    if (keyText.size() != 43) return std::nullopt;
    auto key = Bytes::fromBase64Url(keyText);
    if (!key || key->size() != KeyVault::keyLength) return std::nullopt;
    QString name;
    if (n) {
        auto decoded = percentDecode(*n);
        if (!decoded) return std::nullopt;
        // A name from an invite is a stranger's text: cleaned before it is cut or shown.
        name = TextRules::nameFromStranger(*decoded, maxNameCharacters);
    }
    if (name.isEmpty()) name = sharedChannelName;
    return Channel(name, *key, QDateTime::currentDateTimeUtc(), QStringLiteral("invite"));
}

namespace {
QByteArray jsonString(const QString& s) {
    // QJsonDocument escapes correctly; strip the array brackets around the one string.
    const QByteArray doc = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
    return doc.mid(1, doc.size() - 2);
}
} // namespace

QByteArray Channel::encodeList(const QList<Channel>& channels) {
    // Written by hand: QJsonObject would sort the keys, and the record's key order is fixed.
    QByteArray out = "[";
    bool firstRecord = true;
    for (const Channel& c : channels) {
        if (!c.isValid()) continue;
        out += firstRecord ? "\n  {" : ",\n  {";
        firstRecord = false;
        out += "\n    \"name\": " + jsonString(c.name);
        out += ",\n    \"key\": \"" + c.key_.toBase64() + '"';
        out += ",\n    \"created\": " + jsonString(c.created.toUTC().toString(dateFormat));
        if (c.origin) out += ",\n    \"origin\": " + jsonString(*c.origin);
        if (c.keyName) out += ",\n    \"keyName\": " + jsonString(*c.keyName);
        out += "\n  }";
    }
    out += firstRecord ? "]\n" : "\n]\n";
    return out;
}

Channel::Decoded Channel::decodeList(const QByteArray& json, const QDateTime& loadTime) {
    Decoded result;
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray()) {
        result.unreadable = true;
        return result;
    }
    const QJsonArray records = doc.array();
    QSet<QString> seen;
    for (int i = 0; i < records.size(); ++i) {
        const QJsonValue record = records.at(i);
        const QJsonValue nameValue = record.toObject().value(QStringLiteral("name"));
        const QJsonValue keyValue = record.toObject().value(QStringLiteral("key"));
        if (!record.isObject() || !nameValue.isString() || !keyValue.isString()) {
            result.skipped.append(i);
            continue;
        }
        const auto key = QByteArray::fromBase64Encoding(keyValue.toString().toLatin1(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
        // Strict: exactly 32 bytes in canonical standard Base64.
        if (!key || key.decoded.size() != KeyVault::keyLength ||
            key.decoded.toBase64() != keyValue.toString().toLatin1()) {
            result.skipped.append(i);
            continue;
        }
        const QJsonObject o = record.toObject();
        const QString createdText = o.value(QStringLiteral("created")).toString();
        QDateTime created = QDateTime::fromString(createdText, dateFormat);
        if (created.isValid())
            created = QDateTime(created.date(), created.time(), Qt::UTC);
        else
            created = QDateTime::fromString(createdText, Qt::ISODateWithMs);
        // A time that cannot be written back in four-digit years would turn into the load time on the
        // next load; take the load time now so the record stays stable.
        const int year = created.toUTC().date().year();
        if (!created.isValid() || year < 1 || year > 9999) created = loadTime;
        std::optional<QString> origin;
        const QString originText = o.value(QStringLiteral("origin")).toString();
        if (originText == QLatin1String("passphrase") || originText == QLatin1String("invite"))
            origin = originText;
        std::optional<QString> keyName;
        if (o.value(QStringLiteral("keyName")).isString())
            keyName = o.value(QStringLiteral("keyName")).toString();
        Channel c(nameValue.toString(), key.decoded, created, origin, keyName);
        if (seen.contains(c.channelID())) {
            result.skipped.append(i);
            continue;
        }
        seen.insert(c.channelID());
        result.channels.append(std::move(c));
    }
    return result;
}

bool Channel::operator==(const Channel& o) const {
    return key_ == o.key_ && name == o.name && created == o.created && origin == o.origin &&
           keyName == o.keyName;
}
