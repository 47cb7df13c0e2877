// One unit of the blocked-path run, inside a network namespace of the test's own: a model with the
// home-network link alone, on the default port or the one after "--port", sends hellos every 200 ms until its
// link knows whether its own datagrams come back, then checks what the link, the link reason, the report and
// the real firewall probe say. "--expect blocked": an nftables rule in this namespace drops the port;
// "--expect open": none.
#include "FirewallProbe.h"
#include "LANTransport.h"
#include "LinkDiagnostics.h"
#include "ModelFixture.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTimer>
#include <cstdio>

namespace {
int failures = 0;
void check(bool ok, const QString& what) {
    std::printf("%s %s\n", ok ? "ok  " : "FAIL", qPrintable(what));
    std::fflush(stdout);
    if (!ok) ++failures;
}
QString titleOf(const QList<DiagLine>& lines, const QString& prefix, DiagLine::Level* level = nullptr) {
    for (const auto& l : lines)
        if (l.title.startsWith(prefix)) {
            if (level) *level = l.level;
            return l.title;
        }
    return {};
}
} // namespace

int main(int argc, char** argv) {
    fixture::privateFolders();
    QCoreApplication app(argc, argv);
    app.setOrganizationName("Quillmarsh");
    app.setApplicationName("QMRL Tessrook");
    const QStringList args = app.arguments();
    const qsizetype at = args.indexOf("--expect");
    const bool blocked = at >= 0 && args.value(at + 1) == "blocked";
    const qsizetype portAt = args.indexOf("--port");
    const quint16 port = portAt >= 0 ? quint16(args.value(portAt + 1).toUInt()) : LANTransport::defaultPort;

    fixture::Rig rig;
    auto options = rig.options(false, {QStringLiteral("lan")});
    if (port != LANTransport::defaultPort) options.lanPortOverride = port;
    WalkieModel& m = rig.make(options);
    const Channel ch = fixture::channel(QStringLiteral("Blocked"));
    m.setChannels({ch});
    check(m.lan() && m.lan()->port() == port, QStringLiteral("the link runs on port %1").arg(port));

    QTimer hello;
    QObject::connect(&hello, &QTimer::timeout, &m, &WalkieModel::sendHello);
    hello.start(200);
    QElapsedTimer t;
    t.start();
    while (!(m.lan() && m.lan()->counters().networkPathOK.has_value()) && t.elapsed() < 15000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    hello.stop();
    const auto path = m.lan() ? m.lan()->counters().networkPathOK : std::nullopt;
    check(path.has_value(),
          QStringLiteral("the link reached a verdict after %1 sent").arg(m.lan()->counters().sent));

    // The real probe, reading the tools of this namespace; files of this machine (ufw) do not count.
    QTemporaryDir emptyRoot;
    FirewallProbe::Options po;
    po.root = emptyRoot.path();
    FirewallProbe probe(po);
    const auto lines = LinkDiagnostics::build(LinkDiagnostics::snapshot(m, probe));
    DiagLine::Level local = DiagLine::Level::info, firewall = DiagLine::Level::info;
    const QString localTitle = titleOf(lines, QStringLiteral("Local network"), &local);
    const QString firewallTitle = titleOf(lines, QStringLiteral("Firewall"), &firewall);
    std::printf("%s\n", qPrintable(LinkDiagnostics::copiedText(lines)));

    if (blocked) {
        check(path == false, "own datagrams do not come back");
        check(m.linkReason(ch) ==
                  QStringLiteral(
                      "Your system is blocking this app on the network: allow UDP port %1 in the firewall.")
                      .arg(port),
              "link reason: " + m.linkReason(ch));
        check(localTitle == QStringLiteral("Local network is BLOCKED for this app") &&
                  local == DiagLine::Level::bad,
              "report: " + localTitle);
        check(firewallTitle == QStringLiteral("Firewall is on (nftables)") &&
                  firewall == DiagLine::Level::warn,
              "report: " + firewallTitle);
    } else {
        check(path == true, "own datagrams come back");
        check(localTitle == QStringLiteral("Local network: this app can use it") &&
                  local == DiagLine::Level::ok,
              "report: " + localTitle);
        check(firewallTitle == QStringLiteral("Firewall is off") && firewall == DiagLine::Level::ok,
              "report: " + firewallTitle);
    }
    return failures ? 1 : 0;
}
