// The crypto wrappers reproduce published vectors and refuse anything tampered with.
#include "KeyVault.h"

#include <QCoreApplication>
#include <QSet>
#include <QtTest>

namespace {
QByteArray h(const char* hex) {
    return QByteArray::fromHex(hex);
}

// RFC 8439 section 2.8.2.
const QByteArray aeadKey = h("808182838485868788898a8b8c8d8e8f909192939495969798999a9b9c9d9e9f");
const QByteArray aeadNonce = h("070000004041424344454647");
const QByteArray aeadAad = h("50515253c0c1c2c3c4c5c6c7");
const QByteArray aeadPlain =
    "Ladies and Gentlemen of the class of '99: If I could offer you only one tip for the "
    "future, sunscreen would be it.";
const QByteArray aeadSealed = h("d31a8d34648e60db7b86afbc53ef7ec2a4aded51296e08fea9e2b5a736ee62d63dbea45e8ca9"
                                "671282fafb69da92728b1a71de0a9e06"
                                "0b2905d6a5b67ecd3b3692ddbd7f2d778b8c9803aee328091b58fab324e4fad675945585808b"
                                "4831d7bc3ff4def08e4b7a9de576d2658"
                                "6cec64b6116"
                                "1ae10b594f09e26a7e902ecbd0600691");
} // namespace

class KeyVaultTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void hashesAndDerivesThePublishedVectors() {
        QCOMPARE(KeyVault::sha256("abc"),
                 h("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"));
        QCOMPARE(KeyVault::sha256(""), h("e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"));
        // RFC 7914 section 11.
        QCOMPARE(
            KeyVault::pbkdf2Sha256("passwd", "salt", 1, 64),
            std::optional<QByteArray>(h("55ac046e56e3089fec1691c22544b605f94185216dde0465e68b9d57c20dacbc"
                                        "49ca9cccf179b645991664b39d77ef317c71b845b1e30bd509112041d3a19783")));
        QCOMPARE(
            KeyVault::pbkdf2Sha256("Password", "NaCl", 80000, 64),
            std::optional<QByteArray>(h("4ddcd8f60b98be21830cee5ef22701f9641a4418d04c0414aeff08876b34ab56"
                                        "a1d425a1225833549adb841b51c9b3176a272bdebba1d078478f62b397f33c8d")));
        QVERIFY(!KeyVault::pbkdf2Sha256("p", "s", 0, 32));
        QVERIFY(!KeyVault::pbkdf2Sha256("p", "s", 1, 0));
    }

    void sealsAndOpensTheRfcVector() {
        QCOMPARE(KeyVault::seal(aeadKey, aeadNonce, aeadPlain, aeadAad),
                 std::optional<QByteArray>(aeadSealed));
        QCOMPARE(KeyVault::open(aeadKey, aeadNonce, aeadSealed, aeadAad),
                 std::optional<QByteArray>(aeadPlain));
        // Empty plain text and empty AAD still carry a tag that is checked.
        const auto tagOnly = KeyVault::seal(aeadKey, aeadNonce, {}, {});
        QVERIFY(tagOnly && tagOnly->size() == KeyVault::tagLength);
        QCOMPARE(KeyVault::open(aeadKey, aeadNonce, *tagOnly, {}), std::optional<QByteArray>(QByteArray()));
        QVERIFY(!KeyVault::open(aeadKey, aeadNonce, *tagOnly, "x"));
    }

    void openRefusesAnythingAltered() {
        for (qsizetype i = 0; i < aeadSealed.size(); i += 7) {
            QByteArray bad = aeadSealed;
            bad[i] = char(bad[i] ^ 0x01);
            QVERIFY2(!KeyVault::open(aeadKey, aeadNonce, bad, aeadAad), qPrintable(QString::number(i)));
        }
        QByteArray otherKey = aeadKey, otherNonce = aeadNonce, otherAad = aeadAad;
        otherKey[31] = char(otherKey[31] ^ 0x80);
        otherNonce[0] = char(otherNonce[0] ^ 0x01);
        otherAad[11] = char(otherAad[11] ^ 0x40);
        QVERIFY(!KeyVault::open(otherKey, aeadNonce, aeadSealed, aeadAad));
        QVERIFY(!KeyVault::open(aeadKey, otherNonce, aeadSealed, aeadAad));
        QVERIFY(!KeyVault::open(aeadKey, aeadNonce, aeadSealed, otherAad));
        QVERIFY(!KeyVault::open(aeadKey, aeadNonce, aeadSealed.chopped(1), aeadAad));
        QVERIFY(!KeyVault::open(aeadKey, aeadNonce, aeadSealed.left(15), aeadAad));
        // Wrong sizes are refused, never padded or cut to fit.
        QVERIFY(!KeyVault::seal(aeadKey.left(31), aeadNonce, aeadPlain, aeadAad));
        QVERIFY(!KeyVault::seal(aeadKey, aeadNonce + "x", aeadPlain, aeadAad));
        QVERIFY(!KeyVault::open(aeadKey + "x", aeadNonce, aeadSealed, aeadAad));
    }

    void randomValuesAreFullLengthAndDistinct() {
        QSet<QByteArray> keys;
        for (int i = 0; i < 64; ++i) {
            const auto key = KeyVault::randomKey();
            QVERIFY(key && key->size() == 32);
            QVERIFY(*key != QByteArray(32, '\0'));
            keys.insert(*key);
        }
        QCOMPARE(keys.size(), 64);
        QCOMPARE(KeyVault::randomBytes(0), std::optional<QByteArray>(QByteArray()));
        QVERIFY(!KeyVault::randomBytes(-1));
        QVERIFY(KeyVault::randomU64() != KeyVault::randomU64());
    }
};

QTEST_GUILESS_MAIN(KeyVaultTest)
#include "tst_keyvault.moc"
