// The self-test window on a model of the radio tests' rig: what the rows show, the buttons, the copy, the
// refresh by position, and a radio check answered over a real link on loopback.
#include "UrlCatcher.h"
#include "Clipboard.h"
#include "Finish.h"
#include "LinkDiagnostics.h"
#include "ModelFixture.h"
#include "RackButton.h"
#include "SelfTestView.h"
#include "ViewFixture.h"

#include "TRKLog.h"

#include <QApplication>
#include <QDesktopServices>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QtTest>

namespace {

class NoTools : public FirewallProbe::Runner {
public:
    bool has(const QString&) const override { return false; }
    FirewallProbe::Run run(const QString&, const QStringList&, int) override { return {}; }
};

QString shownText(const SelfTestView& view) {
    QStringList out;
    for (const DiagRow* r : view.rows()) {
        QString t = '[' + DiagLine::levelName(r->level()) + "] " + r->title();
        if (r->showsDetail()) t += " - " + r->detail();
        out << t;
    }
    return out.join('\n');
}

int rowWith(const SelfTestView& view, const QString& prefix) {
    for (int i = 0; i < view.rows().size(); ++i)
        if (view.rows()[i]->title().startsWith(prefix)) return i;
    return -1;
}

} // namespace

class SelfTestViewTest : public QObject {
    Q_OBJECT
    FirewallProbe probe{FirewallProbe::Options{std::make_shared<NoTools>(), "/", false, {}}};

    // Shown on the probe without tools, its rows laid out.
    bool shown(SelfTestView& view) {
        view.setProbe(&probe);
        view.show();
        if (!QTest::qWaitForWindowExposed(&view)) return false;
        QApplication::processEvents();
        return true;
    }

private slots:
    void opensOnTheReportAndFollowsTheSelection() {
        fixture::Rig rig;
        WalkieModel& m = rig.make();
        int done = 0;
        SelfTestView view(m, Finish::all().first(), [&] { ++done; });
        QVERIFY(view.rows().isEmpty()); // nothing until shown
        QVERIFY(shown(view));
        QCOMPARE(view.rows().first()->title(), "No channel");
        QVERIFY(!view.radioCheckButton()->isEnabled());
        QVERIFY(view.refreshTimer()->isActive());

        // The button follows a new channel at once; the rows wait for the next tick.
        m.setChannels({fixture::channel("Home")});
        QVERIFY(view.radioCheckButton()->isEnabled());
        QCOMPARE(view.rows().first()->title(), "No channel");
        view.refresh();
        QApplication::processEvents();
        QCOMPARE(view.rows().first()->title(), "Channel: Home");
        m.setChannels({});
        QVERIFY(!view.radioCheckButton()->isEnabled());

        // A line without detail shows its title alone, in a shorter row.
        const int mic = rowWith(view, "Firewall is off");
        const int lan = rowWith(view, "LAN link is off");
        QVERIFY(mic >= 0 && lan >= 0);
        QVERIFY(!view.rows()[mic]->showsDetail() && view.rows()[mic]->detail().isEmpty());
        QVERIFY(view.rows()[lan]->showsDetail());
        QVERIFY(view.rows()[mic]->height() < view.rows()[lan]->height());

        // The debug log's folder opens in the file browser.
        UrlCatcher catcher(QStringLiteral("file"));
        QTest::mouseClick(view.debugLogButton(), Qt::LeftButton);
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl::fromLocalFile(TRKLog::folder())});

        // Return is Done.
        QVERIFY(view.doneButton()->isDefault());
        QTest::keyClick(&view, Qt::Key_Return);
        QCOMPARE(done, 1);
        QTest::keyClick(&view, Qt::Key_Escape);
        QCOMPARE(done, 2);
        view.hide();
        QVERIFY(!view.refreshTimer()->isActive());
    }

    void copyTakesTheRowsOnScreen() {
        fixture::Rig rig;
        WalkieModel& m = rig.make();
        m.setChannels({fixture::channel("Copy")});
        SelfTestView view(m, Finish::all().first(), {});
        QVERIFY(shown(view));
        const QString before = shownText(view);
        m.setDirectPeers("10.1.2.3"); // not on screen until the next tick
        QTest::mouseClick(view.copyButton(), Qt::LeftButton);
        QCOMPARE(Clipboard::text(), std::optional<QString>(before));
        QCOMPARE(before, LinkDiagnostics::copiedText(view.lines()));
        QVERIFY(!before.contains("10.1.2.3"));
        // Names from users and the network are shown as written, never as markup.
        QCOMPARE(view.rows().first()->title(), "Channel: Copy");
        for (const QLabel* l : view.rows().first()->findChildren<QLabel*>())
            if (l->pixmap().isNull()) QCOMPARE(l->textFormat(), Qt::PlainText);
        view.refresh();
        QTest::mouseClick(view.copyButton(), Qt::LeftButton);
        QVERIFY(Clipboard::text()->contains("Typed IP addresses: 10.1.2.3."));
    }

    // Rows are reused by position and the scroll position stays across ticks.
    void ticksKeepRowsAndScrollPosition() {
        fixture::Rig rig;
        WalkieModel& m = rig.make();
        m.setChannels({fixture::channel("Scroll")});
        SelfTestView view(m, Finish::all().first(), {});
        QVERIFY(shown(view));
        QScrollBar* bar = view.scrollArea()->verticalScrollBar();
        QTRY_VERIFY(bar->maximum() > 40);
        bar->setValue(40);
        const QList<DiagRow*> rows = view.rows();
        const QUuid firstID = view.lines().first().id;
        for (int i = 0; i < 3; ++i) {
            view.refresh();
            QApplication::processEvents();
        }
        QVERIFY(view.lines().first().id != firstID);
        QCOMPARE(view.rows(), rows);
        QCOMPARE(bar->value(), 40);
    }

    // A real check goes out over the home-network link; the answers show within one refresh.
    void radioCheckAnswersShowWithinATick() {
        fixture::Rig rig;
        fixture::OtherUnit other;
        WalkieModel& m = rig.make(fixture::linkedOptions(rig, other));
        const Channel ch = fixture::channel("Check");
        m.setChannels({ch});
        SelfTestView view(m, Finish::all().first(), {});
        QVERIFY(shown(view));
        QTest::mouseClick(view.radioCheckButton(), Qt::LeftButton);
        QTRY_COMPARE(other.opened(ch, PacketKind::radioCheck).size(), 1);
        const quint64 check = other.opened(ch, PacketKind::radioCheck).first().txID;
        m.receiveSealed(fixture::sealed(ch, PacketKind::radioCheckReply, check, 1, 0xB0B, "Bob"));
        m.receiveSealed(fixture::sealed(ch, PacketKind::radioCheckReply, check, 1, 0xA11, "Ann"));
        QCOMPARE(rowWith(view, "Radio check answered by"), -1); // rows change only on a tick
        // One 1.5 s tick, with room for a loaded machine's late timer.
        QTRY_VERIFY_WITH_TIMEOUT(rowWith(view, "Radio check answered by Bob, Ann") >= 0, 2500);
    }

    // With TESSROOK_SHOTS set: the sheet with every level, in two finishes.
    void pictures() {
        fixture::Rig rig;
        fixture::OtherUnit other;
        WalkieModel& m = rig.make(fixture::linkedOptions(rig, other));
        const Channel ch = fixture::channel("Basecamp");
        m.setChannels({ch});
        m.receiveSealed(fixture::sealed(ch, PacketKind::hello, 1, 1, 0xC0, "Kestrel"));
        m.receiveSealed(
            fixture::sealed(fixture::channel("Other"), PacketKind::hello, 1, 1, 0xC1, "Stranger"));
        for (const Finish& f : views::twoFinishes()) {
            SelfTestView view(m, f, {});
            QVERIFY(shown(view));
            QSet<DiagLine::Level> levels;
            for (const auto* r : view.rows())
                levels << r->level();
            QCOMPARE(levels.size(), 4); // ok, warn, bad and info all show
            views::saveShot(view.grab().toImage(), "selftest-" + f.id);
            QScrollBar* bar = view.scrollArea()->verticalScrollBar();
            bar->setValue(bar->maximum());
            views::saveShot(view.grab().toImage(), "selftest-" + f.id + "-end");
        }
    }
};

VIEW_TEST_MAIN(SelfTestViewTest)
#include "tst_selftestview.moc"
