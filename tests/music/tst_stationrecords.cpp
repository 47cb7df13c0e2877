// The station's JSON records decoded as strictly as the platform's default decoder, the live address
// rule, the genre list and the now-playing text, and the station's texts cleaned to one line.
#include "StationRecords.h"

#include <QtTest>

using namespace StationRecords;

class StationRecordsTest : public QObject {
    Q_OBJECT
private slots:
    void catalogueDocumentsPassOrFailAsAWhole() {
        const auto ok = decodeCatalog(
            "{\"tracks\":[{\"id\":\"1\",\"title\":null,\"artist\":\"A\",\"genre\":\"Rock\", "
            "\"audio_url\":\"music/"
            "1.mp3\",\"active\":true,\"bpm\":120,\"extra\":{\"x\":[1]}},{\"id\":\"2\"}],\"page\":1}");
        QVERIFY(ok);
        QCOMPARE(ok->size(), 2);
        QCOMPARE((*ok)[0].title, std::nullopt); // null counts as absent
        QCOMPARE((*ok)[0].artist, std::optional<QString>("A"));
        QCOMPARE((*ok)[0].active, std::optional<bool>(true));
        QCOMPARE((*ok)[1], (Track{"2", {}, {}, {}, {}, {}}));
        const QByteArray empty = "{\"tracks\":[]}";
        QCOMPARE(decodeCatalog(empty)->size(), 0);

        for (const QByteArray& bad : QList<QByteArray>{
                 "{\"tracks\":[{\"id\":\"1\"},{\"title\":\"no id\"}]}", // one track without its id
                 "{\"tracks\":[{\"id\":null}]}", "{\"tracks\":[{\"id\":7}]}",
                 "{\"tracks\":[{\"id\":\"1\",\"active\":1}]}", // mistyped optional
                 "{\"tracks\":[{\"id\":\"1\",\"genre\":[\"Rock\"]}]}",
                 "{\"tracks\":[{\"id\":\"1\",\"audio_url\":5}]}", "{\"tracks\":null}", "{\"tracks\":{}}",
                 "{\"tracks\":[\"1\"]}", "{}",
                 "[{\"tracks\":[]}]",            // a top-level array
                 "{\"tracks\":[{\"id\":\"1\"}]", // malformed
                 "", "<html>Not Found</html>"})
            QVERIFY2(!decodeCatalog(bad), bad.constData());
    }

    void broadcastsAndTheirLiveAddress() {
        auto live = [](const QByteArray& json) { return liveAddress(decodeBroadcast(json)); };
        const QByteArray https = "{\"enabled\":true,\"url\":\"https://radio.example.org/live.mp3\"}";
        const QByteArray http =
            "{\"enabled\":true,\"url\":\"http://10.0.0.1:8000/stream\",\"label\":\"Night\",\"x\":1}";
        const QByteArray emptyLabel = "{\"enabled\":true,\"url\":\"u\",\"label\":\"\"}";
        const QByteArray nullLabel = "{\"enabled\":true,\"url\":\"u\",\"label\":null}";
        QCOMPARE(live(https), std::optional<QUrl>(QUrl("https://radio.example.org/live.mp3")));
        QVERIFY(live(http));
        QCOMPARE(decodeBroadcast(emptyLabel)->label, std::optional<QString>(""));
        QCOMPARE(decodeBroadcast(nullLabel)->label, std::nullopt);
        for (const QByteArray& off : QList<QByteArray>{
                 "{\"enabled\":false,\"url\":\"https://radio.example.org/live.mp3\"}",
                 "{\"enabled\":true,\"url\":\"live.mp3\"}", // relative
                 "{\"enabled\":true,\"url\":\"/live.mp3\"}",
                 "{\"enabled\":true,\"url\":\"rtsp://radio.example.org/live\"}",
                 "{\"enabled\":true,\"url\":\"file:///dev/zero\"}",
                 "{\"enabled\":true,\"url\":\"http://bad host/live\"}", // does not parse
                 "{\"enabled\":\"yes\",\"url\":\"https://radio.example.org/live.mp3\"}", "{\"enabled\":true}",
                 "{\"enabled\":true,\"url\":\"https://radio.example.org/live.mp3\",\"label\":3}", "[]"})
            QVERIFY2(!live(off), off.constData());
    }

    void genresAreDistinctInCodePointOrderAfterAll() {
        auto t = [](std::optional<QString> genre) { return Track{"x", {}, {}, genre, {}, {}}; };
        QCOMPARE(genres({}), QStringList{"All"});
        QCOMPARE(genres({t("Rock"), t("jazz"), t("Rock"), t(std::nullopt), t("")}),
                 (QStringList{"All", "Rock", "jazz"}));
        // Upper case before lower, accents after both, whatever the locale says; "All" is not listed twice.
        QCOMPARE(genres({t(QString::fromUtf8("Électro")), t("ambient"), t("All"), t("Blues"),
                         t(QString::fromUtf8("𝄞 Score")), t(QString::fromUtf8("\uFB01ne"))}),
                 (QStringList{"All", "Blues", "ambient", QString::fromUtf8("Électro"),
                              QString::fromUtf8("\uFB01ne"), QString::fromUtf8("𝄞 Score")}));
    }

    // Texts the station shows are a stranger's: line breaks and direction overrides never reach the
    // one-line now-playing text, the genre picker or the live label.
    void shownTextsArriveCleanedToOneLine() {
        const auto tracks = decodeCatalog(
            "{\"tracks\":[{\"id\":\"1\",\"title\":\"Night\\nDrive\\r\\n\",\"artist\":"
            "\"Ann\\u2028Lee\\u202e\","
            "\"genre\":\"Rock\\n\",\"audio_url\":\"a\\nb.mp3\"},{\"id\":\"2\",\"title\":\"\\u200b\\n\"}]}");
        QVERIFY(tracks);
        QCOMPARE(nowPlaying(tracks->at(0)), QString::fromUtf8("Night Drive · Ann Lee"));
        QCOMPARE(genres(*tracks), (QStringList{"All", "Rock"}));
        QCOMPARE(tracks->at(0).audioURL, std::optional<QString>("a\nb.mp3")); // an address is not a text
        QCOMPARE(nowPlaying(tracks->at(1)), QString());                       // nothing visible
        QCOMPARE(decodeBroadcast("{\"enabled\":true,\"url\":\"u\",\"label\":\"Live\\nNow\"}")->label,
                 std::optional<QString>("Live Now"));
        // Complex script next to emoji comes through whole.
        const auto whole = decodeCatalog(QStringLiteral("{\"tracks\":[{\"id\":\"1\",\"title\":\"नमस्ते 🙏\","
                                                        "\"artist\":\"กา 👨\u200d👩\u200d👧\"}]}")
                                             .toUtf8());
        QVERIFY(whole);
        QCOMPARE(nowPlaying(whole->at(0)), QStringLiteral("नमस्ते 🙏 · กา 👨\u200d👩\u200d👧"));
    }

    void nowPlayingLeavesOutWhatIsMissing() {
        QCOMPARE(nowPlaying({"1", "Song", "Band", {}, {}, {}}), QString::fromUtf8("Song · Band"));
        QCOMPARE(nowPlaying({"1", "Song", "", {}, {}, {}}), "Song");
        QCOMPARE(nowPlaying({"1", {}, "Band", {}, {}, {}}), "Band");
        QCOMPARE(nowPlaying({"1", "", {}, {}, {}, {}}), "");
    }
};

QTEST_GUILESS_MAIN(StationRecordsTest)
#include "tst_stationrecords.moc"
