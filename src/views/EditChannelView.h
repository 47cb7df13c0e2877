#pragma once
// The sheet in which one joined channel is renamed, re-keyed from a name and a new passphrase (with the
// new key's safety code beside the current one), or left with its key deleted after a confirmation.
// Stock controls on the application palette; no finish. The channel is the copy handed in.
#include "Channel.h"
#include "SheetDialog.h"

#include <functional>

class QLabel;
class QLineEdit;
class QMessageBox;
class QPushButton;
class SafetyPreview;
class WalkieModel;

class EditChannelView : public SheetDialog {
    Q_OBJECT
public:
    EditChannelView(WalkieModel& model, const Channel& channel, std::function<void()> done,
                    QWidget* parent = nullptr);
    ~EditChannelView() override;

    void refresh();
    const Channel& channel() const { return channel_; }
    // The new-key row's text: the code, the passphrase problem, or "…" (empty while the row is hidden).
    QString newCodeText() const;
    SafetyPreview& preview() const { return *preview_; }
    // The leave confirmation while it is open (window-modal, opened with open()), else null.
    QMessageBox* leaveConfirmation() const;

private:
    void fieldsEdited();
    void save();
    void askLeave();

    WalkieModel& model_;
    const Channel channel_;
    SafetyPreview* preview_;
    QLabel* title_;
    QLabel* nowCode_;
    QLabel* origin_;
    QLineEdit* name_;
    QLineEdit* pass_;
    QWidget* newRow_;
    QLabel* newCode_;
    QLabel* helpText_;
    QPushButton* leave_;
    QPushButton* cancel_;
    QPushButton* save_;
};
