#include "TRMiniView.h"

#include "CutText.h"
#include "Defaults.h"
#include "Engraved.h"
#include "LCDScreen.h"
#include "LED.h"
#include "LookAccessible.h"
#include "PTTButton.h"
#include "TalkButtonState.h"
#include "Skin.h"
#include "Symbols.h"
#include "TRDragHandle.h"
#include "TRMenuBarMenu.h"
#include "TRMiniPanel.h"
#include "TRMute.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QAbstractButton>
#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QTextLayout>
#include <QVBoxLayout>

namespace {

const QString finishKey = QStringLiteral("finish");

// A round key of the header, or the send key: a domed disc in a polished ring with a symbol.
class RoundKey : public QAbstractButton {
public:
    enum class Kind { header, send };
    RoundKey(Kind kind, const QString& symbol, const QString& help, QWidget* parent)
        : QAbstractButton(parent), kind_(kind), symbol_(symbol) {
        setToolTip(help);
        setAccessibleName(help);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        const int d = diameter() + 3;
        setFixedSize(d, d);
    }
    void setFinish(const Finish& f) {
        finish_ = f;
        update();
    }
    int diameter() const { return kind_ == Kind::header ? 26 : 30; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        if (!isEnabled()) p.setOpacity(0.5);
        // Gradients and the symbol are drawn once per look and kept.
        const QString key = QStringLiteral("mini-key|%1|%2|%3|%4|%5")
                                .arg(Skin::key(finish_), symbol_)
                                .arg(int(kind_))
                                .arg(isDown())
                                .arg(hasFocus());
        Skin::cachedLayer(p, QSizeF(size()), key, [this](QPainter& q) { paintKey(q); });
    }

private:
    void paintKey(QPainter& p) const {
        p.setRenderHint(QPainter::Antialiasing);
        const qreal d = diameter();
        const QRectF disc((width() - d) / 2.0, (height() - d) / 2.0 - 0.5, d, d);
        if (kind_ == Kind::header) {
            // The key's shadow: black at half strength, two points soft, one point down.
            for (int i = 2; i >= 0; --i) {
                p.setPen(Qt::NoPen);
                p.setBrush(QColor(0, 0, 0, int(255 * 0.5 / (i + 2))));
                p.drawEllipse(disc.translated(0, 1).adjusted(-i * 0.7, -i * 0.7, i * 0.7, i * 0.7));
            }
        }
        const QPointF focal(disc.left() + disc.width() * 0.35, disc.top() + disc.height() * 0.30);
        const qreal end = kind_ == Kind::header ? 18 : 20;
        QRadialGradient fill(focal, end, focal);
        const QColor inner = kind_ == Kind::header ? finish_.panelTop : finish_.accent;
        const QColor outer = kind_ == Kind::header ? finish_.panelBottom : Skin::alpha(finish_.accent, 0.45);
        fill.setColorAt(0, inner);
        fill.setColorAt(1.0 / end, inner); // the gradient starts at a radius of 1
        fill.setColorAt(1, outer);
        p.setPen(Qt::NoPen);
        p.setBrush(fill);
        p.drawEllipse(disc);
        p.setBrush(Qt::NoBrush);
        p.setPen(QPen(QBrush(TRMiniView::chrome(disc.center())), 1.5));
        p.drawEllipse(disc.adjusted(0.75, 0.75, -0.75, -0.75));
        if (hasFocus()) {
            QPainterPath ring;
            ring.addEllipse(disc.adjusted(0.5, 0.5, -0.5, -0.5)); // inside the widget's 1.5 px margin
            Skin::focusRing(p, ring);
        }
        const qreal glyph = kind_ == Kind::header ? 11 : 13;
        const QColor ink = kind_ == Kind::header ? finish_.engrave : QColor(Qt::white);
        Symbols::paint(p, QRectF(disc.center() - QPointF(glyph / 2, glyph / 2), QSizeF(glyph, glyph)),
                       symbol_, isDown() ? Skin::alpha(ink, 0.7) : ink);
    }
    Kind kind_;
    QString symbol_;
    Finish finish_;
};

// The last text message: an icon and two lines at most, in a dark box of fixed height.
class LastMessageBox : public QWidget {
public:
    explicit LastMessageBox(QWidget* parent) : QWidget(parent) {
        setFixedHeight(47);
        CutText::watch(this, [this] { return text_; }, [this] { return cut(); });
        LookAccessible::setRole(this, QAccessible::StaticText);
    }
    void set(const Finish& f, const QString& text, bool hasMessage, bool outgoing) {
        finish_ = f;
        if (text != text_) setAccessibleName(text);
        text_ = text;
        has_ = hasMessage;
        outgoing_ = outgoing;
        setAccessibleName(text);
        update();
    }
    // The text goes on past the second line.
    bool cut() const {
        bool cut = false;
        lines(WFonts::body(12), textBox().width(), &cut);
        return cut;
    }
    QString text() const { return text_; }
    bool outgoing() const { return has_ && outgoing_; }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        const QString key = QStringLiteral("mini-last|%1|%2|%3|%4")
                                .arg(Skin::key(finish_))
                                .arg(has_)
                                .arg(outgoing_)
                                .arg(text_);
        Skin::cachedLayer(painter, QSizeF(size()), key, [this](QPainter& p) { paintBox(p); });
    }

private:
    void paintBox(QPainter& p) const {
        p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing);
        const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        p.setPen(QPen(QColor(255, 255, 255, int(255 * 0.08)), 1));
        p.setBrush(QColor(0, 0, 0, int(255 * 0.35)));
        p.drawRoundedRect(box, 12, 12);
        const QRectF inner = QRectF(rect()).adjusted(10, 7, -10, -7);
        const QString icon =
            outgoing() ? QStringLiteral("arrow.up.message.fill") : QStringLiteral("message.fill");
        Symbols::paint(p, QRectF(inner.left(), inner.top() + 2, 12, 12), icon, finish_.accent);
        const QRectF textBox = this->textBox();
        const QFont font = WFonts::body(12);
        p.setFont(font);
        p.setPen(Skin::alpha(finish_.engrave, has_ ? 0.95 : 0.5));
        for (const auto& [line, y] : lines(font, textBox.width()))
            p.drawText(QPointF(textBox.left(), textBox.top() + y), line);
    }

    // Padding 10 across, 7 down, the icon and its gap at the left; the content sits at the top.
    QRectF textBox() const { return QRectF(rect()).adjusted(10 + 12 + 6, 7, -10, -7); }

    // At most two lines; the second ends in an ellipsis when the text goes on.
    QList<std::pair<QString, qreal>> lines(const QFont& font, qreal width, bool* cut = nullptr) const {
        QString text = text_;
        text.replace(u'\n', QChar::LineSeparator);
        QTextLayout layout(text, font);
        layout.setCacheEnabled(true);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        QList<std::pair<QString, qreal>> out;
        const QFontMetricsF fm(font);
        qreal y = fm.ascent();
        while (out.size() < 2) {
            QTextLine line = layout.createLine();
            if (!line.isValid()) break;
            line.setLineWidth(width);
            QString part = text.mid(line.textStart(), line.textLength());
            if (out.size() == 1) {
                part = text.mid(line.textStart());
                part.replace(QChar::LineSeparator, u' ');
                part = CutText::fit(part.trimmed(), font, width, cut);
            }
            part.remove(QChar::LineSeparator);
            out.append({part.trimmed(), y});
            y += fm.lineSpacing();
        }
        layout.endLayout();
        return out;
    }
    Finish finish_;
    QString text_;
    bool has_ = false;
    bool outgoing_ = false;
};

// One line of text cut with an ellipsis when the row is too narrow; a cut text shows whole on hover.
class ElidedLabel : public QLabel {
public:
    explicit ElidedLabel(QWidget* parent) : QLabel(parent) {
        CutText::watch(this, [this] { return text(); }, [this] { return cut(); });
    }

protected:
    QString shown(bool* cut = nullptr) const { return CutText::fit(text(), font(), contentsRect().width(), cut); }
    bool cut() const {
        bool cut = false;
        shown(&cut);
        return cut;
    }

    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::TextAntialiasing);
        p.setFont(font());
        p.setPen(palette().color(QPalette::WindowText));
        p.drawText(contentsRect(), Qt::AlignLeft | Qt::AlignVCenter, shown());
    }
};

QLabel* plainLabel(const QFont& font, QWidget* parent) {
    auto* l = new ElidedLabel(parent);
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    return l;
}

void tint(QWidget* w, const QColor& c) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, c);
    w->setPalette(pal);
}

QString trimSpacesAndTabs(const QString& s) {
    qsizetype a = 0, b = s.size();
    while (a < b && (s.at(a) == u' ' || s.at(a) == u'\t'))
        ++a;
    while (b > a && (s.at(b - 1) == u' ' || s.at(b - 1) == u'\t'))
        --b;
    return s.mid(a, b - a);
}

} // namespace

struct TRMiniView::Parts {
    QLabel* title = nullptr;
    Engraved* subtitle = nullptr;
    LCDScreen* screen = nullptr;
    LCDLabel* channel = nullptr;
    LCDLabel* online = nullptr;
    QList<std::pair<LED*, LCDLabel*>> lights;
    LCDLabel* muted = nullptr;
    LED* lamp = nullptr;
    QLabel* talk = nullptr;
    LastMessageBox* last = nullptr;
    QLabel* footer = nullptr;
    QWidget* pttHolder = nullptr;
};

TRMiniView::TRMiniView(WalkieModel* model, TRMiniPanel* panel, TRMute* mute, QWidget* parent)
    : QWidget(parent), model_(model), panel_(panel), mute_(mute ? *mute : TRMute::shared()),
      parts_(std::make_unique<Parts>()) {
    finish_ = finish();
    setFixedSize(TRMiniPanel::size());
    setAttribute(Qt::WA_TranslucentBackground);
    build();
    new TRDragHandle(this);
    if (model) {
        for (auto signal :
             {&WalkieModel::channelsChanged, &WalkieModel::selectedIDChanged, &WalkieModel::rosterChanged,
              &WalkieModel::peerCountsChanged, &WalkieModel::relayUpChanged, &WalkieModel::nearbyPeersChanged,
              &WalkieModel::lanUnitsChanged, &WalkieModel::lockedChanged, &WalkieModel::messagesChanged})
            connect(model, signal, this, &TRMiniView::refresh);
        connect(model, &WalkieModel::talkChanged, this, &TRMiniView::refresh);
    }
    connect(&mute_, &TRMute::onChanged, this, &TRMiniView::refresh);
    connect(&Defaults::shared(), &Defaults::changed, this, [this](const QString& key) {
        if (key == finishKey) applyFinish();
    });
    applyFinish();
}

TRMiniView::~TRMiniView() = default;

Finish TRMiniView::finish() const {
    return Finish::named(Defaults::shared().stringValue(finishKey, Finish::all().first().id));
}

QConicalGradient TRMiniView::chrome(const QPointF& centre) {
    // Qt's conical gradient turns the other way round from the ring's design: stop t sits at 1 - t.
    QConicalGradient g(centre, 0);
    const quint32 stops[] = {0xF2F4F7, 0x6B7078, 0xD4D8DE, 0x4B5058, 0xF2F4F7};
    for (int i = 0; i < 5; ++i)
        g.setColorAt(1.0 - i / 4.0, Finish::c(stops[i]));
    return g;
}

void TRMiniView::build() {
    Parts& P = *parts_;
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(16, 12, 16, 12);
    column->setSpacing(10);

    // 1. Header: title block, then the three round keys.
    auto* header = new QHBoxLayout();
    header->setContentsMargins(6, 0, 6, 0);
    header->setSpacing(8);
    auto* titles = new QVBoxLayout();
    titles->setSpacing(0);
    P.title = plainLabel(WFonts::display(13), this);
    P.title->setText(QStringLiteral("TESSROOK"));
    P.subtitle = new Engraved(QStringLiteral("QMRL · Mini"), finish_, 8, this);
    titles->addWidget(P.title);
    titles->addWidget(P.subtitle);
    header->addLayout(titles);
    header->addStretch(1);
    auto* expand = new RoundKey(RoundKey::Kind::header, QStringLiteral("arrow.up.left.and.arrow.down.right"),
                                tr("Back to the full window"), this);
    auto* hide =
        new RoundKey(RoundKey::Kind::header, QStringLiteral("minus"),
                     tr("Hide Mini mode (the app keeps listening; reopen it from the tray icon)"), this);
    auto* power = new RoundKey(RoundKey::Kind::header, QStringLiteral("power"),
                               tr("Quit QMRL Tessrook (stops listening)"), this);
    connect(expand, &QAbstractButton::clicked, this, [this] {
        if (panel_) panel_->expand();
    });
    connect(hide, &QAbstractButton::clicked, this, [this] {
        if (panel_) panel_->hide();
    });
    connect(power, &QAbstractButton::clicked, this, [] { TRMenuBarMenu::quitApplication(); });
    expandKey_ = expand;
    hideKey_ = hide;
    powerKey_ = power;
    header->addWidget(expand);
    header->addWidget(hide);
    header->addWidget(power);
    column->addLayout(header);

    // 2. The status screen.
    P.screen = new LCDScreen(finish_, nullptr, this);
    auto* lcd = new QVBoxLayout(P.screen);
    // The screen keeps its own margins inside the bezel.
    lcd->setContentsMargins(0, 0, 0, 0);
    lcd->setSpacing(3);
    P.channel = new LCDLabel(QString(), WFonts::lcd(15), finish_.lcdText, P.screen);
    P.online = new LCDLabel(QString(), WFonts::lcd(11), finish_.lcdDim, P.screen);
    lcd->addWidget(P.channel);
    lcd->addWidget(P.online);
    auto* lights = new QHBoxLayout();
    lights->setSpacing(8);
    for (const QString& name : {QStringLiteral("LAN"), QStringLiteral("RELAY"), QStringLiteral("NEARBY")}) {
        auto* one = new QHBoxLayout();
        one->setSpacing(3);
        auto* led = new LED(false, finish_.rx, 7, P.screen);
        auto* label = new LCDLabel(name, WFonts::lcd(9), finish_.lcdText, P.screen);
        led->setTitle(name); // read as "LAN: on", like the rack's lamps
        one->addWidget(led);
        one->addWidget(label);
        lights->addLayout(one);
        P.lights.append({led, label});
    }
    P.muted = new LCDLabel(QStringLiteral("MUTED"), WFonts::lcd(10), finish_.tx, P.screen);
    lights->addWidget(P.muted);
    lights->addStretch(1);
    lcd->addLayout(lights);
    auto* screenRow = new QHBoxLayout();
    screenRow->setContentsMargins(2, 0, 2, 0);
    screenRow->addWidget(P.screen);
    column->addLayout(screenRow);

    // 3. The push-to-talk button.
    const TRTalk::Actions actions = ptt(model_.data());
    ptt_ = new PTTButton(finish_, model_ ? talkButtonState(model_->talk()) : PTTButton::State::idle, 150,
                         actions.press, actions.release, this);
    column->addWidget(ptt_, 0, Qt::AlignHCenter);

    // 4. The talk line.
    auto* talk = new QHBoxLayout();
    talk->setContentsMargins(6, 0, 6, 0);
    talk->setSpacing(8);
    P.lamp = new LED(false, finish_.rx, 12, this);
    P.talk = plainLabel(WFonts::body(12.5, QFont::Bold), this);
    P.talk->setMinimumWidth(0);
    P.talk->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    talk->addWidget(P.lamp);
    talk->addWidget(P.talk, 1);
    column->addLayout(talk);

    // 5. The last message.
    P.last = new LastMessageBox(this);
    column->addWidget(P.last);

    // 6. The message row.
    auto* row = new QHBoxLayout();
    row->setSpacing(6);
    field_ = new QLineEdit(this);
    field_->setPlaceholderText(tr("Quick message…"));
    field_->setAccessibleName(field_->placeholderText()); // its only visible label
    field_->setFont(WFonts::body(12.5));
    field_->setFrame(false);
    field_->installEventFilter(this);
    connect(field_, &QLineEdit::returnPressed, this, &TRMiniView::sendDraft);
    connect(field_, &QLineEdit::textChanged, this, &TRMiniView::refresh);
    auto* send = new RoundKey(RoundKey::Kind::send, QStringLiteral("paperplane.fill"),
                              tr("Send the message to everyone on this channel (encrypted)"), this);
    connect(send, &QAbstractButton::clicked, this, &TRMiniView::sendDraft);
    send_ = send;
    row->addWidget(field_, 1);
    row->addWidget(send);
    column->addLayout(row);

    // 7. The hint line.
    QFont hint = WFonts::body(9.5, QFont::ExtraBold);
    hint.setLetterSpacing(QFont::AbsoluteSpacing, 1);
    P.footer = plainLabel(hint, this);
    P.footer->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    column->addWidget(P.footer);
    column->addStretch(1);
}

void TRMiniView::applyFinish() {
    finish_ = finish();
    Parts& P = *parts_;
    const Finish& f = finish_;
    tint(P.title, f.engrave);
    P.subtitle->setFinish(f);
    P.screen->setFinish(f);
    P.channel->setColour(f.lcdText);
    P.online->setColour(f.lcdDim);
    for (auto& [led, label] : P.lights) {
        led->setColour(f.rx);
        label->setColour(f.lcdText);
    }
    P.muted->setColour(f.tx);
    ptt_->setFinish(f);
    tint(P.talk, f.engrave);
    tint(P.footer, Skin::alpha(f.engrave, 0.55));
    for (QAbstractButton* key : {expandKey_, hideKey_, powerKey_, send_})
        static_cast<RoundKey*>(key)->setFinish(f);
    const QColor accent = Skin::alpha(f.accent, 0.45);
    field_->setStyleSheet(QStringLiteral("QLineEdit { background: rgba(0,0,0,115); color: white;"
                                         " border: 1px solid rgba(%1,%2,%3,%4); border-radius: 15px;"
                                         " padding: 7px 12px; }"
                                         " QLineEdit:disabled { color: rgba(255,255,255,110); }")
                              .arg(accent.red())
                              .arg(accent.green())
                              .arg(accent.blue())
                              .arg(accent.alpha()));
    refresh();
    update();
}

void TRMiniView::refresh() {
    Parts& P = *parts_;
    const Snapshot s = model_ ? Snapshot::of(*model_) : Snapshot{};
    const bool muted = mute_.on();
    P.channel->setText(s.hasChannel ? s.channelName.toUpper() : tr("NO CHANNEL"));
    P.online->setText(onlineText(s));
    P.lights[0].first->setOn(s.lanUnits > 0);
    P.lights[1].first->setOn(s.relayUp);
    P.lights[2].first->setOn(s.nearbyPeers > 0);
    P.muted->setVisible(muted);
    const bool ready = !s.locked && s.hasChannel;
    ptt_->setState(talkButtonState(s.talk));
    ptt_->setEnabled(ready);
    const bool lit = s.talk.isTransmitting() || s.talk.isReceiving();
    P.lamp->setOn(lit);
    P.lamp->setColour(s.talk.isTransmitting() ? finish_.tx : finish_.rx);
    P.talk->setText(talkText(s, muted));
    // Held by value: messages() returns a copy, and a reference into it would die with the statement.
    const QList<TextMessage> messages = model_ ? model_->messages() : QList<TextMessage>();
    if (!messages.isEmpty()) {
        const TextMessage& m = messages.first();
        P.last->set(finish_, m.who + QStringLiteral(": ") + m.text, true, m.outgoing);
    } else {
        P.last->set(finish_, tr("No messages yet"), false, false);
    }
    field_->setEnabled(ready);
    send_->setEnabled(ready && !trimSpacesAndTabs(field_->text()).isEmpty());
    P.footer->setText(footer(typing()));
}

TRMiniView::Snapshot TRMiniView::Snapshot::of(const WalkieModel& model) {
    Snapshot s;
    const std::optional<Channel> selected = model.selected();
    s.hasChannel = selected.has_value();
    if (selected) {
        s.channelName = selected->name;
        s.online = model.onlineCount(*selected);
    }
    s.locked = model.locked();
    s.talk = model.talk();
    s.lanUnits = model.lanUnits();
    s.nearbyPeers = model.nearbyPeers();
    s.relayUp = model.relayUp();
    return s;
}

QString TRMiniView::talkText(const Snapshot& s, bool muted) {
    if (s.locked) return tr("Locked: open the full window to unlock");
    switch (s.talk.kind) {
    case TalkState::Kind::idle:
        return muted ? tr("Incoming muted") : tr("Listening");
    case TalkState::Kind::transmitting:
        return tr("You are on air");
    case TalkState::Kind::busy:
        return tr("Channel busy");
    case TalkState::Kind::receiving:
        return muted ? s.talk.text + tr(" (muted)") : s.talk.text;
    }
    return {};
}

QString TRMiniView::onlineText(const Snapshot& s) {
    if (!s.hasChannel) return tr("CREATE A CHANNEL IN THE FULL WINDOW");
    if (s.online) return *s.online == 1 ? tr("1 ONLINE") : tr("%1 ONLINE").arg(*s.online);
    if (s.lanUnits + s.nearbyPeers > 0 || s.relayUp) return tr("CONNECTED");
    return tr("WAITING FOR OTHERS");
}

QString TRMiniView::footer(bool typing) {
    return typing ? tr("RETURN SENDS THE MESSAGE") : tr("HOLD THE BUTTON OR SPACE BAR TO TALK");
}

QString TRMiniView::statusLine(const Snapshot& s) {
    if (!s.hasChannel) return tr("No channel yet");
    if (s.talk.isTransmitting()) return tr("On air: ") + s.channelName;
    if (s.talk.isReceiving()) return tr("Receiving: ") + s.talk.text;
    QString online;
    if (s.online)
        online = tr("%1 online").arg(*s.online);
    else if (s.lanUnits + s.nearbyPeers > 0 || s.relayUp)
        online = tr("connected");
    else
        online = tr("waiting for others");
    return s.channelName + QStringLiteral(" · ") + online;
}

QString TRMiniView::statusLine(const WalkieModel& model) {
    return statusLine(Snapshot::of(model));
}

bool TRMiniView::talkReady() const {
    return model_ && !model_->locked() && model_->selected().has_value();
}

QString TRMiniView::draft() const {
    return field_->text();
}

void TRMiniView::setDraft(const QString& text) {
    field_->setText(text);
}

bool TRMiniView::typing() const {
    return field_->hasFocus();
}

void TRMiniView::sendDraft() {
    if (!model_) return;
    const std::optional<Channel> channel = model_->selected();
    if (!channel) return;
    if (model_->locked()) return;
    // Line breaks are trimmed here too; the send key's enabling looks only at spaces and tabs.
    const QString text = field_->text().trimmed();
    if (text.isEmpty()) return;
    model_->sendText(text, *channel);
    field_->clear();
    field_->clearFocus();
    // No control keeps the keyboard: the panel itself takes it.
    window()->setFocus(Qt::OtherFocusReason);
    refresh();
}

QString TRMiniView::channelLine() const {
    return parts_->channel->text();
}
QString TRMiniView::onlineLine() const {
    return parts_->online->text();
}
QString TRMiniView::talkLine() const {
    return parts_->talk->text();
}
QString TRMiniView::footerLine() const {
    return parts_->footer->text();
}
QString TRMiniView::lastMessageLine() const {
    return parts_->last->text();
}
bool TRMiniView::lastMessageOutgoing() const {
    return parts_->last->outgoing();
}
bool TRMiniView::mutedShown() const {
    return parts_->muted->isVisibleTo(this);
}
bool TRMiniView::talkLampOn() const {
    return parts_->lamp->isOn();
}

void TRMiniView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF r = rect();
    const qreal radius = TRMiniPanel::cornerRadius;
    Skin::cachedLayer(p, r.size(), QStringLiteral("mini-face|") + Skin::key(finish_), [&](QPainter& q) {
        QPainterPath clip;
        clip.addRoundedRect(r, radius, radius);
        q.setClipPath(clip);
        Skin::metalPlate(q, r, radius, finish_);
        // The polished ring, stroked inside the edge.
        q.setBrush(Qt::NoBrush);
        q.setPen(QPen(QBrush(chrome(r.center())), 3));
        q.drawRoundedRect(r.adjusted(1.5, 1.5, -1.5, -1.5), radius - 1.5, radius - 1.5);
    });
}

void TRMiniView::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // No field starts focused.
    field_->clearFocus();
    refresh();
}

bool TRMiniView::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && (event->type() == QEvent::FocusIn || event->type() == QEvent::FocusOut))
        parts_->footer->setText(footer(event->type() == QEvent::FocusIn));
    return QWidget::eventFilter(watched, event);
}
