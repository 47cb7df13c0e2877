#include "MusicModule.h"

#include "Engraved.h"
#include "RackButton.h"
#include "RadioStation.h"
#include "Skin.h"
#include "Symbols.h"
#include "WFonts.h"

#include <QComboBox>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QSlider>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

MusicModule::MusicModule(RadioStation& radio, const Finish& finish, QWidget* parent)
    : QWidget(parent), radio_(radio), finish_(finish) {
    // As wide as what it shows: the row's creator puts the flexible space before it.
    setSizePolicy(QSizePolicy::Maximum, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);

    music_ = new RackButton(tr("Music"), finish_, QStringLiteral("music.note"), false,
                            [this] { radio_.toggle(); });
    music_->setToolTip(tr("Play Vellmoor Underground Radio"));
    row->addWidget(music_);

    next_ =
        new RackButton(tr("Next"), finish_, QStringLiteral("forward.fill"), false, [this] { radio_.next(); });
    row->addWidget(next_);

    genre_ = new QComboBox;
    genre_->setFixedWidth(genreWidth);
    genre_->setAccessibleName(tr("Genre"));
    // Only a choice by the user sets the genre: a refill of the list must not skip a track.
    connect(genre_, &QComboBox::activated, this,
            [this](int index) { radio_.setGenre(genre_->itemText(index)); });
    row->addWidget(genre_);

    volume_ = new QSlider(Qt::Horizontal);
    volume_->setRange(0, 1000);
    volume_->setFixedWidth(sliderWidth);
    volume_->setAccessibleName(tr("Music volume"));
    connect(volume_, &QSlider::valueChanged, this, [this](int v) {
        if (std::lround(radio_.volume() * 1000) != v) radio_.setVolume(v / 1000.0);
    });
    row->addWidget(volume_);

    auto* column = new QVBoxLayout;
    column->setSpacing(1);
    station_ = new Engraved(RadioStation::stationName(), finish_, 8);
    column->addWidget(station_, 0, Qt::AlignLeft);
    nowPlaying_ = new QLabel;
    nowPlaying_->setTextFormat(Qt::PlainText); // titles and artists come from the network
    nowPlaying_->setFont(WFonts::body(10.5, QFont::DemiBold));
    nowPlaying_->setMaximumWidth(nowPlayingWidth);
    column->addWidget(nowPlaying_, 0, Qt::AlignLeft);
    row->addLayout(column);

    web_ = new QToolButton;
    web_->setAutoRaise(true);
    web_->setToolTip(tr("Open the station's website"));
    web_->setAccessibleName(tr("Open the station website"));
    web_->setIconSize(QSize(16, 16));
    connect(web_, &QToolButton::clicked, this, [this] { QDesktopServices::openUrl(radio_.pageURL()); });
    row->addWidget(web_);

    connect(&radio_, &RadioStation::playingChanged, this, &MusicModule::updateState);
    connect(&radio_, &RadioStation::liveChanged, this, &MusicModule::updateState);
    connect(&radio_, &RadioStation::genresChanged, this, &MusicModule::updateGenres);
    connect(&radio_, &RadioStation::genreChanged, this, &MusicModule::updateGenres);
    connect(&radio_, &RadioStation::volumeChanged, this, &MusicModule::updateVolume);
    connect(&radio_, &RadioStation::nowPlayingChanged, this, &MusicModule::updateNowPlaying);
    updateGenres();
    updateVolume();
    updateNowPlaying();
    updateState();
    applyFinish();
}

void MusicModule::setFinish(const Finish& finish) {
    finish_ = finish;
    applyFinish();
}

void MusicModule::applyFinish() {
    music_->setFinish(finish_);
    next_->setFinish(finish_);
    station_->setFinish(finish_);
    QPalette p = nowPlaying_->palette();
    p.setColor(QPalette::WindowText, Skin::alpha(finish_.engrave, 0.75));
    nowPlaying_->setPalette(p);
    QPalette sp = volume_->palette();
    sp.setColor(QPalette::Highlight, finish_.accent);
    volume_->setPalette(sp);
    web_->setIcon(QIcon(Symbols::pixmap(QStringLiteral("safari"), finish_.engrave, 16, devicePixelRatioF())));
}

void MusicModule::updateState() {
    const bool on = radio_.playing();
    music_->setTitle(on ? tr("Stop") : tr("Music"));
    music_->setSystemImage(on ? QStringLiteral("stop.fill") : QStringLiteral("music.note"));
    music_->setLit(on);
    const bool catalogue = on && !radio_.live();
    // Hidden controls take no room in the row.
    next_->setVisible(catalogue);
    genre_->setVisible(catalogue);
    volume_->setVisible(on);
}

void MusicModule::updateGenres() {
    const QSignalBlocker block(genre_);
    const QStringList genres = radio_.genres();
    QStringList shown;
    for (int i = 0; i < genre_->count(); ++i)
        shown << genre_->itemText(i);
    if (shown != genres) {
        genre_->clear();
        genre_->addItems(genres);
    }
    // A stored genre the list lacks shows no entry; it is never rewritten.
    genre_->setCurrentIndex(int(genres.indexOf(radio_.genre())));
}

void MusicModule::updateVolume() {
    const QSignalBlocker block(volume_);
    volume_->setValue(int(std::lround(std::clamp(radio_.volume(), 0.0, 1.0) * 1000)));
}

QString MusicModule::nowPlayingText() const {
    const QString text = radio_.nowPlaying();
    return text.isEmpty() ? tr("Tap Music to tune in") : text;
}

void MusicModule::updateNowPlaying() {
    const QString text = nowPlayingText();
    const QString shown = nowPlaying_->fontMetrics().elidedText(text, Qt::ElideRight, nowPlayingWidth);
    nowPlaying_->setText(shown);
    // The line stays one line; what it cuts (a failure's advice, a long title) is in the tooltip.
    nowPlaying_->setToolTip(shown == text ? QString() : text);
}
