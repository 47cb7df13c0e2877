#include "StatusLCD.h"

#include "CutText.h"
#include "LCDScreen.h"
#include "LevelMeter.h"
#include "Skin.h"
#include "Symbols.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QEvent>
#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QPainter>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace {

// The lock symbol with the same glow as the LCD text.
class LockMark : public QWidget {
public:
    explicit LockMark(QColor colour) : colour_(colour) { setFixedSize(15, 15); }
    void setColour(const QColor& c) {
        colour_ = c;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QRectF r = QRectF(rect()).adjusted(2, 2, -2, -2);
        Skin::halo(p, r.center(), 2, 7.5, colour_, 0.3);
        Symbols::paint(p, r, QStringLiteral("lock.fill"), colour_);
    }

private:
    QColor colour_;
};

// The big status line. Its text changes every second while transmitting; a glow blurred for each new
// text would cost more than the rest of the screen, so each character glows on its own (the face is
// monospaced) and the few glyphs of the clock come from the glow cache.
class StatusLine : public LCDLabel {
public:
    using LCDLabel::LCDLabel;
    void setSize(qreal size) {
        font_ = WFonts::lcd(size);
        setFont(font_);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        const QFontMetricsF fm(font_);
        const QString shown = CutText::fit(text(), font_, width());
        const int flags = Qt::AlignLeft | Qt::AlignVCenter;
        // Cell by cell only for plain ASCII (the clock, the fixed words); a name with other scripts,
        // combining marks or emoji glows as one text.
        const bool ascii =
            std::all_of(shown.begin(), shown.end(), [](QChar c) { return c.unicode() < 0x7f; });
        if (!ascii) {
            Skin::glowText(p, QRectF(1, 0, width() - 1, height()), flags, shown, font_, colour());
            return;
        }
        const qreal advance = fm.horizontalAdvance(QLatin1Char('M'));
        for (int i = 0; i < shown.size(); ++i) {
            if (shown[i].isSpace()) continue;
            const QRectF cell(1 + i * advance, 0, advance + 1, height());
            Skin::glowText(p, cell, flags, QString(shown[i]), font_, colour());
        }
    }

private:
    QFont font_;
};

QString twoDigits(qint64 n) {
    return QStringLiteral("%1").arg(n, 2, 10, QLatin1Char('0'));
}

} // namespace

QString StatusLCD::line1(const TalkState& talk, double talkSeconds, bool hasChannels) {
    switch (talk.kind) {
    case TalkState::Kind::transmitting: {
        const qint64 t = std::isfinite(talkSeconds) && talkSeconds > 0 ? qint64(talkSeconds) : 0;
        return QStringLiteral("TX  ") + twoDigits(t / 60) + u':' + twoDigits(t % 60);
    }
    case TalkState::Kind::receiving:
        return QStringLiteral("RX  ") + ViewText::oneLine(talk.text).toUpper();
    case TalkState::Kind::busy:
        return QStringLiteral("CHANNEL BUSY");
    case TalkState::Kind::idle:
        break;
    }
    return hasChannels ? QStringLiteral("STANDBY") : QStringLiteral("NO CHANNEL");
}

QString StatusLCD::checkInText(const QDateTime& deadline, const QDateTime& now) {
    if (!deadline.isValid()) return QString();
    // Whole seconds left, the fraction dropped (90.5 s is 1:30), never below zero.
    const qint64 ms = now.msecsTo(deadline);
    const qint64 r = ms > 0 ? ms / 1000 : 0;
    return QStringLiteral("CHECK-IN %1:%2").arg(r / 60).arg(twoDigits(r % 60));
}

float StatusLCD::meterLevel(const TalkState& talk, float level) {
    switch (talk.kind) {
    case TalkState::Kind::transmitting:
        return level;
    case TalkState::Kind::receiving:
    case TalkState::Kind::busy:
        return 0.5f;
    case TalkState::Kind::idle:
        break;
    }
    return 0;
}

std::optional<QString> StatusLCD::onChannelText(const std::optional<QString>& channelID,
                                                const QHash<QString, int>& peerCounts) {
    if (!channelID) return std::nullopt;
    const auto it = peerCounts.constFind(*channelID);
    if (it == peerCounts.constEnd()) return std::nullopt;
    return QStringLiteral("ON CH %1").arg(*it);
}

QString StatusLCD::line1() const {
    return line1(model_.talk(), model_.talkSeconds(), !model_.channels().isEmpty());
}

StatusLCD::StatusLCD(WalkieModel& model, const Finish& finish, bool compact, QWidget* parent)
    : QWidget(parent), model_(model), finish_(finish), compact_(compact) {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    screen_ = new LCDScreen(finish_);
    outer->addWidget(screen_);
    auto* rows = new QVBoxLayout(screen_);
    rows->setContentsMargins(0, 0, 0, 0); // the screen insets its content itself
    rows->setSpacing(compact_ ? 6 : 8);

    auto* header = new QHBoxLayout;
    ch_ = new LCDLabel(QStringLiteral("CH"), WFonts::lcd(11), finish_.lcdDim);
    name_ = new LCDLabel(QString(), WFonts::lcd(compact_ ? 18 : 22), finish_.lcdText);
    name_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    lock_ = new LockMark(finish_.lcdText);
    bits_ = new LCDLabel(QStringLiteral("256-BIT"), WFonts::lcd(11), finish_.lcdText);
    bits_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    ch_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    header->addWidget(ch_, 0, Qt::AlignVCenter);
    header->addWidget(name_, 1, Qt::AlignVCenter);
    header->addWidget(lock_, 0, Qt::AlignVCenter);
    header->addWidget(bits_, 0, Qt::AlignVCenter);
    rows->addLayout(header);

    auto* line = new StatusLine(QString(), WFonts::lcd(compact_ ? 24 : 32), finish_.lcdText);
    line->setSize(compact_ ? 24 : 32);
    line1_ = line;
    line1_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
    line1Size_ = compact_ ? 24 : 32;
    line1_->installEventFilter(this);
    rows->addWidget(line1_);

    auto* meterRow = new QHBoxLayout;
    meterRow->setSpacing(10);
    meter_ = new LevelMeter(0, finish_.lcdText, compact_ ? 14 : 20);
    safety_ = new LCDLabel(QString(), WFonts::lcd(10), finish_.lcdDim);
    safety_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    safety_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    meterRow->addWidget(meter_, 0, Qt::AlignVCenter);
    meterRow->addWidget(safety_, 1, Qt::AlignVCenter);
    rows->addLayout(meterRow);

    auto* links = new QHBoxLayout;
    links->setSpacing(14);
    auto small = [this](const QColor& c) {
        auto* l = new LCDLabel(QString(), WFonts::lcd(11), c);
        l->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        return l;
    };
    net_ = small(finish_.lcdText);
    near_ = small(finish_.lcdText);
    onCh_ = small(finish_.lcdText);
    sos_ = small(finish_.tx);
    sos_->setText(QStringLiteral("SOS ACTIVE"));
    checkIn_ = small(finish_.lcdText);
    links->addWidget(net_);
    links->addWidget(near_);
    links->addWidget(onCh_);
    links->addStretch(1);
    links->addWidget(sos_);
    links->addWidget(checkIn_);
    rows->addLayout(links);

    // Only the signals of what the screen shows; selected() also follows the channel list.
    for (auto signal :
         {&WalkieModel::talkSecondsChanged, &WalkieModel::channelsChanged,
          &WalkieModel::selectedIDChanged, &WalkieModel::relayUpChanged, &WalkieModel::nearbyPeersChanged,
          &WalkieModel::peerCountsChanged, &WalkieModel::sosActiveChanged,
          &WalkieModel::checkInDeadlineChanged})
        connect(&model_, signal, this, &StatusLCD::refresh);
    connect(&model_, &WalkieModel::talkChanged, this, &StatusLCD::refresh);
    // The level changes many times a second while talking: it moves the meter alone.
    connect(&model_, &WalkieModel::levelChanged, this,
            [this] { meter_->setLevel(meterLevel(model_.talk(), model_.level())); });
    refresh();
}

void StatusLCD::setFinish(const Finish& finish) {
    finish_ = finish;
    applyFinish();
}

void StatusLCD::applyFinish() {
    screen_->setFinish(finish_);
    for (LCDLabel* l : {name_, bits_, line1_, net_, near_, onCh_, checkIn_})
        l->setColour(finish_.lcdText);
    ch_->setColour(finish_.lcdDim);
    safety_->setColour(finish_.lcdDim);
    sos_->setColour(finish_.tx);
    static_cast<LockMark*>(lock_)->setColour(finish_.lcdText);
    meter_->setColour(finish_.lcdText);
}

void StatusLCD::refresh() {
    const auto selected = model_.selected();
    name_->setText(selected ? ViewText::oneLine(selected->name).toUpper() : QStringLiteral("—"));
    const QString l1 = line1();
    if (l1 != line1_->text()) {
        line1_->setText(l1);
        fitLine1();
    }
    meter_->setLevel(meterLevel(model_.talk(), model_.level()));
    safety_->setText(selected ? QStringLiteral("SAFETY ") + selected->safetyCode() : QString());
    net_->setText(model_.relayUp() ? QStringLiteral("NET ●") : QStringLiteral("NET ○"));
    near_->setText(model_.nearbyPeers() > 0 ? QStringLiteral("NEAR %1").arg(model_.nearbyPeers())
                                            : QStringLiteral("NEAR ○"));
    const auto onCh =
        onChannelText(selected ? std::optional(selected->channelID()) : std::nullopt, model_.peerCounts());
    onCh_->setText(onCh.value_or(QString()));
    onCh_->setVisible(onCh.has_value());
    sos_->setVisible(model_.sosActive());
    const QString checkIn = checkInText(model_.checkInDeadline(), model_.now());
    checkIn_->setText(checkIn);
    checkIn_->setVisible(!checkIn.isEmpty());
}

bool StatusLCD::eventFilter(QObject* watched, QEvent* event) {
    if (watched == line1_ && event->type() == QEvent::Resize) fitLine1();
    return QWidget::eventFilter(watched, event);
}

void StatusLCD::fitLine1() {
    // Shrinks to at most half size to fit; beyond that the label cuts the end with an ellipsis.
    const qreal full = compact_ ? 24 : 32;
    const qreal width = line1_->width() - 2;
    qreal size = full;
    if (width > 0) {
        const qreal needed = QFontMetricsF(WFonts::lcd(full)).horizontalAdvance(line1_->text());
        if (needed > width) size = qMax(full / 2, std::floor(full * width / needed * 2) / 2);
        while (size > full / 2 && QFontMetricsF(WFonts::lcd(size)).horizontalAdvance(line1_->text()) > width)
            size -= 0.5;
    }
    // The row keeps the full height, so the screen does not jump as the text changes.
    if (size != line1Size_) {
        line1Size_ = size;
        static_cast<StatusLine*>(line1_)->setSize(size);
    }
    line1_->setFixedHeight(qCeil(QFontMetricsF(WFonts::lcd(full)).height()) + 1);
}
