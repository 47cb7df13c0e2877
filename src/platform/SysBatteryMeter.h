#pragma once
// The battery charge as the kernel reports it under /sys/class/power_supply. The root folder can be
// pointed elsewhere, so tests can lay out a fake tree.
#include "BatteryMeter.h"

#include <QString>

class SysBatteryMeter : public BatteryMeter {
public:
    explicit SysBatteryMeter(QString root = QStringLiteral("/sys/class/power_supply"));
    // The mean charge of the machine's own batteries (not those of a mouse or a headset), read anew
    // on every call; nothing when there is none.
    std::optional<int> percent() const override;

private:
    QString root_;
};
