#pragma once
// One SOS alert received from another unit: state badge, sender, channel, map or "no location",
// times, battery and accuracy, and the actions "I'm coming", "Directions" and "Dismiss". The panel
// keeps one card per alert ID and hands it each changed copy with setAlert(), so the map keeps its
// camera and tiles. The map is made only once its place is on screen: a card scrolled out of sight
// costs no map and no tiles.
#include "Finish.h"
#include "Records.h"

#include <QPointer>
#include <QUrl>
#include <QWidget>
#include <optional>

class QHBoxLayout;
class QLabel;
class QPushButton;
class SOSMap;
class WalkieModel;

class AlertCard : public QWidget {
    Q_OBJECT
public:
    AlertCard(WalkieModel* model, const SOSAlert& alert, const Finish& finish, QWidget* parent = nullptr);
    ~AlertCard() override;

    const SOSAlert& alert() const { return alert_; }
    void setAlert(const SOSAlert& alert); // updates in place
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);

    // The sender's position, only when both coordinates are present.
    std::optional<Coordinate> coord() const { return coordOf(alert_.info); }
    static std::optional<Coordinate> coordOf(const SOSInfo& info);
    // "±12 m" for an accuracy that is finite and above zero, else "" (no label).
    static QString accuracyText(std::optional<double> metres);
    // "80%", or "" when the battery is unknown.
    static QString batteryText(std::optional<int> percent);
    // Latitude "," longitude, each in its shortest decimal form that reads back the same ("51.5,-0.12").
    static QString daddr(const Coordinate& c);
    // The web directions address to the position; invalid when no address can be made.
    static QUrl directionsUrl(const Coordinate& c);
    static constexpr const char* directionsBase = "https://maps.google.com/maps";

    SOSMap* map() const { return map_; } // null until the alert has a position and is on screen

protected:
    void paintEvent(QPaintEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class Badge;
    class Fact;
    void build();
    void refresh();
    void applyFinish();
    void makeMap();

    QPointer<WalkieModel> model_;
    SOSAlert alert_;
    Finish finish_;

    Badge* badge_ = nullptr;
    QLabel* who_ = nullptr;
    QLabel* silent_ = nullptr;
    QLabel* automatic_ = nullptr;
    QLabel* channel_ = nullptr;
    QWidget* mapSlot_ = nullptr;
    SOSMap* map_ = nullptr;
    bool mapWanted_ = false; // a position came while the map's place was off screen
    QLabel* noLocation_ = nullptr;
    Fact* timeFact_ = nullptr;
    Fact* batteryFact_ = nullptr;
    Fact* accuracyFact_ = nullptr;
    QLabel* updated_ = nullptr;
    QWidget* responding_ = nullptr;
    QPushButton* coming_ = nullptr;
    QPushButton* directions_ = nullptr;
    QPushButton* dismiss_ = nullptr;
};
