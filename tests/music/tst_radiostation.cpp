// The music station's logic over a real loopback web service, with a recording media sink in place of
// the player: what is fetched, what is queued and played, the texts, the stored settings and the ducking.
#include "Defaults.h"
#include "HostileWebServer.h"
#include "ModelFixture.h"
#include "RadioStation.h"
#include "StationServer.h"
#include "TRKLog.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

namespace {

class RecordingSink : public MediaSink {
public:
    QList<QUrl> plays;
    int stops = 0;
    QList<float> volumes;
    void play(const QUrl& url) override { plays << url; }
    void stop() override { ++stops; }
    void setVolume(float v) override { volumes << v; }
    void end() { emit endOfMedia(); }
};

const QByteArray fiveTracks =
    "{\"tracks\":[ "
    "{\"id\":\"1\",\"title\":\"One\",\"artist\":\"Ann\",\"genre\":\"Rock\",\"audio_url\":\"music/1.wav\"}, "
    "{\"id\":\"2\",\"title\":\"Two\",\"artist\":\"Bob\",\"genre\":\"jazz\",\"audio_url\":\"music/"
    "2.wav\",\"active\":true}, "
    "{\"id\":\"3\",\"title\":\"Three\",\"genre\":\"Rock\",\"audio_url\":\"music/3.wav\"}, "
    "{\"id\":\"4\",\"artist\":\"Dee\",\"audio_url\":\"music/4.wav\"}, "
    "{\"id\":\"5\",\"title\":\"Five\",\"genre\":\"\",\"audio_url\":\"music/5.wav\"}, "
    "{\"id\":\"6\",\"title\":\"Off\",\"genre\":\"Rock\",\"audio_url\":\"music/6.wav\",\"active\":false}, "
    "{\"id\":\"7\",\"title\":\"Nowhere\",\"genre\":\"Rock\",\"audio_url\":\"\"}, "
    "{\"id\":\"8\",\"title\":\"Nothing\",\"genre\":\"Rock\"}, "
    "{\"id\":\"9\",\"title\":\"lower\",\"genre\":\"rock\",\"audio_url\":\"music/9.wav\"}]}";

const QByteArray noBroadcast = "{\"enabled\":false,\"url\":\"\"}";

struct Station {
    fixture::Rig rig;
    StationServer server;
    RecordingSink* sink = nullptr;
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>();
    std::unique_ptr<RadioStation> station;

    explicit Station(const QByteArray& catalogue = fiveTracks, const QByteArray& broadcast = noBroadcast) {
        server.json("api/public-tracks.php", catalogue);
        server.json("api/public-broadcast.php", broadcast);
        rig.make();
        RadioStation::Options o;
        o.base = server.base();
        o.clock = clock;
        auto s = std::make_unique<RecordingSink>();
        sink = s.get();
        o.sink = std::move(s);
        station = std::make_unique<RadioStation>(*rig.model, std::move(o));
    }
    // Music pressed; returns once the load has ended in a play or a text.
    void startAndWait() {
        station->start();
        QTRY_VERIFY(!station->loading());
    }
    QString played(int i) const { return sink->plays.value(i).path().section('/', -1); }
};

QSet<QString> ids(const QList<Track>& tracks) {
    QSet<QString> out;
    for (const auto& t : tracks)
        out << t.id;
    return out;
}

void resetSettings() {
    Defaults::shared().remove("musicVolume");
    Defaults::shared().remove("musicGenre");
}

} // namespace

class RadioStationTest : public QObject {
    Q_OBJECT
private slots:
    void init() { resetSettings(); }

    void nothingIsFetchedBeforeMusicIsPressed() {
        Station s;
        QTest::qWait(50); // no request may go out in this time
        QVERIFY(s.server.requests().isEmpty());
        QCOMPARE(s.station->genres(), QStringList{"All"});
        QCOMPARE(s.station->volume(), 0.7);
        QCOMPARE(s.station->genre(), "All");
        QCOMPARE(s.station->pageURL(), QUrl(s.server.address("index.php")));
    }

    void theFirstPressQueuesEveryPlayableTrackShuffled() {
        Station s;
        QSignalSpy genres(s.station.get(), &RadioStation::genresChanged);
        s.station->start();
        QVERIFY(s.station->playing() && s.station->loading());
        QCOMPARE(s.station->nowPlaying(), QString::fromUtf8("Tuning in…"));
        QTRY_VERIFY(!s.station->loading());
        QCOMPARE(s.station->genres(), (QStringList{"All", "Rock", "jazz", "rock"}));
        QCOMPARE(genres.size(), 1);
        QCOMPARE(s.sink->plays.size(), 1);
        QSet<QString> queued = ids(s.station->queue());
        const QString first = s.played(0).section('.', 0, 0);
        queued << first;
        QCOMPARE(queued, (QSet<QString>{"1", "2", "3", "4", "5", "9"})); // inactive and address-less never
        // The text names the track that plays.
        const QList<Track> all = s.station->tracks();
        const auto played =
            std::find_if(all.begin(), all.end(), [&](const Track& t) { return t.id == first; });
        QVERIFY(played != all.end());
        QCOMPARE(s.station->nowPlaying(), StationRecords::nowPlaying(*played));
        // A relative address plays from beneath the service's folder.
        QCOMPARE(s.sink->plays[0].toString(), s.server.address("music/" + first + ".wav"));

        // Play the pass out, then a new pass starts.
        for (int i = 0; i < 5; ++i) {
            s.sink->end();
            QTRY_COMPARE(s.sink->plays.size(), i + 2);
        }
        QSet<QString> pass;
        for (int i = 0; i < 6; ++i)
            pass << s.played(i);
        QCOMPARE(pass.size(), 6);
        s.sink->end();
        QTRY_COMPARE(s.sink->plays.size(), 7);
        QCOMPARE(s.station->queue().size(), 5);
        QCOMPARE(s.server.count("public-tracks.php"), 1);
    }

    void aGenreFiltersExactlyAndAStaleOneFindsNothing() {
        Station s;
        s.station->setGenre("Rock"); // while off: stored only
        QVERIFY(s.server.requests().isEmpty() && s.sink->plays.isEmpty());
        QCOMPARE(Defaults::shared().stringValue("musicGenre"), "Rock");
        s.startAndWait();
        QSet<QString> rock = ids(s.station->queue());
        rock << s.played(0).section('.', 0, 0);
        QCOMPARE(rock, (QSet<QString>{"1", "3"}));

        // A change while playing starts a new pass of that genre at once.
        s.station->setGenre("jazz");
        QCOMPARE(s.sink->plays.size(), 2);
        QCOMPARE(s.played(1), "2.wav");
        QVERIFY(s.station->queue().isEmpty());

        // A genre the catalogue no longer has.
        s.station->setGenre("Polka");
        QCOMPARE(s.station->nowPlaying(), "The station couldn't be reached. Check your internet.");
        QCOMPARE(s.sink->plays.size(), 2); // the player is left as it is
        QVERIFY(s.station->playing());
    }

    void unusableAddressesEndOneCallWithoutLooping() {
        Station s(
            "{\"tracks\":[{\"id\":\"1\",\"audio_url\":\"http://bad "
            "host/a.wav\"},{\"id\":\"2\",\"audio_url\":\"file:///dev/zero\"}, "
            "{\"id\":\"3\",\"audio_url\":\"rtsp://127.0.0.1/a\"},{\"id\":\"4\",\"audio_url\":\"data:audio/"
            "wav;base64,UklGRg==\"}, {\"id\":\"5\",\"audio_url\":\"http://[::1/a.wav\"}]}");
        s.startAndWait();
        QCOMPARE(s.station->nowPlaying(), "The station couldn't be reached. Check your internet.");
        QCOMPARE(s.sink->plays.size(), 0);
        QVERIFY(s.station->queue().isEmpty());
        // "../" resolves to a web address of the same server: it is not local, so it may play.
        Station t("{\"tracks\":[{\"id\":\"6\",\"audio_url\":\"../../x/"
                  "6.wav\"},{\"id\":\"7\",\"audio_url\":\"https://cdn.example.org/7.mp3\"}]}");
        t.station->setGenre("All");
        t.startAndWait();
        t.sink->end();
        QTRY_COMPARE(t.sink->plays.size(), 2);
        for (const QUrl& u : t.sink->plays)
            QVERIFY(u.scheme().startsWith("http"));
    }

    void faultyServicesGiveTheUnreachableText() {
        const QList<std::pair<QByteArray, int>> catalogues{
            {"{\"tracks\":[", 200},
            {"{\"tracks\":[{\"title\":\"no id\",\"audio_url\":\"a.wav\"}]}", 200},
            {"", 404}};
        for (const auto& [body, status] : catalogues) {
            Station s;
            if (status == 404)
                s.server.answer("api/public-tracks.php", {404, "text/html", "<html>Not Found</html>"});
            else
                s.server.json("api/public-tracks.php", body, status);
            s.startAndWait();
            QCOMPARE(s.station->nowPlaying(), "The station couldn't be reached. Check your internet.");
            QCOMPARE(s.station->genres(), QStringList{"All"});
            QVERIFY(s.station->playing());
            // The next press asks for the catalogue again, now good.
            s.server.json("api/public-tracks.php", fiveTracks);
            s.station->stop();
            s.startAndWait();
            QCOMPARE(s.sink->plays.size(), 1);
            QCOMPARE(s.server.count("public-tracks.php"), 2);
        }
        // A server that never answers ends the tuning in at the transfer limit.
        {
            StationServer hung;
            hung.answer("api/public-broadcast.php", {0, {}, {}});
            hung.answer("api/public-tracks.php", {0, {}, {}});
            fixture::Rig rig;
            rig.make();
            RadioStation::Options o;
            o.base = hung.base();
            o.sink = std::make_unique<RecordingSink>();
            o.transferTimeoutMs = 300;
            RadioStation station(*rig.model, std::move(o));
            station.start();
            QTRY_VERIFY_WITH_TIMEOUT(!station.loading(), 5000);
            QCOMPARE(station.nowPlaying(), "The station couldn't be reached. Check your internet.");
            QCOMPARE(hung.count("public-tracks.php"), 1);
        }
        // A server error that still sends a valid record is used.
        Station e;
        e.server.json("api/public-tracks.php", fiveTracks, 500);
        e.startAndWait();
        QCOMPARE(e.sink->plays.size(), 1);
    }

    // A hostile web service ends the tuning in with the unreachable text: an endless body is cut off as
    // it arrives, a trickle at the whole-transfer deadline, and a redirect to another host is not
    // followed.
    void hostileServicesAreBounded_data() {
        QTest::addColumn<int>("mode");
        QTest::addColumn<QString>("why"); // the reason logged
        using M = HostileWebServer::Mode;
        QTest::newRow("4 GiB declared") << int(M::endlessDeclared) << "larger than 4096 KiB";
        QTest::newRow("endless, undeclared") << int(M::endlessUndeclared) << "larger than 4096 KiB";
        QTest::newRow("one byte every 5 s") << int(M::trickle) << "no whole answer within 1.5 s";
        QTest::newRow("redirect to another host") << int(M::redirect) << "redirected away";
        QTest::newRow("5 MiB answers") << int(M::fixed) << "larger than 4096 KiB";
    }
    void hostileServicesAreBounded() {
        QFETCH(int, mode);
        QFETCH(QString, why);
        QTemporaryDir logs;
        TRKLog::setFolderOverride(logs.path());
        HostileWebServer server;
        server.mode = HostileWebServer::Mode(mode);
        if (server.mode == HostileWebServer::Mode::fixed)
            server.body = "{\"tracks\": [" + QByteArray(5 * 1024 * 1024, ' ') + "]}";
        HostileWebServer elsewhere(QHostAddress("127.0.0.2"));
        elsewhere.body = fiveTracks;
        server.location = elsewhere.origin().toLatin1();
        fixture::Rig rig;
        rig.make();
        RadioStation::Options o;
        o.base = QUrl(server.origin() + "/vellmoor/");
        o.sink = std::make_unique<RecordingSink>();
        o.deadlineMs = 1500;
        RadioStation station(*rig.model, std::move(o));
        QElapsedTimer clock;
        clock.start();
        station.start();
        QTRY_VERIFY_WITH_TIMEOUT(!station.loading(), 3 * 1500 + 2000);
        qInfo("gave up after %lld ms, most body bytes sent on one request %lld", clock.elapsed(),
              server.mostSent);
        QCOMPARE(station.nowPlaying(), "The station couldn't be reached. Check your internet.");
        QVERIFY(server.mostSent < server.sendCap);
        QCOMPARE(elsewhere.paths.size(), 0);
        QCOMPARE(server.paths.size(), 2); // the broadcast and the catalogue, each once
        TRKLog::flush();
        QFile log(TRKLog::file());
        QVERIFY(log.open(QIODevice::ReadOnly));
        QCOMPARE(QString::fromUtf8(log.readAll()).count(why), 2);
        TRKLog::setFolderOverride(std::nullopt);
    }

    void aLiveBroadcastWinsAndItsEndStartsNothing() {
        Station s(fiveTracks, "{\"enabled\":true,\"url\":\"https://radio.example.org/live.mp3\"}");
        s.startAndWait();
        QVERIFY(s.station->live());
        QCOMPARE(s.sink->plays, QList<QUrl>{QUrl("https://radio.example.org/live.mp3")});
        QCOMPARE(s.station->nowPlaying(), QString::fromUtf8("LIVE · Live Broadcast"));
        s.sink->end();
        QTest::qWait(50); // nothing may start in this time
        QCOMPARE(s.sink->plays.size(), 1);

        s.server.json("api/public-broadcast.php",
                      "{\"enabled\":true,\"url\":\"http://127.0.0.1:1/live\",\"label\":\"\"}", 500);
        s.station->stop();
        s.clock->advance(1);
        s.startAndWait();
        QCOMPARE(s.station->nowPlaying(), QString::fromUtf8("LIVE · "));

        // Off the air (a relative address, another scheme): the catalogue plays.
        for (const QByteArray& off :
             {QByteArray("{\"enabled\":true,\"url\":\"live.mp3\"}"),
              QByteArray("{\"enabled\":true,\"url\":\"rtsp://radio.example.org/live\"}"),
              QByteArray("<html>Not Found</html>")}) {
            s.server.json("api/public-broadcast.php", off);
            s.station->stop();
            s.startAndWait();
            QVERIFY(!s.station->live());
            QVERIFY(s.sink->plays.last().path().endsWith(".wav"));
        }
    }

    void stopKeepsTheQueueAndTheCatalogue() {
        Station s;
        s.startAndWait();
        const int queued = int(s.station->queue().size());
        s.station->stop();
        QVERIFY(!s.station->playing());
        QCOMPARE(s.station->nowPlaying(), "");
        QCOMPARE(s.sink->stops, 1);
        s.clock->advance(1);
        s.startAndWait();
        QCOMPARE(s.station->queue().size(), queued - 1); // the pass goes on
        QCOMPARE(s.server.count("public-tracks.php"), 1);
        const QStringList casts = s.server.requests().filter("public-broadcast.php");
        QCOMPARE(casts.size(), 2);
        QVERIFY(casts[0] != casts[1]); // a new cache value
        QCOMPARE(casts[0], "/vellmoor/api/public-broadcast.php?cache=1800000000");

        // Stop while tuning in: when the load ends nothing plays.
        const int plays = int(s.sink->plays.size());
        s.station->start();
        s.station->stop();
        QTRY_COMPARE(s.server.count("public-broadcast.php"), 3);
        QTest::qWait(100); // nothing may start in this time
        QCOMPARE(s.sink->plays.size(), plays);
        QVERIFY(!s.station->playing());
        QCOMPARE(s.station->nowPlaying(), "");
    }

    void anEndReportOfAReplacedItemIsIgnored() {
        Station s;
        s.startAndWait();
        s.sink->end();     // reported for the first item...
        s.station->next(); // ...which Next replaced before the report arrived
        QTest::qWait(50);  // nothing more may start in this time
        QCOMPARE(s.sink->plays.size(), 2);
    }

    void volumeFollowsTheTalkState() {
        Station s;
        WalkieModel& m = *s.rig.model;
        const Channel ch = fixture::channel("Duck");
        m.setChannels({ch});
        s.station->setVolume(0.5);
        QCOMPARE(s.sink->volumes.last(), 0.5f);
        QCOMPARE(Defaults::shared().doubleValue("musicVolume", 0), 0.5);

        m.receiveSealed(fixture::sealed(ch, PacketKind::start, 1, 1, 0xA11, "Ann"));
        QVERIFY(m.talk().isReceiving());
        QCOMPARE(s.sink->volumes.last(), 0.5f); // applied from the event loop, not inside the model's change
        QTRY_VERIFY(std::abs(s.sink->volumes.last() - 0.075f) < 1e-6);
        // A new item while ducked stays ducked.
        s.startAndWait();
        QVERIFY(std::abs(s.sink->volumes.last() - 0.075f) < 1e-6);
        m.receiveSealed(fixture::sealed(ch, PacketKind::end, 1, 2, 0xA11));
        QTRY_COMPARE(s.sink->volumes.last(), 0.5f);

        m.pressTalk();
        QVERIFY(m.talk().isTransmitting());
        QTRY_VERIFY(std::abs(s.sink->volumes.last() - 0.075f) < 1e-6);
        m.releaseTalk();
        QTRY_COMPARE(s.sink->volumes.last(), 0.5f);
    }

    void aStationMadeDuringATalkStartsDucked() {
        fixture::Rig rig;
        WalkieModel& m = rig.make();
        const Channel ch = fixture::channel("Busy");
        m.setChannels({ch});
        m.receiveSealed(fixture::sealed(ch, PacketKind::start, 1, 1, 0xA11, "Ann"));
        RadioStation::Options o;
        auto sink = std::make_unique<RecordingSink>();
        RecordingSink* rec = sink.get();
        o.sink = std::move(sink);
        RadioStation station(m, std::move(o));
        QTRY_VERIFY(std::abs(rec->volumes.last() - 0.7f * 0.15f) < 1e-6);
        QVERIFY(station.ducked());
    }

    void handEditedVolumesAreClampedButKept() {
        Station s;
        Defaults::shared().setValue("musicVolume", "nan");
        QCOMPARE(s.station->volume(), 0.7);
        QCOMPARE(s.sink->volumes.last(), 0.7f);
        s.station->setVolume(3);
        QCOMPARE(s.sink->volumes.last(), 1.0f);
        QCOMPARE(s.station->volume(), 3.0);
        s.station->setVolume(-1);
        QCOMPARE(s.sink->volumes.last(), 0.0f);
    }
};

MODEL_TEST_MAIN(RadioStationTest)
#include "tst_radiostation.moc"
