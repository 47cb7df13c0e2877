// The mini panel's controller: where a new panel goes, the saved corner, showing, hiding, toggling and
// expanding, a close by the window manager, and, on the test display, the keyboard focus and dragging
// the panel by its face with no window manager to help.
#include "MiniRig.h"
#include "ShellTest.h"
#include "TRMiniPanel.h"
#include "TRMiniView.h"
#include "TRWindows.h"

#include <QAbstractButton>
#include <QLineEdit>

using Origin = std::optional<QPoint>;
Q_DECLARE_METATYPE(Origin)
using Areas = QList<QRect>;

class MiniPanelTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

private slots:
    void init() { Defaults::shared().remove(TRMiniPanel::originKey()); }
    void cleanup() {
        WalkieModel::setShared(nullptr);
        TRWindows::keep({});
        rig.model.reset();
    }

    void placement_data() {
        QTest::addColumn<Origin>("saved");
        QTest::addColumn<Areas>("screens");
        QTest::addColumn<QPoint>("origin");
        const QRect screen(0, 0, 1600, 1000);
        const QPoint corner(1600 - 300 - 24, 1000 - 492 - 24);
        const Origin none;
        QTest::newRow("nothing saved") << none << Areas{screen} << corner;
        QTest::newRow("no screen at all") << none << Areas{} << QPoint(1116, 384);
        QTest::newRow("saved, well inside") << Origin(QPoint(200, 150)) << Areas{screen} << QPoint(200, 150);
        QTest::newRow("41 into the right edge")
            << Origin(QPoint(1559, 300)) << Areas{screen} << QPoint(1559, 300);
        QTest::newRow("40 into the right edge") << Origin(QPoint(1560, 300)) << Areas{screen} << corner;
        QTest::newRow("41 into the left edge")
            << Origin(QPoint(-259, 300)) << Areas{screen} << QPoint(-259, 300);
        QTest::newRow("40 into the left edge") << Origin(QPoint(-260, 300)) << Areas{screen} << corner;
        QTest::newRow("41 into the bottom") << Origin(QPoint(300, 959)) << Areas{screen} << QPoint(300, 959);
        QTest::newRow("40 into the bottom") << Origin(QPoint(300, 960)) << Areas{screen} << corner;
        QTest::newRow("40 into the top") << Origin(QPoint(300, -452)) << Areas{screen} << corner;
        QTest::newRow("on a screen that is gone") << Origin(QPoint(2000, 100)) << Areas{screen} << corner;
        QTest::newRow("on the second screen")
            << Origin(QPoint(2000, 100)) << Areas{screen, QRect(1600, 0, 1920, 1080)} << QPoint(2000, 100);
    }
    void placement() {
        QFETCH(Origin, saved);
        QFETCH(Areas, screens);
        QFETCH(QPoint, origin);
        const std::optional<QRect> primary =
            screens.isEmpty() ? std::nullopt : std::optional(screens.first());
        QCOMPARE(TRMiniPanel::placement(saved, screens, primary), origin);
    }

    void placementFallsBackToTheFirstScreen() {
        QCOMPARE(TRMiniPanel::placement(std::nullopt, {QRect(100, 50, 800, 600), QRect(900, 0, 800, 600)}),
                 QPoint(100 + 800 - 324, 50 + 600 - 516));
        // The primary screen wins over the first one.
        QCOMPARE(TRMiniPanel::placement(std::nullopt, {QRect(100, 50, 800, 600)}, QRect(900, 0, 800, 600)),
                 QPoint(900 + 800 - 324, 600 - 516));
    }

    void savedOrigin_data() {
        QTest::addColumn<QVariant>("stored");
        QTest::addColumn<Origin>("origin");
        QTest::newRow("nothing") << QVariant() << Origin();
        QTest::newRow("two numbers") << QVariant(QVariantList{12, 34.6}) << Origin(QPoint(12, 35));
        QTest::newRow("two numbers as text")
            << QVariant(QStringList{"-40", " 7.0"}) << Origin(QPoint(-40, 7));
        QTest::newRow("one") << QVariant(QVariantList{12}) << Origin();
        QTest::newRow("a single value") << QVariant(QStringLiteral("12")) << Origin();
        QTest::newRow("three") << QVariant(QVariantList{1, 2, 3}) << Origin();
        QTest::newRow("not numbers") << QVariant(QStringList{"left", "top"}) << Origin();
        QTest::newRow("far out") << QVariant(QStringList{"1e300", "5"}) << Origin();
    }
    void savedOrigin() {
        QFETCH(QVariant, stored);
        QFETCH(Origin, origin);
        if (stored.isValid()) Defaults::shared().setValue(TRMiniPanel::originKey(), stored);
        QCOMPARE(TRMiniPanel::savedOrigin(Defaults::shared()), origin);
    }

    void savedCornerSurvivesTheSettingsFile() {
        TRMiniPanel::save(QPoint(321, -12), Defaults::shared());
        Defaults::shared().sync();
        QSettings file; // what a later launch reads back: text
        QCOMPARE(TRMiniPanel::savedOrigin(Defaults::shared()), Origin(QPoint(321, -12)));
        QCOMPARE(file.value(TRMiniPanel::originKey()).toStringList(), (QStringList{"321", "-12"}));
    }

    void showWithoutAModelDoesNothing() {
        TRMiniPanel mini;
        QSignalSpy changes(&mini, &TRMiniPanel::shownChanged);
        mini.show();
        mini.toggle();
        QVERIFY(!mini.panel());
        QVERIFY(!mini.shown());
        QCOMPARE(changes.count(), 0);
    }

    void theOnePanelIsBuiltOnceAndNeverCountsAsMain() {
        WalkieModel::setShared(&rig.make());
        TRMiniPanel mini;
        mini.toggle();
        QVERIFY(mini.shown());
        QWidget* panel = mini.panel();
        QVERIFY(panel && panel->isVisible());
        QVERIFY(
            panel->windowFlags().testFlags(Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
        QVERIFY(!TRWindows::isMainWindow(panel));
        mini.toggle();
        QVERIFY(!mini.shown());
        QVERIFY(!panel->isVisible());
        mini.toggle();
        QCOMPARE(mini.panel(), panel);
        QVERIFY(mini.view() && mini.view()->parentWidget() == panel);
    }

    void closeRequestOnlyHides() {
        WalkieModel::setShared(&rig.make());
        TRMiniPanel mini;
        mini.show();
        QWidget* panel = mini.panel();
        QVERIFY(!panel->close()); // as Alt+F4 asks
        QVERIFY(!mini.shown());
        QVERIFY(!panel->isVisible());
        QCOMPARE(mini.panel(), panel);
        mini.show();
        QVERIFY(panel->isVisible());
    }

    void expandWithNoMainWindowBuildsOne() {
        WalkieModel::setShared(&rig.make());
        TRMiniPanel mini;
        mini.show();
        QWidget* built = nullptr;
        TRWindows::keep([&] {
            built = new QWidget;
            built->setObjectName("main");
            return built;
        });
        mini.view()->expandKey()->click();
        QVERIFY(!mini.shown());
        QVERIFY(!mini.panel()->isVisible());
        QVERIFY(built && built->isVisible());
        QVERIFY(TRWindows::mainIsVisible());
        mini.view()->hideKey()->click(); // hidden already: stays so
        QVERIFY(!mini.shown());
        delete built;
    }

    void savedCornerIsUsedAndMovesAreSavedAndKept() {
        if (TRMiniPanel::positionsUnsupported()) QSKIP("windows cannot place themselves here");
        TRMiniPanel::save(QPoint(260, 140), Defaults::shared());
        WalkieModel::setShared(&rig.make());
        TRMiniPanel mini;
        mini.show();
        QWidget* panel = mini.panel();
        QTRY_COMPARE(panel->pos(), QPoint(260, 140));
        panel->move(420, 210);
        QTRY_COMPARE(TRMiniPanel::savedOrigin(Defaults::shared()), Origin(QPoint(420, 210)));
        mini.hide();
        mini.show();
        QTRY_COMPARE(panel->pos(), QPoint(420, 210));
    }

    // On the test display (no window manager): the panel itself has the keyboard, not its first key.
    void panelHasTheFocusAfterShowAndAfterSending() {
        if (!shelltest::onRealDisplay()) QSKIP("needs the test display (TESSROOK_TEST_DISPLAY)");
        minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        mini.show();
        QWidget* panel = mini.panel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QTRY_COMPARE(QApplication::focusWidget(), panel);
        if (const QString shots = shelltest::shotsFolder(); !shots.isEmpty()) {
            QTest::qWait(200); // pictures only: the window manager's frame is drawn
            const QRect g = panel->frameGeometry().adjusted(-10, -10, 10, 10);
            panel->screen()
                ->grabWindow(0, g.x(), g.y(), g.width(), g.height())
                .save(shots + "/mini-on-screen.png");
        }
        QLineEdit* field = mini.view()->messageField();
        QTest::mouseClick(field, Qt::LeftButton, {}, field->rect().center());
        QTRY_VERIFY(mini.view()->typing());
        QTest::keyClicks(field, QStringLiteral("on my way"));
        QTest::keyClick(field, Qt::Key_Return);
        QCOMPARE(rig.model->messages().first().text, QStringLiteral("on my way"));
        QTRY_COMPARE(QApplication::focusWidget(), panel);
        mini.hide();
        mini.show();
        QTRY_COMPARE(QApplication::focusWidget(), panel);
    }

    void dragByTheFaceWithoutAWindowManager() {
        if (!shelltest::onRealDisplay()) QSKIP("needs the test display (TESSROOK_TEST_DISPLAY)");
        TRMiniPanel::save(QPoint(300, 200), Defaults::shared());
        minirig::make(rig, minirig::State::idle);
        TRMiniPanel mini;
        mini.show();
        QWidget* panel = mini.panel();
        QVERIFY(QTest::qWaitForWindowExposed(panel));
        QTRY_COMPARE(panel->pos(), QPoint(300, 200));
        // A spot of bare metal at the left edge, beside the talk line.
        const QPoint grab = panel->mapToGlobal(QPoint(8, 300));
        QVERIFY(shelltest::xdotool(
            {"mousemove", QString::number(grab.x()), QString::number(grab.y()), "mousedown", "1"}));
        QTest::qWait(50); // a hand's pace between the steps of the drag
        QVERIFY(shelltest::xdotool(
            {"mousemove", QString::number(grab.x() + 60), QString::number(grab.y() + 35)}));
        QTest::qWait(50); // a hand's pace between the steps of the drag
        QVERIFY(shelltest::xdotool(
            {"mousemove", QString::number(grab.x() + 120), QString::number(grab.y() + 70), "mouseup", "1"}));
        QTRY_COMPARE(panel->pos(), QPoint(420, 270));
        QTRY_COMPARE(TRMiniPanel::savedOrigin(Defaults::shared()), Origin(QPoint(420, 270)));
    }
};

SHELL_TEST_MAIN(MiniPanelTest)
#include "tst_minipanel.moc"
