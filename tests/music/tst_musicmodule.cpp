// The music row: what shows in each state of the station, the genre picker's refills, the volume slider,
// the now-playing line and the web key, on a station served by a loopback web service.
#include "UrlCatcher.h"
#include "Engraved.h"
#include "Finish.h"
#include "ModelFixture.h"
#include "MusicModule.h"
#include "RackButton.h"
#include "RadioStation.h"
#include "StationServer.h"
#include "ViewFixture.h"

#include <QApplication>
#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QSlider>
#include <QToolButton>
#include <QtTest>

namespace {

class QuietSink : public MediaSink {
public:
    QList<QUrl> plays;
    QList<float> volumes;
    void play(const QUrl& url) override { plays << url; }
    void stop() override {}
    void setVolume(float v) override { volumes << v; }
};

const QByteArray tracks = "{\"tracks\":[{\"id\":\"1\",\"title\":\"Rain\",\"artist\":\"Ann\",\"genre\":"
                          "\"Rock\",\"audio_url\":\"1.wav\"},"
                          "{\"id\":\"2\",\"title\":\"Snow\",\"genre\":\"Jazz\",\"audio_url\":\"2.wav\"}]}";

struct Row {
    fixture::Rig rig;
    StationServer server;
    QuietSink* sink = nullptr;
    std::unique_ptr<RadioStation> station;
    std::unique_ptr<MusicModule> module;

    explicit Row(const Finish& finish = Finish::all().first()) {
        server.json("api/public-tracks.php", tracks);
        server.json("api/public-broadcast.php", "{\"enabled\":false,\"url\":\"\"}");
        rig.make();
        RadioStation::Options o;
        o.base = server.base();
        auto s = std::make_unique<QuietSink>();
        sink = s.get();
        o.sink = std::move(s);
        station = std::make_unique<RadioStation>(*rig.model, std::move(o));
        module = std::make_unique<MusicModule>(*station, finish);
        module->show();
    }
    // Shown controls, left to right, by what they are.
    QStringList shown() const {
        QStringList out;
        auto* row = static_cast<QHBoxLayout*>(module->layout());
        for (int i = 0; i < row->count(); ++i) {
            QWidget* w = row->itemAt(i)->widget();
            if (!w) {
                out << "name";
                continue;
            }
            if (!w->isVisible()) continue;
            if (auto* b = qobject_cast<RackButton*>(w))
                out << b->title() + (b->isLit() ? "*" : "");
            else if (qobject_cast<QComboBox*>(w))
                out << "genres";
            else if (qobject_cast<QSlider*>(w))
                out << "volume";
            else if (qobject_cast<QToolButton*>(w))
                out << "web";
        }
        return out;
    }
    QStringList genreItems() const {
        QStringList out;
        for (int i = 0; i < module->genrePicker()->count(); ++i)
            out << module->genrePicker()->itemText(i);
        return out;
    }
};

} // namespace

class MusicModuleTest : public QObject {
    Q_OBJECT
private slots:
    void init() {
        Defaults::shared().remove("musicGenre");
        Defaults::shared().remove("musicVolume");
    }

    void eachStateShowsItsControls() {
        Row r;
        QCOMPARE(r.shown(), (QStringList{"Music", "name", "web"}));
        QCOMPARE(r.module->nowPlayingLabel()->text(), "Tap Music to tune in");
        QCOMPARE(r.genreItems(), QStringList{"All"});

        // Tuning in: everything at once, before anything arrived.
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QCOMPARE(r.shown(), (QStringList{"Stop*", "Next", "genres", "volume", "name", "web"}));
        QCOMPARE(r.module->nowPlayingLabel()->text(), QString::fromUtf8("Tuning in…"));
        // Playlist.
        QTRY_VERIFY(!r.station->loading());
        QVERIFY(r.module->nowPlayingLabel()->text() == QString::fromUtf8("Rain · Ann") ||
                r.module->nowPlayingLabel()->text() == "Snow");
        QCOMPARE(r.genreItems(), (QStringList{"All", "Jazz", "Rock"}));
        // A genre chosen in the picker plays at once.
        r.module->genrePicker()->setCurrentIndex(1);
        emit r.module->genrePicker()->activated(1);
        QCOMPARE(r.station->genre(), "Jazz");
        QCOMPARE(r.module->nowPlayingLabel()->text(), "Snow");
        // Live: Next and the picker go, the slider stays.
        r.server.json("api/public-broadcast.php", "{\"enabled\":true,\"url\":\"http://127.0.0.1:9/live\"}");
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton); // Stop
        QCOMPARE(r.shown(), (QStringList{"Music", "name", "web"}));
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QTRY_VERIFY(r.station->live());
        QTRY_COMPARE(r.shown(), (QStringList{"Stop*", "volume", "name", "web"}));
        QCOMPARE(r.module->nowPlayingLabel()->text(), QString::fromUtf8("LIVE · Live Broadcast"));
        // The next press starts as tuning in without the catalogue controls: the last check found a
        // broadcast.
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QCOMPARE(r.shown(), (QStringList{"Stop*", "volume", "name", "web"}));
    }

    void refillsNeverWriteTheGenre() {
        Defaults::shared().setValue("musicGenre", "Polka");
        Row r;
        QSignalSpy writes(&Defaults::shared(), &Defaults::changed);
        QCOMPARE(r.module->genrePicker()->currentIndex(),
                 -1); // a stored genre missing from the list: no entry
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QTRY_VERIFY(!r.station->loading());
        QCOMPARE(r.genreItems(), (QStringList{"All", "Jazz", "Rock"}));
        QCOMPARE(r.module->genrePicker()->currentIndex(), -1);
        QCOMPARE(r.station->genre(), "Polka");
        QCOMPARE(r.station->nowPlaying(), "The station couldn't be reached. Check your internet.");
        // The failure is cut on its one line; its advice is in the tooltip.
        QVERIFY(r.module->nowPlayingLabel()->text().endsWith(QChar(0x2026)));
        QCOMPARE(r.module->nowPlayingLabel()->toolTip(), r.station->nowPlaying());
        QVERIFY(writes.isEmpty());
        QVERIFY(r.sink->plays.isEmpty());
        // A choice by the user does write it, and plays at once.
        emit r.module->genrePicker()->activated(2);
        QCOMPARE(r.station->genre(), "Rock");
        QCOMPARE(r.module->genrePicker()->currentText(), "Rock");
        QCOMPARE(r.sink->plays.size(), 1);
    }

    void theSliderMapsOntoTheVolume() {
        Row r;
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QCOMPARE(r.module->volumeSlider()->value(), 700);
        r.module->volumeSlider()->setValue(250);
        QCOMPARE(r.station->volume(), 0.25);
        QCOMPARE(r.sink->volumes.last(), 0.25f);
        r.station->setVolume(0.9);
        QCOMPARE(r.module->volumeSlider()->value(), 900);
        QCOMPARE(r.module->volumeSlider()->palette().color(QPalette::Highlight),
                 Finish::all().first().accent);
    }

    void nowPlayingIsPlainAndCutToItsWidth() {
        Row r;
        r.server.json(
            "api/public-tracks.php",
            "{\"tracks\":[{\"id\":\"1\",\"title\":\"<b>A very long title that goes on and on and on</b>\","
            "\"artist\":\"Somebody With A Long Name\",\"audio_url\":\"1.wav\"}]}");
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QTRY_VERIFY(!r.station->loading());
        QLabel* line = r.module->nowPlayingLabel();
        QCOMPARE(line->textFormat(), Qt::PlainText);
        QVERIFY(line->text().startsWith("<b>A very long"));
        QVERIFY(line->text().endsWith(QChar(0x2026)));
        QVERIFY(line->fontMetrics().horizontalAdvance(line->text()) <= 220);
        QVERIFY(line->width() <= 220);
        QCOMPARE(r.module->nowPlayingText(), r.station->nowPlaying());
        QCOMPARE(line->toolTip(), r.station->nowPlaying());
        // A track with neither title nor artist: the hint again, whole, so no tooltip.
        Row bare;
        bare.server.json("api/public-tracks.php", "{\"tracks\":[{\"id\":\"1\",\"audio_url\":\"1.wav\"}]}");
        QTest::mouseClick(bare.module->musicKey(), Qt::LeftButton);
        QTRY_VERIFY(!bare.station->loading());
        QCOMPARE(bare.sink->plays.size(), 1);
        QCOMPARE(bare.module->nowPlayingLabel()->text(), "Tap Music to tune in");
        QCOMPARE(bare.module->nowPlayingLabel()->toolTip(), QString());
    }

    void theWebKeyOpensThePageOnOrOff() {
        Row r;
        UrlCatcher catcher(QStringLiteral("http"));
        QTest::mouseClick(r.module->webKey(), Qt::LeftButton);
        QTest::mouseClick(r.module->musicKey(), Qt::LeftButton);
        QTest::mouseClick(r.module->webKey(), Qt::LeftButton);
        QCOMPARE(catcher.opened, (QList<QUrl>{r.station->pageURL(), r.station->pageURL()}));
        QCOMPARE(r.station->pageURL().path(), "/vellmoor/index.php");
    }

    // With TESSROOK_SHOTS set: the row in its five states, in two finishes.
    void pictures() {
        for (const Finish& f : {Finish::all().first(), Finish::all()[2]}) {
            Row r(f);
            QWidget frame;
            frame.setAutoFillBackground(true);
            QPalette p = frame.palette();
            p.setColor(QPalette::Window, f.panelBottom);
            frame.setPalette(p);
            auto* l = new QHBoxLayout(&frame);
            r.module->setParent(&frame);
            l->addWidget(r.module.get());
            frame.resize(760, 52);
            frame.show();
            auto shot = [&](const QString& state) {
                QApplication::processEvents();
                const QImage img = frame.grab().toImage();
                QVERIFY(!img.isNull());
                views::saveShot(img, "music-" + f.id + "-" + state);
            };
            shot("off");
            r.server.json(
                "api/public-tracks.php",
                "{\"tracks\":[{\"id\":\"1\",\"title\":\"Midnight Over the Vellmoor Reservoir (Extended)\","
                "\"artist\":\"The Long Names\",\"genre\":\"Ambient\",\"audio_url\":\"1.wav\"}]}");
            r.station->start();
            shot("tuning");
            QTRY_VERIFY(!r.station->loading());
            shot("playlist");
            r.station->setGenre("Polka");
            shot("unreachable");
            r.station->stop();
            r.server.json(
                "api/public-broadcast.php",
                "{\"enabled\":true,\"url\":\"http://127.0.0.1:9/live\",\"label\":\"Friday Night Session\"}");
            r.station->start();
            QTRY_VERIFY(r.station->live());
            shot("live");
            r.module->setParent(nullptr);
        }
    }
};

VIEW_TEST_MAIN(MusicModuleTest)
#include "tst_musicmodule.moc"
