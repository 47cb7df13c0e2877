#include "Finish.h"

#include "Defaults.h"
#include "QMTheme.h"

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

// Standard link blue and alarm red, used where the theme's own accent is not blue or red.
const QColor kBlue = rgb(0.3, 0.74, 1.0);
const QColor kRed = rgb(1.0, 0.27, 0.22);

// A finish takes its colours from the themed kit's theme of the same id, so the two kits agree.
Finish fromTheme(const QMTheme& t) {
    Finish f;
    f.id = t.id;
    f.name = t.name;
    f.panelTop = t.raised;
    f.panelBottom = t.base;
    f.engrave = t.metalHi;
    f.accent = t.accent;
    // Gunmetal's own accent is the link blue and Anodized Red's the alarm red; the others use the standards.
    f.rx = t.id == QLatin1String("gunmetal-blue") ? t.accent : kBlue;
    f.tx = t.id == QLatin1String("anodized-red") ? t.accent : kRed;
    f.lcdText = t.accent2;
    f.lcdBack = mix(t.well, t.accent2, 0.07);
    f.lcdDim = mix(t.accent2, f.lcdBack, 0.58);
    f.screw = t.metalMid;
    return f;
}

QList<Finish> build() {
    QList<Finish> finishes;
    for (const QMTheme& t : QMTheme::all()) finishes.append(fromTheme(t));
    return finishes;
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

void Finish::migrateSaved(Defaults& defaults) {
    if (!defaults.contains(defaultsKey)) return;
    const QString stored = defaults.stringValue(defaultsKey);
    const QString current = migrate(stored);
    if (current != stored) defaults.setValue(defaultsKey, current);
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
