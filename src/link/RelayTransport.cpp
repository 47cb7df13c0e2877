#include "RelayTransport.h"

#include "Packet.h"
#include "RelayProtocol.h"
#include "TRKLog.h"
#include "TextRules.h"

#include <QRegularExpression>
#include <QSet>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <QUrl>
#include <QWebSocket>
#include <algorithm>
#include <functional>
#include <iterator>

namespace {
// A close frame carries at most 123 bytes of reason, so no more characters than that.
constexpr int maxCloseReasonCharacters = 123;

// Runs the worker's whole life on the link's thread: set up, event loop, tear down.
class RelayThread : public QThread {
public:
    RelayThread(QObject* worker, std::function<void()> begin, std::function<void()> end)
        : worker_(worker), begin_(std::move(begin)), end_(std::move(end)) {}

protected:
    void run() override {
        begin_();
        exec();
        end_();
        delete worker_;
    }

private:
    QObject* worker_;
    std::function<void()> begin_, end_;
};

QString hostPortOf(const QUrl& url) {
    const bool secure = url.scheme().compare(QLatin1String("wss"), Qt::CaseInsensitive) == 0;
    const QString host = url.host().contains(u':') ? u'[' + url.host() + u']' : url.host();
    return host + u':' + QString::number(url.port(secure ? 443 : 80));
}
} // namespace

class RelayTransport::Worker : public QObject {
public:
    explicit Worker(RelayTransport* link) : link_(link) {}

    void begin() {
        retry_ = new QTimer(this);
        retry_->setSingleShot(true);
        connect(retry_, &QTimer::timeout, this, [this] { open(); });
        ping_ = new QTimer(this);
        connect(ping_, &QTimer::timeout, this, [this] { sendPing(); });
        answer_ = new QTimer(this); // waits for the handshake or for a pong
        answer_->setSingleShot(true);
        connect(answer_, &QTimer::timeout, this, [this] {
            fail(connected_ ? QStringLiteral("no answer to ping within %1 s").arg(answerSeconds)
                            : QStringLiteral("no answer within %1 s").arg(answerSeconds));
        });
        drain_ = new QTimer(this);
        drain_->setInterval(drainMs);
        connect(drain_, &QTimer::timeout, this, [this] { drain(); });
        stable_ = new QTimer(this);
        stable_->setSingleShot(true);
        connect(stable_, &QTimer::timeout, this, [this] { attempts_ = 0; });
        open();
    }

    void end() {
        retry_->stop();
        ping_->stop();
        answer_->stop();
        stable_->stop();
        drain_->stop();
        dropSocket();
        // Pending deleteLater calls die with the thread's event loop; delete what is left now.
        qDeleteAll(findChildren<QWebSocket*>());
    }

    void sendPacket(const QByteArray& sealed) {
        link_->queuedBytes_ -= sealed.size();
        if (!connected_) return; // nothing to carry it; voice is live, so it is not kept for later
        // The relay drops a packet for a channel this connection has not joined: it is not sent at all.
        if (const auto fingerprint = Packet::fingerprint(sealed);
            !fingerprint || !joined_.contains(*fingerprint))
            return;
        if (socket_->bytesToWrite() > link_->options_.maxBacklog) {
            link_->noteDrop("the connection");
            return;
        }
        link_->congested_ = false;
        socket_->sendBinaryMessage(sealed);
        drain();
    }

    void sendJoin() {
        if (!connected_) return;
        QStringList channels;
        {
            QMutexLocker lock(&link_->mutex_);
            channels = link_->channels_;
        }
        // The relay would take only the first IDs anyway, and a join too long for its text-frame limit
        // would be ignored whole, leaving a unit with very many channels on none at all. The rest are
        // not relayed, which the status says and the log notes once.
        const int left = std::max(0, int(channels.size()) - RelayProtocol::maxChannelsPerJoin);
        channels = channels.mid(0, RelayProtocol::maxChannelsPerJoin);
        socket_->sendTextMessage(RelayProtocol::joinMessage(channels));
        joined_.clear();
        for (const QString& id : std::as_const(channels))
            joined_.insert(QByteArray::fromHex(id.toLatin1()));
        if (left > 0 && left != loggedLeft_)
            TRKLog::log(QStringLiteral("Relay: %1 channel(s) not relayed; the relay takes the first %2")
                            .arg(left)
                            .arg(RelayProtocol::maxChannelsPerJoin));
        loggedLeft_ = left;
        publish(connectedText(where_, left), true, false);
    }

private:
    // Writes what the kernel takes now. After a peer has stalled, the socket was seen to leave the
    // rest unsent until something else woke the thread (the next ping, 20 s later), so while anything
    // waits it is pushed again on a short timer.
    void drain() {
        if (!socket_ || !connected_) return drain_->stop();
        // A write error inside flush() ends the connection there and then: fail() has dropped the socket.
        socket_->flush();
        if (!socket_) return;
        if (socket_->bytesToWrite() == 0)
            drain_->stop();
        else if (!drain_->isActive())
            drain_->start();
    }

    int ms(int seconds) const { return int(seconds * link_->options_.second.count()); }

    void open() {
        dropSocket();
        connected_ = false;
        failed_ = false;
        socket_ = new QWebSocket(QString(), QWebSocketProtocol::VersionLatest, this);
        // Sealed packets are at most maxSealed bytes; a relay sending far more is not one of ours. The
        // frame limit refuses an oversized frame as it is announced, before any of it is held.
        socket_->setMaxAllowedIncomingFrameSize(maxIncomingBytes);
        socket_->setMaxAllowedIncomingMessageSize(maxIncomingBytes);
        connect(socket_, &QWebSocket::connected, this, [this] { onConnected(); });
        connect(socket_, &QWebSocket::disconnected, this, [this] { fail(closeReason()); });
        connect(socket_, qOverload<QAbstractSocket::SocketError>(&QWebSocket::error), this,
                [this](QAbstractSocket::SocketError) { fail(closeReason()); });
        connect(socket_, &QWebSocket::textMessageReceived, this,
                [this](const QString& text) { onText(text); });
        connect(socket_, &QWebSocket::binaryMessageReceived, this,
                [this](const QByteArray& bytes) { onBinary(bytes); });
        connect(socket_, &QWebSocket::pong, this, [this](quint64, const QByteArray&) { answer_->stop(); });
        publish(connectingText(link_->url_), false, true);
        answer_->start(ms(answerSeconds));
        socket_->open(QUrl(link_->url_));
    }

    void onConnected() {
        answer_->stop();
        connected_ = true;
        // Voice frames go out as they come: no waiting for the relay's delayed acknowledgement.
        if (auto* tcp = socket_->findChild<QTcpSocket*>())
            tcp->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        where_ = hostPortOf(socket_->requestUrl());
        TRKLog::log(QStringLiteral("Relay: connected to %1").arg(where_));
        int channels = 0;
        {
            QMutexLocker lock(&link_->mutex_);
            channels = int(link_->channels_.size());
        }
        publish(connectedText(where_, std::max(0, channels - RelayProtocol::maxChannelsPerJoin)), true, true);
        sendJoin();
        ping_->start(ms(pingSeconds));
        stable_->start(ms(stableSeconds));
    }

    void onText(const QString& text) {
        const auto counts = RelayProtocol::parsePeers(text);
        if (!counts) return; // unknown messages are ignored, so the relay can grow
        QMutexLocker lock(&link_->mutex_);
        if (link_->status_.peerCounts == *counts) return;
        link_->status_.peerCounts = *counts;
        const TransportStatus copy = link_->status_;
        lock.unlock();
        if (link_->onStatus_) link_->onStatus_(copy);
    }

    void onBinary(const QByteArray& bytes) {
        if (Packet::looksSealed(bytes) && link_->onPacket_) link_->onPacket_(bytes);
    }

    void sendPing() {
        if (!connected_) return;
        if (!answer_->isActive()) answer_->start(ms(answerSeconds));
        socket_->ping();
    }

    QString closeReason() const {
        if (!socket_) return QStringLiteral("closed");
        if (socket_->error() != QAbstractSocket::UnknownSocketError && !socket_->errorString().isEmpty())
            return errorText();
        // The reason is the relay's own text: cleaned like any text from the network before it is shown.
        if (const QString said = TextRules::fromStranger(socket_->closeReason(), maxCloseReasonCharacters);
            !said.isEmpty())
            return said;
        return connected_ ? QStringLiteral("the relay closed the connection") : errorText();
    }

    // A relay that turns a connection away before the handshake gives its reason in the HTTP status
    // line, which Qt wraps in a message of its own: the reason alone is shown, cleaned.
    QString errorText() const {
        static const QRegularExpression refused(QStringLiteral("status code: \\d+ \\((.+)\\)\\.?$"));
        if (const auto m = refused.match(socket_->errorString()); m.hasMatch())
            if (const QString said = TextRules::fromStranger(m.captured(1), maxCloseReasonCharacters);
                !said.isEmpty())
                return said;
        return socket_->errorString();
    }

    // Every way a connection ends comes here once: close it, clear what it reported and schedule the
    // next attempt on the backoff schedule.
    void fail(QString reason) {
        if (failed_) return;
        failed_ = true;
        if (reason.isEmpty()) reason = QStringLiteral("unknown error");
        const bool wasConnected = connected_;
        connected_ = false;
        ping_->stop();
        answer_->stop();
        stable_->stop();
        drain_->stop();
        dropSocket();
        link_->congested_ = false;
        const int step = std::min<int>(attempts_, int(std::size(backoffSeconds)) - 1);
        const int wait = backoffSeconds[step];
        ++attempts_;
        const QString text = unreachableText(link_->url_, reason, wait);
        TRKLog::log(wasConnected
                        ? QStringLiteral("Relay: connection to %1 lost (%2)").arg(link_->url_, reason)
                        : text);
        publish(text, false, true);
        retry_->start(ms(wait));
    }

    void dropSocket() {
        if (!socket_) return;
        QWebSocket* old = socket_;
        socket_ = nullptr;
        old->disconnect(this);
        old->abort();
        old->deleteLater();
    }

    void publish(const QString& text, bool up, bool clearCounts) {
        QMutexLocker lock(&link_->mutex_);
        TransportStatus& s = link_->status_;
        const bool same = s.text == text && s.up == up && (!clearCounts || s.peerCounts.isEmpty());
        // start() already set the first "connecting" reading; the handler is still told it, here.
        if (same && announced_) return;
        announced_ = true;
        s.text = text;
        s.up = up;
        if (clearCounts) s.peerCounts.clear();
        const TransportStatus copy = s;
        lock.unlock();
        if (link_->onStatus_) link_->onStatus_(copy);
    }

    RelayTransport* link_;
    QWebSocket* socket_ = nullptr;
    QTimer* retry_ = nullptr;
    QTimer* ping_ = nullptr;
    QTimer* answer_ = nullptr;
    QTimer* stable_ = nullptr;
    QTimer* drain_ = nullptr;
    static constexpr int drainMs = 20;
    QString where_;           // host:port of the relay while connected
    QSet<QByteArray> joined_; // fingerprints of the channels in the last join sent
    int loggedLeft_ = 0;      // channels left out of the join when that was last logged
    int attempts_ = 0;        // failed attempts since the last connection that held for stableSeconds
    bool connected_ = false;
    bool failed_ = false;
    bool announced_ = false; // the handler has been given a status by this worker
};

RelayTransport::RelayTransport(const QString& url, Options options) : url_(url.trimmed()), options_(options) {
    status_.text = offText();
}

RelayTransport::RelayTransport(const QString& url) : RelayTransport(url, Options{}) {}

RelayTransport::~RelayTransport() {
    stop();
}

QString RelayTransport::connectingText(const QString& url) {
    return QStringLiteral("Relay: connecting to %1\u2026").arg(url);
}
QString RelayTransport::connectedText(const QString& hostPort, int notRelayed) {
    return notRelayed > 0 ? QStringLiteral("Relay: connected to %1 (%2 channels not relayed)")
                                .arg(hostPort)
                                .arg(notRelayed)
                          : QStringLiteral("Relay: connected to %1").arg(hostPort);
}
QString RelayTransport::unreachableText(const QString& url, const QString& reason, int retrySeconds) {
    return QStringLiteral("Relay: can't reach %1 (%2). Retrying in %3 s")
        .arg(url, reason, QString::number(retrySeconds));
}
QString RelayTransport::badSchemeText() {
    return QStringLiteral("Relay: the address must begin with ws:// or wss://");
}
QString RelayTransport::offText() {
    return QStringLiteral("Relay: off");
}

bool RelayTransport::hasWebSocketScheme(const QString& url) {
    const QString u = url.trimmed();
    return u.startsWith(QLatin1String("ws://"), Qt::CaseInsensitive) ||
           u.startsWith(QLatin1String("wss://"), Qt::CaseInsensitive);
}

TransportStatus RelayTransport::status() const {
    QMutexLocker lock(&mutex_);
    return status_;
}

bool RelayTransport::running() const {
    QMutexLocker lock(&mutex_);
    return thread_ != nullptr;
}

void RelayTransport::setChannels(const QStringList& channelIDs) {
    QMutexLocker lock(&mutex_);
    if (channels_ == channelIDs) return;
    channels_ = channelIDs;
    if (worker_) {
        Worker* w = worker_;
        QMetaObject::invokeMethod(
            w, [w] { w->sendJoin(); }, Qt::QueuedConnection);
    }
}

void RelayTransport::send(const QByteArray& sealed) {
    QMutexLocker lock(&mutex_);
    if (!worker_ || !status_.up) return;
    // Packets handed over but not yet taken by the link's thread count against the same limit, so a
    // stalled thread cannot grow memory either.
    if (queuedBytes_.load() > options_.maxBacklog) {
        lock.unlock();
        noteDrop("the link");
        return;
    }
    queuedBytes_ += sealed.size();
    Worker* w = worker_;
    QMetaObject::invokeMethod(
        w, [w, sealed] { w->sendPacket(sealed); }, Qt::QueuedConnection);
}

void RelayTransport::noteDrop(const char* where) {
    ++dropped_;
    if (!congested_.exchange(true))
        TRKLog::log(QStringLiteral("Relay: more than %1 KiB waiting in %2; dropping packets until it drains")
                        .arg(options_.maxBacklog / 1024)
                        .arg(QLatin1String(where)));
}

void RelayTransport::start() {
    QMutexLocker lock(&mutex_);
    if (thread_) return;
    if (!hasWebSocketScheme(url_)) {
        status_ = TransportStatus{badSchemeText(), false, 0, {}};
        const TransportStatus copy = status_;
        lock.unlock();
        if (onStatus_) onStatus_(copy);
        return;
    }
    queuedBytes_ = 0;
    congested_ = false;
    // Read at once, so nothing sees "off" between a restart and the thread's first attempt.
    status_ = TransportStatus{connectingText(url_), false, 0, {}};
    auto* worker = new Worker(this);
    auto* thread = new RelayThread(
        worker, [worker] { worker->begin(); }, [worker] { worker->end(); });
    thread->setObjectName(QStringLiteral("walkie.relay"));
    worker->moveToThread(thread);
    worker_ = worker;
    thread_ = thread;
    thread->start();
}

void RelayTransport::stop() {
    QThread* thread = nullptr;
    {
        QMutexLocker lock(&mutex_);
        thread = thread_;
        thread_ = nullptr;
        worker_ = nullptr; // nothing more is posted to it
    }
    if (thread) {
        thread->quit();
        thread->wait();
        delete thread;
    }
    QMutexLocker lock(&mutex_);
    if (status_.text != badSchemeText()) status_.text = offText();
    status_.up = false;
    status_.peerCounts.clear();
    queuedBytes_ = 0;
}
