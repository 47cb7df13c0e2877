#pragma once
// The relay: clients join channel IDs; each binary frame (one sealed packet) goes unchanged to every
// other client joined to the packet's channel; every client hears how many clients share each of its
// channels. It never opens a packet: it reads only the channel fingerprint in the clear header.
#include "RelayProtocol.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class QWebSocket;
class QTcpServer;
class QWebSocketServer;
class QTimer;

class RelayServer : public QObject {
public:
    struct Limits {
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
        // A connection must send a valid join within this of its handshake, or it is closed (1008).
        int joinTimeoutMs = 10000;
        // Connections from one source address at most, so one host cannot take every place.
        int maxPerAddress = 16;
        // After the close frame a client gets this long to go before its connection is cut.
        int closeGraceMs = 2000;
        // How often the backlogs and join deadlines are looked at.
        int sweepMs = 250;
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
        bool closing = false;
        qint64 overSinceMs = -1; // when its backlog went past maxBacklog; -1 while under it
        QSet<QString> channels;
        qint64 droppedBehind = 0; // frames not sent to it while it was too far behind; 0 = keeping up
        qint64 dropsSinceLog = 0;
        qint64 lastDropLog = 0; // ms since epoch
    };

    void onConnection();
    void onText(QWebSocket* socket, const QString& text);
    void onBinary(QWebSocket* socket, const QByteArray& frame);
    void onGone(QWebSocket* socket);
    void setChannels(QWebSocket* socket, QSet<QString> channels);
    void sendCounts(QWebSocket* socket);
    void drop(QWebSocket* socket, const QString& why);
    void drain();
    void caughtUp(Client& client);
    bool behind(QWebSocket* socket, Client& client);
    void sweep();
    void closeClient(QWebSocket* socket, const QString& why);
    void forget(QWebSocket* socket);

    Limits limits_;
    QWebSocketServer* server_;
    QTcpServer* tcp_;
    QHash<QWebSocket*, Client> clients_;
    QHash<QString, QSet<QWebSocket*>> members_;
    QSet<QWebSocket*> waiting_; // clients with bytes not yet taken by the kernel
    QTimer* drainTimer_;
    QTimer* sweepTimer_;
    QElapsedTimer clock_;
    QHash<QString, int> perAddress_;
    Counters counters_;
    std::function<void(const QString&)> log_;
};
