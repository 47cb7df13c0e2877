#include "QMRoot.h"

#include "QMPaint.h"

#include <QPainter>
#include <QVBoxLayout>

QMRootModifier::QMRootModifier(QWidget* content, QMUI* ui, QWidget* parent)
    : QMKitWidget(ui, parent), content_(content) {
    setAttribute(Qt::WA_TranslucentBackground, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(content_);
    applyPalette();
}

void QMRootModifier::applyPalette() {
    const QMTheme& t = theme();
    QPalette pal = palette();
    pal.setColor(QPalette::Window, t.base);
    pal.setColor(QPalette::Base, t.well);
    pal.setColor(QPalette::AlternateBase, t.panel);
    pal.setColor(QPalette::Button, t.raised);
    pal.setColor(QPalette::WindowText, t.text);
    pal.setColor(QPalette::Text, t.text);
    pal.setColor(QPalette::ButtonText, t.text);
    pal.setColor(QPalette::PlaceholderText, t.dim);
    pal.setColor(QPalette::Highlight, t.nsAccent());
    pal.setColor(QPalette::HighlightedText, Qt::white);
    pal.setColor(QPalette::Link, t.accent);
    pal.setColor(QPalette::ToolTipBase, t.panel);
    pal.setColor(QPalette::ToolTipText, t.text);
    setPalette(pal);
}

void QMRootModifier::kitChanged() {
    applyPalette();
    QMKitWidget::kitChanged();
}

void QMRootModifier::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.fillRect(rect(), QMPaint::vertical(rect(), theme().background()));
}

QMRootModifier* qmrlRoot(QWidget* content, QMUI* ui) {
    return new QMRootModifier(content, ui);
}
