// Sealed packets: the byte layout peers depend on, and opening refuses anything not sealed for
// this channel exactly as sent.
#include "Bytes.h"
#include "Channel.h"
#include "KeyVault.h"
#include "Packet.h"

#include <QCoreApplication>
#include <QtTest>

namespace {
Channel channelWith(char fill) {
    return Channel(QStringLiteral("c"), QByteArray(32, fill), {});
}

// Seals arbitrary inner bytes the way a peer would, to test what open does with them.
QByteArray sealInner(const Channel& c, const QByteArray& inner) {
    const QByteArray header = packetMagic + c.channelIDBytes();
    const QByteArray nonce(12, '\x07');
    return header + nonce + *KeyVault::seal(c.key(), nonce, inner, header);
}
} // namespace

class PacketTest : public QObject {
    Q_OBJECT
    const Channel channel = channelWith('k');
    const Packet sample{PacketKind::audio, 0x0102030405060708ULL, 0x090a0b0cu, 0xf1f2f3f4f5f6f7f8ULL,
                        "voice"};

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void kindsHaveTheirWireValues() {
        QCOMPARE(int(PacketKind::start), 1);
        QCOMPARE(int(PacketKind::hello), 4);
        QCOMPARE(int(PacketKind::ack), 8);
        QCOMPARE(int(PacketKind::text), 11);
    }

    void innerEncodingLayout() {
        const QByteArray inner = sample.encode();
        QCOMPARE(inner, QByteArray::fromHex("02"
                                            "0102030405060708"
                                            "090a0b0c"
                                            "f1f2f3f4f5f6f7f8") +
                            "voice");
        QCOMPARE(Packet::decode(inner), std::optional<Packet>(sample));
        QCOMPARE(Packet::decode(inner.left(21))->payload, QByteArray());
        QVERIFY(!Packet::decode(inner.left(20)));
        QByteArray badKind = inner;
        badKind[0] = 0;
        QVERIFY(!Packet::decode(badKind));
        badKind[0] = 12;
        QVERIFY(!Packet::decode(badKind));
    }

    void sealedLayout() {
        const auto sealed = sample.seal(channel);
        QVERIFY(sealed);
        QCOMPARE(sealed->size(), sample.payload.size() + 69);
        QCOMPARE(sealed->left(4), QByteArray("QMT1"));
        QCOMPARE(sealed->mid(4, 16), channel.channelIDBytes());
        QCOMPARE(Packet::fingerprint(*sealed), std::optional<QByteArray>(channel.channelIDBytes()));
        QVERIFY(Packet::looksSealed(*sealed));
        // The box is the inner encoding under the channel key, with the nonce at 20 and the header as AAD.
        const QByteArray nonce = sealed->mid(20, 12);
        const auto inner = KeyVault::open(channel.key(), nonce, sealed->mid(32), sealed->left(20));
        QCOMPARE(inner, std::optional<QByteArray>(sample.encode()));
        QCOMPARE(Packet::open(*sealed, channel), std::optional<Packet>(sample));
        // Nothing in clear beyond the header: the payload does not show.
        QVERIFY(!sealed->contains("voice"));
    }

    void twoSealsOfOnePacketDiffer() {
        const auto a = sample.seal(channel), b = sample.seal(channel);
        QVERIFY(a && b);
        QVERIFY(a->mid(20, 12) != b->mid(20, 12));
        QVERIFY(a->mid(32) != b->mid(32));
        QCOMPARE(Packet::open(*a, channel), Packet::open(*b, channel));
    }

    void aFlippedBitAnywhereIsRefused() {
        const auto sealed = sample.seal(channel);
        QVERIFY(sealed);
        for (qsizetype i = 0; i < sealed->size(); ++i) {
            for (int bit = 0; bit < 8; ++bit) {
                QByteArray bad = *sealed;
                bad[i] = char(bad[i] ^ (1 << bit));
                QVERIFY2(!Packet::open(bad, channel),
                         qPrintable(QStringLiteral("byte %1 bit %2").arg(i).arg(bit)));
            }
        }
    }

    void openRefusesOtherChannelsAndBadShapes() {
        const auto sealed = sample.seal(channel);
        QVERIFY(sealed);
        QVERIFY(!Packet::open(*sealed, channelWith('x')));
        // A wrong key under the right fingerprint (a forged header) still fails on the tag.
        QByteArray forged = *sealWithOtherKey(*sealed);
        QVERIFY(!Packet::open(forged, channel));
        QVERIFY(!Packet::open(sealed->chopped(1), channel));
        QVERIFY(!Packet::open(*sealed + "x", channel));
        QVERIFY(!Packet::open(QByteArray(), channel));
        QVERIFY(!Packet::open(*sealed, Channel()));
        QVERIFY(!Packet::fingerprint("QMT"));
        QVERIFY(!Packet::fingerprint(QByteArray(100, 'Q')));
    }

    void kindsOutsideTheRangeAreRefusedAfterOpening() {
        QByteArray inner = sample.encode();
        inner[0] = 11;
        QCOMPARE(Packet::open(sealInner(channel, inner), channel)->kind, PacketKind::text);
        inner[0] = 1;
        QCOMPARE(Packet::open(sealInner(channel, inner), channel)->kind, PacketKind::start);
        for (int kind : {0, 12, 255}) {
            inner[0] = char(kind);
            QVERIFY2(!Packet::open(sealInner(channel, inner), channel), qPrintable(QString::number(kind)));
        }
        // A box too short for the inner header is refused rather than read past its end.
        QVERIFY(!Packet::open(sealInner(channel, inner.left(20)), channel));
        QVERIFY(Packet::open(sealInner(channel, inner.left(21).replace(0, 1, "\x03")), channel));
        Packet zero = sample;
        zero.kind = PacketKind(0);
        QVERIFY(!zero.seal(channel));
    }

    void theSizeCapHoldsBothWays() {
        Packet big = sample;
        big.payload = QByteArray(maxSealed - sealedOverhead, 'p');
        const auto atCap = big.seal(channel);
        QVERIFY(atCap);
        QCOMPARE(atCap->size(), maxSealed);
        QCOMPARE(Packet::open(*atCap, channel)->payload.size(), maxSealed - sealedOverhead);
        big.payload.append('p');
        QVERIFY(!big.seal(channel));
        // A peer sealing past the cap is not opened either.
        QByteArray inner = big.encode();
        const QByteArray over = sealInner(channel, inner);
        QCOMPARE(over.size(), maxSealed + 1);
        QVERIFY(!Packet::looksSealed(over));
        QVERIFY(!Packet::open(over, channel));
        QVERIFY(Packet::looksSealed(QByteArray("QMT1") + QByteArray(65, 0)));
        QVERIFY(!Packet::looksSealed(QByteArray("QMT1") + QByteArray(64, 0)));
        QVERIFY(!Packet::looksSealed(QByteArray("QMT2") + QByteArray(65, 0)));
    }

private:
    std::optional<QByteArray> sealWithOtherKey(const QByteArray& sealed) {
        const QByteArray header = sealed.left(20), nonce = sealed.mid(20, 12);
        const auto box = KeyVault::seal(QByteArray(32, 'z'), nonce, sample.encode(), header);
        return header + nonce + *box;
    }
};

QTEST_GUILESS_MAIN(PacketTest)
#include "tst_packet.moc"
