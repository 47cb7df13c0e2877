#include "ModelPrivate.h"

#include "Defaults.h"
#include "KeyVault.h"
#include "RadioPlayer.h"
#include "RelayTransport.h"
#include "TRKLog.h"
#include "TextRules.h"
#include "VoiceCapture.h"

#include <QMetaMethod>
#include <QRandomGenerator>
#include <QSysInfo>
#include <algorithm>
#include <iterator>

namespace {
QPointer<WalkieModel> sharedModel;

// Every setting the model keeps: where it is stored, its value until the user sets one, and the
// signal a change of it emits.
struct Setting {
    QString key;
    QVariant fallback;
    void (WalkieModel::*changed)();

    bool boolValue() const { return Defaults::shared().boolValue(key, fallback.toBool()); }
    int intValue() const { return Defaults::shared().intValue(key, fallback.toInt()); }
    QString stringValue() const { return Defaults::shared().stringValue(key, fallback.toString()); }
    void set(const QVariant& value) const { Defaults::shared().setValue(key, value); }
    bool stored() const { return Defaults::shared().contains(key); }
};

namespace Key {
const Setting displayName{QStringLiteral("displayName"), QString(), &WalkieModel::displayNameChanged};
const Setting relayURL{QStringLiteral("relayURL"), RelayTransport::defaultURL, &WalkieModel::relayURLChanged};
const Setting useRelay{QStringLiteral("useRelay"), true, &WalkieModel::useRelayChanged};
const Setting useNearby{QStringLiteral("useNearby"), true, &WalkieModel::useNearbyChanged};
const Setting useLAN{QStringLiteral("useLAN"), true, &WalkieModel::useLANChanged};
const Setting directPeers{QStringLiteral("directPeers"), QString(), &WalkieModel::directPeersChanged};
const Setting radioSound{QStringLiteral("radioSound"), true, &WalkieModel::radioSoundChanged};
const Setting rogerBeep{QStringLiteral("rogerBeep"), true, &WalkieModel::rogerBeepChanged};
const Setting scrambler{QStringLiteral("scrambler"), false, &WalkieModel::scramblerChanged};
const Setting scrambleMode{QStringLiteral("scrambleMode"), 4, &WalkieModel::scrambleModeChanged};
const Setting monitorAll{QStringLiteral("monitorAll"), true, &WalkieModel::monitorAllChanged};
const Setting requireUnlock{QStringLiteral("requireUnlock"), false, &WalkieModel::requireUnlockChanged};
const Setting* const all[] = {&displayName, &relayURL,     &useRelay,   &useNearby,
                              &useLAN,      &directPeers,  &radioSound, &rogerBeep,
                              &scrambler,   &scrambleMode, &monitorAll, &requireUnlock};
} // namespace Key

constexpr double noticeSeconds = 6;
} // namespace

quint64 randomID() {
    if (auto v = KeyVault::randomU64()) return *v;
    return QRandomGenerator::system()->generate64();
}

WalkieModel::WalkieModel(bool loadChannels, bool allowNearby, std::optional<QSet<QString>> transports,
                         std::optional<QString> callSign, QObject* parent)
    : WalkieModel(
          [&] {
              Options o;
              o.loadChannels = loadChannels;
              o.allowNearby = allowNearby;
              o.transports = std::move(transports);
              o.callSign = std::move(callSign);
              return o;
          }(),
          parent) {}

WalkieModel::WalkieModel(const Options& options, QObject* parent) : QObject(parent), p_(new Private) {
    init(options);
}

WalkieModel::~WalkieModel() {
    p_->toneTimer.stop();
    for (auto& link : p_->links) {
        if (link.transport) link.transport->stop();
        link.transport.reset();
    }
    if (capture_ && capture_->isRunning()) capture_->stop();
    if (locator_) locator_->stop();
}

QPointer<WalkieModel> WalkieModel::shared() {
    return sharedModel;
}
void WalkieModel::setShared(WalkieModel* model) {
    sharedModel = model;
}

void WalkieModel::init(const Options& o) {
    auto& d = *p_;
    d.handoverClock.start();
    d.clock = o.clock ? o.clock : std::make_shared<SystemClock>();
    d.battery = o.battery ? o.battery : makeSystemBatteryMeter();
    d.authenticator = o.authenticator ? o.authenticator : makeSystemAuthenticator();
    d.audioInput = o.audioInput ? o.audioInput : makeSystemAudioInput();
    d.callSignOverride = o.callSign;
    d.allowNearby = o.allowNearby;
    d.runTimers = o.runTimers;
    transportsOverride_ = o.transports;
    lanPortOverride_ = o.lanPortOverride;
    directPeersOverride_ = o.directPeersOverride;
    senderID_ = randomID();

    locator_ = o.locator ? o.locator : makeSystemLocator();
    connect(locator_.get(), &Locator::positionUpdated, this, [this](double lat, double lon, double acc) {
        if (!sosActive_) return;
        p_->position = std::array<double, 3>{lat, lon, acc < 0 ? 0.0 : acc};
        // The first fix goes out at once; later ones ride on the 30-second updates.
        if (!p_->positionSent) sosUpdateTick();
    });
    player_ = std::make_unique<RadioPlayer>(o.audioOutput);
    player_->setRadioSound(radioSound());
    player_->setRogerBeep(rogerBeep());
    capture_ = std::make_unique<VoiceCapture>(d.audioInput);
    connect(capture_.get(), &VoiceCapture::framesReady, this, [this] { sendCapturedFrames(); });

    locked_ = requireUnlock();
    relayStatus_ = QStringLiteral("Relay: off");
    nearbyStatus_ = QStringLiteral("Nearby: off");
    lanStatus_ = QStringLiteral("LAN: off");

    connect(&Defaults::shared(), &Defaults::changed, this,
            [this](const QString& key) { settingChanged(key); });
    // Settings that can't be read or saved: logged, and the user told where and why, once.
    if (const QString problem = Defaults::shared().problem(); !problem.isEmpty()) {
        TRKLog::log(QStringLiteral("Settings: %1").arg(problem));
        d.pendingNotice = problem;
    }
    connect(&Defaults::shared(), &Defaults::problemFound, this, [this](const QString& problem) {
        TRKLog::log(QStringLiteral("Settings: %1").arg(problem));
        setNotice(problem);
    });

    if (o.loadChannels) {
        d.store = std::make_unique<ChannelStore>();
        const auto loaded = d.store->load(d.clock->now());
        channels_ = loaded.channels;
        if (loaded.damaged) {
            // When no copy could be made the store refuses to write, so the file stays where it is.
            const QString damaged =
                QStringLiteral("Couldn't read your saved channels. The old file was kept as %1.")
                    .arg(loaded.keptAside.isEmpty() ? QStringLiteral("channels.json") : loaded.keptAside);
            d.pendingNotice = d.pendingNotice.isEmpty() ? damaged : damaged + QLatin1Char(' ') + d.pendingNotice;
        }
        rebuildFingerprints();
    }
    TRKLog::log(QStringLiteral("Radio start: sender %1, %2 channel(s)")
                    .arg(senderID_, 16, 16, QLatin1Char('0'))
                    .arg(channels_.size()));

    d.reapTimer.setInterval(500);
    d.helloTimer.setInterval(2000);
    d.transmitTimer.setInterval(100);
    d.checkInTimer.setInterval(1000);
    d.sosTimer.setInterval(30000);
    d.toneTimer.setInterval(100);
    d.toneTimer.setTimerType(Qt::PreciseTimer);
    connect(&d.reapTimer, &QTimer::timeout, this, &WalkieModel::reap);
    connect(&d.helloTimer, &QTimer::timeout, this, &WalkieModel::sendHello);
    connect(&d.transmitTimer, &QTimer::timeout, this, &WalkieModel::transmitTick);
    connect(&d.checkInTimer, &QTimer::timeout, this, &WalkieModel::checkInTick);
    connect(&d.sosTimer, &QTimer::timeout, this, &WalkieModel::sosUpdateTick);
    connect(&d.toneTimer, &QTimer::timeout, this, [this] { testToneStep(); });

    startLinks();
    if (d.runTimers) {
        d.reapTimer.start();
        d.helloTimer.start();
    }
    // One hello right after the links start, so others see this unit at once.
    QMetaObject::invokeMethod(this, &WalkieModel::sendHello, Qt::QueuedConnection);
}

// The notice about a damaged store waits until something that shows notices is listening.
void WalkieModel::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&WalkieModel::noticeChanged) && !p_->pendingNotice.isEmpty()) {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (p_->pendingNotice.isEmpty()) return;
                const QString text = std::exchange(p_->pendingNotice, QString());
                setNotice(text);
            },
            Qt::QueuedConnection);
    }
}

void WalkieModel::setNotice(const QString& text) {
    const QString problem = std::exchange(p_->saveProblem, QString());
    notice_ = text.isEmpty() ? problem : problem.isEmpty() ? text : text + QLatin1Char(' ') + problem;
    p_->noticeSince = p_->clock->now();
    emit noticeChanged();
}

void WalkieModel::expireNotice() {
    if (notice_.isEmpty()) return;
    if (p_->noticeSince.msecsTo(p_->clock->now()) >= qint64(noticeSeconds * 1000)) {
        notice_.clear();
        emit noticeChanged();
    }
}

QDateTime WalkieModel::now() const {
    return p_->clock->now();
}

qint64 WalkieModel::nowMs() const {
    return p_->clock->nowMs();
}

QHash<QByteArray, QDateTime> WalkieModel::foreignChannels() const {
    QHash<QByteArray, QDateTime> out;
    out.reserve(foreignChannels_.size());
    for (auto it = foreignChannels_.cbegin(); it != foreignChannels_.cend(); ++it)
        out.insert(it.key().bytes(), QDateTime::fromMSecsSinceEpoch(it.value(), Qt::UTC));
    return out;
}

QDateTime WalkieModel::lastGoodPacket() const {
    if (!lastGoodPacketMs_) return {};
    return QDateTime::fromMSecsSinceEpoch(*lastGoodPacketMs_, Qt::UTC);
}

// ---- settings ------------------------------------------------------------------------------------

QString WalkieModel::displayName() const {
    return Key::displayName.stringValue();
}
void WalkieModel::setDisplayName(const QString& name) {
    Key::displayName.set(name);
}
QString WalkieModel::relayURL() const {
    return Key::relayURL.stringValue();
}
bool WalkieModel::useRelay() const {
    return Key::useRelay.boolValue();
}
bool WalkieModel::useNearby() const {
    return Key::useNearby.boolValue();
}
bool WalkieModel::useLAN() const {
    return Key::useLAN.boolValue();
}
QString WalkieModel::directPeers() const {
    return Key::directPeers.stringValue();
}
bool WalkieModel::radioSound() const {
    return Key::radioSound.boolValue();
}
bool WalkieModel::rogerBeep() const {
    return Key::rogerBeep.boolValue();
}
bool WalkieModel::scrambler() const {
    return Key::scrambler.boolValue();
}
int WalkieModel::scrambleMode() const {
    return Key::scrambleMode.intValue();
}
bool WalkieModel::monitorAll() const {
    return Key::monitorAll.boolValue();
}
bool WalkieModel::requireUnlock() const {
    return Key::requireUnlock.boolValue();
}

// Link settings restart their link on every write; a write that changes the stored value restarts it
// from the change notification, one that does not is restarted here.
void WalkieModel::setRelayURL(const QString& url) {
    const bool same = Key::relayURL.stored() && relayURL() == url;
    Key::relayURL.set(url);
    if (same) restartLink(relayLink);
}
void WalkieModel::setUseRelay(bool on) {
    const bool same = Key::useRelay.stored() && useRelay() == on;
    Key::useRelay.set(on);
    if (same) restartLink(relayLink);
}
void WalkieModel::setUseNearby(bool on) {
    const bool same = Key::useNearby.stored() && useNearby() == on;
    Key::useNearby.set(on);
    if (same) restartLink(nearbyLink);
}
void WalkieModel::setUseLAN(bool on) {
    const bool same = Key::useLAN.stored() && useLAN() == on;
    Key::useLAN.set(on);
    if (same) restartLink(lanLink);
}
void WalkieModel::setDirectPeers(const QString& peers) {
    Key::directPeers.set(peers);
}
void WalkieModel::setRadioSound(bool on) {
    Key::radioSound.set(on);
}
void WalkieModel::setRogerBeep(bool on) {
    Key::rogerBeep.set(on);
}
void WalkieModel::setScrambler(bool on) {
    Key::scrambler.set(on);
}
void WalkieModel::setScrambleMode(int raw) {
    Key::scrambleMode.set(raw);
}
void WalkieModel::setMonitorAll(bool on) {
    Key::monitorAll.set(on);
}
void WalkieModel::setRequireUnlock(bool on) {
    Key::requireUnlock.set(on);
}

void WalkieModel::settingChanged(const QString& key) {
    const Setting* const* found = std::find_if(std::begin(Key::all), std::end(Key::all),
                                               [&](const Setting* s) { return s->key == key; });
    if (found == std::end(Key::all)) return;
    const Setting* s = *found;
    // What follows the stored value before the views hear of it. The scrambler is taken by the capture
    // at the next transmission, and the unlock requirement is read once at start.
    if (s == &Key::relayURL || s == &Key::useRelay)
        restartLink(relayLink);
    else if (s == &Key::useNearby)
        restartLink(nearbyLink);
    else if (s == &Key::useLAN)
        restartLink(lanLink);
    else if (s == &Key::directPeers)
        applyDirectPeers();
    else if (s == &Key::radioSound)
        player_->setRadioSound(radioSound());
    else if (s == &Key::rogerBeep)
        player_->setRogerBeep(rogerBeep());
    emit(this->*(s->changed))();
}

QString WalkieModel::callSign() const {
    QString name;
    if (p_->callSignOverride) name = TextRules::trimmed(*p_->callSignOverride);
    if (name.isEmpty()) name = TextRules::trimmed(displayName());
    if (name.isEmpty()) name = TextRules::trimmed(QSysInfo::machineHostName());
    if (name.isEmpty()) name = QStringLiteral("Unit");
    return TextRules::leftCharacters(name, maxCallSignCharacters);
}

// ---- channels ------------------------------------------------------------------------------------

std::optional<Channel> WalkieModel::selected() const {
    if (channels_.isEmpty()) return std::nullopt;
    for (const Channel& c : channels_)
        if (c.channelID() == selectedID_) return c;
    return channels_.first();
}

void WalkieModel::setSelectedID(const QString& id) {
    if (id == selectedID_) return;
    selectedID_ = id;
    findSelectedIndex();
    emit selectedIDChanged();
}

void WalkieModel::setChannels(const QList<Channel>& channels) {
    channels_ = channels;
    rebuildFingerprints();
    saveChannels();
    emit channelsChanged();
    channelsChangedForLinks();
}

void WalkieModel::rebuildFingerprints() {
    findSelectedIndex();
    p_->channelByFingerprint.clear();
    for (int i = 0; i < channels_.size(); ++i) {
        if (channels_[i].channelIDBytes().size() != 16) continue; // no packet can name it
        const Key16 fingerprint = Key16::of(channels_[i].channelIDBytes());
        if (!p_->channelByFingerprint.contains(fingerprint)) p_->channelByFingerprint.insert(fingerprint, i);
    }
}

void WalkieModel::saveChannels() {
    if (!p_->store || p_->store->save(channels_)) return;
    // A list that can't be saved is lost at quit: say so rather than fail silently. The operation that
    // saved usually posts its own notice next; the problem rides on it, or shows alone if none comes.
    p_->saveProblem = QStringLiteral("Your channels can't be saved: %1 (%2).")
                          .arg(p_->store->file(), p_->store->saveError());
    QMetaObject::invokeMethod(
        this,
        [this] {
            if (!p_->saveProblem.isEmpty()) setNotice(QString());
        },
        Qt::QueuedConnection);
}

bool WalkieModel::isSelected(int index) const {
    const int sel = p_->selectedIndex;
    return sel >= 0 && (sel == index || channels_[sel].channelID() == channels_[index].channelID());
}

void WalkieModel::findSelectedIndex() {
    // What selected() gives: the chosen channel, else the first one.
    const int chosen = indexOfChannel(selectedID_);
    p_->selectedIndex = chosen >= 0 ? chosen : channels_.isEmpty() ? -1 : 0;
}

int WalkieModel::indexOfChannel(const QString& channelID) const {
    for (int i = 0; i < channels_.size(); ++i)
        if (channels_[i].channelID() == channelID) return i;
    return -1;
}

void WalkieModel::clearForeign() {
    p_->foreignLogged.clear();
    if (foreignChannels_.isEmpty()) return;
    foreignChannels_.clear();
    emit foreignChannelsChanged();
}

std::optional<Channel> WalkieModel::joinWithPassphrase(const QString& name, const QString& passphrase) {
    const QString trimmedName = TextRules::trimmed(name);
    if (trimmedName.isEmpty()) {
        setNotice(QStringLiteral("Type a channel name."));
        return std::nullopt;
    }
    if (auto problem = Channel::passphraseProblem(passphrase)) {
        setNotice(*problem);
        return std::nullopt;
    }
    auto derived = Channel::fromPassphrase(trimmedName, passphrase);
    if (!derived) {
        TRKLog::log(QStringLiteral("Join: key derivation failed"));
        return std::nullopt;
    }
    const int existing = indexOfChannel(derived->channelID());
    if (existing >= 0) {
        const Channel c = channels_[existing];
        setSelectedID(c.channelID());
        setNotice(QStringLiteral("You're already in %1. Safety code %2.").arg(c.name, c.safetyCode()));
        return c;
    }
    QList<Channel> list = channels_;
    list.append(*derived);
    setChannels(list);
    setSelectedID(derived->channelID());
    clearForeign();
    TRKLog::log(QStringLiteral("Joined by passphrase: %1, fingerprint %2")
                    .arg(derived->name, TRKLog::shortHex(derived->channelIDBytes())));
    setNotice(QStringLiteral("On %1. Safety code %2: the other units must show the same code.")
                  .arg(derived->name, derived->safetyCode()));
    return derived;
}

bool WalkieModel::join(const QString& invite) {
    auto channel = Channel::fromInvite(invite);
    if (!channel) {
        setNotice(QStringLiteral("That invite didn't work. Ask for a fresh one."));
        return false;
    }
    const int existing = indexOfChannel(channel->channelID());
    if (existing >= 0) {
        const Channel c = channels_[existing];
        setSelectedID(c.channelID());
        setNotice(QStringLiteral("You're already in %1").arg(c.name));
        return true;
    }
    QList<Channel> list = channels_;
    list.append(*channel);
    setChannels(list);
    setSelectedID(channel->channelID());
    TRKLog::log(QStringLiteral("Joined by invite: %1, fingerprint %2")
                    .arg(channel->name, TRKLog::shortHex(channel->channelIDBytes())));
    setNotice(QStringLiteral("Joined %1. Compare the safety code with the others: %2")
                  .arg(channel->name, channel->safetyCode()));
    return true;
}

void WalkieModel::createChannel(const QString& name) {
    QString n = TextRules::leftCharacters(TextRules::trimmed(name), Channel::maxNameCharacters);
    if (n.isEmpty()) n = QStringLiteral("New channel");
    auto channel = Channel::withRandomKey(n);
    if (!channel) {
        TRKLog::log(QStringLiteral("Create: the random source failed"));
        return;
    }
    QList<Channel> list = channels_;
    list.append(*channel);
    setChannels(list);
    setSelectedID(channel->channelID());
    TRKLog::log(QStringLiteral("Created channel %1, fingerprint %2")
                    .arg(channel->name, TRKLog::shortHex(channel->channelIDBytes())));
    setNotice(QStringLiteral("Channel %1 created. Share its invite to add people.").arg(channel->name));
}

std::optional<Channel> WalkieModel::editChannel(const Channel& channel, const QString& name,
                                                const std::optional<QString>& newPassphrase) {
    const int index = indexOfChannel(channel.channelID());
    if (index < 0) return std::nullopt;
    const Channel current = channels_[index];
    const QString trimmedName = TextRules::trimmed(name);
    if (trimmedName.isEmpty()) {
        setNotice(QStringLiteral("Type a channel name."));
        return std::nullopt;
    }
    const QString pass = TextRules::trimmed(newPassphrase.value_or(QString()));
    if (!pass.isEmpty()) {
        if (auto problem = Channel::passphraseProblem(pass)) {
            setNotice(*problem);
            return std::nullopt;
        }
        auto derived = Channel::fromPassphrase(trimmedName, pass);
        if (!derived) {
            TRKLog::log(QStringLiteral("Edit: key derivation failed"));
            return std::nullopt;
        }
        *derived = Channel(derived->name, derived->key(), current.created, derived->origin, derived->keyName);
        const int other = indexOfChannel(derived->channelID());
        if (other >= 0 && other != index) {
            QList<Channel> list = channels_;
            list.removeAt(index);
            setChannels(list);
            setSelectedID(derived->channelID());
            setNotice(QStringLiteral("That name and passphrase is already in your list. Using it."));
            return derived;
        }
        QList<Channel> list = channels_;
        list[index] = *derived;
        setChannels(list);
        setSelectedID(derived->channelID());
        if (roster_.remove(current.channelID())) emit rosterChanged();
        clearForeign();
        TRKLog::log(QStringLiteral("Channel %1 now uses a new passphrase, fingerprint %2")
                        .arg(derived->name, TRKLog::shortHex(derived->channelIDBytes())));
        setNotice(QStringLiteral("%1 now uses the new passphrase. Safety code %2.")
                      .arg(derived->name, derived->safetyCode()));
        return derived;
    }
    if (current.isPassphrase()) {
        // A key name over 40 characters left a shortened label; the prefilled label (in any case or
        // spacing) names the same key, so it must not be refused as a change of name.
        const QString keyName = current.keyName.value_or(current.name);
        const QString wanted = Channel::normalizedName(trimmedName);
        if (wanted != Channel::normalizedName(keyName) && wanted != Channel::normalizedName(current.name)) {
            setNotice(QStringLiteral(
                "The channel name is part of the key. Type the passphrase too to change the name."));
            return std::nullopt;
        }
    }
    Channel renamed = current;
    renamed.name = TextRules::leftCharacters(trimmedName, Channel::maxNameCharacters);
    QList<Channel> list = channels_;
    list[index] = renamed;
    setChannels(list);
    return renamed;
}

void WalkieModel::rotateKey(const Channel& channel) {
    const int index = indexOfChannel(channel.channelID());
    if (index < 0) return;
    auto fresh = Channel::withRandomKey(channels_[index].name);
    if (!fresh) {
        TRKLog::log(QStringLiteral("New key: the random source failed"));
        return;
    }
    QList<Channel> list = channels_;
    list[index] = *fresh;
    setChannels(list);
    setSelectedID(fresh->channelID());
    TRKLog::log(QStringLiteral("New key for %1, fingerprint %2")
                    .arg(fresh->name, TRKLog::shortHex(fresh->channelIDBytes())));
    setNotice(QStringLiteral("New key made for %1. Share the new invite with the people you want to keep.")
                  .arg(fresh->name));
}

void WalkieModel::leave(const Channel& channel) {
    const QString id = channel.channelID();
    QList<Channel> list = channels_;
    list.removeIf([&](const Channel& c) { return c.channelID() == id; });
    if (list.size() == channels_.size()) return;
    setChannels(list);
    if (selectedID_ == id) setSelectedID(channels_.isEmpty() ? QString() : channels_.first().channelID());
}

void WalkieModel::setShowSOSPanel(bool on) {
    if (on == showSOSPanel_) return;
    showSOSPanel_ = on;
    emit showSOSPanelChanged();
}

WalkieModel::TableSizes WalkieModel::tableSizes() const {
    return {int(p_->seen.size()), int(foreignChannels_.size()), int(p_->foreignLogged.size()),
            int(p_->receptions.size()), int(p_->finished.size())};
}
