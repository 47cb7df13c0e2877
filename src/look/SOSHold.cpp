#include "SOSHold.h"

#include <QPointer>

SOSHold::SOSHold(TickSource* ticks, QObject* parent) : QObject(parent), source_(ticks) {
    if (!source_) source_ = new TimerTickSource(this);
    connect(source_, &TickSource::tick, this, &SOSHold::onTick);
}

void SOSHold::setActive(bool active) {
    if (active == active_) return;
    active_ = active;
    // An SOS that became active meanwhile (from elsewhere) ends the hold: there is no second SOS.
    if (active_ && holding_) endHold();
}

void SOSHold::tapCover() {
    if (coverOpen_) return;
    coverOpen_ = true;
    emit coverChanged(true);
}

void SOSHold::closeCover() {
    if (!coverOpen_) return;
    coverOpen_ = false;
    emit coverChanged(false);
}

void SOSHold::beginHold() {
    if (!coverOpen_ || active_ || holding_) return;
    holding_ = true;
    ticks_ = 0;
    source_->start(tickMs);
    emit progressChanged();
}

void SOSHold::stopTimer() {
    if (source_->isActive()) source_->stop();
}

void SOSHold::endHold() {
    stopTimer();
    const bool wasHolding = holding_;
    holding_ = false;
    if (ticks_ < ticksToFire && ticks_ > 0) {
        ticks_ = 0;
        emit holdAborted();
    }
    if (wasHolding) emit progressChanged();
}

void SOSHold::onTick() {
    if (!holding_) { // a stray tick after the hold ended
        stopTimer();
        return;
    }
    if (active_) {
        endHold();
        return;
    }
    ++ticks_;
    if (ticks_ < ticksToFire) {
        emit progressChanged();
        return;
    }
    stopTimer();
    holding_ = false;
    // The action may close the view that owns this hold (and this hold with it).
    const QPointer<SOSHold> alive(this);
    if (const auto fire = fire_) fire();
    if (!alive) return;
    emit fired();
    ticks_ = 0;
    coverOpen_ = false;
    emit coverChanged(false);
    emit progressChanged();
}
