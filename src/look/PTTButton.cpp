#include "PTTButton.h"

#include "Skin.h"
#include "WFonts.h"

#include <QAccessible>
#include <QAccessibleActionInterface>
#include <QAccessibleWidget>
#include <QCoreApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QTimer>

namespace {

// One accessibility element, "Push to talk", a button whose default action is a timed press.
class PTTAccessible : public QAccessibleWidget {
public:
    explicit PTTAccessible(QWidget* w)
        : QAccessibleWidget(w, QAccessible::Button, QStringLiteral("Push to talk")) {}
    QString text(QAccessible::Text t) const override {
        if (t == QAccessible::Name) return QStringLiteral("Push to talk");
        return QAccessibleWidget::text(t);
    }
    int childCount() const override { return 0; }
    QStringList actionNames() const override { return {pressAction()}; }
    void doAction(const QString& name) override {
        if (name == pressAction()) static_cast<PTTButton*>(widget())->accessibilityPress();
    }
};

QAccessibleInterface* pttFactory(const QString& className, QObject* object) {
    if (className == QLatin1String("PTTButton") && object && object->isWidgetType())
        return new PTTAccessible(static_cast<QWidget*>(object));
    return nullptr;
}

} // namespace

PTTButton::PTTButton(const Finish& finish, State state, qreal size, std::function<void()> press,
                     std::function<void()> release, QWidget* parent)
    : QWidget(parent), finish_(finish), state_(state), size_(size), press_(std::move(press)),
      release_(std::move(release)) {
    static const bool installed = (QAccessible::installFactory(pttFactory), true);
    Q_UNUSED(installed);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setFocusPolicy(Qt::NoFocus); // the space bar talks through the application, not through focus
    setAccessibleName(QStringLiteral("Push to talk"));
    setCursor(Qt::PointingHandCursor);
}

PTTButton::~PTTButton() {
    // A view rebuilt or closed under the pointer gets no release and no hide event.
    letGo();
}

void PTTButton::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

void PTTButton::setState(State state) {
    if (state == state_) return;
    state_ = state;
    update();
}

void PTTButton::setActions(std::function<void()> press, std::function<void()> release) {
    press_ = std::move(press);
    release_ = std::move(release);
}

void PTTButton::accessibilityPress() {
    if (!isEnabled()) return;
    if (press_) press_();
    // The application object outlives every view: the release arrives even if the button is gone.
    QTimer::singleShot(accessibilityHoldMs, Qt::PreciseTimer, QCoreApplication::instance(),
                       [release = release_] {
                           if (release) release();
                       });
}

QSize PTTButton::sizeHint() const {
    const int side = qCeil(size_) + 2 * margin(size_);
    return {side, side};
}

QRectF PTTButton::dialRect() const {
    const QPointF c = QRectF(rect()).center();
    return QRectF(c.x() - size_ / 2, c.y() - size_ / 2, size_, size_);
}

QString PTTButton::faceText() const {
    switch (state_) {
    case State::transmitting:
        return QStringLiteral("ON AIR");
    case State::receiving:
        return QStringLiteral("RECEIVING");
    case State::busy:
        return QStringLiteral("BUSY");
    case State::idle:
        break;
    }
    return QStringLiteral("PUSH TO TALK");
}

void PTTButton::mousePressEvent(QMouseEvent* e) {
    if (e->button() != Qt::LeftButton || down_) return;
    down_ = true;
    update();
    if (press_) press_();
}

void PTTButton::mouseMoveEvent(QMouseEvent*) {}

void PTTButton::mouseReleaseEvent(QMouseEvent* e) {
    if (e->button() == Qt::LeftButton) letGo();
}

void PTTButton::letGo() {
    if (!down_) return;
    down_ = false;
    update();
    if (release_) release_();
}

void PTTButton::hideEvent(QHideEvent* e) {
    letGo();
    QWidget::hideEvent(e);
}

bool PTTButton::event(QEvent* e) {
    // A modal window opened while held (an alert, a dialog) swallows the mouse release.
    if (e->type() == QEvent::WindowBlocked) letGo();
    return QWidget::event(e);
}

void PTTButton::changeEvent(QEvent* e) {
    if (e->type() == QEvent::EnabledChange && !isEnabled()) letGo();
    QWidget::changeEvent(e);
}

void PTTButton::paintEvent(QPaintEvent*) {
    QPainter p(this);
    // Disabled (no channel, or locked): the whole button at half strength.
    if (!isEnabled()) p.setOpacity(0.5);
    const QString key =
        QStringLiteral("ptt|%1|%2|%3|%4").arg(Skin::key(finish_)).arg(int(state_)).arg(down_).arg(size_);
    Skin::cachedLayer(p, QSizeF(QWidget::size()), key, [this](QPainter& layer) { paintDial(layer); });
}

void PTTButton::paintDial(QPainter& p) {
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF dial = dialRect();
    const QPointF c = dial.center();
    const qreal s = size_;
    const bool tx = state_ == State::transmitting, rx = state_ == State::receiving;
    const QColor lamp = tx ? finish_.tx : finish_.rx;

    // Outer glow while on air or receiving, then the shadow the button casts on the panel.
    if (tx || rx) Skin::halo(p, c, s * 0.44, s * 0.5 + margin(s), lamp, 0.55);
    Skin::halo(p, c + QPointF(0, s * 0.02), s * 0.46, s * 0.53, QColor(0, 0, 0), 0.45);

    // Mounting plate with the tick ring: 72 marks round the whole circle.
    QRadialGradient plate(c, s / 2);
    plate.setColorAt(0.8, Skin::mix(finish_.panelBottom, Qt::black, 0.35));
    plate.setColorAt(1, Skin::mix(finish_.panelTop, Qt::white, 0.08));
    p.setPen(QPen(QColor(0, 0, 0, 150), 1));
    p.setBrush(plate);
    p.drawEllipse(c, s / 2 - 0.5, s / 2 - 0.5);
    p.save();
    p.translate(c);
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0, 0, 0, qRound(255 * 0.28)));
    const QRectF mark(-0.6, -s * 0.47 - s * 0.03, 1.2, s * 0.06);
    for (int i = 0; i < 72; ++i) {
        p.drawRect(mark);
        p.rotate(5);
    }
    p.restore();

    // Chrome bezel and the dome.
    const qreal bezelR = s * 0.415;
    Skin::chromeRing(p, c, bezelR, s * 0.035, finish_);
    const qreal domeR = bezelR - s * 0.035;
    const qreal press = down_ ? s * 0.006 : 0;
    QRadialGradient dome(c + QPointF(-domeR * 0.25, -domeR * 0.35 + press), domeR * 1.35);
    if (tx || rx) {
        dome.setColorAt(0, Skin::mix(lamp, Qt::white, 0.55));
        dome.setColorAt(0.45, lamp);
        dome.setColorAt(1, Skin::mix(lamp, Qt::black, 0.55));
    } else {
        const QColor body = state_ == State::busy ? Skin::mix(finish_.panelTop, QColor(255, 170, 40), 0.25)
                                                  : finish_.panelTop;
        dome.setColorAt(0, Skin::mix(body, Qt::white, down_ ? 0.2 : 0.34));
        dome.setColorAt(0.55, body);
        dome.setColorAt(1, Skin::mix(finish_.panelBottom, Qt::black, 0.45));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(dome);
    p.drawEllipse(c + QPointF(0, press), domeR, domeR);
    // Gloss across the top of the dome.
    QLinearGradient gloss(c - QPointF(0, domeR), c);
    gloss.setColorAt(0, QColor(255, 255, 255, down_ ? 50 : 95));
    gloss.setColorAt(1, QColor(255, 255, 255, 0));
    p.setBrush(gloss);
    p.drawEllipse(QRectF(c.x() - domeR * 0.72, c.y() - domeR * 0.93 + press, domeR * 1.44, domeR * 0.9));

    // Face: a microphone grille of small holes and the state text.
    p.setBrush(QColor(0, 0, 0, tx || rx ? 70 : 95));
    const qreal hole = qMax<qreal>(1.0, s * 0.008);
    const qreal pitch = s * 0.034;
    for (int row = -2; row <= 2; ++row)
        for (int col = -4; col <= 4; ++col) {
            if (std::abs(col) + std::abs(row) * 1.5 > 5) continue;
            p.drawEllipse(c + QPointF(col * pitch, -domeR * 0.38 + row * pitch + press), hole, hole);
        }
    const QColor ink = (tx || rx) ? QColor(255, 255, 255) : finish_.engrave;
    const QFont font = WFonts::display(qMax<qreal>(8, s * 0.06));
    const QRectF textRect(c.x() - domeR, c.y() + press - s * 0.02, domeR * 2, s * 0.12);
    if (tx || rx)
        Skin::glowText(p, textRect, Qt::AlignCenter, faceText(), font, ink, 0.7, qMax<qreal>(2, s * 0.015));
    else
        Skin::engravedText(p, textRect, Qt::AlignCenter, faceText(), font, ink);
}
