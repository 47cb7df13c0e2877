#include "FocusInView.h"

#include <QApplication>
#include <QScrollArea>

namespace FocusInView {

void install() {
    static bool installed = false;
    if (installed || !qApp) return;
    installed = true;
    QObject::connect(qApp, &QApplication::focusChanged, qApp, [](QWidget*, QWidget* now) {
        if (!now) return;
        // Every area round it, innermost first, up to its window.
        for (QWidget* w = now->parentWidget(); w; w = w->parentWidget()) {
            auto* area = qobject_cast<QScrollArea*>(w);
            if (area && area->widget() && area->widget()->isAncestorOf(now)) area->ensureWidgetVisible(now);
            if (w->isWindow()) break;
        }
    });
}

} // namespace FocusInView
