#include "LockScreen.h"

#include "Symbols.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

LockScreen::LockScreen(WalkieModel& model, const Finish& finish, QWidget* parent)
    : ScrewedPanel(finish, 40, parent), model_(model) {
    setObjectName(QStringLiteral("lockScreen"));
    setFixedWidth(420);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    shield_ = new QLabel;
    shield_->setAlignment(Qt::AlignCenter);
    title_ = new QLabel(tr("TESSROOK IS LOCKED"));
    title_->setTextFormat(Qt::PlainText);
    title_->setAlignment(Qt::AlignCenter);
    title_->setFont(WFonts::display(20, QFont::ExtraBold));
    unlock_ = new QPushButton(tr("Unlock"));
    unlock_->setDefault(true);
    unlock_->setCursor(Qt::PointingHandCursor);
    connect(unlock_, &QPushButton::clicked, this, [this] { model_.unlock(); });
    column->addWidget(shield_);
    column->addWidget(title_);
    column->addWidget(unlock_, 0, Qt::AlignHCenter);
    styleParts();
}

void LockScreen::appeared() {
    model_.unlock();
}

void LockScreen::setFinish(const Finish& finish) {
    ScrewedPanel::setFinish(finish);
    styleParts();
}

void LockScreen::styleParts() {
    const Finish& f = finish();
    const qreal dpr = qMax<qreal>(2.0, devicePixelRatioF()); // stays sharp when the window is zoomed
    QPixmap shield = Symbols::pixmap(QStringLiteral("lock.shield.fill"), f.accent, 60, dpr);
    shield_->setPixmap(shield);
    QPalette pal = title_->palette();
    pal.setColor(QPalette::WindowText, f.engrave);
    title_->setPalette(pal);
    // The prominent bordered style: filled with the accent.
    unlock_->setStyleSheet(
        QStringLiteral("QPushButton { background: %1; color: white; border: none; border-radius: 6px;"
                       " padding: 6px 18px; font-weight: 600; }"
                       "QPushButton:pressed { background: %2; }")
            .arg(f.accent.name(), f.accent.darker(130).name()));
}
