#pragma once
// The window zoom factor: one stored Double shared by the zoom host and the zoom menu commands.
#include <QList>
#include <QString>

class QMZoom {
public:
    QMZoom() = delete;

    static inline const QString key = QStringLiteral("qmrl.zoom");
    static constexpr double min = 0.85;
    static constexpr double max = 2.0;
    static constexpr double step = 0.15;
    // Percentages offered by the "Zoom Level" submenu, in menu order.
    static const QList<int>& levels();

    // Rounded half away from zero to two decimals, then limited to min ... max.
    static double clamp(double x);
    // The factor a stored value stands for: an absent key, 0 and non-finite values mean 1.0
    // (host and commands must agree on what they show and step from).
    static double fromStored(double stored);

    static double value();
    static void setValue(double x);
    // Stores 1.0 exactly, bypassing the rounding of setValue.
    static void reset();
};
