#include "RelayServer.h"

#include "Bytes.h"
#include "Packet.h"
#include "RelayProtocol.h"

#include <QDateTime>
#include <QMap>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QWebSocket>
#include <QWebSocketServer>
#include <algorithm>

RelayServer::RelayServer(Limits limits, QObject* parent)
    : QObject(parent), limits_(limits),
      server_(new QWebSocketServer(QStringLiteral("tessrook-relay"), QWebSocketServer::NonSecureMode, this)),
      tcp_(new QTcpServer(this)), drainTimer_(new QTimer(this)), sweepTimer_(new QTimer(this)),
      log_([](const QString&) {}) {
    connect(server_, &QWebSocketServer::newConnection, this, [this] { onConnection(); });
    // Connections are accepted here and handed to the WebSocket server, so each socket's read buffer
    // is bounded: a client that sends faster than the relay reads is held back by TCP, not buffered.
    connect(tcp_, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
            socket->setReadBufferSize(limits_.readBufferBytes);
            server_->handleConnection(socket);
        }
    });
    drainTimer_->setInterval(20);
    connect(drainTimer_, &QTimer::timeout, this, [this] { drain(); });
    sweepTimer_->setInterval(limits_.sweepMs);
    connect(sweepTimer_, &QTimer::timeout, this, [this] { sweep(); });
    clock_.start();
}

RelayServer::~RelayServer() {
    // Sockets are children of the server object; forget them before they go so no handler runs.
    for (auto it = clients_.cbegin(); it != clients_.cend(); ++it)
        it.key()->disconnect(this);
}

bool RelayServer::listen(const QHostAddress& address, quint16 port) {
    return tcp_->listen(address, port);
}
QString RelayServer::errorString() const {
    return tcp_->errorString();
}
QHostAddress RelayServer::address() const {
    return tcp_->serverAddress();
}
quint16 RelayServer::port() const {
    return tcp_->serverPort();
}

std::optional<std::pair<QHostAddress, quint16>> RelayServer::parseListen(const QString& text) {
    const qsizetype colon = text.lastIndexOf(u':');
    if (colon <= 0) return std::nullopt;
    QString host = text.left(colon);
    const QString portText = text.mid(colon + 1);
    bool ok = false;
    const uint port = portText.toUInt(&ok);
    if (!ok || port > 65535 || portText.isEmpty() || !portText.at(0).isDigit()) return std::nullopt;
    if (host.startsWith(u'[') && host.endsWith(u']'))
        host = host.mid(1, host.size() - 2);
    else if (host.contains(u':'))
        return std::nullopt; // a v6 address needs its brackets
    QHostAddress address;
    if (host == QLatin1String("localhost"))
        address = QHostAddress(QHostAddress::LocalHost);
    else if (!address.setAddress(host))
        return std::nullopt;
    return std::make_pair(address, quint16(port));
}

void RelayServer::onConnection() {
    while (QWebSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        const QString name =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        QHostAddress peer = socket->peerAddress();
        if (const auto v4 = peer.toIPv4Address(); v4 != 0) peer = QHostAddress(v4); // v4-mapped v6
        const QString address = peer.toString();
        if (clients_.size() >= limits_.maxClients) {
            log_(QStringLiteral("refused %1: already %2 clients").arg(name).arg(clients_.size()));
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated, QStringLiteral("relay full"));
            socket->deleteLater();
            continue;
        }
        if (perAddress_.value(address) >= limits_.maxPerAddress) {
            log_(QStringLiteral("refused %1: already %2 clients from %3")
                     .arg(name)
                     .arg(limits_.maxPerAddress)
                     .arg(address));
            socket->close(QWebSocketProtocol::CloseCodePolicyViolated,
                          QStringLiteral("too many connections from your address"));
            socket->deleteLater();
            continue;
        }
        // Set before control returns to the event loop, so before its first frame is read.
        socket->setMaxAllowedIncomingFrameSize(limits_.maxMessageBytes);
        socket->setMaxAllowedIncomingMessageSize(limits_.maxMessageBytes);
        Client client;
        client.name = name;
        client.address = address;
        client.connectedMs = clock_.elapsed();
        clients_.insert(socket, client);
        ++perAddress_[address];
        if (!sweepTimer_->isActive()) sweepTimer_->start();
        log_(QStringLiteral("connect %1 (%2 clients)").arg(name).arg(clients_.size()));
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString& text) { onText(socket, text); });
        connect(socket, &QWebSocket::binaryMessageReceived, this,
                [this, socket](const QByteArray& frame) { onBinary(socket, frame); });
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { onGone(socket); });
        // The WebSocket layer closes a client itself when it breaks a frame limit; one that then
        // keeps sending without answering the close is cut after the same grace.
        connect(socket, &QWebSocket::aboutToClose, this, [this, socket] {
            QTimer::singleShot(limits_.closeGraceMs, socket, [socket] { socket->abort(); });
        });
    }
}

void RelayServer::onText(QWebSocket* socket, const QString& text) {
    if (!clients_.contains(socket) || clients_[socket].closing) return;
    // Longer texts are not joins of any allowed size; ignore them without parsing.
    if (text.size() > limits_.maxTextBytes || text.toUtf8().size() > limits_.maxTextBytes) {
        drop(socket, QStringLiteral("text frame over %1 bytes").arg(limits_.maxTextBytes));
        return;
    }
    const auto ids = RelayProtocol::parseJoin(text, limits_.maxChannelsPerJoin);
    if (!ids) return; // other message types and versions are ignored
    QStringList shown;
    for (const auto& id : *ids)
        shown << id.left(8);
    log_(QStringLiteral("join %1: %2 channel(s) %3")
             .arg(clients_[socket].name)
             .arg(ids->size())
             .arg(shown.join(u' ')));
    clients_[socket].joined = true;
    setChannels(socket, QSet<QString>(ids->cbegin(), ids->cend()));
    sendCounts(socket);
}

void RelayServer::setChannels(QWebSocket* socket, QSet<QString> channels) {
    Client& client = clients_[socket];
    QSet<QString> changed = (client.channels - channels) + (channels - client.channels);
    for (const auto& id : client.channels - channels) {
        auto it = members_.find(id);
        if (it != members_.end()) {
            it->remove(socket);
            if (it->isEmpty()) members_.erase(it);
        }
    }
    for (const auto& id : channels - client.channels)
        members_[id].insert(socket);
    client.channels = std::move(channels);
    // Everyone else on a channel whose membership changed hears the new counts.
    QSet<QWebSocket*> told;
    for (const auto& id : changed) {
        for (QWebSocket* other : members_.value(id)) {
            if (other != socket && !told.contains(other)) {
                told.insert(other);
                sendCounts(other);
            }
        }
    }
}

void RelayServer::sendCounts(QWebSocket* socket) {
    Client& client = clients_[socket];
    // Replies count against the backlog like frames: a client that sends joins and never reads
    // would otherwise have them piled up here without limit.
    if (client.closing || behind(socket, client)) return;
    QMap<QString, int> counts;
    for (const auto& id : client.channels)
        counts.insert(id, int(members_.value(id).size()));
    socket->sendTextMessage(RelayProtocol::peersMessage(counts));
    socket->flush(); // may end this client at once (onGone)
    if (clients_.contains(socket) && socket->bytesToWrite() > 0) waiting_.insert(socket);
    if (!waiting_.isEmpty() && !drainTimer_->isActive()) drainTimer_->start();
}

// Past the backlog limit: counts what is not sent and notes when the client fell behind.
bool RelayServer::behind(QWebSocket* socket, Client& client) {
    if (socket->bytesToWrite() <= limits_.maxBacklog) {
        caughtUp(client);
        return false;
    }
    ++counters_.droppedFrames;
    if (client.overSinceMs < 0) client.overSinceMs = clock_.elapsed();
    if (client.droppedBehind++ == 0)
        log_(QStringLiteral("drop for %1: more than %2 KiB waiting; dropping until it drains")
                 .arg(client.name)
                 .arg(limits_.maxBacklog / 1024));
    return true;
}

void RelayServer::sweep() {
    const qint64 now = clock_.elapsed();
    struct Closing {
        QWebSocket* socket;
        QString why;
        bool reading;
    };
    QList<Closing> closing;
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        Client& c = *it;
        if (c.closing) continue;
        const qint64 backlog = it.key()->bytesToWrite();
        if (!c.joined && now - c.connectedMs >= limits_.joinTimeoutMs) {
            closing.append(
                {it.key(), QStringLiteral("no join within %1 s").arg(limits_.joinTimeoutMs / 1000), true});
        } else if (backlog > limits_.overflowBacklog) {
            closing.append({it.key(), QStringLiteral("%1 KiB waiting").arg(backlog / 1024), false});
        } else if (backlog > limits_.maxBacklog) {
            if (c.overSinceMs < 0) c.overSinceMs = now;
            if (now - c.overSinceMs >= limits_.backlogGraceMs)
                closing.append({it.key(),
                                QStringLiteral("more than %1 KiB waiting for %2 s")
                                    .arg(limits_.maxBacklog / 1024)
                                    .arg(limits_.backlogGraceMs / 1000),
                                false});
        } else {
            c.overSinceMs = -1;
        }
    }
    for (const auto& [socket, why, reading] : closing) {
        if (!clients_.contains(socket)) continue;
        closeClient(socket, why);
        // Behind on reading, it will not read the close frame either; waiting would only let it keep
        // sending pings that the WebSocket layer answers.
        if (!reading) socket->abort();
    }
    if (clients_.isEmpty()) sweepTimer_->stop();
}

// Closed with 1008 and logged once. Its place is free at once; a client that does not answer the close
// frame (it may not be reading at all) is cut after a grace.
void RelayServer::closeClient(QWebSocket* socket, const QString& why) {
    auto it = clients_.find(socket);
    if (it == clients_.end() || it->closing) return;
    it->closing = true;
    log_(QStringLiteral("closing %1 (1008): %2").arg(it->name, why));
    forget(socket);
    socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
}

// Takes a client out of every table and leaves its socket to end on its own or at the grace.
void RelayServer::forget(QWebSocket* socket) {
    auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    if (auto n = perAddress_.find(it->address); n != perAddress_.end() && --*n <= 0) perAddress_.erase(n);
    setChannels(socket, {});
    clients_.erase(it);
    waiting_.remove(socket);
    socket->disconnect(this);
    connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(limits_.closeGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
}

void RelayServer::onBinary(QWebSocket* socket, const QByteArray& frame) {
    if (!clients_.contains(socket) || clients_[socket].closing) return;
    if (frame.size() < sealedOverhead)
        return drop(socket, QStringLiteral("frame of %1 bytes is too short").arg(frame.size()));
    if (frame.size() > maxSealed)
        return drop(socket, QStringLiteral("frame of %1 bytes is too long").arg(frame.size()));
    const auto fingerprint = Packet::fingerprint(frame);
    if (!fingerprint || !Packet::looksSealed(frame))
        return drop(socket, QStringLiteral("frame is not a sealed packet"));
    const QString channel = Bytes::hex(*fingerprint);
    if (!clients_[socket].channels.contains(channel))
        return drop(socket, QStringLiteral("frame for channel %1, not joined").arg(channel.left(8)));
    for (QWebSocket* other : members_.value(channel)) {
        if (other == socket) continue;
        Client& receiver = clients_[other];
        if (receiver.closing || behind(other, receiver)) continue;
        other->sendBinaryMessage(frame);
        ++counters_.forwardedFrames;
        counters_.forwardedBytes += frame.size();
        // Straight to the kernel: a burst then waits there rather than in this process, and what the
        // kernel cannot take yet is pushed again on a timer (the socket alone was seen to leave it
        // until something else woke the relay).
        other->flush(); // may end this client at once (onGone)
        if (clients_.contains(other) && other->bytesToWrite() > 0) waiting_.insert(other);
    }
    if (!waiting_.isEmpty() && !drainTimer_->isActive()) drainTimer_->start();
}

void RelayServer::caughtUp(Client& client) {
    if (client.droppedBehind == 0) return;
    log_(QStringLiteral("drop for %1: caught up; %2 frame(s) dropped")
             .arg(client.name)
             .arg(client.droppedBehind));
    client.droppedBehind = 0;
}

void RelayServer::drain() {
    // A write error inside flush() ends that client there and then (onGone takes it out of waiting_),
    // so walk a copy and look again after each flush.
    const QSet<QWebSocket*> pending = waiting_;
    for (QWebSocket* socket : pending) {
        if (!waiting_.contains(socket)) continue;
        socket->flush();
        if (!waiting_.contains(socket) || socket->bytesToWrite() > 0) continue;
        waiting_.remove(socket);
        if (const auto it = clients_.find(socket); it != clients_.end()) caughtUp(*it);
    }
    if (waiting_.isEmpty()) drainTimer_->stop();
}

void RelayServer::drop(QWebSocket* socket, const QString& why) {
    ++counters_.droppedFrames;
    Client& client = clients_[socket];
    ++client.dropsSinceLog;
    // At most one line a second per client, so a misbehaving client cannot flood the log.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - client.lastDropLog < 1000) return;
    const qint64 more = client.dropsSinceLog - 1;
    log_(more > 0 ? QStringLiteral("drop from %1: %2 (and %3 more since the last report)")
                        .arg(client.name, why)
                        .arg(more)
                  : QStringLiteral("drop from %1: %2").arg(client.name, why));
    client.dropsSinceLog = 0;
    client.lastDropLog = now;
}

void RelayServer::onGone(QWebSocket* socket) {
    auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    const QString name = it->name;
    forget(socket);
    socket->deleteLater();
    log_(QStringLiteral("leave %1 (%2 clients)").arg(name).arg(clients_.size()));
}
