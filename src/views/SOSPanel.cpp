#include "SOSPanel.h"

#include "AlertCard.h"
#include "Mnemonic.h"
#include "SOSStyle.h"
#include "SheetWidgets.h"
#include "Symbols.h"
#include "TimeText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"
#include "WrappedLabel.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QSet>
#include <QVBoxLayout>

namespace {

QLabel* text(const QString& s, const QFont& font, QWidget* parent, bool wrap = true) {
    QLabel* l = wrap ? new WrappedLabel(s, parent) : new SheetLabel(s, parent);
    l->setFont(font);
    l->setWordWrap(wrap);
    return l;
}

// No button of this sheet is fired by Return: a stray key must never send an SOS.
QPushButton* button(const QString& title, QWidget* parent) {
    auto* b = new SheetButton(Mnemonic::literal(title), parent);
    b->setAutoDefault(false);
    b->setDefault(false);
    return b;
}

} // namespace

QString SOSPanel::choiceLabel(int minutes) {
    return minutes < 60 ? tr("%1 min").arg(minutes) : tr("%1 hr").arg(minutes / 60);
}

QString SOSPanel::responderLine(const QStringList& responders) {
    if (responders.isEmpty()) return tr("Waiting for someone to respond…");
    QStringList names;
    for (const QString& n : responders)
        names.append(ViewText::oneLine(n));
    return tr("Responding: ") + names.join(QStringLiteral(", "));
}

SOSPanel::SOSPanel(WalkieModel* model, const Finish& finish, std::function<void()> done, QWidget* parent)
    : SheetDialog(std::move(done), parent), model_(model), finish_(finish) {
    setWindowTitle(tr("SOS Control"));
    setMinimumSize(560, 600);
    build();
    applyFinish();
    if (model_) {
        connect(model_, &WalkieModel::sosActiveChanged, this, &SOSPanel::refreshOwnSOS);
        connect(model_, &WalkieModel::sosRespondersChanged, this, &SOSPanel::refreshOwnSOS);
        connect(model_, &WalkieModel::checkInDeadlineChanged, this, &SOSPanel::refreshCheckIn);
        connect(model_, &WalkieModel::alertsChanged, this, &SOSPanel::refreshAlerts);
    }
    refresh();
}

SOSPanel::~SOSPanel() = default;

void SOSPanel::build() {
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setVerticalScrollBar(new SheetScrollBar(Qt::Vertical, scroll));
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll->setFocusPolicy(Qt::NoFocus); // it scrolls to whichever of its controls has the focus
    outer->addWidget(scroll);
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("sosContent"));
    scroll->setWidget(content);
    // The content, resized to fill the view at least, paints the background: the view under it need not.
    scroll->viewport()->setAutoFillBackground(false);
    auto* stack = new QVBoxLayout(content);
    stack->setContentsMargins(22, 22, 22, 22);
    stack->setSpacing(16);

    // Header.
    auto* header = new QHBoxLayout;
    icon_ = new QLabel(content);
    auto* title = text(tr("SOS Control"), WFonts::display(20, QFont::Bold), content, false);
    auto* close = button(tr("Close"), content);
    connect(close, &QPushButton::clicked, this, &SOSPanel::requestDone); // Escape does the same
    header->addWidget(icon_);
    header->addWidget(title);
    header->addStretch(1);
    header->addWidget(close);
    stack->addLayout(header);

    // This unit's own SOS while it runs.
    ownBox_ = new SheetGroupBox(QString(), content);
    {
        auto* box = new QVBoxLayout(ownBox_);
        box->setSpacing(8);
        ownTitle_ = text(tr("Your SOS is active"), WFonts::body(15, QFont::ExtraBold), ownBox_);
        box->addWidget(ownTitle_);
        box->addWidget(text(tr("Your location updates every 30 seconds to everyone in your channels."),
                            WFonts::body(13), ownBox_));
        responders_ = text(QString(), WFonts::body(13, QFont::Bold), ownBox_);
        responders_->setTextFormat(Qt::PlainText); // the names are other units' call signs
        box->addWidget(responders_);
        cancel_ = button(tr("I'm safe: cancel SOS"), ownBox_);
        connect(cancel_, &QPushButton::clicked, this, [this] {
            if (model_) model_->cancelSOS();
        });
        box->addWidget(cancel_, 0, Qt::AlignLeft);
    }
    stack->addWidget(ownBox_);

    // Sending.
    auto* sendBox = new SheetGroupBox(tr("Send"), content);
    {
        auto* box = new QVBoxLayout(sendBox);
        box->setSpacing(10);
        auto* row = new QHBoxLayout;
        row->setSpacing(10);
        send_ = button(tr("Send SOS"), sendBox);
        silent_ = button(tr("Silent SOS"), sendBox);
        silent_->setToolTip(
            tr("No sound or flash on your end. Everyone in your channels still gets the alert."));
        connect(send_, &QPushButton::clicked, this, [this] {
            if (model_) model_->triggerSOS(false);
        });
        connect(silent_, &QPushButton::clicked, this, [this] {
            if (model_) model_->triggerSOS(true);
        });
        row->addWidget(send_);
        row->addWidget(silent_);
        row->addStretch(1);
        box->addLayout(row);
        auto* note =
            text(tr("Sends your location, battery and the time to everyone in all your channels, plus 15 "
                    "seconds of audio from your microphone. Tessrook does not contact 911."),
                 WFonts::body(12), sendBox);
        note->setObjectName(QStringLiteral("secondary"));
        box->addWidget(note);
    }
    stack->addWidget(sendBox);

    // Check-in timer: the deadline with "I'm OK", or the choices.
    auto* checkBox = new SheetGroupBox(tr("Check-in timer"), content);
    {
        auto* box = new QVBoxLayout(checkBox);
        box->setSpacing(10);
        deadlineForm_ = new QWidget(checkBox);
        auto* deadline = new QVBoxLayout(deadlineForm_);
        deadline->setContentsMargins(0, 0, 0, 0);
        deadline->setSpacing(10);
        deadlineText_ = text(QString(), WFonts::body(13), deadlineForm_);
        auto* ok = button(tr("I'm OK"), deadlineForm_);
        ok->setObjectName(QStringLiteral("checkInOK"));
        connect(ok, &QPushButton::clicked, this, [this] {
            if (model_) model_->checkInOK();
        });
        deadline->addWidget(deadlineText_);
        deadline->addWidget(ok, 0, Qt::AlignLeft);
        box->addWidget(deadlineForm_);

        choicesForm_ = new QWidget(checkBox);
        auto* choices = new QVBoxLayout(choicesForm_);
        choices->setContentsMargins(0, 0, 0, 0);
        choices->setSpacing(10);
        choices->addWidget(
            text(tr("Going somewhere risky? Set a timer. If you don't tap I'm OK in time, your SOS is "
                    "sent for you."),
                 WFonts::body(13), choicesForm_));
        auto* row = new QHBoxLayout;
        for (int minutes : checkInChoices) {
            auto* b = button(choiceLabel(minutes), choicesForm_);
            connect(b, &QPushButton::clicked, this, [this, minutes] {
                if (model_) model_->startCheckIn(minutes);
            });
            row->addWidget(b);
        }
        row->addStretch(1);
        choices->addLayout(row);
        box->addWidget(choicesForm_);
    }
    stack->addWidget(checkBox);

    // Alerts from other units.
    stack->addWidget(text(tr("Incoming alerts"), WFonts::body(15, QFont::ExtraBold), content));
    noAlerts_ =
        text(tr("No alerts. When someone in your channels sends an SOS, it shows here with their location."),
             WFonts::body(13), content);
    noAlerts_->setObjectName(QStringLiteral("secondary"));
    stack->addWidget(noAlerts_);
    cardList_ = new QVBoxLayout;
    cardList_->setSpacing(16);
    stack->addLayout(cardList_);
    stack->addStretch(1);
}

void SOSPanel::applyFinish() {
    icon_->setPixmap(Symbols::pixmap(QStringLiteral("sos.circle.fill"), finish_.tx, 30, devicePixelRatioF()));
    SOSStyle::setTextColour(ownTitle_, finish_.tx);
    QPalette destructive = cancel_->palette();
    destructive.setColor(QPalette::ButtonText, finish_.tx);
    cancel_->setPalette(destructive);
    SOSStyle::prominent(send_, finish_.tx);
    send_->setIcon(QIcon(Symbols::pixmap(QStringLiteral("exclamationmark.triangle.fill"), Qt::white, 16,
                                         devicePixelRatioF())));
    const QColor plain = palette().color(QPalette::ButtonText);
    silent_->setIcon(
        QIcon(Symbols::pixmap(QStringLiteral("eye.slash.fill"), plain, 16, devicePixelRatioF())));
    if (auto* ok = findChild<QPushButton*>(QStringLiteral("checkInOK")))
        SOSStyle::prominent(ok, palette().color(QPalette::Highlight));
    for (QLabel* l : findChildren<QLabel*>(QStringLiteral("secondary")))
        SOSStyle::setTextColour(l, SOSStyle::secondary(this));
    for (AlertCard* card : std::as_const(order_))
        card->setFinish(finish_);
}

void SOSPanel::setFinish(const Finish& finish) {
    if (finish == finish_) return;
    finish_ = finish;
    applyFinish();
}

QList<AlertCard*> SOSPanel::cards() const {
    return order_;
}

void SOSPanel::refresh() {
    refreshOwnSOS();
    shownDeadline_.reset();
    refreshCheckIn();
    refreshAlerts();
}

void SOSPanel::refreshOwnSOS() {
    if (!model_) return;
    const bool active = model_->sosActive();
    ownBox_->setVisible(active);
    send_->setEnabled(!active);
    silent_->setEnabled(!active);
    responders_->setText(responderLine(model_->sosResponders()));
}

void SOSPanel::refreshCheckIn() {
    if (!model_) return;
    // The model announces the deadline every second while a check-in runs; the sheet shows a clock
    // time, so only a different deadline changes anything.
    const QDateTime deadline = model_->checkInDeadline();
    if (shownDeadline_ == deadline) return;
    shownDeadline_ = deadline;
    const bool set = deadline.isValid();
    if (set)
        deadlineText_->setText(tr("If you don't check in by %1, an SOS goes out automatically.")
                                   .arg(TimeText::shortTime(deadline)));
    deadlineForm_->setVisible(set);
    choicesForm_->setVisible(!set);
}

void SOSPanel::refreshAlerts() {
    if (!model_) return;
    const QList<SOSAlert> alerts = model_->alerts();
    QList<AlertCard*> order;
    QSet<quint64> ids;
    for (const SOSAlert& a : alerts) {
        if (ids.contains(a.id)) continue;
        ids.insert(a.id);
        AlertCard* card = byID_.value(a.id);
        if (card) {
            card->setAlert(a);
        } else {
            card = new AlertCard(model_, a, finish_, cardList_->parentWidget());
            byID_.insert(a.id, card);
        }
        order.append(card);
    }
    // Gone alerts lose their card later: a Dismiss click is still running inside it.
    for (auto it = byID_.begin(); it != byID_.end();) {
        if (ids.contains(it.key())) {
            ++it;
            continue;
        }
        cardList_->removeWidget(it.value());
        it.value()->hide();
        it.value()->deleteLater();
        it = byID_.erase(it);
    }
    // Only cards out of place move: a new alert is one insertion, and the others (with their maps)
    // stay where they are.
    for (int i = 0; i < order.size(); ++i) {
        AlertCard* card = order[i];
        if (cardList_->indexOf(card) == i) continue;
        cardList_->removeWidget(card);
        cardList_->insertWidget(i, card);
        card->show();
    }
    order_ = order;
    noAlerts_->setVisible(alerts.isEmpty());
}
