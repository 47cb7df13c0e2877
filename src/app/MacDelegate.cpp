#include "MacDelegate.h"

#include "KeyRepeat.h"
#include "ShellBridge.h"
#include "ShortcutOncePerPress.h"
#include "SpaceBarTalk.h"
#include "TRKLog.h"
#include "WalkieModel.h"

#include <QTimer>

MacDelegate::Shell MacDelegate::realShell() {
    Shell s;
    s.detectLaunch = &ShellBridge::detectLaunch;
    s.openedAtLogin = &ShellBridge::openedAtLogin;
    s.loginWanted = &ShellBridge::loginWanted;
    s.loginStartsMini = &ShellBridge::loginStartsMini;
    s.showMini = &ShellBridge::showMini;
    s.closeMain = &ShellBridge::closeMain;
    s.showMain = &ShellBridge::showMain;
    return s;
}

MacDelegate::MacDelegate(QStringList arguments, Shell shell, QObject* parent)
    : QObject(parent), arguments_(std::move(arguments)), shell_(std::move(shell)) {}

MacDelegate::~MacDelegate() = default;

void MacDelegate::applicationWillFinishLaunching() {
    shell_.detectLaunch();
}

void MacDelegate::applicationDidFinishLaunching() {
    // The other copy was found before the model was made (see main): nothing more to check here.
    spaceBar_ = new SpaceBarTalk({}, this);
    spaceBar_->install();
    (new ShortcutOncePerPress(this))->install();
    // Held keys as presses alone, for every key the program reads; where the server refuses, the space
    // bar's release guard and Qt's repeat flag still hold.
    (void)KeyRepeat::makeDetectable();
    startBackgroundListening();
}

QString MacDelegate::miniStartLine() const {
    if (shell_.openedAtLogin() && shell_.loginWanted() && shell_.loginStartsMini())
        return QStringLiteral("Opened at login: starting in Mini mode");
    if (arguments_.contains(QStringLiteral("--mini"))) return QStringLiteral("Started in Mini mode (--mini)");
    return {};
}

void MacDelegate::startBackgroundListening() {
    // Keeping the process from being napped has no counterpart here: a Linux process is not napped.
    const QString line = miniStartLine();
    if (line.isEmpty()) return;
    TRKLog::log(line);
    shell_.showMini();
    auto close = shell_.closeMain;
    QTimer::singleShot(firstCloseMs, this, [close] { close(); });
    QTimer::singleShot(secondCloseMs, this, [close] { close(); });
}

void MacDelegate::reopen() {
    // Another copy was started: the Dock's reopen rule (bring the main window back when it is not in
    // view) together with the activation of this copy (a visible window comes to the front).
    shell_.showMain();
}

void MacDelegate::openLinks(const QStringList& links) {
    for (const QString& link : links) {
        WalkieModel* model = WalkieModel::shared().data();
        if (!model) continue; // dropped: no model to join with
        (void)model->join(link);
    }
}
