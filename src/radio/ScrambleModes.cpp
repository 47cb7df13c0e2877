#include "Records.h"

QList<ScrambleMode> ScrambleModes::all() {
    return {ScrambleMode::deep, ScrambleMode::high, ScrambleMode::robot, ScrambleMode::alien,
            ScrambleMode::shadow};
}

QString ScrambleModes::name(ScrambleMode m) {
    switch (m) {
    case ScrambleMode::deep:
        return QStringLiteral("Deep");
    case ScrambleMode::high:
        return QStringLiteral("High");
    case ScrambleMode::robot:
        return QStringLiteral("Robot");
    case ScrambleMode::alien:
        return QStringLiteral("Alien");
    case ScrambleMode::shadow:
        return QStringLiteral("Shadow");
    }
    return QStringLiteral("Shadow");
}

QString ScrambleModes::detail(ScrambleMode m) {
    switch (m) {
    case ScrambleMode::deep:
        return QStringLiteral("Lower, heavier voice");
    case ScrambleMode::high:
        return QStringLiteral("Higher, lighter voice");
    case ScrambleMode::robot:
        return QStringLiteral("Metallic robot voice");
    case ScrambleMode::alien:
        return QStringLiteral("Warbling sci-fi voice");
    case ScrambleMode::shadow:
        return QStringLiteral("Low voice with a metallic edge, hardest to recognize");
    }
    return detail(ScrambleMode::shadow);
}

ScrambleMode ScrambleModes::fromRaw(int raw) {
    if (raw >= 0 && raw <= 4) return ScrambleMode(raw);
    return ScrambleMode::shadow;
}
