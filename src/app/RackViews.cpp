#include "RackViews.h"

#include "ActivityTape.h"
#include "EditChannelView.h"
#include "InviteView.h"
#include "JoinView.h"
#include "MessagesPanel.h"
#include "MusicModule.h"
#include "SOSPanel.h"
#include "StatusLCD.h"
#include "TRMiniPanel.h"
#include "TRWindows.h"
#include "WalkieModel.h"

namespace RackViews {

QWidget* statusLCD(WalkieModel& model, const Finish& finish) {
    return new StatusLCD(model, finish, false);
}

QWidget* messagesPanel(WalkieModel& model, const Finish& finish) {
    return new MessagesPanel(model, finish);
}

QWidget* activityTape(WalkieModel& model, const Finish& finish) {
    return new ActivityTape(model, finish);
}

void setFinish(QWidget* view, const Finish& finish) {
    if (auto* v = qobject_cast<StatusLCD*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<MessagesPanel*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<ActivityTape*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<InviteView*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<SOSPanel*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<MusicModule*>(view)) return v->setFinish(finish);
}

QDialog* joinSheet(WalkieModel& model, QWidget* parent, Done done) {
    return new JoinView(model, std::move(done), {}, parent); // no scanning from the main window
}

QDialog* inviteSheet(WalkieModel& model, const Channel& channel, const Finish& finish, QWidget* parent,
                     Done done) {
    return new InviteView(model, channel, finish, std::move(done), parent);
}

QDialog* editSheet(WalkieModel& model, const Channel& channel, QWidget* parent, Done done) {
    return new EditChannelView(model, channel, std::move(done), parent);
}

QDialog* sosPanel(WalkieModel& model, const Finish& finish, QWidget* parent, Done done) {
    return new SOSPanel(&model, finish, std::move(done), parent);
}

void switchToMini() {
    TRMiniPanel::shared().show();
    TRWindows::closeMain();
}

} // namespace RackViews
