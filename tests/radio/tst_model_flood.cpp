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

// The same, ending in a number so that each has a tag of its own.
QByteArray numbered(const Channel& c, int size, quint32 n) {
    QByteArray p = headerOf(c, size - 4, 'n');
    Bytes::appendU32(p, n);
    return p;
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

    // Ours and strangers' wait apart; strangers' are cut to the header; each queue drops its oldest;
    // one scheduled take per idle period, in batches, ours first.
    void theInboxKeepsOursApartAndDropsTheOldest() {
        const Channel mine = channel(QStringLiteral("Mine")), other = channel(QStringLiteral("Other"));
        PacketInbox inbox;
        inbox.setChannels({mine.channelID()});
        QVERIFY(inbox.put(headerOf(other, 3000, 'f')));
        QVERIFY(!inbox.put(headerOf(mine, 3000, 'm'))); // already scheduled
        QVERIFY(!inbox.put(QByteArray("junk")));        // not even shaped like a packet
        bool more = true;
        const auto first = inbox.take(&more);
        QVERIFY(!more);
        QCOMPARE(first.size(), 2);
        QCOMPARE(first[0], headerOf(mine, 3000, 'm'));
        QCOMPARE(first[1], headerOf(other, 3000, 'f').left(sealedOverhead));
        QCOMPARE(Packet::fingerprint(first[1]), std::optional<QByteArray>(other.channelIDBytes()));

        // A flood of strangers' packets costs a fixed, small queue and never touches ours.
        for (int i = 0; i < 10000; ++i)
            inbox.put(strangerPacket(1000));
        for (int i = 0; i < PacketInbox::maxOurPackets + 5; ++i)
            inbox.put(numbered(mine, 100, quint32(i)));
        QCOMPARE(inbox.dropped(), (PacketInbox::Dropped{5, 10000 - PacketInbox::maxForeignPackets}));
        QList<QByteArray> all;
        do
            all += inbox.take(&more);
        while (more);
        QCOMPARE(all.size(), PacketInbox::maxOurPackets + PacketInbox::maxForeignPackets);
        QCOMPARE(all.first(), numbered(mine, 100, 5)); // the five oldest went
        QCOMPARE(all[PacketInbox::maxOurPackets - 1], numbered(mine, 100, PacketInbox::maxOurPackets + 4));
        QVERIFY(inbox.put(headerOf(mine, 100, 'x'))); // idle again: the next put schedules

        // An exact copy of a recent packet of ours is dropped on the spot and not counted as a loss;
        // once it has left the recent tail it is handed on again (the main thread judges it then).
        all = inbox.take(&more);
        QVERIFY(!inbox.put(headerOf(mine, 100, 'x')));
        QVERIFY(inbox.take(&more).isEmpty());
        for (int i = 0; i < PacketInbox::recentTail; ++i)
            inbox.put(numbered(mine, 100, 100000 + quint32(i)));
        do
            inbox.take(&more);
        while (more);
        QVERIFY(inbox.put(headerOf(mine, 100, 'x')));
        QCOMPARE(inbox.take(&more).size(), 1);

        // Ours are bounded in bytes as well: large made-up packets with our fingerprint.
        PacketInbox big;
        big.setChannels({mine.channelID()});
        for (int i = 0; i < 200; ++i)
            big.put(numbered(mine, maxSealed, quint32(i)));
        qint64 held = 0;
        for (const auto& p : big.take(&more))
            held += p.size();
        QVERIFY(held <= PacketInbox::maxOurBytes);

        // Reports: the first drop at once, then at most once per interval, with the counts since.
        QCOMPARE(inbox.report(1000),
                 (std::optional<PacketInbox::Dropped>{{5, 10000 - PacketInbox::maxForeignPackets}}));
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
            QTest::qWait(250);
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
