#pragma once
// A colour theme of the themed control kit: six built-in themes and the paints derived from them.
#include <QColor>
#include <QGradientStops>
#include <QList>
#include <QString>

struct QMTheme {
    QString id;
    QString name;
    QColor deep;     // darkest background, bottom of the window gradient
    QColor base;     // window background, top of the window gradient
    QColor panel;    // panel face
    QColor raised;   // top of a raised (anodized) surface
    QColor metalHi;  // bright metal highlight
    QColor metalMid; // metal mid tone
    QColor metalLo;  // metal shadow
    QColor accent;   // main accent (lit parts, tint)
    QColor accent2;  // second accent
    QColor text;     // primary text
    QColor dim;      // secondary text
    QColor well;     // sunken well

    // Themes are identified by id alone; their colours are not compared.
    bool operator==(const QMTheme& other) const { return id == other.id; }

    static const QList<QMTheme>& all();
    // The theme with this id, or the first theme when none has it.
    static const QMTheme& named(const QString& id);

    // Paints, each a top-to-bottom gradient given as stops (apply them to a gradient over the shape).
    QGradientStops chrome() const;
    QGradientStops chromeSoft() const;
    QGradientStops anodized() const;
    QGradientStops rim() const;
    QGradientStops background() const;
    // The accent as the platform's colour type (the tint of standard controls).
    QColor nsAccent() const { return accent; }
};

// `c` with its alpha multiplied by `opacity`.
QColor qmOpacity(const QColor& c, double opacity);
