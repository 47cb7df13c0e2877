#pragma once
// The kit's one shared settings object: the current theme and the kit zoom, both kept in the
// user's settings. Every kit widget reads it (QMUI::shared() unless it is handed another one).
#include "QMTheme.h"

#include <QFont>
#include <QList>
#include <QObject>

class QMUI final : public QObject {
    Q_OBJECT
public:
    enum class Design { Standard, Rounded, Monospaced };

    static inline const QString themeKey = QStringLiteral("qmrl.ui.theme");
    static inline const QString zoomKey = QStringLiteral("qmrl.ui.zoom");
    static constexpr double zoomMin = 0.85;
    static constexpr double zoomMax = 2.0;
    static const QList<double>& zoomSteps();

    // Reads theme and zoom from the settings; does not write them back.
    explicit QMUI(QObject* parent = nullptr);
    static QMUI& shared();

    const QMTheme& theme() const { return theme_; }
    void setTheme(const QMTheme& theme);
    double zoom() const { return zoom_; }
    // Stores the value as given (no limiting here).
    void setZoom(double zoom);

    static double clampZoom(double x);
    static double nextZoom(double after);
    static double previousZoom(double before);
    void zoomIn();
    void zoomOut();
    void zoomReset();

    double z(double v) const { return v * zoom_; }

    // The kit's type: `size` points at zoom 1, scaled by the zoom.
    QFont font(double size, QFont::Weight weight = QFont::Normal, Design design = Design::Rounded) const;
    QFont mono(double size, QFont::Weight weight = QFont::Medium) const {
        return font(size, weight, Design::Monospaced);
    }
    // A font of exactly `size` logical pixels, independent of the kit zoom.
    static QFont systemFont(double size, QFont::Weight weight, Design design);
    // The logical pixel size a kit font stands for.
    static double logicalSize(const QFont& font);

signals:
    void themeChanged();
    void zoomChanged();
    void changed();

private:
    QMTheme theme_;
    double zoom_ = 1.0;
};

// The kit's type as a value: `size` points at zoom 1 in `weight` and `design`, read at the zoom of `ui`.
struct QMFont {
    const QMUI* ui;
    double size;
    QFont::Weight weight;
    QMUI::Design design;
    QFont font() const { return ui->font(size, weight, design); }
};

inline QFont qmFont(double size, QFont::Weight weight = QFont::Normal,
                    QMUI::Design design = QMUI::Design::Rounded, const QMUI& ui = QMUI::shared()) {
    return QMFont{&ui, size, weight, design}.font();
}
inline QFont qmMono(double size, QFont::Weight weight = QFont::Medium, const QMUI& ui = QMUI::shared()) {
    return QMFont{&ui, size, weight, QMUI::Design::Monospaced}.font();
}
