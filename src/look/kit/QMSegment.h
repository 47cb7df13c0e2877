#pragma once
// The kit's segmented selector: a capsule track with one capsule per choice; the chosen one glows
// in the accent colours. The selection belongs to the caller; a click writes the clicked value.
#include "QMKitWidget.h"

#include <QList>
#include <QPair>
#include <QVariant>

class QMSegment : public QMKitWidget {
    Q_OBJECT
public:
    using Item = QPair<QVariant, QString>;
    QMSegment(const QList<Item>& items, const QVariant& selection, QMUI* ui = nullptr,
              QWidget* parent = nullptr);

    const QList<Item>& items() const { return items_; }
    QVariant selection() const { return selection_; }
    void setSelection(const QVariant& value);
    bool isSelected(int index) const { return items_.at(index).first == selection_; }

    QFont segmentFont() const { return ui().font(11.5, QFont::Bold); }
    double bleed() const override;
    QRectF trackRect() const { return face(); }
    QList<QRectF> segmentRects() const;
    // Widths for segments of natural widths `natural` sharing `available`: equal shares where the
    // space allows, never below a segment's natural width.
    static QList<double> shareWidths(const QList<double>& natural, double available);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // Each click on a segment, also on the one already chosen.
    void selectionWritten(const QVariant& value);

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;

private:
    int segmentAt(const QPointF& pos) const;
    QList<double> naturalWidths() const;
    double segmentHeight() const;

    QList<Item> items_;
    QVariant selection_;
    int pressed_ = -1;
};
