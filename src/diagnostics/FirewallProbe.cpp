#include "FirewallProbe.h"

#include <QDeadlineTimer>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <unistd.h>

namespace {

QString locate(const QString& tool) {
    QString path = QStandardPaths::findExecutable(tool);
    // A user's search path often lacks the system folders where firewall tools live.
    if (path.isEmpty())
        path = QStandardPaths::findExecutable(tool, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    return path;
}

FirewallState couldNotCheck() {
    return FirewallState{FirewallState::Kind::unknown, {}, false, std::nullopt};
}

FirewallState onWith(const QString& tool) {
    return FirewallState{FirewallState::Kind::on, tool, false, std::nullopt};
}

// "KEY=value" or KEY="value" in a shell-style settings file; none when absent.
std::optional<QString> setting(const QString& text, const QString& key) {
    for (const QString& raw : text.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('#')) || !line.startsWith(key + QLatin1Char('='))) continue;
        QString value = line.mid(key.size() + 1).trimmed();
        if (value.size() >= 2 &&
            (value.startsWith(QLatin1Char('"')) || value.startsWith(QLatin1Char('\''))) &&
            value.endsWith(value.front()))
            value = value.mid(1, value.size() - 2);
        return value;
    }
    return std::nullopt;
}

} // namespace

bool FirewallProbe::ProcessRunner::has(const QString& tool) const {
    return !locate(tool).isEmpty();
}

FirewallProbe::Run FirewallProbe::ProcessRunner::run(const QString& tool, const QStringList& args,
                                                     int timeoutMs) {
    Run out;
    const QString path = locate(tool);
    if (path.isEmpty()) return out;
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.setStandardInputFile(QProcess::nullDevice());
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("LC_ALL"), QStringLiteral("C")); // the words the probe looks for
    p.setProcessEnvironment(env);
    QDeadlineTimer deadline(timeoutMs);
    p.start(path, args);
    if (!p.waitForStarted(int(deadline.remainingTime())) ||
        !p.waitForFinished(int(deadline.remainingTime()))) {
        p.kill();
        p.waitForFinished(1000);
        return out;
    }
    out.finished = p.exitStatus() == QProcess::NormalExit;
    out.exitCode = p.exitCode();
    out.output = QString::fromUtf8(p.readAll());
    return out;
}

FirewallProbe::FirewallProbe() : FirewallProbe(Options{}) {}

FirewallProbe::FirewallProbe(Options options) : options_(std::move(options)) {
    if (!options_.runner) options_.runner = std::make_shared<ProcessRunner>();
    if (!options_.clock) options_.clock = std::make_shared<SystemClock>();
}

FirewallProbe& FirewallProbe::shared() {
    static FirewallProbe probe;
    return probe;
}

FirewallState FirewallProbe::firewall(quint16 port) {
    const QDateTime now = options_.clock->now();
    if (cache_ && cache_->port == port && cache_->at.msecsTo(now) < qint64(cacheSeconds * 1000))
        return cache_->state;
    const FirewallState state = read(port);
    cache_ = Cached{options_.clock->now(), port, state};
    return state;
}

FirewallState FirewallProbe::read(quint16 port) {
    ++probes_;
    if (auto s = firewalld(port)) return *s;
    if (auto s = ufw(port)) return *s;
    if (auto s = nftables()) return *s;
    return FirewallState{};
}

bool FirewallProbe::asRoot() const {
    return options_.asRoot.value_or(geteuid() == 0);
}

QString FirewallProbe::readFile(const QString& path) const {
    QFile f(QDir(options_.root).filePath(path.mid(1)));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromUtf8(f.readAll());
}

std::optional<FirewallState> FirewallProbe::firewalld(quint16 port) {
    Runner& r = *options_.runner;
    const QString tool = QStringLiteral("firewall-cmd");
    if (!r.has(tool)) return std::nullopt;
    const Run state = r.run(tool, {QStringLiteral("--state")}, timeoutMs);
    if (!state.finished) return couldNotCheck();
    if (state.exitCode == 252 || state.output.contains(QLatin1String("not running"))) return std::nullopt;
    if (!state.output.contains(QLatin1String("running"))) return couldNotCheck();
    FirewallState s = onWith(QStringLiteral("firewalld"));
    const Run query = r.run(tool, {QStringLiteral("--query-port=%1/udp").arg(port)}, timeoutMs);
    if (!query.finished) return couldNotCheck();
    const QString answer = query.output.trimmed();
    if (answer == QLatin1String("yes")) {
        s.blocked = false;
    } else if (answer == QLatin1String("no")) {
        // A trusted zone accepts everything, listed or not.
        const Run zone = r.run(tool, {QStringLiteral("--get-default-zone")}, timeoutMs);
        if (!zone.finished) return couldNotCheck();
        s.blocked = zone.output.trimmed() != QLatin1String("trusted");
    }
    return s;
}

std::optional<FirewallState> FirewallProbe::ufw(quint16 port) {
    const QString conf = readFile(QStringLiteral("/etc/ufw/ufw.conf"));
    if (setting(conf, QStringLiteral("ENABLED")).value_or(QString()) != QLatin1String("yes"))
        return std::nullopt;
    FirewallState s = onWith(QStringLiteral("ufw"));
    s.stealth = setting(readFile(QStringLiteral("/etc/default/ufw")), QStringLiteral("DEFAULT_INPUT_POLICY"))
                    .value_or(QString()) == QLatin1String("DROP");
    // Only root may read the rules; a user learns that it is on, not what it lets in.
    if (asRoot() && options_.runner->has(QStringLiteral("ufw"))) {
        const Run status = options_.runner->run(
            QStringLiteral("ufw"), {QStringLiteral("status"), QStringLiteral("verbose")}, timeoutMs);
        if (!status.finished) return couldNotCheck();
        s.blocked = ufwVerdict(status.output, port);
    }
    return s;
}

std::optional<FirewallState> FirewallProbe::nftables() {
    Runner& r = *options_.runner;
    if (!r.has(QStringLiteral("nft"))) return std::nullopt;
    if (asRoot()) {
        const Run rules =
            r.run(QStringLiteral("nft"), {QStringLiteral("list"), QStringLiteral("ruleset")}, timeoutMs);
        if (!rules.finished || rules.exitCode != 0) return couldNotCheck();
        if (nftInputDrops(rules.output)) return onWith(QStringLiteral("nftables"));
        return FirewallState{};
    }
    // A user may not list the rules. Rules are only loaded at boot when the service is enabled, which
    // shows as its link under the systemd folder (not so by default).
    const QString units = QDir(options_.root).filePath(QStringLiteral("etc/systemd/system"));
    QDirIterator it(units, {QStringLiteral("nftables.service")},
                    QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    if (it.hasNext()) return couldNotCheck();
    return FirewallState{};
}

bool FirewallProbe::nftInputDrops(const QString& ruleset) {
    static const QRegularExpression verdict(QStringLiteral("\\b(drop|reject)\\b"));
    bool inChain = false, inputHook = false, drops = false;
    int depth = 0;
    for (const QString& raw : ruleset.split(QLatin1Char('\n'))) {
        const QString line = raw.trimmed();
        if (!inChain && line.startsWith(QLatin1String("chain ")) && line.endsWith(QLatin1Char('{'))) {
            inChain = true;
            inputHook = drops = false;
            depth = 1;
            continue;
        }
        if (!inChain) continue;
        depth += int(line.count(QLatin1Char('{'))) - int(line.count(QLatin1Char('}')));
        if (depth <= 0) {
            if (inputHook && drops) return true;
            inChain = false;
            continue;
        }
        if (line.startsWith(QLatin1String("type ")) && line.contains(QLatin1String("hook input"))) {
            inputHook = true;
            if (line.contains(QLatin1String("policy drop"))) drops = true;
        } else if (line.contains(verdict)) {
            drops = true;
        }
    }
    return false;
}

std::optional<bool> FirewallProbe::ufwVerdict(const QString& status, quint16 port) {
    if (status.contains(QLatin1String("Status: inactive"))) return false;
    const QString p = QString::number(port);
    static const QRegularExpression space(QStringLiteral("\\s+"));
    // Rules apply in order: the first one naming the port decides.
    for (const QString& raw : status.split(QLatin1Char('\n'))) {
        const QStringList words = raw.trimmed().split(space, Qt::SkipEmptyParts);
        if (words.size() < 2 || (words[0] != p && words[0] != p + QLatin1String("/udp"))) continue;
        if (words[1] == QLatin1String("ALLOW")) return false;
        if (words[1] == QLatin1String("DENY") || words[1] == QLatin1String("REJECT")) return true;
    }
    static const QRegularExpression policy(QStringLiteral("Default:\\s*(\\w+)\\s*\\(incoming\\)"));
    const auto m = policy.match(status);
    if (!m.hasMatch()) return std::nullopt;
    const QString in = m.captured(1);
    if (in == QLatin1String("deny") || in == QLatin1String("reject")) return true;
    if (in == QLatin1String("allow")) return false;
    return std::nullopt;
}
