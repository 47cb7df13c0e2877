#include "AlertCard.h"

#include "QMPaint.h"
#include "SOSMap.h"
#include "SOSStyle.h"
#include "SheetWidgets.h"
#include "Skin.h"
#include "Symbols.h"
#include "TimeText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QDesktopServices>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyle>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

const QColor systemGray(0x8E, 0x8E, 0x93);
const QColor systemGreen(0x34, 0xC7, 0x59);

// A one-line label that elides at the end instead of widening its row.
class ElidingLabel : public SheetLabel {
public:
    explicit ElidingLabel(QWidget* parent = nullptr) : SheetLabel(QString(), parent) {
        setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    }
    QSize minimumSizeHint() const override {
        QSize s = QLabel::minimumSizeHint();
        s.setWidth(std::min(s.width(), fontMetrics().horizontalAdvance(QStringLiteral("W…")) + 2));
        return s;
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        const QRect r = contentsRect();
        const int flags = int(alignment()) | Qt::TextSingleLine;
        // Eliding shapes the whole text: done only when the text, the width or the look change.
        look().paint(p, QSizeF(size()), textKey(flags, r), [&](QPainter& layer) {
            const QString shown = fontMetrics().elidedText(text(), Qt::ElideRight, r.width());
            style()->drawItemText(&layer, r, flags, palette(), isEnabled(), shown, foregroundRole());
        });
    }
};

} // namespace

// The state badge: short LCD-font text on a small rounded plate.
class AlertCard::Badge : public QWidget {
public:
    explicit Badge(QWidget* parent) : QWidget(parent) {
        setFont(WFonts::lcd(13));
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    void set(const QString& text, const QColor& fill) {
        if (text == text_ && fill == fill_) return;
        text_ = text;
        fill_ = fill;
        setAccessibleName(text);
        updateGeometry();
        update();
    }
    QString text() const { return text_; }
    QColor fill() const { return fill_; }
    QSize sizeHint() const override {
        const QFontMetrics fm(font());
        return {fm.horizontalAdvance(text_) + 16, fm.height() + 6};
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        look_.paint(p, QSizeF(size()), fill_.name(QColor::HexArgb) + u'|' + font().key() + u'|' + text_,
                    [this](QPainter& layer) {
                        layer.setRenderHint(QPainter::Antialiasing);
                        layer.setPen(Qt::NoPen);
                        layer.setBrush(fill_);
                        layer.drawPath(QMPaint::rounded(QRectF(rect()), 4));
                        layer.setPen(Qt::white);
                        layer.drawText(rect(), Qt::AlignCenter, text_);
                    });
    }

private:
    QString text_;
    QColor fill_;
    Skin::Layer look_;
};

// A symbol beside a text, both in the label's colour.
class AlertCard::Fact : public QWidget {
public:
    Fact(const QString& symbol, QWidget* parent) : QWidget(parent), symbol_(symbol) {
        auto* row = new QHBoxLayout(this);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(4);
        icon_ = new QLabel(this);
        text_ = new ElidingLabel(this);
        row->addWidget(icon_);
        row->addWidget(text_, 1);
    }
    void setText(const QString& text) { text_->setText(text); }
    QString text() const { return text_->text(); }
    void setLook(const QFont& font, const QColor& colour) {
        text_->setFont(font);
        SOSStyle::setTextColour(text_, colour);
        const int px = QFontMetrics(font).height() - 2;
        icon_->setPixmap(Symbols::pixmap(symbol_, colour, px, devicePixelRatioF()));
    }

private:
    QString symbol_;
    QLabel* icon_;
    ElidingLabel* text_;
};

namespace {

bool sameInfo(const SOSInfo& a, const SOSInfo& b) {
    return a.who == b.who && a.lat == b.lat && a.lon == b.lon && a.accuracy == b.accuracy &&
           a.battery == b.battery && a.silent == b.silent && a.automatic == b.automatic && a.time == b.time;
}

bool sameAlert(const SOSAlert& a, const SOSAlert& b) {
    return a.id == b.id && sameInfo(a.info, b.info) && a.channelName == b.channelName && a.trail == b.trail &&
           a.responders == b.responders && a.active == b.active && a.lastUpdate == b.lastUpdate;
}

} // namespace

std::optional<Coordinate> AlertCard::coordOf(const SOSInfo& info) {
    if (!info.lat || !info.lon) return std::nullopt;
    return Coordinate{*info.lat, *info.lon};
}

QString AlertCard::accuracyText(std::optional<double> metres) {
    if (!metres || !std::isfinite(*metres) || *metres <= 0) return {};
    // Whole metres with the fraction dropped; printf handles any size, where an integer would overflow.
    char buf[400];
    std::snprintf(buf, sizeof buf, "%.0f", std::floor(*metres));
    return tr("±%1 m").arg(QString::fromLatin1(buf));
}

QString AlertCard::batteryText(std::optional<int> percent) {
    if (!percent) return {};
    return tr("%1%").arg(*percent);
}

QString AlertCard::daddr(const Coordinate& c) {
    // Shortest text that reads back as the same double, never in exponent form.
    auto write = [](double v) {
        char buf[400];
        const auto r = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
        return r.ec == std::errc() ? QString::fromLatin1(buf, int(r.ptr - buf)) : QString();
    };
    return write(c.lat) + u',' + write(c.lon);
}

QUrl AlertCard::directionsUrl(const Coordinate& c) {
    if (!std::isfinite(c.lat) || !std::isfinite(c.lon)) return {};
    QUrl url(QString::fromLatin1(directionsBase));
    QUrlQuery query;
    query.addQueryItem(QStringLiteral("daddr"), daddr(c));
    url.setQuery(query);
    return url;
}

AlertCard::AlertCard(WalkieModel* model, const SOSAlert& alert, const Finish& finish, QWidget* parent)
    : QWidget(parent), model_(model), alert_(alert), finish_(finish) {
    build();
    applyFinish();
    refresh();
}

AlertCard::~AlertCard() = default;

void AlertCard::build() {
    setAttribute(Qt::WA_StyledBackground, false);
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(14, 14, 14, 14);
    stack->setSpacing(10);

    auto* top = new QHBoxLayout;
    badge_ = new Badge(this);
    who_ = new ElidingLabel(this);
    who_->setFont(WFonts::body(16, QFont::ExtraBold));
    silent_ = new SheetLabel(tr("silent"), this);
    automatic_ = new SheetLabel(tr("missed check-in"), this);
    for (QLabel* l : {silent_, automatic_})
        l->setFont(WFonts::body(12, QFont::Bold));
    channel_ = new ElidingLabel(this);
    channel_->setFont(WFonts::body(12));
    channel_->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    top->addWidget(badge_);
    top->addWidget(who_, 0);
    top->addWidget(silent_);
    top->addWidget(automatic_);
    top->addStretch(1);
    top->addWidget(channel_, 0);
    stack->addLayout(top);

    mapSlot_ = new QWidget(this);
    auto* slot = new QVBoxLayout(mapSlot_);
    slot->setContentsMargins(0, 0, 0, 0);
    noLocation_ =
        new SheetLabel(tr("No location yet. It appears here as soon as their device gets a fix."), mapSlot_);
    noLocation_->setFont(WFonts::body(13));
    noLocation_->setWordWrap(true);
    slot->addWidget(noLocation_);
    stack->addWidget(mapSlot_);
    // The slot is painted only where it shows: its first paint is when the map is made.
    mapSlot_->installEventFilter(this);

    auto* facts = new QHBoxLayout;
    facts->setSpacing(16);
    timeFact_ = new Fact(QStringLiteral("clock"), this);
    batteryFact_ = new Fact(QStringLiteral("battery.50"), this);
    accuracyFact_ = new Fact(QStringLiteral("scope"), this);
    updated_ = new ElidingLabel(this);
    updated_->setFont(WFonts::body(12.5));
    facts->addWidget(timeFact_);
    facts->addWidget(batteryFact_);
    facts->addWidget(accuracyFact_);
    facts->addWidget(updated_);
    facts->addStretch(1);
    stack->addLayout(facts);

    auto* actions = new QHBoxLayout;
    responding_ = new QWidget(this);
    {
        auto* row = new QHBoxLayout(responding_);
        row->setContentsMargins(0, 0, 0, 0);
        row->setSpacing(5);
        auto* icon = new QLabel(responding_);
        icon->setPixmap(
            Symbols::pixmap(QStringLiteral("checkmark.circle.fill"), systemGreen, 15, devicePixelRatioF()));
        auto* text = new SheetLabel(tr("You're responding"), responding_);
        text->setFont(WFonts::body(13, QFont::Bold));
        SOSStyle::setTextColour(text, systemGreen);
        row->addWidget(icon);
        row->addWidget(text);
    }
    coming_ = new SheetButton(tr("I'm coming"), this);
    directions_ = new SheetButton(tr("Directions"), this);
    directions_->setFlat(true);
    directions_->setCursor(Qt::PointingHandCursor);
    dismiss_ = new SheetButton(tr("Dismiss"), this);
    for (QPushButton* b : {coming_, directions_, dismiss_})
        b->setAutoDefault(false);
    actions->addWidget(responding_);
    actions->addWidget(coming_);
    actions->addWidget(directions_);
    actions->addStretch(1);
    actions->addWidget(dismiss_);
    stack->addLayout(actions);

    // Each action hands the model the alert as shown; the model finds it by ID. Nothing of this card
    // is touched after the call: the panel may drop the card in answer.
    connect(coming_, &QPushButton::clicked, this, [this] {
        if (model_) model_->respond(alert_);
    });
    connect(dismiss_, &QPushButton::clicked, this, [this] {
        if (model_) model_->dismiss(alert_);
    });
    connect(directions_, &QPushButton::clicked, this, [this] {
        if (const auto c = coord()) {
            const QUrl url = directionsUrl(*c);
            if (url.isValid()) QDesktopServices::openUrl(url);
        }
    });
}

void AlertCard::setAlert(const SOSAlert& alert) {
    if (sameAlert(alert, alert_)) return;
    // The card's own border only changes with the state; other changes repaint just their rows.
    if (alert.active != alert_.active) update();
    alert_ = alert;
    refresh();
}

void AlertCard::setFinish(const Finish& finish) {
    if (finish == finish_) return;
    finish_ = finish;
    applyFinish();
    refresh();
    update();
}

void AlertCard::changeEvent(QEvent* event) {
    if (event->type() == QEvent::PaletteChange) applyFinish();
    QWidget::changeEvent(event);
}

void AlertCard::applyFinish() {
    const QColor secondary = SOSStyle::secondary(this);
    for (QWidget* w :
         {static_cast<QWidget*>(silent_), static_cast<QWidget*>(automatic_), static_cast<QWidget*>(channel_),
          static_cast<QWidget*>(noLocation_), static_cast<QWidget*>(updated_)})
        SOSStyle::setTextColour(w, secondary);
    const QColor text = palette().color(QPalette::WindowText);
    for (Fact* f : {timeFact_, batteryFact_, accuracyFact_})
        f->setLook(WFonts::body(12.5), text);
    SOSStyle::prominent(coming_, finish_.tx);
    QPalette link = directions_->palette();
    link.setColor(QPalette::ButtonText, palette().color(QPalette::Link));
    directions_->setPalette(link);
    update();
}

void AlertCard::refresh() {
    const SOSInfo& info = alert_.info;
    badge_->set(alert_.active ? tr("SOS") : tr("ENDED"), alert_.active ? finish_.tx : systemGray);
    who_->setText(ViewText::oneLine(info.who));
    silent_->setVisible(info.silent);
    automatic_->setVisible(info.automatic);
    channel_->setText(ViewText::oneLine(alert_.channelName));

    const auto c = coord();
    if (c) {
        if (map_)
            map_->setData(info.who, *c, alert_.trail);
        else if (mapSlot_->isVisible() && !mapSlot_->visibleRegion().isEmpty())
            makeMap();
        else
            mapWanted_ = true;
    } else {
        mapWanted_ = false;
    }
    // The slot keeps the map's place, so the layout does not jump when the map is made.
    mapSlot_->setMinimumHeight(c ? 220 : 0);
    // The map is kept while hidden so its camera survives a record without a position.
    if (map_) map_->setVisible(bool(c));
    noLocation_->setVisible(!c);

    timeFact_->setText(info.time.isValid() ? TimeText::standardTime(info.time) : QString());
    const QString battery = batteryText(info.battery);
    batteryFact_->setText(battery);
    batteryFact_->setVisible(!battery.isEmpty());
    const QString accuracy = accuracyText(info.accuracy);
    accuracyFact_->setText(accuracy);
    accuracyFact_->setVisible(!accuracy.isEmpty());
    updated_->setText(tr("Updated %1").arg(TimeText::shortTime(alert_.lastUpdate)));

    const bool answered = alert_.responders.contains(QStringLiteral("You"));
    responding_->setVisible(answered);
    coming_->setVisible(!answered);
    directions_->setVisible(c && directionsUrl(*c).isValid());
}

void AlertCard::makeMap() {
    mapWanted_ = false;
    const auto c = coord();
    if (map_ || !c) return;
    map_ = new SOSMap(alert_.info.who, *c, alert_.trail, mapSlot_);
    map_->setFixedHeight(220);
    mapSlot_->layout()->addWidget(map_);
    map_->show();
}

bool AlertCard::eventFilter(QObject* watched, QEvent* event) {
    // Not made inside the paint itself: widgets are not to be added while one is painted.
    if (watched == mapSlot_ && event->type() == QEvent::Paint && mapWanted_)
        QMetaObject::invokeMethod(this, &AlertCard::makeMap, Qt::QueuedConnection);
    return QWidget::eventFilter(watched, event);
}

void AlertCard::paintEvent(QPaintEvent*) {
    QPainter p(this);
    const double width = alert_.active ? 2 : 1;
    QColor border = alert_.active ? finish_.tx : systemGray;
    if (!alert_.active) border.setAlphaF(0.4f);
    // The plate (fill and border) is the same on every card of a size and state: one shared layer.
    const QString key = QStringLiteral("sos-card|%1|%2").arg(width).arg(border.name(QColor::HexArgb));
    Skin::cachedLayer(p, QSizeF(size()), key, [&](QPainter& layer) {
        const QRectF r(rect());
        layer.fillPath(QMPaint::rounded(r, 12), QColor(0, 0, 0, 64));
        QMPaint::strokeBorder(
            layer, r, [](const QRectF& s) { return QMPaint::rounded(s, 12); }, width, border);
    });
}
