// The handover from a link's thread to the main thread under a flood on loopback: memory stays
// bounded, our own channel's packets keep flowing, and what had to be dropped is counted, logged at
// most once a minute and shown in the link's details. The inbox's own rules are checked directly.
#include "ModelFixture.h"
#include "SanitizerRoom.h"

#include "Bytes.h"
#include "PacketInbox.h"
#include "TRKLog.h"

#include <QFile>
#include <QRandomGenerator>
#include <arpa/inet.h>
#include <atomic>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace fixture;

namespace {
qint64 residentKiB() {
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : f.readAll().split('\n'))
        if (line.startsWith("VmRSS:")) return line.mid(6).trimmed().split(' ').value(0).toLongLong();
    return 0;
}

// Shaped like a sealed packet of a channel nobody holds: magic, a random fingerprint, random bytes.
QByteArray strangerPacket(int size) {
    QByteArray p = packetMagic;
    p.resize(size);
    QRandomGenerator::global()->fillRange(reinterpret_cast<quint32*>(p.data() + 4), (size - 4) / 4);
    return p;
}

QByteArray headerOf(const Channel& c, int size, char fill) {
    QByteArray p = packetMagic + c.channelIDBytes();
    return p + QByteArray(size - p.size(), fill);
}

// A real packet of ours, numbered in its transmission ID so that each is a packet of its own.
QByteArray numbered(const Channel& c, quint32 n, PacketKind kind = PacketKind::audio, int payload = 40) {
    return sealed(c, kind, n, 1, 0x5e4d, QByteArray(payload, 'v'));
}

// The transmission IDs of those that open with the channel, of one kind, in order.
QList<quint64> idsOf(const QList<QByteArray>& packets, const Channel& c, PacketKind kind) {
    QList<quint64> ids;
    for (const QByteArray& s : packets)
        if (const auto p = Packet::open(s, c); p && p->kind == kind) ids.append(p->txID);
    return ids;
}
} // namespace

class ModelFloodTest : public QObject {
    Q_OBJECT
    Rig rig;

private slots:
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() { rig.model.reset(); }

    // Ours and strangers' wait apart; strangers' are cut to the header, ours that do not open go no
    // further; each kind of ours waits in its own queue, served in turn, and each queue drops its
    // oldest; one scheduled take per idle period, in batches, ours first.
    void theInboxKeepsKindsApartAndDropsTheOldest() {
        const Channel mine = channel(QStringLiteral("Mine")), other = channel(QStringLiteral("Other"));
        PacketInbox inbox;
        inbox.setChannels({mine});
        QVERIFY(inbox.put(headerOf(other, 3000, 'f')));
        const QByteArray one = numbered(mine, 1);
        QVERIFY(!inbox.put(one));                       // already scheduled
        QVERIFY(!inbox.put(QByteArray("junk")));        // not even shaped like a packet
        QVERIFY(!inbox.put(headerOf(mine, 3000, 'm'))); // ours in its header only: does not open
        bool more = true;
        const auto first = inbox.take(&more);
        QVERIFY(!more);
        QCOMPARE(first.size(), 2);
        QCOMPARE(first[0], one);
        QCOMPARE(first[1], headerOf(other, 3000, 'f').left(sealedOverhead));
        QCOMPARE(Packet::fingerprint(first[1]), std::optional<QByteArray>(other.channelIDBytes()));

        // A member's flood of texts, then hellos, then one radio check: the check goes out in the first
        // batch, each flooded kind keeps only its newest, and voice in order behind them is kept whole.
        for (int i = 0; i < 10000; ++i)
            inbox.put(strangerPacket(1000));
        for (quint32 i = 0; i < 5000; ++i)
            inbox.put(numbered(mine, 100000 + i, PacketKind::text));
        for (quint32 i = 0; i < 5000; ++i)
            inbox.put(numbered(mine, 200000 + i, PacketKind::hello));
        const QByteArray check = numbered(mine, 7, PacketKind::radioCheck);
        inbox.put(check);
        for (quint32 i = 0; i < PacketInbox::maxOurPackets + 5; ++i)
            inbox.put(numbered(mine, 300000 + i));
        QCOMPARE(inbox.dropped(), (PacketInbox::Dropped{2 * (5000 - PacketInbox::maxSharePackets) + 5,
                                                        10000 - PacketInbox::maxForeignPackets}));
        QList<QByteArray> all = inbox.take(&more);
        QVERIFY(more);
        QVERIFY(all.contains(check));
        do
            all += inbox.take(&more);
        while (more);
        QCOMPARE(all.size(), PacketInbox::maxOurPackets + 2 * PacketInbox::maxSharePackets + 1 +
                                 PacketInbox::maxForeignPackets);
        const QList<quint64> voice = idsOf(all, mine, PacketKind::audio);
        QCOMPARE(voice.size(), PacketInbox::maxOurPackets);
        QCOMPARE(voice.first(), 300005u); // the five oldest went
        QCOMPARE(voice.last(), quint64(300000 + PacketInbox::maxOurPackets + 4));
        const QList<quint64> texts = idsOf(all, mine, PacketKind::text);
        QCOMPARE(texts.size(), PacketInbox::maxSharePackets);
        QCOMPARE(texts.last(), 100000u + 4999);

        // An exact copy of a recent packet of ours is dropped on the spot and not counted as a loss;
        // once it has left the recent tail it is handed on again (the main thread judges it then).
        const QByteArray x = numbered(mine, 9, PacketKind::text);
        QVERIFY(inbox.put(x));
        all = inbox.take(&more);
        QVERIFY(!inbox.put(x));
        QVERIFY(inbox.take(&more).isEmpty());
        for (quint32 i = 0; i < PacketInbox::recentTail; ++i) {
            inbox.put(numbered(mine, 400000 + i));
            if (i % 512 == 0) {
                do
                    inbox.take(&more);
                while (more);
            }
        }
        do
            inbox.take(&more);
        while (more);
        QVERIFY(inbox.put(x));
        QCOMPARE(inbox.take(&more).size(), 1);

        // Each queue is bounded in bytes as well: large packets of ours.
        PacketInbox big;
        big.setChannels({mine});
        for (quint32 i = 0; i < 200; ++i) {
            big.put(numbered(mine, i, PacketKind::audio, maxSealed - sealedOverhead));
            big.put(numbered(mine, i, PacketKind::text, maxSealed - sealedOverhead));
        }
        qint64 held = 0;
        do
            for (const auto& p : big.take(&more))
                held += p.size();
        while (more);
        QVERIFY(held <= PacketInbox::maxOurBytes + PacketInbox::maxShareBytes);

        // Reports: the first drop at once, then at most once per interval, with the counts since.
        const auto firstReport = inbox.report(1000);
        QVERIFY(firstReport && firstReport->ours > 0);
        QCOMPARE(inbox.report(2000), std::nullopt);
        for (int i = 0; i < PacketInbox::maxForeignPackets + 3; ++i)
            inbox.put(strangerPacket(100));
        QCOMPARE(inbox.report(1000 + PacketInbox::reportIntervalMs - 1), std::nullopt);
        QCOMPARE(inbox.report(1000 + PacketInbox::reportIntervalMs),
                 (std::optional<PacketInbox::Dropped>{{0, 3}}));
    }

    // A flood at a unit on loopback, as one laptop could send it, while another unit keeps asking for
    // radio checks on our channel: strangers' packets, or one captured packet of ours replayed.
    void underAFloodMemoryStaysBoundedAndOurChannelIsAnswered_data() {
        QTest::addColumn<bool>("replay");
        QTest::newRow("strangers") << false;
        QTest::newRow("replay") << true;
    }
    void underAFloodMemoryStaysBoundedAndOurChannelIsAnswered() {
        QFETCH(bool, replay);
        OtherUnit other;
        auto& m = rig.make(linkedOptions(rig, other));
        const Channel ch = channel(QStringLiteral("Crew"));
        m.setChannels({ch});
        QVERIFY(m.lan());
        const quint16 port = m.lan()->port();
        other.hear(port);

        const QByteArray captured = sealed(ch, PacketKind::text, 0xcafe, 1, 0xbad, textPayload(QStringLiteral("Eve"), QStringLiteral("hello")));
        const qint64 before = residentKiB();
        std::atomic<bool> stop{false};
        std::atomic<qint64> flooded{0};
        std::thread attacker([&] {
            const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in to{};
            to.sin_family = AF_INET;
            to.sin_port = htons(port);
            to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            std::vector<QByteArray> packets;
            for (int i = 0; i < 512; ++i)
                packets.push_back(replay ? captured : strangerPacket(1200));
            QElapsedTimer t;
            t.start();
            for (qint64 n = 0; !stop && t.elapsed() < 20000; ++n) {
                const QByteArray& p = packets[size_t(n % 512)];
                ::sendto(fd, p.constData(), size_t(p.size()), 0, reinterpret_cast<sockaddr*>(&to), sizeof to);
                ++flooded;
            }
            ::close(fd);
        });

        qint64 peak = before;
        int answered = 0;
        for (quint64 check = 1; check <= 8; ++check) {
            const QByteArray ask = sealed(ch, PacketKind::radioCheck, 0xc0ffee00 + check, 1, 0xb0b, "Bob");
            for (int copy = 0; copy < 3; ++copy) // as three links would carry it; the copies are dropped
                other.link->send(ask);
            const bool got = QTest::qWaitFor(
                [&] {
                    peak = std::max(peak, residentKiB());
                    for (const Packet& p : other.opened(ch, PacketKind::radioCheckReply))
                        if (p.txID == 0xc0ffee00 + check) return true;
                    return false;
                },
                3000);
            answered += got ? 1 : 0;
            QTest::qWait(250); // the flood runs on between checks
        }
        stop = true;
        attacker.join();
        qInfo("flooded %lld datagrams; %d of 8 checks answered; memory +%lld KiB", qint64(flooded), answered,
              peak - before);
        QVERIFY2(flooded > 20000, "the flood was too thin to prove anything");
        QVERIFY2(answered >= 7, qPrintable(QString::number(answered)));
        QVERIFY2(peak - before < memoryRoomKiB(32 * 1024), qPrintable(QStringLiteral("grew by %1 KiB").arg(peak - before)));

        if (replay) {
            // Copies are dropped before the main thread: nothing is lost to them, and the text shows once.
            QCOMPARE(m.linkDetails(QStringLiteral("lan")), QString());
            QCOMPARE(m.messages().size(), 1);
            return;
        }
        // What was dropped shows in the link's details and in the log, once in this minute.
        QVERIFY2(m.linkDetails(QStringLiteral("lan"))
                     .startsWith(QStringLiteral("Dropped while the radio was busy: ")),
                 qPrintable(m.linkDetails(QStringLiteral("lan"))));
        QVERIFY(m.linkDetails(QStringLiteral("relay")).isEmpty());
        QVERIFY(!m.foreignChannels().isEmpty());
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(log.readAll().count("Link lan: the radio fell behind; dropped "), 1);
    }
};

MODEL_TEST_MAIN(ModelFloodTest)
#include "tst_model_flood.moc"
