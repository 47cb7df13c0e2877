#include "SettingsView.h"

#include "KeyActivation.h"
#include "Mnemonic.h"
#include "Records.h"
#include "SelfTestRequest.h"
#include "ShellBridge.h"
#include "WalkieModel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QLabel* note(const QString& text, bool secondary = true) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 0.85); // the footnote size
    label->setFont(f);
    if (secondary) {
        QPalette p = label->palette();
        QColor c = p.color(QPalette::WindowText);
        c.setAlphaF(0.6f);
        p.setColor(QPalette::WindowText, c);
        label->setPalette(p);
    }
    return label;
}

QGroupBox* section(const QString& title, QVBoxLayout* into) {
    auto* box = new QGroupBox(Mnemonic::literal(title));
    new QVBoxLayout(box);
    into->addWidget(box);
    return box;
}

QLayout* rows(QGroupBox* box) {
    return box->layout();
}

// A switch bound two-way to one Bool setting: it writes on the user's toggle and follows the model.
template <typename Getter, typename Setter, typename Signal>
QCheckBox* boundSwitch(WalkieModel& model, QObject* context, const QString& title, Getter get, Setter set,
                       Signal changed) {
    auto* box = new QCheckBox(Mnemonic::literal(title));
    box->setChecked((model.*get)());
    QObject::connect(box, &QCheckBox::toggled, context, [&model, set](bool on) { (model.*set)(on); });
    QObject::connect(&model, changed, box, [box, &model, get] {
        const QSignalBlocker block(box);
        box->setChecked((model.*get)());
    });
    return box;
}

// A single-line field written on every edit; it follows the model when the model changes otherwise.
template <typename Getter, typename Setter, typename Signal>
QLineEdit* boundField(WalkieModel& model, QObject* context, const QString& placeholder, Getter get, Setter set,
                      Signal changed) {
    auto* field = new QLineEdit((model.*get)());
    field->setPlaceholderText(placeholder);
    field->setAccessibleName(placeholder); // its only visible label, not the group box's title
    QObject::connect(field, &QLineEdit::textEdited, context,
                     [&model, set](const QString& text) { (model.*set)(text); });
    QObject::connect(&model, changed, field, [field, &model, get] {
        const QString now = (model.*get)();
        if (field->text() != now) field->setText(now);
    });
    return field;
}

template <typename Getter, typename Signal>
QLabel* statusLine(WalkieModel& model, Getter get, Signal changed) {
    QLabel* line = note((model.*get)(), false);
    QObject::connect(&model, changed, line, [line, &model, get] { line->setText((model.*get)()); });
    return line;
}

} // namespace

SettingsView::SettingsView(WalkieModel& model, std::function<void()> done, QWidget* parent)
    : QDialog(parent), model_(model), done_(std::move(done)) {
    setObjectName(QStringLiteral("settings"));
    setWindowTitle(tr("Setup"));
    setFixedSize(520, 600);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // The confirmation place at the top right.
    auto* top = new QHBoxLayout;
    top->setContentsMargins(12, 8, 12, 4);
    top->addStretch();
    topDone_ = new QPushButton(tr("Done"));
    topDone_->setAutoDefault(false);
    // One Tab stop for Done: the bottom one, which Return presses from anywhere in the sheet.
    topDone_->setFocusPolicy(Qt::NoFocus);
    top->addWidget(topDone_);
    outer->addLayout(top);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // Not a Tab stop of its own: it scrolls to whichever of its fields takes the focus.
    scroll->setFocusPolicy(Qt::NoFocus);
    auto* form = new QWidget;
    auto* column = new QVBoxLayout(form);
    column->setContentsMargins(16, 8, 16, 16);
    column->setSpacing(12);
    scroll->setWidget(form);
    outer->addWidget(scroll, 1);

    auto* you = section(tr("You"), column);
    callSign_ = boundField(model, this, tr("Your call sign (shown to others)"), &WalkieModel::displayName,
                           &WalkieModel::setDisplayName, &WalkieModel::displayNameChanged);
    rows(you)->addWidget(callSign_);

    auto* internet = section(tr("Over the internet"), column);
    useRelay_ = boundSwitch(model, this, tr("Use the relay server"), &WalkieModel::useRelay,
                            &WalkieModel::setUseRelay, &WalkieModel::useRelayChanged);
    relayURL_ = boundField(model, this, tr("Relay address"), &WalkieModel::relayURL, &WalkieModel::setRelayURL,
                           &WalkieModel::relayURLChanged);
    relayStatus_ = statusLine(model, &WalkieModel::relayStatus, &WalkieModel::relayStatusChanged);
    rows(internet)->addWidget(useRelay_);
    rows(internet)->addWidget(relayURL_);
    rows(internet)->addWidget(note(tr(
        "For testing, the relay runs on this computer (ws://localhost:8787). For use anywhere, put the relay "
        "on a server and enter its wss:// address here. The relay can't hear anything: it only passes "
        "along locked packets.")));
    rows(internet)->addWidget(relayStatus_);

    auto* home = section(tr("Home network (LAN)"), column);
    useLAN_ = boundSwitch(model, this, tr("Talk to units on the same Wi-Fi or router"), &WalkieModel::useLAN,
                          &WalkieModel::setUseLAN, &WalkieModel::useLANChanged);
    lanStatus_ = statusLine(model, &WalkieModel::lanStatus, &WalkieModel::lanStatusChanged);
    directPeers_ =
        boundField(model, this, tr("Other computer's IP address (optional, e.g. 192.168.12.150)"),
                   &WalkieModel::directPeers, &WalkieModel::setDirectPeers, &WalkieModel::directPeersChanged);
    selfTest_ = new QPushButton(tr("Run the connection self-test…"));
    selfTest_->setAutoDefault(false);
    selfTest_->setFlat(true);
    connect(selfTest_, &QPushButton::clicked, this, [] { openSelfTest(); });
    rows(home)->addWidget(useLAN_);
    rows(home)->addWidget(
        note(tr("No server and no address needed. Every computer running Tessrook on your network "
                "hears the others. Everything sent is still locked with the channel key.")));
    rows(home)->addWidget(lanStatus_);
    rows(home)->addWidget(directPeers_);
    rows(home)->addWidget(note(tr(
        "Only needed if your router blocks computers from finding each other. Find the IP on the other "
        "computer in its network settings, in the connection's details. Several addresses can be separated "
        "by commas.")));
    rows(home)->addWidget(selfTest_);

    auto* nearby = section(tr("Nearby, no internet"), column);
    useNearby_ = boundSwitch(model, this, tr("Talk directly to nearby devices"), &WalkieModel::useNearby,
                             &WalkieModel::setUseNearby, &WalkieModel::useNearbyChanged);
    nearbyStatus_ = statusLine(model, &WalkieModel::nearbyStatus, &WalkieModel::nearbyStatusChanged);
    rows(nearby)->addWidget(useNearby_);
    rows(nearby)->addWidget(nearbyStatus_);

    auto* sound = section(tr("Sound"), column);
    radioSound_ = boundSwitch(model, this, tr("Two-way radio sound"), &WalkieModel::radioSound,
                              &WalkieModel::setRadioSound, &WalkieModel::radioSoundChanged);
    rogerBeep_ = boundSwitch(model, this, tr("Roger beep at the end"), &WalkieModel::rogerBeep,
                             &WalkieModel::setRogerBeep, &WalkieModel::rogerBeepChanged);
    scrambler_ = boundSwitch(model, this, tr("Voice scrambler (disguise my voice)"), &WalkieModel::scrambler,
                             &WalkieModel::setScrambler, &WalkieModel::scramblerChanged);
    scrambleMode_ = new QComboBox;
    // The longest row would otherwise set the sheet's minimum width past its fixed 520.
    scrambleMode_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    scrambleMode_->setMinimumContentsLength(16);
    // So the narrow picker cuts its rows: each row's whole text is its tooltip, in the list and on the
    // closed picker.
    for (ScrambleMode mode : ScrambleModes::all()) {
        const QString row = ScrambleModes::name(mode) + QStringLiteral(": ") + ScrambleModes::detail(mode);
        scrambleMode_->addItem(row, int(mode));
        scrambleMode_->setItemData(scrambleMode_->count() - 1, row, Qt::ToolTipRole);
    }
    auto showTip = [this] { scrambleMode_->setToolTip(scrambleMode_->currentText()); };
    connect(scrambleMode_, &QComboBox::activated, this, [this, showTip](int index) {
        model_.setScrambleMode(scrambleMode_->itemData(index).toInt());
        showTip();
    });
    auto showMode = [this, showTip] {
        const QSignalBlocker block(scrambleMode_);
        // A stored value that names no mode shows no entry (the scrambler plays its fallback voice).
        scrambleMode_->setCurrentIndex(scrambleMode_->findData(model_.scrambleMode()));
        showTip();
    };
    showMode();
    connect(&model, &WalkieModel::scrambleModeChanged, scrambleMode_, showMode);
    auto* pickerRow = new QHBoxLayout;
    auto* pickerTitle = new QLabel(tr("Scrambler voice"));
    pickerTitle->setBuddy(scrambleMode_);
    scrambleMode_->setAccessibleName(pickerTitle->text());
    pickerRow->addWidget(pickerTitle);
    pickerRow->addWidget(scrambleMode_, 1);
    monitorAll_ = boundSwitch(model, this, tr("Listen to all my channels"), &WalkieModel::monitorAll,
                              &WalkieModel::setMonitorAll, &WalkieModel::monitorAllChanged);
    rows(sound)->addWidget(radioSound_);
    rows(sound)->addWidget(rogerBeep_);
    rows(sound)->addWidget(scrambler_);
    static_cast<QVBoxLayout*>(rows(sound))->addLayout(pickerRow);
    rows(sound)->addWidget(monitorAll_);

    background_ = ShellBridge::makeBackgroundSettings(form);
    if (background_) column->addWidget(background_);

    auto* privacy = section(tr("Privacy"), column);
    requireUnlock_ = boundSwitch(model, this, tr("Require my password to open"), &WalkieModel::requireUnlock,
                                 &WalkieModel::setRequireUnlock, &WalkieModel::requireUnlockChanged);
    rows(privacy)->addWidget(requireUnlock_);

    auto* music = section(tr("Music: Vellmoor Underground Radio"), column);
    rows(music)->addWidget(
        note(tr("The MUSIC key plays the station's own playlist inside the app, or its live broadcast when one "
                "is on air. Pick a genre, skip with Next. The music turns down by itself whenever someone "
                "talks.")));
    column->addStretch();

    // The bar pinned to the bottom edge; Return presses its Done (keyPressEvent). It is not the
    // dialog's default button, whose outline would look like the focus when the focus is elsewhere.
    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(12, 8, 12, 12);
    bar->addStretch();
    bottomDone_ = new QPushButton(tr("Done"));
    bottomDone_->setAutoDefault(false);
    bar->addWidget(bottomDone_);
    outer->addLayout(bar);

    connect(topDone_, &QPushButton::clicked, this, [this] { done_(); });
    connect(bottomDone_, &QPushButton::clicked, this, [this] { done_(); });
}

void SettingsView::keyPressEvent(QKeyEvent* event) {
    // Return outside a control that takes it (fields pass it on) presses the bottom Done.
    if (KeyActivation::isActivationKey(event)) {
        bottomDone_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

void SettingsView::reject() {
    if (done_) done_();
}

