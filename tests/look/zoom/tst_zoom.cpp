// Window zoom: the stored factor's arithmetic, the menu commands, and the host that scales a window's
// content without the content knowing.
#include "Defaults.h"
#include "QMZoom.h"
#include "QMZoomCommands.h"
#include "QMZoomHost.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QGraphicsProxyWidget>
#include <QLineEdit>
#include <QMenu>
#include <QScrollBar>
#include <QSettings>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <QVBoxLayout>
#include <cmath>
#include <limits>

class TestZoom : public QObject {
    Q_OBJECT
    // Settings of its own: tests run in parallel and these keys are shared with other kit tests.
    QTemporaryDir settingsDir;
private slots:
    void initTestCase() {
        QCoreApplication::setOrganizationName("Quillmarsh");
        QCoreApplication::setApplicationName("QMRL Tessrook");
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    }
    void init() { Defaults::shared().remove(QMZoom::key); }

    void clampRoundsThenLimits() {
        QCOMPARE(QMZoom::clamp(1.234), 1.23);
        QCOMPARE(QMZoom::clamp(1.235), 1.24); // half away from zero
        QCOMPARE(QMZoom::clamp(5), 2.0);
        QCOMPARE(QMZoom::clamp(0.5), 0.85);
        QCOMPARE(QMZoom::clamp(0.8449), 0.85);
        QCOMPARE(QMZoom::clamp(std::numeric_limits<double>::quiet_NaN()), 0.85);
    }

    void storedValueReadsClampedWithOneForMissingZeroAndNonNumbers() {
        QCOMPARE(QMZoom::value(), 1.0);
        const QList<QPair<QVariant, double>> cases{{1.234, 1.23},
                                                   {5.0, 2.0},
                                                   {0.5, 0.85},
                                                   {0.0, 1.0},
                                                   {std::numeric_limits<double>::quiet_NaN(), 1.0},
                                                   {std::numeric_limits<double>::infinity(), 1.0},
                                                   {QStringLiteral("garbage"), 1.0}};
        for (const auto& [stored, expected] : cases) {
            Defaults::shared().setValue(QMZoom::key, stored);
            QCOMPARE(QMZoom::value(), expected);
        }
        QMZoom::setValue(1.456);
        QCOMPARE(Defaults::shared().doubleValue(QMZoom::key, 0), 1.46);
    }

    void commandsWalkBetweenTheLimits() {
        QMZoomCommands commands;
        commands.zoomInAction()->trigger();
        QCOMPARE(QMZoom::value(), 1.15);
        Defaults::shared().remove(QMZoom::key);
        commands.zoomOutAction()->trigger();
        QCOMPARE(QMZoom::value(), 0.85);
        commands.zoomOutAction()->trigger();
        QCOMPARE(QMZoom::value(), 0.85);

        commands.actualSizeAction()->trigger();
        QCOMPARE(Defaults::shared().value(QMZoom::key).toDouble(), 1.0);
        QList<double> walk;
        for (int i = 0; i < 8; ++i) {
            commands.zoomInAction()->trigger();
            walk << QMZoom::value();
        }
        QCOMPARE(walk, (QList<double>{1.15, 1.3, 1.45, 1.6, 1.75, 1.9, 2.0, 2.0}));

        QMZoom::setValue(0.85);
        QList<double> up;
        while (QMZoom::value() < 2.0) {
            commands.zoomInAction()->trigger();
            up << QMZoom::value();
        }
        QCOMPARE(up, (QList<double>{1.0, 1.15, 1.3, 1.45, 1.6, 1.75, 1.9, 2.0}));

        // All the way down from the top, in 0.15 steps, to the floor.
        QList<double> down;
        for (int i = 0; i < 9; ++i) {
            commands.zoomOutAction()->trigger();
            down << QMZoom::value();
        }
        QCOMPARE(down, (QList<double>{1.85, 1.7, 1.55, 1.4, 1.25, 1.1, 0.95, 0.85, 0.85}));
    }

    void aStoredZeroOrNaNStepsFromOneHundredPercent() {
        QMZoomCommands commands;
        for (double bad : {0.0, std::numeric_limits<double>::quiet_NaN()}) {
            Defaults::shared().setValue(QMZoom::key, bad);
            commands.zoomInAction()->trigger();
            QCOMPARE(QMZoom::value(), 1.15);
        }
    }

    void menuHasTheTextsShortcutsAndLevels() {
        QMZoomCommands commands;
        QMenu view;
        view.addAction("Toolbar");
        commands.addTo(&view);
        const QList<QAction*> actions = view.actions();
        QCOMPARE(actions.size(), 6);
        QCOMPARE(actions[1]->text(), QString("Zoom In"));
        QCOMPARE(actions[2]->text(), QString("Zoom Out"));
        QCOMPARE(actions[3]->text(), QString("Actual Size (100%)"));
        QCOMPARE(actions[4]->menu(), commands.levelMenu());
        QCOMPARE(actions[4]->text(), QString("Zoom Level"));
        QVERIFY(actions[5]->isSeparator());
        QCOMPARE(actions[1]->shortcut().toString(QKeySequence::NativeText),
                 QKeySequence(Qt::CTRL | Qt::Key_Plus).toString(QKeySequence::NativeText));
        QCOMPARE(actions[2]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Minus));
        QCOMPARE(actions[3]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_0));

        QStringList titles;
        for (QAction* a : commands.levelMenu()->actions()) {
            titles << a->text();
            QVERIFY(!a->isCheckable());
        }
        QCOMPARE(titles, (QStringList{"85%", "100%", "115%", "130%", "150%", "175%", "200%"}));
        commands.levelMenu()->actions()[2]->trigger();
        QCOMPARE(Defaults::shared().doubleValue(QMZoom::key, 0), 1.15);
        commands.levelMenu()->actions()[6]->trigger();
        QCOMPARE(QMZoom::value(), 2.0);
    }

    void layoutArithmetic() {
        const QSizeF min(1100, 760);
        auto l = QMZoomHost::layoutFor(QSizeF(1200, 800), 1.0, min);
        QCOMPARE(l.logical, QSizeF(1200, 800));
        QVERIFY(!l.scrollIndicators);
        l = QMZoomHost::layoutFor(QSizeF(1200, 800), 1.5, min);
        QCOMPARE(l.logical, QSizeF(1100, 760));
        QCOMPARE(l.scaled, QSizeF(1650, 1140));
        QVERIFY(l.scrollIndicators);
        // Less than a point of overflow shows no scroll bars.
        l = QMZoomHost::layoutFor(QSizeF(1099.5, 800), 1.0, min);
        QVERIFY(!l.scrollIndicators);
        l = QMZoomHost::layoutFor(QSizeF(1098.5, 800), 1.0, min);
        QVERIFY(l.scrollIndicators);
    }

    void hostFollowsTheStoredZoom() {
        auto* content = new QWidget;
        QMZoomHost host(content, QSizeF(1100, 760));
        host.resize(1200, 800);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QCOMPARE(content->size(), QSize(1200, 800));
        QCOMPARE(host.horizontalScrollBarPolicy(), Qt::ScrollBarAlwaysOff);

        QMZoom::setValue(1.5);
        QCOMPARE(host.currentLayout().zoom, 1.5);
        QCOMPARE(content->size(), QSize(1100, 760));
        QCOMPARE(host.transform().m11(), 1.5);
        QCOMPARE(host.horizontalScrollBarPolicy(), Qt::ScrollBarAsNeeded);
        QTRY_VERIFY(host.verticalScrollBar()->maximum() > 0);

        // A stored zero means 100 %, as it does for the menu commands.
        Defaults::shared().setValue(QMZoom::key, 0.0);
        QCOMPARE(host.currentLayout().zoom, 1.0);
        QCOMPARE(content->size(), QSize(1200, 800));
        Defaults::shared().setValue(QMZoom::key, std::numeric_limits<double>::quiet_NaN());
        QCOMPARE(host.currentLayout().zoom, 1.0);
    }

    // Content that needs more than the host's minimum is laid out at its own minimum and scrolls to
    // all of it, also when its minimum grows later.
    void contentLargerThanTheMinimumIsNeverSqueezed() {
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        auto* tall = new QWidget;
        tall->setMinimumSize(500, 900);
        layout->addWidget(tall);
        QMZoomHost host(content, QSizeF(400, 300));
        host.resize(600, 500);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QVERIFY(content->height() >= 900);
        QTRY_VERIFY(host.verticalScrollBar()->maximum() > 0);
        tall->setMinimumSize(700, 1200);
        QTRY_VERIFY(content->height() >= 1200);
        QTRY_VERIFY(content->width() >= 700);
    }

    // A window wide enough for the zoomed content scrolls only vertically, although the vertical
    // scroll bar takes room from the view here.
    void scrollingOnOneAxisLeavesTheOtherFitting() {
        auto* content = new QWidget;
        QMZoomHost host(content, QSizeF(960, 640));
        host.resize(1500, 800);
        QMZoom::setValue(1.5);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QTRY_VERIFY(host.verticalScrollBar()->maximum() > 0);
        QCOMPARE(host.horizontalScrollBar()->maximum(), 0);
        QVERIFY(!host.horizontalScrollBar()->isVisible());
        QVERIFY(content->width() < 1000);
        QVERIFY(std::abs(content->width() * 1.5 - host.viewport()->width()) < 1.5);
        host.resize(2000, 700);
        for (double z : {1.15, 1.3, 1.45, 1.6, 1.75, 1.9, 2.0}) {
            QMZoom::setValue(z);
            QTRY_VERIFY(host.verticalScrollBar()->maximum() > 0);
            QCOMPARE(host.horizontalScrollBar()->maximum(), 0);
        }
        QMZoom::setValue(1.5);

        // Narrower than the zoomed minimum: both axes scroll.
        host.resize(1200, 800);
        QTRY_VERIFY(host.horizontalScrollBar()->maximum() > 0);
        QCOMPARE(content->size(), QSize(960, 640));
    }

    // Keys, focus, popups and tooltips reach the zoomed content as they would unzoomed, each once.
    void inputPassesThroughTheHostOnce() {
        QMZoom::setValue(2.0);
        auto* content = new QWidget;
        auto* layout = new QVBoxLayout(content);
        auto* first = new QLineEdit;
        auto* second = new QLineEdit;
        auto* combo = new QComboBox;
        combo->addItems({"Alpha", "Bravo", "Charlie"});
        second->setToolTip("second field");
        layout->addWidget(first);
        layout->addWidget(second);
        layout->addWidget(combo);
        layout->addStretch();
        QMZoomHost host(content, QSizeF(300, 200));
        host.resize(640, 480);
        host.show();
        host.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&host));

        first->setFocus();
        QTRY_VERIFY(first->hasFocus());
        int keyPresses = 0;
        struct Counter : QObject {
            int* n;
            explicit Counter(int* c) : n(c) {}
            bool eventFilter(QObject*, QEvent* e) override {
                if (e->type() == QEvent::KeyPress) ++*n;
                return false;
            }
        } counter(&keyPresses);
        first->installEventFilter(&counter);
        QTest::keyClicks(host.viewport(), "abc");
        QCOMPARE(first->text(), QString("abc"));
        QCOMPARE(keyPresses, 3);

        QTest::keyClick(host.viewport(), Qt::Key_Tab);
        QTRY_VERIFY(second->hasFocus());
        QTest::keyClicks(host.viewport(), "xy");
        QCOMPARE(second->text(), QString("xy"));
        QCOMPARE(first->text(), QString("abc"));

        // A click lands where the scaled content shows the widget.
        const QPoint onFirst = host.mapFromScene(content->mapTo(content, first->geometry().center()));
        QTest::mouseClick(host.viewport(), Qt::LeftButton, {}, onFirst);
        QTRY_VERIFY(first->hasFocus());

        combo->showPopup();
        QTRY_VERIFY(combo->view()->isVisible());
        QTest::keyClick(combo->view(), Qt::Key_Down);
        QTest::keyClick(combo->view(), Qt::Key_Return);
        QTRY_COMPARE(combo->currentIndex(), 1);

        // The window's zoom shortcuts still reach the menu while a field in the content has focus.
        QMZoomCommands commands;
        QMenu viewMenu;
        commands.addTo(&viewMenu);
        host.addActions(viewMenu.actions());
        first->setFocus();
        QTRY_VERIFY(first->hasFocus());
        const QString typed = first->text();
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Minus, Qt::ControlModifier);
        QCOMPARE(QMZoom::value(), 1.85);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_0, Qt::ControlModifier);
        QCOMPARE(QMZoom::value(), 1.0);
        QCOMPARE(first->text(), typed);
        QMZoom::setValue(2.0);

        // Tooltips follow the pointer: it rests over the field first, as a real one would.
        const QPoint onSecond = host.mapFromScene(QPointF(second->geometry().center()));
        QTest::mouseMove(host.viewport(), onSecond - QPoint(5, 0));
        QTest::mouseMove(host.viewport(), onSecond);
        QHelpEvent help(QEvent::ToolTip, onSecond, host.viewport()->mapToGlobal(onSecond));
        QApplication::sendEvent(host.viewport(), &help);
        QTRY_COMPARE(QToolTip::text(), QString("second field"));
    }
};

QTEST_MAIN(TestZoom)
#include "tst_zoom.moc"
