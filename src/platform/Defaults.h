#pragma once
// The user's settings store: one process-wide object over QSettings with a change signal per key,
// so several views bound to one key (e.g. "finish") follow each other.
#include <QObject>
#include <QSettings>
#include <QString>
#include <QVariant>

class Defaults : public QObject {
    Q_OBJECT
public:
    static Defaults& shared();

    bool contains(const QString& key) const;
    QVariant value(const QString& key, const QVariant& fallback = {}) const;
    // Typed reads accept both native values and the strings an INI file gives back ("true", "42").
    bool boolValue(const QString& key, bool fallback) const;
    int intValue(const QString& key, int fallback) const;
    double doubleValue(const QString& key, double fallback) const;
    QString stringValue(const QString& key, const QString& fallback = {}) const;

    // Stores at once and emits changed(key) when the stored value differs.
    void setValue(const QString& key, const QVariant& value);
    void remove(const QString& key);
    void sync();

    // Why the settings file can't be read or written, with where it is, for the user; "" while it can.
    QString problem() const { return problem_; }

signals:
    void changed(const QString& key);
    // The first time the file is found unreadable or unwritable after the start (once per process).
    void problemFound(const QString& text);

private:
    Defaults();
    void checkFile();
    mutable QSettings settings_;
    QString problem_;
};
