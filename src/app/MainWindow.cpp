#include "MainWindow.h"

#include "AppIcon.h"
#include "Defaults.h"
#include "Finish.h"
#include "HelpTopic.h"
#include "KeyShortcuts.h"
#include "QMRLCredit.h"
#include "QMZoomCommands.h"
#include "QMZoomHost.h"
#include "SelfTestRequest.h"
#include "SettingsView.h"
#include "ShellBridge.h"
#include "TRKLog.h"
#include "WalkieModel.h"

#include "HelpView.h"
#include "MacRoot.h"
#include "Mnemonic.h"
#include "MusicModule.h"
#include "RadioStation.h"
#include "SelfTestView.h"
#include "WelcomeGuide.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMenuBar>
#include <QScreen>
#include <QShowEvent>
#include <QStyle>
#include <QUrl>

MainWindow::MainWindow(WalkieModel& model, RadioStation* station, QWidget* parent)
    : QMainWindow(parent), model_(model) {
    setObjectName(QStringLiteral("main"));
    setWindowTitle(tr("QMRL Tessrook"));
    setWindowIcon(AppIcon::icon());
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(minWidth, minHeight);

    auto finish = [] { return Finish::named(Defaults::shared().stringValue(Finish::defaultsKey)); };
    MacRoot::Sheets sheets;
    sheets.settings = [&model](QWidget* parent, MacRoot::Done done) -> QDialog* {
        return new SettingsView(model, std::move(done), parent);
    };
    sheets.selfTest = [&model, finish](QWidget* parent, MacRoot::Done done) -> QDialog* {
        return new SelfTestView(model, finish(), std::move(done), parent);
    };
    sheets.help = [](QWidget* parent, HelpTopic start, MacRoot::Done done) -> QDialog* {
        return new HelpView(start, std::move(done), parent);
    };
    sheets.welcome = [&model, finish](QWidget* parent, MacRoot::Done openHelp, MacRoot::Done done) -> QDialog* {
        return new WelcomeGuide(model, finish(), std::move(openHelp), std::move(done), parent);
    };
    root_ = new MacRoot(model, sheets);
    if (station) {
        music_ = new MusicModule(*station, finish());
        root_->setMusicModule(music_);
    }
    // The rack re-skins itself and the sheets it knows; the music module and the self-test follow here.
    connect(&Defaults::shared(), &Defaults::changed, this, [this, finish](const QString& key) {
        if (key != Finish::defaultsKey) return;
        if (music_) music_->setFinish(finish());
        if (auto* test = qobject_cast<SelfTestView*>(root_->openSheet())) test->setFinish(finish());
    });
    host_ = new QMZoomHost(root_, QSizeF(layoutWidth, layoutHeight));
    setCentralWidget(host_);
    buildMenus();
    root_->setSheetActions(commands());
    resize(defaultWidth, openingHeight());
}

int MainWindow::openingHeight() const {
    // The menu bar sits inside the window here and takes its share of the height: the window opens
    // taller by whatever the rack then lacks at 100 %, as far as the screen allows. The rack's need,
    // not the lock screen's: the window keeps its size when the lock gives way to the rack.
    const int rack = qMax(layoutHeight, root_->rackHeightHint());
    const int needed = menuBar()->sizeHint().height() + rack;
    if (needed <= defaultHeight) return defaultHeight;
    const QScreen* screen = this->screen();
    if (!screen) return needed;
    const int titleBar = style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, this);
    return qMax(defaultHeight, qMin(needed, screen->availableGeometry().height() - titleBar));
}

MainWindow* MainWindow::open(WalkieModel& model, RadioStation* station) {
    auto* w = new MainWindow(model, station);
    if (QScreen* screen = QGuiApplication::primaryScreen()) {
        QRect frame(QPoint(0, 0), w->size());
        frame.moveCenter(screen->availableGeometry().center());
        w->move(frame.topLeft());
    }
    w->show();
    w->raise();
    w->activateWindow();
    return w;
}

void MainWindow::showEvent(QShowEvent* event) {
    QMainWindow::showEvent(event);
    // "On appear": the window being shown by the program, not un-minimised by the user.
    if (!event->spontaneous()) root_->appeared();
}

QAction* MainWindow::add(QMenu* menu, const QString& name, const QString& title, std::function<void()> action,
                         const QKeySequence& keys) {
    QAction* a = menu->addAction(Mnemonic::literal(title));
    a->setObjectName(name);
    if (!keys.isEmpty()) a->setShortcut(keys);
    connect(a, &QAction::triggered, this, [action = std::move(action)] { action(); });
    return a;
}

QAction* MainWindow::command(const QString& name) const {
    return menuBar()->findChild<QAction*>(name);
}

QList<QAction*> MainWindow::commands() const {
    QList<QAction*> all;
    for (QAction* a : menuBar()->findChildren<QAction*>())
        if (!a->isSeparator() && !a->menu() && !a->objectName().isEmpty()) all.append(a);
    // The zoom commands are owned by their command object, not a menu.
    if (zoom_) all << zoom_->zoomInAction() << zoom_->zoomOutAction() << zoom_->actualSizeAction();
    return all;
}

void MainWindow::buildMenus() {
    QMenuBar* bar = menuBar();

    QMenu* app = bar->addMenu(Mnemonic::literal(tr("QMRL Tessrook")));
    add(app, QStringLiteral("about"), tr("About QMRL Tessrook"), [] { QMRLCredit::showAbout(); });
    app->addSeparator();
    add(app, QStringLiteral("quit"), tr("Quit QMRL Tessrook"), [] { ShellBridge::quit(); }, KeyShortcuts::quit());

    QMenu* view = bar->addMenu(Mnemonic::literal(tr("View")));
    zoom_ = new QMZoomCommands(this);
    zoom_->addTo(view);

    QMenu* window = bar->addMenu(Mnemonic::literal(tr("Window")));
    window->addSeparator();
    add(window, QStringLiteral("miniMode"), tr("Mini Mode"), [] { ShellBridge::toggleMini(); },
        KeyShortcuts::miniMode());
    add(window, QStringLiteral("showMain"), tr("Show Main Window"), [] { ShellBridge::showMain(); },
        KeyShortcuts::showMainWindow());

    QMenu* theme = bar->addMenu(Mnemonic::literal(tr("Theme")));
    themes_ = new QActionGroup(this);
    // Optional: an unknown stored id marks no finish.
    themes_->setExclusionPolicy(QActionGroup::ExclusionPolicy::ExclusiveOptional);
    for (const Finish& f : Finish::all()) {
        QAction* a = theme->addAction(Mnemonic::literal(f.name));
        a->setObjectName(QStringLiteral("theme:") + f.id);
        a->setCheckable(true);
        a->setData(f.id);
        themes_->addAction(a);
        connect(a, &QAction::triggered, this, [this, id = f.id] {
            Defaults::shared().setValue(Finish::defaultsKey, id);
            syncTheme(); // choosing the marked item again keeps it marked
        });
    }
    syncTheme();
    connect(&Defaults::shared(), &Defaults::changed, this, [this](const QString& key) {
        if (key == Finish::defaultsKey) syncTheme();
    });

    QMenu* help = bar->addMenu(Mnemonic::literal(tr("Help")));
    add(help, QStringLiteral("website"), tr("Quillmarsh Website"),
        [] { QDesktopServices::openUrl(QMRLCredit::website()); });
    add(help, QStringLiteral("help"), tr("Tessrook Help"), [] { openHelp(HelpTopic::quickStart); },
        KeyShortcuts::help());
    const QList<std::pair<QString, HelpTopic>> chapters{
        {tr("Quick start"), HelpTopic::quickStart},  {tr("Inviting people"), HelpTopic::invite},
        {tr("SOS"), HelpTopic::sos},                 {tr("Troubleshooting"), HelpTopic::trouble},
        {tr("Themes & zoom"), HelpTopic::look},      {tr("Mini mode & open at login"), HelpTopic::miniMode}};
    for (const auto& [title, topic] : chapters)
        add(help, QStringLiteral("help:") + Help::rawValue(topic), title, [t = topic] { openHelp(t); });
    help->addSeparator();
    add(help, QStringLiteral("selfTest"), tr("Connection Self-Test…"), [] { openSelfTest(); },
        KeyShortcuts::selfTest());
    // Selecting the file in a file manager needs D-Bus; the folder opens with the file in it.
    add(help, QStringLiteral("debugLog"), tr("Show Debug Log"),
        [] { QDesktopServices::openUrl(QUrl::fromLocalFile(TRKLog::folder())); });
}

void MainWindow::syncTheme() {
    const QString stored = Defaults::shared().stringValue(Finish::defaultsKey, Finish::all().first().id);
    const QString id = Finish::migrate(stored);
    // setChecked does not trigger: no write back. (Blocking the action's signals would leave the
    // group's idea of the checked action stale.)
    for (QAction* a : themes_->actions()) a->setChecked(a->data().toString() == id);
}
