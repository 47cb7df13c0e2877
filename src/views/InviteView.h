#pragma once
// The sheet that passes a channel on: its invite link as a QR code and a copy button, the safety code,
// a new key after a confirmation, leaving the channel, and the help chapters on invites and the code.
// The channel is the copy handed in; the finish is taken but the sheet draws in the application's colours.
#include "Channel.h"
#include "Finish.h"
#include "SheetDialog.h"

#include <functional>

class QLabel;
class QMessageBox;
class QPushButton;
class WalkieModel;

class InviteView : public SheetDialog {
    Q_OBJECT
public:
    InviteView(WalkieModel& model, const Channel& channel, const Finish& finish, std::function<void()> done,
               QWidget* parent = nullptr);
    ~InviteView() override;

    void setFinish(const Finish& finish);
    void refresh();
    const Channel& channel() const { return channel_; }
    bool copied() const { return copied_; }
    // The new-key confirmation while it is open (window-modal, opened with open()), else null.
    QMessageBox* rotateConfirmation() const;
    // The QR code widget, null when no code could be made of the link.
    QWidget* qrCode() const { return qr_; }

    // The QR area's side and the white margin around it.
    static constexpr int qrSide = 190;
    static constexpr int qrMargin = 10;

private:
    void copy();
    void askRotate();
    void leave();

    WalkieModel& model_;
    const Channel channel_;
    Finish finish_;
    bool copied_ = false;
    QWidget* qr_ = nullptr;
    QPushButton* whatsThis_;
    QPushButton* copy_;
    QPushButton* rotate_;
    QPushButton* leave_;
    QPushButton* howInvites_;
    QPushButton* doneButton_;
};
