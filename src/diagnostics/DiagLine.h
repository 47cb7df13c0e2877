#pragma once
// One line of the connection report: a level, a one-line title and an optional detail saying what to do.
#include <QString>
#include <QUuid>

struct DiagLine {
    enum class Level { ok, warn, bad, info };

    QUuid id = QUuid::createUuid(); // fresh for every line of every report
    Level level = Level::info;
    QString title;
    QString detail; // "" = none

    // The case name: "ok", "warn", "bad", "info".
    static QString levelName(Level level);
};
