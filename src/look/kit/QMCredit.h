#pragma once
// The maker's credit: the "QMRL" badge, and the badge beside a link to the maker's web page.
#include "QMKitWidget.h"

#include <QUrl>

// The maker's web page: one address for the link and its tooltip.
inline const QString qmrlMakerAddress = QStringLiteral("https://quillmarsh.com");

class QMRLBadge : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMRLBadge(QMUI* ui = nullptr, QWidget* parent = nullptr);
    QString badgeText() const { return tr("QMRL"); }
    QFont badgeFont() const;
    QSizeF padding() const { return QSizeF(z(8), z(3)); }
    static constexpr double borderWidth = 1.2;
    QRectF capsuleRect() const { return face(); }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
};

class QMRLCreditLink : public QMKitWidget {
    Q_OBJECT
public:
    explicit QMRLCreditLink(QMUI* ui = nullptr, QWidget* parent = nullptr);
    static QUrl address() { return QUrl(qmrlMakerAddress); }
    QMRLBadge* badge() const { return badge_; }
    QWidget* link() const { return link_; }
    QFont linkFont() const { return ui().font(10.5, QFont::DemiBold); }

protected:
    void kitChanged() override;

private:
    QMRLBadge* badge_;
    QWidget* link_;
};
