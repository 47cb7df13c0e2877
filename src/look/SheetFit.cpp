#include "SheetFit.h"

#include <QDialog>
#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QTimer>

namespace {

int layoutHeight(QLayout* layout, int width) {
    // Not raised to the layout's minimum: a wrapped label's minimum assumes a narrow width and so
    // many more lines than it has.
    return layout->hasHeightForWidth() ? layout->totalHeightForWidth(width)
                                       : layout->totalSizeHint().height();
}

int widgetHeight(QWidget* w, int width) {
    if (QLayout* l = w->layout()) return layoutHeight(l, width);
    return w->hasHeightForWidth() ? w->heightForWidth(width) : w->sizeHint().height();
}

} // namespace

SheetFit* SheetFit::follow(QDialog* dialog, QScrollArea* scroll) {
    return new SheetFit(dialog, scroll);
}

SheetFit::SheetFit(QDialog* dialog, QScrollArea* scroll) : QObject(dialog), dialog_(dialog), scroll_(scroll) {
    dialog_->installEventFilter(this);
    if (scroll_ && scroll_->widget()) scroll_->widget()->installEventFilter(this);
}

int SheetFit::neededHeight(int width) const {
    QLayout* layout = dialog_->layout();
    if (!layout) return dialog_->sizeHint().height();
    if (!scroll_ || !scroll_->widget()) return layoutHeight(layout, width);
    // The area's own hint says nothing of its content: put the content's full height in its place.
    const QSize areaHint =
        scroll_->sizeHint().expandedTo(scroll_->minimumSize()).boundedTo(scroll_->maximumSize());
    const QMargins m = layout->contentsMargins();
    QWidget* body = scroll_->widget();
    // The area decides whether to scroll from the content's height at its preferred width when that
    // is narrower than the view: the content must fit at that width too.
    const int areaWidth = width - m.left() - m.right() - 2 * scroll_->frameWidth();
    const int preferred =
        body->sizeHint().expandedTo(body->minimumSizeHint()).expandedTo(body->minimumSize()).width();
    const int content = widgetHeight(body, qMin(areaWidth, preferred)) + 2 * scroll_->frameWidth();
    return layout->totalSizeHint().height() - areaHint.height() + content;
}

int SheetFit::screenCap() const {
    QWidget* anchor = dialog_->parentWidget() ? dialog_->parentWidget()->window() : dialog_;
    QScreen* screen = anchor->screen();
    if (!screen) return QWIDGETSIZE_MAX;
    // The title bar is the window manager's: leave it room even before the frame is known.
    const int frame = dialog_->isVisible() ? dialog_->frameGeometry().height() - dialog_->height() : 0;
    return screen->availableGeometry().height() - qMax(frame, 32);
}

void SheetFit::fit() {
    pending_ = false;
    const int width = dialog_->width();
    const int height = qMin(neededHeight(width), screenCap());
    // Without a scroll area nothing may cut the text: the user cannot make the sheet shorter either.
    if (!scroll_) dialog_->setMinimumHeight(height);
    if (dialog_->height() != height) dialog_->resize(width, height);
}

void SheetFit::schedule() {
    if (pending_) return;
    pending_ = true;
    // After the layout that posted the request has been activated.
    QTimer::singleShot(0, this, [this] {
        if (pending_) fit();
    });
}

bool SheetFit::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
    case QEvent::Show:
        // Sent before the window is mapped: it comes up at its final height.
        if (watched == dialog_) {
            if (QLayout* l = dialog_->layout()) l->activate();
            fit();
        }
        break;
    case QEvent::LayoutRequest:
        schedule();
        break;
    case QEvent::Resize:
        // A new width wraps the text differently.
        if (watched == dialog_ && dialog_->isVisible()) schedule();
        break;
    default:
        break;
    }
    return QObject::eventFilter(watched, event);
}
