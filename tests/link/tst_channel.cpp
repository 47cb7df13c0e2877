// Channels: keys from name and passphrase, IDs and safety codes, and invite links both ways.
#include "Bytes.h"
#include "Channel.h"
#include "KeyVault.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QtTest>

namespace {
QByteArray counting32() {
    QByteArray k;
    for (int i = 0; i < 32; ++i)
        k.append(char(i));
    return k;
}

QByteArray keyOf(const QString& name, const QString& passphrase) {
    const auto c = Channel::fromPassphrase(name, passphrase);
    return c ? c->key() : QByteArray();
}

const QString validKeyText = QStringLiteral("AAECAwQFBgcICQoLDA0ODxAREhMUFRYXGBkaGxwdHh8"); // counting32()
} // namespace

class ChannelTest : public QObject {
    Q_OBJECT

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void wordListIsTheCommittedOne() {
        Channel warmUp(QStringLiteral("x"), counting32(), QDateTime::currentDateTimeUtc()); // loads the list
        QFile f(QStringLiteral(":/link/english.txt"));
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QByteArray data = f.readAll();
        QCOMPARE(QCryptographicHash::hash(data, QCryptographicHash::Sha256).toHex(),
                 QByteArray("2f5eed53a4727b4bf8880d8f3f199efc90e58503646d9ff8eff3a2ed3b24dbda"));
        const QList<QByteArray> words = data.trimmed().split('\n');
        QCOMPARE(words.size(), 2048);
        QCOMPARE(QSet<QByteArray>(words.begin(), words.end()).size(), 2048);
        QCOMPARE(words.first(), QByteArray("abandon"));
        QCOMPARE(words.last(), QByteArray("zoo"));
    }

    void idAndSafetyCodeArePinnedForAFixedKey() {
        const Channel c(QStringLiteral("Any"), counting32(), QDateTime::currentDateTimeUtc());
        QCOMPARE(c.channelID(), QString("a602b91ef778029b062ab4c4e1901732"));
        QCOMPARE(c.channelIDBytes(), QByteArray::fromHex("a602b91ef778029b062ab4c4e1901732"));
        QCOMPARE(c.safetyCode(), QString("CAUTION-4424-SEARCH"));
        // Only the key matters: another name and origin give the same ID and code.
        const Channel other(QStringLiteral("Else"), counting32(), {}, QStringLiteral("invite"));
        QCOMPARE(other.channelID(), c.channelID());
        QCOMPARE(other.safetyCode(), c.safetyCode());
        // Every code has the WORD-NNNN-WORD shape, whatever the key (the word index never runs past the
        // list).
        const QRegularExpression shape(QStringLiteral("^[A-Z]{3,8}-[0-9]{4}-[A-Z]{3,8}$"));
        for (int i = 0; i < 300; ++i) {
            const auto r = Channel::withRandomKey(QStringLiteral("r"));
            QVERIFY(r);
            QVERIFY2(shape.match(r->safetyCode()).hasMatch(), qPrintable(r->safetyCode()));
            QCOMPARE(r->channelID().size(), 32);
        }
        // A value without a 32-byte key has no identity at all.
        const Channel broken(QStringLiteral("b"), QByteArray(31, 'x'), {});
        QVERIFY(!broken.isValid());
        QVERIFY(broken.channelID().isEmpty() && broken.safetyCode().isEmpty() &&
                broken.inviteLink().isEmpty());
    }

    void passphraseKeyIsPinned() {
        const auto c =
            Channel::fromPassphrase(QStringLiteral("Base Camp"), QStringLiteral("tin hollow maple lane"));
        QVERIFY(c);
        QCOMPARE(c->key(),
                 QByteArray::fromHex("d70b0e914727054ff8192b36ae69a8c7a989f05282d777ca77e4cdeacdcbc169"));
        QCOMPARE(c->channelID(), QString("fbc24662cb295d8ef2ae4e747378643f"));
    }

    void namesThatLookAlikeGiveTheSameKey() {
        const QString pass = QStringLiteral("tin hollow maple lane");
        const QByteArray base = keyOf(QStringLiteral("café crew"), pass);
        QVERIFY(!base.isEmpty());
        QCOMPARE(keyOf(QStringLiteral("  CAFÉ   Crew\n"), pass), base);
        QCOMPARE(keyOf(QStringLiteral("café\t \u00a0crew"), pass), base);
        QCOMPARE(keyOf(QStringLiteral("cafe\u0301 crew"), pass), base); // decomposed é
        QVERIFY(keyOf(QStringLiteral("cafécrew"), pass) != base);
        QCOMPARE(Channel::normalizedName(QStringLiteral("  CAFE\u0301 \n  Crew ")),
                 QStringLiteral("café crew"));
    }

    void everyCharacterOfThePassphraseCounts() {
        const QString name = QStringLiteral("Crew");
        const QByteArray base = keyOf(name, QStringLiteral("tin hollow maple lane"));
        QVERIFY(keyOf(name, QStringLiteral(" tin hollow maple lane")) != base);
        QVERIFY(keyOf(name, QStringLiteral("tin hollow maple lane ")) != base);
        QVERIFY(keyOf(name, QStringLiteral("tin  hollow maple lane")) != base);
        QVERIFY(keyOf(name, QStringLiteral("Tin hollow maple lane")) != base);
        // Composed and decomposed spellings of one text are the same passphrase.
        QCOMPARE(keyOf(name, QStringLiteral("pâté du jour")),
                 keyOf(name, QStringLiteral("pa\u0302te\u0301 du jour")));
    }

    void passphraseChannelFields() {
        const QString longName = QStringLiteral("  The quite long name of our weekend hiking crew  ");
        const QDateTime before = QDateTime::currentDateTimeUtc();
        const auto c = Channel::fromPassphrase(longName, QStringLiteral("eight ch"));
        QVERIFY(c);
        QCOMPARE(c->name, QStringLiteral("The quite long name of our weekend hikin"));
        QCOMPARE(c->keyName, std::optional<QString>(longName.trimmed()));
        QCOMPARE(c->origin, std::optional<QString>("passphrase"));
        QVERIFY(c->isPassphrase());
        QVERIFY(c->created >= before.addMSecs(-1) && c->created <= QDateTime::currentDateTimeUtc());
        const auto random = Channel::withRandomKey(QStringLiteral(" Spare "));
        QVERIFY(random && !random->origin && !random->keyName && !random->isPassphrase());
        QCOMPARE(random->name, QStringLiteral("Spare"));
        QVERIFY(random->key() != Channel::withRandomKey(QStringLiteral("Spare"))->key());
    }

    void passphraseNeedsEightCharactersAfterTrimming() {
        const QString message = QStringLiteral("Use at least 8 characters (a few words is best).");
        QCOMPARE(Channel::passphraseProblem(QStringLiteral("1234567")), std::optional<QString>(message));
        QCOMPARE(Channel::passphraseProblem(QStringLiteral("  1234567 \n\t")),
                 std::optional<QString>(message));
        QCOMPARE(Channel::passphraseProblem(QStringLiteral("12345678")), std::nullopt);
        QCOMPARE(Channel::passphraseProblem(QStringLiteral(" 1234 5678 ")), std::nullopt);
        QCOMPARE(Channel::passphraseProblem(QString()), std::optional<QString>(message));
        // Seven emoji built of many code units are still seven characters.
        QString emoji;
        for (int i = 0; i < 7; ++i)
            emoji += QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
        QCOMPARE(Channel::passphraseProblem(emoji), std::optional<QString>(message));
        QCOMPARE(Channel::passphraseProblem(emoji + QStringLiteral("e\u0301")), std::nullopt);
    }

    void inviteLinkRoundTrips_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("received"); // invisible characters that make look-alike names go
        const auto row = [](const char* tag, const QString& name, const QString& received = {}) {
            QTest::newRow(tag) << name << (received.isNull() ? name : received);
        };
        row("plain", QStringLiteral("Crew"));
        row("query characters", QStringLiteral("A&B=C+D #1 / what?"));
        row("percent", QStringLiteral("100% sure %41"));
        row("non-ASCII", QStringLiteral("Café Zürich 🚀 東京"));
        row("unreserved", QStringLiteral("a-b.c_d~e"));
        row("leading U+FEFF", QStringLiteral("\uFEFFCrew"), QStringLiteral("Crew"));
    }
    void inviteLinkRoundTrips() {
        QFETCH(QString, name);
        QFETCH(QString, received);
        const Channel c(name, counting32(), QDateTime::currentDateTimeUtc(), QStringLiteral("passphrase"),
                        QStringLiteral("keyname"));
        const QString link = c.inviteLink();
        QVERIFY(link.startsWith(QStringLiteral("qmtalk://join?v=1&n=")));
        QVERIFY(link.endsWith(QStringLiteral("&k=") + validKeyText));
        // Only unreserved ASCII appears unescaped in the name.
        const QString encodedName = link.section(QLatin1Char('&'), 1, 1).mid(2);
        QVERIFY2(QRegularExpression(QStringLiteral("^([A-Za-z0-9._~-]|%[0-9A-F]{2})*$"))
                     .match(encodedName)
                     .hasMatch(),
                 qPrintable(link));
        const auto back = Channel::fromInvite(link);
        QVERIFY(back);
        QCOMPARE(back->name, received);
        QCOMPARE(back->key(), c.key());
        QCOMPARE(back->origin, std::optional<QString>("invite"));
        QVERIFY(!back->keyName);
        QVERIFY(qAbs(back->created.msecsTo(QDateTime::currentDateTimeUtc())) < 5000);
    }

    void inviteLinkSpelledBuiltIn() {
        const Channel c(QStringLiteral("A b"), counting32(), {});
        QCOMPARE(c.inviteLink(), QStringLiteral("qmtalk://join?v=1&n=A%20b&k=") + validKeyText);
    }

    void inviteParsingIsLenientWhereHarmless_data() {
        QTest::addColumn<QString>("link");
        QTest::addColumn<QString>("name");
        const QString k = validKeyText;
        QTest::newRow("upper-case scheme and host") << "QMTALK://JoIn?v=1&n=x&k=" + k << "x";
        QTest::newRow("slash path") << "qmtalk://join/?n=x&k=" + k << "x";
        QTest::newRow("whitespace around") << " \n qmtalk://join?k=" + k + "&n=x\t "
                                           << "x";
        QTest::newRow("no version") << "qmtalk://join?n=x&k=" + k << "x";
        QTest::newRow("padded key") << "qmtalk://join?n=x&k=" + k + "="
                                    << "x";
        QTest::newRow("first occurrence wins") << "qmtalk://join?v=1&v=2&n=a&n=b&k=" + k + "&k=junk"
                                               << "a";
        QTest::newRow("unknown keys ignored") << "qmtalk://join?x=1&n=a&foo&k=" + k << "a";
        QTest::newRow("plus is a plus") << "qmtalk://join?n=a+b&k=" + k << "a+b";
        QTest::newRow("no name") << "qmtalk://join?k=" + k << "Shared channel";
        QTest::newRow("blank name") << "qmtalk://join?n=%20%0A&k=" + k << "Shared channel";
        QTest::newRow("name trimmed") << "qmtalk://join?n=%20Crew%20&k=" + k << "Crew";
        QTest::newRow("name cut to 40") << "qmtalk://join?n=" + QString(45, QLatin1Char('n')) + "&k=" + k
                                        << QString(40, QLatin1Char('n'));
        QTest::newRow("lower-case escapes") << "qmtalk://join?n=caf%c3%a9&k=" + k << QStringLiteral("café");
        QTest::newRow("fragment ignored") << "qmtalk://join?n=x&k=" + k + "#frag"
                                          << "x";
        // Names in invites come from strangers: cleaned before the limit and before anything shows them.
        QTest::newRow("escape sequence")
            << "qmtalk://join?n=%1B%5B2K%0DRESULT%20PASS%C2%9B&k=" + k << QStringLiteral("[2K RESULT PASS");
        QTest::newRow("bidi override")
            << "qmtalk://join?n=%E2%80%AEcod.exe%E2%81%A6&k=" + k << QStringLiteral("cod.exe");
        QTest::newRow("zero-width only")
            << "qmtalk://join?n=%E2%80%8B%E2%80%8D%EF%BB%BF%E3%85%A4&k=" + k << "Shared channel";
        QTest::newRow("mark flood") << "qmtalk://join?n=e" + QString("%CC%81").repeated(2000) + "x&k=" + k
                                    << QStringLiteral("e") + QString(8, QChar(0x301)) + QStringLiteral("x");
    }
    void inviteParsingIsLenientWhereHarmless() {
        QFETCH(QString, link);
        QFETCH(QString, name);
        const auto c = Channel::fromInvite(link);
        QVERIFY(c);
        QCOMPARE(c->name, name);
        QCOMPARE(c->key(), counting32());
    }

    void inviteRejects_data() {
        QTest::addColumn<QString>("link");
        const QString k = validKeyText;
        QByteArray key33 = counting32() + "x";
        QTest::newRow("empty") << "";
        QTest::newRow("other scheme") << "https://join?n=x&k=" + k;
        QTest::newRow("no scheme") << "join?n=x&k=" + k;
        QTest::newRow("other host") << "qmtalk://joins?n=x&k=" + k;
        QTest::newRow("host with port") << "qmtalk://join:80?n=x&k=" + k;
        QTest::newRow("path") << "qmtalk://join/more?n=x&k=" + k;
        QTest::newRow("version 2") << "qmtalk://join?v=2&n=x&k=" + k;
        QTest::newRow("empty version") << "qmtalk://join?v=&n=x&k=" + k;
        QTest::newRow("no key") << "qmtalk://join?v=1&n=x";
        QTest::newRow("31-byte key") << "qmtalk://join?k=" + Bytes::base64Url(counting32().left(31));
        QTest::newRow("33-byte key") << "qmtalk://join?k=" + Bytes::base64Url(key33);
        QTest::newRow("non-canonical key") << "qmtalk://join?k=" + k.chopped(1) + "9";
        QTest::newRow("standard alphabet")
            << "qmtalk://join?k=" +
                   Bytes::base64Url(QByteArray(32, char(0xfb))).replace('-', '+').replace('_', '/');
        QTest::newRow("two pads") << "qmtalk://join?k=" + k + "==";
        QTest::newRow("bad UTF-8") << "qmtalk://join?n=%C3%28&k=" + k;
        QTest::newRow("cut UTF-8") << "qmtalk://join?n=%E2%82&k=" + k;
        QTest::newRow("bad escape") << "qmtalk://join?n=%G0&k=" + k;
        QTest::newRow("cut escape") << "qmtalk://join?k=" + k + "&n=%4";
    }
    void inviteRejects() {
        QFETCH(QString, link);
        QVERIFY(!Channel::fromInvite(link));
    }
};

QTEST_GUILESS_MAIN(ChannelTest)
#include "tst_channel.moc"
