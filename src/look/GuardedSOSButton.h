#pragma once
// The red SOS button under a hinged safety cover ("LIFT COVER"). A tap lifts the cover; holding the
// uncovered button for two seconds calls `fire` once and closes the cover; a white ring fills while
// held. While `active` it shows "ACTIVE" and offers "Cancel SOS"; with the cover open it offers
// "Close cover"; when `silent` it shows "Silent SOS armed". From the keyboard it is one Tab stop:
// Return lifts the cover, and Return held for two seconds on the uncovered button fires, the same guard
// as the mouse's.
#include "Finish.h"
#include "KeyActivation.h"
#include "SOSHold.h"

#include <QVariantAnimation>
#include <QWidget>

#include <functional>

class RackButton;

class GuardedSOSButton : public QWidget {
    Q_OBJECT
public:
    // `ticks` (not owned) drives the hold; by default a 20 ms timer.
    GuardedSOSButton(const Finish& finish, bool active, bool silent, qreal size = 120,
                     std::function<void()> fire = {}, std::function<void()> cancel = {},
                     TickSource* ticks = nullptr, QWidget* parent = nullptr);

    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    bool active() const { return hold_.active(); }
    void setActive(bool active);
    bool silent() const { return silent_; }
    void setSilent(bool silent);
    qreal size() const { return size_; }
    void setActions(std::function<void()> fire, std::function<void()> cancel);

    const SOSHold& hold() const { return hold_; }
    void liftCover(); // what a tap on the closed cover does (also its accessibility action)
    // The round button's accessibility action: starts the two-second hold (the ring shows it), or
    // stops a running one, as lifting the finger would.
    void pressButtonOnce();
    qreal coverAngle() const { return -108.0 * coverLift_; } // degrees about the hinge, 0 when closed
    qreal coverOpacity() const { return 1.0 - 0.45 * coverLift_; }
    qreal shownProgress() const { return shownProgress_; }

    QRectF housingRect() const; // the square the button and the closed cover occupy
    QRectF coverRect() const;   // the closed cover (the tap target)
    QPointF buttonCentre() const;
    qreal buttonRadius() const; // the round hold button
    RackButton* cancelButton() const { return cancel_; }
    RackButton* closeButton() const { return close_; }
    QString statusText() const; // the text line under the button
    QString coverAccessibleText() const { return QStringLiteral("SOS safety cover. Tap to lift"); }
    QString buttonAccessibleText() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void resizeEvent(QResizeEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void hideEvent(QHideEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    void focusInEvent(QFocusEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    void changeEvent(QEvent*) override;
    bool event(QEvent*) override;

private:
    enum class Target { none, cover, button };
    void animateCover(bool open, bool sprung);
    void syncControls();
    bool onButton(const QPointF& pos) const;
    void paintHousing(class QPainter& p);
    void paintButton(QPainter& p);
    void paintCover(QPainter& p);
    int margin() const { return qRound(size_ * 0.08); }
    // Room above the housing for the lifted cover, its spring overshoot included.
    int lift() const { return qRound(size_ * 0.45); }

    Finish finish_;
    bool silent_;
    qreal size_;
    std::function<void()> cancelAction_;
    SOSHold hold_;
    Target target_ = Target::none;
    KeyHold keys_;
    qreal coverLift_ = 0;     // 0 closed ... 1 open (sprung, may overshoot)
    qreal shownProgress_ = 0; // the ring as drawn
    QVariantAnimation coverAnim_;
    QVariantAnimation ringAnim_;
    RackButton* cancel_;
    RackButton* close_;
};
