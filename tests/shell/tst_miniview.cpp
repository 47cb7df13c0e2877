// The mini panel's view: its text rules as tables, the same rules through a real model, the enabled
// controls, and sending a quick message.
#include "MiniRig.h"
#include "PTTButton.h"
#include "ShellTest.h"
#include "TRMiniPanel.h"
#include "TRMiniView.h"
#include "TRMute.h"

#include <QAbstractButton>
#include <QApplication>
#include <QHelpEvent>
#include <QLabel>
#include <QLineEdit>
#include <QToolTip>

namespace {

using Snap = TRMiniView::Snapshot;

Snap snap(TalkState talk, std::optional<int> online = std::nullopt, int lan = 0, int nearby = 0,
          bool relay = false, bool locked = false) {
    Snap s;
    s.hasChannel = true;
    s.channelName = QStringLiteral("Harbour");
    s.talk = talk;
    s.online = online;
    s.lanUnits = lan;
    s.nearbyPeers = nearby;
    s.relayUp = relay;
    s.locked = locked;
    return s;
}

} // namespace

class MiniViewTest : public QObject {
    Q_OBJECT

private slots:
    void init() { TRMute::shared().setOn(false); }
    void cleanup() { WalkieModel::setShared(nullptr); }

    void textRules() {
        const TalkState rx = TalkState::receiving(QStringLiteral("Ann on Harbour"));
        struct Row {
            const char* name;
            Snap s;
            bool muted;
            const char* talk;
            const char* online;
            const char* status;
        } rows[] = {
            {"locked while receiving", snap(rx, 2, 0, 0, false, true), false,
             "Locked: open the full window to unlock", "2 ONLINE", "Receiving: Ann on Harbour"},
            {"transmitting", snap(TalkState::transmitting(), 3), false, "You are on air", "3 ONLINE",
             "On air: Harbour"},
            {"busy", snap(TalkState::busy(), std::nullopt, 0, 0, true), false, "Channel busy", "CONNECTED",
             "Harbour · connected"},
            {"a count beats the links", snap(TalkState::idle(), 12, 1, 1, true), false, "Listening",
             "12 ONLINE", "Harbour · 12 online"},
        };
        for (const Row& r : rows) {
            QCOMPARE(TRMiniView::talkText(r.s, r.muted), QString::fromUtf8(r.talk));
            QCOMPARE(TRMiniView::onlineText(r.s), QString::fromUtf8(r.online));
            QCOMPARE(TRMiniView::statusLine(r.s), QString::fromUtf8(r.status));
        }
    }

    void rulesThroughARealModel() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::noChannel);
        TRMiniView view(&m, nullptr, &TRMute::shared());
        QCOMPARE(view.channelLine(), QStringLiteral("NO CHANNEL"));
        QCOMPARE(view.onlineLine(), QStringLiteral("CREATE A CHANNEL IN THE FULL WINDOW"));
        QCOMPARE(TRMiniView::statusLine(m), QStringLiteral("No channel yet"));
        QVERIFY(!view.talkButton()->isEnabled());
        QVERIFY(!view.messageField()->isEnabled());
        QCOMPARE(view.lastMessageLine(), QStringLiteral("No messages yet"));
        QVERIFY(!view.lastMessageOutgoing());

        const Channel ch = fixture::channel(QStringLiteral("Harbour"));
        m.setChannels({ch});
        m.setSelectedID(ch.channelID());
        QCOMPARE(view.channelLine(), QStringLiteral("HARBOUR"));
        QCOMPARE(view.onlineLine(), QStringLiteral("WAITING FOR OTHERS"));
        QVERIFY(view.talkButton()->isEnabled());
        QVERIFY(view.messageField()->isEnabled());

        // The relay counts one client on the channel, then none while it stays connected.
        TransportStatus relay;
        relay.up = true;
        relay.peerCounts.insert(ch.channelID(), 1);
        m.receiveStatus(QStringLiteral("relay"), relay);
        QCOMPARE(view.onlineLine(), QStringLiteral("1 ONLINE"));
        QCOMPARE(TRMiniView::statusLine(m), QStringLiteral("Harbour · 1 online"));
        relay.peerCounts.clear();
        m.receiveStatus(QStringLiteral("relay"), relay);
        QCOMPARE(view.onlineLine(), QStringLiteral("CONNECTED"));
        QCOMPARE(TRMiniView::statusLine(m), QStringLiteral("Harbour · connected"));

        // Someone talks, and the switch mutes them.
        m.receiveSealed(fixture::sealed(ch, PacketKind::start, 5, 1, minirig::otherUnit(), "Ann"));
        QCOMPARE(view.talkLine(), QStringLiteral("Ann on Harbour"));
        QVERIFY(view.talkLampOn());
        QVERIFY(!view.mutedShown());
        TRMute::shared().setOn(true);
        QCOMPARE(view.talkLine(), QStringLiteral("Ann on Harbour (muted)"));
        QVERIFY(view.mutedShown());
        QVERIFY(m.muteSpeaker());
        m.receiveSealed(fixture::sealed(ch, PacketKind::end, 5, 2, minirig::otherUnit()));
        QCOMPARE(view.talkLine(), QStringLiteral("Incoming muted"));
        QVERIFY(!view.talkLampOn());
        TRMute::shared().setOn(false);
        QCOMPARE(view.talkLine(), QStringLiteral("Listening"));
        QVERIFY(!view.mutedShown());
    }

    void lockedModelKeepsTheScreenButDisablesTalking() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::locked);
        QVERIFY(m.locked());
        TRMiniView view(&m, nullptr, &TRMute::shared());
        QCOMPARE(view.channelLine(), QStringLiteral("HARBOUR"));
        QCOMPARE(view.talkLine(), QStringLiteral("Locked: open the full window to unlock"));
        QVERIFY(!view.talkButton()->isEnabled());
        QVERIFY(!view.messageField()->isEnabled());
        view.setDraft(QStringLiteral("hello"));
        QVERIFY(!view.sendKey()->isEnabled());
        view.sendDraft();
        QVERIFY(m.messages().isEmpty());
        QCOMPARE(view.draft(), QStringLiteral("hello"));

        // At the panel's width the line is cut before "unlock": the whole line is its tooltip, and a
        // line that fits has none.
        view.resize(TRMiniPanel::size());
        view.show();
        QVERIFY(QTest::qWaitForWindowExposed(&view));
        const auto tipOf = [](QLabel* label) {
            QHelpEvent help(QEvent::ToolTip, QPoint(2, 2), label->mapToGlobal(QPoint(2, 2)));
            QApplication::sendEvent(label, &help);
            return QToolTip::isVisible() ? QToolTip::text() : QString();
        };
        QLabel *talk = nullptr, *whole = nullptr;
        for (QLabel* l : view.findChildren<QLabel*>()) {
            if (l->text() == view.talkLine())
                talk = l;
            else if (!l->text().isEmpty() && l->fontMetrics().horizontalAdvance(l->text()) < l->width())
                whole = l;
        }
        QVERIFY(talk && whole);
        QCOMPARE(tipOf(whole), QString());
        QCOMPARE(tipOf(talk), view.talkLine());
    }

    void sendDraftTrimsAndKeepsBlankText() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniView view(&m, nullptr, &TRMute::shared());
        struct {
            const char* draft;
            bool keyEnabled;
        } keys[] = {{"", false}, {"  \t ", false}, {" x ", true}, {"\n", true}};
        for (const auto& k : keys) {
            view.setDraft(QString::fromUtf8(k.draft));
            QVERIFY2(view.sendKey()->isEnabled() == k.keyEnabled, k.draft);
        }
        // A line break alone enables the key, yet sends nothing and stays in the field.
        view.sendKey()->click();
        QVERIFY(m.messages().isEmpty());
        QCOMPARE(view.draft(), QStringLiteral("\n"));

        view.setDraft(QStringLiteral("  hi\n"));
        view.sendKey()->click();
        QCOMPARE(m.messages().size(), 1);
        QCOMPARE(m.messages().first().text, QStringLiteral("hi"));
        QVERIFY(m.messages().first().outgoing);
        QCOMPARE(view.draft(), QString());
        QCOMPARE(view.lastMessageLine(), QStringLiteral("You: hi"));
        QVERIFY(view.lastMessageOutgoing());
    }

    void noChannelSendsNothing() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::noChannel);
        TRMiniView view(&m, nullptr, &TRMute::shared());
        view.setDraft(QStringLiteral("anyone?"));
        view.sendDraft();
        QCOMPARE(view.draft(), QStringLiteral("anyone?"));
        QVERIFY(m.messages().isEmpty());
    }

    void returnSendsEmptiesTheFieldAndDropsItsFocus() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniView view(&m, nullptr, &TRMute::shared());
        view.show();
        QApplication::setActiveWindow(&view);
        QVERIFY(QTest::qWaitForWindowActive(&view));
        QVERIFY(!view.typing()); // no field starts focused
        view.messageField()->setFocus();
        QTRY_VERIFY(view.typing());
        QCOMPARE(view.footerLine(), QStringLiteral("RETURN SENDS THE MESSAGE"));
        QTest::keyClicks(view.messageField(), QStringLiteral("over and out"));
        QTest::keyClick(view.messageField(), Qt::Key_Return);
        QCOMPARE(m.messages().first().text, QStringLiteral("over and out"));
        QCOMPARE(view.draft(), QString());
        QVERIFY(!view.typing());
        QCOMPARE(view.footerLine(), QStringLiteral("HOLD THE BUTTON OR SPACE BAR TO TALK"));
        QVERIFY(view.hasFocus() || !QApplication::focusWidget() || QApplication::focusWidget() == &view);
    }

    void talkButtonDrivesTheModel() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniView view(&m, nullptr, &TRMute::shared());
        view.show();
        PTTButton* b = view.talkButton();
        QTest::mousePress(b, Qt::LeftButton, {}, b->rect().center());
        QVERIFY(m.talk().isTransmitting());
        QCOMPARE(view.talkLine(), QStringLiteral("You are on air"));
        QCOMPARE(b->state(), PTTButton::State::transmitting);
        QTest::mouseRelease(b, Qt::LeftButton, {}, b->rect().center());
        QVERIFY(m.talk().isIdle());
        QCOMPARE(b->state(), PTTButton::State::idle);
    }

    void finishFollowsTheSetting() {
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        Defaults::shared().remove(QStringLiteral("finish"));
        TRMiniView view(&m, nullptr, &TRMute::shared());
        QCOMPARE(view.finish().id, Finish::all().first().id);
        const Finish other = Finish::all().at(3);
        Defaults::shared().setValue(QStringLiteral("finish"), other.id);
        QCOMPARE(view.finish().id, other.id);
        QCOMPARE(view.talkButton()->finish().id, other.id);
    }

    // Every finish in every state; pictures with TESSROOK_SHOTS set.
    void pictures() {
        const QString shots = shelltest::shotsFolder();
        for (const Finish& f : Finish::all()) {
            Defaults::shared().setValue(QStringLiteral("finish"), f.id);
            for (int i = 0; i < minirig::stateNames().size(); ++i) {
                fixture::Rig rig;
                WalkieModel& m = minirig::make(rig, minirig::State(i));
                TRMiniView view(&m, nullptr, &TRMute::shared());
                const QImage img = view.grab().toImage();
                QCOMPARE(img.size(), QSize(300, 492));
                // The corners are cut away, the middle is painted.
                QCOMPARE(qAlpha(img.pixel(1, 1)), 0);
                QCOMPARE(qAlpha(img.pixel(150, 246)), 255);
                if (!shots.isEmpty())
                    img.save(QStringLiteral("%1/mini-%2-%3.png").arg(shots, f.id, minirig::stateNames()[i]));
            }
        }
        TRMute::shared().setOn(false);
        Defaults::shared().remove(QStringLiteral("finish"));
        // A long message wraps to two lines and is cut after the second, in a box that keeps its height.
        fixture::Rig rig;
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        m.sendText(
            QStringLiteral("The ferry leaves at seven, meet us at the north pier with the blue crates, "
                           "the spare radio and the long rope from the shed <b>not bold</b>"),
            *m.selected());
        TRMiniView view(&m, nullptr, &TRMute::shared());
        QVERIFY(view.lastMessageOutgoing());
        const QImage img = view.grab().toImage();
        if (!shots.isEmpty()) img.save(shots + "/mini-long-message.png");
    }
};

SHELL_TEST_MAIN(MiniViewTest)
#include "tst_miniview.moc"
