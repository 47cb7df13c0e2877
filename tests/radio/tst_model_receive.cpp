// The receive path: sealed packets fed straight into the model's receive entry.
#include "ModelFixture.h"

#include "Bytes.h"
#include "RadioPlayer.h"
#include "TRKLog.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QtEndian>

using namespace fixture;

namespace {
constexpr quint64 ann = 0xA11A11;

QByteArray frame(qint16 value = 1000) {
    QByteArray pcm(3200, Qt::Uninitialized);
    for (int i = 0; i < 1600; ++i)
        qToLittleEndian<qint16>(value, pcm.data() + 2 * i);
    return pcm;
}
} // namespace

class ModelReceiveTest : public QObject {
    Q_OBJECT
    Rig rig;
    QStringList events;
    int voiceFrames = 0;
    Channel a, b;

    WalkieModel& make(const WalkieModel::Options& o) {
        auto& m = rig.make(o);
        m.onEvent = [this](const QString& e) { events.append(e); };
        m.onVoiceFrame = [this](const Packet&) { ++voiceFrames; };
        m.setChannels({a, b});
        m.setSelectedID(a.channelID());
        return m;
    }
    WalkieModel& make() { return make(rig.options()); }

private slots:
    void initTestCase() {
        a = channel(QStringLiteral("A"));
        b = channel(QStringLiteral("B"));
    }
    void init() {
        resetSettings();
        rig = Rig();
        events.clear();
        voiceFrames = 0;
    }
    void cleanup() { rig.model.reset(); }

    void duplicatesAndOwnPacketsAreDropped() {
        auto& m = make();
        const QByteArray hello = sealed(a, PacketKind::hello, 1, 1, ann, "Ann");
        m.receiveSealed(hello);
        m.receiveSealed(hello);
        QCOMPARE(events, QStringList{QStringLiteral("HELLO from Ann on A")});
        QCOMPARE(m.lastGoodPacket(), rig.clock->now());

        // Junk that carries the real packet's tail is refused and does not block the real one.
        const QByteArray other = sealed(a, PacketKind::hello, 2, 1, ann, "Ann");
        QByteArray junk = other;
        junk[30] = char(junk[30] ^ 0x55);
        m.receiveSealed(junk);
        m.receiveSealed(other);
        QCOMPARE(events.size(), 2);

        // A packet with this unit's own sender ID (its echo) is not taken.
        rig.clock->advance(5);
        m.receiveSealed(sealed(a, PacketKind::hello, 3, 1, m.senderID(), "Me"));
        QCOMPARE(events.size(), 2);
        QVERIFY(m.lastGoodPacket() < rig.clock->now());
        QCOMPARE(m.roster().value(a.channelID()).size(), 1);

        // Too short, wrong magic: ignored without a trace.
        m.receiveSealed(QByteArray(10, 'x'));
        m.receiveSealed(QByteArray(100, 'x'));
        QCOMPARE(events.size(), 2);
        QVERIFY(m.foreignChannels().isEmpty());
    }

    void foreignFingerprintsAreCountedAndBounded() {
        auto& m = make();
        const Channel stranger = channel(QStringLiteral("S"));
        for (int i = 0; i < 5; ++i)
            m.receiveSealed(sealed(stranger, PacketKind::hello, 10 + i, 1, ann, "X"));
        const QString expected = QStringLiteral("UNKNOWN CHANNEL %1 (not one of your channels)")
                                     .arg(Bytes::hex(stranger.channelIDBytes().left(4)));
        QCOMPARE(events, QStringList(5, expected));
        QCOMPARE(m.foreignChannels().size(), 1);
        QCOMPARE(m.foreignChannels().value(stranger.channelIDBytes()), rig.clock->now());

        // A flood of random fingerprints keeps the table bounded.
        QByteArray fake = sealed(stranger, PacketKind::hello, 1, 1, ann, "X");
        for (int i = 0; i < 2000; ++i) {
            qToBigEndian<quint32>(quint32(i), fake.data() + 4);
            m.receiveSealed(fake);
        }
        QVERIFY(m.foreignChannels().size() <= WalkieModel::maxForeign);
        QVERIFY(m.tableSizes().foreignLogged <= WalkieModel::maxForeign);
        // Forgotten after ten minutes.
        rig.clock->advance(600);
        m.reap();
        QVERIFY(m.foreignChannels().isEmpty());
        QCOMPARE(m.tableSizes().foreignLogged, 0);
    }

    void voiceSequencingAndEnd() {
        auto& m = make();
        QSignalSpy talk(&m, &WalkieModel::talkChanged);
        m.receiveSealed(sealed(a, PacketKind::start, 77, 1, ann, "Ann"));
        QCOMPARE(m.talk(), TalkState::receiving(QStringLiteral("Ann on A")));
        QVERIFY(rig.speaker->opens > 0);
        for (quint32 seq : {2u, 3u, 3u, 2u, 5u}) {
            rig.clock->advance(0.1);
            m.receiveSealed(sealed(a, PacketKind::audio, 77, seq, ann, frame()));
        }
        QCOMPARE(voiceFrames, 3); // 2, 3 and 5; the repeat and the late one are dropped
        rig.clock->advance(0.1);
        m.receiveSealed(sealed(a, PacketKind::end, 77, 6, ann));
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(events, (QStringList{QStringLiteral("VOICE START from Ann on A"),
                                      QStringLiteral("VOICE END from Ann on A, 3 frames")}));
        QCOMPARE(m.activity().size(), 1);
        const ActivityEntry e = m.activity().first();
        QCOMPARE(e.who, QStringLiteral("Ann"));
        QCOMPARE(e.channel, QStringLiteral("A"));
        QVERIFY(!e.outgoing);
        QCOMPARE(e.seconds, 0.6);
        QCOMPARE(talk.count(), 2);

        // A replayed recording of the finished transmission is ignored for ten minutes.
        m.receiveSealed(sealed(a, PacketKind::start, 77, 1, ann, "Ann"));
        m.receiveSealed(sealed(a, PacketKind::audio, 77, 9, ann, frame()));
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(voiceFrames, 3);
        rig.clock->advance(600);
        m.reap();
        m.receiveSealed(sealed(a, PacketKind::start, 77, 1, ann, "Ann"));
        QCOMPARE(m.talk(), TalkState::receiving(QStringLiteral("Ann on A")));
    }

    void silenceEndsAReceptionAndTheSameOneOnAnotherChannelIsIgnored() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::start, 5, 1, ann, "Ann"));
        m.receiveSealed(sealed(b, PacketKind::start, 5, 1, ann, "Ann"));
        m.receiveSealed(sealed(b, PacketKind::audio, 5, 2, ann, frame()));
        QCOMPARE(voiceFrames, 0);
        m.receiveSealed(sealed(a, PacketKind::audio, 5, 2, ann, frame()));
        QCOMPARE(voiceFrames, 1);
        rig.clock->advance(1.4);
        m.reap();
        QVERIFY(m.talk().isReceiving());
        rig.clock->advance(0.1);
        m.reap();
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(m.activity().size(), 1);
        QCOMPARE(events.last(), QStringLiteral("VOICE END from Ann on A, 1 frames"));
    }

    // Every link drops for two seconds mid-talk: the reaper ends the reception, and the talk's next new
    // frames open a new one under the same name; frames already played and copies on another channel do
    // not, and once the talk's end comes, its frames are replays again.
    void aTalkResumesAfterAnOutage() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::start, 8, 1, ann, "Ann"));
        for (quint32 seq = 2; seq <= 4; ++seq) {
            rig.clock->advance(0.1);
            m.receiveSealed(sealed(a, PacketKind::audio, 8, seq, ann, frame()));
        }
        rig.clock->advance(1.5);
        m.reap();
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(m.activity().size(), 1);

        rig.clock->advance(0.5);
        m.receiveSealed(sealed(a, PacketKind::start, 8, 1, ann, "Ann")); // its start, sent again
        m.receiveSealed(sealed(a, PacketKind::audio, 8, 4, ann, frame(7))); // played before the outage
        m.receiveSealed(sealed(b, PacketKind::audio, 8, 5, ann, frame()));  // the same talk, other channel
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(voiceFrames, 3);

        m.receiveSealed(sealed(a, PacketKind::audio, 8, 25, ann, frame()));
        QCOMPARE(m.talk(), TalkState::receiving(QStringLiteral("Ann on A")));
        QCOMPARE(voiceFrames, 4);
        m.receiveSealed(sealed(a, PacketKind::audio, 8, 24, ann, frame())); // late: after one played
        m.receiveSealed(sealed(a, PacketKind::audio, 8, 26, ann, frame()));
        QCOMPARE(voiceFrames, 5);
        m.receiveSealed(sealed(a, PacketKind::end, 8, 27, ann));
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(m.activity().size(), 2);
        QCOMPARE(events.last(), QStringLiteral("VOICE END from Ann on A, 2 frames"));

        rig.clock->advance(31); // past the duplicate filter
        m.receiveSealed(sealed(a, PacketKind::audio, 8, 30, ann, frame()));
        QCOMPARE(m.talk(), TalkState::idle());

        // A talk reaped and never heard again ends for good with its end, even one that comes alone.
        m.receiveSealed(sealed(a, PacketKind::audio, 9, 2, ann, frame()));
        rig.clock->advance(1.5);
        m.reap();
        m.receiveSealed(sealed(a, PacketKind::end, 9, 40, ann));
        rig.clock->advance(31);
        m.receiveSealed(sealed(a, PacketKind::audio, 9, 30, ann, frame()));
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(voiceFrames, 6);
    }

    void audioWithoutItsStartStillPlays() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::hello, 1, 1, ann, "Ann"));
        m.receiveSealed(sealed(a, PacketKind::audio, 6, 2, ann, frame()));
        QCOMPARE(voiceFrames, 1);
        QCOMPARE(m.talk(), TalkState::receiving(QStringLiteral("Ann on A")));
    }

    void listeningToAllChannelsOrOnlyTheSelectedOne() {
        Defaults::shared().setValue(QStringLiteral("monitorAll"), false);
        auto& m = make();
        SOSInfo info;
        info.who = QStringLiteral("Ann");
        info.time = rig.clock->now();
        m.receiveSealed(sealed(b, PacketKind::start, 1, 1, ann, "Ann"));
        m.receiveSealed(sealed(b, PacketKind::audio, 1, 2, ann, frame()));
        m.receiveSealed(sealed(b, PacketKind::sos, 2, 1, ann, info.toJson()));
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(voiceFrames, 0);
        QVERIFY(m.alerts().isEmpty());
        // Hellos and texts are taken on every joined channel.
        m.receiveSealed(sealed(b, PacketKind::hello, 3, 1, ann, "Ann"));
        m.receiveSealed(sealed(b, PacketKind::text, 4, 1, ann, textPayload("Ann", "hi")));
        QCOMPARE(events, (QStringList{QStringLiteral("HELLO from Ann on B"),
                                      QStringLiteral("TEXT from Ann on B: hi")}));

        m.setMonitorAll(true);
        m.receiveSealed(sealed(b, PacketKind::start, 11, 1, ann, "Ann"));
        m.receiveSealed(sealed(b, PacketKind::audio, 11, 2, ann, frame()));
        m.receiveSealed(sealed(b, PacketKind::sos, 12, 1, ann, info.toJson()));
        QCOMPARE(voiceFrames, 1);
        QCOMPARE(m.alerts().size(), 1);
    }

    // Voice is taken on whatever selected() gives, through choices, reordering and the fallback to
    // the first channel when the chosen one is gone.
    void voiceFollowsTheSelectedChannelThroughChanges() {
        Defaults::shared().setValue(QStringLiteral("monitorAll"), false);
        auto& m = make(); // a chosen, b joined
        quint64 tx = 100;
        const auto plays = [&](const Channel& c) {
            const int before = voiceFrames;
            m.receiveSealed(sealed(c, PacketKind::audio, ++tx, 2, ann, frame()));
            return voiceFrames > before;
        };
        QVERIFY(plays(a) && !plays(b));
        m.setSelectedID(b.channelID());
        QVERIFY(plays(b) && !plays(a));
        m.setChannels({b, a}); // b moves to the front, still chosen
        QVERIFY(plays(b) && !plays(a));
        m.setChannels({a, b}); // and back
        QVERIFY(plays(b) && !plays(a));
        m.setSelectedID(QStringLiteral("gone"));
        QVERIFY(plays(a) && !plays(b)); // the first channel stands in
        m.setChannels({b});
        QVERIFY(plays(b));
        m.setChannels({});
        QVERIFY(!plays(b));
    }

    void mutedSpeakerTracksButDoesNotPlay() {
        auto& m = make();
        m.setMuteSpeaker(true);
        m.receiveSealed(sealed(a, PacketKind::start, 1, 1, ann, "Ann"));
        m.receiveSealed(sealed(a, PacketKind::audio, 1, 2, ann, frame()));
        QVERIFY(m.talk().isReceiving());
        m.receiveSealed(sealed(a, PacketKind::end, 1, 3, ann));
        QCOMPARE(voiceFrames, 1);
        QCOMPARE(m.activity().size(), 1);
        QCOMPARE(rig.speaker->opens, 0);
        // The siren is not muted.
        SOSInfo info;
        info.who = QStringLiteral("Ann");
        info.time = rig.clock->now();
        m.receiveSealed(sealed(a, PacketKind::sos, 9, 1, ann, info.toJson()));
        QVERIFY(m.player()->sirenPlaying());
        QCOMPARE(rig.speaker->opens, 1);
    }

    void mutingHalfWayStopsTheSoundAndLetsTheOutputClose() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::start, 1, 1, ann, "Ann"));
        m.receiveSealed(sealed(a, PacketKind::audio, 1, 2, ann, frame()));
        QVERIFY(rig.speaker->isOpen());
        for (int i = 0; i < 10; ++i)
            rig.speaker->pull(100); // the squelch burst and the voice so far, as a sound card takes them
        m.setMuteSpeaker(true);
        m.receiveSealed(sealed(a, PacketKind::audio, 1, 3, ann, frame()));
        m.receiveSealed(sealed(a, PacketKind::end, 1, 4, ann));
        QCOMPARE(voiceFrames, 2);
        QCOMPARE(m.activity().size(), 1);
        // Nothing more is heard: no voice, no roger beep, no squelch tail...
        const QByteArray after = rig.speaker->pull(1500);
        QVERIFY(!after.isEmpty());
        QCOMPARE(after, QByteArray(after.size(), '\0'));
        // ...and, with nothing left to play, the output is let go.
        for (int i = 0; i < 25; ++i)
            rig.speaker->pull(100);
        QTRY_VERIFY(!rig.speaker->isOpen());
    }

    void networkTextIsCleanedBeforeUse() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::hello, 1, 1, ann,
                               "  Ann\nB\xE2\x80\xA8"
                               "C\x01 \xFF  "));
        QCOMPARE(events.last(), QStringLiteral("HELLO from Ann B C  \uFFFD on A"));
        m.receiveSealed(sealed(a, PacketKind::hello, 2, 1, 0xB0B, QByteArray(60, 'b')));
        QCOMPARE(m.roster().value(a.channelID()).value(0xB0B).name, QString(46, QLatin1Char('b')));
        m.receiveSealed(sealed(a, PacketKind::hello, 3, 1, 0xC0C, " \t\n "));
        QVERIFY(!m.roster().value(a.channelID()).contains(0xC0C));

        m.receiveSealed(sealed(a, PacketKind::text, 4, 1, ann, textPayload("Ann", "line one\nline two\t")));
        QCOMPARE(m.messages().first().text, QStringLiteral("line one line two"));
        QCOMPARE(m.messages().first().who, QStringLiteral("Ann"));
        QVERIFY(!m.messages().first().outgoing);
        m.receiveSealed(
            sealed(a, PacketKind::text, 5, 1, ann, textPayload("Ann", QString(600, QLatin1Char('t')))));
        QCOMPARE(m.messages().first().text.size(), 500);
        const int count = m.messages().size();
        m.receiveSealed(sealed(a, PacketKind::text, 6, 1, ann, textPayload("Ann", "\n\n")));
        m.receiveSealed(sealed(a, PacketKind::text, 7, 1, ann, textPayload("", "hello")));
        m.receiveSealed(sealed(a, PacketKind::text, 8, 1, ann, "not json"));
        QCOMPARE(m.messages().size(), count);

        // Complex script next to emoji arrives whole; a call sign loses what shows nothing.
        const QString namaste = QStringLiteral("नमस्ते 🙏 கா 😀");
        m.receiveSealed(sealed(a, PacketKind::text, 9, 1, ann, textPayload("\u200BAnn\uFEFF", namaste)));
        QCOMPARE(m.messages().first().text, namaste);
        QCOMPARE(m.messages().first().who, QStringLiteral("Ann"));
        m.receiveSealed(sealed(a, PacketKind::hello, 10, 1, 0xD0D, QStringLiteral("Ravi कि 😀").toUtf8()));
        QCOMPARE(m.roster().value(a.channelID()).value(0xD0D).name, QStringLiteral("Ravi कि 😀"));
    }

    void listsKeepTheirCaps() {
        auto& m = make();
        for (int i = 0; i < 205; ++i)
            m.receiveSealed(
                sealed(a, PacketKind::text, 100 + i, 1, 0x7000 + i, textPayload("Ann", QString::number(i))));
        QCOMPARE(m.messages().size(), 200);
        QCOMPARE(m.messages().first().text, QStringLiteral("204"));
        QCOMPARE(m.messages().last().text, QStringLiteral("5"));

        // One sender's texts are counted before they are read: the rest of the minute goes unread, and
        // texts are logged a few times a minute, then once more to say the log stops.
        rig.clock->advance(WalkieModel::rateWindowMs / 1000);
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const qint64 logStart = log.size();
        const int limit = WalkieModel::maxTextsPerSender;
        for (int i = 0; i < limit + 50; ++i)
            m.receiveSealed(sealed(a, PacketKind::text, 900 + i, 1, ann, textPayload("Ann", "Spam")));
        int spam = 0;
        for (const auto& t : m.messages())
            spam += t.text == QStringLiteral("Spam") ? 1 : 0;
        QCOMPARE(spam, limit);
        TRKLog::flush();
        QVERIFY(log.seek(logStart));
        const QByteArray logged = log.readAll();
        QCOMPARE(logged.count("Text refused on A: too many from one unit this minute") +
                     logged.count("Text from Ann on A"),
                 WalkieModel::maxPacedLogLines);
        QCOMPARE(logged.count("Many texts heard; not logging more of them this minute"), 1);
        rig.clock->advance(WalkieModel::rateWindowMs / 1000);
        m.receiveSealed(sealed(a, PacketKind::text, 2000, 1, ann, textPayload("Ann", "Next minute")));
        QCOMPARE(m.messages().first().text, QStringLiteral("Next minute"));
        for (int i = 0; i < 103; ++i) {
            m.receiveSealed(sealed(a, PacketKind::start, 1000 + i, 1, ann, QByteArray::number(i)));
            m.receiveSealed(sealed(a, PacketKind::end, 1000 + i, 2, ann));
        }
        QCOMPARE(m.activity().size(), 100);
        QCOMPARE(m.activity().first().who, QStringLiteral("102"));
    }

    void tablesStayBoundedUnderAFlood() {
        auto& m = make();
        for (int i = 0; i < 300; ++i)
            m.receiveSealed(sealed(a, PacketKind::hello, 5000 + i, 1, 1 + i, "U"));
        QCOMPARE(m.tableSizes().dedupe, 300);
        QCOMPARE(m.roster().value(a.channelID()).size(), WalkieModel::maxRoster);
        rig.clock->advance(30);
        m.reap();
        QCOMPARE(m.tableSizes().dedupe, 0);
        QVERIFY(m.roster().isEmpty());

        // Finished transmissions are remembered against replays, up to a cap that drops the oldest.
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const qint64 logStart = log.size();
        const int extra = 20;
        const auto startOf = [&](int i) { return sealed(a, PacketKind::start, 20000 + i, 1, ann, "Ann"); };
        for (int i = 0; i < WalkieModel::maxFinished + extra; ++i) {
            rig.clock->advance(0.01);
            m.receiveSealed(startOf(i));
            m.receiveSealed(sealed(a, PacketKind::end, 20000 + i, 2, ann));
        }
        QCOMPARE(m.tableSizes().finished, WalkieModel::maxFinished);
        QCOMPARE(m.tableSizes().receptions, 0);
        // Each forged start would have its own pair of log lines: a few are logged, then one line says
        // the rest are not.
        TRKLog::flush();
        QVERIFY(log.seek(logStart));
        const QByteArray logged = log.readAll();
        QVERIFY(logged.count(" ended, 1 frames") + logged.count(" ended, 0 frames") <=
                WalkieModel::maxPacedLogLines * 2);
        QVERIFY(logged.count("Many transmissions heard; not logging more of them this minute") >= 1);
        rig.clock->advance(31); // past the duplicate filter, so only the memory of finished ones decides
        events.clear();
        m.receiveSealed(startOf(WalkieModel::maxFinished + extra - 1)); // the newest: still known
        m.receiveSealed(startOf(extra));                                // the oldest kept
        QVERIFY2(events.isEmpty(), qPrintable(events.join('\n')));
        m.receiveSealed(startOf(extra - 1)); // dropped for room: heard again
        QCOMPARE(events, QStringList{QStringLiteral("VOICE START from Ann on A")});
        QCOMPARE(m.tableSizes().finished, WalkieModel::maxFinished);
    }

    // Junk under our fingerprint with made-up tails, strangers' made-up fingerprints, and more genuine
    // packets than the duplicate filter holds: every table stays within its cap, junk takes no place
    // in it, and the filter and the channel still work afterwards.
    void madeUpTailsAndFingerprintsLeaveEveryTableBounded() {
        auto& m = make();
        auto* rng = QRandomGenerator::global();
        QByteArray junk = sealed(a, PacketKind::audio, 9, 2, ann, frame());
        QByteArray stranger = junk;
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        const qint64 logStart = log.size();
        for (int i = 0; i < 3000; ++i) {
            rng->fillRange(reinterpret_cast<quint32*>(junk.data() + junk.size() - 16), 4);
            m.receiveSealed(junk);
            rng->fillRange(reinterpret_cast<quint32*>(stranger.data() + 4), 4);
            m.receiveSealed(stranger);
        }
        // The log names the first twenty of the minute and then says it stops.
        TRKLog::flush();
        QVERIFY(log.seek(logStart));
        const QByteArray logged = log.readAll();
        QCOMPARE(logged.count("Packet for unknown channel"), 20);
        QCOMPARE(logged.count("Many unknown channels heard"), 1);
        auto sizes = m.tableSizes();
        QCOMPARE(sizes.dedupe, 0);
        QCOMPARE(sizes.receptions, 0);
        QCOMPARE(sizes.foreign, WalkieModel::maxForeign);
        QVERIFY(m.foreignChannels().contains(stranger.mid(4, 16))); // the newest is kept
        QVERIFY(sizes.foreignLogged <= WalkieModel::maxForeign);

        // Genuine packets beyond the cap: the oldest make room, the newest are still known as copies.
        const int genuine = WalkieModel::maxDedupe + 200;
        QByteArray last;
        for (int i = 0; i < genuine; ++i) {
            last = sealed(a, PacketKind::radioCheckReply, 1 + quint64(i), 1, ann, "Ann");
            m.receiveSealed(last);
        }
        sizes = m.tableSizes();
        QCOMPARE(sizes.dedupe, WalkieModel::maxDedupe);
        QCOMPARE(sizes.finished, 0);

        events.clear();
        const QByteArray hello = sealed(a, PacketKind::hello, 77, 1, ann, "Ann");
        m.receiveSealed(hello);
        m.receiveSealed(hello);
        QCOMPARE(events, QStringList{QStringLiteral("HELLO from Ann on A")});
        QCOMPARE(m.tableSizes().dedupe, WalkieModel::maxDedupe);
        QCOMPARE(m.lastGoodPacket(), rig.clock->now());
        rig.clock->advance(30);
        m.reap();
        QCOMPARE(m.tableSizes().dedupe, 0);
    }
};

MODEL_TEST_MAIN(ModelReceiveTest)
#include "tst_model_receive.moc"
