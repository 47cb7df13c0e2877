#pragma once
// Requests between parts that do not call each other directly (open help, open the self-test):
// one process-wide poster of named requests with an optional text object.
#include <QObject>
#include <QString>

class Notifications : public QObject {
    Q_OBJECT
public:
    static Notifications& shared();
    void post(const QString& name, const QString& object = {}) { emit posted(name, object); }

signals:
    void posted(const QString& name, const QString& object);
};
