#include "SOSModule.h"

#include "Engraved.h"
#include "GuardedSOSButton.h"
#include "HelpDot.h"
#include "LCDScreen.h"
#include "Manual.h"
#include "RackButton.h"
#include "ToggleSwitch.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QHBoxLayout>
#include <QVBoxLayout>

QString SOSModule::checkInText(const QDateTime& now, const QDateTime& deadline) {
    if (!deadline.isValid()) return tr("CHECK-IN OFF");
    // Whole seconds by truncation toward zero; a passed deadline shows 0:00 until the model acts.
    const qint64 left = qMax<qint64>(0, now.msecsTo(deadline) / 1000);
    return QStringLiteral("CHECK-IN %1:%2").arg(left / 60).arg(left % 60, 2, 10, QLatin1Char('0'));
}

SOSModule::SOSModule(WalkieModel& model, const Finish& finish, QWidget* parent)
    : ScrewedPanel(finish, 16, parent), model_(model) {
    setObjectName(QStringLiteral("sosModule"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(14);
    column->setAlignment(Qt::AlignTop);

    auto* header = new QHBoxLayout;
    header_ = new Engraved(tr("Emergency"), finish, 10);
    help_ = new HelpDot(Manual::chapter(HelpTopic::sos).title, finish);
    connect(help_, &QAbstractButton::clicked, this, [] { openHelp(HelpTopic::sos); });
    header->addWidget(header_);
    header->addStretch(1);
    header->addWidget(help_);
    column->addLayout(header);

    button_ = new GuardedSOSButton(
        finish, model_.sosActive(), silent_, 130, [this] { fire(); }, [this] { model_.cancelSOS(); });
    column->addWidget(button_, 0, Qt::AlignHCenter);

    silentSwitch_ = new ToggleSwitch(tr("Silent"), silent_, finish);
    connect(silentSwitch_, &ToggleSwitch::toggledByUser, this, [this](bool on) {
        silent_ = on;
        silentSwitch_->setOn(on);
        button_->setSilent(on);
    });
    column->addWidget(silentSwitch_, 0, Qt::AlignHCenter);

    screen_ = new LCDScreen(finish);
    auto* lines = new QVBoxLayout(screen_);
    lines->setContentsMargins(0, 0, 0, 0); // the screen insets its content itself
    lines->setSpacing(4);
    alerts_ = new LCDLabel(QString(), WFonts::lcd(14), finish.lcdText);
    name_ = new LCDLabel(QString(), WFonts::lcd(13), finish.lcdText);
    checkIn_ = new LCDLabel(QString(), WFonts::lcd(13), finish.lcdDim);
    for (LCDLabel* l : {alerts_, name_, checkIn_})
        lines->addWidget(l);
    column->addWidget(screen_);

    panelKey_ = new RackButton(tr("Open SOS panel"), finish, QStringLiteral("sos"), false,
                               [this] { model_.setShowSOSPanel(true); });
    okKey_ = new RackButton(tr("I'm OK"), finish, QStringLiteral("checkmark"), false,
                            [this] { model_.checkInOK(); });
    column->addWidget(panelKey_, 0, Qt::AlignHCenter);
    column->addWidget(okKey_, 0, Qt::AlignHCenter);

    for (auto signal :
         {&WalkieModel::sosActiveChanged, &WalkieModel::alertsChanged, &WalkieModel::checkInDeadlineChanged})
        connect(&model_, signal, this, &SOSModule::refresh);
    refresh();
}

void SOSModule::fire() {
    model_.triggerSOS(silent_, false);
}

void SOSModule::refresh() {
    const Finish& f = finish();
    int active = 0;
    QString first;
    for (const SOSAlert& a : model_.alerts()) {
        if (!a.active) continue;
        if (active++ == 0) first = a.info.who;
    }
    button_->setActive(model_.sosActive());
    alerts_->setText(tr("ALERTS %1").arg(active));
    name_->setText(first.toUpper());
    name_->setVisible(active > 0);
    const QDateTime deadline = model_.checkInDeadline();
    checkIn_->setText(checkInText(model_.now(), deadline));
    checkIn_->setColour(deadline.isValid() ? f.lcdText : f.lcdDim);
    panelKey_->setLit(active > 0);
    okKey_->setVisible(deadline.isValid());
}

void SOSModule::setFinish(const Finish& finish) {
    ScrewedPanel::setFinish(finish);
    header_->setFinish(finish);
    help_->setFinish(finish);
    button_->setFinish(finish);
    silentSwitch_->setFinish(finish);
    screen_->setFinish(finish);
    alerts_->setColour(finish.lcdText);
    name_->setColour(finish.lcdText);
    panelKey_->setFinish(finish);
    okKey_->setFinish(finish);
    refresh();
}
