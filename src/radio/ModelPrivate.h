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
#include <utility>

using ReceptionKey = std::pair<quint64, quint64>; // sender ID, transmission ID

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
};

// Random 64-bit value; falls back to Qt's generator if the crypto source fails.
quint64 randomID();
