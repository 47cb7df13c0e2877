#pragma once
// The privacy lock screen, shown in place of the rack while the model is locked: a shield, the title
// and an "Unlock" key. Each showing asks for authentication once, without a click.
#include "MetalPanel.h"

class QLabel;
class QPushButton;
class WalkieModel;

class LockScreen : public ScrewedPanel {
    Q_OBJECT
public:
    LockScreen(WalkieModel& model, const Finish& finish, QWidget* parent = nullptr);
    void setFinish(const Finish& finish);
    // One showing of the screen (the main window appearing, not un-minimising): asks once.
    void appeared();
    QPushButton* unlockButton() const { return unlock_; }

private:
    void styleParts();
    WalkieModel& model_;
    QLabel* shield_;
    QLabel* title_;
    QPushButton* unlock_;
};
