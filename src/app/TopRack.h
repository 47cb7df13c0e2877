#pragma once
// The first rack module: the engraved title, six status lamps (links, encryption, on air, SOS), the
// finish picker and the Mini, Setup and Help keys. It keeps no state of its own.
#include "MetalPanel.h"

#include <QHash>

#include <functional>

class Engraved;
class LED;
class QComboBox;
class QLabel;
class RackButton;
class WalkieModel;

class TopRack : public ScrewedPanel {
    Q_OBJECT
public:
    // `finishID` is the stored finish id; `setFinishID` writes a picked one, unchanged.
    TopRack(WalkieModel& model, const Finish& finish, const QString& finishID,
            std::function<void(const QString&)> setFinishID, std::function<void()> settings,
            std::function<void()> help, QWidget* parent = nullptr);

    // Re-skins every part in place.
    void setFinish(const Finish& finish);
    // The picker follows the stored id without writing it back; an unknown id selects no entry.
    void setFinishID(const QString& id);

    static QStringList lampLabels();
    LED* lamp(const QString& label) const { return lamps_.value(label); }
    QComboBox* picker() const { return picker_; }
    RackButton* button(const QString& title) const;
    static QString miniToolTip();

private:
    void refreshLamps();

    WalkieModel& model_;
    std::function<void(const QString&)> setFinishID_;
    QLabel* title_;
    Engraved* subtitle_;
    QHash<QString, LED*> lamps_;
    QList<Engraved*> lampTitles_;
    QWidget* divider_;
    QComboBox* picker_;
    QList<RackButton*> buttons_;
};
