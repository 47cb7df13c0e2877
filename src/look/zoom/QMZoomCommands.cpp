#include "KeyShortcuts.h"
#include "QMZoomCommands.h"

#include "QMZoom.h"

#include <QAction>
#include <QMenu>

QMZoomCommands::QMZoomCommands(QObject* parent) : QObject(parent) {
    zoomIn_ = new QAction(tr("Zoom In"), this);
    zoomIn_->setShortcuts(KeyShortcuts::zoomInKeys());
    connect(zoomIn_, &QAction::triggered, this, [] { zoomIn(); });

    zoomOut_ = new QAction(tr("Zoom Out"), this);
    zoomOut_->setShortcut(KeyShortcuts::zoomOut());
    connect(zoomOut_, &QAction::triggered, this, [] { zoomOut(); });

    actualSize_ = new QAction(tr("Actual Size (100%)"), this);
    actualSize_->setShortcut(KeyShortcuts::actualSize());
    connect(actualSize_, &QAction::triggered, this, [] { actualSize(); });

    // The submenu does not mark the current level: its items are plain commands.
    levelMenu_ = new QMenu(tr("Zoom Level"));
    for (int percent : QMZoom::levels()) {
        QAction* a = levelMenu_->addAction(QString::number(percent) + QLatin1Char('%'));
        connect(a, &QAction::triggered, this, [percent] { setLevel(percent); });
    }
    connect(this, &QObject::destroyed, levelMenu_, [m = levelMenu_] { delete m; });
}

void QMZoomCommands::addTo(QMenu* menu) {
    menu->addAction(zoomIn_);
    menu->addAction(zoomOut_);
    menu->addAction(actualSize_);
    menu->addMenu(levelMenu_);
    menu->addSeparator();
}

void QMZoomCommands::zoomIn() {
    QMZoom::setValue(QMZoom::value() + QMZoom::step);
}
void QMZoomCommands::zoomOut() {
    QMZoom::setValue(QMZoom::value() - QMZoom::step);
}
void QMZoomCommands::actualSize() {
    QMZoom::reset();
}
void QMZoomCommands::setLevel(int percent) {
    QMZoom::setValue(percent / 100.0);
}
