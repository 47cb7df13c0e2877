#pragma once
// Common ground of the kit widgets: the settings object they follow (the shared one unless they
// are handed another), redrawn and re-measured on every change of theme or zoom, and a transparent
// margin ("bleed") around the face so painted shadows and glows are not cut at the widget's edge.
#include "QMUI.h"

#include <QWidget>
#include <functional>

class QMKitWidget : public QWidget {
    Q_OBJECT
public:
    explicit QMKitWidget(QMUI* ui = nullptr, QWidget* parent = nullptr);

    QMUI& ui() const { return *ui_; }
    const QMTheme& theme() const { return ui_->theme(); }
    double z(double v) const { return ui_->z(v); }

    // The control's own face, inside the bleed margin.
    virtual QRectF face() const;
    virtual double bleed() const { return 0.0; }

protected:
    virtual void kitChanged();

private:
    QMUI* ui_;
};

// A child that paints above its siblings and lets every click through to what lies below.
class QMOverlay : public QWidget {
public:
    QMOverlay(QWidget* parent, std::function<void(QPainter&)> paint);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void paintEvent(QPaintEvent*) override;

private:
    std::function<void(QPainter&)> paint_;
};
