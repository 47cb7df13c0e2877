#include "QMZoom.h"

#include "Defaults.h"

#include <cmath>

const QList<int>& QMZoom::levels() {
    static const QList<int> list{85, 100, 115, 130, 150, 175, 200};
    return list;
}

double QMZoom::clamp(double x) {
    // std::round rounds halves away from zero; NaN would survive std::min/max, so it is caught first.
    const double r = std::round(x * 100.0) / 100.0;
    if (std::isnan(r)) return min;
    return std::min(std::max(r, min), max);
}

double QMZoom::fromStored(double stored) {
    if (stored == 0.0 || !std::isfinite(stored)) return 1.0;
    return clamp(stored);
}

double QMZoom::value() {
    return fromStored(Defaults::shared().doubleValue(key, 0.0));
}

void QMZoom::setValue(double x) {
    Defaults::shared().setValue(key, clamp(x));
}

void QMZoom::reset() {
    Defaults::shared().setValue(key, 1.0);
}
