#pragma once
// The ground of a window of kit widgets: the theme's background gradient behind everything, the
// accent as the tint of standard controls and a dark colour scheme; follows theme changes.
#include "QMKitWidget.h"

class QMRootModifier : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMRootModifier(QWidget* content, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QWidget* content() const { return content_; }

protected:
    void kitChanged() override;
    void paintEvent(QPaintEvent*) override;

private:
    void applyPalette();
    QWidget* content_;
};

// Wraps `content` in the kit's root.
QMRootModifier* qmrlRoot(QWidget* content, QMUI* ui = nullptr);
