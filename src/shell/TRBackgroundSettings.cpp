#include "TRBackgroundSettings.h"

#include "KeyShortcuts.h"
#include "Mnemonic.h"
#include "TRLoginItem.h"
#include "TRMiniPanel.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace {

QLabel* footnote(QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    QFont f = label->font();
    f.setPointSizeF(f.pointSizeF() * 0.85);
    label->setFont(f);
    return label;
}

void colour(QLabel* label, const QColor& c) {
    QPalette pal = label->palette();
    pal.setColor(QPalette::WindowText, c);
    label->setPalette(pal);
}

} // namespace

TRBackgroundSettings::TRBackgroundSettings(TRLoginItem* login, TRMiniPanel* mini, QWidget* parent)
    : QGroupBox(Mnemonic::literal(tr("Open at login & Mini mode")), parent),
      login_(login ? *login : TRLoginItem::shared()), mini_(mini ? *mini : TRMiniPanel::shared()) {
    auto* layout = new QVBoxLayout(this);
    wanted_ = new QCheckBox(tr("Open QMRL Tessrook when I log in"), this);
    status_ = footnote(this);
    approval_ = new QPushButton(tr("Open the autostart folder…"), this);
    error_ = footnote(this);
    colour(error_, Qt::red);
    startMini_ = new QCheckBox(tr("When it opens at login, start in Mini mode"), this);
    note_ = footnote(this);
    note_->setText(note());
    miniButton_ = new QPushButton(this);
    for (QWidget* w :
         {static_cast<QWidget*>(wanted_), static_cast<QWidget*>(status_), static_cast<QWidget*>(approval_),
          static_cast<QWidget*>(error_), static_cast<QWidget*>(startMini_), static_cast<QWidget*>(note_),
          static_cast<QWidget*>(miniButton_)})
        layout->addWidget(w, 0, w == approval_ || w == miniButton_ ? Qt::AlignLeft : Qt::Alignment());

    // The switch asks the login item; it shows the stored wish, never sets it itself.
    connect(wanted_, &QCheckBox::toggled, this, [this](bool on) { login_.setEnabled(on); });
    connect(startMini_, &QCheckBox::toggled, this, [this](bool on) { login_.setStartMini(on); });
    connect(approval_, &QPushButton::clicked, this, [this] { login_.openLoginItemsSettings(); });
    connect(miniButton_, &QPushButton::clicked, this, [this] { mini_.toggle(); });
    connect(&login_, &TRLoginItem::changed, this, &TRBackgroundSettings::sync);
    connect(&mini_, &TRMiniPanel::shownChanged, this, &TRBackgroundSettings::sync);
    sync();
}

QString TRBackgroundSettings::note() {
    return tr("Closing the window doesn't stop the app: it keeps listening, and the antenna icon in the "
              "system tray opens it again. Only Quit (%1, or Quit in the tray icon or the Mini panel) "
              "stops it.")
        .arg(KeyShortcuts::nativeText(KeyShortcuts::quit()));
}

void TRBackgroundSettings::showEvent(QShowEvent* event) {
    QGroupBox::showEvent(event);
    // The user may have changed the entry behind our back meanwhile.
    login_.refresh();
}

void TRBackgroundSettings::sync() {
    {
        const QSignalBlocker block(wanted_);
        wanted_->setChecked(login_.wanted());
    }
    {
        const QSignalBlocker block(startMini_);
        startMini_->setChecked(login_.startMini());
    }
    startMini_->setEnabled(login_.wanted());
    const bool approval = login_.needsApproval();
    status_->setText(login_.statusText());
    colour(status_, approval ? QColor(0xFF, 0x95, 0x00) : palette().color(QPalette::PlaceholderText));
    approval_->setVisible(approval);
    error_->setText(login_.lastError());
    error_->setVisible(!login_.lastError().isEmpty());
    miniButton_->setText(mini_.shown() ? tr("Hide Mini mode") : tr("Show Mini mode now"));
}
