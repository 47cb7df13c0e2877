#pragma once
// What the model tests share: private settings and data folders, the platform doubles (clock,
// locator, battery, authenticator, audio boundary), a second home-network link on loopback that
// plays the other unit, and sealed packets made the way another unit makes them.
#include "Authenticator.h"
#include "BatteryMeter.h"
#include "Clock.h"
#include "Defaults.h"
#include "FakeAudio.h"
#include "LANTransport.h"
#include "Locator.h"
#include "Packet.h"
#include "WalkieModel.h"

#include <QCoreApplication>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMutex>
#include <QTemporaryDir>
#include <QTest>

namespace fixture {

// Settings and data folders that belong to this test run only; set before anything reads them.
inline void privateFolders() {
    static QTemporaryDir dir;
    qputenv("XDG_CONFIG_HOME", (dir.path() + "/config").toUtf8());
    qputenv("XDG_DATA_HOME", (dir.path() + "/data").toUtf8());
    qputenv("XDG_RUNTIME_DIR", dir.path().toUtf8());
}

inline void resetSettings() {
    for (const char* key :
         {"displayName", "relayURL", "useRelay", "useNearby", "useLAN", "directPeers", "radioSound",
          "rogerBeep", "scrambler", "scrambleMode", "monitorAll", "requireUnlock"})
        Defaults::shared().remove(QString::fromLatin1(key));
}

class FakeBattery : public BatteryMeter {
public:
    std::optional<int> value = 77;
    std::optional<int> percent() const override { return value; }
};

class FakeAuthenticator : public Authenticator {
public:
    Result answer = Result::success;
    QStringList reasons;
    // How many answers the caller has had (and handled): they come through the event loop.
    std::shared_ptr<int> answered = std::make_shared<int>(0);
    void authenticate(const QString& reason, std::function<void(Result)> done) override {
        reasons.append(reason);
        const Result r = answer;
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [done, r, count = answered] {
                done(r);
                ++*count;
            },
            Qt::QueuedConnection);
    }
};

// The platform doubles and a model built on them; no links and no timers unless asked.
struct Rig {
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::shared_ptr<ScriptedAudioInput> mic = std::make_shared<ScriptedAudioInput>();
    std::shared_ptr<RecordingAudioOutput> speaker = std::make_shared<RecordingAudioOutput>();
    std::shared_ptr<ScriptedLocator> locator = std::make_shared<ScriptedLocator>();
    std::shared_ptr<FakeBattery> battery = std::make_shared<FakeBattery>();
    std::shared_ptr<FakeAuthenticator> auth = std::make_shared<FakeAuthenticator>();
    std::unique_ptr<WalkieModel> model;

    WalkieModel::Options options(bool loadChannels = false, QSet<QString> links = {}) const {
        WalkieModel::Options o;
        o.loadChannels = loadChannels;
        o.allowNearby = true;
        o.transports = links;
        o.callSign = QStringLiteral("Tester");
        o.clock = clock;
        o.audioInput = mic;
        o.audioOutput = speaker;
        o.locator = locator;
        o.battery = battery;
        o.authenticator = auth;
        o.runTimers = false;
        return o;
    }
    WalkieModel& make(const WalkieModel::Options& o) {
        model = std::make_unique<WalkieModel>(o);
        return *model;
    }
    WalkieModel& make() { return make(options()); }
    // Where a test starts: stored settings cleared, new doubles, and a model on them.
    WalkieModel& renew() {
        resetSettings();
        *this = Rig();
        return make();
    }
};

// Another unit on loopback: a home-network link on a free port that records what reaches it.
class OtherUnit {
public:
    OtherUnit() {
        LANTransport::Options o;
        o.port = 0;
        o.interfaces = QStringList{}; // typed peers only
        link = std::make_unique<LANTransport>(o);
        link->setPacketHandler([this](const QByteArray& sealed) {
            QMutexLocker l(&mutex_);
            got_.append(sealed);
        });
        link->start();
    }
    ~OtherUnit() { link->stop(); }
    quint16 port() const { return link->port(); }
    void hear(quint16 modelPort) { link->setDirectPeers(QStringLiteral("127.0.0.1:%1").arg(modelPort)); }
    // Every packet received so far that opens with the channel's key, in arrival order.
    QList<Packet> opened(const Channel& channel) {
        QMutexLocker l(&mutex_);
        QList<Packet> out;
        for (const QByteArray& s : std::as_const(got_))
            if (auto p = Packet::open(s, channel)) out.append(*p);
        return out;
    }
    QList<Packet> opened(const Channel& channel, PacketKind kind) {
        QList<Packet> out;
        for (const Packet& p : opened(channel))
            if (p.kind == kind) out.append(p);
        return out;
    }
    void clear() {
        QMutexLocker l(&mutex_);
        got_.clear();
    }
    std::unique_ptr<LANTransport> link;

private:
    QMutex mutex_;
    QList<QByteArray> got_;
};

// A model whose home-network link talks to `other` on loopback only.
inline WalkieModel::Options linkedOptions(const Rig& rig, const OtherUnit& other, bool loadChannels = false) {
    auto o = rig.options(loadChannels, {QStringLiteral("lan")});
    o.lanPortOverride = 0;
    o.directPeersOverride = QStringLiteral("127.0.0.1:%1").arg(other.port());
    return o;
}

inline QByteArray sealed(const Channel& channel, PacketKind kind, quint64 txID, quint32 seq, quint64 sender,
                         const QByteArray& payload = {}) {
    Packet p;
    p.kind = kind;
    p.txID = txID;
    p.seq = seq;
    p.sender = sender;
    p.payload = payload;
    return p.seal(channel).value_or(QByteArray());
}

// The payload of a text packet as another unit sends it.
inline QByteArray textPayload(const QString& who, const QString& text) {
    QJsonObject o;
    o.insert(QStringLiteral("who"), who);
    o.insert(QStringLiteral("text"), text);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

inline Channel channel(const QString& name) {
    return *Channel::withRandomKey(name);
}

} // namespace fixture

#define MODEL_TEST_MAIN(TestClass)                                                                           \
    int main(int argc, char** argv) {                                                                        \
        fixture::privateFolders();                                                                           \
        QCoreApplication app(argc, argv);                                                                    \
        app.setOrganizationName(QStringLiteral("Quillmarsh"));                                               \
        app.setApplicationName(QStringLiteral("QMRL Tessrook"));                                             \
        TestClass t;                                                                                         \
        return QTest::qExec(&t, argc, argv);                                                                 \
    }
