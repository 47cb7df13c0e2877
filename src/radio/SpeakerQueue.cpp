#include "SpeakerQueue.h"

#include <algorithm>

void SpeakerQueue::ranDry() {
    ++dry_;
    clean_ = 0;
    ms_ = std::min(ms_.load() + growMs, maxMs);
}

void SpeakerQueue::played(int ms) {
    clean_ += std::max(0, ms);
    if (clean_ < cleanStretchMs) return;
    clean_ = 0;
    ms_ = std::max(ms_.load() - shrinkMs, minMs);
}
