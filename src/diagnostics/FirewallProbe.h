#pragma once
// Reads whether a host firewall is on and whether it lets the home-network port in, from what an
// ordinary user can read, without ever asking for a password. Tools run as child processes, each cut
// off after 1.5 s; one answer is kept for 10 s, so a window refreshing every 1.5 s probes rarely.
#include "Clock.h"

#include <QString>
#include <QStringList>
#include <functional>
#include <memory>
#include <optional>

struct FirewallState {
    enum class Kind { off, on, unknown }; // unknown: couldn't check (a tool hung or refused)
    Kind kind = Kind::off;
    QString tool;                // "firewalld", "ufw" or "nftables" when on
    bool stealth = false;        // unanswered probes are dropped
    std::optional<bool> blocked; // true: the port is refused, false: allowed, none: not known
    bool operator==(const FirewallState&) const = default;
};

class FirewallProbe {
public:
    struct Run {
        bool finished = false; // false: could not start, or killed at the time limit
        int exitCode = -1;
        QString output; // standard output and error together
    };

    // Where the tools are found and run; tests answer with canned output.
    class Runner {
    public:
        virtual ~Runner() = default;
        virtual bool has(const QString& tool) const = 0; // on the search path
        virtual Run run(const QString& tool, const QStringList& args, int timeoutMs) = 0;
    };

    // QProcess with merged output, standard input closed, the C locale, and a kill at the limit.
    class ProcessRunner : public Runner {
    public:
        bool has(const QString& tool) const override;
        Run run(const QString& tool, const QStringList& args, int timeoutMs) override;
    };

    struct Options {
        std::shared_ptr<Runner> runner;     // none: ProcessRunner
        QString root = QStringLiteral("/"); // prefix of every file read
        std::optional<bool> asRoot;         // none: this process's effective user
        std::shared_ptr<Clock> clock;       // none: the system clock
    };

    static constexpr int timeoutMs = 1500;
    static constexpr double cacheSeconds = 10.0;

    FirewallProbe();
    explicit FirewallProbe(Options options);

    // The cached answer when younger than 10 s and for the same port, else a fresh probe.
    FirewallState firewall(quint16 port);
    int probes() const { return probes_; } // fresh probes run so far

    // One probe, no cache.
    FirewallState read(quint16 port);

    // The process-wide probe the report uses.
    static FirewallProbe& shared();

    // Reads of `nft list ruleset` and `ufw status verbose` output.
    static bool nftInputDrops(const QString& ruleset);
    static std::optional<bool> ufwVerdict(const QString& status, quint16 port);

private:
    std::optional<FirewallState> firewalld(quint16 port);
    std::optional<FirewallState> ufw(quint16 port);
    std::optional<FirewallState> nftables();
    QString readFile(const QString& path) const;
    bool asRoot() const;

    Options options_;
    struct Cached {
        QDateTime at;
        quint16 port;
        FirewallState state;
    };
    std::optional<Cached> cache_;
    int probes_ = 0;
};
