#pragma once
// The push-to-talk target and the press/release actions that the talk button, the space bar and the
// mini panel call.
#include <functional>

class TRTalkTarget {
public:
    virtual ~TRTalkTarget() = default;
    virtual void pressTalk(bool sosClip) = 0;
    virtual void releaseTalk() = 0;
};

namespace TRTalk {
void press(TRTalkTarget* target);   // pressTalk(false); nothing without a target
void release(TRTalkTarget* target); // releaseTalk(); nothing without a target

struct Actions {
    std::function<void()> press;
    std::function<void()> release;
};
// Both actions hold the target weakly: the target must be a QObject (the model is); once it is gone
// they do nothing.
Actions actions(TRTalkTarget* target);
} // namespace TRTalk
