#include "RackViews.h"

#include "WalkieModel.h"

#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#if __has_include("StatusLCD.h") && __has_include("MessagesPanel.h") && __has_include("ActivityTape.h")
#define RACK_HAS_PANELS 1
#include "ActivityTape.h"
#include "MessagesPanel.h"
#include "StatusLCD.h"
#endif
#if __has_include("JoinView.h") && __has_include("InviteView.h") && __has_include("EditChannelView.h")
#define RACK_HAS_SHEETS 1
#include "EditChannelView.h"
#include "InviteView.h"
#include "JoinView.h"
#endif
#if __has_include("SOSPanel.h")
#define RACK_HAS_SOS_PANEL 1
#include "SOSPanel.h"
#endif
#if __has_include("TRMiniPanel.h") && __has_include("TRWindows.h")
#define RACK_HAS_MINI 1
#include "TRMiniPanel.h"
#include "TRWindows.h"
#endif

namespace {

// Stands in for a view whose library has not been built into this program yet.
class Pending : public QWidget {
public:
    Pending(const QString& what, QSize size) {
        setObjectName(what);
        setMinimumSize(size);
        auto* l = new QVBoxLayout(this);
        auto* label = new QLabel(what, this);
        label->setAlignment(Qt::AlignCenter);
        label->setStyleSheet(QStringLiteral("color: rgba(255,255,255,0.4)"));
        l->addWidget(label);
    }
};

class PendingSheet : public QDialog {
public:
    PendingSheet(const QString& what, QWidget* parent, RackViews::Done done)
        : QDialog(parent), done_(std::move(done)) {
        setObjectName(what);
        auto* l = new QVBoxLayout(this);
        l->addWidget(new QLabel(what, this));
        auto* close = new QPushButton(tr("Done"), this);
        l->addWidget(close);
        connect(close, &QPushButton::clicked, this, [this] { reject(); });
    }
    void reject() override {
        if (done_) done_();
    }

private:
    RackViews::Done done_;
};

} // namespace

namespace RackViews {

#ifdef RACK_HAS_PANELS
QWidget* statusLCD(WalkieModel& model, const Finish& finish) {
    return new StatusLCD(&model, finish, false);
}
QWidget* messagesPanel(WalkieModel& model, const Finish& finish) {
    return new MessagesPanel(&model, finish);
}
QWidget* activityTape(WalkieModel& model, const Finish& finish) {
    return new ActivityTape(&model, finish);
}
#else
QWidget* statusLCD(WalkieModel&, const Finish&) {
    return new Pending(QStringLiteral("StatusLCD"), QSize(300, 150));
}
QWidget* messagesPanel(WalkieModel&, const Finish&) {
    return new Pending(QStringLiteral("MessagesPanel"), QSize(430, 110));
}
QWidget* activityTape(WalkieModel&, const Finish&) {
    return new Pending(QStringLiteral("ActivityTape"), QSize(200, 60));
}
#endif

void setFinish(QWidget* view, const Finish& finish) {
#ifdef RACK_HAS_PANELS
    if (auto* v = qobject_cast<StatusLCD*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<MessagesPanel*>(view)) return v->setFinish(finish);
    if (auto* v = qobject_cast<ActivityTape*>(view)) return v->setFinish(finish);
#endif
#ifdef RACK_HAS_SHEETS
    if (auto* v = qobject_cast<InviteView*>(view)) return v->setFinish(finish);
#endif
#ifdef RACK_HAS_SOS_PANEL
    if (auto* v = qobject_cast<SOSPanel*>(view)) return v->setFinish(finish);
#endif
    Q_UNUSED(view);
    Q_UNUSED(finish);
}

#ifdef RACK_HAS_SHEETS
QDialog* joinSheet(WalkieModel& model, QWidget* parent, Done done) {
    return new JoinView(&model, {}, std::move(done), parent);
}
QDialog* inviteSheet(WalkieModel& model, const Channel& channel, const Finish& finish, QWidget* parent,
                     Done done) {
    return new InviteView(&model, channel, finish, std::move(done), parent);
}
QDialog* editSheet(WalkieModel& model, const Channel& channel, QWidget* parent, Done done) {
    return new EditChannelView(&model, channel, std::move(done), parent);
}
#else
QDialog* joinSheet(WalkieModel&, QWidget* parent, Done done) {
    return new PendingSheet(QStringLiteral("JoinView"), parent, std::move(done));
}
QDialog* inviteSheet(WalkieModel&, const Channel&, const Finish&, QWidget* parent, Done done) {
    return new PendingSheet(QStringLiteral("InviteView"), parent, std::move(done));
}
QDialog* editSheet(WalkieModel&, const Channel&, QWidget* parent, Done done) {
    return new PendingSheet(QStringLiteral("EditChannelView"), parent, std::move(done));
}
#endif

#ifdef RACK_HAS_SOS_PANEL
QDialog* sosPanel(WalkieModel& model, const Finish& finish, QWidget* parent, Done done) {
    auto* panel = new SOSPanel(&model, finish, parent);
    QObject::connect(panel, &QDialog::finished, panel, [done] { done(); });
    return panel;
}
#else
QDialog* sosPanel(WalkieModel&, const Finish&, QWidget* parent, Done done) {
    return new PendingSheet(QStringLiteral("SOSPanel"), parent, std::move(done));
}
#endif

void switchToMini() {
#ifdef RACK_HAS_MINI
    TRMiniPanel::shared().show();
    TRWindows::closeMain();
#endif
}

} // namespace RackViews
