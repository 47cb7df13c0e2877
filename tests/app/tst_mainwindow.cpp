// The application object and its window: the finish migration at start, the window's shape and
// menus, the Theme menu in step with the rack's picker and a second window, closing and reopening,
// the requests the Help menu posts, and About.
#include "AppTest.h"
#include "Finish.h"
#include "HelpTopic.h"
#include "MacDelegate.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "Notifications.h"
#include "QMRLCredit.h"
#include "QMZoomHost.h"
#include "SelfTestRequest.h"
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
    static QStringList titles(QMenu* menu) {
        QStringList out;
        for (QAction* a : menu->actions()) out << (a->isSeparator() ? QString("-") : a->text());
        return out;
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

    void windowShapeMenusAndShortcuts() {
        auto p = program();
        p->launch();
        MainWindow* w = p->mainWindow();
        QVERIFY(w);
        QCOMPARE(w->objectName(), QString("main"));
        QCOMPARE(w->windowTitle(), QString("QMRL Tessrook"));
        QCOMPARE(w->minimumSize(), QSize(900, 620));
        QCOMPARE(w->size(), QSize(1180, 820));
        auto* host = qobject_cast<QMZoomHost*>(w->centralWidget());
        QVERIFY(host);
        QCOMPARE(host->minSize(), QSizeF(1100, 760));
        QCOMPARE(host->content(), w->root());

        QStringList menus;
        for (QAction* a : w->menuBar()->actions()) menus << a->text();
        QCOMPARE(menus, (QStringList{"QMRL Tessrook", "View", "Window", "Theme", "Help"}));
        const QList<QAction*> top = w->menuBar()->actions();
        QCOMPARE(titles(top[0]->menu()), (QStringList{"About QMRL Tessrook", "-", "Quit QMRL Tessrook"}));
        QCOMPARE(titles(top[1]->menu()).first(), QString("Zoom In"));
        QCOMPARE(titles(top[2]->menu()), (QStringList{"-", "Mini Mode", "Show Main Window"}));
        QStringList finishes;
        for (const Finish& f : Finish::all()) finishes << f.name;
        QCOMPARE(titles(top[3]->menu()), finishes);
        QCOMPARE(titles(top[4]->menu()),
                 (QStringList{"Quillmarsh Website", "Tessrook Help", "Quick start", "Inviting people", "SOS",
                              "Troubleshooting", "Themes & zoom", "Mini mode & open at login", "-",
                              "Connection Self-Test…", "Show Debug Log"}));
        QCOMPARE(w->command("quit")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
        QCOMPARE(w->command("miniMode")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_M));
        QCOMPARE(w->command("showMain")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_1));
        QCOMPARE(w->command("help")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Question));
        QCOMPARE(w->command("selfTest")->shortcut(), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_T));
        QVERIFY(w->command("about")->shortcut().isEmpty());

        // The Help menu's requests: the six chapters in order, the self-test with no object.
        QStringList posted;
        QObject listening; // the listener ends with this case
        connect(&Notifications::shared(), &Notifications::posted, &listening,
                [&posted](const QString& name, const QString& object) { posted << name + ":" + object; });
        for (const QString& name : {"help", "help:quickStart", "help:invite", "help:sos", "help:trouble",
                                    "help:look", "help:miniMode"})
            w->command(name)->trigger();
        w->command("selfTest")->trigger();
        const QString h = Help::openHelpName() + ":";
        QCOMPARE(posted, (QStringList{h + "quickStart", h + "quickStart", h + "invite", h + "sos", h + "trouble",
                                      h + "look", h + "miniMode", SelfTest::openSelfTestName() + ":"}));
        QTRY_VERIFY(w->root()->helpShownAt().has_value() || w->root()->openSheet());
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
