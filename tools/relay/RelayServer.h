#pragma once
// The relay: clients join channel IDs; each binary frame (one sealed packet) goes unchanged to every
// other client joined to the packet's channel; every client hears how many clients share each of its
// channels. It never opens a packet: it reads only the channel fingerprint in the clear header.
#include "RelayProtocol.h"

#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QSet>
#include <QString>
#include <functional>

class QWebSocket;
class QWebSocketServer;
class QTimer;

class RelayServer : public QObject {
public:
    struct Limits {
        int maxClients = 256;
        int maxChannelsPerJoin = RelayProtocol::maxChannelsPerJoin;
        qsizetype maxTextBytes = 8 * 1024;
        // A message this large is not ours at all; the WebSocket layer closes such a client.
        quint64 maxMessageBytes = 256 * 1024;
        // Frames for a client with more than this waiting to be written are dropped for it, so one
        // slow client cannot grow the relay's memory.
        qint64 maxBacklog = 1024 * 1024;
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
        QString name; // peer address and port, for the log
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

    Limits limits_;
    QWebSocketServer* server_;
    QHash<QWebSocket*, Client> clients_;
    QHash<QString, QSet<QWebSocket*>> members_;
    QSet<QWebSocket*> waiting_; // clients with bytes not yet taken by the kernel
    QTimer* drainTimer_;
    Counters counters_;
    std::function<void(const QString&)> log_;
};
