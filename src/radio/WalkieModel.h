#pragma once
// The one radio model: channels, settings, talk and receive state, roster, activity, messages and SOS
// state. A QObject on the main thread; every published member has a getter and a change signal, and
// every link callback is moved to the main thread before it touches anything here.
#include "AudioDevice.h"
#include "Channel.h"
#include "Key16.h"
#include "Packet.h"
#include "Records.h"
#include "TRTalk.h"
#include "TalkState.h"
#include "Transport.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>

class Authenticator;
class BatteryMeter;
class Clock;
class LANTransport;
class Locator;
class RadioPlayer;
class VoiceCapture;
class ChannelStore;
struct VoiceFrame;

class WalkieModel : public QObject, public TRTalkTarget {
    Q_OBJECT
public:
    using TextMessage = ::TextMessage;
    using RosterEntry = ::RosterEntry;

    struct Options {
        bool loadChannels = true;
        bool allowNearby = true;
        std::optional<QSet<QString>> transports; // the links to run instead of the saved switches
        std::optional<QString> callSign;         // the call sign instead of the saved one
        // Applied before the links first start (same as setting the overrides right after).
        std::optional<quint16> lanPortOverride;
        std::optional<QString> directPeersOverride;
        // Platform seams; empty = the real ones.
        std::shared_ptr<Clock> clock;
        std::shared_ptr<AudioInput> audioInput;
        std::shared_ptr<AudioOutput> audioOutput;
        std::shared_ptr<Locator> locator;
        std::shared_ptr<BatteryMeter> battery;
        std::shared_ptr<Authenticator> authenticator;
        // false: no repeating timers run; tests call reap(), sendHello(), transmitTick(), checkInTick(),
        // sosUpdateTick() themselves.
        bool runTimers = true;
    };

    explicit WalkieModel(const Options& options, QObject* parent = nullptr);
    // init(loadChannels:allowNearby:transports:callSign:) with the real seams.
    WalkieModel(bool loadChannels, bool allowNearby, std::optional<QSet<QString>> transports,
                std::optional<QString> callSign, QObject* parent = nullptr);
    ~WalkieModel() override; // stops the links (joining their threads), capture and player

    // The process-wide weak reference, set by whoever made the model.
    static QPointer<WalkieModel> shared();
    static void setShared(WalkieModel* model);
    // Shows `text` as the notice, for news that comes from outside the model (another copy's hand-over).
    void tellUser(const QString& text) { setNotice(text); }

    // ---- published state -------------------------------------------------------------------------
    QString notice() const { return notice_; } // "" when there is none; clears itself 6 s later
    TalkState talk() const { return talk_; }
    double talkSeconds() const { return talkSeconds_; }
    float level() const { return level_; }

    QList<Channel> channels() const { return channels_; }
    void setChannels(const QList<Channel>& channels);  // stores (when persisting) and updates the links
    QString selectedID() const { return selectedID_; } // "" when none chosen
    void setSelectedID(const QString& id);
    std::optional<Channel> selected() const; // falls back to the first channel

    QHash<QString, QHash<quint64, RosterEntry>> roster() const { return roster_; }
    QHash<QString, int> peerCounts() const { return peerCounts_; }
    QHash<QByteArray, QDateTime> foreignChannels() const; // fingerprint -> last heard
    QDateTime lastGoodPacket() const;                     // invalid before any
    std::optional<int> onlineCount(const Channel& channel) const;
    QString linkReason(const Channel& channel) const;

    bool relayUp() const { return relayUp_; }
    int nearbyPeers() const { return nearbyPeers_; }
    int lanUnits() const { return lanUnits_; }
    LANTransport* lan() const; // the running home-network link, or null
    QString relayStatus() const { return relayStatus_; }
    QString lanStatus() const { return lanStatus_; }
    QString nearbyStatus() const { return nearbyStatus_; }
    // Detail under a link's status ("lan", "relay", "nearby"): what it received that the radio, too
    // busy to take it, had to drop; "" when nothing was dropped.
    QString linkDetails(const QString& link) const;

    bool locked() const { return locked_; }
    QList<ActivityEntry> activity() const { return activity_; }
    QList<TextMessage> messages() const { return messages_; }
    QStringList radioCheckReplies() const { return radioCheckReplies_; }

    bool sosActive() const { return sosActive_; }
    QStringList sosResponders() const { return sosResponders_; }
    QDateTime checkInDeadline() const { return checkInDeadline_; } // invalid when no check-in runs
    QList<SOSAlert> alerts() const { return alerts_; }
    bool showSOSPanel() const { return showSOSPanel_; }
    void setShowSOSPanel(bool on);

    // Not stored, not published: received transmissions are tracked but not played while true.
    bool muteSpeaker() const { return muteSpeaker_; }
    void setMuteSpeaker(bool on);

    // ---- stored settings ---------------------------------------------------------------------------
    QString displayName() const;
    void setDisplayName(const QString& name);
    QString relayURL() const; // "ws://localhost:8787"
    void setRelayURL(const QString& url);
    bool useRelay() const;
    void setUseRelay(bool on);
    bool useNearby() const;
    void setUseNearby(bool on);
    bool useLAN() const;
    void setUseLAN(bool on);
    QString directPeers() const;
    void setDirectPeers(const QString& peers);
    bool radioSound() const;
    void setRadioSound(bool on);
    bool rogerBeep() const;
    void setRogerBeep(bool on);
    bool scrambler() const;
    void setScrambler(bool on);
    int scrambleMode() const; // raw ScrambleMode, default 4
    void setScrambleMode(int raw);
    bool monitorAll() const;
    void setMonitorAll(bool on);
    bool requireUnlock() const;
    void setRequireUnlock(bool on);

    // The call sign in payloads: the override, else the trimmed display name, else the host name,
    // else "Unit"; at most 46 characters.
    QString callSign() const;
    quint64 senderID() const { return senderID_; }

    // ---- per-model overrides and hooks (a change restarts the affected links) ----------------------
    std::optional<quint16> lanPortOverride() const { return lanPortOverride_; }
    void setLanPortOverride(std::optional<quint16> port);
    std::optional<QString> directPeersOverride() const { return directPeersOverride_; }
    void setDirectPeersOverride(const std::optional<QString>& peers);
    std::optional<QSet<QString>> transportsOverride() const { return transportsOverride_; }
    void setTransportsOverride(const std::optional<QSet<QString>>& links);

    std::function<void(const QString&)> onEvent;     // one upper-case text per received event
    std::function<void(const Packet&)> onVoiceFrame; // every accepted audio packet, muted or not

    // ---- channel operations --------------------------------------------------------------------------
    std::optional<Channel> joinWithPassphrase(const QString& name, const QString& passphrase);
    bool join(const QString& invite);
    void createChannel(const QString& name);
    std::optional<Channel> editChannel(const Channel& channel, const QString& name,
                                       const std::optional<QString>& newPassphrase);
    void rotateKey(const Channel& channel);
    void leave(const Channel& channel);
    void sendText(const QString& text, const Channel& channel);
    void radioCheck(const Channel& channel);
    void transmitTestTone(double seconds, const Channel& channel); // returns at once

    // ---- SOS and check-in -----------------------------------------------------------------------
    void triggerSOS(bool silent, bool automatic = false);
    void cancelSOS();
    void startCheckIn(int minutes);
    void checkInOK();
    void respond(const SOSAlert& alert);
    void dismiss(const SOSAlert& alert);

    void unlock(); // asks the authenticator with "Unlock your private channels"

    // ---- push-to-talk ------------------------------------------------------------------------------
    void pressTalk(bool sosClip = false) override;
    void releaseTalk() override;

    // ---- entries for the links and for tests -------------------------------------------------------
    // On the main thread. True when the packet opened with a joined channel's key, or repeated one
    // that did.
    bool receiveSealed(const QByteArray& sealed);
    void receiveStatus(const QString& link, const TransportStatus& status); // "lan", "relay", "nearby"
    void reap();          // every 0.5 s: silent receptions, roster expiry, dedupe and foreign purge
    void sendHello();     // every 2 s and once right after the links start
    void transmitTick();  // every 0.1 s: talkSeconds, the 60 s limit, the end of an SOS clip
    void checkInTick();   // every 1 s while a check-in runs
    void sosUpdateTick(); // every 30 s while this unit's SOS runs

    // The model's clock: countdowns in the views read it, so one test clock drives deadline and display.
    QDateTime now() const;

    RadioPlayer* player() const { return player_.get(); }
    VoiceCapture* capture() const { return capture_.get(); }
    Locator* locator() const { return locator_.get(); }

    struct TableSizes {
        int dedupe = 0;
        int foreign = 0;
        int foreignLogged = 0;
        int receptions = 0;
        int finished = 0;
    };
    TableSizes tableSizes() const;

    static constexpr int maxActivity = 100;
    static constexpr int maxMessages = 200;
    static constexpr int maxTextCharacters = 500;
    static constexpr int maxCallSignCharacters = 46;
    static constexpr double talkLimitSeconds = 60;
    static constexpr double sosClipSeconds = 15;
    static constexpr int maxTrail = 500;
    static constexpr int maxForeign = 300;
    static constexpr int maxDedupe = 50000; // opened packets remembered against copies
    // Finished transmissions remembered against replays; far more than ten minutes of real traffic.
    static constexpr int maxFinished = 5000;
    // Alerts from other units: in all and per channel (ended ones go first, then the least recently
    // updated), and how many new SOS IDs a sender and a channel may raise per window.
    static constexpr int maxAlerts = 32;
    static constexpr int maxAlertsPerChannel = 8;
    static constexpr int maxNewAlertsPerSender = 3;
    static constexpr int maxNewAlertsPerChannel = 6;
    static constexpr int maxTextsPerSender = 30; // texts taken per sender per window
    static constexpr int maxRoster = 256;        // units heard per channel
    static constexpr qint64 rateWindowMs = 60000;
    static constexpr int maxPacedSenders = 512; // senders whose rate is tracked at once
    static constexpr int maxPacedLogLines = 20; // per minute for each kind of per-packet line

signals:
    void noticeChanged();
    void talkChanged(const TalkState& talk);
    void talkSecondsChanged();
    void levelChanged();
    void channelsChanged();
    void selectedIDChanged(); // also means selected() may have changed
    void rosterChanged();
    void peerCountsChanged();
    void foreignChannelsChanged();
    void lastGoodPacketChanged();
    void relayUpChanged();
    void nearbyPeersChanged();
    void lanUnitsChanged();
    void lanChanged();
    void relayStatusChanged();
    void lanStatusChanged();
    void nearbyStatusChanged();
    void lockedChanged();
    void activityChanged();
    void messagesChanged();
    void radioCheckRepliesChanged();
    void sosActiveChanged();
    void sosRespondersChanged();
    void checkInDeadlineChanged(); // also every second while a check-in runs
    void alertsChanged();
    void showSOSPanelChanged();
    void displayNameChanged();
    void relayURLChanged();
    void useRelayChanged();
    void useNearbyChanged();
    void useLANChanged();
    void directPeersChanged();
    void radioSoundChanged();
    void rogerBeepChanged();
    void scramblerChanged();
    void scrambleModeChanged();
    void monitorAllChanged();
    void requireUnlockChanged();

private:
    struct Link;
    struct Reception;
    struct Transmission;
    struct TestTone;
    struct Private;
    std::unique_ptr<Private> p_;

    // Published values (the rest of the state lives in Private).
    QString notice_;
    TalkState talk_;
    double talkSeconds_ = 0;
    float level_ = 0;
    QList<Channel> channels_;
    QString selectedID_;
    QHash<QString, QHash<quint64, RosterEntry>> roster_;
    QHash<QString, int> peerCounts_;
    QHash<Key16, qint64> foreignChannels_; // fingerprint -> last heard, ms since the epoch
    std::optional<qint64> lastGoodPacketMs_;
    bool relayUp_ = false;
    int nearbyPeers_ = 0;
    int lanUnits_ = 0;
    QString relayStatus_, lanStatus_, nearbyStatus_;
    bool locked_ = false;
    QList<ActivityEntry> activity_;
    QList<TextMessage> messages_;
    QStringList radioCheckReplies_;
    bool sosActive_ = false;
    QStringList sosResponders_;
    QDateTime checkInDeadline_;
    QList<SOSAlert> alerts_;
    bool showSOSPanel_ = false;
    bool muteSpeaker_ = false;
    quint64 senderID_ = 0;
    std::optional<quint16> lanPortOverride_;
    std::optional<QString> directPeersOverride_;
    std::optional<QSet<QString>> transportsOverride_;
    std::unique_ptr<RadioPlayer> player_;
    std::unique_ptr<VoiceCapture> capture_;
    std::shared_ptr<Locator> locator_;

    void init(const Options& options);

    // Notices and settings.
    void setNotice(const QString& text);
    void expireNotice();
    void settingChanged(const QString& key);
    // Channels.
    void rebuildFingerprints();
    void saveChannels();
    int indexOfChannel(const QString& channelID) const;
    // Whether channels_[index] is what selected() gives, without copying it; the index is kept by
    // findSelectedIndex() whenever the channels or the choice change.
    bool isSelected(int index) const;
    void findSelectedIndex();
    void clearForeign();
    // Links.
    bool linkWanted(int link) const;
    std::unique_ptr<Transport> makeLink(int link) const;
    QStringList channelIDs() const;
    void startLink(int link);
    void stopLink(int link);
    void restartLink(int link);
    void startLinks();
    void channelsChangedForLinks();
    void applyDirectPeers();
    void applyStatus(int link, const TransportStatus& status);
    void takePackets(int link, quint64 generation);
    void sendSealed(const QByteArray& sealed);
    // Every packet this unit sends: it always speaks as senderID_.
    Packet ownPacket(PacketKind kind, quint64 txID, quint32 seq, const QByteArray& payload = {}) const;
    bool sendPacket(const Packet& packet, const Channel& channel);
    // Receiving.
    void emitEvent(const QString& text);
    void noteForeign(const Key16& fingerprint);
    qint64 nowMs() const;
    void receiveHello(const Packet& packet, const Channel& channel);
    void receiveRadioCheck(const Packet& packet, const Channel& channel);
    void receiveRadioCheckReply(const Packet& packet, const Channel& channel);
    void receiveText(const Packet& packet, const Channel& channel);
    void receiveVoice(const Packet& packet, const Channel& channel);
    void beginReception(const std::pair<quint64, quint64>& key, const Channel& channel, const QString& who,
                        quint32 seq, qint64 t);
    void finishReception(const std::pair<quint64, quint64>& key);
    bool resumeReaped(const Packet& packet, const Channel& channel);
    void rememberFinished(const std::pair<quint64, quint64>& key, qint64 ms);
    void silencePlayback(Reception& reception);
    void addMessage(const TextMessage& message);
    void addActivity(const ActivityEntry& entry);
    void updateTalk();
    // Transmitting.
    void sendTransmissionPacket(PacketKind kind, const QByteArray& payload = {});
    void sendFrames(const QList<VoiceFrame>& frames);
    void sendCapturedFrames();
    void finishTransmission();
    void sendTonePacket(PacketKind kind, const QByteArray& payload = {});
    void testToneStep();
    void finishTestTone();
    // SOS.
    SOSInfo currentSOSRecord() const;
    void sendSOSPacket(PacketKind kind);
    void clearCheckIn();
    int indexOfAlert(quint64 id) const;
    void reindexAlerts();
    bool admitNewAlert(quint64 sender, const Channel& channel, qint64 t);
    void makeRoomForAlert(const QString& channelID);
    void stopSirenIfQuiet();
    void receiveSOS(const Packet& packet, const Channel& channel);
    void receiveSOSCancel(const Packet& packet, const Channel& channel);
    void receiveAck(const Packet& packet, const Channel& channel);

protected:
    void connectNotify(const QMetaMethod& signal) override;
};
