// The activity tape on a real model: lengths rounded like C's printf, at most 40 rows sized to fit, the
// empty state, and the length kept at the right edge past long names.
#include "ViewFixture.h"

#include "ActivityTape.h"

using namespace fixture;

class ActivityTapeTest : public QObject {
    Q_OBJECT
    Rig rig;

    void talk(double seconds) {
        rig.model->pressTalk();
        rig.clock->advance(seconds);
        rig.model->releaseTalk();
    }

private slots:
    void init() { rig.renew(); }
    void cleanup() { rig.model.reset(); }

    void lengths() {
        QCOMPARE(ActivityTape::lengthText(6.7), QStringLiteral("7s"));
        QCOMPARE(ActivityTape::lengthText(0.2), QStringLiteral("0s"));
        QCOMPARE(ActivityTape::lengthText(59.4), QStringLiteral("59s"));
        QCOMPARE(ActivityTape::lengthText(2.5), QStringLiteral("2s")); // an exact half goes to even
        QCOMPARE(ActivityTape::lengthText(3.5), QStringLiteral("4s"));
    }

    void rowsFromTheModel() {
        WalkieModel& m = *rig.model;
        m.createChannel(QStringLiteral("Crew"));
        ActivityTape tape(m, Finish::all().first());
        QCOMPARE(tape.rowCount(), 0);
        const int empty = tape.sizeHint().height();
        QVERIFY(empty > 0);
        tape.resize(560, empty);
        views::shots(&tape, QStringLiteral("activity-empty"));

        talk(6.7);
        QCOMPARE(tape.rowCount(), 1);
        QCOMPARE(tape.shownTexts(), QStringList{QStringLiteral("Tester · Crew  7s")});
        QCOMPARE(tape.sizeHint().height(), ActivityTape::rowHeight);

        // A received transmission, from a name with a line break: one line.
        const Channel crew = m.channels().first();
        m.receiveSealed(sealed(crew, PacketKind::start, 5, 1, 0xA11A11, QByteArray("Ann")));
        rig.clock->advance(2.5);
        m.receiveSealed(sealed(crew, PacketKind::end, 5, 2, 0xA11A11));
        QCOMPARE(tape.shownTexts().first(), QStringLiteral("Ann · Crew  2s"));

        for (int i = 0; i < 100; ++i)
            talk(0.2);
        QCOMPARE(m.activity().size(), WalkieModel::maxActivity);
        QCOMPARE(tape.rowCount(), 40);
        QCOMPARE(tape.sizeHint().height(), 40 * ActivityTape::rowHeight + 39 * ActivityTape::spacing);
    }

    void lengthStaysAtTheRightEdge() {
        WalkieModel& m = *rig.model;
        m.createChannel(QStringLiteral("An extremely long channel name for the tape"));
        m.setDisplayName(QStringLiteral("A call sign that is far too long to fit here"));
        talk(42);
        ActivityTape tape(m, Finish::all().first());
        tape.resize(320, tape.sizeHint().height());
        const QImage img = views::render(&tape);
        const QColor back = Finish::c(0x050607);
        // Ink in the last 20 pixels (the length), and the names cut before it.
        int inkRight = 0;
        for (int x = 300; x < 320; ++x)
            for (int y = 0; y < img.height(); ++y)
                inkRight += img.pixelColor(x, y) != back;
        QVERIFY(inkRight > 10);
        QVERIFY(tape.shownTexts().first().endsWith(QStringLiteral("  42s")));
        for (const Finish& f : views::twoFinishes()) {
            m.createChannel(QStringLiteral("Base"));
            talk(3.2);
            tape.setFinish(f);
            tape.resize(560, tape.sizeHint().height());
            views::shots(&tape, QStringLiteral("activity-") + f.id);
        }
    }
};

VIEW_TEST_MAIN(ActivityTapeTest)
#include "tst_activitytape.moc"
