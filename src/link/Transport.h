#pragma once
// What the three links share. Each link calls its handlers on its own thread; the model moves every
// call to the main thread. A link never opens what it carries.
#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>

struct TransportStatus {
    QString text;                   // one line, e.g. "LAN: hearing 2 units"
    bool up = false;                // relay connected / LAN socket open / nearby running
    int units = 0;                  // LAN: units heard; nearby: sessions past their first frame
    QHash<QString, int> peerCounts; // relay only: channel ID -> clients joined
};

class Transport {
public:
    using PacketHandler = std::function<void(const QByteArray& sealed)>;
    using StatusHandler = std::function<void(const TransportStatus& status)>;

    virtual ~Transport() = default;
    // Set before start(); called on the link's own thread.
    void setPacketHandler(PacketHandler h) { onPacket_ = std::move(h); }
    void setStatusHandler(StatusHandler h) { onStatus_ = std::move(h); }

    virtual QString name() const = 0; // "lan", "relay", "nearby"
    virtual TransportStatus status() const = 0;
    virtual void setChannels(const QStringList& channelIDs) = 0; // takes effect without a restart
    virtual void send(const QByteArray& sealed) = 0;             // never blocks the caller
    virtual void start() = 0;
    virtual void stop() = 0; // idempotent; joins the link's threads; no handler runs after it returns
    // The model tells the link that a packet it handed over opened with a joined channel's key (or
    // repeated one that did): whoever carried it is a real member. Any thread; cheap and bounded.
    virtual void packetOpened(const QByteArray& sealed) { Q_UNUSED(sealed); }

protected:
    PacketHandler onPacket_;
    StatusHandler onStatus_;
};
