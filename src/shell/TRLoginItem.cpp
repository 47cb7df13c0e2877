#include "TRLoginItem.h"

#include "Defaults.h"

#include <QDesktopServices>
#include <QDir>
#include <QUrl>

#include <exception>

TRLoginItem& TRLoginItem::shared() {
    static TRLoginItem* instance = new TRLoginItem();
    return *instance;
}

TRLoginItem::TRLoginItem(std::shared_ptr<TRLoginItemService> service, Defaults* defaults, QObject* parent)
    : QObject(parent), service_(service ? std::move(service) : std::make_shared<TRMainAppLoginService>()),
      defaults_(defaults ? *defaults : Defaults::shared()) {
    wanted_ = defaults_.boolValue(wantKey(), false);
    // Anything but a Boolean (or its INI spelling) counts as the default, true.
    startMini_ = defaults_.boolValue(miniKey(), true);
}

void TRLoginItem::setStartMini(bool on) {
    startMini_ = on;
    defaults_.setValue(miniKey(), on);
    emit changed();
}

QString TRLoginItem::autostartPlace() {
    QString folder = TRMainAppLoginService::autostartFolder();
    const QString home = QDir::homePath();
    if (folder == home || folder.startsWith(home + u'/')) folder = u'~' + folder.mid(home.size());
    return tr("your desktop's startup applications (%1)").arg(folder);
}

QString TRLoginItem::statusText() const {
    using S = TRLoginItemService::Status;
    switch (status()) {
    case S::notRegistered:
        return wanted_
                   ? tr("Not added yet. Turn the switch off and on again, or check %1.").arg(autostartPlace())
                   : tr("Off: the app opens only when you open it.");
    case S::enabled:
        return tr("On: QMRL Tessrook opens by itself when you log in to this computer.");
    case S::requiresApproval:
        return tr("Needs your approval in %1. Turn on QMRL Tessrook there.").arg(autostartPlace());
    case S::notFound:
        return tr("Can't find the app to add it. Start QMRL Tessrook from where it is installed, then turn "
                  "this on again.");
    }
    return tr("Unknown. Check %1.").arg(autostartPlace());
}

void TRLoginItem::setEnabled(bool on) {
    using S = TRLoginItemService::Status;
    lastError_.clear();
    const S now = status();
    try {
        if (on && now != S::enabled) service_->registerItem();
        if (!on && now != S::notRegistered && now != S::notFound) service_->unregisterItem();
    } catch (const std::exception& e) {
        const QString description = QString::fromStdString(e.what());
        lastError_ = on ? tr("Couldn't add the login item (%1). Try again, or add the app yourself in %2.")
                              .arg(description, autostartPlace())
                        : tr("Couldn't remove the login item (%1). You can remove it in %2.")
                              .arg(description, autostartPlace());
    }
    // The wish follows the switch even when the desktop refused; the status line tells what happened.
    wanted_ = on;
    defaults_.setValue(wantKey(), on);
    emit changed();
}

void TRLoginItem::openLoginItemsSettings() {
    QDesktopServices::openUrl(QUrl::fromLocalFile(TRMainAppLoginService::ensureAutostartFolder()));
}
