#include "LinkTestRules.h"

#include "TRKLog.h"
#include "TextRules.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace LinkTestRules {

std::optional<QString> value(const QStringList& args, const QString& option) {
    const qsizetype i = args.indexOf(option);
    if (i < 0 || i + 1 >= args.size()) return std::nullopt;
    return args.at(i + 1);
}

namespace {

std::optional<double> seconds(const std::optional<QString>& text) {
    if (!text) return std::nullopt;
    bool ok = false;
    const double s = text->toDouble(&ok);
    // "inf", "nan" and negative lengths would make every wait meaningless.
    if (!ok || !std::isfinite(s) || s < 0) return std::nullopt;
    return s;
}

std::optional<quint16> port(const std::optional<QString>& text) {
    if (!text || text->isEmpty() || text->size() > 5) return std::nullopt;
    for (QChar c : *text)
        if (c < QLatin1Char('0') || c > QLatin1Char('9')) return std::nullopt;
    const uint p = text->toUInt();
    if (p > 65535) return std::nullopt;
    return quint16(p);
}

} // namespace

std::optional<LinkTestOptions> parse(const QStringList& args) {
    const auto role = value(args, QStringLiteral("--link-test"));
    if (!role) return std::nullopt;
    LinkTestOptions o;
    o.role = *role;
    o.verbose = args.contains(QStringLiteral("--verbose"));
    o.seconds = seconds(value(args, QStringLiteral("--seconds"))).value_or(40.0);
    o.name = value(args, QStringLiteral("--name"))
                 .value_or(o.talksFirst() ? QStringLiteral("Unit A") : QStringLiteral("Unit B"));
    o.expectMismatch = args.contains(QStringLiteral("--expect-mismatch"));
    if (args.contains(QStringLiteral("--nearby"))) o.links.insert(QStringLiteral("nearby"));
    if (args.contains(QStringLiteral("--relay"))) o.links.insert(QStringLiteral("relay"));
    o.play = args.contains(QStringLiteral("--play"));
    o.port = port(value(args, QStringLiteral("--port")));
    o.peer = value(args, QStringLiteral("--peer"));
    o.channel = value(args, QStringLiteral("--channel"));
    o.pass = value(args, QStringLiteral("--pass"));
    o.invite = value(args, QStringLiteral("--invite"));
    return o;
}

QString sanitizedRole(const QString& role) {
    QString out;
    for (QChar c : role.left(40)) {
        const bool safe = (c >= QLatin1Char('a') && c <= QLatin1Char('z')) ||
                          (c >= QLatin1Char('A') && c <= QLatin1Char('Z')) ||
                          (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') ||
                          c == QLatin1Char('_') || c == QLatin1Char('.');
        out.append(safe ? c : QLatin1Char('_'));
    }
    return out;
}

std::optional<QString> noteEvent(LinkTestTally& t, const QString& text) {
    if (text.startsWith(QLatin1String("UNKNOWN CHANNEL"))) {
        ++t.foreignEvents;
        if (t.foreignEvents == 1) return QStringLiteral("EVENT ") + text;
        return std::nullopt;
    }
    if (text.startsWith(QLatin1String("HELLO")))
        t.heardHello = true;
    else if (text.startsWith(QLatin1String("VOICE START")))
        t.voiceStart = true;
    else if (text.startsWith(QLatin1String("VOICE END")))
        t.voiceEnd = true;
    else if (text.startsWith(QLatin1String("RADIO CHECK from")))
        t.gotRadioCheck = true;
    else if (text.startsWith(QLatin1String("RADIO CHECK REPLY")))
        t.gotReply = true;
    else if (text.startsWith(QLatin1String("TEXT from")))
        t.lastText = text;
    return QStringLiteral("EVENT ") + text;
}

double frameLevel(const QByteArray& payload) {
    const qsizetype n = payload.size() / 2;
    if (n < 1) return 0;
    const auto* b = reinterpret_cast<const uchar*>(payload.constData());
    double sum = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const double s = qint16(quint16(b[2 * i]) | quint16(b[2 * i + 1]) << 8);
        sum += s * s;
    }
    return std::sqrt(sum / double(n));
}

void noteVoiceFrame(LinkTestTally& t, const QByteArray& payload) {
    ++t.framesDecrypted;
    if (std::abs(frameLevel(payload) - toneLevel) < toneTolerance) ++t.exactToneFrames;
}

bool linkComplete(const LinkTestTally& t) {
    return t.voiceStart && t.gotRadioCheck && !t.lastText.isEmpty() && t.voiceEnd &&
           t.framesDecrypted >= framesNeeded && t.exactToneFrames >= framesNeeded;
}

bool linkPassed(const LinkTestTally& t) {
    return linkComplete(t) && t.gotReply;
}

bool mismatchPassed(const LinkTestTally& t, const QString& linkReason) {
    return t.foreignEvents > 0 && !t.heardHello && !t.gotReply && !t.gotRadioCheck &&
           t.framesDecrypted == 0 && linkReason.startsWith(QLatin1String("Unknown channel / key mismatch"));
}

QString passphraseLine(const QString& channelName, const QString& passphrase) {
    return QStringLiteral("typed channel name \"%1\" + passphrase (%2 characters) -> key derived with PBKDF2")
        .arg(channelName)
        .arg(TextRules::characterCount(passphrase));
}

QString channelLine(const QString& channelName, const QByteArray& channelIDBytes, const QString& safetyCode,
                    const QSet<QString>& links, quint16 udpPort, const std::optional<QString>& peer) {
    QStringList sorted(links.begin(), links.end());
    std::sort(sorted.begin(), sorted.end());
    return QStringLiteral("channel ") + channelName + QStringLiteral(", fingerprint ") +
           TRKLog::shortHex(channelIDBytes) + QStringLiteral(", safety code ") + safetyCode +
           QStringLiteral(", links ") + sorted.join(QLatin1Char('+')) + QStringLiteral(", UDP port ") +
           QString::number(udpPort) + QStringLiteral(", typed peer ") + peer.value_or(QStringLiteral("none"));
}

QString lanStatsLine(const std::optional<LanFigures>& lan) {
    const LanFigures f = lan.value_or(LanFigures{});
    QString path = QStringLiteral("unknown");
    if (lan && f.pathOK) path = *f.pathOK ? QStringLiteral("open") : QStringLiteral("BLOCKED");
    return QStringLiteral("LAN stats: sent %1, received %2, send errors %3, heard %4, own echoes via "
                          "Wi-Fi/Ethernet %5, via loopback %6 -> home-network path: %7")
        .arg(f.sent)
        .arg(f.received)
        .arg(f.errors)
        .arg(lan ? f.heard.join(QLatin1Char(',')) : QStringLiteral("-"))
        .arg(f.networkEchoes)
        .arg(f.loopbackEchoes)
        .arg(path);
}

QString linkSummary(const LinkTestTally& t) {
    return QStringLiteral("from the other copy: radio check ") +
           (t.gotRadioCheck ? QStringLiteral("received+answered") : QStringLiteral("MISSING")) +
           QStringLiteral(", text ") +
           (t.lastText.isEmpty() ? QStringLiteral("MISSING")
                                 : QLatin1Char('"') + t.lastText + QLatin1Char('"')) +
           QStringLiteral(", voice frames decrypted ") + QString::number(t.framesDecrypted) +
           QStringLiteral(" (expected 20), exact test tone ") + QString::number(t.exactToneFrames);
}

QString mismatchSummary(const LinkTestTally& t) {
    return QStringLiteral("packets from the other copy that could NOT be opened (other key): ") +
           QString::number(t.foreignEvents) + QStringLiteral("; hellos decrypted: ") +
           (t.heardHello ? QStringLiteral("YES") : QStringLiteral("0")) +
           QStringLiteral("; radio check answered: ") +
           (t.gotReply ? QStringLiteral("YES") : QStringLiteral("no"));
}

QString temporaryRoot() {
    // QDir::tempPath() is empty for a TMPDIR that does not exist, which would put the folder in the
    // working directory.
    const QString existing = QDir::tempPath();
    if (!existing.isEmpty()) return existing;
    QString named = qEnvironmentVariable("TMPDIR");
    if (named.isEmpty()) named = QStringLiteral("/tmp");
    return QDir::cleanPath(QDir(named).absolutePath());
}

QString prepareDataFolder(const QString& tempRoot, const QString& role, qint64 pid) {
    QDir().mkpath(tempRoot);
    const QString path = QDir(tempRoot).filePath(QStringLiteral("qmrl-trk-linktest-") + sanitizedRole(role) +
                                                 QLatin1Char('-') + QString::number(pid));
    const QByteArray native = QFile::encodeName(path);
    if (::mkdir(native.constData(), 0700) == 0) {
        ::chmod(native.constData(), 0700); // whatever the umask left
        return path;
    }
    if (errno != EEXIST) return path; // a failure to create it is ignored; the log copes
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid()) {
        ::chmod(native.constData(), 0700);
        return path;
    }
    // Someone else's folder or a link planted under our name: never write through it.
    QByteArray pattern = native + "-XXXXXX";
    if (::mkdtemp(pattern.data())) return QFile::decodeName(pattern);
    return path;
}

QString usage() {
    return QStringLiteral(
        "QMRL Tessrook, a push-to-talk group radio.\n"
        "\n"
        "Without --link-test it opens its window. With it, it runs the two-unit link test instead, with\n"
        "no window: two copies join the same channel, find each other, exchange a radio check, a text\n"
        "message and a 2-second encrypted test tone, and each prints RESULT PASS or RESULT FAIL.\n"
        "\n"
        "  tessrook --link-test ROLE (--channel NAME --pass PASSPHRASE | --invite LINK) [options]\n"
        "\n"
        "  ROLE                 \"talk\" sends first; any other role answers\n"
        "  --seconds S          length of each waiting phase (default 40)\n"
        "  --name NAME          this copy's call sign (default \"Unit A\" for talk, else \"Unit B\")\n"
        "  --expect-mismatch    check instead that two copies with different keys do not connect\n"
        "  --nearby, --relay    also use the nearby link / the relay (default: home network only)\n"
        "  --port N             home-network UDP port (default 48787)\n"
        "  --peer ADDRESSES     typed peer addresses, a.b.c.d[:port] separated by commas\n"
        "  --play               play received voice through the speaker\n"
        "  --verbose            echo the debug log to standard error\n"
        "\n"
        "Exit status: 0 pass, 1 fail, 2 no usable channel.\n");
}

} // namespace LinkTestRules
