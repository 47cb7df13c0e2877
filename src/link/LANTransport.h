#pragma once
// The home-network link: one IPv4 UDP socket on a fixed port. Every sealed packet goes once to the
// multicast group and once to the broadcast address of each usable interface, then to every typed
// peer. A receive thread delivers what arrives; a serial send thread ("qmrl.trk.lan.send") empties a
// bounded queue, a whole wake's worth at a time. Three locks, so sending, receiving and asking never
// wait on each other for long: one for the queue, one for the echo tags, one for the rest (counters,
// peer tables, heard sources).
#include "Key16.h"
#include "NetInterfaces.h"
#include "TRKLog.h"
#include "Transport.h"

#include <QHash>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QWaitCondition>
#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <optional>

class QThread;

class LANTransport : public Transport {
public:
    static constexpr quint16 defaultPort = 48787;
    static constexpr quint32 group = 0xEFFF4D57; // 239.255.77.87

    struct Options {
        quint16 port = defaultPort;            // 0 picks a free port (tests)
        QString directPeers;                   // "a.b.c.d[:port], ..."
        std::optional<QStringList> interfaces; // nothing: every usable interface; a list: exactly those
        int heardExpiryMs = 10000;             // an address counts as heard this long after its last datagram
        int echoMemoryMs = 10000;              // own tags are recognised this long after sending
        int relistMs = 5000;                   // interfaces are listed again this often
        int pathVerdictMs = 1000;              // no echo this long after the third send means blocked
        int queueLimit = 256;                  // packets waiting to be sent; the oldest is dropped
        int tagLimit = 65536;                  // own tags remembered at most (a flood must not grow memory)
        int heardLimit = 4096;                 // distinct sources tracked at most
        // "heard a unit" is logged for the first heardLogFirst new sources of each window; the rest of
        // the window's are summed up in one line, so a flood of made-up sources cannot flood the log.
        int heardLogFirst = 10;
        int heardLogWindowMs = 60000;
        // The same for failed sends: a firewall that refuses every datagram, or many typed peers that
        // cannot be reached, would otherwise log a line per peer and per packet.
        int sendFailLogFirst = 10;
        int sendFailLogWindowMs = 60000;
    };

    struct Peer {
        quint32 address = 0;
        quint16 port = 0;
        bool operator==(const Peer&) const = default;
    };
    struct PeerList {
        QList<Peer> peers;
        QStringList rejected; // entries that are neither a.b.c.d nor a.b.c.d:port
    };
    static PeerList parseDirectPeers(const QString& text, quint16 defaultPort);

    LANTransport();
    explicit LANTransport(Options options);
    ~LANTransport() override;

    QString name() const override { return QStringLiteral("lan"); }
    TransportStatus status() const override;
    void setChannels(const QStringList&) override {} // the home network carries every channel alike
    void send(const QByteArray& sealed) override;
    void start() override;
    void stop() override;

    void setDirectPeers(const QString& text);

    // What the link has done and heard, read under one lock so the figures agree with each other.
    struct Counters {
        int sent = 0;
        int received = 0;
        int errors = 0;
        std::optional<QString> lastError;
        int networkEchoes = 0;
        int loopbackEchoes = 0;
        std::optional<bool> networkPathOK; // nothing until there is a verdict
        QStringList heardAddresses;        // sorted by address
        int unitsHeard = 0;                // live sources (address and port)
    };
    Counters counters() const;
    quint16 port() const;
    int queuedCount() const;

private:
    using Clock = std::chrono::steady_clock;
    struct Source {
        quint32 address;
        quint16 port;
        bool operator<(const Source& o) const {
            return address != o.address ? address < o.address : port < o.port;
        }
    };

    void receiveLoop();
    void sendLoop();
    void relist();
    void sendBatch(const std::deque<QByteArray>& batch);
    void rememberTagLocked(const Key16& tag, Clock::time_point now);
    void pruneTagsLocked(Clock::time_point now);
    void pruneLocked(Clock::time_point now);
    void noteHeardLocked(const Source& src, Clock::time_point now, bool* newUnit);
    std::optional<bool> pathLocked(Clock::time_point now) const;
    TransportStatus statusLocked(Clock::time_point now) const;
    int liveUnitsLocked(Clock::time_point now) const;
    void publishStatus();
    void requestStatus(); // from the send thread: the receive thread publishes it soon
    void refuseSends();
    void wakeReceiver(); // ends the receive thread's wait
    QStringList heardLinesLocked(const Source& src, Clock::time_point now);
    void logSendFailure(quint32 address, quint16 port, const QString& error); // the sending thread's

    const Options options_;

    mutable QMutex lock_; // counters, peer tables, heard sources, the socket
    int fd_ = -1;
    int wakeFd_ = -1; // eventfd that ends the receive thread's wait
    quint16 port_ = 0;
    bool started_ = false, stopped_ = false;
    std::atomic<bool> stopping_{false};
    std::optional<QString> openError_;
    QList<NetInterface> interfaces_;
    QList<Peer> peers_;
    QString peersText_;

    mutable QMutex queueLock_; // the send queue and its flags
    QWaitCondition wake_;
    std::deque<QByteArray> queue_;
    std::atomic<int> queued_{0}; // queue_.size(), read without the lock
    bool refusing_ = false;      // stopping, stopped or the port could not be opened
    int dropped_ = 0;
    bool dropLogged_ = false;

    int sent_ = 0, received_ = 0, errors_ = 0, networkEchoes_ = 0, loopbackEchoes_ = 0;
    bool lastPacketFailed_ = false;
    std::optional<QString> lastError_;
    int interfaceSent_ = 0; // datagrams sent to a group or broadcast address, the ones that echo
    std::optional<Clock::time_point> thirdSendAt_;
    std::map<Source, Clock::time_point> heard_;
    TRKLogWindow heardLog_;
    TRKLogWindow sendFailLog_; // the sending thread's own

    mutable QMutex tagLock_; // own tags, to tell echoes from other units
    QHash<Key16, Clock::time_point> tags_;
    std::deque<std::pair<Clock::time_point, Key16>> tagOrder_;

    QMutex statusLock_; // serialises status callbacks so they arrive in order
    QString lastStatusText_;
    int lastStatusUnits_ = -1;
    std::atomic<bool> statusWanted_{false};

    QThread* receiver_ = nullptr;
    QThread* sender_ = nullptr;
};
