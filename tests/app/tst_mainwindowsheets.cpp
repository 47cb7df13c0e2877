// The program's own sheets and music row in its real main window, made by the application object: the
// first-run guide and its hand-over to the manual, the chapters of the Help menu and the tray, the
// self-test from the menu and from Setup, the music row on the application object's station, the whole
// rack in the window as it opens, and sheets whose height follows their content.
#include "AppTest.h"
#include "ChannelBank.h"
#include "ChapterView.h"
#include "HelpView.h"
#include "MacRoot.h"
#include "MainWindow.h"
#include "MediaSink.h"
#include "MetalPanel.h"
#include "MusicModule.h"
#include "QMZoomHost.h"
#include "RackButton.h"
#include "RadioStation.h"
#include "SOSModule.h"
#include "SelfTestView.h"
#include "SettingsView.h"
#include "ShellBridge.h"
#include "TRMenuBarMenu.h"
#include "TRTrayIcon.h"
#include "TalkModule.h"
#include "TessrookMac.h"
#include "TopRack.h"
#include "WelcomeGuide.h"

#include <QAbstractScrollArea>
#include <QAction>
#include <QDialog>
#include <QElapsedTimer>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QSlider>
#include <QStackedWidget>
#include <QTest>

namespace {

QPushButton* buttonNamed(QWidget* in, const QString& text) {
    for (QPushButton* b : in->findChildren<QPushButton*>())
        if (b->text() == text && b->isVisibleTo(in)) return b;
    return nullptr;
}

// Notes when the first sheet of a kind comes on screen, and whether another kind was on screen then.
template <typename Sheet, typename Other> class ShowWatch : public QObject {
public:
    ShowWatch() {
        clock.start();
        qApp->installEventFilter(this);
    }
    qint64 shownAtMs = -1;
    bool otherVisible = false;
    QElapsedTimer clock;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Show && shownAtMs < 0 && qobject_cast<Sheet*>(watched)) {
            shownAtMs = clock.elapsed();
            for (QWidget* w : QApplication::topLevelWidgets())
                if (qobject_cast<Other*>(w) && w->isVisible()) otherVisible = true;
        }
        return false;
    }
};

bool onRealDisplay() {
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// Nothing of the widget is clipped away by a widget it sits in (a window edge, a scroll area's view).
bool wholeInView(QWidget* w) {
    for (QWidget* in = w->parentWidget(); in; in = in->parentWidget()) {
        if (!in->rect().contains(QRect(w->mapTo(in, QPoint(0, 0)), w->size()))) return false;
        if (in->isWindow()) break;
    }
    return true;
}

// What a user sees of a sheet: every control and text wholly inside the window, wrapped text as tall as
// its lines, nothing to scroll, and the window no taller than its content needs. Empty when all holds.
QString sheetProblem(QDialog* sheet) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
    auto name = [](QWidget* w) {
        const auto* l = qobject_cast<QLabel*>(w);
        const auto* b = qobject_cast<QAbstractButton*>(w);
        return QStringLiteral("%1 \"%2\"")
            .arg(w->metaObject()->className(), l   ? l->text()
                                               : b ? b->text()
                                                   : w->objectName());
    };
    for (QWidget* w : sheet->findChildren<QWidget*>()) {
        if (w->window() != sheet || !w->isVisible()) continue;
        if (qobject_cast<QScrollBar*>(w)) return QStringLiteral("it scrolls");
        if (!wholeInView(w)) return name(w) + QStringLiteral(" is cut");

        if (auto* l = qobject_cast<QLabel*>(w);
            l && l->wordWrap() && l->height() < l->heightForWidth(l->width()))
            return name(w) + QStringLiteral(" is cut through its lines");
    }
    // The content's need: the layout's, or the scrolled body's at the width it has.
    QLayout* layout = sheet->layout();
    int needed = layout->hasHeightForWidth() ? layout->totalHeightForWidth(sheet->width())
                                             : layout->totalSizeHint().height();
    if (auto* area = sheet->findChild<QScrollArea*>()) {
        QLayout* body = area->widget()->layout();
        needed = sheet->height() - area->viewport()->height() +
                 (body->hasHeightForWidth() ? body->totalHeightForWidth(area->viewport()->width())
                                            : body->totalSizeHint().height());
    }
    if (sheet->height() > needed + 4)
        return QStringLiteral("%1 tall for %2 of content").arg(sheet->height()).arg(needed);
    return {};
}

} // namespace

class MainWindowSheetsTest : public QObject {
    Q_OBJECT
    fixture::Rig rig;
    std::unique_ptr<TessrookMac> program;

    // A first start (or a later one, once the guide was seen) of the program on a model of test doubles:
    // no channel store, no links.
    [[nodiscard]] bool start(bool welcomed) {
        program.reset();
        fixture::resetSettings();
        if (welcomed)
            Defaults::shared().setValue(MacRoot::welcomedKey(), true);
        else
            Defaults::shared().remove(MacRoot::welcomedKey());
        Defaults::shared().setValue(Finish::defaultsKey, Finish::all().first().id);
        Defaults::shared().setValue(QStringLiteral("displayName"), QStringLiteral("Ranger 2"));
        program = std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(rig.options()));
        program->launch();
        if (!QTest::qWaitFor([&] { return window() && window()->isVisible(); }, 5000)) return false;
        // The guide comes once the window is on screen.
        return welcomed || QTest::qWaitFor([&] { return root()->openSheet() != nullptr; }, 5000);
    }
    MainWindow* window() const { return program->mainWindow(); }
    MacRoot* root() const { return window()->root(); }
    // A sheet opens with the keyboard on one of its controls, not on a scroll area round them.
    static bool opensOnAControl(QDialog* d) {
        QWidget* f = d->focusWidget();
        return f && !qobject_cast<QAbstractScrollArea*>(f);
    }
    static QString describeFocus(QDialog* d) {
        QWidget* f = d->focusWidget();
        return f ? QString::fromLatin1(f->metaObject()->className()) + " " + f->objectName()
                 : QString("nothing");
    }
    template <typename Sheet> Sheet* sheet() const { return qobject_cast<Sheet*>(root()->openSheet()); }

    // Closes the main window (which destroys it) and lets the shell make a fresh one.
    [[nodiscard]] bool reopenWindow() {
        QPointer<MainWindow> old = window();
        old->close();
        if (!QTest::qWaitFor([&] { return !old; }, 5000) || window()) return false;
        ShellBridge::showMain();
        return QTest::qWaitFor([&] { return window() && window()->isVisible(); }, 5000);
    }

    void shoot(const QString& name, QWidget* over = nullptr) {
        if (qEnvironmentVariableIsEmpty("TESSROOK_SHOTS")) return;
        QWidget* w = window();
        QImage picture;
        // With no window manager to keep a sheet above its window, one shown as the window first maps
        // lies under it.
        if (over && onRealDisplay()) over->raise();
        QTest::qWait(150); // pictures only: painted
        if (onRealDisplay()) {
            const QRect frame = w->frameGeometry();
            picture =
                w->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height()).toImage();
        } else {
            // Offscreen there is no screen to grab: the sheet is laid over the window where it stands.
            picture = w->grab().toImage();
            if (over) {
                QPainter p(&picture);
                p.drawPixmap(over->mapToGlobal(QPoint(0, 0)) - w->mapToGlobal(QPoint(0, 0)), over->grab());
            }
        }
        const QString folder = qEnvironmentVariable("TESSROOK_SHOTS");
        QDir().mkpath(folder);
        picture.save(folder + "/program-" + name + ".png");
    }

private slots:
    void cleanup() { program.reset(); }

    void firstStartShowsTheGuideUntilItsDone() {
        QVERIFY(start(false));
        QVERIFY(root()->openSheetKind() == MacRoot::Sheet::welcome);
        QPointer<WelcomeGuide> guide = sheet<WelcomeGuide>();
        QVERIFY(guide);
        QVERIFY(guide->isVisible());
        QCOMPARE(guide->windowModality(), Qt::WindowModal);
        QCOMPARE(guide->parentWidget()->window(), window());
        QCOMPARE(guide->stepLabel()->text(), QStringLiteral("Step 1 of 3"));
        shoot("welcome", guide);
        QCOMPARE(sheetProblem(guide), QString());
        // Its window follows each page's own height, not the tallest page's.
        auto pageFits = [&] {
            QWidget* page = guide->pages()->currentWidget();
            return sheetProblem(guide).isEmpty() &&
                   page->height() <= page->layout()->totalHeightForWidth(page->width()) + 4;
        };
        QVERIFY(pageFits());

        // The guide drives the program's model.
        guide->nameField()->setText(QStringLiteral("Bronco 1"));
        QTest::mouseClick(buttonNamed(guide, "Next"), Qt::LeftButton);
        QCOMPARE(program->model().displayName(), QStringLiteral("Bronco 1"));
        QCOMPARE(guide->stepLabel()->text(), QStringLiteral("Step 2 of 3"));
        QTRY_VERIFY(pageFits());
        guide->setStep(2);
        QTRY_VERIFY(pageFits());
        shoot("welcome-ready", guide);
        guide->setStep(1);

        // "Skip for now" finishes it: it goes and never comes back, in a fresh window neither, although
        // there is still no channel.
        QTest::mouseClick(buttonNamed(guide, "Skip for now"), Qt::LeftButton);
        QTRY_VERIFY(!guide);
        QVERIFY(!root()->openSheet());
        QVERIFY(Defaults::shared().boolValue(MacRoot::welcomedKey(), false));
        QVERIFY(program->model().channels().isEmpty());
        QVERIFY(reopenWindow());
        QTest::qWait(50); // the guide may not come back in this time
        QVERIFY(!root()->openSheet());
        QVERIFY(!root()->waiting(MacRoot::Sheet::welcome));
    }

    // The window as it first opens at 100 %, with a long link explanation and a running check-in (the
    // tallest the modules get): the whole rack is in view, with no scroll bar, every module at least as
    // tall as it needs. The screen here is tall enough for that. With the privacy lock on, the window
    // opens at the same size on the lock screen, and the rack is as whole once unlocked.
    void theWindowOpensOnTheWholeRack() {
        if (!onRealDisplay()) QSKIP("needs the test display (TESSROOK_TEST_DISPLAY) and its screen size");
        QSize opened;
        for (const bool locked : {false, true}) {
            program.reset();
            fixture::resetSettings();
            Defaults::shared().setValue(MacRoot::welcomedKey(), true);
            Defaults::shared().setValue(QStringLiteral("requireUnlock"), locked);
            rig.auth->answer = Authenticator::Result::failed;
            auto options = rig.options();
            program = std::make_unique<TessrookMac>(QStringList{}, std::make_unique<WalkieModel>(options));
            program->model().createChannel(QStringLiteral("Field Team"));
            program->model().startCheckIn(10);
            program->launch();
            QVERIFY(QTest::qWaitForWindowExposed(window()));
            MacRoot* rack = root();
            QCOMPARE(rack->rackBuilt(), !locked);
            if (opened.isValid())
                QCOMPARE(window()->size(), opened);
            else
                opened = window()->size();
            if (locked) {
                rig.auth->answer = Authenticator::Result::success;
                program->model().unlock();
                QTRY_VERIFY(rack->rackBuilt() && rack->channelBank()->isVisible());
                QCOMPARE(window()->size(), opened);
            }
            QMZoomHost* host = window()->zoomHost();
            QTRY_COMPARE(rack->size(), host->viewport()->size());
            QVERIFY(!host->currentLayout().scrollIndicators);
            QVERIFY(!host->verticalScrollBar()->isVisible() && !host->horizontalScrollBar()->isVisible());
            QVERIFY(window()->height() >= MainWindow::defaultHeight);
            QVERIFY(window()->frameGeometry().bottom() <= window()->screen()->availableGeometry().bottom());
            for (QWidget* module : QList<QWidget*>{rack->topRack(), rack->channelBank(), rack->talkModule(),
                                                   rack->sosModule(), rack->logPanel()}) {
                QVERIFY2(module->height() >= module->minimumSizeHint().height(),
                         qPrintable(module->objectName()));
                QVERIFY2(wholeInView(module), qPrintable(module->objectName()));
            }
            shoot(locked ? "rack-unlocked" : "rack");
            program->model().checkInOK();
        }
        rig.auth->answer = Authenticator::Result::success;
    }

    // The channel sheets in the real window show all their text as their content changes: the edit
    // sheet's new-code row coming up above its wrapped help text, and the join sheet's preview.
    void channelSheetsFollowTheirContent() {
        QVERIFY(start(true));
        const Channel crew =
            *program->model().joinWithPassphrase(QStringLiteral("Crew"), QStringLiteral("blue kettle"));
        root()->openEdit(crew);
        QTRY_VERIFY(root()->openSheet() && root()->openSheet()->isVisible());
        QDialog* edit = root()->openSheet();
        QCOMPARE(sheetProblem(edit), QString());
        const int before = edit->height();
        edit->findChild<QLineEdit*>(QStringLiteral("passphrase"))->setText(QStringLiteral("red door opens"));
        auto* code = edit->findChild<QLabel*>(QStringLiteral("newSafetyCode"));
        QTRY_VERIFY_WITH_TIMEOUT(code->isVisible() && code->text().contains(QLatin1Char('-')), 10000);
        QTRY_COMPARE(sheetProblem(edit), QString());
        QVERIFY(edit->height() > before);
        shoot("edit-sheet", edit);
        edit->findChild<QLineEdit*>(QStringLiteral("passphrase"))->clear();
        QTRY_COMPARE(edit->height(), before); // and back when the row goes
        edit->reject();
        QTRY_VERIFY(!root()->openSheet());

        root()->openJoin();
        QTRY_VERIFY(root()->openSheet() && root()->openSheet()->isVisible());
        QDialog* join = root()->openSheet();
        QCOMPARE(sheetProblem(join), QString());
        QVERIFY2(opensOnAControl(join), qPrintable(describeFocus(join)));
        join->findChild<QLineEdit*>(QStringLiteral("name"))->setText(QStringLiteral("Westover Crew"));
        join->findChild<QLineEdit*>(QStringLiteral("passphrase"))
            ->setText(QStringLiteral("green kettle sings"));
        auto* safety = join->findChild<QLabel*>(QStringLiteral("safetyCode"));
        QTRY_VERIFY_WITH_TIMEOUT(safety->text().contains(QLatin1Char('-')), 10000);
        QTRY_COMPARE(sheetProblem(join), QString());
        QVERIFY(join->frameGeometry().bottom() <= join->screen()->availableGeometry().bottom());
        shoot("join-sheet", join);
        join->reject();
    }

    void theManualTakesOverFromTheGuide() {
        QVERIFY(start(false));
        QPointer<WelcomeGuide> guide = sheet<WelcomeGuide>();
        QVERIFY(guide);
        guide->setStep(2);
        QPushButton* manual = buttonNamed(guide, "Open the full manual");
        QVERIFY(manual);

        ShowWatch<HelpView, WelcomeGuide> watch;
        QTest::mouseClick(manual, Qt::LeftButton);
        QVERIFY(!guide || !guide->isVisible()); // gone at once
        QVERIFY(Defaults::shared().boolValue(MacRoot::welcomedKey(), false));
        QTRY_VERIFY_WITH_TIMEOUT(watch.shownAtMs >= 0, 5000);
        QVERIFY2(watch.shownAtMs >= 395, qPrintable(QString::number(watch.shownAtMs)));
        QVERIFY(!watch.otherVisible);
        QVERIFY(!guide);

        auto* help = sheet<HelpView>();
        QVERIFY(help);
        QCOMPARE(help->selected(), QStringLiteral("quickStart"));
        QCOMPARE(help->chapterView()->chapter().id, QStringLiteral("quickStart"));
        QCOMPARE(help->windowModality(), Qt::WindowModal);

        QTest::mouseClick(help->doneButton(), Qt::LeftButton);
        QTRY_VERIFY(!root()->openSheet());
        QVERIFY(reopenWindow());
        QTest::qWait(50); // the guide may not come back in this time
        QVERIFY(!root()->openSheet());
        QVERIFY(!root()->waiting(MacRoot::Sheet::welcome));
    }

    void everyHelpItemOpensItsChapter() {
        QVERIFY(start(true));
        const QList<std::pair<QString, HelpTopic>> items{
            {"help", HelpTopic::quickStart},       {"help:quickStart", HelpTopic::quickStart},
            {"help:invite", HelpTopic::invite},    {"help:sos", HelpTopic::sos},
            {"help:trouble", HelpTopic::trouble},  {"help:look", HelpTopic::look},
            {"help:miniMode", HelpTopic::miniMode}};
        // Asked while the manual is open, each item re-opens it at its own chapter.
        for (const auto& [name, topic] : items) {
            QAction* item = window()->command(name);
            QVERIFY2(item, qPrintable(name));
            item->trigger();
            const QString id = Help::rawValue(topic);
            QTRY_VERIFY2(sheet<HelpView>() && sheet<HelpView>()->isVisible() &&
                             sheet<HelpView>()->selected() == id,
                         qPrintable(name));
            HelpView* help = sheet<HelpView>();
            QVERIFY2(opensOnAControl(help), qPrintable(describeFocus(help)));
            QCOMPARE(help->chapterView()->chapter().id, id);
            QCOMPARE(help->sidebar()->currentItem()->data(Qt::UserRole).toString(), id);
            if (topic == HelpTopic::trouble) shoot("help", help);
        }
        QTest::mouseClick(sheet<HelpView>()->doneButton(), Qt::LeftButton);
        QTRY_VERIFY(!root()->openSheet());

        // The tray's item brings the window forward (a fresh one when it was closed), then the manual at
        // the mini-mode chapter.
        auto* tray = program->findChild<TRTrayIcon*>();
        QVERIFY(tray);
        for (bool closed : {false, true}) {
            if (closed) {
                QPointer<MainWindow> old = window();
                old->close();
                QTRY_VERIFY(!old);
            }
            ShowWatch<HelpView, WelcomeGuide> watch;
            tray->menu()->helpAction()->trigger();
            QVERIFY(window() && window()->isVisible());
            QTRY_VERIFY_WITH_TIMEOUT(sheet<HelpView>() && sheet<HelpView>()->isVisible(), 5000);
            QVERIFY(watch.shownAtMs >= TRMenuBarMenu::helpDelayMs - 5);
            QCOMPARE(sheet<HelpView>()->selected(), QStringLiteral("miniMode"));
            QCOMPARE(sheet<HelpView>()->chapterView()->chapter().id, QStringLiteral("miniMode"));
            if (!closed) {
                QTest::mouseClick(sheet<HelpView>()->doneButton(), Qt::LeftButton);
                QTRY_VERIFY(!root()->openSheet());
            }
        }
    }

    void selfTestFromTheMenuAndFromSetup() {
        QVERIFY(start(true));
        QAction* selfTest = window()->command("selfTest");
        QVERIFY(selfTest);
        selfTest->trigger();
        QTRY_VERIFY(sheet<SelfTestView>() && sheet<SelfTestView>()->isVisible());
        QPointer<SelfTestView> view = sheet<SelfTestView>();
        QCOMPARE(view->windowModality(), Qt::WindowModal);
        QCOMPARE(view->finish().id, Finish::all().first().id);
        QTRY_VERIFY(!view->lines().isEmpty()); // a report of the program's own model
        shoot("selftest", view);

        // Open, it follows the finish as the rack does.
        const Finish other = Finish::all().at(2);
        Defaults::shared().setValue(Finish::defaultsKey, other.id);
        QCOMPARE(view->finish().id, other.id);
        QTest::mouseClick(view->doneButton(), Qt::LeftButton);
        QTRY_VERIFY(!view);
        QVERIFY(!root()->openSheet());

        // From Setup's own button: Setup closes first, then the self-test comes up.
        QTest::mouseClick(root()->topRack()->button("Setup"), Qt::LeftButton);
        QPointer<SettingsView> setup = sheet<SettingsView>();
        QVERIFY(setup && setup->isVisible());
        QTest::mouseClick(setup->selfTestButton(), Qt::LeftButton);
        QVERIFY(!setup || !setup->isVisible());
        QTRY_VERIFY(sheet<SelfTestView>() && sheet<SelfTestView>()->isVisible());
        QTRY_VERIFY(!setup);
        QCOMPARE(sheet<SelfTestView>()->finish().id, other.id); // made in the finish of the moment
        QTest::mouseClick(sheet<SelfTestView>()->doneButton(), Qt::LeftButton);
        QTRY_VERIFY(!root()->openSheet());

        // The menu item while Setup is open (its shortcut reaches the sheet): the same.
        QTest::mouseClick(root()->topRack()->button("Setup"), Qt::LeftButton);
        setup = sheet<SettingsView>();
        QVERIFY(setup);
        QVERIFY(setup->actions().contains(selfTest));
        selfTest->trigger();
        QTRY_VERIFY(sheet<SelfTestView>() && sheet<SelfTestView>()->isVisible());
        QTRY_VERIFY(!setup);
    }

    void theMusicRowPlaysTheProgramsStation() {
        QVERIFY(start(true));
        RadioStation* station = program->station();
        QVERIFY(station);
        auto* music = root()->findChild<MusicModule*>();
        QVERIFY(music);
        QVERIFY(music->isVisible());
        QVERIFY(root()->logPanel()->isAncestorOf(music));
        // Nothing was fetched at start.
        QVERIFY(!station->playing() && !station->loading() && station->tracks().isEmpty());

        // The row is bound to the application object's station, and a fresh window binds the same one.
        station->setVolume(0.25);
        QCOMPARE(music->volumeSlider()->value(), 250);
        QPointer<MusicModule> old = music;
        QVERIFY(reopenWindow());
        QTRY_VERIFY(!old);
        music = root()->findChild<MusicModule*>();
        QVERIFY(music);
        QCOMPARE(music->volumeSlider()->value(), 250);
        station->setVolume(0.4);
        QCOMPARE(music->volumeSlider()->value(), 400);

        // A finish change re-skins it with the rack.
        QCOMPARE(music->finish().id, Finish::all().first().id);
        const Finish other = Finish::all().last();
        Defaults::shared().setValue(Finish::defaultsKey, other.id);
        QCOMPARE(music->finish().id, other.id);
        QCOMPARE(root()->finish().id, other.id);
        QScrollBar* down = window()->zoomHost()->verticalScrollBar();
        down->setValue(down->maximum()); // the whole log row in the picture
        shoot("music");
    }
};

int main(int argc, char** argv) {
    fixture::privateFolders();
    // Shots of the real window on the test display when there is one.
    if (qgetenv("QT_QPA_PLATFORM") == "xcb") {
        const QByteArray display = qgetenv("TESSROOK_TEST_DISPLAY");
        if (display.isEmpty())
            qputenv("QT_QPA_PLATFORM", "offscreen");
        else
            qputenv("DISPLAY", display);
    }
    pinMediaBackend();
    TRLaunch::useProgramNames();
    QApplication app(argc, argv);
    QApplication::setQuitOnLastWindowClosed(false);
    TessrookMac::applyLook(app); // as the program starts, so the pictures look like it
    WFonts::registerFonts();
    MainWindowSheetsTest t;
    return QTest::qExec(&t, argc, argv);
}

#include "tst_mainwindowsheets.moc"
