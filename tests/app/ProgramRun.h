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

    ~ProgramRun() {
        for (const QPointer<QProcess>& p : started) stop(p.data());
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

    // Ends a program the test started, by its id.
    static void stop(QProcess* p) {
        if (!p) return;
        if (p->state() != QProcess::NotRunning) {
            p->terminate();
            if (!p->waitForFinished(5000)) {
                p->kill();
                p->waitForFinished(5000);
            }
        }
        delete p;
    }
};
