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
#include <limits>
#include <sys/resource.h>

namespace {
int descriptorLimit() {
    rlimit r{};
    return ::getrlimit(RLIMIT_NOFILE, &r) == 0 && r.rlim_cur < rlim_t(std::numeric_limits<int>::max())
               ? int(r.rlim_cur)
               : std::numeric_limits<int>::max();
}

// The per-address key: a v4-mapped v6 peer counts as its v4 address.
QString addressOf(QHostAddress peer) {
    if (const auto v4 = peer.toIPv4Address(); v4 != 0) peer = QHostAddress(v4);
    return peer.toString();
}

const char* kindName(int kind) {
    static const char* const names[] = {"connect", "join", "leave", "refusal", "closing"};
    return names[kind];
}
} // namespace

RelayServer::RelayServer(Limits limits, QObject* parent)
    : QObject(parent), limits_(limits),
      capacity_(std::clamp(descriptorLimit() - limits.descriptorReserve, 1, limits.maxClients)),
      server_(new QWebSocketServer(QStringLiteral("tessrook-relay"), QWebSocketServer::NonSecureMode, this)),
      tcp_(new QTcpServer(this)), accounts_(new QObject(this)), drainTimer_(new QTimer(this)),
      sweepTimer_(new QTimer(this)), log_([](const QString&) {}) {
    connect(server_, &QWebSocketServer::newConnection, this, [this] { onConnection(); });
    // Connections are accepted here and handed to the WebSocket server only with their whole upgrade
    // request in: the server itself applies no limit before the handshake.
    connect(tcp_, &QTcpServer::newConnection, this, [this] { onAccept(); });
    // Out of descriptors the server stops accepting for good; try again once some are back.
    connect(tcp_, &QTcpServer::acceptError, this, [this](QAbstractSocket::SocketError) {
        logPaced(LogKind::refusal, QStringLiteral("can't accept: %1").arg(tcp_->errorString()));
        QTimer::singleShot(limits_.acceptRetryMs, tcp_, [this] { tcp_->resumeAccepting(); });
    });
    drainTimer_->setInterval(20);
    connect(drainTimer_, &QTimer::timeout, this, [this] { drain(); });
    sweepTimer_->setInterval(limits_.sweepMs);
    connect(sweepTimer_, &QTimer::timeout, this, [this] { sweep(); });
    clock_.start();
}

RelayServer::~RelayServer() {
    // Sockets are children of the server object and go after its tables: no handler may run then.
    delete accounts_;
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
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

std::optional<QString> RelayServer::refusal(const QString& address) const {
    if (held_ >= capacity_) return QStringLiteral("relay full");
    const int fromThere = perAddress_.value(address);
    if (fromThere >= limits_.maxPerAddress) return QStringLiteral("too many connections from your address");
    if (fromThere > 0 && held_ >= capacity_ - limits_.newcomerPlaces) return QStringLiteral("relay full");
    return std::nullopt;
}

// Counts a connection against the limits until its object is deleted (its descriptor goes with it).
QMetaObject::Connection RelayServer::hold(QObject* connection, const QString& address) {
    ++held_;
    ++perAddress_[address];
    return releaseWith(connection, address);
}

QMetaObject::Connection RelayServer::releaseWith(QObject* connection, const QString& address) {
    return connect(connection, &QObject::destroyed, accounts_, [this, address] {
        --held_;
        if (auto n = perAddress_.find(address); n != perAddress_.end() && --*n <= 0) perAddress_.erase(n);
    });
}

void RelayServer::onAccept() {
    while (QTcpSocket* socket = tcp_->nextPendingConnection()) {
        const QString address = addressOf(socket->peerAddress());
        const QString name =
            QStringLiteral("%1:%2").arg(socket->peerAddress().toString()).arg(socket->peerPort());
        if (const auto why = refusal(address)) {
            logPaced(LogKind::refusal, QStringLiteral("refused %1: %2").arg(name, *why));
            // An empty send buffer takes the short answer whole; nothing of the request is read.
            socket->write("HTTP/1.1 503 " + why->toLatin1() +
                          "\r\nConnection: close\r\nContent-Length: 0\r\n\r\n");
            socket->flush();
            socket->abort();
            socket->deleteLater();
            continue;
        }
        Pending p;
        p.name = name;
        p.address = address;
        p.acceptedMs = clock_.elapsed();
        p.held = hold(socket, address);
        // The pointer only as a key: by now the socket is being destroyed.
        connect(socket, &QObject::destroyed, accounts_, [this, socket] { pending_.remove(socket); });
        // Voice frames go out as they come: no waiting for the peer's delayed acknowledgement.
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        socket->setReadBufferSize(limits_.maxHeaderBytes);
        pending_.insert(socket, p);
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequestBytes(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            pending_.remove(socket);
            socket->deleteLater();
        });
        if (!sweepTimer_->isActive()) sweepTimer_->start();
        onRequestBytes(socket);
    }
}

void RelayServer::onRequestBytes(QTcpSocket* socket) {
    const auto it = pending_.find(socket);
    if (it == pending_.end() || it->handedOver) return;
    const QByteArray head = socket->peek(limits_.maxHeaderBytes);
    if (head.contains("\r\n\r\n")) {
        it->handedOver = true;
        socket->disconnect(this);
        server_->handleConnection(socket);
    } else if (head.size() >= limits_.maxHeaderBytes) {
        cutPending(socket, QStringLiteral("request over %1 bytes").arg(limits_.maxHeaderBytes));
    }
}

void RelayServer::cutPending(QTcpSocket* socket, const QString& why) {
    const auto it = pending_.find(socket);
    if (it == pending_.end()) return;
    logPaced(LogKind::refusal, QStringLiteral("cut %1: %2").arg(it->name, why));
    pending_.erase(it);
    socket->disconnect(this);
    socket->abort();
    socket->deleteLater();
}

void RelayServer::onConnection() {
    while (QWebSocket* socket = server_->nextPendingConnection()) {
        socket->setParent(this);
        // The connection's accounting moves from its TCP socket to the WebSocket that now owns it.
        QString name, address;
        for (auto it = pending_.begin(); it != pending_.end(); ++it) {
            if (it->handedOver && it.key()->peerPort() == socket->peerPort() &&
                it.key()->peerAddress() == socket->peerAddress()) {
                name = it->name;
                address = it->address;
                disconnect(it->held);
                it.key()->setReadBufferSize(limits_.readBufferBytes);
                pending_.erase(it);
                break;
            }
        }
        if (address.isEmpty()) { // not one this relay accepted: nothing to count it by
            socket->abort();
            socket->deleteLater();
            continue;
        }
        releaseWith(socket, address);
        // Set before control returns to the event loop, so before its first frame is read.
        socket->setMaxAllowedIncomingFrameSize(limits_.maxMessageBytes);
        socket->setMaxAllowedIncomingMessageSize(limits_.maxMessageBytes);
        Client client;
        client.name = name;
        client.address = address;
        client.connectedMs = clock_.elapsed();
        clients_.insert(socket, client);
        logPaced(LogKind::connect, QStringLiteral("connect %1 (%2 clients)").arg(name).arg(clients_.size()));
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
    if (!clients_.contains(socket)) return;
    // Longer texts are not joins of any allowed size; ignore them without parsing.
    if (text.size() > limits_.maxTextBytes || text.toUtf8().size() > limits_.maxTextBytes) {
        drop(socket, QStringLiteral("text frame over %1 bytes").arg(limits_.maxTextBytes));
        return;
    }
    const auto ids = RelayProtocol::parseJoin(text, limits_.maxChannelsPerJoin);
    if (!ids) return; // other message types and versions are ignored
    const auto it = clients_.find(socket);
    QStringList shown;
    for (const auto& id : *ids)
        shown << id.left(8);
    logPaced(
        LogKind::join,
        QStringLiteral("join %1: %2 channel(s) %3").arg(it->name).arg(ids->size()).arg(shown.join(u' ')));
    it->joined = true;
    const QSet<QString> channels(ids->cbegin(), ids->cend());
    const QSet<QString> before = std::exchange(it->channels, channels);
    moveChannels(socket, before, channels);
    sendCounts(socket);
}

// Membership first, then everyone else on a channel whose membership changed hears the new counts.
// Telling a client may end it (and, nested, others) at once: nothing here holds on to a client
// across a send, and a client that is gone by its turn is skipped.
void RelayServer::moveChannels(QWebSocket* socket, const QSet<QString>& from, const QSet<QString>& to) {
    QSet<QWebSocket*> others;
    for (const auto& id : from - to) {
        auto it = members_.find(id);
        if (it == members_.end()) continue;
        it->remove(socket);
        others += *it;
        if (it->isEmpty()) members_.erase(it);
    }
    for (const auto& id : to - from) {
        auto& members = members_[id];
        others += members;
        members.insert(socket);
    }
    others.remove(socket);
    for (QWebSocket* other : std::as_const(others))
        sendCounts(other);
}

void RelayServer::sendCounts(QWebSocket* socket) {
    const auto it = clients_.find(socket);
    // Replies count against the backlog like frames: a client that sends joins and never reads
    // would otherwise have them piled up here without limit.
    if (it == clients_.end() || behind(socket, *it)) return;
    QMap<QString, int> counts;
    for (const auto& id : std::as_const(it->channels))
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
    QList<QTcpSocket*> late;
    for (auto it = pending_.cbegin(); it != pending_.cend(); ++it)
        if (now - it->acceptedMs >= limits_.handshakeTimeoutMs) late.append(it.key());
    for (QTcpSocket* socket : std::as_const(late))
        cutPending(socket,
                   QStringLiteral("no complete request within %1 ms").arg(limits_.handshakeTimeoutMs));

    struct Closing {
        QWebSocket* socket;
        QString why;
        bool reading;
    };
    QList<Closing> closing;
    for (auto it = clients_.begin(); it != clients_.end(); ++it) {
        Client& c = *it;
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
    // Closing one client tells others, which may end them: each is looked up again in its turn.
    for (const auto& [socket, why, reading] : std::as_const(closing)) {
        if (!clients_.contains(socket)) continue;
        closeClient(socket, why);
        // Behind on reading, it will not read the close frame either; waiting would only let it keep
        // sending pings that the WebSocket layer answers.
        if (!reading) socket->abort();
    }
    if (clients_.isEmpty() && pending_.isEmpty()) sweepTimer_->stop();
}

// Closed with 1008 and logged once. Its place in the channels is free at once; a client that does not
// answer the close frame (it may not be reading at all) is cut after a grace.
void RelayServer::closeClient(QWebSocket* socket, const QString& why) {
    const auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    logPaced(LogKind::closing, QStringLiteral("closing %1 (1008): %2").arg(it->name, why));
    forget(socket);
    socket->close(QWebSocketProtocol::CloseCodePolicyViolated, why);
}

// Takes a client out of every table, then tells the others, and leaves its socket to end on its own or
// at the grace. Deletion is always deferred: callers up the stack may still hold the pointer.
void RelayServer::forget(QWebSocket* socket) {
    const auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    const QSet<QString> channels = std::move(it->channels);
    clients_.erase(it);
    waiting_.remove(socket);
    socket->disconnect(this);
    connect(socket, &QWebSocket::disconnected, socket, &QObject::deleteLater);
    QTimer::singleShot(limits_.closeGraceMs, socket, [socket] {
        socket->abort();
        socket->deleteLater();
    });
    moveChannels(socket, channels, {});
}

void RelayServer::onBinary(QWebSocket* socket, const QByteArray& frame) {
    const auto from = clients_.constFind(socket);
    if (from == clients_.cend()) return;
    if (frame.size() < sealedOverhead)
        return drop(socket, QStringLiteral("frame of %1 bytes is too short").arg(frame.size()));
    if (frame.size() > maxSealed)
        return drop(socket, QStringLiteral("frame of %1 bytes is too long").arg(frame.size()));
    const auto fingerprint = Packet::fingerprint(frame);
    if (!fingerprint || !Packet::looksSealed(frame))
        return drop(socket, QStringLiteral("frame is not a sealed packet"));
    const QString channel = Bytes::hex(*fingerprint);
    if (!from->channels.contains(channel))
        return drop(socket, QStringLiteral("frame for channel %1, not joined").arg(channel.left(8)));
    // A copy: a flush below may end receivers, and so change the membership, at once.
    const QSet<QWebSocket*> receivers = members_.value(channel);
    for (QWebSocket* other : receivers) {
        if (other == socket) continue;
        const auto it = clients_.find(other);
        if (it == clients_.end() || behind(other, *it)) continue;
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
    const auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    ++it->dropsSinceLog;
    // At most one line a second per client, so a misbehaving client cannot flood the log.
    const qint64 now = QDateTime::currentMSecsSinceEpoch();
    if (now - it->lastDropLog < 1000) return;
    const qint64 more = it->dropsSinceLog - 1;
    log_(more > 0 ? QStringLiteral("drop from %1: %2 (and %3 more since the last report)")
                        .arg(it->name, why)
                        .arg(more)
                  : QStringLiteral("drop from %1: %2").arg(it->name, why));
    it->dropsSinceLog = 0;
    it->lastDropLog = now;
}

void RelayServer::onGone(QWebSocket* socket) {
    const auto it = clients_.find(socket);
    if (it == clients_.end()) return;
    const QString name = it->name;
    forget(socket);
    socket->deleteLater();
    logPaced(LogKind::leave, QStringLiteral("leave %1 (%2 clients)").arg(name).arg(clients_.size()));
}

// Lines that every connection causes are paced like the program's own repeating lines, so a flood of
// connections cannot flood the log: the first of each window, then one line for the rest.
void RelayServer::logPaced(LogKind kind, const QString& line) {
    const int k = int(kind);
    const auto pace = logWindows_[k].pace(clock_.elapsed(), limits_.logWindowMs, limits_.logFirst);
    if (pace.heldBack > 0)
        log_(QStringLiteral("%1 more %2 line(s) in the last %3 s were not logged one by one")
                 .arg(pace.heldBack)
                 .arg(QLatin1String(kindName(k)))
                 .arg(limits_.logWindowMs / 1000));
    if (pace.write)
        log_(line);
    else if (pace.holdsBack)
        log_(QStringLiteral("many %1 lines: not logging more of them for %2 s")
                 .arg(QLatin1String(kindName(k)))
                 .arg(limits_.logWindowMs / 1000));
}
