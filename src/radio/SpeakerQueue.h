#pragma once
// How much sound the speaker stream keeps queued at the sound server, ahead of the ear. Small keeps the
// delay low; on a busy machine the thread that feeds the stream can wake later than a small queue lasts,
// and the listener hears a hole. So the queue starts small and adapts as the jitter margin does: each
// time the device runs dry it grows at once, and after a long stretch without running dry it gives a
// little back. The stream takes a growth where the source is silent, or one step at the next dry
// spell, since each step it takes costs that much silence. Moved by the device's own thread; read
// from anywhere.
#include <atomic>

class SpeakerQueue {
public:
    static constexpr int minMs = 15; // what a quiet machine keeps: sound out ~18 ms after it is taken
    static constexpr int maxMs = 80; // a plain 40 ms stream held where 15 ms ran dry; twice that at most
    // Added each time the device runs dry. In the middle of a talk a step is heard as that much silence,
    // so steps are small: under two compilers per core, 20 ms steps overshot to 55 ms and cost 20 ms of
    // silence a link, 10 ms steps settled at 20-35 ms for 10 ms.
    static constexpr int growMs = 10;
    static constexpr int shrinkMs = 5;         // given back per clean stretch
    static constexpr int cleanStretchMs = 10000; // of sound played without running dry

    // The device ran dry: the queue grows, and the clean stretch starts again.
    void ranDry();
    // `ms` of sound went out without the device running dry.
    void played(int ms);

    int ms() const { return ms_.load(); }
    int dryCount() const { return dry_.load(); }

private:
    std::atomic<int> ms_{minMs};
    std::atomic<int> dry_{0};
    int clean_ = 0; // ms played since the device last ran dry or the queue last shrank
};
