#pragma once
// A colour finish (the skin of the rack), passed by value to every skinned view. Each finish takes its
// colours from the themed kit's theme of the same name, so the two kits agree; receive is a blue and
// transmit a red in every finish.
#include <QColor>
#include <QList>
#include <QString>

class Defaults;

struct Finish {
    QString id;
    QString name;
    QColor panelTop;    // panel gradient, top
    QColor panelBottom; // panel gradient, bottom
    QColor engrave;     // engraved lettering and row text
    QColor accent;      // highlight
    QColor rx;          // receive and "link up"
    QColor tx;          // transmit and alarm
    QColor lcdText;     // lit text on the LCD glass
    QColor lcdDim;      // dim LCD text
    QColor lcdBack;     // the LCD glass itself
    QColor screw;       // screw heads and bezel metal

    // The six finishes in the manual's order; never empty, the first is the default of "finish".
    static const QList<Finish>& all();
    // Old ids map to the finish that replaced them; any other id comes back unchanged.
    static QString migrate(const QString& id);
    // The finish with the (migrated) id, else the first finish.
    static Finish named(const QString& id);
    // The settings key of the chosen finish id, bound by the Theme menu, the rack and the mini panel.
    static inline const QString defaultsKey = QStringLiteral("finish");
    // Rewrites a stored old finish id to its current id; writes nothing when nothing is stored or the
    // stored id is current or unknown.
    static void migrateSaved(Defaults& defaults);
    // An sRGB colour 0xRRGGBB with an opacity.
    static QColor c(quint32 rgb, double opacity = 1.0);

    bool operator==(const Finish& other) const { return id == other.id; }
};
