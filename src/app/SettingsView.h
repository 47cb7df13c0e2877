#pragma once
// The Setup sheet: every control bound straight to a setting of the model, which stores and applies it
// the moment it is written (text fields on every edit). No state and no save step of its own.
#include <QDialog>
#include <functional>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class WalkieModel;

class SettingsView : public QDialog {
    Q_OBJECT
public:
    SettingsView(WalkieModel& model, std::function<void()> done, QWidget* parent = nullptr);

    QLineEdit* callSignField() const { return callSign_; }
    QCheckBox* useRelaySwitch() const { return useRelay_; }
    QLineEdit* relayField() const { return relayURL_; }
    QLabel* relayStatusLine() const { return relayStatus_; }
    QCheckBox* useLANSwitch() const { return useLAN_; }
    QLabel* lanStatusLine() const { return lanStatus_; }
    QLineEdit* directPeersField() const { return directPeers_; }
    QPushButton* selfTestButton() const { return selfTest_; }
    QCheckBox* useNearbySwitch() const { return useNearby_; }
    QLabel* nearbyStatusLine() const { return nearbyStatus_; }
    QCheckBox* radioSoundSwitch() const { return radioSound_; }
    QCheckBox* rogerBeepSwitch() const { return rogerBeep_; }
    QCheckBox* scramblerSwitch() const { return scrambler_; }
    QComboBox* scrambleModePicker() const { return scrambleMode_; }
    QCheckBox* monitorAllSwitch() const { return monitorAll_; }
    QCheckBox* requireUnlockSwitch() const { return requireUnlock_; }
    QWidget* backgroundSection() const { return background_; }
    QPushButton* topDoneButton() const { return topDone_; }
    QPushButton* doneButton() const { return bottomDone_; }

    void reject() override; // Escape and the window's close button close the sheet through `done`

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:

    WalkieModel& model_;
    std::function<void()> done_;
    QLineEdit* callSign_;
    QCheckBox* useRelay_;
    QLineEdit* relayURL_;
    QLabel* relayStatus_;
    QCheckBox* useLAN_;
    QLabel* lanStatus_;
    QLineEdit* directPeers_;
    QPushButton* selfTest_;
    QCheckBox* useNearby_;
    QLabel* nearbyStatus_;
    QCheckBox* radioSound_;
    QCheckBox* rogerBeep_;
    QCheckBox* scrambler_;
    QComboBox* scrambleMode_;
    QCheckBox* monitorAll_;
    QCheckBox* requireUnlock_;
    QWidget* background_ = nullptr;
    QPushButton* topDone_;
    QPushButton* bottomDone_;
};
