#pragma once
// The main window: the rack (the root view inside the zoom host) and, on this platform, the menu bar
// with the program's commands. Closing it destroys it; the shell makes a fresh one on request, so its
// sheets start closed and the welcome check runs again.
#include <QMainWindow>
#include <functional>

class QAction;
class QActionGroup;
class QMZoomCommands;
class QMZoomHost;
class MacRoot;
class MusicModule;
class QMenu;
class RadioStation;
class WalkieModel;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(WalkieModel& model, RadioStation* station = nullptr, QWidget* parent = nullptr);

    QMZoomHost* zoomHost() const { return host_; }
    MacRoot* root() const { return root_; }
    // The menu commands by name: about, quit, miniMode, showMain, help, selfTest, debugLog, website,
    // and "theme:<finish id>" / "help:<topic>" for the Theme and Help items.
    QAction* command(const QString& name) const;
    QList<QAction*> commands() const;
    QActionGroup* themeGroup() const { return themes_; }

    static constexpr int minWidth = 900, minHeight = 620;
    static constexpr int defaultWidth = 1180, defaultHeight = 820;
    static constexpr int layoutWidth = 1100, layoutHeight = 760;

    // The height the window opens at: the default, or taller where the whole rack at 100 % and the menu
    // bar need more (never taller than the screen).
    int openingHeight() const;

    // Makes a main window, shows it centred at the opening size and returns it.
    static MainWindow* open(WalkieModel& model, RadioStation* station = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void buildMenus();
    void syncTheme();
    QAction* add(QMenu* menu, const QString& name, const QString& title, std::function<void()> action,
                 const QKeySequence& keys = {});

    WalkieModel& model_;
    MacRoot* root_ = nullptr;
    MusicModule* music_ = nullptr;
    QMZoomHost* host_ = nullptr;
    QMZoomCommands* zoom_ = nullptr;
    QActionGroup* themes_ = nullptr;
};
