#include "SysBatteryMeter.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace {

// Small sysfs attribute files; a missing or unreadable one reads as empty.
QString attribute(const QString& folder, const char* name) {
    QFile f(folder + QLatin1Char('/') + QLatin1String(name));
    if (!f.open(QIODevice::ReadOnly)) return {};
    return QString::fromLatin1(f.read(256)).trimmed();
}

} // namespace

SysBatteryMeter::SysBatteryMeter(QString root) : root_(std::move(root)) {}

std::optional<int> SysBatteryMeter::percent() const {
    const QDir dir(root_);
    const QStringList supplies = dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
    int sum = 0;
    int count = 0;
    for (const QString& name : supplies) {
        const QString folder = dir.filePath(name);
        if (attribute(folder, "type") != QLatin1String("Battery")) continue;
        // Batteries of attached devices say so; the machine's own say "System" or nothing.
        if (attribute(folder, "scope").compare(QLatin1String("Device"), Qt::CaseInsensitive) == 0) continue;
        if (attribute(folder, "present") == QLatin1String("0")) continue;
        bool ok = false;
        const int capacity = attribute(folder, "capacity").toInt(&ok);
        if (!ok) continue;
        sum += std::clamp(capacity, 0, 100);
        ++count;
    }
    if (count == 0) return std::nullopt;
    return int(std::lround(double(sum) / count));
}

std::shared_ptr<BatteryMeter> makeSystemBatteryMeter() {
    return std::make_shared<SysBatteryMeter>();
}
