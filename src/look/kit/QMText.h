#pragma once
// Small text pieces of the kit: the engraved caption, the two-part chrome title and clock text.
#include "QMKitWidget.h"

#include <QString>

class QMTime {
public:
    QMTime() = delete;
    // Seconds as "m:ss" below an hour and "h:mm:ss" from an hour on, truncated (not rounded) to
    // whole seconds, or to tenths with `tenths`. Bad input (NaN, infinite, negative) gives the zero
    // text; values beyond a 64-bit count of seconds read as the largest such count.
    static QString clock(double seconds, bool tenths);
};

class QMCaption : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMCaption(const QString& text, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);
    QString shownText() const { return text_.toUpper(); }
    QFont captionFont() const;
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
};

class QMChromeTitle : public QMKitWidget {
    Q_OBJECT
public:
    QMChromeTitle(const QString& first, const QString& second, QMUI* ui = nullptr, QWidget* parent = nullptr);
    QFont firstFont() const;
    QFont secondFont() const;
    double spacing() const { return z(5); }
    double bleed() const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString first_;
    QString second_;
};
