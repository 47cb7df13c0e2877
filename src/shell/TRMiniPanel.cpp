#include "TRMiniPanel.h"

#include "Defaults.h"
#include "KeyShortcuts.h"
#include "PanelHints.h"
#include "LookAccessible.h"
#include "TRMenuBarMenu.h"
#include "TRMiniView.h"
#include "TRMute.h"
#include "TRWindows.h"
#include "WalkieModel.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QPainterPath>
#include <QRegion>
#include <QScreen>
#include <QVBoxLayout>
#include <QWidget>
#include <QWindow>

#include <cmath>

// The floating window around the mini view: a utility panel without a frame, above other windows, on
// every desktop and in no task bar, pager or window switcher, with its corners cut by a mask so they
// stay round also without a compositor.
class TRMiniWindow : public QWidget {
public:
    TRMiniWindow(TRMiniPanel& controller, WalkieModel* model)
        : QWidget(nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint),
          controller_(controller) {
        setObjectName(TRWindows::miniID());
        setWindowTitle(QStringLiteral("Tessrook Mini"));
        LookAccessible::setRole(this, QAccessible::Window); // a plain widget reads as an unnamed filler
        setFixedSize(TRMiniPanel::size());
        setAttribute(Qt::WA_TranslucentBackground);
        setFocusPolicy(Qt::StrongFocus);
        QPainterPath round;
        round.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(TRMiniPanel::size())), TRMiniPanel::cornerRadius,
                             TRMiniPanel::cornerRadius);
        setMask(QRegion(round.toFillPolygon().toPolygon()));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        view_ = new TRMiniView(model, &controller, &TRMute::shared(), this);
        layout->addWidget(view_);
        // The panel may be the only window with the keyboard: Quit and the Mini Mode toggle (which
        // hides it from here) answer their shortcuts in it as they do in the main window.
        auto* quit = new QAction(this);
        quit->setShortcut(KeyShortcuts::quit());
        connect(quit, &QAction::triggered, this, [] { TRMenuBarMenu::quitApplication(); });
        auto* hide = new QAction(this);
        hide->setShortcut(KeyShortcuts::miniMode());
        connect(hide, &QAction::triggered, this, [this] { controller_.hide(); });
        addActions({quit, hide});
    }
    TRMiniView* view() const { return view_; }

protected:
    // Sent before each mapping, once the X window exists: the window manager reads these as it maps it,
    // and forgets them when the panel is hidden.
    void showEvent(QShowEvent* event) override {
        QWidget::showEvent(event);
        if (QWindow* handle = windowHandle()) {
            PanelHints::keepOnEveryDesktop(handle);
            PanelHints::setExactTitle(handle, windowTitle());
        }
    }
    // A frameless window can still be closed by the window manager (Alt+F4): that only hides it, so
    // the controller's state and the window agree. A close while quitting goes through.
    void closeEvent(QCloseEvent* event) override {
        if (TRMenuBarMenu::quitting()) return event->accept();
        event->ignore();
        controller_.hide();
    }
    void moveEvent(QMoveEvent* event) override {
        QWidget::moveEvent(event);
        if (isVisible()) controller_.windowMoved(pos());
    }

private:
    TRMiniPanel& controller_;
    TRMiniView* view_;
};

TRMiniPanel::TRMiniPanel(Defaults* defaults, QObject* parent)
    : QObject(parent), defaults_(defaults ? *defaults : Defaults::shared()) {}

TRMiniPanel::~TRMiniPanel() {
    delete panel_.data();
}

TRMiniPanel& TRMiniPanel::shared() {
    static TRMiniPanel* instance = new TRMiniPanel();
    return *instance;
}

QWidget* TRMiniPanel::panel() const {
    return panel_.data();
}

TRMiniView* TRMiniPanel::view() const {
    return panel_ ? static_cast<TRMiniWindow*>(panel_.data())->view() : nullptr;
}

void TRMiniPanel::show() {
    const QPointer<WalkieModel> model = WalkieModel::shared();
    if (!model) return;
    if (!panel_) {
        auto* window = new TRMiniWindow(*this, model);
        if (!positionsUnsupported()) window->move(placement());
        panel_ = window;
    }
    panel_->show();
    panel_->raise();
    panel_->activateWindow();
    // With no window manager, hiding leaves the X focus on the panel, so showing it again brings no
    // focus event: Qt still counts its window focused but no widget active.
    if (QGuiApplication::focusWindow() == panel_->windowHandle() && !panel_->isActiveWindow())
        QApplication::setActiveWindow(panel_);
    // The panel itself takes the focus: else Qt gives it to the first key that takes Tab focus.
    panel_->setFocus(Qt::ActiveWindowFocusReason);
    setShown(true);
}

void TRMiniPanel::hide() {
    if (panel_) panel_->hide();
    setShown(false);
}

void TRMiniPanel::expand() {
    hide();
    TRWindows::showMain();
}

void TRMiniPanel::toggle() {
    if (shown_)
        hide();
    else
        show();
}

void TRMiniPanel::setShown(bool shown) {
    if (shown == shown_) return;
    shown_ = shown;
    emit shownChanged(shown);
}

void TRMiniPanel::windowMoved(const QPoint& origin) {
    if (positionsUnsupported()) return;
    save(origin, defaults_);
}

QPoint TRMiniPanel::placement() const {
    QList<QRect> areas;
    for (QScreen* s : QGuiApplication::screens())
        areas.append(s->availableGeometry());
    std::optional<QRect> primary;
    if (QScreen* s = QGuiApplication::primaryScreen()) primary = s->availableGeometry();
    return placement(savedOrigin(defaults_), areas, primary);
}

QPoint TRMiniPanel::placement(const std::optional<QPoint>& saved, const QList<QRect>& available,
                              const std::optional<QRect>& primary) {
    if (saved) {
        const QRect core = QRect(*saved, size()).adjusted(40, 40, -40, -40);
        for (const QRect& area : available)
            if (core.intersects(area)) return *saved;
    }
    QRect frame(0, 0, 1440, 900);
    if (primary)
        frame = *primary;
    else if (!available.isEmpty())
        frame = available.first();
    // x() + width() is the edge itself; right() is one short of it.
    return {frame.x() + frame.width() - size().width() - 24,
            frame.y() + frame.height() - size().height() - 24};
}

std::optional<QPoint> TRMiniPanel::savedOrigin(Defaults& defaults) {
    const QVariant stored = defaults.value(originKey());
    if (!stored.isValid()) return std::nullopt;
    // Read back from the settings file the numbers are strings; a single value is no list at all.
    const QVariantList list = stored.typeId() == QMetaType::QString ? QVariantList{stored} : stored.toList();
    if (list.size() != 2) return std::nullopt;
    double xy[2];
    for (int i = 0; i < 2; ++i) {
        bool ok = false;
        xy[i] = list.at(i).toString().trimmed().toDouble(&ok);
        if (!ok || !std::isfinite(xy[i]) || std::abs(xy[i]) > 1e7) return std::nullopt;
    }
    return QPoint(qRound(xy[0]), qRound(xy[1]));
}

void TRMiniPanel::save(const QPoint& origin, Defaults& defaults) {
    defaults.setValue(originKey(), QVariantList{origin.x(), origin.y()});
}

bool TRMiniPanel::positionsUnsupported() {
    return QGuiApplication::platformName().startsWith(QLatin1String("wayland"));
}
