#include "Defaults.h"

#include <QFile>
#include <QFileInfo>
#include <cmath>

Defaults& Defaults::shared() {
    // Made on first use, after main() has set the organisation and application names.
    static Defaults* instance = new Defaults();
    return *instance;
}

Defaults::Defaults() : settings_() {
    checkFile();
}

// QSettings falls back to empty values when it cannot read its file and drops what it cannot write,
// and says nothing either time: find out why, so the user can be told where and what.
void Defaults::checkFile() {
    if (!problem_.isEmpty()) return;
    const QString path = settings_.fileName();
    const QFileInfo info(path);
    QString text;
    if (info.exists() || info.isSymLink()) {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            text = tr("Your settings can't be read: %1 (%2). The defaults are used, and changes are not kept.")
                       .arg(path, file.errorString());
        else if (file.close(); !file.open(QIODevice::WriteOnly | QIODevice::Append))
            text = tr("Your settings can't be saved: %1 (%2). Changes are kept only until you quit.")
                       .arg(path, file.errorString());
    } else if (settings_.status() == QSettings::AccessError) {
        text = tr("Your settings can't be saved: %1 (the folder can't be written). Changes are kept only "
                  "until you quit.")
                   .arg(path);
    }
    if (text.isEmpty()) return;
    problem_ = text;
    emit problemFound(text);
}

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
    if (settings_.status() != QSettings::NoError) checkFile();
    if (!old.isValid() || old.toString() != value.toString()) emit changed(key);
}

void Defaults::remove(const QString& key) {
    if (!settings_.contains(key)) return;
    settings_.remove(key);
    settings_.sync();
    if (settings_.status() != QSettings::NoError) checkFile();
    emit changed(key);
}

void Defaults::sync() {
    settings_.sync();
    if (settings_.status() != QSettings::NoError) checkFile();
}
