#pragma once
// The relay link: a WebSocket client to a relay server that the users run themselves. It joins the
// channel IDs it is given, sends each sealed packet as one binary message and hands on every binary
// message that looks like a sealed packet. Everything network-side lives in its own thread
// ("walkie.relay"): the socket is created, used and deleted there, and both handlers are called there.
#include "Packet.h"
#include "Transport.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <atomic>
#include <chrono>

class QThread;

class RelayTransport : public Transport {
public:
    struct Options {
        // The length of one second of the link's schedule (backoff 1, 2, 4, 8, 16, 30 s; reset after
        // 30 s connected; ping every 20 s; 10 s for a pong or a handshake). Tests shorten it.
        std::chrono::milliseconds second{1000};
        // While more than this waits to be written, new packets are dropped.
        qint64 maxBacklog = 256 * 1024;
    };

    static inline const QString defaultURL = QStringLiteral("ws://localhost:8787");
    static constexpr int backoffSeconds[] = {1, 2, 4, 8, 16, 30};
    static constexpr int stableSeconds = 30;
    static constexpr int pingSeconds = 20;
    static constexpr int answerSeconds = 10;
    // The largest frame or message taken from the relay: a few sealed packets' worth.
    static constexpr quint64 maxIncomingBytes = 4 * quint64(maxSealed);

    explicit RelayTransport(const QString& url = defaultURL);
    RelayTransport(const QString& url, Options options);
    ~RelayTransport() override;
    RelayTransport(const RelayTransport&) = delete;
    RelayTransport& operator=(const RelayTransport&) = delete;

    QString name() const override { return QStringLiteral("relay"); }
    TransportStatus status() const override;
    void setChannels(const QStringList& channelIDs) override;
    void send(const QByteArray& sealed) override;
    // An address without the ws:// or wss:// scheme is not started: the status says so at once and
    // the status handler is called on the caller's thread. Otherwise status() reads "connecting" as
    // soon as start() returns, and the handler hears it from the link's thread.
    void start() override;
    // Idempotent; joins the link's thread, so no handler runs after it returns. Not to be called from
    // a handler, and a handler must not wait for the thread that calls stop().
    void stop() override;

    QString url() const { return url_; }
    bool running() const;
    // Packets dropped because the connection could not keep up (more than maxBacklog waiting).
    qint64 droppedPackets() const { return dropped_.load(); }

    // Status texts.
    static QString connectingText(const QString& url);
    // With the number of channels beyond the relay's per-join limit, which are not relayed.
    static QString connectedText(const QString& hostPort, int notRelayed = 0);
    static QString unreachableText(const QString& url, const QString& reason, int retrySeconds);
    static QString badSchemeText();
    static QString offText();
    static bool hasWebSocketScheme(const QString& url);

private:
    class Worker;
    friend class Worker;

    void noteDrop(const char* where);

    const QString url_;
    const Options options_;

    mutable QMutex mutex_; // guards everything below it
    TransportStatus status_;
    QStringList channels_;
    QThread* thread_ = nullptr;
    Worker* worker_ = nullptr; // lives in thread_; posted to, never called directly

    std::atomic<qint64> queuedBytes_{0}; // handed to send() but not yet taken by the thread
    std::atomic<qint64> dropped_{0};
    std::atomic<bool> congested_{false}; // one log line per stretch of drops
};
