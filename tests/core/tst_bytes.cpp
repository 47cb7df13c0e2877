// Big-endian integers, hex and URL-safe Base64: the encodings that packets and invite links rely on.
#include "Bytes.h"

#include <QCoreApplication>
#include <QtTest>

class BytesTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void integersAreBigEndianAndBoundsChecked() {
        QByteArray b;
        Bytes::appendU16(b, 0x0102);
        Bytes::appendU32(b, 0x03040506);
        Bytes::appendU64(b, 0x0708090a0b0c0d0eULL);
        QCOMPARE(b, QByteArray::fromHex("0102030405060708090a0b0c0d0e"));
        QCOMPARE(Bytes::readU16(b, 0), std::optional<quint16>(0x0102));
        QCOMPARE(Bytes::readU32(b, 2), std::optional<quint32>(0x03040506));
        QCOMPARE(Bytes::readU64(b, 6), std::optional<quint64>(0x0708090a0b0c0d0eULL));
        // High bits survive (no sign extension from char).
        QByteArray ff(8, char(0xff));
        QCOMPARE(Bytes::readU64(ff, 0), std::optional<quint64>(~0ULL));
        QCOMPARE(Bytes::readU32(ff, 4), std::optional<quint32>(0xffffffffu));
        // Reads that do not fit give nothing rather than reading past the end.
        QVERIFY(!Bytes::readU16(b, 13));
        QVERIFY(!Bytes::readU32(b, 11));
        QVERIFY(!Bytes::readU64(b, 7));
        QVERIFY(!Bytes::readU16(b, -1));
        QVERIFY(!Bytes::readU64(QByteArray(), 0));
    }

    void hexIsLowerCaseAndParsedStrictly() {
        QCOMPARE(Bytes::hex(QByteArray::fromHex("00ABcdEF")), QString("00abcdef"));
        QCOMPARE(Bytes::fromHex(u"00ABcdef"), std::optional<QByteArray>(QByteArray::fromHex("00abcdef")));
        QCOMPARE(Bytes::fromHex(u""), std::optional<QByteArray>(QByteArray()));
        QVERIFY(!Bytes::fromHex(u"abc"));
        QVERIFY(!Bytes::fromHex(u"0g"));
        QVERIFY(!Bytes::fromHex(u" 0a"));
    }

    void base64UrlMatchesTheStandardVectors() {
        // RFC 4648 section 10, without padding; the URL alphabet only differs in '-' and '_'.
        const QList<QPair<QByteArray, QString>> vectors = {
            {"", ""},           {"f", "Zg"},          {"fo", "Zm8"},          {"foo", "Zm9v"},
            {"foob", "Zm9vYg"}, {"fooba", "Zm9vYmE"}, {"foobar", "Zm9vYmFy"}, {"\xfb\xff\xbf", "-_-_"},
        };
        for (const auto& [bytes, text] : vectors) {
            QCOMPARE(Bytes::base64Url(bytes), text);
            QCOMPARE(Bytes::fromBase64Url(text), std::optional<QByteArray>(bytes));
        }
        // Every byte value survives a round trip at every length remainder.
        QByteArray all;
        for (int i = 0; i < 256; ++i)
            all.append(char(i));
        for (int n = 253; n <= 256; ++n)
            QCOMPARE(Bytes::fromBase64Url(Bytes::base64Url(all.left(n))),
                     std::optional<QByteArray>(all.left(n)));
    }

    void base64UrlRejectsWhatIsNotCanonical() {
        QVERIFY(!Bytes::fromBase64Url(u"Zh"));  // unused bits set: "Zg" is the one spelling of "f"
        QVERIFY(!Bytes::fromBase64Url(u"Zm9")); // "fo" with its two spare bits set
        QVERIFY(Bytes::fromBase64Url(u"Zm8"));
        QVERIFY(!Bytes::fromBase64Url(u"Z"));    // one character cannot make a byte
        QVERIFY(!Bytes::fromBase64Url(u"+/+/")); // standard alphabet
        QVERIFY(!Bytes::fromBase64Url(u"Zm 9v"));
        QVERIFY(!Bytes::fromBase64Url(u"Zg==")); // padding only when allowed
        QCOMPARE(Bytes::fromBase64Url(u"Zg==", true), std::optional<QByteArray>("f"));
        QCOMPARE(Bytes::fromBase64Url(u"Zm8=", true), std::optional<QByteArray>("fo"));
        QVERIFY(!Bytes::fromBase64Url(u"Zg=", true)); // padding must complete a group of four
        QVERIFY(!Bytes::fromBase64Url(u"Zm9v====", true));
        QVERIFY(!Bytes::fromBase64Url(u"Zg=a", true));
    }
};

QTEST_GUILESS_MAIN(BytesTest)
#include "tst_bytes.moc"
