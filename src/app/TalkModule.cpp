#include "TalkModule.h"

#include "PTTButton.h"
#include "TalkButtonState.h"
#include "RackViews.h"
#include "Skin.h"
#include "ToggleSwitch.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

QList<std::pair<QString, TalkModule::Binding>> TalkModule::bindings() {
    using M = WalkieModel;
    return {
        {QStringLiteral(QT_TR_NOOP("Radio FX")), {&M::radioSound, &M::setRadioSound, &M::radioSoundChanged}},
        {QStringLiteral(QT_TR_NOOP("Roger beep")), {&M::rogerBeep, &M::setRogerBeep, &M::rogerBeepChanged}},
        {QStringLiteral(QT_TR_NOOP("Scrambler")), {&M::scrambler, &M::setScrambler, &M::scramblerChanged}},
        {QStringLiteral(QT_TR_NOOP("Scan all")), {&M::monitorAll, &M::setMonitorAll, &M::monitorAllChanged}},
        {QStringLiteral(QT_TR_NOOP("Relay")), {&M::useRelay, &M::setUseRelay, &M::useRelayChanged}},
        {QStringLiteral(QT_TR_NOOP("Nearby")), {&M::useNearby, &M::setUseNearby, &M::useNearbyChanged}},
        {QStringLiteral(QT_TR_NOOP("LAN")), {&M::useLAN, &M::setUseLAN, &M::useLANChanged}},
    };
}

QStringList TalkModule::switchTitles() {
    QStringList titles;
    for (const auto& b : bindings())
        titles.append(b.first);
    return titles;
}

TalkModule::TalkModule(WalkieModel& model, const Finish& finish, QWidget* parent)
    : ScrewedPanel(finish, 20, parent), model_(model) {
    setObjectName(QStringLiteral("talkModule"));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    constexpr int spacing = 18, dial = 250;
    column->setSpacing(0);
    column->addStretch(1);

    lcd_ = RackViews::statusLCD(model_, finish);
    column->addWidget(lcd_);

    // The button's glow is drawn in a margin around its dial: the margin stands in the spacing above and
    // below it, so the dial adds no more height than its own diameter.
    const int around = qMax(0, spacing - PTTButton::margin(dial));
    column->addSpacing(around);
    const TRTalk::Actions actions = TRTalk::actions(&model_);
    ptt_ = new PTTButton(finish, talkButtonState(model_.talk()), dial, actions.press, actions.release);
    column->addWidget(ptt_, 0, Qt::AlignHCenter);
    column->addSpacing(around);

    hint_ = new QLabel;
    hint_->setTextFormat(Qt::PlainText);
    hint_->setAlignment(Qt::AlignCenter);
    hint_->setWordWrap(true);
    hint_->setFont(WFonts::body(13));
    column->addWidget(hint_);
    column->addSpacing(spacing);

    auto* row = new QHBoxLayout;
    row->setSpacing(15);
    row->addStretch(1);
    for (const auto& [title, b] : bindings()) {
        auto* sw = new ToggleSwitch(tr(title.toLatin1().constData()), (model_.*b.get)(), finish);
        connect(sw, &ToggleSwitch::toggledByUser, this, [this, set = b.set](bool on) { (model_.*set)(on); });
        connect(&model_, b.changed, sw, [this, sw, get = b.get] { sw->setOn((model_.*get)()); });
        row->addWidget(sw, 0, Qt::AlignVCenter);
        switches_.insert(title, sw);
    }
    row->addStretch(1);
    column->addLayout(row);
    column->addStretch(1);
    switches_[QStringLiteral("Scrambler")]->setToolTip(
        tr("Disguises your voice so nobody can tell who is talking. Pick the voice in Setup."));
    switches_[QStringLiteral("LAN")]->setToolTip(
        tr("Home-network link: computers on the same Wi-Fi or router "
           "find each other with no server and no address."));

    connect(&model_, &WalkieModel::talkChanged, ptt_, [this] { ptt_->setState(talkButtonState(model_.talk())); });
    connect(&model_, &WalkieModel::channelsChanged, this, &TalkModule::refresh);
    setFinish(finish);
    refresh();
}

void TalkModule::refresh() {
    const bool any = !model_.channels().isEmpty();
    ptt_->setEnabled(any);
    hint_->setText(any ? tr("Hold the button, or hold the SPACE bar, and talk. Let go to finish.")
                       : tr("Create or join a channel to start talking."));
}

void TalkModule::setFinish(const Finish& finish) {
    ScrewedPanel::setFinish(finish);
    RackViews::setFinish(lcd_, finish);
    ptt_->setFinish(finish);
    for (ToggleSwitch* sw : std::as_const(switches_))
        sw->setFinish(finish);
    QPalette pal = hint_->palette();
    pal.setColor(QPalette::WindowText, Skin::alpha(finish.engrave, 0.7));
    hint_->setPalette(pal);
}
