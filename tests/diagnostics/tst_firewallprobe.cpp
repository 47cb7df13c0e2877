// The firewall probe against canned tools and a fake root folder, one real run of a script standing in
// for a tool (merged output, the kill at the time limit), and the 10 s memory of its answer.
#include "FirewallProbe.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

using K = FirewallState::Kind;

class CannedTools : public FirewallProbe::Runner {
public:
    QSet<QString> present;
    QHash<QString, FirewallProbe::Run> answers; // "tool arg arg" -> run; missing: a finished empty run
    QStringList calls;
    bool has(const QString& tool) const override { return present.contains(tool); }
    FirewallProbe::Run run(const QString& tool, const QStringList& args, int timeoutMs) override {
        const QString key = tool + ' ' + args.join(' ');
        calls << key;
        if (timeoutMs != FirewallProbe::timeoutMs) qFatal("unexpected time limit");
        return answers.value(key, FirewallProbe::Run{true, 0, {}});
    }
    void answer(const QString& call, const QString& output, int exitCode = 0) {
        answers[call] = FirewallProbe::Run{true, exitCode, output};
    }
};

struct Machine {
    QTemporaryDir root;
    std::shared_ptr<CannedTools> tools = std::make_shared<CannedTools>();
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    bool asRoot = false;

    void write(const QString& path, const QByteArray& text) {
        const QString full = root.path() + path;
        QDir().mkpath(QFileInfo(full).absolutePath());
        QFile f(full);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(text);
    }
    FirewallProbe probe() {
        FirewallProbe::Options o;
        o.runner = tools;
        o.root = root.path();
        o.asRoot = asRoot;
        o.clock = clock;
        return FirewallProbe(o);
    }
    FirewallState read(quint16 port = 48787) { return probe().read(port); }
};

const char* nftDrop = R"(table inet filter {
	chain input {
		type filter hook input priority filter; policy accept;
		ct state established,related accept
		udp dport { 48787, 5353 } drop
	}
	chain output {
		type filter hook output priority filter; policy accept;
	}
}
)";

const char* nftOpen = R"(table inet filter {
	chain input {
		type filter hook input priority filter; policy accept;
	}
	chain forward {
		type filter hook forward priority filter; policy drop;
	}
	chain output {
		type filter hook output priority filter; policy accept;
		ip daddr 10.9.9.9 reject
	}
}
)";

} // namespace

class FirewallProbeTest : public QObject {
    Q_OBJECT
private slots:
    void firewalld() {
        Machine m;
        m.tools->present = {"firewall-cmd"};
        m.tools->answer("firewall-cmd --state", "running\n");
        m.tools->answer("firewall-cmd --query-port=48787/udp", "yes\n");
        QCOMPARE(m.read(), (FirewallState{K::on, "firewalld", false, false}));

        m.tools->answer("firewall-cmd --query-port=48787/udp", "no\n", 1);
        m.tools->answer("firewall-cmd --get-default-zone", "public\n");
        QCOMPARE(m.read(), (FirewallState{K::on, "firewalld", false, true}));
        m.tools->answer("firewall-cmd --get-default-zone", "trusted\n");
        QCOMPARE(m.read(), (FirewallState{K::on, "firewalld", false, false}));

        // Neither yes nor no (an error text): on, verdict unknown.
        m.tools->answer("firewall-cmd --query-port=48787/udp", "Authorization failed.\n", 11);
        QCOMPARE(m.read(), (FirewallState{K::on, "firewalld", false, std::nullopt}));

        // Installed but not running: the next tool speaks, here none.
        m.tools->calls.clear();
        m.tools->answer("firewall-cmd --state", "not running\n", 252);
        QCOMPARE(m.read(), (FirewallState{K::off, {}, false, std::nullopt}));
        QCOMPARE(m.tools->calls, QStringList{"firewall-cmd --state"});

        // A tool that says nothing at all proves nothing.
        m.tools->answer("firewall-cmd --state", "", 1);
        QCOMPARE(m.read().kind, K::unknown);
    }

    void ufw() {
        Machine m;
        m.write("/etc/ufw/ufw.conf", "# comment\nENABLED=no\nLOGLEVEL=low\n");
        QCOMPARE(m.read(), (FirewallState{K::off, {}, false, std::nullopt}));

        m.write("/etc/ufw/ufw.conf", "ENABLED=yes\n");
        m.write("/etc/default/ufw", "IPV6=yes\nDEFAULT_INPUT_POLICY=\"ACCEPT\"\n");
        QCOMPARE(m.read(), (FirewallState{K::on, "ufw", false, std::nullopt}));
        m.write("/etc/default/ufw", "IPV6=yes\nDEFAULT_INPUT_POLICY=\"DROP\"\n");
        QCOMPARE(m.read(), (FirewallState{K::on, "ufw", true, std::nullopt}));
        QVERIFY(m.tools->calls.isEmpty()); // a user never runs it

        // Root reads the rules: an allowing rule permits, a deny policy without one blocks.
        m.asRoot = true;
        m.tools->present = {"ufw"};
        const QString head =
            "Status: active\nLogging: on (low)\nDefault: deny (incoming), allow (outgoing), "
            "disabled (routed)\nNew profiles: skip\n\nTo                         Action      From\n"
            "--                         ------      ----\n22/tcp                     ALLOW IN    Anywhere\n";
        m.tools->answer("ufw status verbose", head + "48787/udp                  ALLOW IN    Anywhere\n");
        QCOMPARE(m.read(), (FirewallState{K::on, "ufw", true, false}));
        m.tools->answer("ufw status verbose", head + "48787                      DENY IN     Anywhere\n");
        QCOMPARE(m.read().blocked, std::optional<bool>(true));
        m.tools->answer("ufw status verbose", head);
        QCOMPARE(m.read().blocked, std::optional<bool>(true));
        QString allow = head;
        allow.replace("deny (incoming)", "allow (incoming)");
        m.tools->answer("ufw status verbose", allow);
        QCOMPARE(m.read().blocked, std::optional<bool>(false));
        QCOMPARE(FirewallProbe::ufwVerdict(head + "487870/udp ALLOW IN Anywhere\n", 48787),
                 std::optional<bool>(true));
    }

    void nftables() {
        Machine m;
        m.tools->present = {"nft"};
        // A user may not list the rules: off while the service is not enabled at boot.
        QCOMPARE(m.read(), (FirewallState{K::off, {}, false, std::nullopt}));
        QVERIFY(m.tools->calls.isEmpty());
        m.write("/etc/systemd/system/sysinit.target.wants/nftables.service", "[Unit]\n");
        QCOMPARE(m.read().kind, K::unknown);

        m.asRoot = true;
        m.tools->answer("nft list ruleset", nftDrop);
        QCOMPARE(m.read(), (FirewallState{K::on, "nftables", false, std::nullopt}));
        m.tools->answer("nft list ruleset", nftOpen);
        QCOMPARE(m.read().kind, K::off);
        m.tools->answer("nft list ruleset", "");
        QCOMPARE(m.read().kind, K::off);
        QString policy = nftOpen;
        policy.replace("hook input priority filter; policy accept;", "hook input priority 0; policy drop;");
        QVERIFY(FirewallProbe::nftInputDrops(policy));
        m.tools->answer("nft list ruleset", "Error: Operation not permitted\n", 1);
        QCOMPARE(m.read().kind, K::unknown);

        // No tool, no files: off.
        Machine none;
        QCOMPARE(none.read(), (FirewallState{K::off, {}, false, std::nullopt}));
    }

    void firewalldComesFirstThenUfw() {
        Machine m;
        m.tools->present = {"firewall-cmd", "nft"};
        m.tools->answer("firewall-cmd --state", "not running\n", 252);
        m.write("/etc/ufw/ufw.conf", "ENABLED=yes\n");
        QCOMPARE(m.read().tool, "ufw");
    }

    // The real runner: output and errors arrive together, and a tool that hangs is killed in time.
    void realToolsAreReadAndCutOff() {
        QTemporaryDir bin;
        auto script = [&](const QString& name, const QByteArray& body) {
            QFile f(bin.path() + '/' + name);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("#!/bin/sh\n" + body);
            f.close();
            f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
        };
        script("firewall-cmd",
               "case \"$1\" in\n--state) echo running;;\n--query-port=*) read x && echo read; "
               "echo yes >&2;;\n*) echo \"$1\"; echo out; echo err >&2;;\nesac\n");
        const QByteArray path = qgetenv("PATH");
        qputenv("PATH", bin.path().toUtf8() + ':' + path);
        FirewallProbe::ProcessRunner runner;
        QVERIFY(runner.has("firewall-cmd"));
        const auto r = runner.run("firewall-cmd", {"--get-default-zone"}, FirewallProbe::timeoutMs);
        QVERIFY(r.finished);
        QCOMPARE(r.output, "--get-default-zone\nout\nerr\n");
        // Standard input is closed (nothing to read) and errors count as output.
        QCOMPARE(runner.run("firewall-cmd", {"--query-port=1/udp"}, FirewallProbe::timeoutMs).output,
                 "yes\n");
        QTemporaryDir emptyRoot;
        FirewallProbe::Options o;
        o.root = emptyRoot.path();
        o.asRoot = false;
        QCOMPARE(FirewallProbe(o).read(48787), (FirewallState{K::on, "firewalld", false, false}));

        script("firewall-cmd", "exec sleep 30\n");
        QElapsedTimer t;
        t.start();
        QCOMPARE(FirewallProbe(o).read(48787).kind, K::unknown);
        QVERIFY2(t.elapsed() < 2000, qPrintable(QString::number(t.elapsed())));
        QVERIFY(!runner.run("no-such-tool-here", {}, 100).finished);
        qputenv("PATH", path);
    }

    void oneProbeAnswersForTenSeconds() {
        Machine m;
        m.tools->present = {"firewall-cmd"};
        m.tools->answer("firewall-cmd --state", "running\n");
        m.tools->answer("firewall-cmd --query-port=48787/udp", "yes\n");
        FirewallProbe probe = m.probe();
        QCOMPARE(probe.firewall(48787).blocked, std::optional<bool>(false));
        m.tools->answer("firewall-cmd --query-port=48787/udp", "no\n");
        m.clock->advance(9.9);
        QCOMPARE(probe.firewall(48787).blocked, std::optional<bool>(false)); // the kept answer
        QCOMPARE(probe.probes(), 1);
        QCOMPARE(m.tools->calls.size(), 2);
        m.clock->advance(0.1);
        QCOMPARE(probe.firewall(48787).blocked, std::optional<bool>(true));
        QCOMPARE(probe.probes(), 2);
        // A "couldn't check" is kept just the same, and another port is asked about afresh.
        m.tools->answer("firewall-cmd --state", "", 1);
        m.clock->advance(10);
        QCOMPARE(probe.firewall(48787).kind, K::unknown);
        m.tools->answer("firewall-cmd --state", "running\n");
        QCOMPARE(probe.firewall(48787).kind, K::unknown);
        QCOMPARE(probe.firewall(40000).kind, K::on);
        QCOMPARE(probe.probes(), 4);
    }
};

QTEST_GUILESS_MAIN(FirewallProbeTest)
#include "tst_firewallprobe.moc"
