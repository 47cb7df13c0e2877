#pragma once
// Starts the real program as a user would, with settings, data and runtime folders of the test's own
// (the shared runtime folder holds the sound server), and reads its debug log.
#include <QDir>
#include <QFile>
#include <QLocalSocket>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

struct ProgramRun {
    // No space in the path: the desktop's shell tools split folder lists on spaces.
    QTemporaryDir dir{QDir::tempPath() + "/tessrook-app-XXXXXX"};
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    QList<QPointer<QProcess>> started;

    // Every copy still running ends as the session ends it, and must end by its own shutdown.
    ~ProgramRun() {
        for (const QPointer<QProcess>& p : started)
            if (const QString how = stop(p.data()); !how.isEmpty())
                QTest::qFail(qPrintable("the program did not shut down cleanly on SIGTERM: " + how), __FILE__,
                             __LINE__);
    }

    ProgramRun() {
        for (const char* sub : {"config", "data", "cache", "runtime", "home"}) QDir(dir.path()).mkpath(sub);
        QFile::setPermissions(dir.path() + "/runtime", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        env.insert("XDG_CONFIG_HOME", dir.path() + "/config");
        env.insert("XDG_DATA_HOME", dir.path() + "/data");
        env.insert("XDG_CACHE_HOME", dir.path() + "/cache");
        env.insert("XDG_RUNTIME_DIR", dir.path() + "/runtime");
        env.insert("HOME", dir.path() + "/home");
        if (!env.contains("QT_QPA_PLATFORM")) env.insert("QT_QPA_PLATFORM", "offscreen");
        // The home-network link only (no relay retries, no nearby discovery), so a start is visible in
        // the log as "Link lan started".
        QSettings s(dir.path() + "/config/Quillmarsh/QMRL Tessrook.conf", QSettings::IniFormat);
        s.setValue("useRelay", false);
        s.setValue("useNearby", false);
        s.setValue("useLAN", true);
        s.setValue("welcomed", true);
        s.sync();
    }

    static QString binary() { return qEnvironmentVariable("TESSROOK_BIN"); }
    QString socketPath() const { return dir.path() + "/runtime/qmrl-tessrook.socket"; }
    QString logPath() const { return dir.path() + "/data/Quillmarsh/QMRL Tessrook/debug.log"; }

    // `errors` SeparateChannels keeps standard error for the test to read.
    QProcess* start(const QStringList& args = {},
                    QProcess::ProcessChannelMode errors = QProcess::ForwardedErrorChannel) {
        auto* p = new QProcess;
        p->setProcessEnvironment(env);
        p->setProcessChannelMode(errors);
        p->start(binary(), args);
        started.append(p);
        return p;
    }

    bool listening() const {
        QLocalSocket s;
        s.connectToServer(socketPath());
        return s.waitForConnected(200);
    }

    QString log() const {
        QFile f(logPath());
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
    }
    // Lines of one process.
    QStringList linesOf(qint64 pid) const {
        const QString tag = QStringLiteral("[%1] ").arg(pid);
        QStringList out;
        for (const QString& line : log().split('\n'))
            if (line.contains(tag)) out.append(line);
        return out;
    }
    int count(const QString& text) const { return int(log().count(text)); }

    // Ends a program the test started, by its id, with SIGTERM as a desktop session or service manager
    // does. Empty when it was running and ended by its own shutdown (status 0) or had already ended;
    // otherwise how it ended.
    static QString stop(QProcess* p) {
        if (!p) return {};
        QString how;
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(stopMs)) {
                p->kill();
                p->waitForFinished(5000);
                how = QStringLiteral("still running %1 ms after SIGTERM").arg(stopMs);
            } else if (p->exitStatus() != QProcess::NormalExit || p->exitCode() != 0) {
                how = p->exitStatus() == QProcess::CrashExit ? QStringLiteral("died (signal or crash)")
                                                            : QStringLiteral("status %1").arg(p->exitCode());
            }
        }
        delete p;
        return how;
    }
    // A sanitized build on a busy machine takes its time to close the sound and links.
    static constexpr int stopMs = 20000;
};
