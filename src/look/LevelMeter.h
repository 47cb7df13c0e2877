#pragma once
// A horizontal bar meter. Bar i (from 0) is lit when min(level x 1.6, 1) is above i / bars, so the
// meter is full from a level of 0.625 up.
#include <QColor>
#include <QWidget>

class LevelMeter : public QWidget {
    Q_OBJECT
public:
    LevelMeter(float level, const QColor& colour, int bars = 18, QWidget* parent = nullptr);
    // How many bars a level lights (not-a-number and negative levels light none).
    static int litBars(float level, int bars);
    static bool isLit(float level, int index, int bars);
    float level() const { return level_; }
    void setLevel(float level);
    QColor colour() const { return colour_; }
    void setColour(const QColor& colour);
    int bars() const { return bars_; }
    void setBars(int bars);
    static constexpr int barWidth = 5;
    static constexpr int gap = 3;
    static constexpr int barHeight = 12;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    float level_;
    QColor colour_;
    int bars_;
};
