// The transmit path, read from what reaches another unit over the home-network link on loopback.
#include "ModelFixture.h"

#include "VoiceCapture.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtEndian>
#include <cmath>

using namespace fixture;

namespace {
QByteArray samples(int bytes, qint16 value = 3000) {
    QByteArray pcm(bytes, Qt::Uninitialized);
    for (int i = 0; i + 1 < bytes; i += 2)
        qToLittleEndian<qint16>(value, pcm.data() + i);
    return pcm;
}

double rms(const QByteArray& pcm) {
    const int n = int(pcm.size() / 2);
    if (n == 0) return 0;
    double sum = 0;
    for (int i = 0; i < n; ++i) {
        const double s = qFromLittleEndian<qint16>(pcm.constData() + 2 * i);
        sum += s * s;
    }
    return std::sqrt(sum / n);
}
} // namespace

class ModelTransmitTest : public QObject {
    Q_OBJECT
    Rig rig;
    std::unique_ptr<OtherUnit> other;
    Channel a;

    WalkieModel& make() {
        other = std::make_unique<OtherUnit>();
        auto& m = rig.make(linkedOptions(rig, *other));
        m.setChannels({a});
        return m;
    }

private slots:
    void initTestCase() { a = channel(QStringLiteral("A")); }
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() {
        rig.model.reset();
        other.reset();
    }

    void pressAndReleaseSendsEverythingSaid() {
        auto& m = make();
        QVERIFY(m.lan());
        m.pressTalk();
        QCOMPARE(m.talk(), TalkState::transmitting());
        QVERIFY(rig.mic->isOpen());
        rig.mic->feed(samples(3200 * 2 + 1000));
        QTRY_VERIFY(m.level() > 0);
        rig.clock->advance(1.5);
        m.transmitTick();
        QCOMPARE(m.talkSeconds(), 1.5);
        rig.mic->feed(samples(3200)); // said just before the release: must not be lost
        m.releaseTalk();
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(m.level(), 0.0f);
        QCOMPARE(m.talkSeconds(), 0.0);

        QTRY_VERIFY(!other->opened(a, PacketKind::end).isEmpty());
        QList<Packet> voice;
        for (const Packet& p : other->opened(a))
            if (p.kind == PacketKind::start || p.kind == PacketKind::audio || p.kind == PacketKind::end)
                voice.append(p);
        QVERIFY(voice.size() >= 4);
        QCOMPARE(voice.first().kind, PacketKind::start);
        QCOMPARE(voice.first().payload, QByteArray("Tester"));
        QCOMPARE(voice.last().kind, PacketKind::end);
        QVERIFY(voice.last().payload.isEmpty());
        qsizetype audioBytes = 0;
        for (int i = 0; i < voice.size(); ++i) {
            QCOMPARE(voice[i].seq, quint32(i + 1));
            QCOMPARE(voice[i].txID, voice.first().txID);
            QCOMPARE(voice[i].sender, m.senderID());
            if (voice[i].kind == PacketKind::audio) audioBytes += voice[i].payload.size();
        }
        QCOMPARE(audioBytes, qsizetype(3200 * 3 + 1000));

        QCOMPARE(m.activity().size(), 1);
        QVERIFY(m.activity().first().outgoing);
        QCOMPARE(m.activity().first().who, QStringLiteral("Tester"));
        QCOMPARE(m.activity().first().channel, QStringLiteral("A"));
        QCOMPARE(m.activity().first().seconds, 1.5);
    }

    void theTalkLimitEndsATransmission() {
        auto& m = make();
        m.pressTalk();
        rig.clock->advance(59.9);
        m.transmitTick();
        QVERIFY(m.talk().isTransmitting());
        rig.clock->advance(0.1);
        m.transmitTick();
        QCOMPARE(m.talk(), TalkState::idle());
        QTRY_COMPARE(other->opened(a, PacketKind::end).size(), 1);
        m.releaseTalk(); // the late release changes nothing
        QCOMPARE(m.activity().size(), 1);
    }

    void aPressWhileSomeoneTalksIsBusy() {
        auto& m = make();
        m.receiveSealed(sealed(a, PacketKind::start, 9, 1, 0xBEEF, "Ann"));
        const int opensBefore = rig.speaker->opens;
        m.pressTalk();
        QCOMPARE(m.talk(), TalkState::busy());
        QCOMPARE(rig.mic->opens, 0);
        QVERIFY(rig.speaker->isOpen() || rig.speaker->opens > opensBefore);
        m.releaseTalk();
        QCOMPARE(m.talk(), TalkState::receiving(QStringLiteral("Ann on A")));
        // Without a channel a press does nothing.
        rig.model.reset();
        auto& empty = rig.make();
        empty.pressTalk();
        QCOMPARE(empty.talk(), TalkState::idle());
    }

    void microphoneProblemsAreNoticed() {
        auto& m = make();
        rig.mic->present = false;
        m.pressTalk();
        QCOMPARE(m.notice(), QStringLiteral("No microphone found. Connect one and try again."));
        QCOMPARE(m.talk(), TalkState::idle());
        rig.mic->present = true;
        rig.mic->result = AudioInput::OpenResult::failed;
        m.pressTalk();
        QCOMPARE(m.notice(), QStringLiteral("The microphone can't be opened. Check your sound settings."));
        QCOMPARE(m.talk(), TalkState::idle());
        QCOMPARE(rig.speaker->opens, 0); // no on-air chirp for a transmission that never started
        QTest::qWait(50);                // no start may go out in this time
        QVERIFY(other->opened(a, PacketKind::start).isEmpty());
    }

    void pushToTalkActionsHoldTheModelWeakly() {
        auto& m = make();
        const auto actions = TRTalk::actions(&m);
        actions.press();
        QVERIFY(m.talk().isTransmitting());
        actions.release();
        QCOMPARE(m.talk(), TalkState::idle());
        TRTalk::press(&m);
        QVERIFY(m.talk().isTransmitting());
        TRTalk::release(&m);
        rig.model.reset();
        actions.press(); // the model is gone: nothing happens
        actions.release();
    }

    void textsGoOutAndAreRecorded() {
        auto& m = make();
        m.sendText(QStringLiteral("  \n "), a);
        QVERIFY(m.messages().isEmpty());
        m.sendText(QStringLiteral("  hello there \n") + QString(600, QLatin1Char('x')), a);
        QCOMPARE(m.messages().size(), 1);
        const auto msg = m.messages().first();
        QCOMPARE(msg.who, QStringLiteral("You"));
        QVERIFY(msg.outgoing);
        QCOMPARE(msg.channel, QStringLiteral("A"));
        QCOMPARE(msg.text.size(), 500);
        QVERIFY(msg.text.startsWith(QStringLiteral("hello there \n")));
        QTRY_COMPARE(other->opened(a, PacketKind::text).size(), 1);
        const Packet p = other->opened(a, PacketKind::text).first();
        QCOMPARE(p.seq, quint32(1));
        const QJsonObject o = QJsonDocument::fromJson(p.payload).object();
        QCOMPARE(o.value("who").toString(), QStringLiteral("Tester"));
        QCOMPARE(o.value("text").toString(), msg.text);

        // A channel whose key cannot seal: nothing is recorded as sent.
        const Channel broken(QStringLiteral("Broken"), QByteArray(5, 'k'), rig.clock->now());
        m.sendText(QStringLiteral("lost"), broken);
        QCOMPARE(m.messages().size(), 1);
        QCOMPARE(m.notice(), QStringLiteral("Message not sent: it couldn't be encrypted."));
    }

    void radioChecksAreAnsweredAndCountedOncePerUnit() {
        auto& m = make();
        QStringList events;
        m.onEvent = [&](const QString& e) { events.append(e); };
        m.radioCheck(a);
        QTRY_COMPARE(other->opened(a, PacketKind::radioCheck).size(), 1);
        const Packet check = other->opened(a, PacketKind::radioCheck).first();
        QCOMPARE(check.payload, QByteArray("Tester"));
        m.receiveSealed(sealed(a, PacketKind::radioCheckReply, check.txID, 1, 0xB, "Bea"));
        m.receiveSealed(sealed(a, PacketKind::radioCheckReply, check.txID, 1, 0xB, "Bea"));
        m.receiveSealed(sealed(a, PacketKind::radioCheckReply, check.txID + 1, 1, 0xD, "Old"));
        m.receiveSealed(sealed(a, PacketKind::radioCheckReply, check.txID, 1, 0xC, "Cal"));
        QCOMPARE(m.radioCheckReplies(), (QStringList{QStringLiteral("Bea"), QStringLiteral("Cal")}));
        QCOMPARE(events, (QStringList{QStringLiteral("RADIO CHECK REPLY from Bea on A"),
                                      QStringLiteral("RADIO CHECK REPLY from Cal on A")}));
        m.radioCheck(a);
        QVERIFY(m.radioCheckReplies().isEmpty());

        // A check from another unit is answered with its own transmission ID.
        m.receiveSealed(sealed(a, PacketKind::radioCheck, 4242, 1, 0xB, "Bea"));
        QCOMPARE(events.last(), QStringLiteral("RADIO CHECK from Bea on A"));
        QTRY_COMPARE(other->opened(a, PacketKind::radioCheckReply).size(), 1);
        const Packet reply = other->opened(a, PacketKind::radioCheckReply).first();
        QCOMPARE(reply.txID, quint64(4242));
        QCOMPARE(reply.seq, quint32(1));
        QCOMPARE(reply.payload, QByteArray("Tester"));
    }

    void hellosCarryTheCallSignOnEveryChannel() {
        auto& m = make();
        const Channel b = channel(QStringLiteral("B"));
        m.setChannels({a, b});
        QTRY_COMPARE(other->opened(b, PacketKind::hello).size(), 1); // the hello sent right after start
        other->clear();
        m.sendHello();
        QTRY_COMPARE(other->opened(b, PacketKind::hello).size(), 1);
        QTRY_COMPARE(other->opened(a, PacketKind::hello).size(), 1);
        QCOMPARE(other->opened(b, PacketKind::hello).first().payload, QByteArray("Tester"));
    }

    void testToneSendsTwentyFramesOfTheSine() {
        auto& m = make();
        QSignalSpy talk(&m, &WalkieModel::talkChanged);
        m.transmitTestTone(2.0, a);
        QTRY_COMPARE_WITH_TIMEOUT(other->opened(a, PacketKind::end).size(), 1, 5000);
        QList<Packet> tone;
        for (const Packet& p : other->opened(a))
            if (p.kind != PacketKind::hello) tone.append(p);
        QCOMPARE(tone.size(), 22);
        QCOMPARE(tone.first().kind, PacketKind::start);
        QCOMPARE(tone.first().payload, QByteArray("Test unit"));
        for (int i = 0; i < tone.size(); ++i) {
            QCOMPARE(tone[i].seq, quint32(i + 1));
            QCOMPARE(tone[i].txID, tone.first().txID);
        }
        for (int i = 1; i <= 20; ++i) {
            QCOMPARE(tone[i].kind, PacketKind::audio);
            QCOMPARE(tone[i].payload.size(), 3200);
            QVERIFY(std::abs(rms(tone[i].payload) - 4243) < 300);
        }
        // Continuous phase: the first sample of a frame follows the last of the one before.
        const auto first = qFromLittleEndian<qint16>(tone[2].payload.constData());
        const auto last = qFromLittleEndian<qint16>(tone[1].payload.constData() + 3198);
        QVERIFY(std::abs(first - last) < 6000 * 2 * M_PI * 660 / 16000 + 2);
        QCOMPARE(talk.count(), 0);
        QVERIFY(m.activity().isEmpty());
        QCOMPARE(rig.mic->opens, 0);
    }
};

MODEL_TEST_MAIN(ModelTransmitTest)
#include "tst_model_transmit.moc"
