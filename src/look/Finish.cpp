#include "Finish.h"

#include <QHash>

namespace {

QColor rgb(double r, double g, double b) {
    return QColor::fromRgbF(float(r), float(g), float(b));
}

QColor mix(const QColor& a, const QColor& b, double t) {
    return QColor::fromRgbF(float(a.redF() + (b.redF() - a.redF()) * t),
                            float(a.greenF() + (b.greenF() - a.greenF()) * t),
                            float(a.blueF() + (b.blueF() - a.blueF()) * t));
}

// The theme colours a finish is derived from (same names, same values as the themed kit's themes).
struct ThemeColours {
    const char* id;
    const char* name;
    QColor deep, base, panel, raised, metalHi, metalMid, metalLo, accent, accent2, text, dim, well;
};

// Standard link blue and alarm red, used where the theme's own accent is not blue or red.
const QColor kBlue = rgb(0.3, 0.74, 1.0);
const QColor kRed = rgb(1.0, 0.27, 0.22);

Finish fromTheme(const ThemeColours& t, const QColor& rx, const QColor& tx) {
    Finish f;
    f.id = QString::fromLatin1(t.id);
    f.name = QString::fromLatin1(t.name);
    f.panelTop = t.raised;
    f.panelBottom = t.base;
    f.engrave = t.metalHi;
    f.accent = t.accent;
    f.rx = rx;
    f.tx = tx;
    f.lcdText = t.accent2;
    f.lcdBack = mix(t.well, t.accent2, 0.07);
    f.lcdDim = mix(t.accent2, f.lcdBack, 0.58);
    f.screw = t.metalMid;
    return f;
}

QList<Finish> build() {
    const ThemeColours gunmetal{"gunmetal-blue",          "Gunmetal Blue",         rgb(0.035, 0.05, 0.075),
                                rgb(0.085, 0.115, 0.155), rgb(0.105, 0.14, 0.185), rgb(0.15, 0.195, 0.25),
                                rgb(0.86, 0.91, 0.97),    rgb(0.4, 0.5, 0.62),     rgb(0.13, 0.18, 0.25),
                                rgb(0.3, 0.74, 1.0),      rgb(0.55, 0.9, 1.0),     rgb(0.92, 0.95, 0.99),
                                rgb(0.58, 0.66, 0.76),    rgb(0.02, 0.03, 0.05)};
    const ThemeColours red{"anodized-red",          "Anodized Red",         rgb(0.07, 0.015, 0.025),
                           rgb(0.17, 0.035, 0.055), rgb(0.215, 0.05, 0.07), rgb(0.3, 0.075, 0.1),
                           rgb(1.0, 0.8, 0.8),      rgb(0.7, 0.22, 0.25),   rgb(0.28, 0.05, 0.08),
                           rgb(1.0, 0.33, 0.28),    rgb(1.0, 0.62, 0.35),   rgb(1.0, 0.94, 0.93),
                           rgb(0.8, 0.6, 0.6),      rgb(0.04, 0.008, 0.012)};
    const ThemeColours rose{"rose-gold",
                            "Rose Gold",
                            rgb(0.12, 0.07, 0.07),
                            rgb(0.235, 0.15, 0.145),
                            rgb(0.285, 0.19, 0.18),
                            rgb(0.375, 0.26, 0.245),
                            rgb(1.0, 0.9, 0.86),
                            rgb(0.86, 0.6, 0.54),
                            rgb(0.45, 0.28, 0.25),
                            rgb(1.0, 0.66, 0.62),
                            rgb(1.0, 0.82, 0.62),
                            rgb(1.0, 0.95, 0.93),
                            rgb(0.85, 0.7, 0.66),
                            rgb(0.07, 0.04, 0.04)};
    const ThemeColours lavender{"lavender-violet",        "Lavender Violet",       rgb(0.06, 0.035, 0.1),
                                rgb(0.135, 0.085, 0.215), rgb(0.175, 0.115, 0.27), rgb(0.245, 0.17, 0.36),
                                rgb(0.95, 0.9, 1.0),      rgb(0.62, 0.5, 0.85),    rgb(0.25, 0.16, 0.4),
                                rgb(0.78, 0.6, 1.0),      rgb(1.0, 0.68, 0.92),    rgb(0.97, 0.95, 1.0),
                                rgb(0.72, 0.65, 0.85),    rgb(0.035, 0.02, 0.06)};
    const ThemeColours black{"black-chrome",           "Black Chrome",           rgb(0.01, 0.01, 0.012),
                             rgb(0.055, 0.055, 0.062), rgb(0.075, 0.075, 0.084), rgb(0.12, 0.12, 0.132),
                             rgb(1.0, 1.0, 1.0),       rgb(0.55, 0.56, 0.6),     rgb(0.1, 0.1, 0.12),
                             rgb(0.8, 0.92, 1.0),      rgb(0.4, 1.0, 0.85),      rgb(0.96, 0.96, 0.98),
                             rgb(0.6, 0.61, 0.66),     rgb(0.0, 0.0, 0.0)};
    const ThemeColours graphite{"graphite-gray",        "Graphite Gray",         rgb(0.11, 0.115, 0.122),
                                rgb(0.2, 0.205, 0.215), rgb(0.245, 0.25, 0.262), rgb(0.32, 0.326, 0.34),
                                rgb(0.97, 0.97, 0.98),  rgb(0.62, 0.63, 0.66),   rgb(0.28, 0.29, 0.31),
                                rgb(1.0, 0.7, 0.22),    rgb(1.0, 0.85, 0.45),    rgb(0.97, 0.97, 0.98),
                                rgb(0.7, 0.71, 0.74),   rgb(0.065, 0.068, 0.072)};
    return {fromTheme(gunmetal, gunmetal.accent, kRed),
            fromTheme(red, kBlue, red.accent),
            fromTheme(rose, kBlue, kRed),
            fromTheme(lavender, kBlue, kRed),
            fromTheme(black, kBlue, kRed),
            fromTheme(graphite, kBlue, kRed)};
}

} // namespace

const QList<Finish>& Finish::all() {
    static const QList<Finish> finishes = build();
    return finishes;
}

QString Finish::migrate(const QString& id) {
    static const QHash<QString, QString> replaced{
        {QStringLiteral("gunmetal"), QStringLiteral("graphite-gray")},
        {QStringLiteral("carbon"), QStringLiteral("black-chrome")},
        {QStringLiteral("blackops"), QStringLiteral("black-chrome")},
        {QStringLiteral("crimson"), QStringLiteral("anodized-red")}};
    return replaced.value(id, id);
}

Finish Finish::named(const QString& id) {
    const QString current = migrate(id);
    for (const Finish& f : all())
        if (f.id == current) return f;
    return all().first();
}

QColor Finish::c(quint32 rgb, double opacity) {
    QColor colour(QRgb(rgb & 0xFFFFFFu));
    colour.setAlphaF(float(qBound(0.0, opacity, 1.0)));
    return colour;
}
