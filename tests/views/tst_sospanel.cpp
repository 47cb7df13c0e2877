// The SOS sheet on a real model: the own SOS box from send to cancel with the responders, the check-in
// choices and deadline, one card per alert kept by ID (same widgets, same map camera) as alerts change,
// arrive and go, Return never sending an SOS, Escape and Close ending through done(), and a finish
// change re-skinning in place. With TESSROOK_SHOTS set it leaves pictures of the sheet.
#include "SOSFixture.h"

#include <QScrollArea>

#include "AlertCard.h"
#include "RadioPlayer.h"
#include "SOSMap.h"
#include "SOSPanel.h"
#include "TimeText.h"

#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

using namespace fixture;
using sos::button;
using sos::label;
using sos::shown;

namespace {

QLabel* labelStarting(QWidget* in, const QString& start) {
    for (QLabel* l : in->findChildren<QLabel*>())
        if (l->text().startsWith(start) && l->isVisibleTo(in)) return l;
    return nullptr;
}

int top(QWidget* in, QWidget* w) {
    return w->mapTo(in, QPoint(0, 0)).y();
}

QStringList names(const QList<AlertCard*>& cards) {
    QStringList out;
    for (AlertCard* c : cards)
        out.append(c->alert().info.who);
    return out;
}

sos::Record at(const QString& who, double lat, double lon) {
    sos::Record r;
    r.who = who;
    r.lat = lat;
    r.lon = lon;
    r.accuracy = 6;
    r.battery = 64;
    return r;
}

} // namespace

class SOSPanelTest : public QObject {
    Q_OBJECT
    Rig rig;
    std::unique_ptr<OtherUnit> other;
    Channel base, hill;
    const Finish blue = Finish::named(QStringLiteral("gunmetal-blue"));
    const Finish rose = Finish::named(QStringLiteral("rose-gold"));

private slots:
    void initTestCase() {
        base = channel(QStringLiteral("Base"));
        hill = channel(QStringLiteral("Hill crew"));
    }
    void init() {
        resetSettings();
        rig = Rig();
    }
    void cleanup() {
        rig.model.reset();
        other.reset();
    }

    void ownSOSFromSendToCancel() {
        other = std::make_unique<OtherUnit>();
        auto& m = rig.make(linkedOptions(rig, *other));
        SOSPanel panel(&m, blue);
        panel.resize(560, 900);
        panel.show();

        // Nothing going on: no own box, both send buttons, the four choices, the empty-list text.
        QLabel* ownTitle = label(&panel, QStringLiteral("Your SOS is active"));
        QPushButton* send = button(&panel, QStringLiteral("Send SOS"));
        QPushButton* silent = button(&panel, QStringLiteral("Silent SOS"));
        QVERIFY(!shown(&panel, ownTitle));
        QVERIFY(send->isEnabled() && silent->isEnabled());
        for (const char* choice : {"15 min", "30 min", "1 hr", "2 hr"})
            QVERIFY(shown(&panel, button(&panel, QString::fromLatin1(choice))));
        QVERIFY(shown(&panel, labelStarting(&panel, QStringLiteral("No alerts."))));
        QVERIFY(panel.cards().isEmpty());

        // With no channel the model only says so; the sheet stays as it was.
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(!m.sosActive());
        QVERIFY(!shown(&panel, ownTitle));
        QVERIFY(send->isEnabled());

        m.setChannels({base, hill});
        QTest::mouseClick(send, Qt::LeftButton);
        QVERIFY(m.sosActive());
        QVERIFY(shown(&panel, ownTitle));
        QVERIFY(!send->isEnabled() && !silent->isEnabled());
        QPushButton* cancel = button(&panel, QStringLiteral("I'm safe: cancel SOS"));
        QVERIFY(cancel->isEnabled());
        // Between the header and the Send box.
        QVERIFY(top(&panel, label(&panel, QStringLiteral("SOS Control"))) < top(&panel, ownTitle));
        QVERIFY(top(&panel, ownTitle) < top(&panel, send));
        QVERIFY(shown(&panel, label(&panel, QStringLiteral("Waiting for someone to respond…"))));

        // Acknowledgements from two units, one of them on both channels.
        QTRY_VERIFY(!other->opened(base, PacketKind::sos).isEmpty());
        const quint64 sosID = other->opened(base, PacketKind::sos).first().txID;
        m.receiveSealed(sealed(base, PacketKind::ack, sosID, 1, 0xB, "Bea"));
        QVERIFY(shown(&panel, label(&panel, QStringLiteral("Responding: Bea"))));
        m.receiveSealed(sealed(hill, PacketKind::ack, sosID, 1, 0xB, "Bea"));
        m.receiveSealed(sealed(hill, PacketKind::ack, sosID, 1, 0xC, "Cal <b>x</b>"));
        QLabel* line = label(&panel, QStringLiteral("Responding: Bea, Cal <b>x</b>"));
        QVERIFY(shown(&panel, line));
        QCOMPARE(line->textFormat(), Qt::PlainText);

        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(!m.sosActive());
        QVERIFY(!shown(&panel, ownTitle));
        QVERIFY(send->isEnabled() && silent->isEnabled());

        QTest::mouseClick(silent, Qt::LeftButton);
        QVERIFY(m.sosActive());
        QVERIFY(shown(&panel, label(&panel, QStringLiteral("Waiting for someone to respond…"))));
    }

    void checkInChoicesAndDeadline() {
        auto& m = rig.make();
        m.setChannels({base});
        SOSPanel panel(&m, blue);
        panel.show();
        QTest::mouseClick(button(&panel, QStringLiteral("1 hr")), Qt::LeftButton);
        QCOMPARE(m.checkInDeadline(), rig.clock->now().addSecs(3600));
        const QString sentence = QStringLiteral("If you don't check in by %1, an SOS goes out automatically.")
                                     .arg(TimeText::shortTime(m.checkInDeadline()));
        QVERIFY(shown(&panel, label(&panel, sentence)));
        QVERIFY(!shown(&panel, button(&panel, QStringLiteral("15 min"))));

        // Ticks announce the same deadline: the sheet still shows the clock time, not a countdown.
        for (int i = 0; i < 3; ++i) {
            rig.clock->advance(1);
            m.checkInTick();
        }
        QVERIFY(shown(&panel, label(&panel, sentence)));

        QTest::mouseClick(button(&panel, QStringLiteral("I'm OK")), Qt::LeftButton);
        QVERIFY(!m.checkInDeadline().isValid());
        QVERIFY(shown(&panel, button(&panel, QStringLiteral("2 hr"))));
        QVERIFY(!shown(&panel, label(&panel, sentence)));

        QTest::mouseClick(button(&panel, QStringLiteral("2 hr")), Qt::LeftButton);
        QCOMPARE(m.checkInDeadline(), rig.clock->now().addSecs(7200));
        QVERIFY(shown(&panel, labelStarting(&panel, QStringLiteral("If you don't check in by "))));
        // Missed: the automatic SOS clears the deadline, the choices come back beside the own box.
        rig.clock->advance(7200);
        m.checkInTick();
        QVERIFY(m.sosActive());
        QVERIFY(shown(&panel, button(&panel, QStringLiteral("15 min"))));
        QVERIFY(shown(&panel, label(&panel, QStringLiteral("Your SOS is active"))));
    }

    void cardsAreKeptByAlertID() {
        auto& m = rig.make();
        m.setChannels({base, hill});
        SOSPanel panel(&m, blue);
        panel.resize(600, 900);
        panel.show();
        sos::arrive(m, base, PacketKind::sos, 1, 1, at(QStringLiteral("Ann"), 51.5, -0.12));
        sos::arrive(m, hill, PacketKind::sos, 2, 1, at(QStringLiteral("Bob"), 48.85, 2.35));
        sos::arrive(m, base, PacketKind::sos, 3, 1, at(QStringLiteral("Cat"), -33.9, 151.2));
        QCOMPARE(names(panel.cards()), (QStringList{"Cat", "Bob", "Ann"}));
        QVERIFY(!shown(&panel, labelStarting(&panel, QStringLiteral("No alerts."))));
        const QList<AlertCard*> before = panel.cards();
        QTRY_VERIFY(before[0]->y() < before[1]->y() && before[1]->y() < before[2]->y());

        // Ann's card starts below the fold: no map until it is scrolled into view.
        QTest::qWait(50); // no map may be made for it in this time
        QVERIFY(!before[2]->map());
        panel.findChild<QScrollArea*>()->ensureWidgetVisible(before[2], 0, 0);
        QTRY_VERIFY(before[2]->map() && before[2]->map()->hasCamera());

        // The user pans Ann's map; Bob moves; Ann's and every card stay the same widgets.
        SOSMap* annMap = before[2]->map();
        annMap->zoomBy(1.5, QPointF(30, 30));
        const QPointF camera = annMap->centre();
        sos::arrive(m, hill, PacketKind::sosUpdate, 2, 2, at(QStringLiteral("Bob"), 48.851, 2.351));
        QCOMPARE(panel.cards(), before);
        QCOMPARE(before[1]->map()->trail().size(), 2);
        QCOMPARE(before[2]->map(), annMap);
        QCOMPARE(annMap->centre(), camera);

        // A new alert goes on top; the others keep their widgets.
        sos::arrive(m, hill, PacketKind::sos, 4, 1, at(QStringLiteral("Dee"), 40.0, -3.7));
        QCOMPARE(names(panel.cards()), (QStringList{"Dee", "Cat", "Bob", "Ann"}));
        QCOMPARE(panel.cards().mid(1), before);
        QTRY_VERIFY(panel.cards()[0]->y() < before[0]->y());
        QCOMPARE(annMap->centre(), camera);

        // Dismiss from inside Bob's card: the card goes, the rest stay.
        QPointer<AlertCard> bob = before[1];
        QTest::mouseClick(button(bob, QStringLiteral("Dismiss")), Qt::LeftButton);
        QCOMPARE(names(panel.cards()), (QStringList{"Dee", "Cat", "Ann"}));
        QTRY_VERIFY(!bob);
        QVERIFY(m.player()->sirenPlaying());

        // The last active alert dismissed: siren off, the empty-list text back.
        for (AlertCard* c : panel.cards())
            QTest::mouseClick(button(c, QStringLiteral("Dismiss")), Qt::LeftButton);
        QVERIFY(panel.cards().isEmpty());
        QVERIFY(!m.player()->sirenPlaying());
        QVERIFY(shown(&panel, labelStarting(&panel, QStringLiteral("No alerts."))));
    }

    // Close and Escape ask the presenter through `done`; the panel itself stays up until the presenter
    // closes it.
    void keysAndCloseEndThroughDone() {
        auto& m = rig.make();
        m.setChannels({base});
        QWidget window;
        window.resize(800, 700);
        window.show();
        int done = 0;
        auto* panel = new SOSPanel(
            &m, blue, [&done] { ++done; }, &window);
        QSignalSpy finished(panel, &QDialog::finished);
        panel->open();
        QVERIFY(QTest::qWaitForWindowExposed(panel));

        // Return on the focused send button never sends.
        QPushButton* send = button(panel, QStringLiteral("Send SOS"));
        send->setFocus();
        QTest::keyClick(send, Qt::Key_Return);
        QTest::keyClick(panel, Qt::Key_Enter);
        QVERIFY(!m.sosActive());
        QCOMPARE(done, 0);

        QTest::keyClick(panel, Qt::Key_Escape);
        QCOMPARE(done, 1);
        QTest::mouseClick(button(panel, QStringLiteral("Close")), Qt::LeftButton);
        QCOMPARE(done, 2);
        QVERIFY(panel->isVisible());
        QCOMPARE(finished.size(), 0);

        // The presenter's own close goes through without asking again.
        panel->close();
        QVERIFY(!panel->isVisible());
        QCOMPARE(done, 2);
        // Alerts arriving afterwards do not reopen it: the presenter decides.
        sos::arrive(m, base, PacketKind::sos, 5, 1, sos::Record{});
        QVERIFY(!panel->isVisible());
        QCOMPARE(panel->cards().size(), 1);
    }

    // The sheet keeps what it draws as layers until it changes: after every kind of change, and at
    // another zoom, it draws what a sheet built afresh on the same alerts draws (the maps aside, whose
    // camera stays where it was first fitted).
    void redrawnSheetShowsEveryChange() {
        auto& m = rig.make();
        m.setChannels({base, hill});
        SOSPanel panel(&m, blue);
        panel.resize(600, 1500);
        panel.show();
        sos::Record ann = at(QStringLiteral("Ann"), 51.5, -0.12);
        sos::arrive(m, base, PacketKind::sos, 31, 1, ann);
        sos::Record bob = at(QStringLiteral("Bob"), 48.85, 2.35);
        sos::arrive(m, hill, PacketKind::sos, 32, 1, bob);
        for (qreal scale : {1.0, 2.0})
            views::render(&panel, scale);

        // Every fact of one card, its marks, its state and the answer change; the sheet's own parts too.
        // The same digits in another order keep a label's size: only its text tells the change.
        rig.clock->advance(3700);
        ann.who = QStringLiteral("Ann Okafor");
        ann.battery = 46;
        ann.accuracy = 9;
        ann.silent = true;
        ann.automatic = true;
        ann.time = ann.time.addSecs(3700);
        sos::arrive(m, base, PacketKind::sosUpdate, 31, 2, ann);
        sos::arrive(m, hill, PacketKind::sosCancel, 32, 2, bob);
        QTest::mouseClick(button(panel.cards()[0], QStringLiteral("I'm coming")), Qt::LeftButton);
        m.triggerSOS(false);
        m.startCheckIn(15);

        auto same = [&](const Finish& finish) {
            SOSPanel fresh(&m, finish);
            fresh.resize(panel.size());
            // Not shown: taking the activation away would make the sheet draw everything anew,
            // whatever it kept.
            for (qreal scale : {1.0, 2.0, 1.0}) {
                QImage shown = views::render(&panel, scale), expected = views::render(&fresh, scale);
                if (shown.size() != expected.size()) return false;
                QPainter a(&shown), b(&expected);
                for (SOSPanel* sheet : {&panel, &fresh})
                    for (SOSMap* map : sheet->findChildren<SOSMap*>()) {
                        const QRectF r(QPointF(map->mapTo(sheet, QPoint(0, 0))) * scale,
                                       QSizeF(map->size()) * scale);
                        a.fillRect(r.adjusted(-1, -1, 1, 1), Qt::black);
                        b.fillRect(r.adjusted(-1, -1, 1, 1), Qt::black);
                    }
                a.end();
                b.end();
                for (int y = 0; y < shown.height(); ++y)
                    for (int x = 0; x < shown.width(); ++x) {
                        const QRgb s = shown.pixel(x, y), e = expected.pixel(x, y);
                        if (std::abs(qRed(s) - qRed(e)) > 2 || std::abs(qGreen(s) - qGreen(e)) > 2 ||
                            std::abs(qBlue(s) - qBlue(e)) > 2) {
                            qWarning("differs at %d,%d (scale %g)", x, y, scale);

                            return false;
                        }
                    }
            }
            return true;
        };
        // Once the shown sheet has run its events (a form shown late polishes then).
        QTRY_VERIFY(same(blue));
        panel.setFinish(rose);
        QVERIFY(same(rose));
    }

    void finishChangeReskinsInPlaceAndPictures() {
        auto& m = rig.make();
        m.setChannels({base, hill});
        m.setDisplayName(QStringLiteral("Tester"));
        SOSPanel panel(&m, blue);
        panel.resize(600, 1320);
        panel.show();
        if (!qEnvironmentVariableIsEmpty("TESSROOK_SHOTS")) {
            QVERIFY(QTest::qWaitForWindowExposed(&panel));
            sos::save(panel, QStringLiteral("sospanel-empty"));
        }

        sos::Record ann = at(QString::fromUtf8("Ann \"Trailhead\" Okafor"), 51.4978, -0.1275);
        ann.accuracy = 12.7;
        ann.battery = 41;
        sos::arrive(m, base, PacketKind::sos, 21, 1, ann);
        const double path[][2] = {
            {51.4986, -0.1262}, {51.4991, -0.1266}, {51.4999, -0.1251}, {51.5007, -0.1246}};
        quint32 seq = 2;
        for (const auto& p : path) {
            ann.lat = p[0];
            ann.lon = p[1];
            sos::arrive(m, base, PacketKind::sosUpdate, 21, seq++, ann);
        }
        sos::Record bob;
        bob.who = QStringLiteral("Bob");
        bob.silent = true;
        bob.automatic = true;
        bob.battery = 9;
        sos::arrive(m, hill, PacketKind::sos, 22, 1, bob);
        sos::arrive(m, hill, PacketKind::sosCancel, 22, 2, bob);
        m.triggerSOS(false);
        m.startCheckIn(30);
        const QList<AlertCard*> cards = panel.cards();
        QCOMPARE(cards.size(), 2);

        for (const Finish& f : {blue, rose}) {
            panel.setFinish(f);
            QCOMPARE(panel.cards(), cards);
            QCOMPARE(cards[1]->grab().toImage().pixelColor(0, cards[1]->height() / 2).rgb(), f.tx.rgb());
            if (!qEnvironmentVariableIsEmpty("TESSROOK_SHOTS")) {
                QTRY_COMPARE(TileCache::shared()->inFlight(), 0);
                QTest::qWait(50); // pictures only: the maps repaint with the tiles that came
                sos::save(panel, QStringLiteral("sospanel-") + f.id);
            }
        }
    }
};

SOS_TEST_MAIN(SOSPanelTest)
#include "tst_sospanel.moc"
