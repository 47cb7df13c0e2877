#pragma once
// Control animations: damped springs (given by response and damping fraction) and ease-out curves,
// as easing curves for QVariantAnimation.
#include <QEasingCurve>
#include <QtMath>

namespace Motion {

// Position of a spring released from 0 towards 1 after `t` seconds.
inline qreal springAt(qreal t, qreal response, qreal damping) {
    const qreal w = 2 * M_PI / response;
    const qreal wd = w * std::sqrt(1 - damping * damping);
    return 1 - std::exp(-damping * w * t) * (std::cos(wd * t) + damping * w / wd * std::sin(wd * t));
}

// How long a spring runs before it has settled within a fraction of a percent.
inline int springMs(qreal response, qreal damping) {
    return qRound(1000 * 6.0 / (damping * 2 * M_PI / response));
}

template <int ResponseMs, int DampingPercent> qreal springCurve(qreal progress) {
    const qreal response = ResponseMs / 1000.0, damping = DampingPercent / 100.0;
    return progress >= 1 ? 1 : springAt(progress * springMs(response, damping) / 1000.0, response, damping);
}

template <int ResponseMs, int DampingPercent> QEasingCurve spring() {
    QEasingCurve c;
    c.setCustomType(&springCurve<ResponseMs, DampingPercent>);
    return c;
}

} // namespace Motion
