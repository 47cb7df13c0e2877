#include "TRMenuBarMenu.h"

#include "HelpTopic.h"
#include "KeyShortcuts.h"
#include "Mnemonic.h"
#include "QMCredit.h"
#include "TRMiniPanel.h"
#include "TRMiniView.h"
#include "TRMute.h"
#include "TRWindows.h"
#include "WalkieModel.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QTimer>
#include <QUrl>

TRMenuBarMenu::TRMenuBarMenu(WalkieModel* model, TRMiniPanel* mini, TRMute* mute, QWidget* parent)
    : QMenu(parent), model_(model), panel_(mini ? *mini : TRMiniPanel::shared()),
      muteSwitch_(mute ? *mute : TRMute::shared()) {
    setTitle(QStringLiteral("QMRL Tessrook"));
    status_ = addAction(QString());
    status_->setEnabled(false);
    addSeparator();
    showMain_ = addAction(tr("Show Main Window"), this, [] { TRWindows::showMain(); });
    mini_ = addAction(QString(), this, [this] { panel_.toggle(); });
    mute_ = addAction(tr("Mute Incoming"));
    mute_->setCheckable(true);
    mute_->setChecked(muteSwitch_.on());
    connect(mute_, &QAction::toggled, &muteSwitch_, [this](bool on) { muteSwitch_.setOn(on); });
    connect(&muteSwitch_, &TRMute::onChanged, mute_, &QAction::setChecked);
    addSeparator();
    help_ = addAction(tr("Tessrook Help"), this, [] {
        // The manual opens in the main window, so that comes first.
        TRWindows::showMain();
        QTimer::singleShot(helpDelayMs, qApp, [] { openHelp(HelpTopic::miniMode); });
    });
    website_ =
        addAction(tr("Quillmarsh Website"), this, [] { QDesktopServices::openUrl(QUrl(qmrlMakerAddress)); });
    addSeparator();
    quit_ = addAction(tr("Quit QMRL Tessrook"), this, [] { quitApplication(); });
    quit_->setShortcut(KeyShortcuts::quit());
    quit_->setShortcutVisibleInContextMenu(true);

    // Menus exported to a desktop panel may be shown without warning: keep the titles current.
    connect(&panel_, &TRMiniPanel::shownChanged, this, &TRMenuBarMenu::updateMini);
    if (model) {
        connect(model, &WalkieModel::talkChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::channelsChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::selectedIDChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::rosterChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::peerCountsChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::relayUpChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::nearbyPeersChanged, this, &TRMenuBarMenu::updateStatus);
        connect(model, &WalkieModel::lanUnitsChanged, this, &TRMenuBarMenu::updateStatus);
    }
    connect(this, &QMenu::aboutToShow, this, [this] {
        updateStatus();
        updateMini();
    });
    updateStatus();
    updateMini();
}

void TRMenuBarMenu::updateStatus() {
    // A channel name is the user's text: a tab would start the shortcut column.
    QString line = model_ ? TRMiniView::statusLine(*model_) : tr("No channel yet");
    status_->setText(Mnemonic::literal(line.replace(u'\t', u' ')));
}

void TRMenuBarMenu::updateMini() {
    mini_->setText(panel_.shown() ? tr("Hide Mini Mode") : tr("Mini Mode"));
}

namespace {
bool quitRequested = false;
}

void TRMenuBarMenu::quitApplication() {
    quitRequested = true;
    // QCoreApplication::quit() first asks every window to close and gives up when one refuses, as the
    // mini panel does (a close only hides it): leave the event loop directly instead.
    QCoreApplication::exit(0);
}

bool TRMenuBarMenu::quitting() {
    return quitRequested;
}
