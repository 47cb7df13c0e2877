#include "EditChannelView.h"

#include "SafetyPreview.h"
#include "SheetFit.h"
#include "SheetText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QVBoxLayout>

EditChannelView::EditChannelView(WalkieModel& model, const Channel& channel, std::function<void()> done,
                                 QWidget* parent)
    : SheetDialog(std::move(done), parent), model_(model), channel_(channel),
      // Save keys the trimmed passphrase, so the code shown must be that key's.
      preview_(new SafetyPreview(SafetyPreview::Passphrase::trimmed, this)) {
    setWindowTitle(tr("Edit %1").arg(ViewText::oneLine(channel_.name)));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(14);
    setFixedWidth(520);

    title_ = SheetText::label(tr("Edit %1").arg(ViewText::oneLine(channel_.name)),
                              WFonts::display(18, QFont::Bold), false);
    title_->setWordWrap(true);
    stack->addWidget(title_);

    auto* now = new QHBoxLayout;
    now->setSpacing(8);
    now->addWidget(SheetText::label(tr("NOW"), WFonts::body(11, QFont::ExtraBold), true));
    nowCode_ = SheetText::label(channel_.safetyCode(), WFonts::lcd(15), false);
    now->addWidget(nowCode_);
    const QString origin = channel_.isPassphrase()                       ? tr("(name + passphrase)")
                           : channel_.origin == QStringLiteral("invite") ? tr("(joined by invite)")
                                                                         : tr("(random key)");
    origin_ = SheetText::label(origin, WFonts::body(11), true);
    now->addWidget(origin_);
    now->addStretch(1);
    stack->addLayout(now);

    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("name"));
    name_->setPlaceholderText(tr("Channel name"));
    name_->setAccessibleName(name_->placeholderText()); // its only visible label
    stack->addWidget(name_);

    stack->addLayout(passphraseRow(tr("New passphrase (leave empty to keep the key)"), pass_));

    newRow_ = new QWidget;
    auto* newLayout = new QHBoxLayout(newRow_);
    newLayout->setContentsMargins(0, 0, 0, 0);
    newLayout->setSpacing(8);
    newLayout->addWidget(SheetText::label(tr("NEW SAFETY CODE"), WFonts::body(11, QFont::ExtraBold), true));
    newCode_ = SheetText::label(QString(), WFonts::body(12), false);
    newCode_->setObjectName(QStringLiteral("newSafetyCode"));
    newLayout->addWidget(newCode_, 1);
    stack->addWidget(newRow_);

    helpText_ = SheetText::label(
        channel_.isPassphrase()
            ? tr("Changing just the label: leave the passphrase empty, but the name must stay the "
                 "same (the name is part of the key). To change the channel name or the key, type "
                 "the passphrase - the other devices must use the same new name and passphrase.")
            : tr("Type a passphrase to switch this channel to name + passphrase. Then the other computer "
                 "only needs to type the same name and passphrase. Leave it empty to just rename "
                 "it on this computer."),
        WFonts::body(11.5), true, true);
    stack->addWidget(helpText_);

    auto* buttons = new QHBoxLayout;
    leave_ = new QPushButton(tr("Leave / delete this channel…"));
    leave_->setObjectName(QStringLiteral("leave"));
    markDestructive(leave_);
    cancel_ = new QPushButton(tr("Cancel"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    save_ = new QPushButton(tr("Save"));
    save_->setObjectName(QStringLiteral("save"));
    buttons->addWidget(leave_);
    buttons->addStretch(1);
    buttons->addWidget(cancel_);
    buttons->addWidget(save_);
    stack->addLayout(buttons);
    makeDefault(save_);

    connect(name_, &QLineEdit::textChanged, this, &EditChannelView::fieldsEdited);
    connect(pass_, &QLineEdit::textChanged, this, &EditChannelView::fieldsEdited);
    connect(preview_, &SafetyPreview::codeChanged, this, &EditChannelView::refresh);
    connect(save_, &QPushButton::clicked, this, &EditChannelView::save);
    connect(cancel_, &QPushButton::clicked, this, &EditChannelView::requestDone);
    connect(leave_, &QPushButton::clicked, this, &EditChannelView::askLeave);

    // The field starts with the channel's name (a change, so the preview runs once and stops).
    name_->setText(channel_.name);
    refresh();
    SheetFit::follow(this); // the new-code row comes and goes; the help text wraps
}

EditChannelView::~EditChannelView() = default;

QMessageBox* EditChannelView::leaveConfirmation() const {
    return confirmation();
}

QString EditChannelView::newCodeText() const {
    if (pass_->text().isEmpty()) return QString();
    if (const auto& code = preview_->code()) return *code;
    if (auto problem = Channel::passphraseProblem(pass_->text())) return *problem;
    return QStringLiteral("…");
}

void EditChannelView::refresh() {
    const bool hasPass = !pass_->text().isEmpty();
    newRow_->setVisible(hasPass);
    newCode_->setText(newCodeText());
    newCode_->setFont(preview_->code() ? WFonts::lcd(15) : WFonts::body(12));
    save_->setEnabled(!ViewText::trimSpacesTabs(name_->text()).isEmpty() &&
                      !(hasPass && Channel::passphraseProblem(pass_->text())));
}

void EditChannelView::fieldsEdited() {
    const QString n = name_->text(), p = pass_->text();
    preview_->edited(
        n, p, !p.isEmpty() && !Channel::passphraseProblem(p) && !ViewText::trimSpacesTabs(n).isEmpty());
    refresh();
}

void EditChannelView::save() {
    // The model derives the new key on the main thread.
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const bool saved = model_.editChannel(channel_, name_->text(), pass_->text()).has_value();
    QApplication::restoreOverrideCursor();
    if (saved) requestDone();
}

void EditChannelView::askLeave() {
    askToConfirm(tr("Leave %1?").arg(ViewText::oneLine(channel_.name)),
                 tr("The channel and its key are removed from this device. You can join again "
                    "with the name and passphrase, or an invite."),
                 tr("Leave and delete its key"), QStringLiteral("confirmLeave"), [this] {
                     model_.leave(channel_);
                     requestDone();
                 });
}
