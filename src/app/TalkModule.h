#pragma once
// The talk module: the status screen, the big push-to-talk button, one hint line and seven switches
// bound to the radio's most used settings. It keeps no state of its own.
#include "MetalPanel.h"
#include "TRTalk.h"

#include <QHash>

class PTTButton;
class QLabel;
class ToggleSwitch;
class WalkieModel;

class TalkModule : public ScrewedPanel {
    Q_OBJECT
public:
    TalkModule(WalkieModel& model, const Finish& finish, QWidget* parent = nullptr);

    // The press and release pair of any push-to-talk target.
    static TRTalk::Actions ptt(TRTalkTarget* target) { return TRTalk::actions(target); }

    void setFinish(const Finish& finish);
    void refresh();

    static QStringList switchTitles();
    ToggleSwitch* toggle(const QString& title) const { return switches_.value(title); }
    PTTButton* talkButton() const { return ptt_; }
    QLabel* hint() const { return hint_; }
    QWidget* statusScreen() const { return lcd_; }

private:
    struct Binding {
        bool (WalkieModel::*get)() const;
        void (WalkieModel::*set)(bool);
        void (WalkieModel::*changed)();
    };
    static QList<std::pair<QString, Binding>> bindings();

    WalkieModel& model_;
    QWidget* lcd_;
    PTTButton* ptt_;
    QLabel* hint_;
    QHash<QString, ToggleSwitch*> switches_;
};
