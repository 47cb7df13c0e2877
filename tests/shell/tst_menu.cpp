// The tray menu: a status line that follows the model, the mini panel and the mute switch
// as they change, and what its items do.
#include "UrlCatcher.h"
#include "HelpTopic.h"
#include "MiniRig.h"
#include "QMCredit.h"
#include "ShellTest.h"
#include "TRBackgroundSettings.h"
#include "TRLoginItem.h"
#include "TRMenuBarMenu.h"
#include "TRMiniPanel.h"
#include "TRMute.h"
#include "TRWindows.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QPushButton>

class MenuTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;


private slots:
    void cleanup() {
        TRMute::shared().setOn(false);
        WalkieModel::setShared(nullptr);
        TRWindows::keep({});
        rig.model.reset();
        qDeleteAll(QApplication::topLevelWidgets());
    }

    void theStatusLineFollowsTheModel() {
        WalkieModel& m = minirig::make(rig, minirig::State::noChannel);
        TRMiniPanel mini;
        TRMenuBarMenu menu(&m, &mini, &TRMute::shared());
        QVERIFY(!menu.statusAction()->isEnabled());

        // Followed as it changes, without the menu being opened.
        const Channel ch = fixture::channel(QStringLiteral("R&B\tnight"));
        m.setChannels({ch});
        m.setSelectedID(ch.channelID());
        QCOMPARE(menu.statusAction()->text(), QStringLiteral("R&&B night · waiting for others"));
        m.receiveSealed(fixture::sealed(ch, PacketKind::start, 9, 1, minirig::otherUnit(), "Ann"));
        QCOMPARE(menu.statusAction()->text(), QStringLiteral("Receiving: Ann on R&&B night"));
    }

    void miniAndMuteTitlesFollowEveryPlace() {
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        TRMenuBarMenu menu(&m, &mini, &TRMute::shared());
        TRLoginItem login(std::make_shared<TRMainAppLoginService>());
        TRBackgroundSettings section(&login, &mini);

        menu.miniAction()->trigger(); // shows the panel, building it
        QVERIFY(mini.shown() && mini.panel()->isVisible());
        QCOMPARE(menu.miniAction()->text(), QStringLiteral("Hide Mini Mode"));
        QCOMPARE(section.miniButton()->text(), QStringLiteral("Hide Mini mode"));
        section.miniButton()->click(); // hidden from the settings: the menu follows
        QVERIFY(!mini.shown());
        QCOMPARE(menu.miniAction()->text(), QStringLiteral("Mini Mode"));
        QCOMPARE(section.miniButton()->text(), QStringLiteral("Show Mini mode now"));

        menu.muteAction()->trigger();
        QVERIFY(TRMute::shared().on());
        QVERIFY(m.muteSpeaker());
        TRMute::shared().setOn(false); // flipped elsewhere (the mini panel)
        QVERIFY(!menu.muteAction()->isChecked());
        QVERIFY(!m.muteSpeaker());
    }

    void helpShowsTheWindowThenAsksForTheChapterLater() {
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        TRMenuBarMenu menu(&m, &mini, &TRMute::shared());
        QWidget* main = nullptr;
        TRWindows::keep([&] {
            main = new QWidget;
            main->setObjectName("main");
            return main;
        });
        QList<std::pair<HelpTopic, qint64>> asked;
        QElapsedTimer clock;
        QObject receiver;
        Help::onOpenHelp(&receiver, [&](HelpTopic t) { asked.append({t, clock.elapsed()}); });
        clock.start();
        menu.helpAction()->trigger();
        QVERIFY(main && main->isVisible()); // at once
        QVERIFY(asked.isEmpty());
        QTRY_COMPARE(asked.size(), 1);
        QCOMPARE(asked.first().first, HelpTopic::miniMode);
        QVERIFY2(asked.first().second >= TRMenuBarMenu::helpDelayMs,
                 qPrintable(QString::number(asked.first().second)));
    }

    void websiteOpensTheMakersPage() {
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        TRMenuBarMenu menu(&m, &mini, &TRMute::shared());
        UrlCatcher catcher(QStringLiteral("https"));
        menu.websiteAction()->trigger();
        QCOMPARE(catcher.opened, QList<QUrl>{QUrl(qmrlMakerAddress)});
    }

    void showMainItemBringsTheWindowBack() {
        WalkieModel& m = minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        TRMenuBarMenu menu(&m, &mini, &TRMute::shared());
        auto* main = new QWidget;
        main->setWindowTitle("QMRL Tessrook");
        main->showMinimized();
        menu.showMainAction()->trigger();
        QVERIFY(TRWindows::mainIsVisible());
    }
};

SHELL_TEST_MAIN(MenuTest)
#include "tst_menu.moc"
