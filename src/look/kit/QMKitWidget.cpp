#include "QMKitWidget.h"

#include <QEvent>
#include <QPainter>
#include <cmath>

QMKitWidget::QMKitWidget(QMUI* ui, QWidget* parent) : QWidget(parent), ui_(ui ? ui : &QMUI::shared()) {
    setAttribute(Qt::WA_TranslucentBackground);
    connect(ui_, &QMUI::changed, this, [this] { kitChanged(); });
}

QRectF QMKitWidget::face() const {
    const double b = bleed();
    return QRectF(rect()).adjusted(b, b, -b, -b);
}

void QMKitWidget::kitChanged() {
    updateGeometry();
    update();
}

QMOverlay::QMOverlay(QWidget* parent, std::function<void(QPainter&)> paint)
    : QWidget(parent), paint_(std::move(paint)) {
    setAttribute(Qt::WA_TransparentForMouseEvents);
    setAttribute(Qt::WA_TranslucentBackground);
    setGeometry(parent->rect());
    parent->installEventFilter(this);
    raise();
}

bool QMOverlay::eventFilter(QObject* watched, QEvent* event) {
    if (watched == parentWidget()) {
        if (event->type() == QEvent::Resize) setGeometry(parentWidget()->rect());
        if (event->type() == QEvent::ChildAdded || event->type() == QEvent::LayoutRequest) raise();
    }
    return false;
}

void QMOverlay::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    paint_(p);
}
