#include "MessagesPanel.h"

#include "CutText.h"
#include "LookAccessible.h"
#include "Skin.h"
#include "Symbols.h"
#include "TimeText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>

// One painted message line: direction, time, sender, channel and the text cut at the end.
class MessageRow : public QWidget {
public:
    explicit MessageRow(QWidget* parent) : QWidget(parent) {
        setAttribute(Qt::WA_TransparentForMouseEvents);
        LookAccessible::setRole(this, QAccessible::StaticText);
    }

    void set(const TextMessage& m, const Finish& f) {
        message_ = m;
        finish_ = f;
        message_.who = ViewText::oneLine(m.who);
        message_.channel = ViewText::oneLine(m.channel);
        message_.text = ViewText::oneLine(m.text);
        setAccessibleName(TimeText::shortTime(message_.time) + QLatin1Char(' ') + shownText());
        update();
    }
    QString shownText() const {
        return message_.who + QStringLiteral(" · ") + message_.channel + QStringLiteral(": ") + message_.text;
    }

    // The whole row when any part of it is cut to fit; empty when all of it shows.
    QString wholeIfCut() const { return pieces().cut ? shownText() : QString(); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        const QRectF r(rect());
        const Pieces t = pieces();
        const QColor mark = message_.outgoing ? finish_.tx : finish_.rx;
        Symbols::paint(
            p, QRectF(0, (r.height() - 11) / 2, 11, 11),
            message_.outgoing ? QStringLiteral("arrow.up.right") : QStringLiteral("arrow.down.left"), mark);
        p.setPen(Skin::alpha(finish_.engrave, 0.6));
        ViewText::drawTabular(p, t.timeX, r, TimeText::shortTime(message_.time), font());
        p.setFont(bold());
        p.setPen(finish_.engrave);
        p.drawText(QRectF(t.whoX, 0, t.channelX - t.whoX, r.height()), Qt::AlignLeft | Qt::AlignVCenter, t.who);
        p.setFont(font());
        p.setPen(Skin::alpha(finish_.engrave, 0.7));
        p.drawText(QRectF(t.channelX, 0, t.textX - t.channelX, r.height()), Qt::AlignLeft | Qt::AlignVCenter,
                   t.channel);
        p.setPen(finish_.engrave);
        p.drawText(QRectF(t.textX, 0, r.width() - t.textX, r.height()), Qt::AlignLeft | Qt::AlignVCenter, t.text);
    }

private:
    // The parts as they fit the row now, and where each starts.
    struct Pieces {
        QString who, channel, text;
        qreal timeX = 0, whoX = 0, channelX = 0, textX = 0;
        bool cut = false;
    };
    static QFont font() { return WFonts::body(12); }
    static QFont bold() {
        QFont b = font();
        b.setWeight(QFont::Bold);
        return b;
    }
    Pieces pieces() const {
        Pieces t;
        const qreal gap = 6;
        const QFontMetricsF fm(font()), fmb(bold());
        t.timeX = 11 + gap;
        t.whoX = t.timeX + ViewText::tabularWidth(TimeText::shortTime(message_.time), font()) + gap;
        // Sender and channel keep to their shares, so the text always gets some room.
        const qreal rest = width() - t.whoX;
        bool whoCut = false, channelCut = false, textCut = false;
        t.who = CutText::fit(message_.who, bold(), rest * 0.35, &whoCut);
        t.channelX = t.whoX + fmb.horizontalAdvance(t.who) + gap;
        t.channel = CutText::fit(QStringLiteral("· ") + message_.channel, font(), rest * 0.3, &channelCut) +
                    QStringLiteral(":");
        t.textX = t.channelX + fm.horizontalAdvance(t.channel) + gap;
        t.text = CutText::fit(message_.text, font(), width() - t.textX, &textCut);
        t.cut = whoCut || channelCut || textCut;
        return t;
    }

private:
    TextMessage message_;
    Finish finish_;
};

MessagesPanel::MessagesPanel(WalkieModel& model, const Finish& finish, QWidget* parent)
    : QWidget(parent), model_(model), finish_(finish) {
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("draft"));
    // The field takes spaces while a message is typed; the way back to the space bar's talking.
    field_->setToolTip(tr("Return sends the message. Escape, or a click outside the field, gives the "
                          "space bar back to talking."));
    field_->installEventFilter(this);
    send_ = new QPushButton(tr("Send"), this);
    send_->setObjectName(QStringLiteral("send"));
    send_->setAutoDefault(false);
    for (int i = 0; i < maxRows; ++i) {
        auto* row = new MessageRow(this);
        row->hide();
        rows_.append(row);
    }
    // The rows pass the mouse through; the panel answers hovers over them.
    CutText::watch(this, [this](const QPoint& at) {
        for (MessageRow* row : std::as_const(rows_))
            if (row->isVisibleTo(this) && row->geometry().contains(at)) return row->wholeIfCut();
        return QString();
    });
    connect(field_, &QLineEdit::returnPressed, this, &MessagesPanel::send);
    connect(send_, &QPushButton::clicked, this, &MessagesPanel::send);
    connect(field_, &QLineEdit::textChanged, this, &MessagesPanel::refresh);
    connect(&model_, &WalkieModel::messagesChanged, this, &MessagesPanel::refresh);
    connect(&model_, &WalkieModel::channelsChanged, this, &MessagesPanel::refresh);
    connect(&model_, &WalkieModel::selectedIDChanged, this, &MessagesPanel::refresh);
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    refresh();
}

void MessagesPanel::setFinish(const Finish& finish) {
    finish_ = finish;
    refresh();
}

void MessagesPanel::refresh() {
    const auto selected = model_.selected();
    field_->setPlaceholderText(
        selected ? tr("Text message to %1 (encrypted)").arg(ViewText::oneLine(selected->name))
                 : tr("Join a channel to send messages"));
    field_->setAccessibleName(field_->placeholderText()); // its only visible label
    send_->setEnabled(selected && !ViewText::trimSpacesTabs(field_->text()).isEmpty());
    const QList<TextMessage> messages = model_.messages();
    for (int i = 0; i < maxRows; ++i)
        if (i < messages.size()) rows_[i]->set(messages[i], finish_);
    layoutRows();
    updateGeometry();
}

void MessagesPanel::send() {
    const auto selected = model_.selected();
    if (!selected) return; // the typed text stays
    model_.sendText(field_->text(), *selected);
    field_->clear();
}

QSize MessagesPanel::sizeHint() const {
    const int composer = qMax(field_->sizeHint().height(), send_->sizeHint().height());
    const int n = qMin<int>(maxRows, model_.messages().size());
    return {430, composer + n * (rowHeight + spacing)};
}

int MessagesPanel::shownRows() const {
    int n = 0;
    for (MessageRow* row : rows_)
        n += row->isVisibleTo(this) ? 1 : 0;
    return n;
}

QStringList MessagesPanel::shownTexts() const {
    QStringList out;
    for (MessageRow* row : rows_)
        if (row->isVisibleTo(this)) out << row->shownText();
    return out;
}

bool MessagesPanel::eventFilter(QObject* watched, QEvent* event) {
    if (watched == field_ && event->type() == QEvent::KeyPress &&
        static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        static_cast<QKeyEvent*>(event)->modifiers() == Qt::NoModifier) {
        // The keyboard goes back to the window the panel sits in (the rack), where the space bar talks.
        window()->setFocus(Qt::OtherFocusReason);
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void MessagesPanel::resizeEvent(QResizeEvent*) {
    layoutRows();
}

void MessagesPanel::layoutRows() {
    const int composer = qMax(field_->sizeHint().height(), send_->sizeHint().height());
    const int sendW = send_->sizeHint().width();
    field_->setGeometry(0, 0, qMax(0, width() - sendW - 6), composer);
    send_->setGeometry(width() - sendW, 0, sendW, composer);
    const int count = qMin<int>(maxRows, model_.messages().size());
    int y = composer + spacing;
    for (int i = 0; i < maxRows; ++i) {
        // Newest first; a row that would not fit whole is not shown at all.
        const bool fits = i < count && y + rowHeight <= height();
        if (fits) rows_[i]->setGeometry(0, y, width(), rowHeight);
        rows_[i]->setVisible(fits);
        y += rowHeight + spacing;
    }
}
