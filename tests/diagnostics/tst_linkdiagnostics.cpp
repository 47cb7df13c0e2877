// The connection report: which lines appear, in which order, at which level, with which words, and
// what a live model and its home-network link feed into it.
#include "LinkDiagnostics.h"
#include "ModelFixture.h"
#include "TRKLog.h"

#include <QtTest>

namespace {

using Level = DiagLine::Level;

class CannedTools : public FirewallProbe::Runner {
public:
    QStringList calls;
    bool has(const QString&) const override { return false; } // no tool: the firewall reads off
    FirewallProbe::Run run(const QString& tool, const QStringList& args, int) override {
        calls << tool + ' ' + args.join(' ');
        return {};
    }
};

DiagSnapshot base() {
    DiagSnapshot s;
    s.now = QDateTime::fromSecsSinceEpoch(1'800'000'000, Qt::UTC);
    s.port = 48787;
    s.lanStatus = "LAN: listening";
    s.nearbyStatus = "Nearby: searching";
    s.relayURL = "ws://localhost:8787";
    s.useRelay = true;
    s.relayStatus = "Relay: connecting";
    s.mic = VoiceCapture::MicStatus::authorized;
    return s;
}

DiagSnapshot::SelectedChannel home() {
    return {"Home", "AMBER-0042-OTTER", QByteArray::fromHex("a1b2c3d4e5f60718293a4b5c6d7e8f90")};
}

QStringList titles(const QList<DiagLine>& lines) {
    QStringList out;
    for (const auto& l : lines)
        out << l.title;
    return out;
}

// The one line whose title starts with `prefix`; fails the test when there is not exactly one.
DiagLine only(const QList<DiagLine>& lines, const QString& prefix) {
    QList<DiagLine> found;
    for (const auto& l : lines)
        if (l.title.startsWith(prefix)) found << l;
    if (found.size() != 1)
        qWarning() << "lines starting with" << prefix << ":" << found.size() << titles(lines);
    return found.value(0);
}

} // namespace

class LinkDiagnosticsTest : public QObject {
    Q_OBJECT
private slots:
    void linesComeInTheirOrderAndOnlyWhenTheyApply() {
        // Without a channel: no "heard" line, no mismatch, no radio check: 8 lines.
        DiagSnapshot s = base();
        auto lines = LinkDiagnostics::build(s);
        QCOMPARE(titles(lines), (QStringList{"No channel", "Microphone allowed",
                                             "Local network: LAN link is off", "LAN link is off",
                                             "Nearby: searching", "Last packet from another unit: none yet",
                                             "Relay: connecting", "Firewall is off"}));
        QCOMPARE(lines[0].level, Level::bad);

        // Everything present: 11 lines.
        s.selected = home();
        s.foreignHeard = {s.now.addSecs(-5)};
        s.radioCheckReplies = {"Zed", "Amy"};
        lines = LinkDiagnostics::build(s);
        QCOMPARE(lines.size(), 11);
        QCOMPARE(lines[0].title, "Channel: Home");
        QCOMPARE(lines[0].level, Level::info);
        QVERIFY(lines[0].detail.contains(QString::fromUtf8("AMBER-0042-OTTER · key fingerprint a1b2c3d4.")));
        QCOMPARE(lines[1].title, "No other unit heard on Home yet");
        QCOMPARE(lines[1].level, Level::warn);
        QCOMPARE(lines[2].title, "Another unit is on a channel you don't have the key for");
        QCOMPARE(lines[10].title, "Radio check answered by Zed, Amy"); // in arrival order
        QCOMPARE(lines[10].level, Level::ok);

        // Every build gives every line a new identity.
        const auto again = LinkDiagnostics::build(s);
        for (int i = 0; i < lines.size(); ++i)
            QVERIFY(lines[i].id != again[i].id && !lines[i].id.isNull());
    }

    void unitsHeardAreSortedWithDuplicatesKept() {
        DiagSnapshot s = base();
        s.selected = home();
        s.unitsHeard = {"Zed", "amy", "Amy", "Zed"};
        const auto l = LinkDiagnostics::build(s)[1];
        QCOMPARE(l.title, "Hearing on Home: Amy, Zed, Zed, amy"); // code order, not the locale's
        QCOMPARE(l.level, Level::ok);
    }

    void aForeignKeyCountsForLessThanAMinute() {
        DiagSnapshot s = base();
        s.foreignHeard = {s.now.addSecs(-59)};
        QCOMPARE(LinkDiagnostics::build(s).size(), 9);
        QCOMPARE(only(LinkDiagnostics::build(s), "Another unit").level, Level::bad);
        s.foreignHeard = {s.now.addSecs(-60), s.now.addSecs(-3600)};
        QCOMPARE(LinkDiagnostics::build(s).size(), 8);
    }

    void homeNetworkLines() {
        DiagSnapshot s = base();
        s.lan = DiagSnapshot::Lan{};
        s.lan->errors = 3;
        s.lanStatus = "LAN: send failed";
        auto lines = LinkDiagnostics::build(s);
        QCOMPARE(only(lines, "Local network").title, QString::fromUtf8("Local network: checking…"));
        QCOMPARE(only(lines, "Local network").level, Level::info);
        auto lan = only(lines, "LAN: send failed");
        QCOMPARE(lan.level, Level::bad);
        QVERIFY(lan.detail.startsWith("Can't send on the network: ?. "));
        QVERIFY(lan.detail.endsWith(" UDP port 48787."));
        s.lan->lastError = "Network is unreachable";
        s.port = 50001;
        lan = only(LinkDiagnostics::build(s), "LAN: send failed");
        QVERIFY(lan.detail.startsWith("Can't send on the network: Network is unreachable. "));
        QVERIFY(lan.detail.endsWith(" UDP port 50001."));

        // Errors after some datagrams went out: the counts, at the level of the units heard.
        s.lan->sent = 12;
        s.lan->received = 4;
        lan = only(LinkDiagnostics::build(s), "LAN: send failed");
        QCOMPARE(lan.level, Level::warn);
        QCOMPARE(lan.detail, "Home-network link (no server needed). Sent 12, received 4.");
        s.lanUnits = 1;
        QCOMPARE(only(LinkDiagnostics::build(s), "LAN: send failed").level, Level::ok);

        s.lan->pathOK = true;
        QCOMPARE(only(LinkDiagnostics::build(s), "Local network").title,
                 "Local network: this app can use it");
        QCOMPARE(only(LinkDiagnostics::build(s), "Local network").detail, "");
        s.lan->pathOK = false;
        const auto blocked = only(LinkDiagnostics::build(s), "Local network");
        QCOMPARE(blocked.title, "Local network is BLOCKED for this app");
        QCOMPARE(blocked.level, Level::bad);
        QVERIFY(blocked.detail.contains("Allow UDP port 50001 in"));
    }

    void nearbyLastPacketAndRelay() {
        DiagSnapshot s = base();
        auto lines = LinkDiagnostics::build(s);
        QCOMPARE(only(lines, "Nearby").level, Level::info);
        QCOMPARE(only(lines, "Last packet").detail,
                 QString::fromUtf8("Typed IP addresses: none (Setup › Home network)."));
        s.nearbyPeers = 2;
        s.lastGoodPacket = s.now;
        s.lan = DiagSnapshot::Lan{};
        s.lan->heard = {"10.0.0.2", "10.0.0.9"};
        s.directPeers = "10.0.0.7";
        lines = LinkDiagnostics::build(s);
        QCOMPARE(only(lines, "Nearby").level, Level::ok);
        const auto last = only(lines, "Last packet");
        QCOMPARE(last.level, Level::ok);
        QVERIFY(last.title.size() > QString("Last packet from another unit: ").size() &&
                !last.title.endsWith("none yet"));
        QCOMPARE(last.detail, "Tessrook units heard at: 10.0.0.2, 10.0.0.9. Typed IP addresses: 10.0.0.7.");

        // A relay on this machine, switched off: the local wording either way.
        s.relayURL = "ws://127.0.0.1:8787";
        s.useRelay = false;
        const auto off = only(LinkDiagnostics::build(s), "Relay");
        QCOMPARE(off.title, "Relay: off");
        QCOMPARE(off.level, Level::info);
        QVERIFY(off.detail.contains("(localhost)"));
        s.relayURL = "wss://relay.example.org";
        s.useRelay = true;
        s.relayUp = true;
        s.relayStatus = "Relay: connected";
        const auto up = only(LinkDiagnostics::build(s), "Relay");
        QCOMPARE(up.title, "Relay: connected");
        QCOMPARE(up.level, Level::ok);
        QCOMPARE(up.detail, "Internet relay at wss://relay.example.org.");
    }

    void everyFirewallOutcome() {
        using K = FirewallState::Kind;
        const struct {
            FirewallState state;
            quint16 port;
            const char* title;
            Level level;
            const char* advice; // the end of the detail: the port and the tool's own command
        } rows[] = {
            {{K::off, {}, false, std::nullopt}, 48787, "Firewall is off", Level::ok, ""},
            {{K::unknown, {}, false, std::nullopt},
             48787,
             "Firewall: couldn't check",
             Level::info,
             "UDP port 48787 in."},
            {{K::on, "ufw", true, true},
             48787,
             "Firewall is on (ufw) (stealth mode)",
             Level::bad,
             "UDP port 48787 in: sudo ufw allow 48787/udp"},
            {{K::on, "ufw", true, false},
             48787,
             "Firewall is on (ufw) (stealth mode)",
             Level::warn,
             "UDP port 48787 in: sudo ufw allow 48787/udp"},
            {{K::on, "firewalld", false, false},
             48787,
             "Firewall is on (firewalld)",
             Level::warn,
             "UDP port 48787 in: sudo firewall-cmd --permanent --add-port=48787/udp, then sudo "
             "firewall-cmd --reload"},
            {{K::on, "nftables", false, std::nullopt},
             40001,
             "Firewall is on (nftables)",
             Level::warn,
             "UDP port 40001 in: add a rule accepting UDP port 40001 to the input chain"},
        };
        for (const auto& r : rows) {
            DiagSnapshot s = base();
            s.firewall = r.state;
            s.port = r.port;
            const DiagLine l = LinkDiagnostics::build(s).last();
            QCOMPARE(l.title, QString::fromUtf8(r.title));
            QCOMPARE(l.level, r.level);
            if (!*r.advice)
                QCOMPARE(l.detail, "");
            else
                QVERIFY2(l.detail.endsWith(QString::fromUtf8(r.advice)),
                         qPrintable(l.title + ": " + l.detail));
        }
    }

    void copiedTextHasOneLinePerRowAndNoTrailingBreak() {
        DiagSnapshot s = base();
        const auto lines = LinkDiagnostics::build(s);
        const QString text = LinkDiagnostics::copiedText(lines);
        const QStringList rows = text.split('\n');
        QCOMPARE(rows.size(), lines.size());
        QVERIFY(!text.endsWith('\n'));
        QVERIFY(rows[3].startsWith("[warn] LAN link is off - Turn on"));
        QCOMPARE(rows[1], "[ok] Microphone allowed"); // no detail: ends at the title
        QCOMPARE(rows[4].left(7), "[info] ");
        QVERIFY(rows[0].startsWith("[bad] No channel - "));
        QCOMPARE(LinkDiagnostics::copiedText({}), "");
    }

    // The live model: the microphone as the capture last found it, and the running link's port and figures.
    void aLiveModelFeedsTheReport() {
        fixture::Rig rig;
        fixture::OtherUnit other;
        WalkieModel& m = rig.make(fixture::linkedOptions(rig, other));
        const Channel ch = fixture::channel("Home");
        m.setChannels({ch});
        auto tools = std::make_shared<CannedTools>();
        FirewallProbe::Options po;
        po.runner = tools;
        po.clock = rig.clock;
        FirewallProbe probe(po);
        auto mic = [&] { return LinkDiagnostics::build(LinkDiagnostics::snapshot(m, probe))[2]; };

        QCOMPARE(mic().title, "Microphone not tried yet");
        QCOMPARE(mic().level, Level::warn);
        m.pressTalk();
        m.releaseTalk();
        QCOMPARE(mic().title, "Microphone allowed");
        QCOMPARE(mic().level, Level::ok);
        rig.mic->result = AudioInput::OpenResult::accessDenied;
        m.pressTalk();
        QCOMPARE(mic().title, "No microphone can be opened");
        QCOMPARE(mic().level, Level::bad);
        rig.mic->present = false;
        QCOMPARE(mic().title, "No microphone can be opened");
        QCOMPARE(mic().level, Level::bad);

        // The link's own port (a free one here), and what it counted.
        QVERIFY(m.lan());
        m.sendHello();
        QTRY_VERIFY(m.lan()->counters().sent > 0);
        const DiagSnapshot s = LinkDiagnostics::snapshot(m, probe);
        QCOMPARE(s.port, m.lan()->port());
        QVERIFY(s.port != LANTransport::defaultPort);
        QVERIFY(s.lan && s.lan->sent > 0);
        QCOMPARE(s.selected->name, "Home");
        QCOMPARE(s.now, rig.clock->now());
        const auto lines = LinkDiagnostics::build(s);
        QVERIFY(only(lines, m.lanStatus()).detail.startsWith("Home-network link (no server needed). Sent "));
        QCOMPARE(lines.last().title, "Firewall is off");
        // Without the link the default port is named.
        m.setTransportsOverride(QSet<QString>{});
        QVERIFY(!m.lan());
        QCOMPARE(LinkDiagnostics::snapshot(m, probe).port, LANTransport::defaultPort);
    }
};

MODEL_TEST_MAIN(LinkDiagnosticsTest)
#include "tst_linkdiagnostics.moc"
