#include "CutText.h"

#include <QFontMetricsF>
#include <QHelpEvent>
#include <QToolTip>
#include <QWidget>

CutText::CutText(QWidget* widget, WholeAt wholeAt) : QObject(widget), wholeAt_(std::move(wholeAt)) {
    widget->installEventFilter(this);
}

void CutText::watch(QWidget* widget, WholeAt wholeAt) {
    new CutText(widget, std::move(wholeAt));
}

void CutText::watch(QWidget* widget, std::function<QString()> text, std::function<bool()> cut) {
    watch(widget, [text = std::move(text), cut = std::move(cut)](const QPoint&) {
        return cut() ? text() : QString();
    });
}

QString CutText::fit(const QString& whole, const QFont& font, qreal width, bool* cut) {
    const QString shown = QFontMetricsF(font).elidedText(whole, Qt::ElideRight, qMax<qreal>(0, width));
    if (cut) *cut = shown != whole;
    return shown;
}

bool CutText::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::ToolTip) return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (!widget->toolTip().isEmpty()) return false; // the widget's own tooltip
    auto* help = static_cast<QHelpEvent*>(event);
    const QString whole = wholeAt_(help->pos());
    if (whole.isEmpty())
        QToolTip::hideText();
    else
        QToolTip::showText(help->globalPos(), whole, widget);
    return true;
}
