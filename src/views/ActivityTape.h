#pragma once
// The list of recent transmissions: one painted line per finished transmission, sent or received,
// newest first, at most 40, with direction, time, who, channel and length; or the empty-state text.
// Its size hint follows the row count (the main window scrolls it).
#include "Finish.h"

#include <QHash>
#include <QPixmap>
#include <QUuid>
#include <QWidget>

class WalkieModel;

class ActivityTape : public QWidget {
    Q_OBJECT
public:
    ActivityTape(WalkieModel& model, const Finish& finish, QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    void refresh();

    // "7s": the length rounded like C's "%.0f" (an exact half to even), then "s".
    static QString lengthText(double seconds);
    int rowCount() const;
    // The row texts as shown (for tests): "who · channel  7s".
    QStringList shownTexts() const;

    static constexpr int maxRows = 40;
    static constexpr int rowHeight = 18;
    static constexpr int spacing = 4;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    // What a row shows, made once per change of the list rather than on every paint.
    struct Row {
        QUuid id;
        bool outgoing = false;
        QString time, who, channel, length;
    };
    // A row's texts as they fit `width`, and where each starts.
    struct Fit {
        QString who, channel;
        qreal timeX = 0, whoX = 0, channelX = 0, lengthX = 0;
        bool cut = false;
    };
    static Fit fit(const Row& row, qreal width);
    void paintRow(QPainter& p, const Row& row, const QRectF& r) const;
    WalkieModel& model_;
    Finish finish_;
    QList<Row> rows_;
    QHash<QUuid, QPixmap> cache_; // by entry: a new transmission draws one new row
    qreal cacheScale_ = 0;
    int cacheWidth_ = -1;
};
