// The mute switch against a real model, and finding, showing and closing the main window among the
// application's windows.
#include "MiniRig.h"
#include "ShellTest.h"
#include "TRMute.h"
#include "TRWindows.h"

#include <QDialog>

class WindowsTest : public QObject {
    Q_OBJECT

private slots:
    void cleanup() {
        WalkieModel::setShared(nullptr);
        TRWindows::keep({});
        qDeleteAll(QApplication::topLevelWidgets());
    }

    void muteIsCopiedOnEveryAssignment() {
        fixture::Rig rig;
        WalkieModel& m = rig.make();
        WalkieModel::setShared(&m);
        TRMute mute;
        QSignalSpy changes(&mute, &TRMute::onChanged);
        mute.setOn(true);
        QVERIFY(m.muteSpeaker());
        m.setMuteSpeaker(false); // behind the switch's back
        mute.setOn(true);        // the same value again still reaches the model
        QVERIFY(m.muteSpeaker());
        QCOMPARE(changes.count(), 1);
        mute.setOn(false);
        QVERIFY(!m.muteSpeaker());
        QCOMPARE(changes.count(), 2);
    }

    void muteWithoutAModelOnlyFlipsTheSwitch() {
        TRMute mute;
        mute.setOn(true);
        QVERIFY(mute.on());
        fixture::Rig rig;
        WalkieModel& later = rig.make();
        WalkieModel::setShared(&later);
        QVERIFY(!later.muteSpeaker()); // a model made later starts unmuted
    }

    void whichWindowsAreMainWindows() {
        auto* named = new QWidget;
        named->setObjectName("main");
        auto* second = new QWidget;
        second->setObjectName("main-2");
        auto* titled = new QWidget;
        titled->setWindowTitle("QMRL Tessrook");
        auto* mainly = new QWidget;
        mainly->setObjectName("mainly");
        auto* otherTitle = new QWidget;
        otherTitle->setWindowTitle("QMRL Tessrook Help");
        auto* tool = new QWidget(nullptr, Qt::Tool);
        tool->setObjectName("main");
        auto* dialog = new QDialog;
        dialog->setWindowTitle("QMRL Tessrook");
        auto* mini = new QWidget;
        mini->setObjectName(TRWindows::miniID());
        mini->setWindowTitle("QMRL Tessrook");
        auto* child = new QWidget(otherTitle);
        child->setObjectName("main");

        QCOMPARE(TRWindows::mainWindows().size(), 3);
        for (QWidget* w : {named, second, titled})
            QVERIFY(TRWindows::mainWindows().contains(w));
        for (QWidget* w : {mainly, otherTitle, tool, static_cast<QWidget*>(dialog), mini, child})
            QVERIFY2(!TRWindows::isMainWindow(w), qPrintable(w->objectName() + " " + w->windowTitle()));
    }

    void minimisedMainWindowIsNotVisibleAndOnlyShowMainRestoresIt() {
        auto* w = new QWidget;
        w->setObjectName("main");
        w->showMinimized();
        QVERIFY(w->isVisible() && w->isMinimized()); // Qt calls it visible
        QVERIFY(!TRWindows::mainIsVisible());
        TRWindows::closeMain();
        QVERIFY(w->isMinimized() && w->isVisible()); // left alone
        int built = 0;
        TRWindows::keep([&] {
            ++built;
            return new QWidget;
        });
        TRWindows::showMain();
        QCOMPARE(built, 0); // the window there is restored, none is built
        QVERIFY(!w->isMinimized());
        QVERIFY(TRWindows::mainIsVisible());
        TRWindows::closeMain();
        QVERIFY(!w->isVisible());
        QVERIFY(!TRWindows::mainIsVisible());
    }

    void closeMainClosesOnlyShownWindows() {
        auto* shown = new QWidget;
        shown->setObjectName("main");
        shown->show();
        auto* hidden = new QWidget;
        hidden->setObjectName("main-2");
        auto* other = new QWidget;
        other->setObjectName("settings");
        other->show();
        QVERIFY(TRWindows::mainIsVisible());
        TRWindows::closeMain();
        QVERIFY(!shown->isVisible());
        QVERIFY(!hidden->isVisible());
        QVERIFY(other->isVisible());
        // Nothing shown, nothing built: one hidden main window comes back (Qt keeps its top-level
        // widgets in no particular order).
        TRWindows::showMain();
        QCOMPARE(int(shown->isVisible()) + int(hidden->isVisible()), 1);
        QVERIFY(TRWindows::mainIsVisible());
    }

    void showMainBuildsThroughTheFactoryOrDoesNothing() {
        TRWindows::showMain(); // no window, no factory: nothing happens
        QVERIFY(TRWindows::mainWindows().isEmpty());
        QList<QWidget*> built;
        TRWindows::keep([&] {
            auto* w = new QWidget;
            w->setObjectName("main");
            built << w;
            return w;
        });
        TRWindows::showMain();
        QCOMPARE(built.size(), 1);
        QVERIFY(built[0]->isVisible());
        TRWindows::showMain(); // shown already: raised, not built again
        QCOMPARE(built.size(), 1);
        TRWindows::keep([] { return nullptr; }); // a factory that gives nothing is harmless
        built[0]->close();
        TRWindows::showMain();
        QVERIFY(!built[0]->isVisible());
    }
};

SHELL_TEST_MAIN(WindowsTest)
#include "tst_windows.moc"
