#include "TRMute.h"

#include "WalkieModel.h"

TRMute& TRMute::shared() {
    static TRMute* instance = new TRMute();
    return *instance;
}

TRMute::TRMute(QObject* parent) : QObject(parent) {}

void TRMute::setOn(bool on) {
    const bool changed = on != on_;
    on_ = on;
    // Copied on every assignment, so a switch that agrees with itself still corrects the model.
    if (const QPointer<WalkieModel> model = WalkieModel::shared()) model->setMuteSpeaker(on);
    if (changed) emit onChanged(on);
}
