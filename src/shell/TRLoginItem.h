#pragma once
// The open-at-login model: the user's wish, the "start in Mini mode" choice, the registration through a
// login-item service, the status line and the last registration error.
#include "TRLoginItemService.h"

#include <QObject>
#include <QString>

#include <memory>

class Defaults;

class TRLoginItem : public QObject {
    Q_OBJECT
public:
    // `service` empty = the real autostart entry. Reads the stored wish and choice; neither reads nor
    // changes the registration.
    explicit TRLoginItem(std::shared_ptr<TRLoginItemService> service = {}, Defaults* defaults = nullptr,
                         QObject* parent = nullptr);
    static TRLoginItem& shared();

    static QString wantKey() { return QStringLiteral("qmrl.tr.openAtLogin"); }
    static QString miniKey() { return QStringLiteral("qmrl.tr.loginStartsMini"); }

    TRLoginItemService& service() const { return *service_; }
    bool wanted() const { return wanted_; }
    bool startMini() const { return startMini_; }
    void setStartMini(bool on); // stored at once
    QString lastError() const { return lastError_; }

    TRLoginItemService::Status status() const { return service_->status(); }
    bool needsApproval() const { return status() == TRLoginItemService::Status::requiresApproval; }
    QString statusText() const;

    // Registers or removes the entry as needed; the wish is stored whether or not that worked.
    void setEnabled(bool on);
    // Opens the autostart folder (made when missing) in the desktop's file manager.
    void openLoginItemsSettings();
    // Only tells observers to read the status again.
    void refresh() { emit changed(); }

    // "your desktop's startup applications (~/.config/autostart)"
    static QString autostartPlace();

signals:
    void changed(); // wanted, startMini, lastError or the status may have changed

private:
    std::shared_ptr<TRLoginItemService> service_;
    Defaults& defaults_;
    bool wanted_ = false;
    bool startMini_ = true;
    QString lastError_;
};
