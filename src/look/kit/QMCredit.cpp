#include "QMCredit.h"

#include "QMPaint.h"

#include <QDesktopServices>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

QMRLBadge::QMRLBadge(QMUI* ui, QWidget* parent) : QMKitWidget(ui, parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setToolTip(tr("Quillmarsh"));
}

QFont QMRLBadge::badgeFont() const {
    QFont f = ui().font(10, QFont::ExtraBold);
    f.setLetterSpacing(QFont::AbsoluteSpacing, 1.3);
    return f;
}

QSize QMRLBadge::sizeHint() const {
    const QFontMetricsF fm(badgeFont());
    const QSizeF pad = padding();
    return QSize(int(std::ceil(fm.horizontalAdvance(badgeText()) + 2 * pad.width())),
                 int(std::ceil(fm.height() + 2 * pad.height())));
}

void QMRLBadge::paintEvent(QPaintEvent*) {
    const QMTheme& t = theme();
    QPainter p(this);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
    const QRectF c = capsuleRect();
    p.fillPath(QMPaint::capsule(c),
               QMPaint::vertical(c, QMPaint::stops({t.accent2, t.accent, qmOpacity(t.accent, 0.6)})));
    QMPaint::strokeBorder(p, c, QMPaint::capsule, borderWidth, QMPaint::vertical(c, t.rim()));
    p.setFont(badgeFont());
    p.setPen(Qt::white);
    p.drawText(c, Qt::AlignCenter, badgeText());
}

namespace {
// The maker's name as a link: hands the address to the system's web handler when clicked.
class CreditLinkLabel : public QWidget {
public:
    CreditLinkLabel(QMRLCreditLink* owner) : QWidget(owner), owner_(owner) {
        setCursor(Qt::PointingHandCursor);
        setToolTip(qmrlMakerAddress);
        setAccessibleName(text());
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QString text() const { return QMRLCreditLink::tr("Quillmarsh"); }
    QSize sizeHint() const override {
        const QFontMetricsF fm(owner_->linkFont());
        return QSize(int(std::ceil(fm.horizontalAdvance(text()))), int(std::ceil(fm.height())));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setFont(owner_->linkFont());
        p.setPen(owner_->theme().dim);
        p.drawText(rect(), Qt::AlignCenter, text());
    }
    void mousePressEvent(QMouseEvent* e) override { pressed_ = e->button() == Qt::LeftButton; }
    void mouseReleaseEvent(QMouseEvent* e) override {
        if (pressed_ && rect().contains(e->position().toPoint()))
            QDesktopServices::openUrl(QMRLCreditLink::address());
        pressed_ = false;
    }

private:
    QMRLCreditLink* owner_;
    bool pressed_ = false;
};
} // namespace

QMRLCreditLink::QMRLCreditLink(QMUI* ui, QWidget* parent) : QMKitWidget(ui, parent) {
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(int(std::lround(z(6))));
    badge_ = new QMRLBadge(&this->ui(), this);
    link_ = new CreditLinkLabel(this);
    row->addWidget(badge_, 0, Qt::AlignVCenter);
    row->addWidget(link_, 0, Qt::AlignVCenter);
}

void QMRLCreditLink::kitChanged() {
    layout()->setSpacing(int(std::lround(z(6))));
    link_->updateGeometry();
    link_->update();
    QMKitWidget::kitChanged();
}
