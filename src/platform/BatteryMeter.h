#pragma once
// The battery charge that SOS records carry, when the machine has a battery.
#include <memory>
#include <optional>

class BatteryMeter {
public:
    virtual ~BatteryMeter() = default;
    virtual std::optional<int> percent() const = 0; // 0..100, nothing without a battery
};

std::shared_ptr<BatteryMeter> makeSystemBatteryMeter();
