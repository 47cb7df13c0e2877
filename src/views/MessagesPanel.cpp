#include "MessagesPanel.h"

#include "LookAccessible.h"
#include "Skin.h"
#include "Symbols.h"
#include "TimeText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QFontMetricsF>
#include <QHBoxLayout>
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

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        const QRectF r(rect());
        const QFont font = WFonts::body(12);
        QFont bold = font;
        bold.setWeight(QFont::Bold);
        const QFontMetricsF fm(font), fmb(bold);
        qreal x = 0;
        const qreal gap = 6;
        const QColor mark = message_.outgoing ? finish_.tx : finish_.rx;
        Symbols::paint(
            p, QRectF(x, (r.height() - 11) / 2, 11, 11),
            message_.outgoing ? QStringLiteral("arrow.up.right") : QStringLiteral("arrow.down.left"), mark);
        x += 11 + gap;
        p.setPen(Skin::alpha(finish_.engrave, 0.6));
        x += ViewText::drawTabular(p, x, r, TimeText::shortTime(message_.time), font) + gap;
        // Sender and channel keep to their shares, so the text always gets some room.
        const qreal rest = r.width() - x;
        const QString who = fmb.elidedText(message_.who, Qt::ElideRight, rest * 0.35);
        p.setFont(bold);
        p.setPen(finish_.engrave);
        const qreal whoW = fmb.horizontalAdvance(who);
        p.drawText(QRectF(x, 0, whoW + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter, who);
        x += whoW + gap;
        const QString channel =
            fm.elidedText(QStringLiteral("· ") + message_.channel, Qt::ElideRight, rest * 0.3) +
            QStringLiteral(":");
        p.setFont(font);
        p.setPen(Skin::alpha(finish_.engrave, 0.7));
        const qreal chW = fm.horizontalAdvance(channel);
        p.drawText(QRectF(x, 0, chW + 1, r.height()), Qt::AlignLeft | Qt::AlignVCenter, channel);
        x += chW + gap;
        p.setPen(finish_.engrave);
        const QString text = fm.elidedText(message_.text, Qt::ElideRight, qMax<qreal>(0, r.width() - x));
        p.drawText(QRectF(x, 0, r.width() - x, r.height()), Qt::AlignLeft | Qt::AlignVCenter, text);
    }

private:
    TextMessage message_;
    Finish finish_;
};

MessagesPanel::MessagesPanel(WalkieModel& model, const Finish& finish, QWidget* parent)
    : QWidget(parent), model_(model), finish_(finish) {
    field_ = new QLineEdit(this);
    field_->setObjectName(QStringLiteral("draft"));
    send_ = new QPushButton(tr("Send"), this);
    send_->setObjectName(QStringLiteral("send"));
    send_->setAutoDefault(false);
    for (int i = 0; i < maxRows; ++i) {
        auto* row = new MessageRow(this);
        row->hide();
        rows_.append(row);
    }
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
