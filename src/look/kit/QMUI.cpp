#include "QMUI.h"

#include "Defaults.h"
#include "WFonts.h"

#include <QDir>
#include <QFontDatabase>
#include <cmath>

// The kit's light and semibold type are faces of the rounded family that the program's shared
// fonts do not carry; they live with the kit. Resources of a static library are kept only when
// something names them.
static void initKitFonts() {
    Q_INIT_RESOURCE(kit_fonts);
}

static void registerKitFonts() {
    static const bool done = [] {
        initKitFonts();
        const QDir dir(QStringLiteral(":/kit/fonts"));
        for (const QString& file : dir.entryList({QStringLiteral("*.ttf")}, QDir::Files))
            QFontDatabase::addApplicationFont(dir.filePath(file));
        return true;
    }();
    Q_UNUSED(done);
}

const QList<double>& QMUI::zoomSteps() {
    static const QList<double> steps{0.85, 0.9, 1.0, 1.1, 1.25, 1.4, 1.5, 1.75, 2.0};
    return steps;
}

QMUI::QMUI(QObject* parent) : QObject(parent) {
    WFonts::registerFonts();
    registerKitFonts();
    Defaults& d = Defaults::shared();
    theme_ = QMTheme::named(d.stringValue(themeKey, QMTheme::all().first().id));
    const double stored = d.doubleValue(zoomKey, 0.0);
    // A value that is no number at all (NaN, infinity) is treated like an absent one.
    zoom_ = (stored == 0.0 || !std::isfinite(stored)) ? 1.0 : clampZoom(stored);
}

QMUI& QMUI::shared() {
    static QMUI* instance = new QMUI();
    return *instance;
}

void QMUI::setTheme(const QMTheme& theme) {
    theme_ = theme;
    Defaults::shared().setValue(themeKey, theme.id);
    emit themeChanged();
    emit changed();
}

void QMUI::setZoom(double zoom) {
    zoom_ = zoom;
    Defaults::shared().setValue(zoomKey, zoom);
    emit zoomChanged();
    emit changed();
}

double QMUI::clampZoom(double x) {
    const double r = std::round(x * 100.0) / 100.0;
    if (std::isnan(r)) return zoomMin;
    return std::min(std::max(r, zoomMin), zoomMax);
}

double QMUI::nextZoom(double after) {
    for (double s : zoomSteps())
        if (s > after + 0.001) return s;
    return zoomMax;
}

double QMUI::previousZoom(double before) {
    const QList<double>& steps = zoomSteps();
    for (auto it = steps.crbegin(); it != steps.crend(); ++it)
        if (*it < before - 0.001) return *it;
    return zoomMin;
}

void QMUI::zoomIn() {
    setZoom(nextZoom(zoom_));
}
void QMUI::zoomOut() {
    setZoom(previousZoom(zoom_));
}
void QMUI::zoomReset() {
    setZoom(1.0);
}

QFont QMUI::font(double size, QFont::Weight weight, Design design) const {
    return systemFont(size * zoom_, weight, design);
}

QFont QMUI::systemFont(double size, QFont::Weight weight, Design design) {
    QFont f;
    switch (design) {
    case Design::Monospaced:
        f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        f.setStyleHint(QFont::Monospace);
        break;
    case Design::Rounded:
        // The soft geometric sans bundled with the program stands in for a rounded system face.
        f = QFont(QStringLiteral("Manrope"));
        break;
    case Design::Standard:
        f = QFontDatabase::systemFont(QFontDatabase::GeneralFont);
        break;
    }
    // Sizes are logical pixels; a point is 96/72 of one whatever the desktop's font DPI says.
    f.setPointSizeF(size * 72.0 / 96.0);
    f.setWeight(weight);
    f.setHintingPreference(QFont::PreferNoHinting);
    return f;
}

double QMUI::logicalSize(const QFont& font) {
    return font.pointSizeF() * 96.0 / 72.0;
}
