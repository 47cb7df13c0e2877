#include "LANTransport.h"

#include "Packet.h"
#include "TRKLog.h"

#include <QThread>
#include <algorithm>
#include <cerrno>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
constexpr qsizetype tagLength = 16;
constexpr int readBufferSize = 65535;

QString peerText(quint32 address, quint16 port) {
    return NetInterfaces::addressText(address) + QLatin1Char(':') + QString::number(port);
}
} // namespace

LANTransport::PeerList LANTransport::parseDirectPeers(const QString& text, quint16 defaultPort) {
    PeerList out;
    for (const QString& raw : text.split(QLatin1Char(','))) {
        const QString entry = raw.trimmed();
        if (entry.isEmpty()) continue;
        QString host = entry;
        quint16 port = defaultPort;
        const qsizetype colon = entry.indexOf(QLatin1Char(':'));
        bool ok = true;
        if (colon >= 0) {
            host = entry.left(colon);
            const QString digits = entry.mid(colon + 1);
            const bool allDigits =
                !digits.isEmpty() && digits.size() <= 5 &&
                std::all_of(digits.begin(), digits.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
            const uint value = allDigits ? digits.toUInt() : 0;
            ok = value >= 1 && value <= 65535;
            port = quint16(value);
        }
        const auto address = ok ? NetInterfaces::parseAddress(host) : std::nullopt;
        if (!address) {
            out.rejected.append(entry);
            continue;
        }
        const Peer peer{*address, port};
        if (!out.peers.contains(peer)) out.peers.append(peer);
    }
    return out;
}

LANTransport::LANTransport(Options options) : options_(std::move(options)), port_(options_.port) {
    setDirectPeers(options_.directPeers);
}

LANTransport::LANTransport() : LANTransport(Options()) {}

LANTransport::~LANTransport() {
    stop();
}

void LANTransport::setDirectPeers(const QString& text) {
    const PeerList parsed = parseDirectPeers(text, port());
    QMutexLocker locker(&lock_);
    if (text == peersText_) return;
    peersText_ = text;
    peers_ = parsed.peers;
    locker.unlock();
    // Logged once per change of the typed text, not on every send.
    for (const QString& bad : parsed.rejected)
        TRKLog::log(
            QStringLiteral("LAN: skipping typed peer \"%1\" (expected a.b.c.d or a.b.c.d:port)").arg(bad));
}

void LANTransport::start() {
    QMutexLocker locker(&lock_);
    if (started_) return;
    started_ = true;
    QString error;
    quint16 bound = 0;
    fd_ = NetInterfaces::openUdp(options_.port, &bound, &error);
    if (fd_ < 0) {
        openError_ = error;
        locker.unlock();
        TRKLog::log(QStringLiteral("LAN: can't open UDP port %1 (%2)").arg(options_.port).arg(error));
        publishStatus();
        return;
    }
    port_ = bound;
    wakeFd_ = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
    // Peers typed without a port take the port in use (it differs from the option when that was 0).
    if (options_.port == 0) {
        const PeerList parsed = parseDirectPeers(peersText_, port_);
        peers_ = parsed.peers;
    }
    locker.unlock();
    TRKLog::log(QStringLiteral("LAN: listening on UDP %1").arg(port_));
    relist();

    receiver_ = QThread::create([this] { receiveLoop(); });
    receiver_->setObjectName(QStringLiteral("qmrl.trk.lan.receive"));
    sender_ = QThread::create([this] { sendLoop(); });
    sender_->setObjectName(QStringLiteral("qmrl.trk.lan.send"));
    receiver_->start();
    sender_->start();
}

void LANTransport::stop() {
    {
        QMutexLocker locker(&lock_);
        if (!started_ || stopped_ || stopping_) {
            stopped_ = started_;
            return;
        }
        stopping_ = true;
        wake_.wakeAll();
    }
    if (wakeFd_ >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
    for (QThread* t : {receiver_, sender_}) {
        if (t) {
            t->wait();
            delete t;
        }
    }
    receiver_ = sender_ = nullptr;
    QMutexLocker locker(&lock_);
    if (fd_ >= 0) ::close(fd_);
    if (wakeFd_ >= 0) ::close(wakeFd_);
    fd_ = wakeFd_ = -1;
    queue_.clear();
    stopped_ = true;
}

void LANTransport::send(const QByteArray& sealed) {
    QMutexLocker locker(&lock_);
    if (stopping_ || stopped_ || openError_) return;
    queue_.push_back(sealed);
    if (qsizetype(queue_.size()) > options_.queueLimit) {
        queue_.pop_front();
        ++dropped_;
        if (!dropLogged_) {
            dropLogged_ = true;
            locker.unlock();
            TRKLog::log(QStringLiteral("LAN: send queue full, dropping the oldest packets"));
            locker.relock();
        }
    }
    wake_.wakeOne();
}

void LANTransport::relist() {
    const QList<NetInterface> now = NetInterfaces::usable(options_.interfaces);
    QMutexLocker locker(&lock_);
    if (fd_ < 0) return;
    auto same = [](const NetInterface& a, const NetInterface& b) {
        return a.name == b.name && a.index == b.index && a.address == b.address;
    };
    QStringList changes;
    for (const auto& old : std::as_const(interfaces_)) {
        if (std::none_of(now.begin(), now.end(), [&](const auto& n) { return same(n, old); })) {
            NetInterfaces::leave(fd_, group, old);
            changes << QStringLiteral("-%1").arg(old.name);
        }
    }
    for (const auto& n : now) {
        if (std::none_of(interfaces_.begin(), interfaces_.end(), [&](const auto& o) { return same(n, o); })) {
            if (!NetInterfaces::join(fd_, group, n))
                changes << QStringLiteral("%1 (group join failed)").arg(n.name);
            else
                changes << QStringLiteral("+%1 %2").arg(n.name, NetInterfaces::addressText(n.address));
        }
    }
    interfaces_ = now;
    locker.unlock();
    if (!changes.isEmpty())
        TRKLog::log(QStringLiteral("LAN: interfaces %1").arg(changes.join(QStringLiteral(", "))));
}

void LANTransport::rememberTag(const QByteArray& tag, Clock::time_point now) {
    tags_.insert(tag, now);
    tagOrder_.emplace_back(now, tag);
    while (qsizetype(tagOrder_.size()) > options_.tagLimit) {
        auto it = tags_.find(tagOrder_.front().second);
        if (it != tags_.end() && it.value() == tagOrder_.front().first) tags_.erase(it);
        tagOrder_.pop_front();
    }
}

void LANTransport::pruneLocked(Clock::time_point now) {
    const auto echoMemory = std::chrono::milliseconds(options_.echoMemoryMs);
    while (!tagOrder_.empty() && tagOrder_.front().first + echoMemory <= now) {
        auto it = tags_.find(tagOrder_.front().second);
        if (it != tags_.end() && it.value() == tagOrder_.front().first) tags_.erase(it);
        tagOrder_.pop_front();
    }
    const auto heardExpiry = std::chrono::milliseconds(options_.heardExpiryMs);
    for (auto it = heard_.begin(); it != heard_.end();) {
        if (it->second + heardExpiry <= now)
            it = heard_.erase(it);
        else
            ++it;
    }
}

void LANTransport::sendOne(const QByteArray& sealed) {
    QList<NetInterface> interfaces;
    QList<Peer> peers;
    quint16 port;
    {
        QMutexLocker locker(&lock_);
        interfaces = interfaces_;
        peers = peers_;
        port = port_;
        // Remembered before the first send: the echo can arrive before sendto returns.
        if (sealed.size() >= tagLength) rememberTag(sealed.right(tagLength), Clock::now());
    }
    int ok = 0, failed = 0;
    std::optional<QString> error;
    auto deliver = [&](quint32 address, quint16 toPort) {
        if (auto e = NetInterfaces::sendTo(fd_, sealed, address, toPort)) {
            ++failed;
            error = *e;
            TRKLog::log(QStringLiteral("LAN: send to %1 failed: %2").arg(peerText(address, toPort), *e));
        } else {
            ++ok;
        }
    };
    for (const auto& iface : std::as_const(interfaces)) {
        if (NetInterfaces::setMulticastInterface(fd_, iface)) deliver(group, port);
        if (iface.broadcast) deliver(*iface.broadcast, port);
    }
    const int onInterfaces = ok; // only these come back; datagrams to typed addresses never do
    for (const auto& peer : std::as_const(peers)) {
        if (peer.port != 0) deliver(peer.address, peer.port);
    }

    bool changed;
    {
        QMutexLocker locker(&lock_);
        const int before = interfaceSent_;
        sent_ += ok;
        interfaceSent_ += onInterfaces;
        errors_ += failed;
        if (error) lastError_ = error;
        if (before < 3 && interfaceSent_ >= 3) thirdSendAt_ = Clock::now();
        const bool nowFailed = ok == 0 && failed > 0;
        changed = nowFailed != lastPacketFailed_;
        lastPacketFailed_ = nowFailed;
    }
    if (changed) publishStatus();
}

void LANTransport::sendLoop() {
    auto nextRelist = Clock::now() + std::chrono::milliseconds(options_.relistMs);
    for (;;) {
        QByteArray packet;
        {
            QMutexLocker locker(&lock_);
            while (queue_.empty() && !stopping_ && Clock::now() < nextRelist) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(nextRelist - Clock::now());
                wake_.wait(&lock_, QDeadlineTimer(std::max<qint64>(1, left.count())));
            }
            if (stopping_) return;
            if (!queue_.empty()) {
                packet = std::move(queue_.front());
                queue_.pop_front();
                if (queue_.empty()) dropLogged_ = false;
            }
        }
        if (Clock::now() >= nextRelist) {
            relist();
            publishStatus();
            nextRelist = Clock::now() + std::chrono::milliseconds(options_.relistMs);
        }
        if (!packet.isNull()) sendOne(packet);
    }
}

void LANTransport::receiveLoop() {
    publishStatus();
    QByteArray buffer(readBufferSize, Qt::Uninitialized);
    const int tick = std::clamp(options_.heardExpiryMs / 4, 10, 500);
    for (;;) {
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, tick);
        {
            QMutexLocker locker(&lock_);
            if (stopping_) return;
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            for (;;) {
                sockaddr_in from{};
                socklen_t fromLength = sizeof from;
                const ssize_t got = ::recvfrom(fd_, buffer.data(), size_t(buffer.size()), MSG_DONTWAIT,
                                               reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (got < 0) break;
                const QByteArray datagram(buffer.constData(), qsizetype(got));
                if (!Packet::looksSealed(datagram))
                    continue; // short or foreign: not ours, not worth a log line
                const quint32 source = ntohl(from.sin_addr.s_addr);
                const Source src{source, ntohs(from.sin_port)};
                const auto now = Clock::now();
                bool deliver = false;
                bool newUnit = false;
                QStringList lines;
                {
                    QMutexLocker locker(&lock_);
                    pruneLocked(now);
                    if (tags_.contains(datagram.right(tagLength))) {
                        ++(NetInterfaces::isLoopback(source) ? loopbackEchoes_ : networkEchoes_);
                    } else {
                        ++received_;
                        newUnit = heard_.find(src) == heard_.end();
                        if (!newUnit || int(heard_.size()) < options_.heardLimit)
                            heard_[src] = now;
                        else
                            newUnit = false;
                        if (newUnit) lines = heardLinesLocked(src, now);
                        deliver = true;
                    }
                }
                if (newUnit) {
                    for (const QString& line : std::as_const(lines))
                        TRKLog::log(line);
                    publishStatus();
                }
                if (deliver && onPacket_) onPacket_(datagram);
            }
        }
        publishStatus();
    }
}

QStringList LANTransport::heardLinesLocked(const Source& src, Clock::time_point now) {
    QStringList lines;
    if (!heardLogWindow_ || now - *heardLogWindow_ >= std::chrono::milliseconds(options_.heardLogWindowMs)) {
        if (heardUnlogged_ > 0)
            lines << QStringLiteral(
                         "LAN: heard %1 more new unit(s) in the last minute, not logged one by one")
                         .arg(heardUnlogged_);
        heardLogWindow_ = now;
        heardLogged_ = heardUnlogged_ = 0;
    }
    if (heardLogged_ < options_.heardLogFirst) {
        ++heardLogged_;
        lines << QStringLiteral("LAN: heard a unit at %1").arg(peerText(src.address, src.port));
    } else {
        ++heardUnlogged_;
    }
    return lines;
}

std::optional<bool> LANTransport::pathLocked(Clock::time_point now) const {
    if (interfaces_.isEmpty() || sent_ < 3) return std::nullopt;
    if (networkEchoes_ > 0) return true;
    // An echo may still be on its way: only a third group or broadcast send that is old enough
    // proves a block.
    if (!thirdSendAt_ || now - *thirdSendAt_ < std::chrono::milliseconds(options_.pathVerdictMs))
        return std::nullopt;
    return false;
}

int LANTransport::liveUnitsLocked(Clock::time_point now) const {
    const auto expiry = std::chrono::milliseconds(options_.heardExpiryMs);
    return int(
        std::count_if(heard_.begin(), heard_.end(), [&](const auto& e) { return e.second + expiry > now; }));
}

TransportStatus LANTransport::statusLocked(Clock::time_point now) const {
    TransportStatus s;
    if (!started_ || stopped_ || stopping_) {
        s.text = QStringLiteral("LAN: off");
        return s;
    }
    if (openError_) {
        s.text = QStringLiteral("LAN: can't open UDP port %1 (%2)").arg(options_.port).arg(*openError_);
        return s;
    }
    s.up = true;
    s.units = liveUnitsLocked(now);
    if (lastPacketFailed_ && lastError_)
        s.text = QStringLiteral("LAN: can't send (%1)").arg(*lastError_);
    else if (s.units == 1)
        s.text = QStringLiteral("LAN: hearing 1 unit");
    else if (s.units > 1)
        s.text = QStringLiteral("LAN: hearing %1 units").arg(s.units);
    else if (interfaces_.isEmpty())
        s.text = QStringLiteral("LAN: no network interface (typed addresses only)");
    else
        s.text = QStringLiteral("LAN: listening on UDP %1, no other unit heard yet").arg(port_);
    return s;
}

TransportStatus LANTransport::status() const {
    QMutexLocker locker(&lock_);
    TransportStatus s = statusLocked(Clock::now());
    return s;
}

void LANTransport::publishStatus() {
    QMutexLocker statusLocker(&statusLock_);
    TransportStatus s;
    {
        QMutexLocker locker(&lock_);
        if (stopping_) return;
        pruneLocked(Clock::now());
        s = statusLocked(Clock::now());
    }
    if (s.text == lastStatusText_ && s.units == lastStatusUnits_) return;
    lastStatusText_ = s.text;
    lastStatusUnits_ = s.units;
    if (onStatus_) onStatus_(s);
}

int LANTransport::sentCount() const {
    QMutexLocker locker(&lock_);
    return sent_;
}
int LANTransport::receivedCount() const {
    QMutexLocker locker(&lock_);
    return received_;
}
int LANTransport::errorCount() const {
    QMutexLocker locker(&lock_);
    return errors_;
}
std::optional<QString> LANTransport::lastError() const {
    QMutexLocker locker(&lock_);
    return lastError_;
}
int LANTransport::networkEchoes() const {
    QMutexLocker locker(&lock_);
    return networkEchoes_;
}
int LANTransport::loopbackEchoes() const {
    QMutexLocker locker(&lock_);
    return loopbackEchoes_;
}
std::optional<bool> LANTransport::networkPathOK() const {
    QMutexLocker locker(&lock_);
    return pathLocked(Clock::now());
}
quint16 LANTransport::port() const {
    QMutexLocker locker(&lock_);
    return port_;
}
int LANTransport::queuedCount() const {
    QMutexLocker locker(&lock_);
    return int(queue_.size());
}

int LANTransport::unitsHeard() const {
    QMutexLocker locker(&lock_);
    return liveUnitsLocked(Clock::now());
}

QStringList LANTransport::heardAddresses() const {
    QMutexLocker locker(&lock_);
    const auto now = Clock::now();
    const auto expiry = std::chrono::milliseconds(options_.heardExpiryMs);
    QList<quint32> addresses;
    for (const auto& [source, last] : heard_) {
        if (last + expiry > now && !addresses.contains(source.address)) addresses.append(source.address);
    }
    std::sort(addresses.begin(), addresses.end());
    QStringList out;
    for (quint32 a : addresses)
        out.append(NetInterfaces::addressText(a));
    return out;
}
