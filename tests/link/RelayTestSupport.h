#pragma once
// What the relay tests share: the relay program as a real child process, a plain WebSocket client, and
// packets shaped like sealed ones.
#include "LinkTestSupport.h"
#include "Packet.h"
#include "RelayTransport.h"
#include "Transport.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMutex>
#include <QProcess>
#include <QRegularExpression>
#include <QTest>
#include <QThread>
#include <QWebSocket>
#include <csignal>
#include <memory>
#include <sys/resource.h>

// A packet shaped like a sealed one for the channel: the links and the relay never open it.
inline QByteArray sealedFor(const QString& channel, qsizetype size, char fill = 'x') {
    QByteArray p = packetMagic + QByteArray::fromHex(channel.toLatin1());
    p.append(QByteArray(size - p.size(), fill));
    return p;
}

class RelayProcess {
public:
    ~RelayProcess() { kill(); }

    // `descriptors`, when given, is the relay's limit on open files, as `ulimit -n` sets it.
    bool start(quint16 wanted = 0, rlim_t descriptors = 0) {
        process_ = std::make_unique<QProcess>();
        process_->setProgram(QStringLiteral(RELAY_BINARY));
        if (descriptors)
            process_->setChildProcessModifier([descriptors] {
                const rlimit r{descriptors, descriptors};
                ::setrlimit(RLIMIT_NOFILE, &r);
            });
        process_->setArguments({QStringLiteral("--listen"), QStringLiteral("127.0.0.1:%1").arg(wanted)});
        process_->start();
        if (!process_->waitForStarted(5000)) return false;
        QElapsedTimer t;
        t.start();
        while (!process_->canReadLine() && t.elapsed() < 5000)
            process_->waitForReadyRead(100);
        const QString line = QString::fromUtf8(process_->readLine());
        const auto m =
            QRegularExpression(QStringLiteral("listening on ws://127\\.0\\.0\\.1:(\\d+)")).match(line);
        if (!m.hasMatch()) return false;
        port = quint16(m.captured(1).toUInt());
        return true;
    }
    void kill() {
        if (!process_) return;
        resume();
        process_->kill();
        process_->waitForFinished(5000);
        log_ += QString::fromUtf8(process_->readAllStandardError());
        process_.reset();
    }
    void pause() {
        ::kill(pid_t(process_->processId()), SIGSTOP);
        paused_ = true;
    }
    void resume() {
        if (paused_ && process_) ::kill(pid_t(process_->processId()), SIGCONT);
        paused_ = false;
    }
    QString log() {
        if (process_) log_ += QString::fromUtf8(process_->readAllStandardError());
        return log_;
    }
    bool running() const { return process_ && process_->state() == QProcess::Running; }
    QString url() const { return QStringLiteral("ws://127.0.0.1:%1").arg(port); }
    qint64 pid() const { return process_ ? process_->processId() : 0; }

    quint16 port = 0;

private:
    std::unique_ptr<QProcess> process_;
    QString log_;
    bool paused_ = false;
};

// A plain WebSocket client on the test's thread, for speaking the protocol by hand.
class RawClient {
public:
    explicit RawClient(const QString& url) {
        QObject::connect(&socket, &QWebSocket::textMessageReceived, [this](const QString& t) { texts << t; });
        QObject::connect(&socket, &QWebSocket::binaryMessageReceived,
                         [this](const QByteArray& b) { frames << b; });
        socket.open(QUrl(url));
    }
    bool waitConnected() {
        QElapsedTimer t;
        t.start();
        while (socket.state() != QAbstractSocket::ConnectedState && t.elapsed() < 5000)
            QTest::qWait(5);
        return socket.state() == QAbstractSocket::ConnectedState;
    }
    QWebSocket socket;
    QStringList texts;
    QList<QByteArray> frames;
};

// Collects what a link hands out on its own thread.
class Recorder {
public:
    void attach(Transport& link) {
        link.setPacketHandler([this](const QByteArray& p) {
            QMutexLocker l(&m_);
            packets_ << p;
            threads_ << QThread::currentThread()->objectName();
        });
        link.setStatusHandler([this](const TransportStatus& s) {
            QMutexLocker l(&m_);
            statuses_ << s;
        });
    }
    QList<QByteArray> packets() const {
        QMutexLocker l(&m_);
        return packets_;
    }
    QStringList threads() const {
        QMutexLocker l(&m_);
        return threads_;
    }
    QStringList texts() const {
        QMutexLocker l(&m_);
        QStringList t;
        for (const auto& s : statuses_)
            t << s.text;
        return t;
    }
    TransportStatus last() const {
        QMutexLocker l(&m_);
        return statuses_.isEmpty() ? TransportStatus{} : statuses_.last();
    }
    // The n of every "Retrying in n s" seen so far.
    QList<int> retries() const {
        QList<int> r;
        static const QRegularExpression re(QStringLiteral("Retrying in (\\d+) s$"));
        for (const auto& t : texts())
            if (const auto m = re.match(t); m.hasMatch()) r << m.captured(1).toInt();
        return r;
    }

private:
    mutable QMutex m_;
    QList<QByteArray> packets_;
    QStringList threads_;
    QList<TransportStatus> statuses_;
};

// A relay link with its recorder, joined to some channels.
struct Unit {
    Unit(const QString& url, const QStringList& channels, RelayTransport::Options o = {}) : link(url, o) {
        rec.attach(link);
        link.setChannels(channels);
        link.start();
    }
    Recorder rec;
    RelayTransport link;
    QHash<QString, int> counts() const { return link.status().peerCounts; }
};
