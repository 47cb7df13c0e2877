#pragma once
// The rack's music row: Music/Stop, Next and the genre picker (catalogue only), the volume slider (while
// on), the station name over the now-playing line, and a key to the station's web page. It shows the
// station's state and acts on it; it holds no state of its own and never owns the station.
#include "Finish.h"

#include <QWidget>

class Engraved;
class QComboBox;
class QLabel;
class QSlider;
class QToolButton;
class RackButton;
class RadioStation;

class MusicModule : public QWidget {
    Q_OBJECT
public:
    MusicModule(RadioStation& radio, const Finish& finish, QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    const Finish& finish() const { return finish_; }

    RackButton* musicKey() const { return music_; }
    RackButton* nextKey() const { return next_; }
    QComboBox* genrePicker() const { return genre_; }
    QSlider* volumeSlider() const { return volume_; }
    Engraved* stationLabel() const { return station_; }
    QLabel* nowPlayingLabel() const { return nowPlaying_; }
    QToolButton* webKey() const { return web_; }
    QString nowPlayingText() const; // the full text the line stands for

    static constexpr int nowPlayingWidth = 220;
    static constexpr int genreWidth = 130;
    static constexpr int sliderWidth = 80;

private:
    void updateState();
    void updateGenres();
    void updateVolume();
    void updateNowPlaying();
    void applyFinish();

    RadioStation& radio_;
    Finish finish_;
    RackButton* music_;
    RackButton* next_;
    QComboBox* genre_;
    QSlider* volume_;
    Engraved* station_;
    QLabel* nowPlaying_;
    QToolButton* web_;
};
