// The application object and its window: the finish migration at start, the Theme menu in step with
// the rack's picker and a second window, closing and reopening, and About.
#include "AppTest.h"
#include "Finish.h"
#include "MacDelegate.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "Manual.h"
#include "QMRLCredit.h"
#include "ShellBridge.h"
#include "TessrookMac.h"
#include "TopRack.h"

#include <QActionGroup>
#include <QComboBox>
#include <QLabel>
#include <QMenuBar>
#include <QtTest>

class MainWindowTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;

    std::unique_ptr<TessrookMac> program() {
        Defaults::shared().setValue("welcomed", true);
        return std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(rig.options()), false);
    }

private slots:
    void init() {
        fixture::resetSettings();
        Defaults::shared().remove(Finish::defaultsKey);
    }

    // Old ids are rewritten at start; current and unknown ids are left; with nothing stored nothing is
    // written. The Theme menu marks the migrated id, the first finish when nothing is stored, and none
    // for an unknown id.
    void finishMigrationAndThemeMarks() {
        const QList<std::pair<QString, QString>> table{
            {"gunmetal", "graphite-gray"}, {"crimson", "anodized-red"}, {"black-chrome", "black-chrome"},
            {"plaid", "plaid"}};
        for (const auto& [stored, after] : table) {
            Defaults::shared().setValue(Finish::defaultsKey, stored);
            auto p = program();
            QCOMPARE(Defaults::shared().stringValue(Finish::defaultsKey), after);
            MainWindow w(p->model());
            const QAction* marked = w.themeGroup()->checkedAction();
            if (after == "plaid")
                QVERIFY(!marked);
            else
                QCOMPARE(marked->data().toString(), after);
        }
        Defaults::shared().remove(Finish::defaultsKey);
        auto p = program();
        QVERIFY(!Defaults::shared().contains(Finish::defaultsKey));
        MainWindow w(p->model());
        QCOMPARE(w.themeGroup()->checkedAction()->data().toString(), Finish::all().first().id);
    }

    // The Theme menu, the rack's picker and a second window follow one another.
    void themeMenuPickerAndSecondWindowInStep() {
        auto p = program();
        MainWindow a(p->model()), b(p->model());
        const QString rose = "rose-gold";
        a.command("theme:" + rose)->trigger();
        QCOMPARE(Defaults::shared().stringValue(Finish::defaultsKey), rose);
        QCOMPARE(b.themeGroup()->checkedAction()->data().toString(), rose);
        QCOMPARE(a.root()->finish().id, rose);
        QComboBox* picker = b.root()->topRack()->findChild<QComboBox*>();
        QVERIFY(picker);
        QCOMPARE(picker->currentText(), Finish::named(rose).name);
        // Choosing the marked item again keeps it marked.
        a.command("theme:" + rose)->trigger();
        QVERIFY(a.command("theme:" + rose)->isChecked());
        picker->setCurrentIndex(picker->findText(Finish::named("black-chrome").name));
        QCOMPARE(a.themeGroup()->checkedAction()->data().toString(), QString("black-chrome"));
    }

    // Closing destroys the window; showing the main window again builds a fresh one with every sheet
    // closed.
    void closingDestroysAndReopenBuildsAFreshWindow() {
        auto p = program();
        p->launch();
        QPointer<MainWindow> first = p->mainWindow();
        QVERIFY(QTest::qWaitForWindowExposed(first));
        first->root()->openSettings();
        QTRY_VERIFY(first->root()->openSheet());
        first->close();
        QTRY_VERIFY(!first);
        QVERIFY(!ShellBridge::mainIsVisible());
        p->delegate().reopen();
        MainWindow* fresh = p->mainWindow();
        QVERIFY(fresh);
        QVERIFY(QTest::qWaitForWindowExposed(fresh));
        QVERIFY(!fresh->root()->openSheet());
        QVERIFY(!fresh->root()->waiting(MacRoot::Sheet::settings));
    }

    // Menu texts show as written: no item underlines a letter, and the chapters carry the manual's titles
    // with their ampersands.
    void menuTextsShowAsWritten() {
        auto p = program();
        MainWindow w(p->model());
        const QList<QAction*> all = w.menuBar()->findChildren<QAction*>();
        QVERIFY(all.size() > 20);
        for (QAction* a : all)
            QVERIFY2(apptest::underlinesNothing(a->text()), qPrintable(a->text()));
        QStringList drawn;
        for (const HelpChapter& c : Manual::chapters()) {
            if (QAction* item = w.command("help:" + c.id)) {
                QCOMPARE(apptest::drawnText(item->text()), c.title);
                drawn << c.title;
            }
        }
        QVERIFY(drawn.contains("Themes & zoom") && drawn.contains("Mini mode & open at login"));
    }

    // About: one window with the name, the version and the credit line linking to the maker's site.
    void aboutShowsTheCreditLine() {
        QWidget* about = QMRLCredit::showAbout();
        QVERIFY(about->isVisible());
        QCOMPARE(QMRLCredit::showAbout(), about); // brought forward, not a second one
        auto* credits = about->findChild<QLabel*>("credits");
        QVERIFY(credits->openExternalLinks());
        QVERIFY(!about->findChild<QLabel*>("icon")->pixmap().isNull());
        apptest::shoot(about, "about");
        about->close();
    }
};

APP_TEST_MAIN(MainWindowTest)
#include "tst_mainwindow.moc"
