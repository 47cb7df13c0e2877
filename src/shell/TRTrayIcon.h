#pragma once
// The program's icon in the system tray: the antenna, the tooltip "QMRL Tessrook" and the tray menu,
// which a left click opens as well. Shown even while no tray host runs, so it docks when one appears;
// hidden before the program ends.
#include <QPointer>
#include <QSystemTrayIcon>

class TRMenuBarMenu;
class TRMiniPanel;
class TRMute;
class WalkieModel;

class TRTrayIcon : public QSystemTrayIcon {
    Q_OBJECT
public:
    explicit TRTrayIcon(WalkieModel* model, TRMiniPanel* mini = nullptr, TRMute* mute = nullptr,
                        QObject* parent = nullptr);
    ~TRTrayIcon() override;

    TRMenuBarMenu* menu() const { return menu_; }
    static QIcon antennaIcon();
    static QString noTrayMessage() {
        return QStringLiteral("No system tray: start the program again to show its window");
    }

private:
    void activatedBy(QSystemTrayIcon::ActivationReason reason);
    TRMenuBarMenu* menu_;
};
