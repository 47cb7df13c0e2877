#include "TRTalk.h"

#include <QObject>
#include <QPointer>

void TRTalk::press(TRTalkTarget* target) {
    if (target) target->pressTalk(false);
}

void TRTalk::release(TRTalkTarget* target) {
    if (target) target->releaseTalk();
}

TRTalk::Actions TRTalk::actions(TRTalkTarget* target) {
    // The pointer is only followed while the QObject behind it lives.
    QPointer<QObject> guard(dynamic_cast<QObject*>(target));
    auto alive = [guard, target]() -> TRTalkTarget* { return guard ? target : nullptr; };
    return {[alive] {
                if (auto* t = alive()) t->pressTalk(false);
            },
            [alive] {
                if (auto* t = alive()) t->releaseTalk();
            }};
}
