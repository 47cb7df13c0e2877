#include "LinkDiagnostics.h"

#include "LANTransport.h"
#include "TRKLog.h"
#include "TimeText.h"
#include "WalkieModel.h"

#include <QCoreApplication>
#include <algorithm>

namespace {

QString tr(const char* text) {
    return QCoreApplication::translate("LinkDiagnostics", text);
}

DiagLine line(DiagLine::Level level, const QString& title, const QString& detail = {}) {
    DiagLine l;
    l.level = level;
    l.title = title;
    l.detail = detail;
    return l;
}

using Level = DiagLine::Level;

DiagLine microphone(VoiceCapture::MicStatus status) {
    switch (status) {
    case VoiceCapture::MicStatus::authorized:
        return line(Level::ok, tr("Microphone allowed"));
    case VoiceCapture::MicStatus::notDetermined:
        return line(Level::warn, tr("Microphone not tried yet"), tr("Hold Talk once."));
    case VoiceCapture::MicStatus::restricted:
    case VoiceCapture::MicStatus::denied:
        break;
    }
    return line(
        Level::bad, tr("No microphone can be opened"),
        tr("Plug in a microphone or choose it as the input in the sound settings, then hold Talk again."));
}

DiagLine firewall(const FirewallState& fw, quint16 port) {
    const QString p = QString::number(port);
    if (fw.kind == FirewallState::Kind::off) return line(Level::ok, tr("Firewall is off"));
    if (fw.kind == FirewallState::Kind::unknown)
        return line(Level::info, tr("Firewall: couldn't check"),
                    tr("If a firewall (ufw, firewalld or nftables) is on, allow UDP port %1 in.").arg(p));
    QString title = tr("Firewall is on (") + fw.tool + QLatin1Char(')');
    if (fw.stealth) title += tr(" (stealth mode)");
    QString command;
    if (fw.tool == QLatin1String("ufw"))
        command = tr("sudo ufw allow %1/udp").arg(p);
    else if (fw.tool == QLatin1String("firewalld"))
        command =
            tr("sudo firewall-cmd --permanent --add-port=%1/udp, then sudo firewall-cmd --reload").arg(p);
    else
        command = tr("add a rule accepting UDP port %1 to the input chain").arg(p);
    if (fw.blocked == true)
        return line(Level::bad, title,
                    tr("The firewall is BLOCKING this app. Allow UDP port %1 in: ").arg(p) + command);
    return line(Level::warn, title,
                tr("If units on your network can't hear this one, allow UDP port %1 in: ").arg(p) + command);
}

} // namespace

QString DiagLine::levelName(Level level) {
    switch (level) {
    case Level::ok:
        return QStringLiteral("ok");
    case Level::warn:
        return QStringLiteral("warn");
    case Level::bad:
        return QStringLiteral("bad");
    case Level::info:
        break;
    }
    return QStringLiteral("info");
}

namespace LinkDiagnostics {

DiagSnapshot snapshot(const WalkieModel& model, FirewallProbe& probe) {
    DiagSnapshot s;
    s.now = model.now();
    if (const auto ch = model.selected()) {
        s.selected = DiagSnapshot::SelectedChannel{ch->name, ch->safetyCode(), ch->channelIDBytes()};
        for (const auto& entry : model.roster().value(ch->channelID()))
            s.unitsHeard.append(entry.name);
    }
    const auto foreign = model.foreignChannels();
    for (auto it = foreign.cbegin(); it != foreign.cend(); ++it)
        s.foreignHeard.append(it.value());
    s.port = LANTransport::defaultPort;
    if (const LANTransport* lan = model.lan()) {
        const auto figures = lan->counters();
        DiagSnapshot::Lan l;
        l.pathOK = figures.networkPathOK;
        l.errors = figures.errors;
        l.sent = figures.sent;
        l.received = figures.received;
        l.lastError = figures.lastError;
        l.heard = figures.heardAddresses;
        s.lan = l;
        s.port = lan->port();
    }
    s.lanStatus = model.lanStatus();
    s.lanUnits = model.lanUnits();
    s.nearbyStatus = model.nearbyStatus();
    s.nearbyPeers = model.nearbyPeers();
    s.lastGoodPacket = model.lastGoodPacket();
    s.directPeers = model.directPeers();
    s.relayURL = model.relayURL();
    s.useRelay = model.useRelay();
    s.relayUp = model.relayUp();
    s.relayStatus = model.relayStatus();
    s.radioCheckReplies = model.radioCheckReplies();
    if (const VoiceCapture* capture = model.capture()) s.mic = capture->micStatus();
    s.firewall = probe.firewall(s.port);
    return s;
}

QList<DiagLine> build(const DiagSnapshot& s) {
    QList<DiagLine> out;
    const QString port = QString::number(s.port);

    // 1, 2: the channel and who is heard on it.
    if (!s.selected) {
        out << line(Level::bad, tr("No channel"),
                    tr("Click New / Join on both computers and type the SAME channel name and passphrase."));
    } else {
        const auto& ch = *s.selected;
        out << line(Level::info, tr("Channel: ") + ch.name,
                    tr("Safety code ") + ch.safetyCode + tr(" · key fingerprint ") +
                        TRKLog::shortHex(ch.idBytes) +
                        tr(". Both computers must show the SAME safety code."));
        QStringList names = s.unitsHeard;
        std::sort(names.begin(), names.end()); // plain code-unit order; duplicates stay
        if (!names.isEmpty())
            out << line(Level::ok,
                        tr("Hearing on ") + ch.name + QStringLiteral(": ") + names.join(QStringLiteral(", ")),
                        tr("Encrypted hellos are arriving, so the key matches and the link works."));
        else
            out << line(
                Level::warn, tr("No other unit heard on ") + ch.name + tr(" yet"),
                tr("Open the app on the other computer, same channel. Units say hello every 2 seconds."));
    }

    // 3: another key heard within the last minute.
    const bool mismatch =
        std::any_of(s.foreignHeard.cbegin(), s.foreignHeard.cend(),
                    [&](const QDateTime& t) { return t.msecsTo(s.now) < qint64(mismatchSeconds * 1000); });
    if (mismatch)
        out << line(Level::bad, tr("Another unit is on a channel you don't have the key for"),
                    tr("Unknown channel / key mismatch. The other computer is reachable, but its key is "
                       "different. Fix: on both computers select the channel, click Edit, and type the SAME "
                       "channel name and passphrase (or New / Join › type them). The safety codes must match."));

    // 4: the microphone.
    out << microphone(s.mic);

    // 5: whether own datagrams come back through the network.
    const QString waitDetail = tr("Needs Wi-Fi or Ethernet, and a few seconds after the app opens.");
    if (!s.lan)
        out << line(Level::info, tr("Local network: LAN link is off"), waitDetail);
    else if (!s.lan->pathOK)
        out << line(Level::info, tr("Local network: checking…"), waitDetail);
    else if (*s.lan->pathOK)
        out << line(Level::ok, tr("Local network: this app can use it"));
    else
        out << line(Level::bad, tr("Local network is BLOCKED for this app"),
                    tr("Nothing this app sends on your Wi-Fi/Ethernet comes back: a firewall or the network "
                       "is dropping "
                       "it. Allow UDP port %1 in the firewall (see the firewall line below), then quit and "
                       "reopen the "
                       "app.")
                        .arg(port));

    // 6: the home-network link.
    if (!s.lan)
        out << line(Level::warn, tr("LAN link is off"),
                    tr("Turn on the LAN switch. It's the easiest way for two computers at home to talk."));
    else if (s.lan->errors > 0 && s.lan->sent == 0)
        out << line(
            Level::bad, s.lanStatus,
            tr("Can't send on the network: ") + s.lan->lastError.value_or(QStringLiteral("?")) +
                tr(". Check that Wi-Fi or Ethernet is connected and that the firewall allows UDP port %1.")
                    .arg(port));
    else
        out << line(s.lanUnits <= 0 ? Level::warn : Level::ok, s.lanStatus,
                    tr("Home-network link (no server needed). Sent %1, received %2.")
                        .arg(s.lan->sent)
                        .arg(s.lan->received));

    // 7: the nearby link.
    out << line(
        s.nearbyPeers > 0 ? Level::ok : Level::info, s.nearbyStatus,
        tr("Nearby link: units on the same local network connect directly, with no server and no internet."));

    // 8: the last packet that opened, and where units were heard.
    QString detail;
    if (s.lan && !s.lan->heard.isEmpty())
        detail +=
            tr("Tessrook units heard at: ") + s.lan->heard.join(QStringLiteral(", ")) + QStringLiteral(". ");
    detail += s.directPeers.isEmpty() ? tr("Typed IP addresses: none (Setup › Home network).")
                                      : tr("Typed IP addresses: ") + s.directPeers + QStringLiteral(".");
    out << line(s.lastGoodPacket.isValid() ? Level::ok : Level::info,
                tr("Last packet from another unit: ") +
                    (s.lastGoodPacket.isValid() ? TimeText::standardTime(s.lastGoodPacket) : tr("none yet")),
                detail);

    // 9: the relay.
    const bool local =
        s.relayURL.contains(QLatin1String("localhost")) || s.relayURL.contains(QLatin1String("127.0.0.1"));
    out << line(s.relayUp ? Level::ok : Level::info, s.useRelay ? s.relayStatus : tr("Relay: off"),
                local ? tr("The relay address points at THIS computer (localhost). That's only useful if the "
                           "relay program is running here. At home the LAN link does the job.")
                      : tr("Internet relay at ") + s.relayURL + QStringLiteral("."));

    // 10: the firewall.
    out << firewall(s.firewall, s.port);

    // 11: the last radio check's answers.
    if (!s.radioCheckReplies.isEmpty())
        out << line(Level::ok,
                    tr("Radio check answered by ") + s.radioCheckReplies.join(QStringLiteral(", ")),
                    tr("Encrypted messages are going both ways."));
    return out;
}

QList<DiagLine> report(const WalkieModel& model, FirewallProbe& probe) {
    return build(snapshot(model, probe));
}

QString copiedText(const QList<DiagLine>& lines) {
    QStringList out;
    for (const DiagLine& l : lines) {
        QString text = QLatin1Char('[') + DiagLine::levelName(l.level) + QStringLiteral("] ") + l.title;
        if (!l.detail.isEmpty()) text += QStringLiteral(" - ") + l.detail;
        out << text;
    }
    return out.join(QLatin1Char('\n'));
}

} // namespace LinkDiagnostics
