#pragma once
// The model's one-line notice as a floating capsule at the bottom of what is visible of the window,
// fading in and out. It takes no clicks: the rack under it stays usable.
#include "Finish.h"

#include <QVariantAnimation>
#include <QWidget>

class NoticeBanner : public QWidget {
    Q_OBJECT
public:
    explicit NoticeBanner(const Finish& finish, QWidget* parent = nullptr);
    void setFinish(const Finish& finish);
    // An empty text fades the banner out and hides it.
    void setNotice(const QString& text);
    QString notice() const { return text_; }
    qreal opacity() const { return opacity_; }
    // Places the banner at the bottom centre of `visible` (in the parent's coordinates).
    void place(const QRect& visible);
    static constexpr int bottomGap = 24;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QSize sizeFor(int maxWidth) const;
    Finish finish_;
    QString text_;  // the notice now
    QString shown_; // the text drawn (the last notice while fading out)
    qreal opacity_ = 0;
    QRect visible_;
    QVariantAnimation fade_;
};
