#pragma once
// The kit's containers: a raised anodised panel with brushed texture, sheen, rim and drop shadow,
// and a sunken well that clips its content to its rounded outline; plus the brushed hairlines.
#include "QMKitWidget.h"

#include <QList>

class QMOverlay;

// Horizontal white hairlines on a fixed 1.6-point pitch; never takes a click.
class BrushedLines : public QWidget {
    Q_OBJECT
public:
    struct Row {
        double y;
        double opacity;
    };
    explicit BrushedLines(QWidget* parent = nullptr);
    static QList<Row> rows(double height);
    static void paint(QPainter& p, const QRectF& r);

protected:
    void paintEvent(QPaintEvent*) override;
};

class QMPanel : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMPanel(QWidget* content, double radius = 20, double padding = 12, QMUI* ui = nullptr,
                     QWidget* parent = nullptr);
    QWidget* content() const { return content_; }
    double radius() const { return radius_; }
    double padding() const { return padding_; }
    double shadowBlur() const { return z(8); }
    double shadowOffset() const { return z(3); }
    static constexpr double rimWidth = 1.2;
    double bleed() const override;
    QPainterPath outline() const;

protected:
    void kitChanged() override;
    void paintEvent(QPaintEvent*) override;

private:
    void applyMargins();
    QWidget* content_;
    double radius_;
    double padding_;
    QMOverlay* rim_;
};

class QMWell : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMWell(QWidget* content, double radius = 14, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QWidget* content() const { return content_; }
    double radius() const { return radius_; }
    double rimWidth() const { return z(2); }
    QPainterPath outline() const;

protected:
    void kitChanged() override;
    void resizeEvent(QResizeEvent*) override;
    void paintEvent(QPaintEvent*) override;

private:
    void clipContent();
    QWidget* content_;
    double radius_;
    QMOverlay* rims_;
};
