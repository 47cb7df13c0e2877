#include "NearbyTransport.h"

#include "Bytes.h"
#include "NetInterfaces.h"
#include "Packet.h"
#include "TRKLog.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QHash>
#include <QHostAddress>
#include <QNetworkProxy>
#include <QRandomGenerator>
#include <QSet>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <deque>
#include <memory>
#include <tuple>
#include <netinet/in.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
const QByteArray beaconMagic = QByteArrayLiteral("QMTN");
constexpr quint8 beaconVersion = 1;
constexpr qsizetype beaconFixed = 16; // magic, version, ID, port, length
constexpr int postedLimit = 256;      // packets handed to the worker and not yet written
constexpr qint64 acceptWindowMs = 1000;   // accepts are counted per address over this and the one before
constexpr int maxCountedAddresses = 1024; // addresses whose accepts are counted in one window
constexpr int acceptsPerTurn = 4;         // connections taken in one turn of the worker's event loop

// Voice frames go out as they come, from both ends of a session: a frame spans several segments, and
// the last one waited for the peer's delayed acknowledgement, up to 40 ms, which ran the receiver's
// jitter buffer dry. The option takes hold only on a connected socket.
void sendAtOnce(QTcpSocket* socket) {
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
}

QByteArray frame(const QByteArray& body) {
    QByteArray out;
    out.reserve(body.size() + 4);
    Bytes::appendU32(out, quint32(body.size()));
    out.append(body);
    return out;
}

QString hexID(quint64 id) {
    return QStringLiteral("%1").arg(id, 16, 16, QLatin1Char('0'));
}
} // namespace

QByteArray NearbyTransport::encodeBeacon(const Beacon& b) {
    QByteArray out = beaconMagic;
    out.append(char(beaconVersion));
    Bytes::appendU64(out, b.peerID);
    Bytes::appendU16(out, b.tcpPort);
    out.append(char(serviceType.size()));
    out.append(serviceType);
    return out;
}

std::optional<NearbyTransport::Beacon> NearbyTransport::decodeBeacon(const QByteArray& bytes) {
    if (bytes.size() < beaconFixed || !bytes.startsWith(beaconMagic) || quint8(bytes[4]) != beaconVersion)
        return std::nullopt;
    const qsizetype length = quint8(bytes[15]);
    if (bytes.size() != beaconFixed + length || bytes.mid(beaconFixed) != serviceType) return std::nullopt;
    Beacon b{*Bytes::readU64(bytes, 5), *Bytes::readU16(bytes, 13)};
    if (b.tcpPort == 0) return std::nullopt;
    return b;
}

class NearbyWorker : public QObject {
public:
    NearbyWorker(NearbyTransport* owner) : t_(owner), o_(owner->options_) {}
    ~NearbyWorker() override { shutdown(); }

    bool begin();
    void shutdown();
    void sendPacket(const QByteArray& sealed);
    void prove(const QList<Key16>& tails);

private:
    struct Session {
        QTcpSocket* socket = nullptr;
        quint64 expected = 0; // the peer we dialled; 0 for an accepted socket
        quint64 peer = 0;     // known once its first frame arrived
        bool introduced = false;
        bool overflowLogged = false;
        bool proven = false; // carried a packet that opened with a joined channel's key
        bool readPosted = false;
        quint32 address = 0; // remote IPv4 address, host order
        qint64 opened = 0, lastHeard = 0;
        qint64 windowStart = 0, overSince = -1;
        int framesInWindow = 0;
        QByteArray buffer;
    };
    struct Found {
        quint32 address;
        quint16 port;
        qint64 lastSeen;
    };

    void tick();
    void relist();
    void sendBeacon();
    void readBeacons();
    void maybeDial(quint64 id);
    void accept();
    bool makeRoom();
    void refuse(QTcpSocket* socket, const QString& why);
    int sessionsWith(quint32 address) const;
    int silentWith(quint32 address) const;
    bool hasWaiting(const Session* s) const;
    Session* silentVictim(std::optional<quint32> from = std::nullopt);
    bool countFrame(Session* s);
    void remember(const QByteArray& sealed, QTcpSocket* socket);
    void adopt(Session* s);
    void readSession(Session* s);
    void close(Session* s, const QString& why);
    void publish();
    Session* sessionOf(QTcpSocket* socket);

    NearbyTransport* const t_;
    const NearbyTransport::Options o_;
    QElapsedTimer clock_;
    int beaconFd_ = -1;
    QSocketNotifier* notifier_ = nullptr;
    QTcpServer* server_ = nullptr;
    QTimer* timer_ = nullptr;
    QList<NetInterface> interfaces_;
    QHash<quint64, Found> found_;
    QHash<quint64, qint64> lastDial_;     // peer -> when it was last dialled
    QSet<quint64> provenPeers_;           // peers that have carried an opened packet
    QHash<Key16, QTcpSocket*> carriedBy_; // tail of a packet handed over -> its session
    std::deque<Key16> carriedOrder_;
    std::vector<std::unique_ptr<Session>> sessions_;
    QByteArray beacon_;
    qint64 nextBeacon_ = 0, nextKeepAlive_ = 0;
    int lastPublished_ = -1;
    TRKLogWindow refusalLog_;
    // Connections accepted per address in the last second or two: a silent session from an address
    // that reconnects without pause gives way before one from an address that dials now and then, so a
    // real unit's newcomer is not the oldest silent place a moment after it arrived.
    QHash<quint32, int> accepts_, acceptsBefore_;
    qint64 acceptsSince_ = 0;
    int acceptedThisTurn_ = 0; // the rest wait in the server for the next turn
    void countAccept(quint32 address);
    int churn(quint32 address) const { return accepts_.value(address) + acceptsBefore_.value(address); }
};

bool NearbyWorker::begin() {
    clock_.start();
    QString error;
    quint16 bound = 0;
    beaconFd_ = NetInterfaces::openUdp(o_.beaconPort, &bound, &error);
    if (beaconFd_ >= 0) NetInterfaces::wantArrivalInfo(beaconFd_); // each beacon tells where it came in
    if (beaconFd_ < 0) {
        t_->publish({QStringLiteral("Nearby: can't start (%1)").arg(error), false, 0, {}});
        TRKLog::log(QStringLiteral("Nearby: can't open beacon port %1 (%2)").arg(o_.beaconPort).arg(error));
        return false;
    }
    server_ = new QTcpServer(this);
    // Sessions stay on the local network: a system-wide proxy must never carry them.
    server_->setProxy(QNetworkProxy::NoProxy);
    server_->setMaxPendingConnections(o_.maxSessions);
    if (!server_->listen(QHostAddress::AnyIPv4, 0)) {
        t_->publish({QStringLiteral("Nearby: can't start (%1)").arg(server_->errorString()), false, 0, {}});
        return false;
    }
    connect(server_, &QTcpServer::newConnection, this, [this] { accept(); });
    beacon_ = NearbyTransport::encodeBeacon({t_->peerID_, server_->serverPort()});
    notifier_ = new QSocketNotifier(beaconFd_, QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] { readBeacons(); });
    timer_ = new QTimer(this);
    const int shortest = std::min({o_.beaconIntervalMs, o_.keepAliveMs, o_.firstFrameMs, o_.silenceMs});
    timer_->start(std::clamp(shortest / 4, 10, 250));
    connect(timer_, &QTimer::timeout, this, [this] { tick(); });
    TRKLog::log(QStringLiteral("Nearby: started as %1, sessions on TCP %2")
                    .arg(hexID(t_->peerID_))
                    .arg(server_->serverPort()));
    publish();
    nextKeepAlive_ = o_.keepAliveMs;
    tick(); // the first beacon goes out at once
    return true;
}

void NearbyWorker::shutdown() {
    for (auto& s : sessions_) {
        s->socket->disconnect(this);
        s->socket->abort();
        delete s->socket;
    }
    sessions_.clear();
    delete notifier_;
    notifier_ = nullptr;
    delete server_;
    server_ = nullptr;
    delete timer_;
    timer_ = nullptr;
    if (beaconFd_ >= 0) ::close(beaconFd_);
    beaconFd_ = -1;
}

void NearbyWorker::relist() {
    const QList<NetInterface> now = NetInterfaces::usable(o_.interfaces);
    for (const auto& n : now) {
        const bool known = std::any_of(interfaces_.begin(), interfaces_.end(), [&](const auto& i) {
            return i.index == n.index && i.address == n.address;
        });
        if (!known) NetInterfaces::join(beaconFd_, NearbyTransport::group, n);
    }
    interfaces_ = now;
}

void NearbyWorker::sendBeacon() {
    for (const auto& iface : std::as_const(interfaces_)) {
        if (NetInterfaces::setMulticastInterface(beaconFd_, iface))
            NetInterfaces::sendTo(beaconFd_, beacon_, NearbyTransport::group, o_.beaconPort);
        if (iface.broadcast) NetInterfaces::sendTo(beaconFd_, beacon_, *iface.broadcast, o_.beaconPort);
    }
}

void NearbyWorker::tick() {
    const qint64 now = clock_.elapsed();
    if (now >= nextBeacon_) {
        relist();
        sendBeacon();
        nextBeacon_ = now + o_.beaconIntervalMs;
    }
    for (auto it = found_.begin(); it != found_.end();) {
        if (it->lastSeen + o_.peerExpiryMs <= now)
            it = found_.erase(it);
        else
            ++it;
    }
    lastDial_.removeIf([&](const auto& e) { return now - e.value() >= o_.redialMs; });
    const bool keepAlive = now >= nextKeepAlive_;
    if (keepAlive) nextKeepAlive_ = now + o_.keepAliveMs;
    std::vector<Session*> overdue;
    for (auto& s : sessions_) {
        if (!s->introduced && now - s->opened >= o_.firstFrameMs)
            overdue.push_back(s.get());
        else if (now - s->lastHeard >= o_.silenceMs)
            overdue.push_back(s.get());
        else if (keepAlive && s->socket->state() == QAbstractSocket::ConnectedState)
            s->socket->write(frame({}));
    }
    for (Session* s : overdue)
        close(s, s->introduced ? QStringLiteral("silent") : QStringLiteral("no introduction in time"));
}

void NearbyWorker::readBeacons() {
    char buffer[512];
    while (const auto got = NetInterfaces::receive(beaconFd_, buffer, sizeof buffer)) {
        const auto b = NearbyTransport::decodeBeacon(QByteArray(buffer, got->size));
        if (!b || b->peerID == t_->peerID_) continue;
        // Only a unit on the subnet of the interface its beacon came in on is dialled: a forged
        // beacon must not make this unit connect wherever it names.
        const quint32 address = got->from;
        const bool local = std::any_of(interfaces_.begin(), interfaces_.end(), [&](const NetInterface& i) {
            return i.index == got->interfaceIndex && NetInterfaces::onSubnet(address, i);
        });
        if (!local) continue;
        const bool isNew = !found_.contains(b->peerID);
        if (isNew && found_.size() >= o_.maxFound) continue;
        found_[b->peerID] = {address, b->tcpPort, clock_.elapsed()};
        if (isNew)
            TRKLog::log(QStringLiteral("Nearby: found %1 at %2")
                            .arg(hexID(b->peerID), NetInterfaces::addressText(address)));
        maybeDial(b->peerID);
    }
}

void NearbyWorker::maybeDial(quint64 id) {
    // Of two units only the one with the smaller ID dials, so a pair makes one session.
    if (t_->peerID_ >= id) return;
    int inFlight = 0;
    for (const auto& s : sessions_) {
        if (s->expected == id || s->peer == id) return;
        if (s->expected && !s->introduced) ++inFlight;
    }
    const Found f = found_.value(id);
    const qint64 now = clock_.elapsed();
    if (inFlight >= o_.maxDialsInFlight || sessionsWith(f.address) >= o_.maxPerAddress) return;
    if (!provenPeers_.contains(id) && lastDial_.contains(id) && now - lastDial_.value(id) < o_.redialMs)
        return;
    if (!makeRoom()) return;
    lastDial_[id] = now;
    auto s = std::make_unique<Session>();
    s->socket = new QTcpSocket(this);
    s->socket->setProxy(QNetworkProxy::NoProxy);
    s->expected = id;
    s->address = f.address;
    s->opened = s->lastHeard = s->windowStart = clock_.elapsed();
    Session* raw = s.get();
    sessions_.push_back(std::move(s));
    adopt(raw);
    connect(raw->socket, &QTcpSocket::connected, this, [this, sock = raw->socket] {
        sendAtOnce(sock);
        if (Session* s = sessionOf(sock)) s->socket->write(frame(beacon_));
    });
    raw->socket->connectToHost(QHostAddress(f.address), f.port);
}

// Every connection is accepted and judged by what it does: one that has said nothing gives its place to a
// newcomer, which keeps its own only if it introduces itself in time. Refusing at the door instead let
// silent connections, re-opened as fast as they were cut, take every place a real unit could have had.
//
// A few connections per turn of the event loop. The server accepts in a loop of its own for as long as
// connections wait, handing each over at once: attackers that reconnect as fast as they are cut kept the
// worker in that loop for up to a second, and no timer, beacon, keep-alive or real session had its turn
// (under load, for good). Left waiting, the server stops accepting once it holds maxSessions.
void NearbyWorker::accept() {
    if (!server_) return;
    while (acceptedThisTurn_ < acceptsPerTurn && server_->hasPendingConnections()) {
        // The first of a turn posts the call that opens the next turn and takes those still waiting.
        if (acceptedThisTurn_++ == 0)
            QMetaObject::invokeMethod(
                this,
                [this] {
                    acceptedThisTurn_ = 0;
                    accept();
                },
                Qt::QueuedConnection);
        QTcpSocket* socket = server_->nextPendingConnection();
        const quint32 address = socket->peerAddress().toIPv4Address();
        countAccept(address);
        if (silentWith(address) >= o_.maxSilentPerAddress)
            close(silentVictim(address), QStringLiteral("its place went to a newcomer from its address"));
        if (sessionsWith(address) >= o_.maxPerAddress) {
            refuse(socket, QStringLiteral("%1 already open with %2")
                               .arg(o_.maxPerAddress)
                               .arg(NetInterfaces::addressText(address)));
            continue;
        }
        if (!makeRoom()) {
            refuse(socket, QStringLiteral("%1 already open").arg(sessions_.size()));
            continue;
        }
        auto s = std::make_unique<Session>();
        s->socket = socket;
        s->address = address;
        socket->setParent(this);
        sendAtOnce(socket);
        s->opened = s->lastHeard = s->windowStart = clock_.elapsed();
        Session* raw = s.get();
        sessions_.push_back(std::move(s));
        adopt(raw);
        socket->write(frame(beacon_));
    }
}

void NearbyWorker::refuse(QTcpSocket* socket, const QString& why) {
    int closed = 0;
    const int n = refusalLog_.count(clock_.elapsed(), o_.refusalLogWindowMs, &closed);
    if (closed > o_.refusalLogFirst)
        TRKLog::log(
            QStringLiteral("Nearby: refused %1 more sessions in the last minute, not logged one by one")
                .arg(closed - o_.refusalLogFirst));
    if (n <= o_.refusalLogFirst) TRKLog::log(QStringLiteral("Nearby: refusing a session, %1").arg(why));
    socket->abort();
    socket->deleteLater();
}

int NearbyWorker::sessionsWith(quint32 address) const {
    return int(std::count_if(sessions_.begin(), sessions_.end(),
                             [&](const auto& s) { return s->address == address; }));
}

void NearbyWorker::countAccept(quint32 address) {
    const qint64 now = clock_.elapsed();
    if (now - acceptsSince_ >= acceptWindowMs) {
        acceptsBefore_ = now - acceptsSince_ < 2 * acceptWindowMs ? std::move(accepts_) : QHash<quint32, int>{};
        accepts_.clear();
        acceptsSince_ = now;
    }
    // Addresses past the bound are not counted: they rank as callers that dial now and then.
    if (accepts_.contains(address) || accepts_.size() < maxCountedAddresses) ++accepts_[address];
}

// Accepted sessions from the address that have not introduced themselves (dialled ones are our own).
int NearbyWorker::silentWith(quint32 address) const {
    return int(std::count_if(sessions_.begin(), sessions_.end(), [&](const auto& s) {
        return !s->introduced && !s->expected && s->address == address;
    }));
}

// Whether the session has bytes not yet read: an introduction may be waiting in the kernel.
bool NearbyWorker::hasWaiting(const Session* s) const {
    if (!s->buffer.isEmpty() || s->socket->bytesAvailable() > 0) return true;
    int queued = 0;
    const auto fd = s->socket->socketDescriptor();
    return fd >= 0 && ::ioctl(int(fd), FIONREAD, &queued) == 0 && queued > 0;
}

// The accepted session that has said nothing to give up first (from one address, when given): one with
// nothing waiting to be read, then one from the address holding the most such places, then from the
// address that connects most often, then the oldest.
NearbyWorker::Session* NearbyWorker::silentVictim(std::optional<quint32> from) {
    Session* victim = nullptr;
    std::tuple<bool, int, int, qint64> best;
    for (auto& s : sessions_) {
        if (s->introduced || s->expected || (from && s->address != *from)) continue;
        const auto rank = std::tuple(hasWaiting(s.get()), -silentWith(s->address), -churn(s->address), s->opened);
        if (!victim || rank < best) {
            victim = s.get();
            best = rank;
        }
    }
    return victim;
}

// With every slot taken, a newcomer takes the place of an accepted session that has said nothing, at
// once; failing that, of an unproven session past its grace period: first a dial not yet answered, then
// one from the address holding the most places, then the longest silent. Sessions that carried an opened
// packet are never given up for one that has not.
bool NearbyWorker::makeRoom() {
    if (int(sessions_.size()) < o_.maxSessions) return true;
    if (Session* silent = silentVictim()) {
        close(silent, QStringLiteral("its place went to a newcomer"));
        return true;
    }
    const qint64 now = clock_.elapsed();
    Session* victim = nullptr;
    auto rank = [&](const Session* s) { return std::tuple(s->introduced, -sessionsWith(s->address), s->lastHeard); };
    for (auto& s : sessions_) {
        if (s->proven || now - s->opened < o_.newcomerGraceMs) continue;
        if (!victim || rank(s.get()) < rank(victim)) victim = s.get();
    }
    if (!victim) return false;
    close(victim, QStringLiteral("its place went to a newcomer"));
    return true;
}

void NearbyWorker::adopt(Session* s) {
    QTcpSocket* sock = s->socket;
    // What the socket holds is bounded too: past the budget, TCP makes the sender wait.
    sock->setReadBufferSize(o_.readBudget);
    connect(sock, &QTcpSocket::readyRead, this, [this, sock] {
        if (Session* s = sessionOf(sock)) readSession(s);
    });
    connect(sock, &QTcpSocket::disconnected, this, [this, sock] {
        if (Session* s = sessionOf(sock)) close(s, QStringLiteral("closed by the other side"));
    });
    connect(sock, &QTcpSocket::errorOccurred, this, [this, sock] {
        if (Session* s = sessionOf(sock)) close(s, sock->errorString());
    });
}

NearbyWorker::Session* NearbyWorker::sessionOf(QTcpSocket* socket) {
    for (auto& s : sessions_) {
        if (s->socket == socket) return s.get();
    }
    return nullptr;
}

void NearbyWorker::readSession(Session* s) {
    s->readPosted = false;
    // One budget per turn; the rest waits for the next turn, after the other sessions had theirs.
    s->buffer.append(s->socket->read(o_.readBudget));
    s->lastHeard = clock_.elapsed();
    QTcpSocket* const sock = s->socket;
    if (sock->bytesAvailable() > 0) {
        s->readPosted = true;
        QMetaObject::invokeMethod(
            this,
            [this, sock] {
                if (Session* s = sessionOf(sock); s && s->readPosted) readSession(s);
            },
            Qt::QueuedConnection);
    }
    for (;;) {
        const auto length = Bytes::readU32(s->buffer, 0);
        if (!length) return;
        if (!s->introduced) {
            if (*length < beaconFixed || *length > beaconFixed + 255)
                return close(s, QStringLiteral("bad first frame"));
        } else if (*length != 0 && (*length < quint32(sealedOverhead) || *length > quint32(maxSealed))) {
            return close(s, QStringLiteral("bad frame length %1").arg(*length));
        }
        if (s->buffer.size() < 4 + qsizetype(*length)) return;
        const QByteArray body = s->buffer.mid(4, *length);
        s->buffer.remove(0, 4 + *length);
        if (s->introduced && !countFrame(s)) {
            if (!sessionOf(sock)) return; // closed for its rate
            continue;
        }
        if (!s->introduced) {
            const auto b = NearbyTransport::decodeBeacon(body);
            if (!b || b->peerID == t_->peerID_ || (s->expected && b->peerID != s->expected))
                return close(s, QStringLiteral("bad first frame"));
            for (const auto& other : sessions_) {
                if (other.get() != s && other->introduced && other->peer == b->peerID)
                    return close(s, QStringLiteral("duplicate session with %1").arg(hexID(b->peerID)));
            }
            s->peer = b->peerID;
            s->introduced = true;
            TRKLog::log(QStringLiteral("Nearby: session with %1 (%2)")
                            .arg(hexID(s->peer), s->socket->peerAddress().toString()));
            publish();
        } else if (!body.isEmpty() && Packet::looksSealed(body) && t_->onPacket_) {
            remember(body, sock);
            t_->onPacket_(body);
        }
    }
}

// Counts a frame against the session's rate; false when it is over the rate (the frame is dropped, and
// a session over it for too long is closed).
bool NearbyWorker::countFrame(Session* s) {
    const qint64 now = clock_.elapsed();
    if (now - s->windowStart >= 1000) {
        const bool wasOver = s->framesInWindow > o_.maxFramesPerSecond;
        if (!wasOver)
            s->overSince = -1;
        else if (s->overSince < 0)
            s->overSince = s->windowStart;
        s->windowStart = now;
        s->framesInWindow = 0;
    }
    if (++s->framesInWindow <= o_.maxFramesPerSecond) return true;
    if (s->overSince < 0) s->overSince = s->windowStart;
    if (now - s->overSince >= o_.overRateMs)
        close(s, QStringLiteral("more than %1 frames a second for %2 s")
                     .arg(o_.maxFramesPerSecond)
                     .arg(o_.overRateMs / 1000));
    return false;
}

void NearbyWorker::remember(const QByteArray& sealed, QTcpSocket* socket) {
    const Key16 tail = Key16::tail(sealed);
    carriedBy_.insert(tail, socket);
    carriedOrder_.push_back(tail);
    while (qsizetype(carriedOrder_.size()) > o_.provenMemory) {
        carriedBy_.remove(carriedOrder_.front());
        carriedOrder_.pop_front();
    }
}

void NearbyWorker::prove(const QList<Key16>& tails) {
    for (const Key16& tail : tails) {
        Session* s = sessionOf(carriedBy_.value(tail));
        if (!s || s->proven || !s->introduced) continue;
        s->proven = true;
        provenPeers_.insert(s->peer);
        TRKLog::log(QStringLiteral("Nearby: %1 carries your channels").arg(hexID(s->peer)));
    }
}

void NearbyWorker::close(Session* s, const QString& why) {
    auto it = std::find_if(sessions_.begin(), sessions_.end(), [&](const auto& p) { return p.get() == s; });
    if (it == sessions_.end()) return;
    std::unique_ptr<Session> gone = std::move(*it);
    sessions_.erase(it);
    gone->socket->disconnect(this);
    gone->socket->abort();
    gone->socket->deleteLater();
    for (auto it = carriedBy_.begin(); it != carriedBy_.end();)
        it = it.value() == gone->socket ? carriedBy_.erase(it) : std::next(it);
    if (gone->introduced || gone->expected)
        TRKLog::log(QStringLiteral("Nearby: session with %1 ended (%2)")
                        .arg(hexID(gone->introduced ? gone->peer : gone->expected), why));
    if (gone->introduced) publish();
}

void NearbyWorker::sendPacket(const QByteArray& sealed) {
    const QByteArray framed = frame(sealed);
    for (auto& s : sessions_) {
        if (!s->introduced) continue;
        // A peer that stopped reading must not grow our memory: it misses packets instead.
        if (s->socket->bytesToWrite() > o_.writeLimit) {
            if (!s->overflowLogged)
                TRKLog::log(
                    QStringLiteral("Nearby: %1 is not keeping up, dropping packets").arg(hexID(s->peer)));
            s->overflowLogged = true;
            continue;
        }
        s->overflowLogged = false;
        s->socket->write(framed);
    }
}

void NearbyWorker::publish() {
    const int n =
        int(std::count_if(sessions_.begin(), sessions_.end(), [](const auto& s) { return s->introduced; }));
    if (n == lastPublished_) return;
    lastPublished_ = n;
    QString text;
    if (n == 0)
        text = QStringLiteral("Nearby: looking for devices\u2026");
    else if (n == 1)
        text = QStringLiteral("Nearby: 1 device connected");
    else
        text = QStringLiteral("Nearby: %1 devices connected").arg(n);
    t_->publish({text, true, n, {}});
}

static quint64 freshPeerID() {
    quint64 id = 0;
    while (id == 0)
        id = QRandomGenerator::system()->generate64();
    return id;
}

NearbyTransport::NearbyTransport() : NearbyTransport(Options()) {}

NearbyTransport::NearbyTransport(Options options) : options_(std::move(options)), peerID_(freshPeerID()) {
    status_.text = QStringLiteral("Nearby: off");
}

NearbyTransport::~NearbyTransport() {
    stop();
}

quint64 NearbyTransport::peerID() const {
    return peerID_;
}

TransportStatus NearbyTransport::status() const {
    QMutexLocker locker(&lock_);
    return status_;
}

int NearbyTransport::peerCount() const {
    QMutexLocker locker(&lock_);
    return peers_;
}

void NearbyTransport::publish(const TransportStatus& s) {
    {
        QMutexLocker locker(&lock_);
        status_ = s;
        peers_ = s.units;
    }
    if (onStatus_) onStatus_(s);
}

void NearbyTransport::start() {
    QMutexLocker locker(&lock_);
    if (started_) return;
    started_ = true;
    thread_ = QThread::create([this] {
        QEventLoop loop;
        NearbyWorker worker(this);
        {
            QMutexLocker locker(&lock_);
            if (stopped_) return;
            worker_ = &worker;
        }
        if (worker.begin()) loop.exec();
        QMutexLocker locker(&lock_);
        worker_ = nullptr;
        // Packets still posted die with the worker; the count must not stay raised.
        pending_ = 0;
        opened_.clear();
        openedPosted_ = false;
    });
    thread_->setObjectName(QStringLiteral("qmrl.trk.nearby"));
    thread_->start();
}

void NearbyTransport::stop() {
    {
        QMutexLocker locker(&lock_);
        if (!started_ || stopped_) return;
        stopped_ = true;
        if (worker_)
            QMetaObject::invokeMethod(
                worker_, [] { QThread::currentThread()->exit(0); }, Qt::QueuedConnection);
    }
    thread_->wait();
    delete thread_;
    thread_ = nullptr;
    QMutexLocker locker(&lock_);
    status_ = {QStringLiteral("Nearby: off"), false, 0, {}};
    peers_ = 0;
}

void NearbyTransport::packetOpened(const QByteArray& sealed) {
    QMutexLocker locker(&lock_);
    if (!worker_ || stopped_ || sealed.size() < 16) return;
    // Bounded, and one posted call at a time however many packets open meanwhile.
    if (opened_.size() < postedLimit) opened_.append(Key16::tail(sealed));
    if (std::exchange(openedPosted_, true)) return;
    NearbyWorker* w = worker_;
    QMetaObject::invokeMethod(
        w,
        [this, w] {
            QList<Key16> tails;
            {
                QMutexLocker locker(&lock_);
                tails = std::exchange(opened_, {});
                openedPosted_ = false;
            }
            w->prove(tails);
        },
        Qt::QueuedConnection);
}

void NearbyTransport::send(const QByteArray& sealed) {
    QMutexLocker locker(&lock_);
    if (!worker_ || stopped_) return;
    if (pending_.load() >= postedLimit)
        return; // the worker is far behind; a voice frame this late is useless anyway
    ++pending_;
    NearbyWorker* w = worker_;
    QMetaObject::invokeMethod(
        w,
        [this, w, sealed] {
            w->sendPacket(sealed);
            --pending_;
        },
        Qt::QueuedConnection);
}
