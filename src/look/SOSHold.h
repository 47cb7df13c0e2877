#pragma once
// The lift-and-hold sequence of the covered SOS button: tap lifts the cover, a hold on the uncovered
// button runs 100 ticks of 20 ms (2 s) and then fires once and closes the cover. Releasing early aborts.
// A hold never starts, and a running one stops without firing, while an SOS is already active.
#include "TickSource.h"

#include <QObject>

#include <functional>

class SOSHold : public QObject {
    Q_OBJECT
public:
    static constexpr int tickMs = 20;
    static constexpr int ticksToFire = 100;

    // Uses `ticks` (not owned) when given, else a timer of its own.
    explicit SOSHold(TickSource* ticks = nullptr, QObject* parent = nullptr);

    bool coverOpen() const { return coverOpen_; }
    bool holding() const { return holding_; }
    bool active() const { return active_; }
    int ticks() const { return ticks_; }
    qreal progress() const { return qreal(ticks_) / ticksToFire; }
    bool timerRunning() const { return source_->isActive(); }

    void setActive(bool active);
    void setFire(std::function<void()> fire) { fire_ = std::move(fire); }

    void tapCover();   // only while the cover is closed
    void closeCover(); // the "Close cover" control
    void beginHold();  // every change of the press on the button
    void endHold();    // the press ended (or the button went away)

signals:
    void coverChanged(bool open);
    void progressChanged(); // ticks or holding changed
    void holdAborted();     // released early: the ring eases back to empty
    void fired();

private:
    void onTick();
    void stopTimer();
    TickSource* source_;
    bool coverOpen_ = false;
    bool holding_ = false;
    bool active_ = false;
    int ticks_ = 0;
    std::function<void()> fire_;
};
