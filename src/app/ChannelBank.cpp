#include "ChannelBank.h"

#include "CutText.h"
#include "Engraved.h"
#include "HelpDot.h"
#include "LED.h"
#include "LookAccessible.h"
#include "Manual.h"
#include "QMPaint.h"
#include "RackButton.h"
#include "Skin.h"
#include "TimeText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QContextMenuEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

void setTextColour(QWidget* w, const QColor& colour) {
    QPalette pal = w->palette();
    pal.setColor(QPalette::WindowText, colour);
    w->setPalette(pal);
}

// One line of user text: line breaks become spaces.
QString oneLine(QString s) {
    for (QChar c : {QChar('\r'), QChar('\n'), QChar(0x2028), QChar(0x2029)})
        s.replace(c, QChar(' '));
    return s;
}

} // namespace

// ---- row ----------------------------------------------------------------------------------------------

ChannelRow::ChannelRow(const Channel& channel, const Finish& finish, QWidget* parent)
    : QAbstractButton(parent), channel_(channel), finish_(finish) {
    setFixedHeight(46);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    setFocusPolicy(Qt::TabFocus);
    setContextMenuPolicy(Qt::CustomContextMenu);
    // Heard as one of a list, selected or not, rather than as a button.
    LookAccessible::setRole(this, QAccessible::ListItem);
    LookAccessible::setSelected(this, false);
    // A name or status line cut to the row's width shows whole on hover, both lines together.
    CutText::watch(this, [this](const QPoint&) {
        const Texts t = texts();
        return t.nameCut || t.statusCut ? oneLine(channel_.name) + u'\n' + status_ : QString();
    });
}

ChannelRow::Texts ChannelRow::texts() const {
    Texts t;
    const QRectF inner = QRectF(rect()).adjusted(10, 0, -10, 0);
    t.numberWidth = QFontMetricsF(numberFont()).horizontalAdvance(number_);
    const qreal lamp = 8;
    t.lampLeft = inner.right() - lamp - LED::glowMargin(lamp);
    t.left = inner.left() + t.numberWidth + 10;
    t.width = qMax<qreal>(0, t.lampLeft - 10 - t.left);
    t.name = CutText::fit(oneLine(channel_.name), nameFont(), t.width, &t.nameCut);
    t.status = CutText::fit(status_, statusFont(), t.width, &t.statusCut);
    return t;
}

QFont ChannelRow::numberFont() {
    return WFonts::lcd(13);
}
QFont ChannelRow::nameFont() {
    return WFonts::body(14, QFont::Bold);
}
QFont ChannelRow::statusFont() {
    return WFonts::body(11);
}

QString ChannelRow::number(int index) {
    return QString::asprintf("%02d", index + 1);
}

void ChannelRow::set(const Channel& channel, int index, bool selected, const QString& status) {
    const QString n = number(index);
    if (channel_.channelID() == channel.channelID() && channel_.name == channel.name && number_ == n &&
        selected_ == selected && status_ == status)
        return;
    channel_ = channel;
    number_ = n;
    selected_ = selected;
    status_ = status;
    setAccessibleName(oneLine(channel.name));
    setAccessibleDescription(status); // the status line, which carries the safety code
    LookAccessible::setSelected(this, selected);
    update();
}

// The menu key and Shift+F10 open the row's menu, as in the desktop's lists, under the row.
void ChannelRow::keyPressEvent(QKeyEvent* event) {
    const bool menuKey = event->key() == Qt::Key_Menu && !(event->modifiers() & ~Qt::KeypadModifier);
    const bool shiftF10 = event->key() == Qt::Key_F10 && event->modifiers() == Qt::ShiftModifier;
    if (!menuKey && !shiftF10) return QAbstractButton::keyPressEvent(event);
    event->accept();
    if (!event->isAutoRepeat()) emit customContextMenuRequested(QPoint(12, height()));
}

bool ChannelRow::event(QEvent* event) {
    // The system also turns the menu key into a menu request, placed at the mouse pointer: the key
    // already opened the menu here.
    if (event->type() == QEvent::ContextMenu &&
        static_cast<QContextMenuEvent*>(event)->reason() == QContextMenuEvent::Keyboard) {
        event->accept();
        return true;
    }
    return QAbstractButton::event(event);
}

void ChannelRow::setFinish(const Finish& finish) {
    finish_ = finish;
    update();
}

void ChannelRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QRectF box = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const QPainterPath shape = QMPaint::rounded(box, 8);
    p.fillPath(shape, QColor(0, 0, 0, qRound((selected_ ? 0.45 : 0.2) * 255)));
    p.setPen(
        QPen(selected_ ? Skin::alpha(finish_.accent, 0.7) : QColor(255, 255, 255, qRound(0.06 * 255)), 1));
    p.drawPath(shape);

    const QRectF inner = QRectF(rect()).adjusted(10, 0, -10, 0);
    const Texts t = texts();
    // Number.
    p.setFont(numberFont());
    p.setPen(selected_ ? finish_.lcdText : Skin::alpha(finish_.engrave, 0.6));
    p.drawText(QRectF(inner.left(), inner.top(), t.numberWidth + 1, inner.height()),
               Qt::AlignVCenter | Qt::AlignLeft, number_);
    // Lamp at the right.
    const qreal lamp = 8;
    LED::paintLamp(p, QPointF(t.lampLeft + lamp / 2, inner.center().y()), lamp, finish_.accent, selected_);
    // Name over the status line.
    const QFontMetricsF nf(nameFont()), sf(statusFont());
    const qreal block = nf.height() + 1 + sf.height();
    const qreal top = inner.center().y() - block / 2;
    p.setFont(nameFont());
    p.setPen(finish_.engrave);
    p.drawText(QRectF(t.left, top, t.width, nf.height()), Qt::AlignLeft | Qt::AlignVCenter, t.name);
    p.setFont(statusFont());
    p.setPen(Skin::alpha(finish_.engrave, 0.55));
    p.drawText(QRectF(t.left, top + nf.height() + 1, t.width, sf.height()), Qt::AlignLeft | Qt::AlignVCenter,
               t.status);
    if (hasFocus()) Skin::focusRing(p, QMPaint::rounded(box.adjusted(2, 2, -2, -2), 6));
}

// ---- bank ---------------------------------------------------------------------------------------------

ChannelBank::ChannelBank(WalkieModel& model, const Finish& finish, std::function<void()> add,
                         ChannelAction invite, ChannelAction edit, QWidget* parent)
    : ScrewedPanel(finish, 16, parent), model_(model), add_(std::move(add)), invite_(std::move(invite)),
      edit_(std::move(edit)) {
    setObjectName(QStringLiteral("channelBank"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    column->setAlignment(Qt::AlignTop);

    auto* header = new QHBoxLayout;
    header_ = new Engraved(tr("Channel bank"), finish);
    help_ = new HelpDot(Manual::chapter(HelpTopic::channels).title, finish);
    connect(help_, &QAbstractButton::clicked, this, [] { openHelp(HelpTopic::channels); });
    header->addWidget(header_);
    header->addStretch(1);
    header->addWidget(help_);
    column->addLayout(header);

    empty_ = new QLabel(tr("No channels yet. Create one, then invite your people with its QR code."));
    empty_->setWordWrap(true);
    empty_->setFont(WFonts::body(13));
    column->addWidget(empty_);

    scroll_ = new QScrollArea;
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setWidgetResizable(true);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll_->viewport()->setAutoFillBackground(false);
    auto* list = new QWidget;
    list->setAutoFillBackground(false);
    // The rows are heard as a list: the reader says which is selected and "1 of 2".
    LookAccessible::setRole(list, QAccessible::List);
    list->setAccessibleName(tr("Channels"));
    rowLayout_ = new QVBoxLayout(list);
    rowLayout_->setContentsMargins(0, 0, 0, 0);
    rowLayout_->setSpacing(6);
    rowLayout_->addStretch(1);
    scroll_->setWidget(list);
    list->setAutoFillBackground(false); // setWidget turned it on; the panel shows through
    scroll_->setMinimumHeight(46);
    column->addWidget(scroll_, 1);

    detail_ = new QWidget;
    auto* detail = new QVBoxLayout(detail_);
    detail->setContentsMargins(0, 0, 0, 0);
    detail->setSpacing(2);
    link_ = new QLabel;
    link_->setTextFormat(Qt::PlainText);
    link_->setWordWrap(true); // height for width: a long explanation takes the lines it needs
    link_->setFont(WFonts::body(11, QFont::Bold));
    packet_ = new QLabel;
    packet_->setTextFormat(Qt::PlainText);
    packet_->setWordWrap(true);
    packet_->setFont(WFonts::body(10.5));
    detail->addWidget(link_);
    detail->addWidget(packet_);
    column->addWidget(detail_);

    auto* keys = new QHBoxLayout;
    keys->setSpacing(8);
    addKey_ = new RackButton(tr("New / Join"), finish, QStringLiteral("plus"), false, [this] {
        if (add_) add_();
    });
    editKey_ = new RackButton(tr("Edit"), finish, QStringLiteral("pencil"), false, [this] {
        if (auto s = model_.selected(); s && edit_) edit_(*s);
    });
    keys->addWidget(addKey_);
    keys->addWidget(editKey_);
    keys->addStretch(1);
    column->addLayout(keys);
    inviteKey_ = new RackButton(tr("Invite link"), finish, QStringLiteral("qrcode"), false, [this] {
        if (auto s = model_.selected(); s && invite_) invite_(*s);
    });
    column->addWidget(inviteKey_, 0, Qt::AlignLeft);

    for (auto signal :
         {&WalkieModel::channelsChanged, &WalkieModel::selectedIDChanged, &WalkieModel::rosterChanged,
          &WalkieModel::peerCountsChanged, &WalkieModel::lastGoodPacketChanged, &WalkieModel::lanUnitsChanged,
          &WalkieModel::foreignChannelsChanged, &WalkieModel::relayUpChanged,
          &WalkieModel::nearbyPeersChanged, &WalkieModel::lanChanged, &WalkieModel::lanStatusChanged})
        connect(&model_, signal, this, &ChannelBank::refresh);
    styleTexts();
    refresh();
}

QList<ChannelRow*> ChannelBank::rows() const {
    return order_;
}

RackButton* ChannelBank::button(const QString& title) const {
    for (RackButton* b : {addKey_, editKey_, inviteKey_})
        if (b->title() == title) return b;
    return nullptr;
}

QString ChannelBank::packetText(const QDateTime& lastGood, int lanUnits) {
    const QString time = lastGood.isValid() ? TimeText::standardTime(lastGood.toLocalTime()) : tr("none yet");
    return tr("Last packet: %1 · LAN units: %2").arg(time).arg(lanUnits);
}

void ChannelBank::refresh() {
    refreshRows();
    refreshDetail();
}

void ChannelBank::refreshRows() {
    const QList<Channel> channels = model_.channels();
    const std::optional<Channel> selected = model_.selected();
    empty_->setVisible(channels.isEmpty());

    QList<ChannelRow*> order;
    QHash<QString, ChannelRow*> kept;
    for (int i = 0; i < channels.size(); ++i) {
        const Channel& c = channels[i];
        const QString id = c.channelID();
        if (kept.contains(id)) continue; // the model keeps IDs unique; never show one twice
        ChannelRow* row = rows_.take(id);
        if (!row) {
            row = new ChannelRow(c, finish());
            connect(row, &QAbstractButton::clicked, this,
                    [this, row] { model_.setSelectedID(row->channel().channelID()); });
            connect(row, &QWidget::customContextMenuRequested, this, [this, row](const QPoint& pos) {
                contextMenu(row->channel())->popup(row->mapToGlobal(pos));
            });
        }
        const std::optional<int> online = model_.onlineCount(c);
        const QString status =
            online ? tr("%1 online · %2").arg(*online).arg(c.safetyCode()) : c.safetyCode();
        row->set(c, i, selected && selected->channelID() == id, status);
        kept.insert(id, row);
        order.append(row);
    }
    for (ChannelRow* gone : std::as_const(rows_)) {
        rowLayout_->removeWidget(gone);
        gone->hide();
        gone->deleteLater(); // it may be inside its own click or menu handler
    }
    rows_ = kept;
    if (order != order_) {
        for (ChannelRow* row : std::as_const(order))
            rowLayout_->removeWidget(row);
        for (int i = 0; i < order.size(); ++i)
            rowLayout_->insertWidget(i, order[i]);
        order_ = order;
        // Tab goes through the rows in list order, between the help dot and the keys below, however
        // late a row was made.
        QWidget* previous = help_;
        for (ChannelRow* row : std::as_const(order_)) {
            QWidget::setTabOrder(previous, row);
            previous = row;
        }
        QWidget::setTabOrder(previous, addKey_);
    }
}

void ChannelBank::refreshDetail() {
    const std::optional<Channel> s = model_.selected();
    detail_->setVisible(s.has_value());
    editKey_->setVisible(s.has_value());
    inviteKey_->setVisible(s.has_value());
    if (!s) return;
    link_->setText(model_.linkReason(*s));
    const bool up = !model_.roster().value(s->channelID()).isEmpty();
    if (up != linkUp_) {
        linkUp_ = up;
        styleTexts();
    }
    packet_->setText(packetText(model_.lastGoodPacket(), model_.lanUnits()));
}

QMenu* ChannelBank::contextMenu(const Channel& channel) {
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->addAction(tr("Edit channel / passphrase…"), this, [this, channel] {
        if (edit_) edit_(channel);
    });
    menu->addAction(tr("Invite…"), this, [this, channel] {
        if (invite_) invite_(channel);
    });
    // Qt menus have no destructive item style; the item stays last, as on the platform.
    menu->addAction(tr("Leave"), this, [this, channel] { model_.leave(channel); });
    return menu;
}

void ChannelBank::setFinish(const Finish& finish) {
    ScrewedPanel::setFinish(finish);
    header_->setFinish(finish);
    help_->setFinish(finish);
    for (ChannelRow* row : std::as_const(order_))
        row->setFinish(finish);
    for (RackButton* b : {addKey_, editKey_, inviteKey_})
        b->setFinish(finish);
    styleTexts();
}

void ChannelBank::styleTexts() {
    const Finish& f = finish();
    setTextColour(empty_, Skin::alpha(f.engrave, 0.75));
    setTextColour(link_, linkUp_ ? f.rx : Skin::alpha(f.engrave, 0.85));
    setTextColour(packet_, Skin::alpha(f.engrave, 0.55));
}
