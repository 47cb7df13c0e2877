#pragma once
// A tick source the test advances by hand, so a 2 s hold runs in no time and exactly.
#include "TickSource.h"

// No Q_OBJECT: it only emits the signal it inherits.
class ManualTicks : public TickSource {
public:
    using TickSource::TickSource;
    void start(int intervalMs) override {
        active_ = true;
        interval_ = intervalMs;
        ++starts_;
    }
    void stop() override { active_ = false; }
    bool isActive() const override { return active_; }
    // Delivers up to n ticks, stopping early when the receiver stops the source.
    int advance(int n) {
        int delivered = 0;
        for (; delivered < n && active_; ++delivered)
            emit tick();
        return delivered;
    }
    int interval() const { return interval_; }
    int starts() const { return starts_; }

private:
    bool active_ = false;
    int interval_ = 0;
    int starts_ = 0;
};
