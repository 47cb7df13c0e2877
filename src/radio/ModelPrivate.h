#pragma once
// The model's internal state, shared by the files that implement WalkieModel.
#include "Authenticator.h"
#include "BatteryMeter.h"
#include "ChannelStore.h"
#include "Clock.h"
#include "Key16.h"
#include "Locator.h"
#include "PacketInbox.h"
#include "TRKLog.h"
#include "WalkieModel.h"

#include <QElapsedTimer>
#include <QHash>
#include <QSet>
#include <QTimer>
#include <array>
#include <limits>
#include <utility>

using ReceptionKey = std::pair<quint64, quint64>; // sender ID, transmission ID

// Admits at most `limit` events per key in each window of `windowMs`, for at most `maxKeys` keys at
// once. Keys a peer makes up cannot grow it: when it is full, expired windows are swept (at most once
// per window), and if it is still full it starts over.
template <typename Key> class RateGate {
public:
    RateGate(int limit, qint64 windowMs, int maxKeys)
        : limit_(limit), windowMs_(windowMs), maxKeys_(maxKeys) {}
    bool admit(const Key& key, qint64 nowMs) {
        auto it = windows_.find(key);
        if (it == windows_.end()) {
            if (windows_.size() >= maxKeys_ && nowMs - lastSweepMs_ >= windowMs_) {
                lastSweepMs_ = nowMs;
                windows_.removeIf([&](const auto& e) { return nowMs - e.value().first >= windowMs_; });
            }
            if (windows_.size() >= maxKeys_) windows_.clear();
            it = windows_.insert(key, {nowMs, 0});
        } else if (nowMs - it->first >= windowMs_) {
            *it = {nowMs, 0};
        }
        if (it->second >= limit_) return false;
        ++it->second;
        return true;
    }
    qsizetype size() const { return windows_.size(); }

private:
    int limit_;
    qint64 windowMs_;
    qsizetype maxKeys_;
    qint64 lastSweepMs_ = std::numeric_limits<qint64>::min() / 2;
    QHash<Key, std::pair<qint64, int>> windows_; // key -> window start, events in it
};

struct WalkieModel::Reception {
    QString channelID;
    QString channelName;
    QString who;
    quint32 lastSeq = 0;
    int frames = 0;
    QDateTime started;
    qint64 lastHeardMs = 0;
    quint64 playerKey = 0;
    bool inPlayer = false; // the player holds it open until it is ended there
    bool logged = true;    // its start was logged, so its end is too
};

// A reception the silence reaper ended: the outage may pass and the talk go on.
struct ReapedTalk {
    qint64 ms = 0; // when it was reaped
    quint32 lastSeq = 0;
    QString who;
    QString channelID;
    friend bool operator<(const ReapedTalk& a, const ReapedTalk& b) { return a.ms < b.ms; }
};

struct WalkieModel::Transmission {
    QList<Channel> channels; // one for a press, every joined channel for an SOS clip
    quint64 txID = 0;
    quint32 seq = 0;
    QDateTime started;
    bool sosClip = false;
};

struct WalkieModel::TestTone {
    Channel channel;
    quint64 txID = 0;
    quint32 seq = 0;
    int framesLeft = 0;
    double phase = 0;
};

// One running link and the generation that its callbacks carry.
struct WalkieModel::Link {
    std::unique_ptr<Transport> transport;
    std::shared_ptr<PacketInbox> inbox; // what the link's thread hands to the main thread
    quint64 generation = 0;
};

enum LinkIndex { relayLink = 0, nearbyLink = 1, lanLink = 2, linkCount = 3 };

struct WalkieModel::Private {
    std::shared_ptr<Clock> clock;
    std::shared_ptr<BatteryMeter> battery;
    std::shared_ptr<Authenticator> authenticator;
    bool unlocking = false; // an authentication is out: one prompt at a time
    std::shared_ptr<AudioInput> audioInput;
    std::optional<QString> callSignOverride;
    bool allowNearby = true;
    bool runTimers = true;
    std::unique_ptr<ChannelStore> store; // only when the model persists its channels
    QString pendingNotice;               // posted once something shows notices
    QString saveProblem;                 // a failed save, told with the next notice

    std::array<Link, linkCount> links;
    QElapsedTimer handoverClock; // paces the reports of packets dropped in the handover
    quint64 nextGeneration = 1;

    QTimer reapTimer, helloTimer, transmitTimer, checkInTimer, sosTimer, toneTimer;
    QDateTime noticeSince;

    // Times below are milliseconds since the epoch from the clock seam.
    QHash<Key16, int> channelByFingerprint; // fingerprint -> index in channels_
    int selectedIndex = -1;                 // what selected() gives; -1 with no channels
    QHash<Key16, qint64> seen;              // last 16 bytes of opened packets -> when
    QHash<Key16, qint64> foreignLogged;     // fingerprint -> last log line
    TRKLogWindow foreignLog;                // all fingerprints together
    QHash<ReceptionKey, Reception> receptions;
    QHash<ReceptionKey, qint64> finished; // finished transmissions, kept 10 minutes
    TRKLogWindow voiceLog;                // start and end lines of receptions, all senders together
    QHash<ReceptionKey, ReapedTalk> reaped; // ended by silence, kept as long, same cap
    bool busyHeld = false;

    std::optional<Transmission> tx;
    std::optional<TestTone> tone;

    quint64 lastCheckID = 0;
    QSet<quint64> checkRepliedSenders;

    quint64 sosID = 0;
    quint32 sosSeq = 0;
    bool sosSilent = false;
    bool sosAutomatic = false;
    std::optional<std::array<double, 3>> position; // lat, lon, accuracy
    bool positionSent = false;
    bool noPositionLogged = false; // once per run: the cause does not change between alerts

    QHash<quint64, int> alertIndex; // alert ID -> index in alerts_, remade when the list changes shape
    // New alert IDs per sender and, since sender IDs cost a member nothing, per channel.
    RateGate<quint64> newAlertsBySender{WalkieModel::maxNewAlertsPerSender, WalkieModel::rateWindowMs,
                                        WalkieModel::maxPacedSenders};
    RateGate<QString> newAlertsByChannel{WalkieModel::maxNewAlertsPerChannel, WalkieModel::rateWindowMs,
                                         WalkieModel::maxPacedSenders};
    TRKLogWindow sosRefusedLog;
    RateGate<quint64> textsBySender{WalkieModel::maxTextsPerSender, WalkieModel::rateWindowMs,
                                    WalkieModel::maxPacedSenders};
    TRKLogWindow textLog; // received and refused texts together
};

// Logs `line` unless `window` has had maxPacedLogLines already this minute; the first line past that
// says so instead. Per-packet lines go through here, so a flood cannot flood the log too.
inline void pacedLog(TRKLogWindow& window, qint64 nowMs, const QString& line, const QString& quiet) {
    const int n = window.count(nowMs, 60000);
    if (n <= WalkieModel::maxPacedLogLines)
        TRKLog::log(line);
    else if (n == WalkieModel::maxPacedLogLines + 1)
        TRKLog::log(quiet);
}

// Random 64-bit value; falls back to Qt's generator if the crypto source fails.
quint64 randomID();
