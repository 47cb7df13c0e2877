// The main window's root on a real model: the lock screen in place of the rack and its prompts, the
// notice banner, the welcome rule, the help and self-test requests, the sheet host's queue and its
// exceptions, a finish change, a packet time change repainting only its lines, and every module within
// reach in the smallest window.
#include "AppTest.h"
#include "ChannelBank.h"
#include "LockScreen.h"
#include "MacRoot.h"
#include "NoticeBanner.h"
#include "Notifications.h"
#include "QMZoom.h"
#include "QMZoomHost.h"
#include "RackButton.h"
#include "SOSModule.h"
#include "SOSPanel.h"
#include "SelfTestRequest.h"
#include "TRMiniPanel.h"
#include "TalkModule.h"
#include "TopRack.h"

#include <QComboBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>
#include <QShowEvent>
#include <QTest>
#include <QVBoxLayout>

namespace {

// Sheets of other units, recorded: which were made, with which start topic, and their done actions.
struct SheetLog {
    QStringList made;
    QList<HelpTopic> helpTopics;
    QHash<QString, MacRoot::Done> done;
    MacRoot::Done welcomeOpenHelp;

    QDialog* sheet(const QString& kind, QWidget* parent, MacRoot::Done d) {
        made.append(kind);
        done.insert(kind, std::move(d));
        auto* dialog = new QDialog(parent);
        dialog->setObjectName(kind);
        return dialog;
    }
    MacRoot::Sheets sheets(bool withSettings = true) {
        MacRoot::Sheets s;
        if (withSettings)
            s.settings = [this](QWidget* p, MacRoot::Done d) { return sheet("settings", p, std::move(d)); };
        s.selfTest = [this](QWidget* p, MacRoot::Done d) { return sheet("selfTest", p, std::move(d)); };
        s.help = [this](QWidget* p, HelpTopic t, MacRoot::Done d) {
            helpTopics.append(t);
            return sheet("help", p, std::move(d));
        };
        s.welcome = [this](QWidget* p, MacRoot::Done openHelp, MacRoot::Done d) {
            welcomeOpenHelp = std::move(openHelp);
            return sheet("welcome", p, std::move(d));
        };
        return s;
    }
};

// Stands in for the main window: its non-spontaneous shows are the root's appearances.
class Host : public QWidget {
public:
    Host(WalkieModel& model, MacRoot::Sheets sheets) {
        setObjectName(QStringLiteral("main"));
        auto* l = new QVBoxLayout(this);
        l->setContentsMargins(0, 0, 0, 0);
        root = new MacRoot(model, std::move(sheets));
        l->addWidget(root);
    }
    MacRoot* root;

protected:
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (!event->spontaneous()) root->appeared();
    }
};

QString kind(const MacRoot& root) {
    return root.openSheet() ? root.openSheet()->objectName() : QString();
}

void minimiseAndRestore(QWidget& w) {
    w.setWindowState(Qt::WindowMinimized);
    QCoreApplication::processEvents();
    w.setWindowState(Qt::WindowNoState);
    QCoreApplication::processEvents();
}

void hideAndShow(QWidget& w) {
    w.hide();
    w.show();
    QCoreApplication::processEvents();
}

} // namespace

class MacRootTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

    WalkieModel& make(bool locked = false, bool welcomed = true) {
        rig.model.reset();
        fixture::resetSettings();
        Defaults::shared().setValue(MacRoot::welcomedKey(), welcomed);
        Defaults::shared().setValue(MacRoot::finishKey(), Finish::all().first().id);
        if (locked) Defaults::shared().setValue(QStringLiteral("requireUnlock"), true);
        rig.auth->answer = Authenticator::Result::failed;
        rig.auth->reasons.clear();
        rig.auth->answered = std::make_shared<int>(0);
        return rig.make();
    }

private slots:
    void lockedRootAsksOncePerShowing() {
        auto& m = make(true);
        QVERIFY(m.locked());
        Host h(m, {});
        QVERIFY(!h.root->rackBuilt());
        QVERIFY(h.root->lockScreen());
        QVERIFY(!h.root->findChild<TopRack*>());
        QVERIFY(rig.auth->reasons.isEmpty()); // built, not yet shown
        QPointer<QWidget> music = new QWidget;
        music->setFixedSize(200, 24);
        h.root->setMusicModule(music); // kept until the rack exists

        h.show();
        QCOMPARE(rig.auth->reasons, QStringList{"Unlock your private channels"});
        QTRY_COMPARE(*rig.auth->answered, 1); // the refusal comes back
        QVERIFY(m.locked());
        // Un-minimising is no new showing.
        minimiseAndRestore(h);
        QCOMPARE(rig.auth->reasons.size(), 1);
        hideAndShow(h);
        QCOMPARE(rig.auth->reasons.size(), 2);
        QTRY_COMPARE(*rig.auth->answered, 2);

        // A notice shows over the lock screen.
        m.triggerSOS(false);
        QVERIFY(!m.notice().isEmpty());
        QTRY_VERIFY(h.root->banner()->isVisible());
        h.resize(1180, 820);
        QTRY_COMPARE(h.root->banner()->opacity(), 1.0);
        apptest::shoot(&h, "root-locked-notice");

        // Cancelled: still locked, "Unlock" asks again.
        QTest::mouseClick(h.root->lockScreen()->unlockButton(), Qt::LeftButton);
        QCOMPARE(rig.auth->reasons.size(), 3);
        QTRY_COMPARE(*rig.auth->answered, 3);
        QVERIFY(m.locked());
        QVERIFY(!h.root->rackBuilt());

        // No way to authenticate on this machine: the lock goes at once and the rack is built.
        rig.auth->answer = Authenticator::Result::cannotEvaluate;
        QTest::mouseClick(h.root->lockScreen()->unlockButton(), Qt::LeftButton);
        QTRY_VERIFY(!m.locked());
        QVERIFY(h.root->rackBuilt());
        QTRY_VERIFY(!h.root->findChild<LockScreen*>());
        QVERIFY(h.root->topRack()->isVisible());
        QVERIFY(h.root->banner()->isVisible());
        // The music module sits at the right end of the transmission log's title row.
        QVERIFY(music && h.root->logPanel()->isAncestorOf(music));
        QVERIFY(music->isVisible());
        const QRect slot(music->mapTo(h.root->logPanel(), QPoint(0, 0)), music->size());
        QCOMPARE(slot.right(), h.root->logPanel()->contentsRect().right());
        QVERIFY(slot.top() < h.root->logPanel()->height() / 3);
    }

    void nothingIsPresentedOverTheLock() {
        auto& m = make(true, false);
        SheetLog log;
        Host h(m, log.sheets());
        h.show(); // no channels, not welcomed: the guide is wanted
        openHelp(HelpTopic::sos);
        openSelfTest();
        const Channel a = fixture::channel("A");
        m.setChannels({a});
        m.receiveSealed(fixture::sealed(a, PacketKind::sos, 400, 1, 0xA, apptest::sosRecord("Ann")));
        QVERIFY(m.showSOSPanel());
        QTest::qWait(20); // no sheet may be made in this time
        QVERIFY(log.made.isEmpty());
        QVERIFY(!h.root->openSheet());
        QVERIFY(!h.root->sosSheet());
        QVERIFY(h.root->waiting(MacRoot::Sheet::welcome));

        rig.auth->answer = Authenticator::Result::success;
        QTest::mouseClick(h.root->lockScreen()->unlockButton(), Qt::LeftButton);
        QTRY_VERIFY(!m.locked());
        // After the unlock: the alert's panel at once, over the first waiting sheet.
        QVERIFY(h.root->sosSheet());
        QCOMPARE(kind(*h.root), QStringLiteral("help"));
        QCOMPARE(log.helpTopics, QList<HelpTopic>{HelpTopic::sos});
        QCOMPARE(h.root->sosSheet()->parentWidget(), h.root->openSheet());
        QVERIFY(h.root->waiting(MacRoot::Sheet::welcome));
        QVERIFY(h.root->waiting(MacRoot::Sheet::selfTest));
    }

    void bannerOnlyWithANoticeAndAlwaysInView() {
        auto& m = make();
        auto* root = new MacRoot(m);
        QMZoomHost host(root, QSizeF(1100, 760));
        host.resize(900, 620);
        host.show();
        root->appeared();
        QVERIFY(!root->banner()->isVisible());

        m.triggerSOS(false); // no channel: the model answers with a notice
        const QString notice = m.notice();
        QVERIFY(!notice.isEmpty());
        QTRY_VERIFY(root->banner()->isVisible());
        QCOMPARE(root->banner()->notice(), notice);
        QTRY_COMPARE(root->banner()->opacity(), 1.0);
        auto inView = [&] {
            const QRect seen = root->visibleArea();
            const QRect b = root->banner()->geometry();
            return seen.contains(b) && qAbs(b.bottom() + NoticeBanner::bottomGap - seen.bottom()) <= 1 &&
                   qAbs(b.center().x() - seen.center().x()) <= 1;
        };
        QVERIFY(inView());
        QCOMPARE(root->visibleArea().topLeft(), QPoint(0, 0));
        // Scrolled to the far corner: the banner follows the visible area.
        QScrollBar* v = host.verticalScrollBar();
        QScrollBar* hz = host.horizontalScrollBar();
        QVERIFY(v->maximum() > 0);
        v->setValue(v->maximum());
        hz->setValue(hz->maximum());
        QVERIFY(root->visibleArea().top() > 0);
        QVERIFY(inView());
        apptest::shoot(&host, "root-notice-scrolled");
        // The notice expires: the banner fades away.
        rig.clock->advance(7);
        m.reap();
        QVERIFY(m.notice().isEmpty());
        QTRY_VERIFY(!root->banner()->isVisible());
    }

    void welcomeRuleOncePerAppearance() {
        auto& m = make(false, false);
        SheetLog log;
        {
            Host h(m, log.sheets());
            h.show();
            QCOMPARE(kind(*h.root), QStringLiteral("welcome"));
            // Closed without finishing (Escape): not welcomed; un-minimising does not bring it back...
            h.root->openSheet()->reject();
            QVERIFY(!h.root->openSheet());
            minimiseAndRestore(h);
            QVERIFY(!h.root->openSheet());
            // ...the next appearance does.
            hideAndShow(h);
            QCOMPARE(kind(*h.root), QStringLiteral("welcome"));
            log.done["welcome"]();
            QTRY_VERIFY(!h.root->openSheet());
            QVERIFY(Defaults::shared().boolValue(MacRoot::welcomedKey(), false));
            hideAndShow(h);
            QVERIFY(!h.root->openSheet());
        }
        QCOMPARE(log.made, (QStringList{"welcome", "welcome"}));

        // A channel: no guide even when not welcomed.
        Defaults::shared().setValue(MacRoot::welcomedKey(), false);
        m.setChannels({fixture::channel("A")});
        {
            Host h(m, log.sheets());
            h.show();
            QVERIFY(!h.root->openSheet());
        }

        // "Open the full manual": the guide goes at once, the manual comes 0.4 s later at the start.
        m.setChannels({});
        Host h(m, log.sheets());
        h.show();
        QCOMPARE(kind(*h.root), QStringLiteral("welcome"));
        QElapsedTimer clock;
        clock.start();
        log.welcomeOpenHelp();
        QVERIFY(!h.root->openSheet());
        QVERIFY(Defaults::shared().boolValue(MacRoot::welcomedKey(), false));
        QTRY_COMPARE(kind(*h.root), QStringLiteral("help"));
        QVERIFY(clock.elapsed() >= 380);
        QCOMPARE(log.helpTopics.last(), HelpTopic::quickStart);
    }

    void helpRequestsAndTheSelfTest() {
        auto& m = make();
        SheetLog log;
        Host h(m, log.sheets());
        h.show();
        openHelp(HelpTopic::miniMode);
        QCOMPARE(kind(*h.root), QStringLiteral("help"));
        QCOMPARE(h.root->helpShownAt(), HelpTopic::miniMode);
        QPointer<QDialog> first = h.root->openSheet();
        QVERIFY(first->isVisible());
        QCOMPARE(first->windowModality(), Qt::WindowModal);
        QCOMPARE(first->parentWidget(), &h);

        // A request while the manual is open re-opens it at the new topic; a word in the wrong case or
        // no word at all opens the quick start.
        Notifications::shared().post(Help::openHelpName(), QStringLiteral("MiniMode"));
        QCOMPARE(h.root->helpShownAt(), HelpTopic::quickStart);
        QTRY_VERIFY(first.isNull());
        QPointer<QDialog> second = h.root->openSheet();
        Notifications::shared().post(Help::openHelpName());
        QCOMPARE(h.root->openSheet(), second.data()); // the same topic: left as it is
        QCOMPARE(log.helpTopics, (QList<HelpTopic>{HelpTopic::miniMode, HelpTopic::quickStart}));
        log.done["help"]();
        QVERIFY(!h.root->openSheet());

        // The self-test request closes Setup first.
        QTest::mouseClick(h.root->topRack()->button("Setup"), Qt::LeftButton);
        QCOMPARE(kind(*h.root), QStringLiteral("settings"));
        QPointer<QDialog> setup = h.root->openSheet();
        openSelfTest();
        QCOMPARE(kind(*h.root), QStringLiteral("selfTest"));
        QTRY_VERIFY(setup.isNull());
        QVERIFY(!h.root->waiting(MacRoot::Sheet::settings));
        // The top rack's Help key waits behind it, at the quick start.
        QTest::mouseClick(h.root->topRack()->button("Help"), Qt::LeftButton);
        QVERIFY(h.root->waiting(MacRoot::Sheet::help));
        log.done["selfTest"]();
        QCOMPARE(kind(*h.root), QStringLiteral("help"));
        QCOMPARE(log.helpTopics.last(), HelpTopic::quickStart);
    }

    void sheetQueueAndTheSOSPanel() {
        auto& m = make();
        SheetLog log;
        Host h(m, log.sheets());
        h.show();
        QAction shortcut(QStringLiteral("Mini Mode"));
        h.root->setSheetActions({&shortcut});

        h.root->openSettings();
        QPointer<QDialog> setup = h.root->openSheet();
        QVERIFY(setup->actions().contains(&shortcut)); // menu shortcuts work over a sheet
        h.root->openHelpAt(HelpTopic::sos);
        QCOMPARE(h.root->openSheet(), setup.data());
        QVERIFY(h.root->waiting(MacRoot::Sheet::help));

        // An alert does not wait: its panel comes up over Setup at once, and only once.
        m.setShowSOSPanel(true);
        QPointer<QDialog> panel = h.root->sosSheet();
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->parentWidget(), setup.data());
        QVERIFY(panel->actions().contains(&shortcut));
        m.setShowSOSPanel(false);
        QVERIFY(!h.root->sosSheet());
        QTRY_VERIFY(panel.isNull());
        m.setShowSOSPanel(true);
        panel = h.root->sosSheet();
        m.setShowSOSPanel(true);
        QCOMPARE(h.root->sosSheet(), panel.data());
        QCOMPARE(h.root->findChildren<QDialog*>().size() + h.findChildren<QDialog*>().size(),
                 2); // Setup and one panel

        // Setup closes under the panel: the panel stays, over the window; the rest wait for it.
        openSelfTest();
        QTRY_VERIFY(setup.isNull());
        QVERIFY(panel);
        QVERIFY(panel->isVisible());
        QCOMPARE(panel->parentWidget(), &h);
        QVERIFY(!h.root->openSheet());
        QVERIFY(h.root->waiting(MacRoot::Sheet::help));
        QVERIFY(h.root->waiting(MacRoot::Sheet::selfTest));

        // The panel's own close ends the alert flag; the waiting requests follow in order.
        panel->reject();
        QVERIFY(!m.showSOSPanel());
        QCOMPARE(kind(*h.root), QStringLiteral("help"));
        log.done["help"]();
        QCOMPARE(kind(*h.root), QStringLiteral("selfTest"));
        log.done["selfTest"]();
        QVERIFY(!h.root->openSheet());

        // A sheet that deletes itself ends its request; an alert's panel over it comes back.
        h.root->openSettings();
        m.setShowSOSPanel(true);
        QPointer<QDialog> over = h.root->sosSheet();
        delete h.root->openSheet();
        QVERIFY(over.isNull());
        QVERIFY(!h.root->waiting(MacRoot::Sheet::settings));
        QTRY_VERIFY(h.root->sosSheet());
        QCOMPARE(h.root->sosSheet()->parentWidget(), &h);
        h.root->sosSheet()->reject();

        // The bank's keys open the channel sheets, one at a time.
        m.setChannels({fixture::channel("A")});
        QTest::mouseClick(h.root->channelBank()->button("New / Join"), Qt::LeftButton);
        QTest::mouseClick(h.root->channelBank()->button("Invite link"), Qt::LeftButton);
        QCOMPARE(h.root->openSheetKind(), MacRoot::Sheet::join);
        QVERIFY(h.root->waiting(MacRoot::Sheet::invite));
        h.root->openSheet()->reject();
        QCOMPARE(h.root->openSheetKind(), MacRoot::Sheet::invite);
    }

    void missingSheetsAndAReopenedWindow() {
        auto& m = make();
        SheetLog log;
        {
            Host h(m, log.sheets(false));
            h.show();
            h.root->openSettings(); // no such sheet in this program: nothing, nothing waiting
            QVERIFY(!h.root->openSheet());
            QVERIFY(!h.root->waiting(MacRoot::Sheet::settings));
        }
        QPointer<QDialog> left;
        {
            Host h(m, log.sheets());
            h.show();
            h.root->openSettings();
            h.root->openHelpAt(HelpTopic::look);
            left = h.root->openSheet();
            QVERIFY(left);
        }
        // The window is gone: its sheets with it, and requests reach nobody.
        QVERIFY(left.isNull());
        openHelp(HelpTopic::sos);
        QCOMPARE(log.made, QStringList{"settings"});
        // A new window starts with every sheet closed.
        Host again(m, log.sheets());
        again.show();
        QVERIFY(!again.root->openSheet());
        for (auto s :
             {MacRoot::Sheet::join, MacRoot::Sheet::invite, MacRoot::Sheet::edit, MacRoot::Sheet::settings,
              MacRoot::Sheet::help, MacRoot::Sheet::welcome, MacRoot::Sheet::sos, MacRoot::Sheet::selfTest})
            QVERIFY(!again.root->waiting(s));
    }

    void finishChangeReskinsInPlace() {
        auto& m = make();
        m.setChannels({fixture::channel("A"), fixture::channel("B")});
        Host h(m, {});
        h.resize(1180, 960);
        h.show();
        const QList<QWidget*> before{h.root->topRack(), h.root->channelBank(), h.root->talkModule(),
                                     h.root->sosModule(), h.root->channelBank()->rows().first()};
        apptest::shoot(&h, "root-" + Finish::all().first().id);
        const Finish rose = Finish::named("rose-gold");
        h.root->topRack()->picker()->setCurrentIndex(h.root->topRack()->picker()->findData(rose.id));
        QCOMPARE(Defaults::shared().stringValue(MacRoot::finishKey()), rose.id);
        QCOMPARE(h.root->finish().id, rose.id);
        const QList<QWidget*> after{h.root->topRack(), h.root->channelBank(), h.root->talkModule(),
                                    h.root->sosModule(), h.root->channelBank()->rows().first()};
        QCOMPARE(after, before);
        QCOMPARE(h.root->topRack()->finish().id, rose.id);
        QCOMPARE(h.root->channelBank()->finish().id, rose.id);
        QCOMPARE(h.root->talkModule()->finish().id, rose.id);
        QCOMPARE(h.root->sosModule()->finish().id, rose.id);
        QCOMPARE(h.root->logPanel()->finish().id, rose.id);
        apptest::shoot(&h, "root-" + rose.id);
        // Written elsewhere (the Theme menu), an old id: the picker shows its replacement, and an open
        // sheet that takes the finish follows too.
        m.setShowSOSPanel(true);
        auto* panel = qobject_cast<SOSPanel*>(h.root->sosSheet());
        QVERIFY(panel);
        QCOMPARE(panel->finish().id, rose.id);
        Defaults::shared().setValue(MacRoot::finishKey(), QStringLiteral("crimson"));
        QCOMPARE(h.root->topRack()->picker()->currentData().toString(), QStringLiteral("anodized-red"));
        QCOMPARE(h.root->sosModule()->finish().id, QStringLiteral("anodized-red"));
        QCOMPARE(panel->finish().id, QStringLiteral("anodized-red"));
        panel->reject();
    }

    void miniKeyShowsThePanelThenClosesTheWindow() {
        auto& m = make();
        WalkieModel::setShared(&m);
        Host h(m, {});
        h.show();
        QVERIFY(!TRMiniPanel::shared().shown());
        QTest::mouseClick(h.root->topRack()->button("Mini"), Qt::LeftButton);
        QVERIFY(TRMiniPanel::shared().shown());
        QVERIFY(TRMiniPanel::shared().panel()->isVisible());
        QVERIFY(!h.isVisible()); // the radio keeps running without its window
        TRMiniPanel::shared().hide();
        WalkieModel::setShared(nullptr);
    }

    // While receiving, the packet time moves once a second: only the bank's detail lines and what lies
    // behind them are painted again, not the other modules of the rack (at 100 % and at a zoom that
    // scales, where the scaled change also touches the line above). The first packet of a freshly shown
    // window, which replaces "none yet", is held to the same bound as the ones after it.
    void aPacketTimeChangeRepaintsOnlyItsLines() {
        struct Painted : QObject {
            QList<QWidget*> widgets;
            bool eventFilter(QObject* o, QEvent* e) override {
                if (e->type() == QEvent::Paint && o->isWidgetType()) widgets.append(static_cast<QWidget*>(o));
                return false;
            }
        } painted;
        for (double zoom : {1.0, 0.85}) {
            auto& m = make();
            m.setChannels({fixture::channel("A")});
            const Channel a = m.channels().first();
            Defaults::shared().setValue(QMZoom::key, zoom); // as stored from an earlier run
            auto* root = new MacRoot(m);
            QMZoomHost host(root, QSizeF(1100, 760));
            host.resize(1180, 900);
            host.show();
            QVERIFY(QTest::qWaitForWindowExposed(&host));
            QLabel* line = root->channelBank()->packetLine();
            QVERIFY(line->text().contains(QStringLiteral("none yet")));
            quint32 seq = 1;
            qApp->installEventFilter(&painted);
            for (const char* change : {"first", "later"}) {
                for (int i = 0; i < 50 && (i == 0 || !painted.widgets.isEmpty()); ++i) { // drawn and quiet
                    painted.widgets.clear();
                    QTest::qWait(100); // a quiet spell: nothing painted in it
                }
                const QString before = line->text();
                // An answer to no radio check of ours: it opens, so the time moves, and changes nothing else.
                rig.clock->advance(1.0);
                m.receiveSealed(fixture::sealed(a, PacketKind::radioCheckReply, 7, seq++, 0xB0B, "Other"));
                QTRY_VERIFY(painted.widgets.contains(line));
                QTest::qWait(50); // any other painting of the change comes in this time
                QVERIFY(line->text() != before);
                for (QWidget* w : std::as_const(painted.widgets))
                    QVERIFY2(w == host.viewport() || w->isAncestorOf(line) ||
                                 line->parentWidget()->isAncestorOf(w),
                             qPrintable(QStringLiteral("%1 painted on the %2 change at %3")
                                            .arg(w->metaObject()->className(), change)
                                            .arg(zoom)));
            }
            qApp->removeEventFilter(&painted);
        }
        Defaults::shared().remove(QMZoom::key);
    }

    void everyModuleWithinReachInTheSmallestWindow() {
        auto& m = make();
        m.setChannels({fixture::channel("A")});
        auto* root = new MacRoot(m);
        QMZoomHost host(root, QSizeF(1100, 760));
        host.resize(900, 620);
        host.show();
        QCoreApplication::processEvents();
        // Laid out no smaller than the rack needs: no module squeezed or overlapping another.
        QVERIFY(root->width() >= 1100 && root->height() >= 760);
        QVERIFY(root->width() >= root->minimumSizeHint().width());
        QVERIFY(root->height() >= root->minimumSizeHint().height());
        const QList<QWidget*> modules{root->topRack(), root->channelBank(), root->talkModule(),
                                      root->sosModule(), root->logPanel()};
        for (int i = 0; i < modules.size(); ++i) {
            const QRect g(modules[i]->mapTo(root, QPoint(0, 0)), modules[i]->size());
            QVERIFY2(root->rect().contains(g), qPrintable(modules[i]->objectName()));
            QVERIFY(modules[i]->height() >= modules[i]->minimumSizeHint().height());
            for (int j = i + 1; j < modules.size(); ++j)
                QVERIFY(!g.intersects(QRect(modules[j]->mapTo(root, QPoint(0, 0)), modules[j]->size())));
        }
        // Both far corners can be scrolled to.
        QCOMPARE(root->visibleArea().topLeft(), QPoint(0, 0));
        host.verticalScrollBar()->setValue(host.verticalScrollBar()->maximum());
        host.horizontalScrollBar()->setValue(host.horizontalScrollBar()->maximum());
        const QRect end = root->visibleArea();
        QVERIFY2(qAbs(end.right() - root->rect().right()) <= 1 &&
                     qAbs(end.bottom() - root->rect().bottom()) <= 1,
                 qPrintable(QStringLiteral("%1,%2 of %3x%4")
                                .arg(end.right())
                                .arg(end.bottom())
                                .arg(root->width())
                                .arg(root->height())));
    }
};

APP_TEST_MAIN(MacRootTest)
#include "tst_macroot.moc"
