#include "TopRack.h"

#include "Engraved.h"
#include "KeyShortcuts.h"
#include "LED.h"
#include "RackButton.h"
#include "RackViews.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

// The divider between the lamps and the picker: a hairline 34 points tall.
class Divider : public QWidget {
public:
    Divider() { setFixedSize(1, 34); }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.fillRect(rect(), QColor(0, 0, 0, 90));
        p.fillRect(rect(), QColor(255, 255, 255, qRound(0.15 * 255)));
    }
};

void setTextColour(QLabel* label, const QColor& colour) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, colour);
    label->setPalette(pal);
}

} // namespace

namespace {
const char* const lampTitles[] = {
    QT_TRANSLATE_NOOP("TopRack", "Relay"),  QT_TRANSLATE_NOOP("TopRack", "Nearby"),
    QT_TRANSLATE_NOOP("TopRack", "LAN"),    QT_TRANSLATE_NOOP("TopRack", "Encrypted"),
    QT_TRANSLATE_NOOP("TopRack", "On air"), QT_TRANSLATE_NOOP("TopRack", "SOS")};
} // namespace

QStringList TopRack::lampLabels() {
    QStringList labels;
    for (const char* t : lampTitles)
        labels.append(QString::fromLatin1(t));
    return labels;
}

QString TopRack::miniToolTip() {
    return tr("Mini mode: a small floating talk panel. The app keeps listening. %1")
        .arg(KeyShortcuts::nativeText(KeyShortcuts::miniMode()));
}

TopRack::TopRack(WalkieModel& model, const Finish& finish, const QString& finishID,
                 std::function<void(const QString&)> writeFinishID, std::function<void()> settings,
                 std::function<void()> help, QWidget* parent)
    : ScrewedPanel(finish, 14, parent), model_(model), setFinishID_(std::move(writeFinishID)) {
    setObjectName(QStringLiteral("topRack"));
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(12);

    // Title and subtitle never shrink: only the spacer gives way.
    auto* titleBlock = new QVBoxLayout;
    titleBlock->setContentsMargins(62, 0, 0, 0);
    titleBlock->setSpacing(2);
    title_ = new QLabel(QStringLiteral("TESSROOK"));
    title_->setTextFormat(Qt::PlainText);
    QFont tf = WFonts::display(17);
    tf.setLetterSpacing(QFont::AbsoluteSpacing, -0.3);
    title_->setFont(tf);
    title_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    subtitle_ = new Engraved(QString::fromUtf8("QMRL · Encrypted push-to-talk · TRK-1"), finish, 8.5);
    titleBlock->addWidget(title_);
    titleBlock->addWidget(subtitle_);
    row->addLayout(titleBlock);
    row->addStretch(1);

    auto* lamps = new QHBoxLayout;
    lamps->setSpacing(10);
    for (const QString& label : lampLabels()) {
        auto* column = new QVBoxLayout;
        column->setSpacing(5);
        auto* led = new LED(false, finish.rx);
        auto* text = new Engraved(tr(label.toLatin1().constData()), finish, 8);
        led->setTitle(text->text());
        column->addWidget(led, 0, Qt::AlignHCenter);
        column->addWidget(text, 0, Qt::AlignHCenter);
        lamps->addLayout(column);
        lamps_.insert(label, led);
        lampTitles_.append(text);
    }
    row->addLayout(lamps);
    divider_ = new Divider;
    row->addWidget(divider_);

    picker_ = new QComboBox;
    picker_->setFixedWidth(160);
    picker_->setAccessibleName(tr("Theme"));
    picker_->setToolTip(tr("Theme: Gunmetal Blue, Anodized Red, Rose Gold, Lavender Violet, Black Chrome or "
                           "Graphite Gray. Also in the Theme menu."));
    for (const Finish& f : Finish::all())
        picker_->addItem(f.name, f.id);
    setFinishID(finishID);
    connect(picker_, &QComboBox::currentIndexChanged, this, [this](int index) {
        if (index >= 0 && setFinishID_) setFinishID_(picker_->itemData(index).toString());
    });
    row->addWidget(picker_);

    auto* mini = new RackButton(tr("Mini"), finish, QStringLiteral("rectangle.portrait.and.arrow.right"),
                                false, [] { RackViews::switchToMini(); });
    mini->setToolTip(miniToolTip());
    auto* setup = new RackButton(tr("Setup"), finish, QStringLiteral("slider.horizontal.3"), false,
                                 std::move(settings));
    auto* helpKey =
        new RackButton(tr("Help"), finish, QStringLiteral("questionmark.circle"), false, std::move(help));
    for (RackButton* b : {mini, setup, helpKey}) {
        row->addWidget(b);
        buttons_.append(b);
    }

    for (auto signal :
         {&WalkieModel::relayUpChanged, &WalkieModel::nearbyPeersChanged, &WalkieModel::lanUnitsChanged,
          &WalkieModel::sosActiveChanged, &WalkieModel::alertsChanged})
        connect(&model_, signal, this, &TopRack::refreshLamps);
    connect(&model_, &WalkieModel::talkChanged, this, &TopRack::refreshLamps);
    setFinish(finish);
}

RackButton* TopRack::button(const QString& title) const {
    for (RackButton* b : buttons_)
        if (b->title() == title) return b;
    return nullptr;
}

void TopRack::setFinish(const Finish& finish) {
    ScrewedPanel::setFinish(finish);
    setTextColour(title_, finish.engrave);
    subtitle_->setFinish(finish);
    for (Engraved* e : std::as_const(lampTitles_))
        e->setFinish(finish);
    for (RackButton* b : std::as_const(buttons_))
        b->setFinish(finish);
    lamps_[QStringLiteral("Relay")]->setColour(finish.rx);
    lamps_[QStringLiteral("Nearby")]->setColour(finish.rx);
    lamps_[QStringLiteral("LAN")]->setColour(finish.rx);
    lamps_[QStringLiteral("Encrypted")]->setColour(finish.accent);
    lamps_[QStringLiteral("On air")]->setColour(finish.tx);
    lamps_[QStringLiteral("SOS")]->setColour(finish.tx);
    refreshLamps();
}

void TopRack::setFinishID(const QString& id) {
    const QSignalBlocker block(picker_);
    picker_->setCurrentIndex(picker_->findData(Finish::migrate(id)));
}

void TopRack::refreshLamps() {
    bool alert = false;
    for (const SOSAlert& a : model_.alerts())
        alert = alert || a.active;
    lamps_[QStringLiteral("Relay")]->setOn(model_.relayUp());
    lamps_[QStringLiteral("Nearby")]->setOn(model_.nearbyPeers() > 0);
    lamps_[QStringLiteral("LAN")]->setOn(model_.lanUnits() > 0);
    lamps_[QStringLiteral("Encrypted")]->setOn(true);
    lamps_[QStringLiteral("On air")]->setOn(model_.talk().isTransmitting());
    lamps_[QStringLiteral("SOS")]->setOn(model_.sosActive() || alert);
}
