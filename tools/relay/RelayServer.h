#pragma once
// The relay: clients join channel IDs; each binary frame (one sealed packet) goes unchanged to every
// other client joined to the packet's channel; every client hears how many clients share each of its
// channels. It never opens a packet: it reads only the channel fingerprint in the clear header.
#include "RelayProtocol.h"
#include "TRKLog.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>
#include <optional>

class QWebSocket;
class QTcpServer;
class QTcpSocket;
class QWebSocketServer;
class QTimer;

class RelayServer : public QObject {
public:
    struct Limits {
        // Connections in all, counted from accept until the socket is gone, handshake or not.
        int maxClients = 256;
        int maxChannelsPerJoin = RelayProtocol::maxChannelsPerJoin;
        qsizetype maxTextBytes = 8 * 1024;
        // A frame or message this large is not ours at all; the WebSocket layer closes such a client as
        // soon as the frame is announced, before any of it is held.
        quint64 maxMessageBytes = 256 * 1024;
        // Bytes read ahead from one client at most: a whole largest frame fits, more waits in TCP.
        qint64 readBufferBytes = 2 * 256 * 1024;
        // Everything queued to one client counts, replies included. Past this its frames and replies are
        // dropped, so one slow client cannot grow the relay's memory.
        qint64 maxBacklog = 1024 * 1024;
        // A client that stays past maxBacklog this long is closed (1008).
        int backlogGraceMs = 10000;
        // Only the relay's own answers to pings grow a backlog past maxBacklog; this far past it a
        // client is flooding pings without reading, and is closed at once.
        qint64 overflowBacklog = 4 * 1024 * 1024;
        // The upgrade request must be complete within this of accept, and no longer than maxHeaderBytes
        // (a real one is a few hundred bytes), or the connection is cut.
        int handshakeTimeoutMs = 3000;
        qint64 maxHeaderBytes = 8 * 1024;
        // A connection must send a valid join within this of its handshake, or it is closed (1008).
        int joinTimeoutMs = 10000;
        // Connections from one source address at most, counted like maxClients, so one host cannot
        // take every place.
        int maxPerAddress = 16;
        // The last places go only to addresses that hold none yet, so a newcomer is still served while
        // a few hosts fill the relay.
        int newcomerPlaces = 16;
        // Descriptors kept free under the process's limit for everything that is not a client; the
        // relay takes fewer clients than maxClients when the limit is low.
        int descriptorReserve = 64;
        // After running out of descriptors, accepting is tried again this soon.
        int acceptRetryMs = 100;
        // After the close frame a client gets this long to go before its connection is cut.
        int closeGraceMs = 2000;
        // How often the backlogs and deadlines are looked at.
        int sweepMs = 250;
        // Of each kind of line that every connection causes (connect, join, leave, refusal, closing),
        // the first logFirst of each window are logged; the rest are counted.
        int logFirst = 20;
        int logWindowMs = 60000;
    };
    struct Counters {
        qint64 forwardedFrames = 0; // one per receiving client
        qint64 forwardedBytes = 0;
        qint64 droppedFrames = 0;
    };

    explicit RelayServer(Limits limits, QObject* parent = nullptr);
    explicit RelayServer(QObject* parent = nullptr) : RelayServer(Limits{}, parent) {}
    ~RelayServer() override;

    bool listen(const QHostAddress& address, quint16 port);
    QString errorString() const;
    QHostAddress address() const;
    quint16 port() const;
    int clientCount() const { return int(clients_.size()); }
    Counters counters() const { return counters_; }

    // Where the log lines go (standard error in the program).
    void setLogger(std::function<void(const QString&)> logger) { log_ = std::move(logger); }

    // "ADDR:PORT", "[v6]:PORT" or "localhost:PORT"; nothing when it does not parse.
    static std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString& text);

private:
    struct Client {
        QString name;    // peer address and port, for the log
        QString address; // peer address alone, for the per-address count
        qint64 connectedMs = 0;
        bool joined = false;
        qint64 overSinceMs = -1; // when its backlog went past maxBacklog; -1 while under it
        QSet<QString> channels;
        qint64 droppedBehind = 0; // frames not sent to it while it was too far behind; 0 = keeping up
        qint64 dropsSinceLog = 0;
        qint64 lastDropLog = 0; // ms since epoch
    };
    // A connection accepted but not yet upgraded to a WebSocket.
    struct Pending {
        QString name;
        QString address;
        qint64 acceptedMs = 0;
        bool handedOver = false; // its whole request is in and the WebSocket server has it
        QMetaObject::Connection held;
    };
    enum class LogKind { connect, join, leave, refusal, closing, count };

    void onAccept();
    void onRequestBytes(QTcpSocket* socket);
    std::optional<QString> refusal(const QString& address) const;
    QMetaObject::Connection hold(QObject* connection, const QString& address);
    QMetaObject::Connection releaseWith(QObject* connection, const QString& address);
    void cutPending(QTcpSocket* socket, const QString& why);
    void onConnection();
    void onText(QWebSocket* socket, const QString& text);
    void onBinary(QWebSocket* socket, const QByteArray& frame);
    void onGone(QWebSocket* socket);
    void moveChannels(QWebSocket* socket, const QSet<QString>& from, const QSet<QString>& to);
    void sendCounts(QWebSocket* socket);
    void drop(QWebSocket* socket, const QString& why);
    void drain();
    void caughtUp(Client& client);
    bool behind(QWebSocket* socket, Client& client);
    void sweep();
    void closeClient(QWebSocket* socket, const QString& why);
    void forget(QWebSocket* socket);
    void logPaced(LogKind kind, const QString& line);

    Limits limits_;
    int capacity_; // maxClients, or fewer when descriptors are short
    QWebSocketServer* server_;
    QTcpServer* tcp_;
    // The context of every count-keeping connection, so those outlive the others a socket drops.
    QObject* accounts_;
    QHash<QTcpSocket*, Pending> pending_;
    QHash<QWebSocket*, Client> clients_;
    QHash<QString, QSet<QWebSocket*>> members_;
    QSet<QWebSocket*> waiting_; // clients with bytes not yet taken by the kernel
    QTimer* drainTimer_;
    QTimer* sweepTimer_;
    QElapsedTimer clock_;
    int held_ = 0;                   // connections holding a descriptor, from accept until deleted
    QHash<QString, int> perAddress_; // the same, per source address
    Counters counters_;
    TRKLogWindow logWindows_[int(LogKind::count)];
    std::function<void(const QString&)> log_;
};
