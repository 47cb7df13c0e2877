#include "LANTransport.h"

#include "Packet.h"
#include "TRKLog.h"

#include <QSet>
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
// The status is worked out at most this often while datagrams pour in; changes wait for it.
constexpr auto statusInterval = std::chrono::milliseconds(100);

QString peerText(quint32 address, quint16 port) {
    return NetInterfaces::addressText(address) + QLatin1Char(':') + QString::number(port);
}
} // namespace

LANTransport::PeerList LANTransport::parseDirectPeers(const QString& text, quint16 defaultPort) {
    PeerList out;
    QSet<quint64> seen; // a list of many thousands must not be searched once per entry
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
        if (!seen.contains(quint64(*address) << 16 | port)) {
            seen.insert(quint64(*address) << 16 | port);
            out.peers.append(Peer{*address, port});
        }
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
        refuseSends();
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
    }
    refuseSends();
    wakeReceiver();
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
    stopped_ = true;
}

// From now on send() drops what it is given, and nothing waiting is sent: the port is gone or going.
void LANTransport::refuseSends() {
    QMutexLocker locker(&queueLock_);
    refusing_ = true;
    queue_.clear();
    queued_ = 0;
    wake_.wakeAll();
}

void LANTransport::wakeReceiver() {
    if (wakeFd_ >= 0) {
        const quint64 one = 1;
        [[maybe_unused]] auto n = ::write(wakeFd_, &one, sizeof one);
    }
}

void LANTransport::send(const QByteArray& sealed) {
    QMutexLocker locker(&queueLock_);
    if (refusing_) return;
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
    queued_ = int(queue_.size());
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

void LANTransport::rememberTagLocked(const Key16& tag, Clock::time_point now) {
    tags_.insert(tag, now);
    tagOrder_.emplace_back(now, tag);
    while (qsizetype(tagOrder_.size()) > options_.tagLimit) {
        auto it = tags_.find(tagOrder_.front().second);
        if (it != tags_.end() && it.value() == tagOrder_.front().first) tags_.erase(it);
        tagOrder_.pop_front();
    }
}

void LANTransport::pruneTagsLocked(Clock::time_point now) {
    const auto echoMemory = std::chrono::milliseconds(options_.echoMemoryMs);
    while (!tagOrder_.empty() && tagOrder_.front().first + echoMemory <= now) {
        auto it = tags_.find(tagOrder_.front().second);
        if (it != tags_.end() && it.value() == tagOrder_.front().first) tags_.erase(it);
        tagOrder_.pop_front();
    }
}

// Expired sources are dropped here, at status time; between prunes a stale entry counts as unheard.
void LANTransport::pruneLocked(Clock::time_point now) {
    const auto heardExpiry = std::chrono::milliseconds(options_.heardExpiryMs);
    for (auto it = heard_.begin(); it != heard_.end();) {
        if (it->second + heardExpiry <= now)
            it = heard_.erase(it);
        else
            ++it;
    }
}

void LANTransport::sendBatch(const std::deque<QByteArray>& batch) {
    QList<NetInterface> interfaces;
    QList<Peer> peers;
    quint16 port;
    int interfaceSentBefore;
    {
        QMutexLocker locker(&lock_);
        interfaces = interfaces_;
        peers = peers_;
        port = port_;
        interfaceSentBefore = interfaceSent_; // only this thread changes it
    }
    {
        // Remembered before the first send: the echo can arrive before sendto returns.
        QMutexLocker locker(&tagLock_);
        const auto now = Clock::now();
        for (const QByteArray& sealed : batch)
            if (sealed.size() >= tagLength) rememberTagLocked(Key16::tail(sealed), now);
    }
    int ok = 0, failed = 0, onInterfaces = 0;
    std::optional<QString> error;
    std::optional<bool> lastFailed; // the last packet's verdict
    std::optional<Clock::time_point> thirdAt;
    for (const QByteArray& sealed : batch) {
        if (stopping_) break;
        int packetOk = 0, packetFailed = 0;
        auto deliver = [&](quint32 address, quint16 toPort) {
            if (auto e = NetInterfaces::sendTo(fd_, sealed, address, toPort)) {
                ++packetFailed;
                error = *e;
                logSendFailure(address, toPort, *e);
            } else {
                ++packetOk;
            }
        };
        for (const auto& iface : std::as_const(interfaces)) {
            if (NetInterfaces::setMulticastInterface(fd_, iface)) deliver(group, port);
            if (iface.broadcast) deliver(*iface.broadcast, port);
        }
        const int packetOnInterfaces = packetOk; // only these come back; typed addresses never do
        for (const auto& peer : std::as_const(peers)) {
            if (peer.port != 0) deliver(peer.address, peer.port);
        }
        const int before = interfaceSentBefore + onInterfaces;
        onInterfaces += packetOnInterfaces;
        if (before < 3 && interfaceSentBefore + onInterfaces >= 3) thirdAt = Clock::now();
        ok += packetOk;
        failed += packetFailed;
        lastFailed = packetOk == 0 && packetFailed > 0;
    }
    if (!lastFailed) return;

    bool changed;
    {
        QMutexLocker locker(&lock_);
        sent_ += ok;
        interfaceSent_ += onInterfaces;
        errors_ += failed;
        if (error) lastError_ = error;
        if (thirdAt) thirdSendAt_ = thirdAt;
        changed = *lastFailed != lastPacketFailed_;
        lastPacketFailed_ = *lastFailed;
    }
    if (changed) requestStatus();
}

void LANTransport::sendLoop() {
    auto nextRelist = Clock::now() + std::chrono::milliseconds(options_.relistMs);
    std::deque<QByteArray> batch;
    for (;;) {
        {
            QMutexLocker locker(&queueLock_);
            // Caught up: the next overflow is a new one, worth its own log line.
            if (queue_.empty()) dropLogged_ = false;
            while (queue_.empty() && !stopping_ && Clock::now() < nextRelist) {
                const auto left =
                    std::chrono::duration_cast<std::chrono::milliseconds>(nextRelist - Clock::now());
                wake_.wait(&queueLock_, QDeadlineTimer(std::max<qint64>(1, left.count())));
            }
            if (stopping_) return;
            batch.swap(queue_);
            queued_ = 0;
        }
        if (Clock::now() >= nextRelist) {
            relist();
            requestStatus();
            nextRelist = Clock::now() + std::chrono::milliseconds(options_.relistMs);
        }
        if (!batch.empty()) {
            sendBatch(batch);
            batch.clear();
        }
    }
}

void LANTransport::requestStatus() {
    statusWanted_ = true;
    wakeReceiver();
}

void LANTransport::noteHeardLocked(const Source& src, Clock::time_point now, bool* newUnit) {
    const auto expiry = std::chrono::milliseconds(options_.heardExpiryMs);
    auto it = heard_.find(src);
    *newUnit = it == heard_.end() || it->second + expiry <= now;
    if (it != heard_.end()) {
        it->second = now;
        return;
    }
    if (int(heard_.size()) >= options_.heardLimit) pruneLocked(now);
    if (int(heard_.size()) < options_.heardLimit)
        heard_.emplace(src, now);
    else
        *newUnit = false;
}

void LANTransport::receiveLoop() {
    publishStatus();
    auto lastStatus = Clock::now();
    QByteArray buffer(readBufferSize, Qt::Uninitialized);
    const auto tick = std::chrono::milliseconds(std::clamp(options_.heardExpiryMs / 4, 10, 500));
    for (;;) {
        // Every tick the status is looked at anyway (sources expire); a wanted one comes sooner, but
        // never within statusInterval of the last.
        auto statusAt = lastStatus + (statusWanted_ ? statusInterval : tick);
        const auto wait = std::chrono::ceil<std::chrono::milliseconds>(statusAt - Clock::now());
        pollfd fds[2] = {{fd_, POLLIN, 0}, {wakeFd_, POLLIN, 0}};
        const int n = ::poll(fds, 2, int(std::clamp<qint64>(wait.count(), 0, tick.count())));
        if (stopping_) return;
        if (n > 0 && (fds[1].revents & POLLIN)) {
            quint64 count;
            [[maybe_unused]] auto r = ::read(wakeFd_, &count, sizeof count);
        }
        if (n > 0 && (fds[0].revents & POLLIN)) {
            for (;;) {
                sockaddr_in from{};
                socklen_t fromLength = sizeof from;
                const ssize_t got = ::recvfrom(fd_, buffer.data(), size_t(buffer.size()), MSG_DONTWAIT,
                                               reinterpret_cast<sockaddr*>(&from), &fromLength);
                if (got < 0) break;
                const QByteArray view = QByteArray::fromRawData(buffer.constData(), qsizetype(got));
                if (!Packet::looksSealed(view)) continue; // short or foreign: not ours, not worth a log line
                const quint32 source = ntohl(from.sin_addr.s_addr);
                const Source src{source, ntohs(from.sin_port)};
                const auto now = Clock::now();
                bool echo;
                {
                    QMutexLocker locker(&tagLock_);
                    pruneTagsLocked(now);
                    echo = tags_.contains(Key16::tail(view));
                }
                bool newUnit = false;
                QStringList lines;
                {
                    QMutexLocker locker(&lock_);
                    if (echo) {
                        ++(NetInterfaces::isLoopback(source) ? loopbackEchoes_ : networkEchoes_);
                    } else {
                        ++received_;
                        noteHeardLocked(src, now, &newUnit);
                        if (newUnit) lines = heardLinesLocked(src, now);
                    }
                }
                if (newUnit) {
                    for (const QString& line : std::as_const(lines))
                        TRKLog::log(line);
                    statusWanted_ = true;
                }
                if (!echo && onPacket_) onPacket_(QByteArray(buffer.constData(), qsizetype(got)));
            }
        }
        const auto now = Clock::now();
        if (now >= lastStatus + (statusWanted_ ? statusInterval : tick)) {
            statusWanted_ = false;
            publishStatus();
            lastStatus = now;
        }
    }
}

void LANTransport::logSendFailure(quint32 address, quint16 port, const QString& error) {
    const qint64 ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now().time_since_epoch()).count();
    const auto pace = sendFailLog_.pace(ms, options_.sendFailLogWindowMs, options_.sendFailLogFirst);
    if (pace.heldBack > 0)
        TRKLog::log(QStringLiteral("LAN: %1 more sends failed in the last minute, not logged one by one")
                        .arg(pace.heldBack));
    if (pace.write)
        TRKLog::log(QStringLiteral("LAN: send to %1 failed: %2").arg(peerText(address, port), error));
}

QStringList LANTransport::heardLinesLocked(const Source& src, Clock::time_point now) {
    QStringList lines;
    const qint64 ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count();
    const auto pace = heardLog_.pace(ms, options_.heardLogWindowMs, options_.heardLogFirst);
    if (pace.heldBack > 0)
        lines << QStringLiteral("LAN: heard %1 more new unit(s) in the last minute, not logged one by one")
                     .arg(pace.heldBack);
    if (pace.write) lines << QStringLiteral("LAN: heard a unit at %1").arg(peerText(src.address, src.port));
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
    {
        // Old tags go here too, so a link that only sends does not keep them until the cap.
        QMutexLocker locker(&tagLock_);
        pruneTagsLocked(Clock::now());
    }
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

LANTransport::Counters LANTransport::counters() const {
    QMutexLocker locker(&lock_);
    const auto now = Clock::now();
    Counters c;
    c.sent = sent_;
    c.received = received_;
    c.errors = errors_;
    c.lastError = lastError_;
    c.networkEchoes = networkEchoes_;
    c.loopbackEchoes = loopbackEchoes_;
    c.networkPathOK = pathLocked(now);
    c.unitsHeard = liveUnitsLocked(now);
    const auto expiry = std::chrono::milliseconds(options_.heardExpiryMs);
    QList<quint32> addresses;
    for (const auto& [source, last] : heard_) {
        if (last + expiry > now && !addresses.contains(source.address)) addresses.append(source.address);
    }
    std::sort(addresses.begin(), addresses.end());
    for (quint32 a : addresses)
        c.heardAddresses.append(NetInterfaces::addressText(a));
    return c;
}

quint16 LANTransport::port() const {
    QMutexLocker locker(&lock_);
    return port_;
}
int LANTransport::queuedCount() const {
    return queued_;
}
