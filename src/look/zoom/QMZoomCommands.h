#pragma once
// The window zoom's menu commands: "Zoom In", "Zoom Out", "Actual Size (100%)" and the "Zoom Level"
// submenu, followed by a divider, all writing the stored window zoom.
#include <QList>
#include <QObject>

class QAction;
class QMenu;

class QMZoomCommands : public QObject {
    Q_OBJECT
public:
    explicit QMZoomCommands(QObject* parent = nullptr);

    // Appends the commands to `menu` (the View menu, after its toolbar group).
    void addTo(QMenu* menu);

    QAction* zoomInAction() const { return zoomIn_; }
    QAction* zoomOutAction() const { return zoomOut_; }
    QAction* actualSizeAction() const { return actualSize_; }
    QMenu* levelMenu() const { return levelMenu_; }

    static void zoomIn();
    static void zoomOut();
    static void actualSize();
    static void setLevel(int percent);

private:
    QAction* zoomIn_;
    QAction* zoomOut_;
    QAction* actualSize_;
    QMenu* levelMenu_;
};
