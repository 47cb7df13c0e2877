#pragma once
// The nearby link: units on the same local network find each other by a small UDP beacon and carry
// sealed packets over one TCP session per pair of units. The unit with the smaller peer ID dials.
// Everything runs in one worker thread ("qmrl.trk.nearby") with its own event loop.
#include "Key16.h"
#include "Transport.h"

#include <QMutex>
#include <QString>
#include <QStringList>
#include <atomic>
#include <optional>

class QThread;
class NearbyWorker;

class NearbyTransport : public Transport {
public:
    static constexpr quint16 defaultBeaconPort = 48788;
    static constexpr quint32 group = 0xEFFF4D58; // 239.255.77.88
    static inline const QByteArray serviceType = QByteArrayLiteral("qmt-walkie");

    struct Options {
        quint16 beaconPort = defaultBeaconPort;
        std::optional<QStringList> interfaces; // nothing: every usable interface; a list: exactly those
        int beaconIntervalMs = 2000;
        int peerExpiryMs = 10000; // a found peer is forgotten this long after its last beacon
        int keepAliveMs = 5000;   // an empty frame this often on every session
        int silenceMs = 15000;    // a session that hears nothing this long is closed
        int firstFrameMs = 5000;  // an accepted socket must introduce itself within this
        int maxSessions = 16;
        qint64 writeLimit = 1024 * 1024; // bytes waiting on one session before new packets skip it
        // Read from one session per turn of the event loop (and held by its socket at most), so one
        // fast sender cannot starve the others or grow the unit's memory. At least one largest frame.
        qint64 readBudget = 256 * 1024;
        // Frames one session may carry per second, far above voice (a frame every 100 ms from each of
        // a handful of talkers, plus hellos); past it frames are dropped, and a session over it for
        // overRateMs is closed.
        int maxFramesPerSecond = 200;
        int overRateMs = 5000;
        int maxPerAddress = 4;    // sessions with one remote address
        // Accepted sessions with one remote address that have not introduced themselves yet. A newcomer
        // past it takes the place of that address's oldest such session, so one address holds few
        // places that say nothing.
        int maxSilentPerAddress = 2;
        // An introduced session this young is not given up for a newcomer, so churn cannot push a real
        // unit out before it has carried its first packet. One that has said nothing has no such grace.
        int newcomerGraceMs = 3000;
        // "refusing a session" is logged for the first refusalLogFirst of each window; the rest of the
        // window's are summed up in one line, so connections refused by the thousand cannot flood the log.
        int refusalLogFirst = 10;
        int refusalLogWindowMs = 60000;
        int maxDialsInFlight = 4; // dialled sessions not yet introduced
        int redialMs = 30000;     // a peer not known to be real is dialled at most this often
        int provenMemory = 4096;  // packets remembered per unit to learn which session carried one
        int maxFound = 256;       // units known from beacons at once; a flood of made-up ones stops there
    };

    // "QMTN" | version 1 | peer ID (u64 BE) | TCP port (u16 BE) | length | service type.
    struct Beacon {
        quint64 peerID = 0;
        quint16 tcpPort = 0;
    };
    static QByteArray encodeBeacon(const Beacon& b);
    static std::optional<Beacon> decodeBeacon(const QByteArray& bytes);

    NearbyTransport();
    explicit NearbyTransport(Options options);
    ~NearbyTransport() override;

    QString name() const override { return QStringLiteral("nearby"); }
    TransportStatus status() const override;
    void setChannels(const QStringList&) override {} // sessions carry every packet, as the service does
    void send(const QByteArray& sealed) override;
    void start() override;
    void stop() override;
    void packetOpened(const QByteArray& sealed) override;

    int peerCount() const; // sessions past their first frame
    quint64 peerID() const;

private:
    friend class NearbyWorker;
    void publish(const TransportStatus& s); // from the worker thread

    const Options options_;
    const quint64 peerID_;
    mutable QMutex lock_;
    TransportStatus status_;
    int peers_ = 0;
    bool started_ = false, stopped_ = false;
    QThread* thread_ = nullptr;
    NearbyWorker* worker_ = nullptr; // lives in thread_; set and cleared under lock_
    std::atomic<int> pending_{0};    // packets posted to the worker and not yet written
    QList<Key16> opened_;            // tails of opened packets not yet taken by the worker
    bool openedPosted_ = false;
};
