#include "GuardedSOSButton.h"

#include "Motion.h"
#include "RackButton.h"
#include "SOSAccessible.h"
#include "Skin.h"
#include "WFonts.h"

#include <QAccessible>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {
constexpr int kStatusGap = 6;
constexpr int kStatusHeight = 16;
constexpr int kRowGap = 4;
} // namespace

GuardedSOSButton::GuardedSOSButton(const Finish& finish, bool active, bool silent, qreal size,
                                   std::function<void()> fire, std::function<void()> cancel,
                                   TickSource* ticks, QWidget* parent)
    : QWidget(parent), finish_(finish), silent_(silent), size_(size), cancelAction_(std::move(cancel)),
      hold_(ticks, this), keys_(this) {
    static const bool installed = (QAccessible::installFactory(sosAccessibleFactory), true);
    Q_UNUSED(installed);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setAccessibleName(tr("SOS")); // the group round the cover and the button
    // A fresh press lifts the closed cover or starts the hold; holding on through the lift does not
    // start the hold, as a tap then a press is needed with the mouse.
    keys_.pressed = [this] {
        if (!isEnabled()) return;
        if (!hold_.coverOpen())
            hold_.tapCover();
        else
            hold_.beginHold();
    };
    keys_.released = [this] { hold_.endHold(); };
    hold_.setActive(active);
    hold_.setFire(std::move(fire));
    cancel_ = new RackButton(
        QStringLiteral("Cancel SOS"), finish_, {}, false,
        [this] {
            if (cancelAction_) cancelAction_();
        },
        this);
    close_ = new RackButton(
        QStringLiteral("Close cover"), finish_, {}, false, [this] { hold_.closeCover(); }, this);

    coverAnim_.setEasingCurve(Motion::spring<350, 70>());
    coverAnim_.setDuration(Motion::springMs(0.35, 0.7));
    connect(&coverAnim_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        coverLift_ = v.toReal();
        update();
    });
    ringAnim_.setEasingCurve(QEasingCurve::OutCubic);
    ringAnim_.setDuration(200);
    connect(&ringAnim_, &QVariantAnimation::valueChanged, this, [this](const QVariant& v) {
        shownProgress_ = v.toReal();
        update();
    });
    connect(&hold_, &SOSHold::coverChanged, this, [this](bool open) {
        // Lifting is sprung; closing (by hand or after firing) uses the plain animation.
        animateCover(open, open);
        syncControls();
        sosAccessibleFocus(this); // Return now acts on the other part
    });
    connect(&hold_, &SOSHold::progressChanged, this, [this] {
        if (ringAnim_.state() == QAbstractAnimation::Running && hold_.ticks() == 0) return;
        ringAnim_.stop();
        shownProgress_ = hold_.progress();
        update();
    });
    connect(&hold_, &SOSHold::holdAborted, this, [this] {
        ringAnim_.stop();
        ringAnim_.setStartValue(shownProgress_);
        ringAnim_.setEndValue(0.0);
        ringAnim_.start();
    });
    syncControls();
}

void GuardedSOSButton::setFinish(const Finish& finish) {
    finish_ = finish;
    cancel_->setFinish(finish);
    close_->setFinish(finish);
    update();
}

void GuardedSOSButton::setActive(bool active) {
    hold_.setActive(active);
    syncControls();
    update();
}

void GuardedSOSButton::setSilent(bool silent) {
    silent_ = silent;
    update();
}

void GuardedSOSButton::setActions(std::function<void()> fire, std::function<void()> cancel) {
    hold_.setFire(std::move(fire));
    cancelAction_ = std::move(cancel);
}

void GuardedSOSButton::animateCover(bool open, bool sprung) {
    coverAnim_.stop();
    if (sprung) {
        coverAnim_.setEasingCurve(Motion::spring<350, 70>());
        coverAnim_.setDuration(Motion::springMs(0.35, 0.7));
    } else {
        coverAnim_.setEasingCurve(QEasingCurve::InOutQuad);
        coverAnim_.setDuration(350);
    }
    coverAnim_.setStartValue(coverLift_);
    coverAnim_.setEndValue(open ? 1.0 : 0.0);
    if (isVisible()) {
        coverAnim_.start();
    } else {
        coverLift_ = open ? 1 : 0;
    }
}

void GuardedSOSButton::liftCover() {
    if (isEnabled()) hold_.tapCover();
}

void GuardedSOSButton::pressButtonOnce() {
    if (!isEnabled()) return;
    if (hold_.holding())
        hold_.endHold();
    else
        hold_.beginHold();
}

void GuardedSOSButton::keyPressEvent(QKeyEvent* e) {
    if (!keys_.keyPress(e)) QWidget::keyPressEvent(e);
}

void GuardedSOSButton::keyReleaseEvent(QKeyEvent* e) {
    if (!keys_.keyRelease(e)) QWidget::keyReleaseEvent(e);
}

void GuardedSOSButton::focusInEvent(QFocusEvent* e) {
    update();
    QWidget::focusInEvent(e);
    sosAccessibleFocus(this);
}

void GuardedSOSButton::focusOutEvent(QFocusEvent* e) {
    // A key held as focus leaves is never seen coming up here.
    keys_.drop();
    update();
    QWidget::focusOutEvent(e);
}

QString GuardedSOSButton::buttonAccessibleText() const {
    return hold_.active() ? QStringLiteral("SOS active") : QStringLiteral("SOS. Hold for two seconds");
}

QString GuardedSOSButton::statusText() const {
    return silent_ ? QStringLiteral("Silent SOS armed") : QString();
}

void GuardedSOSButton::syncControls() {
    // A key pressed from the keyboard that now goes ("Cancel SOS", "Close cover") hands the focus to
    // the cover, marked, so the next Return acts here instead of on a hidden key.
    const bool cancelShown = hold_.active();
    const bool closeShown = hold_.coverOpen() && !hold_.active();
    if ((cancel_->hasFocus() && !cancelShown) || (close_->hasFocus() && !closeShown))
        setFocus(Qt::TabFocusReason);
    cancel_->setVisible(cancelShown);
    close_->setVisible(closeShown);
    const int rowTop = lift() + qRound(size_) + kStatusGap + kStatusHeight + kRowGap;
    for (RackButton* b : {cancel_, close_}) {
        const QSize s = b->sizeHint();
        b->setGeometry((width() - s.width()) / 2, rowTop, s.width(), s.height());
    }
}

QSize GuardedSOSButton::sizeHint() const {
    const int w =
        qMax(qCeil(size_) + 2 * margin(), qMax(cancel_->sizeHint().width(), close_->sizeHint().width()));
    const int h = lift() + qCeil(size_) + kStatusGap + kStatusHeight + kRowGap + RackButton::height + 1;
    return {w, h};
}

void GuardedSOSButton::resizeEvent(QResizeEvent*) {
    syncControls();
}

QRectF GuardedSOSButton::housingRect() const {
    return QRectF(width() / 2.0 - size_ / 2, lift(), size_, size_);
}

QRectF GuardedSOSButton::coverRect() const {
    return housingRect().adjusted(2, 2, -2, -2);
}

QPointF GuardedSOSButton::buttonCentre() const {
    return housingRect().center();
}

qreal GuardedSOSButton::buttonRadius() const {
    return size_ * 0.34;
}

bool GuardedSOSButton::onButton(const QPointF& pos) const {
    const QPointF d = pos - buttonCentre();
    return d.x() * d.x() + d.y() * d.y() <= buttonRadius() * buttonRadius();
}

void GuardedSOSButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const QPointF pos = e->position();
    // The closed cover lies over the button and takes every hit on it.
    if (!hold_.coverOpen() && coverRect().contains(pos)) {
        target_ = Target::cover;
    } else if (hold_.coverOpen() && onButton(pos)) {
        target_ = Target::button;
        hold_.beginHold();
    } else {
        target_ = Target::none;
    }
}

void GuardedSOSButton::mouseMoveEvent(QMouseEvent*) {
    if (target_ == Target::button) hold_.beginHold(); // each change of the press checks the guards again
}

void GuardedSOSButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton) return;
    const Target t = target_;
    target_ = Target::none;
    if (t == Target::cover && coverRect().contains(e->position()))
        hold_.tapCover();
    else if (t == Target::button)
        hold_.endHold();
}

void GuardedSOSButton::hideEvent(QHideEvent* e) {
    // A hidden button never sees the mouse come up: end the hold instead of letting it fire.
    target_ = Target::none;
    keys_.drop();
    hold_.endHold();
    QWidget::hideEvent(e);
}

bool GuardedSOSButton::event(QEvent* e) {
    // A modal window opened during a hold swallows the release: end the hold rather than fire unseen.
    if (e->type() == QEvent::WindowBlocked) {
        target_ = Target::none;
        keys_.drop();
        hold_.endHold();
    }
    return QWidget::event(e);
}

void GuardedSOSButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) {
        target_ = Target::none;
        hold_.endHold();
    }
    QWidget::changeEvent(e);
}

void GuardedSOSButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paintHousing(p);
    paintButton(p);
    paintCover(p);
    if (hasFocus()) {
        // The mark follows the keyboard's target: the cover while closed, the button once lifted.
        QPainterPath ring;
        if (hold_.coverOpen()) {
            const qreal r = buttonRadius() + size_ * 0.035 + size_ * 0.07;
            ring.addEllipse(buttonCentre(), r, r);
        } else {
            ring.addRoundedRect(housingRect().adjusted(-4, -4, 4, 4), size_ * 0.14 + 4, size_ * 0.14 + 4);
        }
        Skin::focusRing(p, ring);
    }
    if (!statusText().isEmpty()) {
        const QRectF line(0, lift() + size_ + kStatusGap, width(), kStatusHeight);
        QFont f = WFonts::body(11, QFont::ExtraBold);
        f.setLetterSpacing(QFont::AbsoluteSpacing, 0.3);
        Skin::glowText(p, line, Qt::AlignCenter, statusText(), f, Skin::mix(finish_.tx, Qt::white, 0.2), 0.5,
                       2.5);
    }
}

void GuardedSOSButton::paintHousing(QPainter& p) {
    const QRectF h = housingRect();
    const qreal corner = size_ * 0.14;
    Skin::dropShadow(p, h, corner, 4, 0.4);
    // Base plate with a hazard-striped border round a black well.
    QPainterPath plate;
    plate.addRoundedRect(h, corner, corner);
    p.fillPath(plate, QColor(18, 18, 18));
    p.save();
    p.setClipPath(plate);
    const QColor yellow(246, 190, 0);
    p.setPen(Qt::NoPen);
    p.setBrush(yellow);
    const qreal stripe = size_ * 0.07;
    for (qreal x = h.left() - h.height(); x < h.right(); x += 2 * stripe) {
        QPolygonF band;
        band << QPointF(x, h.bottom()) << QPointF(x + stripe, h.bottom())
             << QPointF(x + stripe + h.height(), h.top()) << QPointF(x + h.height(), h.top());
        p.drawPolygon(band);
    }
    p.restore();
    const QRectF well = h.adjusted(size_ * 0.07, size_ * 0.07, -size_ * 0.07, -size_ * 0.07);
    QLinearGradient wg(well.topLeft(), well.bottomLeft());
    wg.setColorAt(0, QColor(8, 8, 8));
    wg.setColorAt(1, QColor(34, 34, 36));
    p.setPen(QPen(QColor(0, 0, 0, 200), 1));
    p.setBrush(wg);
    p.drawRoundedRect(well, corner * 0.6, corner * 0.6);
    p.setPen(QPen(QColor(255, 255, 255, 50), 1));
    p.setBrush(Qt::NoBrush);
    p.drawRoundedRect(h.adjusted(0.5, 0.5, -0.5, -0.5), corner, corner);
    // Hinge knuckles on the top edge.
    for (qreal dx : {-size_ * 0.25, size_ * 0.25}) {
        const QRectF k(h.center().x() + dx - size_ * 0.09, h.top() - size_ * 0.025, size_ * 0.18,
                       size_ * 0.06);
        QLinearGradient kg(k.topLeft(), k.bottomLeft());
        kg.setColorAt(0, Skin::mix(finish_.screw, Qt::white, 0.6));
        kg.setColorAt(1, Skin::mix(finish_.screw, Qt::black, 0.5));
        p.setPen(QPen(QColor(0, 0, 0, 160), 0.8));
        p.setBrush(kg);
        p.drawRoundedRect(k, k.height() / 2, k.height() / 2);
    }
}

void GuardedSOSButton::paintButton(QPainter& p) {
    const QPointF c = buttonCentre();
    const qreal r = buttonRadius();
    const bool active = hold_.active();
    const QColor red = finish_.tx;
    if (active) Skin::halo(p, c, r * 0.95, r * 1.32, red, 0.7);
    Skin::chromeRing(p, c, r + size_ * 0.035, size_ * 0.035, finish_);
    const bool pressed = hold_.holding();
    QRadialGradient dome(c + QPointF(-r * 0.28, -r * 0.35), r * 1.35);
    dome.setColorAt(0, Skin::mix(red, Qt::white, active ? 0.6 : (pressed ? 0.3 : 0.45)));
    dome.setColorAt(0.5, active ? Skin::mix(red, Qt::white, 0.1) : red);
    dome.setColorAt(1, Skin::mix(red, Qt::black, 0.6));
    p.setPen(Qt::NoPen);
    p.setBrush(dome);
    p.drawEllipse(c, r, r);
    QLinearGradient gloss(c - QPointF(0, r), c);
    gloss.setColorAt(0, QColor(255, 255, 255, 110));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - r * 0.7, c.y() - r * 0.92, r * 1.4, r * 0.85));
    const QFont big = WFonts::display(size_ * 0.2);
    const QRectF sosRect(c.x() - r, c.y() - r * 0.42 - (active ? r * 0.12 : 0), 2 * r, r * 0.84);
    Skin::glowText(p, sosRect, Qt::AlignCenter, QStringLiteral("SOS"), big, Qt::white, active ? 0.8 : 0.35,
                   qMax<qreal>(2, size_ * 0.02));
    if (active) {
        QFont small = WFonts::body(qMax<qreal>(8, size_ * 0.075), QFont::ExtraBold);
        small.setLetterSpacing(QFont::AbsoluteSpacing, 1);
        Skin::glowText(p, QRectF(c.x() - r, c.y() + r * 0.3, 2 * r, r * 0.35), Qt::AlignCenter,
                       QStringLiteral("ACTIVE"), small, Qt::white, 0.8, 2);
    }
    // The hold ring fills clockwise from the top.
    if (shownProgress_ > 0) {
        const qreal ringR = r + size_ * 0.035 + size_ * 0.03;
        p.setPen(QPen(QColor(255, 255, 255, 60), size_ * 0.03, Qt::SolidLine, Qt::FlatCap));
        p.setBrush(Qt::NoBrush);
        p.drawEllipse(c, ringR, ringR);
        p.setPen(QPen(Qt::white, size_ * 0.03, Qt::SolidLine, Qt::RoundCap));
        const QRectF arc(c.x() - ringR, c.y() - ringR, 2 * ringR, 2 * ringR);
        p.drawArc(arc, 90 * 16, -qRound(qMin<qreal>(shownProgress_, 1) * 360 * 16));
    }
}

void GuardedSOSButton::paintCover(QPainter& p) {
    const QRectF cr = coverRect();
    const qreal hingeY = cr.top();
    const qreal theta = qDegreesToRadians(108.0 * coverLift_);
    // Viewing distance: the lifted edge comes towards the eye, mildly enough that the widened cover
    // stays inside the widget's margins and the room above the housing.
    const qreal d = size_ * 8;
    // Rotation about the hinge (the cover's top edge) round the x axis, with perspective.
    const QTransform perspective(1, 0, 0, 0, std::cos(theta), -std::sin(theta) / d, 0, 0, 1);
    const QTransform t = QTransform::fromTranslate(-cr.center().x(), -hingeY) * perspective *
                         QTransform::fromTranslate(cr.center().x(), hingeY);
    p.save();
    p.setOpacity(coverOpacity());
    p.setTransform(t, true);
    const QRectF local = cr;
    const qreal corner = size_ * 0.12;
    const bool underside = std::cos(theta) < 0;
    QLinearGradient g(local.topLeft(), local.bottomRight());
    const QColor plastic = Skin::mix(finish_.tx, QColor(255, 60, 40), 0.3);
    g.setColorAt(0, Skin::alpha(Skin::mix(plastic, Qt::white, 0.35), 0.82));
    g.setColorAt(0.5, Skin::alpha(plastic, 0.72));
    g.setColorAt(1, Skin::alpha(Skin::mix(plastic, Qt::black, 0.35), 0.85));
    p.setPen(QPen(Skin::alpha(Skin::mix(plastic, Qt::black, 0.5), 0.95), 1.4));
    p.setBrush(g);
    p.drawRoundedRect(local, corner, corner);
    // Raised rim and a glint along the plastic.
    p.setBrush(Qt::NoBrush);
    p.setPen(QPen(QColor(255, 255, 255, 90), 1.2));
    p.drawRoundedRect(local.adjusted(size_ * 0.05, size_ * 0.05, -size_ * 0.05, -size_ * 0.05), corner * 0.7,
                      corner * 0.7);
    QPainterPath glint;
    glint.moveTo(local.left() + size_ * 0.1, local.top() + size_ * 0.1);
    glint.lineTo(local.left() + size_ * 0.45, local.top() + size_ * 0.1);
    glint.lineTo(local.left() + size_ * 0.1, local.top() + size_ * 0.45);
    glint.closeSubpath();
    p.fillPath(glint, QColor(255, 255, 255, 45));
    if (!underside) {
        QFont f = WFonts::body(qMax<qreal>(8, size_ * 0.085), QFont::ExtraBold);
        f.setLetterSpacing(QFont::AbsoluteSpacing, size_ * 0.01);
        Skin::engravedText(p,
                           QRectF(local.left(), local.bottom() - size_ * 0.26, local.width(), size_ * 0.16),
                           Qt::AlignCenter, QStringLiteral("LIFT COVER"), f, QColor(255, 255, 255, 235));
    }
    p.restore();
}
