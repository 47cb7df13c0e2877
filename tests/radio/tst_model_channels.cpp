// Channel operations, selection, notices, settings and the per-channel counts of the radio model.
#include "ModelFixture.h"

#include "ChannelStore.h"
#include "TextRules.h"

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QSysInfo>
#include <sys/stat.h>

using namespace fixture;

namespace {
int mode(const QString& path) {
    struct stat st {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

QByteArray helloFrom(const Channel& c, quint64 sender, const QByteArray& name) {
    static quint64 tx = 1000;
    return sealed(c, PacketKind::hello, ++tx, 1, sender, name);
}
} // namespace

class ModelChannelsTest : public QObject {
    Q_OBJECT
    Rig rig;

private slots:
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() { rig.model.reset(); }

    void joinWithPassphraseNoticesAndRefusals() {
        auto& m = rig.make();
        QVERIFY(!m.joinWithPassphrase(QStringLiteral("  \n"), QStringLiteral("long enough pass")));
        QCOMPARE(m.notice(), QStringLiteral("Type a channel name."));
        QVERIFY(!m.joinWithPassphrase(QStringLiteral("Family"), QStringLiteral(" short  ")));
        QCOMPARE(m.notice(), QStringLiteral("Use at least 8 characters (a few words is best)."));
        QVERIFY(m.channels().isEmpty());

        const auto c =
            m.joinWithPassphrase(QStringLiteral("  Family  "), QStringLiteral("blue kettle sings"));
        QVERIFY(c);
        QCOMPARE(c->name, QStringLiteral("Family"));
        QCOMPARE(m.channels().size(), 1);
        QCOMPARE(m.selectedID(), c->channelID());
        QCOMPARE(m.notice(),
                 QStringLiteral("On Family. Safety code %1: the other units must show the same code.")
                     .arg(c->safetyCode()));

        // The same name (other case and spacing) and passphrase: kept once, selected, its own notice.
        m.createChannel(QStringLiteral("Other"));
        const auto again =
            m.joinWithPassphrase(QStringLiteral("family"), QStringLiteral("blue kettle sings"));
        QVERIFY(again);
        QCOMPARE(m.channels().size(), 2);
        QCOMPARE(m.selectedID(), c->channelID());
        QCOMPARE(m.notice(),
                 QStringLiteral("You're already in Family. Safety code %1.").arg(c->safetyCode()));

        // The passphrase is used as typed when joining: spaces around it make another key.
        const auto spaced =
            m.joinWithPassphrase(QStringLiteral("Family"), QStringLiteral(" blue kettle sings"));
        QVERIFY(spaced && spaced->channelID() != c->channelID());
    }

    void inviteJoinAndCreate() {
        auto& m = rig.make();
        QVERIFY(!m.join(QStringLiteral("qmtalk://join?v=1&n=X&k=notakey")));
        QCOMPARE(m.notice(), QStringLiteral("That invite didn't work. Ask for a fresh one."));
        QVERIFY(m.channels().isEmpty());

        const Channel c = channel(QStringLiteral("Crew"));
        QVERIFY(m.join(c.inviteLink()));
        QCOMPARE(
            m.notice(),
            QStringLiteral("Joined Crew. Compare the safety code with the others: %1").arg(c.safetyCode()));
        QCOMPARE(m.selected()->channelID(), c.channelID());
        m.createChannel(QStringLiteral("   "));
        QCOMPARE(m.channels().last().name, QStringLiteral("New channel"));
        QCOMPARE(m.notice(), QStringLiteral("Channel New channel created. Share its invite to add people."));
        QCOMPARE(m.selectedID(), m.channels().last().channelID());
        QVERIFY(m.join(c.inviteLink()));
        QCOMPARE(m.notice(), QStringLiteral("You're already in Crew"));
        QCOMPARE(m.channels().size(), 2);
        QCOMPARE(m.selectedID(), c.channelID());

        m.createChannel(QString(45, QLatin1Char('x')) + QStringLiteral("  "));
        QCOMPARE(m.channels().last().name, QString(40, QLatin1Char('x')));
    }

    void editChannelSixPaths() {
        auto& m = rig.make();
        const auto fam = *m.joinWithPassphrase(QStringLiteral("Family"), QStringLiteral("blue kettle sings"));
        const auto hikers =
            *m.joinWithPassphrase(QStringLiteral("Hikers"), QStringLiteral("green tent rolls"));
        const QString before = m.notice();

        // (1) not joined: nothing, no notice.
        QVERIFY(!m.editChannel(channel(QStringLiteral("Stranger")), QStringLiteral("X"), std::nullopt));
        QCOMPARE(m.notice(), before);
        // (2) empty name.
        QVERIFY(!m.editChannel(fam, QStringLiteral(" \t"), QStringLiteral("whatever words")));
        QCOMPARE(m.notice(), QStringLiteral("Type a channel name."));
        // (4) a passphrase that is too short once trimmed.
        QVERIFY(!m.editChannel(fam, QStringLiteral("Family"), QStringLiteral("  abc   ")));
        QCOMPARE(m.notice(), QStringLiteral("Use at least 8 characters (a few words is best)."));
        // (5) a passphrase channel cannot be renamed without its passphrase...
        QVERIFY(!m.editChannel(fam, QStringLiteral("Familie"), std::nullopt));
        QCOMPARE(m.notice(),
                 QStringLiteral(
                     "The channel name is part of the key. Type the passphrase too to change the name."));
        // (6) ...but a change of case or spacing keeps the key, so it is a plain rename without notice.
        m.setSelectedID(hikers.channelID());
        const QString n6 = m.notice();
        const auto renamed = m.editChannel(fam, QStringLiteral("  FAMILY  "), QStringLiteral("   "));
        QVERIFY(renamed);
        QCOMPARE(renamed->name, QStringLiteral("FAMILY"));
        QCOMPARE(renamed->channelID(), fam.channelID());
        QCOMPARE(m.channels().first().name, QStringLiteral("FAMILY"));
        QCOMPARE(m.notice(), n6);
        QCOMPARE(m.selectedID(), hikers.channelID());

        // (4) new passphrase: replaced in place, creation time kept, selected, roster of the old ID dropped,
        // foreign fingerprints forgotten.
        m.receiveSealed(helloFrom(fam, 42, "Ann"));
        m.receiveSealed(helloFrom(channel(QStringLiteral("foreign")), 43, "Bob"));
        QVERIFY(m.roster().contains(fam.channelID()));
        QCOMPARE(m.foreignChannels().size(), 1);
        const auto rekeyed = m.editChannel(fam, QStringLiteral("Home"), QStringLiteral("  red door opens  "));
        QVERIFY(rekeyed);
        QCOMPARE(m.channels().first().channelID(), rekeyed->channelID());
        QCOMPARE(rekeyed->created, fam.created);
        QCOMPARE(m.selectedID(), rekeyed->channelID());
        QVERIFY(!m.roster().contains(fam.channelID()));
        QVERIFY(m.foreignChannels().isEmpty());
        QCOMPARE(
            m.notice(),
            QStringLiteral("Home now uses the new passphrase. Safety code %1.").arg(rekeyed->safetyCode()));
        // The trimmed passphrase is what made the key.
        QCOMPARE(
            rekeyed->channelID(),
            Channel::fromPassphrase(QStringLiteral("Home"), QStringLiteral("red door opens"))->channelID());

        // (4) a name and passphrase already in the list: the edited channel goes, the other is used.
        const auto merged =
            m.editChannel(*rekeyed, QStringLiteral("hikers"), QStringLiteral("green tent rolls"));
        QVERIFY(merged);
        QCOMPARE(merged->channelID(), hikers.channelID());
        QCOMPARE(m.channels().size(), 1);
        QCOMPARE(m.selectedID(), hikers.channelID());
        QCOMPARE(m.notice(), QStringLiteral("That name and passphrase is already in your list. Using it."));

        // (6) a random-key channel takes any name, cut to 40 characters.
        m.createChannel(QStringLiteral("Random"));
        const Channel random = m.channels().last();
        const auto longName = m.editChannel(random, QString(50, QLatin1Char('n')), std::nullopt);
        QVERIFY(longName);
        QCOMPARE(longName->name, QString(40, QLatin1Char('n')));
        QCOMPARE(longName->channelID(), random.channelID());

        // (5)/(6) a key name over 40 characters leaves a shortened label: saving that label (or its case
        // and spacing) with no passphrase is a plain rename, while another name is still refused.
        const QString words = QStringLiteral("The Long Valley Search And Rescue Volunteers North");
        const auto lengthy = *m.joinWithPassphrase(words, QStringLiteral("orange kite flies"));
        QCOMPARE(lengthy.name, TextRules::leftCharacters(words, 40));
        QCOMPARE(lengthy.keyName, words);
        const QString n5 = m.notice();
        const auto kept = m.editChannel(lengthy, lengthy.name, std::nullopt);
        QVERIFY(kept);
        QCOMPARE(kept->channelID(), lengthy.channelID());
        QCOMPARE(kept->name, lengthy.name);
        QCOMPARE(m.notice(), n5);
        const auto recased =
            m.editChannel(lengthy, QStringLiteral("  ") + lengthy.name.toLower(), std::nullopt);
        QVERIFY(recased);
        QCOMPARE(recased->name, lengthy.name.toLower());
        QCOMPARE(recased->keyName, words);
        QCOMPARE(recased->channelID(), lengthy.channelID());
        QVERIFY(!m.editChannel(lengthy, QStringLiteral("The Long Valley"), std::nullopt));
        QCOMPARE(m.notice(),
                 QStringLiteral(
                     "The channel name is part of the key. Type the passphrase too to change the name."));
    }

    void rotateLeaveAndSelection() {
        auto& m = rig.make();
        m.createChannel(QStringLiteral("A"));
        m.createChannel(QStringLiteral("B"));
        m.createChannel(QStringLiteral("C"));
        const auto list = m.channels();

        // A selection that names nothing falls back to the first channel.
        m.setSelectedID(QStringLiteral("nothing"));
        QCOMPARE(m.selected()->channelID(), list[0].channelID());

        m.rotateKey(list[1]);
        const Channel b2 = m.channels()[1];
        QCOMPARE(b2.name, QStringLiteral("B"));
        QVERIFY(b2.channelID() != list[1].channelID());
        QVERIFY(!b2.origin);
        QCOMPARE(m.selectedID(), b2.channelID());
        QCOMPARE(
            m.notice(),
            QStringLiteral("New key made for B. Share the new invite with the people you want to keep."));

        const QString noticeBefore = m.notice();
        m.setSelectedID(list[2].channelID());
        m.leave(list[0]); // not selected: selection kept
        QCOMPARE(m.selectedID(), list[2].channelID());
        m.leave(list[2]); // selected: the first remaining
        QCOMPARE(m.selectedID(), b2.channelID());
        m.leave(b2);
        QVERIFY(m.channels().isEmpty());
        QVERIFY(m.selectedID().isEmpty());
        QVERIFY(!m.selected());
        QCOMPARE(m.notice(), noticeBefore);

        // A stale copy of a channel no longer joined: a new key changes nothing and says nothing.
        m.createChannel(QStringLiteral("D"));
        const auto listD = m.channels();
        const QString noticeD = m.notice();
        m.rotateKey(list[1]);
        QCOMPARE(m.channels(), listD);
        QCOMPARE(m.notice(), noticeD);
    }

    void noticeClearsSixSecondsAfterTheLastOne() {
        auto& m = rig.make();
        QSignalSpy spy(&m, &WalkieModel::noticeChanged);
        m.createChannel(QStringLiteral("A"));
        rig.clock->advance(4);
        m.reap();
        m.createChannel(QStringLiteral("B")); // replaces it and starts its own 6 s
        rig.clock->advance(5.9);
        m.reap();
        QCOMPARE(m.notice(), QStringLiteral("Channel B created. Share its invite to add people."));
        rig.clock->advance(0.2);
        m.reap();
        QVERIFY(m.notice().isEmpty());
        QCOMPARE(spy.count(), 3);
    }

    void settingsKeysDefaultsAndCallSign() {
        auto& m = rig.make();
        QCOMPARE(m.relayURL(), QStringLiteral("ws://localhost:8787"));
        QVERIFY(m.useRelay() && m.useNearby() && m.useLAN() && m.radioSound() && m.rogerBeep() &&
                m.monitorAll());
        QVERIFY(!m.scrambler() && !m.requireUnlock() && !m.locked() && !m.muteSpeaker());
        QCOMPARE(m.scrambleMode(), 4);
        QVERIFY(m.displayName().isEmpty());
        QVERIFY(m.directPeers().isEmpty());

        QSignalSpy spy(&m, &WalkieModel::displayNameChanged);
        m.setDisplayName(QStringLiteral("  Kite  "));
        QCOMPARE(Defaults::shared().stringValue(QStringLiteral("displayName")), QStringLiteral("  Kite  "));
        QCOMPARE(m.displayName(), QStringLiteral("  Kite  "));
        QCOMPARE(spy.count(), 1);
        m.setMonitorAll(false);
        m.setScrambleMode(2);
        QCOMPARE(Defaults::shared().value(QStringLiteral("monitorAll")).toString(), QStringLiteral("false"));
        QCOMPARE(Defaults::shared().intValue(QStringLiteral("scrambleMode"), -1), 2);
        QCOMPARE(m.callSign(), QStringLiteral("Tester")); // the override wins

        auto o = rig.options();
        o.callSign.reset();
        WalkieModel plain(o);
        QCOMPARE(plain.callSign(), QStringLiteral("Kite"));
        plain.setDisplayName(QString(60, QChar(0x00E9)));
        QCOMPARE(plain.callSign(), QString(46, QChar(0x00E9)));
        plain.setDisplayName(QStringLiteral("   "));
        const QString host = QSysInfo::machineHostName().trimmed();
        QCOMPARE(plain.callSign(), host.isEmpty() ? QStringLiteral("Unit") : host.left(46));
    }

    void requireUnlockLocksAtStartAndUnlockAsks() {
        Defaults::shared().setValue(QStringLiteral("requireUnlock"), true);
        rig.auth->answer = Authenticator::Result::failed;
        auto& m = rig.make();
        QVERIFY(m.locked());
        m.unlock();
        QCOMPARE(rig.auth->reasons, QStringList{QStringLiteral("Unlock your private channels")});
        QTRY_COMPARE(*rig.auth->answered, 1);
        QVERIFY(m.locked()); // failure changes nothing
        rig.auth->answer = Authenticator::Result::cannotEvaluate;
        m.unlock();
        QTRY_VERIFY(!m.locked()); // nothing to ask with: open at once
        // Turning the setting off later does not lock or unlock anything by itself.
        rig.model.reset();
        rig.auth->answer = Authenticator::Result::success;
        auto& again = rig.make();
        QVERIFY(again.locked());
        again.setRequireUnlock(false);
        QVERIFY(again.locked());
        again.unlock();
        QTRY_VERIFY(!again.locked());
    }

    void aSecondUnlockWhileOneIsPendingIsIgnored() {
        Defaults::shared().setValue(QStringLiteral("requireUnlock"), true);
        rig.auth->answer = Authenticator::Result::failed;
        auto& m = rig.make();
        rig.auth->reasons.clear();
        m.unlock();
        m.unlock(); // the first has not answered yet (it answers through the event loop)
        QCOMPARE(rig.auth->reasons.size(), 1);
        QTRY_COMPARE(*rig.auth->answered, 1);
        m.unlock(); // answered: a new attempt asks again
        QCOMPARE(rig.auth->reasons.size(), 2);
        QTRY_COMPARE(*rig.auth->answered, 2);
        QVERIFY(m.locked());
    }

    void onlineCountFromRosterAndRelay() {
        auto& m = rig.make();
        m.createChannel(QStringLiteral("A"));
        const Channel a = m.channels().first();
        QVERIFY(!m.onlineCount(a));
        TransportStatus relay;
        relay.up = true;
        relay.peerCounts.insert(a.channelID(), 3);
        m.receiveStatus(QStringLiteral("relay"), relay);
        QCOMPARE(m.onlineCount(a), std::optional<int>(3));
        m.receiveSealed(helloFrom(a, 7, "B"));
        QCOMPARE(m.onlineCount(a), std::optional<int>(3)); // max(1 + 1, 3)
        m.receiveSealed(helloFrom(a, 8, "C"));
        m.receiveSealed(helloFrom(a, 9, "D"));
        QCOMPARE(m.onlineCount(a), std::optional<int>(4)); // this unit counts itself
        relay.peerCounts.clear();
        m.receiveStatus(QStringLiteral("relay"), relay);
        QCOMPARE(m.onlineCount(a), std::optional<int>(4));
        // Hellos expire after 8 s.
        rig.clock->advance(8);
        m.reap();
        QVERIFY(m.roster().isEmpty());
        QVERIFY(!m.onlineCount(a));
    }

    void linkReasonWithoutHomeNetwork() {
        auto& m = rig.make();
        m.createChannel(QStringLiteral("A"));
        const Channel a = m.channels().first();
        QCOMPARE(m.linkReason(a), QStringLiteral("No link is on. Turn on LAN in Setup."));
        TransportStatus nearby;
        nearby.units = 1;
        m.receiveStatus(QStringLiteral("nearby"), nearby);
        QCOMPARE(m.linkReason(a), QStringLiteral("Waiting for the other unit on this channel…"));

        // A foreign fingerprint heard in the last 30 s, from any channel.
        m.receiveSealed(helloFrom(channel(QStringLiteral("x")), 5, "X"));
        QVERIFY(m.linkReason(a).startsWith(
            QStringLiteral("Unknown channel / key mismatch: another unit is heard, "
                           "but on a different key. Check the channel name and "
                           "passphrase (safety codes must match).")));
        rig.clock->advance(30);
        QCOMPARE(m.linkReason(a), QStringLiteral("Waiting for the other unit on this channel…"));

        m.receiveSealed(helloFrom(a, 5, "B"));
        QCOMPARE(m.linkReason(a), QStringLiteral("Connected: hearing 1 other unit"));
        m.receiveSealed(helloFrom(a, 6, "C"));
        QCOMPARE(m.linkReason(a), QStringLiteral("Connected: hearing 2 other units"));
    }

    void linkReasonWithHomeNetwork() {
        OtherUnit other;
        auto& m = rig.make(linkedOptions(rig, other));
        m.createChannel(QStringLiteral("A"));
        const Channel a = m.channels().first();
        QVERIFY(m.lan());
        QCOMPARE(m.linkReason(a),
                 QStringLiteral("No other unit heard on the network yet. Is the app open on the "
                                "other computer, same Wi-Fi? Try typing its IP in Setup."));
        TransportStatus relay;
        relay.up = true;
        m.receiveStatus(QStringLiteral("relay"), relay);
        QCOMPARE(m.linkReason(a), QStringLiteral("Waiting for the other unit on this channel…"));
        relay.up = false;
        m.receiveStatus(QStringLiteral("relay"), relay);
        // The other unit is heard on the home network, on no channel of ours yet.
        other.hear(m.lan()->port());
        other.link->send(helloFrom(channel(QStringLiteral("elsewhere")), 9, "Z"));
        QTRY_VERIFY(m.lan()->counters().unitsHeard > 0);
        rig.clock->advance(31); // the foreign fingerprint is older than 30 s
        QCOMPARE(m.linkReason(a), QStringLiteral("Waiting for the other unit on this channel…"));
    }

    void channelsPersistWhenTheModelKeepsThem() {
        const QString folder = ChannelStore::defaultFolder();
        QDir(folder).removeRecursively();
        {
            auto& m = rig.make(rig.options(true));
            m.createChannel(QStringLiteral("Kept"));
            QVERIFY(QFile::exists(folder + "/channels.json"));
            QCOMPARE(mode(folder + "/channels.json"), 0600);
            QCOMPARE(mode(folder), 0700);
            rig.model.reset();
        }
        auto& m = rig.make(rig.options(true));
        QCOMPARE(m.channels().size(), 1);
        QCOMPARE(m.channels().first().name, QStringLiteral("Kept"));
        rig.model.reset();

        // A model that does not keep channels neither reads nor writes the store.
        auto& temp = rig.make(rig.options(false));
        QVERIFY(temp.channels().isEmpty());
        temp.createChannel(QStringLiteral("Scratch"));
        rig.model.reset();
        auto& reread = rig.make(rig.options(true));
        QCOMPARE(reread.channels().size(), 1);
    }

    void damagedStoreIsKeptAsideAndReported() {
        const QString folder = ChannelStore::defaultFolder();
        QDir(folder).removeRecursively();
        QDir().mkpath(folder);
        QFile f(folder + "/channels.json");
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("{ not json");
        f.close();

        auto& m = rig.make(rig.options(true));
        QVERIFY(m.channels().isEmpty());
        QVERIFY(m.notice().isEmpty()); // posted once something shows notices
        QSignalSpy spy(&m, &WalkieModel::noticeChanged);
        QTRY_COMPARE(spy.count(), 1);
        const QStringList aside = QDir(folder).entryList({QStringLiteral("channels-unreadable-*.json")});
        QCOMPARE(aside.size(), 1);
        QCOMPARE(m.notice(), QStringLiteral("Couldn't read your saved channels. The old file was kept as %1.")
                                 .arg(aside.first()));
        QFile kept(folder + "/" + aside.first());
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("{ not json"));
        kept.close();

        // The next start finds a readable file: no second copy, no notice.
        rig.model.reset();
        rig.clock->advance(60);
        auto& again = rig.make(rig.options(true));
        QSignalSpy quiet(&again, &WalkieModel::noticeChanged);
        QCoreApplication::processEvents();
        QCOMPARE(quiet.count(), 0);
        QVERIFY(again.notice().isEmpty());
        QCOMPARE(QDir(folder).entryList({QStringLiteral("channels-unreadable-*.json")}), aside);
        QVERIFY(kept.open(QIODevice::ReadOnly));
        QCOMPARE(kept.readAll(), QByteArray("{ not json"));
    }
};

MODEL_TEST_MAIN(ModelChannelsTest)
#include "tst_model_channels.moc"
