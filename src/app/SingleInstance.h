#pragma once
// One copy of the program per user. The first copy listens on a local socket in the user's private
// runtime folder; a later copy hands its wishes over ("activate", then one "open <link>" line per
// invite link) and exits before it reads any setting or opens any port.
#include <QObject>
#include <QString>
#include <QStringList>

class QLocalServer;
class QLocalSocket;

class SingleInstance : public QObject {
    Q_OBJECT
public:
    enum class Outcome {
        primary,   // this copy listens; it is the one that runs
        forwarded, // another copy runs and has been told; exit now
        alone      // no socket could be made: run without the check
    };

    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // `folder` empty: the runtime location. Call once, with the application object made.
    Outcome start(const QStringList& links, const QString& folder = {});
    QString socketPath() const { return path_; }

    static QString socketName() { return QStringLiteral("qmrl-tessrook.socket"); }
    // The invite links among the arguments: those whose scheme is "qmtalk", in any case.
    static QStringList inviteLinks(const QStringList& arguments);

    static constexpr int maxLineBytes = 16 * 1024;

signals:
    void activateRequested();
    void openRequested(const QString& link);

private:
    bool forwardTo(const QStringList& links);
    void accept();
    void readFrom(QLocalSocket* socket);

    QString path_;
    QLocalServer* server_ = nullptr;
};
