// Link management: which links run, their callbacks moved to the main thread, their status, and the
// one-line explanation of a channel's link state.
#include "ModelPrivate.h"

#include "LANTransport.h"
#include "NearbyTransport.h"
#include "RelayTransport.h"
#include "TRKLog.h"

namespace {
const char* const linkNames[linkCount] = {"relay", "nearby", "lan"};

QString offText(int i) {
    switch (i) {
    case relayLink:
        return QStringLiteral("Relay: off");
    case nearbyLink:
        return QStringLiteral("Nearby: off");
    default:
        return QStringLiteral("LAN: off");
    }
}

int linkIndex(const QString& name) {
    for (int i = 0; i < linkCount; ++i)
        if (name == QLatin1String(linkNames[i])) return i;
    return -1;
}
} // namespace

bool WalkieModel::linkWanted(int i) const {
    if (transportsOverride_ && !transportsOverride_->contains(QLatin1String(linkNames[i]))) return false;
    switch (i) {
    case relayLink:
        return useRelay();
    case nearbyLink:
        return p_->allowNearby && useNearby();
    default:
        return useLAN();
    }
}

std::unique_ptr<Transport> WalkieModel::makeLink(int i) const {
    switch (i) {
    case relayLink:
        return std::make_unique<RelayTransport>(relayURL());
    case nearbyLink:
        return std::make_unique<NearbyTransport>();
    default: {
        LANTransport::Options o;
        o.port = lanPortOverride_.value_or(LANTransport::defaultPort);
        o.directPeers = directPeersOverride_.value_or(directPeers());
        return std::make_unique<LANTransport>(o);
    }
    }
}

QStringList WalkieModel::channelIDs() const {
    QStringList ids;
    for (const Channel& c : channels_)
        if (!ids.contains(c.channelID())) ids.append(c.channelID());
    return ids;
}

void WalkieModel::startLink(int i) {
    auto& link = p_->links[i];
    if (link.transport || !linkWanted(i)) return;
    std::unique_ptr<Transport> t = makeLink(i);
    if (!t) return;
    const quint64 gen = p_->nextGeneration++;
    // Links call these on their own threads. Packets wait in the link's bounded inbox and the main
    // thread takes them in batches; the call is dropped there if this link has been replaced meanwhile.
    auto inbox = std::make_shared<PacketInbox>();
    inbox->setChannels(channels_);
    t->setPacketHandler([this, i, gen, inbox](const QByteArray& sealed) {
        if (inbox->put(sealed))
            QMetaObject::invokeMethod(
                this, [this, i, gen] { takePackets(i, gen); }, Qt::QueuedConnection);
    });
    t->setStatusHandler([this, i, gen](const TransportStatus& status) {
        QMetaObject::invokeMethod(
            this,
            [this, i, gen, status] {
                if (p_->links[i].generation == gen) applyStatus(i, status);
            },
            Qt::QueuedConnection);
    });
    t->setChannels(channelIDs());
    link.generation = gen;
    link.inbox = std::move(inbox);
    link.transport = std::move(t);
    link.transport->start();
    TRKLog::log(QStringLiteral("Link %1 started").arg(QLatin1String(linkNames[i])));
    applyStatus(i, link.transport->status());
    if (i == lanLink) emit lanChanged();
}

void WalkieModel::stopLink(int i) {
    auto& link = p_->links[i];
    if (!link.transport) return;
    link.generation = 0; // anything still queued from it is dropped
    link.transport->stop();
    link.transport.reset();
    link.inbox.reset();
    TRKLog::log(QStringLiteral("Link %1 stopped").arg(QLatin1String(linkNames[i])));
    TransportStatus off;
    off.text = offText(i);
    applyStatus(i, off);
    if (i == lanLink) emit lanChanged();
}

void WalkieModel::restartLink(int i) {
    stopLink(i);
    startLink(i);
    if (p_->links[i].transport)
        QMetaObject::invokeMethod(this, &WalkieModel::sendHello, Qt::QueuedConnection);
}

void WalkieModel::startLinks() {
    for (int i = 0; i < linkCount; ++i)
        startLink(i);
}

void WalkieModel::channelsChangedForLinks() {
    const QStringList ids = channelIDs();
    for (int i = 0; i < linkCount; ++i) {
        auto& link = p_->links[i];
        const bool wanted = linkWanted(i);
        if (link.transport && !wanted)
            stopLink(i);
        else if (!link.transport && wanted)
            startLink(i);
        else if (link.transport) {
            link.inbox->setChannels(channels_);
            link.transport->setChannels(ids);
        }
    }
}

void WalkieModel::takePackets(int i, quint64 gen) {
    if (p_->links[i].generation != gen) return;
    const std::shared_ptr<PacketInbox> inbox = p_->links[i].inbox;
    bool more = false;
    for (const QByteArray& sealed : inbox->take(&more)) {
        if (p_->links[i].generation != gen) return; // replaced while this batch was handled
        if (receiveSealed(sealed) && p_->links[i].generation == gen)
            p_->links[i].transport->packetOpened(sealed);
    }
    if (more)
        QMetaObject::invokeMethod(
            this, [this, i, gen] { takePackets(i, gen); }, Qt::QueuedConnection);
    if (const auto d = inbox->report(p_->handoverClock.elapsed()))
        TRKLog::log(
            QStringLiteral("Link %1: the radio fell behind; dropped %2 packet(s) for your channels and "
                           "%3 for other channels")
                .arg(QLatin1String(linkNames[i]))
                .arg(d->ours)
                .arg(d->foreign));
}

QString WalkieModel::linkDetails(const QString& name) const {
    const int i = linkIndex(name);
    if (i < 0 || !p_->links[i].inbox) return {};
    const auto d = p_->links[i].inbox->dropped();
    if (d.ours == 0 && d.foreign == 0) return {};
    return QStringLiteral("Dropped while the radio was busy: %1 packet(s) for your channels, %2 for other "
                          "channels.")
        .arg(d.ours)
        .arg(d.foreign);
}

void WalkieModel::applyDirectPeers() {
    if (directPeersOverride_) return;
    if (auto* l = lan()) l->setDirectPeers(directPeers());
}

void WalkieModel::setLanPortOverride(std::optional<quint16> port) {
    lanPortOverride_ = port;
    restartLink(lanLink);
}

void WalkieModel::setDirectPeersOverride(const std::optional<QString>& peers) {
    directPeersOverride_ = peers;
    restartLink(lanLink);
}

void WalkieModel::setTransportsOverride(const std::optional<QSet<QString>>& links) {
    transportsOverride_ = links;
    for (int i = 0; i < linkCount; ++i)
        restartLink(i);
}

LANTransport* WalkieModel::lan() const {
    return static_cast<LANTransport*>(p_->links[lanLink].transport.get());
}

void WalkieModel::sendSealed(const QByteArray& sealed) {
    for (int i : {relayLink, nearbyLink, lanLink})
        if (auto& t = p_->links[i].transport) t->send(sealed);
}

void WalkieModel::receiveStatus(const QString& link, const TransportStatus& status) {
    const int i = linkIndex(link);
    if (i >= 0) applyStatus(i, status);
}

void WalkieModel::applyStatus(int i, const TransportStatus& s) {
    switch (i) {
    case relayLink:
        if (relayUp_ != s.up) {
            relayUp_ = s.up;
            emit relayUpChanged();
        }
        if (relayStatus_ != s.text) {
            relayStatus_ = s.text;
            emit relayStatusChanged();
        }
        if (peerCounts_ != s.peerCounts) {
            peerCounts_ = s.peerCounts;
            emit peerCountsChanged();
        }
        break;
    case nearbyLink:
        if (nearbyPeers_ != s.units) {
            nearbyPeers_ = s.units;
            emit nearbyPeersChanged();
        }
        if (nearbyStatus_ != s.text) {
            nearbyStatus_ = s.text;
            emit nearbyStatusChanged();
        }
        break;
    default:
        if (lanUnits_ != s.units) {
            lanUnits_ = s.units;
            emit lanUnitsChanged();
        }
        if (lanStatus_ != s.text) {
            lanStatus_ = s.text;
            emit lanStatusChanged();
        }
        break;
    }
}

std::optional<int> WalkieModel::onlineCount(const Channel& channel) const {
    const int r = int(roster_.value(channel.channelID()).size());
    const int p = peerCounts_.value(channel.channelID(), 0);
    const int n = r > 0 ? std::max(r + 1, p) : p;
    if (n == 0) return std::nullopt;
    return n;
}

QString WalkieModel::linkReason(const Channel& channel) const {
    const int n = int(roster_.value(channel.channelID()).size());
    if (n >= 1) return QStringLiteral("Connected: hearing %1 other unit%2").arg(n).arg(n == 1 ? "" : "s");
    const qint64 t = nowMs();
    for (auto it = foreignChannels_.cbegin(); it != foreignChannels_.cend(); ++it)
        if (t - it.value() < 30000)
            return QStringLiteral("Unknown channel / key mismatch: another unit is heard, but on a different "
                                  "key. Check the channel name and passphrase (safety codes must match).");
    const QString waiting = QStringLiteral("Waiting for the other unit on this channel…");
    if (auto* l = lan()) {
        const auto figures = l->counters();
        if (figures.networkPathOK && !*figures.networkPathOK)
            return QStringLiteral(
                       "Your system is blocking this app on the network: allow UDP port %1 in the firewall.")
                .arg(l->port());
        if (figures.unitsHeard > 0 || nearbyPeers_ > 0 || relayUp_) return waiting;
        return QStringLiteral(
            "No other unit heard on the network yet. Is the app open on the other computer, same "
            "Wi-Fi? Try typing its IP in Setup.");
    }
    if (nearbyPeers_ > 0 || relayUp_) return waiting;
    return QStringLiteral("No link is on. Turn on LAN in Setup.");
}
