// The channel store's record coding: what is written reads back the same, and a damaged file
// loses only its damaged records.
#include "Channel.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QtTest>

namespace {
QByteArray key(char fill) {
    return QByteArray(32, fill);
}
QString b64(const QByteArray& k) {
    return QString::fromLatin1(k.toBase64());
}
} // namespace

class ChannelCodingTest : public QObject {
    Q_OBJECT
    const QDateTime loadTime = QDateTime(QDate(2026, 1, 2), QTime(3, 4, 5, 6), Qt::UTC);

private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
    }

    void listRoundTrips() {
        const QDateTime when = QDateTime(QDate(2025, 12, 31), QTime(23, 59, 58, 123), Qt::UTC);
        const QList<Channel> channels = {
            Channel(QStringLiteral("Crew \"quoted\" \\ 🚀"), key('a'), when, QStringLiteral("passphrase"),
                    QStringLiteral("Crew \"quoted\" \\ 🚀 and more")),
            Channel(QStringLiteral("Invited"), key('b'), when.addDays(-400), QStringLiteral("invite")),
            Channel(QStringLiteral("Random\nline"), key('c'), when.toOffsetFromUtc(3600)),
        };
        const QByteArray json = Channel::encodeList(channels);
        const auto decoded = Channel::decodeList(json, loadTime);
        QVERIFY(!decoded.unreadable);
        QVERIFY(decoded.skipped.isEmpty());
        QCOMPARE(decoded.channels, channels); // times compare as instants
        QCOMPARE(decoded.channels[0].channelID(), channels[0].channelID());
        QCOMPARE(Channel::decodeList(Channel::encodeList({}), loadTime).channels.size(), 0);
    }

    void recordsUseTheFixedKeyOrderAndUtcTimes() {
        const QDateTime local = QDateTime(QDate(2026, 7, 1), QTime(12, 0, 0, 5), Qt::OffsetFromUTC, 2 * 3600);
        const QByteArray json =
            Channel::encodeList({Channel(QStringLiteral("n"), key('k'), local, QStringLiteral("passphrase"),
                                         QStringLiteral("kn")),
                                 Channel(QStringLiteral("m"), key('j'), local)});
        const qsizetype name = json.indexOf("\"name\""), k = json.indexOf("\"key\""),
                        created = json.indexOf("\"created\""), origin = json.indexOf("\"origin\""),
                        keyName = json.indexOf("\"keyName\"");
        QVERIFY(name >= 0 && name < k && k < created && created < origin && origin < keyName);
        QVERIFY(json.contains("\"created\": \"2026-07-01T10:00:00.005Z\""));
        QVERIFY(json.contains(b64(key('k')).toLatin1()));
        // The ID is derived on load, never stored; absent origin and key name are left out.
        QVERIFY(!json.contains("channelID") && !json.contains("null"));
        const QJsonArray records = QJsonDocument::fromJson(json).array();
        QCOMPARE(records.size(), 2);
        QCOMPARE(records[1].toObject().keys(), QStringList({"created", "key", "name"}));
    }

    void damagedRecordsAreSkippedAndReported() {
        const QString good = b64(key('g'));
        const QJsonArray records = {
            QJsonObject{{"name", "first"}, {"key", good}, {"created", "2026-03-04T05:06:07.089Z"}}, // 0
            5,                                                                                      // 1
            QJsonObject{{"key", b64(key('h'))}},                                                    // 2
            QJsonObject{{"name", 7}, {"key", b64(key('i'))}},                                       // 3
            QJsonObject{{"name", "short key"}, {"key", b64(QByteArray(31, 'x'))}},                  // 4
            QJsonObject{{"name", "long key"}, {"key", b64(QByteArray(33, 'x'))}},                   // 5
            QJsonObject{{"name", "not base64"}, {"key", "!!!!" + good.mid(4)}},                     // 6
            QJsonObject{{"name", "url alphabet"},
                        {"key", QString(b64(QByteArray(32, char(0xfb)))).replace('+', '-')}}, // 7
            QJsonObject{{"name", "duplicate"}, {"key", good}},                                // 8
            QJsonObject{
                {"name", "no date"}, {"key", b64(key('j'))}, {"origin", "other"}, {"keyName", 3}}, // 9
            QJsonObject{{"name", "bad date"},
                        {"key", b64(key('l'))},
                        {"created", "yesterday"},
                        {"origin", "invite"}},                   // 10
            QJsonObject{{"name", "key as number"}, {"key", 12}}, // 11
            QJsonObject{{"name", "past year 9999 in UTC"},
                        {"key", b64(key('m'))},
                        {"created", "9999-12-31T23:59:59.999-05:00"}}, // 12
        };
        const auto d = Channel::decodeList(QJsonDocument(records).toJson(), loadTime);
        QVERIFY(!d.unreadable);
        QCOMPARE(d.skipped, QList<int>({1, 2, 3, 4, 5, 6, 7, 8, 11}));
        QCOMPARE(d.channels.size(), 4);
        QCOMPARE(d.channels[0].name, QStringLiteral("first")); // the first of two equal IDs stays
        QCOMPARE(d.channels[0].created, QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7, 89), Qt::UTC));
        QCOMPARE(d.channels[1].created, loadTime);
        QVERIFY(!d.channels[1].origin && !d.channels[1].keyName);
        QCOMPARE(d.channels[2].created, loadTime);
        QCOMPARE(d.channels[2].origin, std::optional<QString>("invite"));
        QCOMPARE(d.channels[3].created, loadTime);
        // What was kept reads back unchanged once written.
        QCOMPARE(Channel::decodeList(Channel::encodeList(d.channels), loadTime).channels, d.channels);
    }

    void unreadableFilesAreSaidSo_data() {
        QTest::addColumn<QByteArray>("json");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("object") << QByteArray("{\"name\": \"x\"}");
        QTest::newRow("cut") << QByteArray("[{\"name\": \"x\", ");
        QTest::newRow("binary") << QByteArray("\x00\xff[]", 4);
    }
    void unreadableFilesAreSaidSo() {
        QFETCH(QByteArray, json);
        const auto d = Channel::decodeList(json, loadTime);
        QVERIFY(d.unreadable);
        QVERIFY(d.channels.isEmpty());
    }
};

QTEST_GUILESS_MAIN(ChannelCodingTest)
#include "tst_channelcoding.moc"
