#pragma once
// One copy of the program per user. The copy that holds the lock file in the user's private runtime
// folder is the radio, for as long as it runs; it listens on a local socket there. A later copy hands
// its wishes over ("activate", one "open <link>" line per invite link, "end"), waits for the "ok" and
// exits before it reads any setting or opens any port. A copy that cannot reach the lock holder exits too:
// only the lock decides who runs, never whether a hand-over worked.
#include <QDeadlineTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        primary,   // this copy holds the lock; it is the one that runs
        forwarded, // another copy runs and has been told; exit now
        refused,   // another copy holds the lock but did not answer in time; exit now
        alone      // no lock file could be made: run without the check
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // `folder` empty: the runtime location. Call once, with the application object made. Messages for
    // the user (a refused link, a copy that did not answer) go to standard error.
    Outcome start(const QStringList& links, const QString& folder = {});
    QString socketPath() const { return path_; }
    // What a copy that leaves after start() exits with: 0 when everything was handed over.
    int exitCode() const { return exitCode_; }

    static QString socketName() { return QStringLiteral("qmrl-tessrook.socket"); }
    // The invite links among the arguments: those whose scheme is "qmtalk", in any case.
    static QStringList inviteLinks(const QStringList& arguments);
    static QString tooLongText(qsizetype bytes);

    static constexpr int maxLineBytes = 16 * 1024;
    // A hand-over is a few short lines written at once: more callers than this, or a caller still
    // connected after the deadline, is not a copy of the program handing over.
    static constexpr int maxConnections = 8;
    static constexpr int connectionDeadlineMs = 2000;
    // How long a later copy keeps trying to reach the lock holder (which may be starting, or busy
    // re-making its socket) before it gives up.
    static constexpr int reachLockHolderMs = 8000;

signals:
    void activateRequested();
    void openRequested(const QString& link);
    void linkTooLong(qsizetype bytes); // a link was refused for its length

private:
    bool forwardTo(const QStringList& links, const QList<qsizetype>& tooLong, const QDeadlineTimer& deadline);
    void keepListening();
    void accept();
    void drop(QLocalSocket* socket);
    void readFrom(QLocalSocket* socket);

    QString path_;
    int lockFd_ = -1;
    int exitCode_ = 0;
    QLocalServer* server_ = nullptr;
    QList<QPointer<QLocalSocket>> connections_; // oldest first
    QTimer watch_;
    QDeadlineTimer quietUntil_; // the next "cannot listen" line, at most one a minute
};
