#pragma once
// The SOS module: the guarded SOS button with its silent switch, a small screen with the live alerts
// and the check-in countdown, the key that opens the SOS panel and, during a check-in, "I'm OK".
#include "MetalPanel.h"

class Engraved;
class GuardedSOSButton;
class HelpDot;
class LCDLabel;
class LCDScreen;
class RackButton;
class ToggleSwitch;
class WalkieModel;

class SOSModule : public ScrewedPanel {
    Q_OBJECT
public:
    SOSModule(WalkieModel& model, const Finish& finish, QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    void refresh();
    // What the guarded button's hold does: raises this unit's SOS, silent as the switch is now.
    void fire();
    bool silent() const { return silent_; }

    // "CHECK-IN m:ss" for the time left (whole seconds, never below 0), or "CHECK-IN OFF".
    static QString checkInText(const QDateTime& now, const QDateTime& deadline);

    GuardedSOSButton* sosButton() const { return button_; }
    ToggleSwitch* silentSwitch() const { return silentSwitch_; }
    LCDLabel* alertsLine() const { return alerts_; }
    LCDLabel* nameLine() const { return name_; }
    LCDLabel* checkInLine() const { return checkIn_; }
    RackButton* panelKey() const { return panelKey_; }
    RackButton* okKey() const { return okKey_; }

private:
    WalkieModel& model_;
    bool silent_ = false;
    Engraved* header_;
    HelpDot* help_;
    GuardedSOSButton* button_;
    ToggleSwitch* silentSwitch_;
    LCDScreen* screen_;
    LCDLabel* alerts_;
    LCDLabel* name_;
    LCDLabel* checkIn_;
    RackButton* panelKey_;
    RackButton* okKey_;
};
