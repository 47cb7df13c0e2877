#include "Defaults.h"

#include <cmath>

Defaults& Defaults::shared() {
    // Made on first use, after main() has set the organisation and application names.
    static Defaults* instance = new Defaults();
    return *instance;
}

Defaults::Defaults() : settings_() {}

bool Defaults::contains(const QString& key) const {
    return settings_.contains(key);
}

QVariant Defaults::value(const QString& key, const QVariant& fallback) const {
    return settings_.value(key, fallback);
}

bool Defaults::boolValue(const QString& key, bool fallback) const {
    const QVariant v = settings_.value(key);
    if (!v.isValid()) return fallback;
    if (v.typeId() == QMetaType::Bool) return v.toBool();
    const QString s = v.toString().trimmed().toLower();
    if (s == QLatin1String("true") || s == QLatin1String("1")) return true;
    if (s == QLatin1String("false") || s == QLatin1String("0")) return false;
    return fallback;
}

int Defaults::intValue(const QString& key, int fallback) const {
    const QVariant v = settings_.value(key);
    if (!v.isValid()) return fallback;
    bool ok = false;
    const int i = v.toString().trimmed().toInt(&ok);
    return ok ? i : fallback;
}

double Defaults::doubleValue(const QString& key, double fallback) const {
    const QVariant v = settings_.value(key);
    if (!v.isValid()) return fallback;
    bool ok = false;
    const double d = v.toString().trimmed().toDouble(&ok);
    return ok ? d : fallback;
}

QString Defaults::stringValue(const QString& key, const QString& fallback) const {
    const QVariant v = settings_.value(key);
    return v.isValid() ? v.toString() : fallback;
}

void Defaults::setValue(const QString& key, const QVariant& value) {
    const QVariant old = settings_.value(key);
    settings_.setValue(key, value);
    settings_.sync();
    if (!old.isValid() || old.toString() != value.toString()) emit changed(key);
}

void Defaults::remove(const QString& key) {
    if (!settings_.contains(key)) return;
    settings_.remove(key);
    settings_.sync();
    emit changed(key);
}

void Defaults::sync() {
    settings_.sync();
}
