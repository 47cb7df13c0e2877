#include "JoinView.h"

#include "Channel.h"
#include "Clipboard.h"
#include "HelpTopic.h"
#include "SafetyPreview.h"
#include "SheetFit.h"
#include "SheetText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QTimer>
#include <QVBoxLayout>

namespace {
QFrame* divider() {
    auto* line = new QFrame;
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}
} // namespace

JoinView::JoinView(WalkieModel& model, std::function<void()> done, std::function<void()> scan,
                   QWidget* parent)
    : SheetDialog(std::move(done), parent), model_(model),
      preview_(new SafetyPreview(SafetyPreview::Passphrase::asTyped, this)), scanAction_(std::move(scan)) {
    setWindowTitle(tr("Join or create a channel"));
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    scroll->setFocusPolicy(Qt::NoFocus); // it scrolls to whichever of its controls has the focus
    // As tall as the content (see SheetFit below); it scrolls only where the screen is shorter.
    scroll->setMinimumSize(520, 200);
    outer->addWidget(scroll);
    auto* body = new QWidget;
    body->setMinimumWidth(520); // its text wraps at the sheet's width, not at a narrower preference
    scroll->setWidget(body);
    auto* stack = new QVBoxLayout(body);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(16);

    stack->addWidget(
        SheetText::label(tr("Join or create a channel"), WFonts::display(18, QFont::Bold), false));

    // Call sign: bound to the model, so every keystroke stores it.
    auto* sign = new QVBoxLayout;
    sign->setSpacing(6);
    QLabel* signLabel = SheetText::label(tr("Your call sign"), WFonts::body(13, QFont::Bold), false);
    sign->addWidget(signLabel);
    callSign_ = new QLineEdit;
    signLabel->setBuddy(callSign_);
    callSign_->setObjectName(QStringLiteral("callSign"));
    callSign_->setPlaceholderText(tr("e.g. Bronco 1"));
    sign->addWidget(callSign_);
    sign->addWidget(
        SheetText::label(tr("Shown to everyone on the channel. Change it any time here or in Setup."),
                         WFonts::body(11), true, true));
    stack->addLayout(sign);
    stack->addWidget(divider());

    auto* pass = new QVBoxLayout;
    pass->setSpacing(8);
    pass->addWidget(
        SheetText::label(tr("Channel name and passphrase"), WFonts::body(13, QFont::Bold), false));
    pass->addWidget(SheetText::label(
        tr("Type the SAME channel name and passphrase on every device. Same name + same "
           "passphrase = the same private channel. Nothing needs to be sent between devices."),
        WFonts::body(12), true, true));
    name_ = new QLineEdit;
    name_->setObjectName(QStringLiteral("name"));
    name_->setPlaceholderText(tr("Channel name, e.g. Westover Crew"));
    name_->setAccessibleName(name_->placeholderText()); // its only visible label
    pass->addWidget(name_);
    pass->addLayout(passphraseRow(tr("Passphrase (at least 8 characters, a few words is best)"), pass_));
    auto* codeRow = new QHBoxLayout;
    codeRow->setSpacing(8);
    codeRow->addWidget(SheetText::label(tr("SAFETY CODE"), WFonts::body(11, QFont::ExtraBold), true), 0,
                       Qt::AlignVCenter);
    code_ = SheetText::label(QString(), WFonts::body(12), true);
    code_->setObjectName(QStringLiteral("safetyCode"));
    codeRow->addWidget(code_, 1, Qt::AlignVCenter);
    pass->addLayout(codeRow);
    pass->addWidget(
        SheetText::label(tr("Read the safety code out to each other. If the codes match, you typed the same "
                            "name and passphrase. Name: capitals and extra spaces don't matter. Passphrase: "
                            "every character matters."),
                         WFonts::body(11), true, true));
    joinCreate_ = new QPushButton(tr("Join / Create channel"));
    joinCreate_->setObjectName(QStringLiteral("joinCreate"));
    pass->addWidget(joinCreate_, 0, Qt::AlignLeft);
    stack->addLayout(pass);
    stack->addWidget(divider());

    auto* invite = new QVBoxLayout;
    invite->setSpacing(8);
    invite->addWidget(
        SheetText::label(tr("Or join with an invite link"), WFonts::body(13, QFont::Bold), false));
    auto* linkRow = new QHBoxLayout;
    link_ = new QLineEdit;
    link_->setObjectName(QStringLiteral("link"));
    link_->setPlaceholderText(tr("Paste the qmtalk:// invite link"));
    link_->setAccessibleName(link_->placeholderText());
    joinLink_ = new QPushButton(tr("Join"));
    joinLink_->setObjectName(QStringLiteral("joinLink"));
    linkRow->addWidget(link_, 1);
    linkRow->addWidget(joinLink_);
    invite->addLayout(linkRow);
    auto* inviteRow = new QHBoxLayout;
    paste_ = new QPushButton(tr("Paste from clipboard"));
    paste_->setObjectName(QStringLiteral("paste"));
    inviteRow->addWidget(paste_);
    if (scanAction_) {
        scan_ = new QPushButton(tr("Scan QR code"));
        scan_->setObjectName(QStringLiteral("scan"));
        inviteRow->addWidget(scan_);
    }
    inviteRow->addStretch(1);
    random_ = new QPushButton(tr("Random-key channel (invite only)…"));
    random_->setObjectName(QStringLiteral("randomKey"));
    random_->setToolTip(
        tr("Makes a channel with a random key. Others can only join it with its invite link or QR code."));
    inviteRow->addWidget(random_);
    invite->addLayout(inviteRow);
    stack->addLayout(invite);

    auto* footer = new QHBoxLayout;
    help_ = new QPushButton(tr("Help with channels"));
    help_->setObjectName(QStringLiteral("help"));
    cancel_ = new QPushButton(tr("Cancel"));
    cancel_->setObjectName(QStringLiteral("cancel"));
    footer->addWidget(help_);
    footer->addStretch(1);
    footer->addWidget(cancel_);
    stack->addLayout(footer);
    stack->addStretch(1);

    makeDefault(joinCreate_);

    connect(callSign_, &QLineEdit::textEdited, this, [this](const QString& s) { model_.setDisplayName(s); });
    connect(&model_, &WalkieModel::displayNameChanged, this, &JoinView::refresh);
    connect(name_, &QLineEdit::textChanged, this, &JoinView::fieldsEdited);
    connect(pass_, &QLineEdit::textChanged, this, &JoinView::fieldsEdited);
    connect(link_, &QLineEdit::textChanged, this, &JoinView::refresh);
    connect(preview_, &SafetyPreview::codeChanged, this, &JoinView::refresh);
    connect(joinCreate_, &QPushButton::clicked, this, &JoinView::joinOrCreate);
    connect(joinLink_, &QPushButton::clicked, this, &JoinView::joinLink);
    connect(paste_, &QPushButton::clicked, this, &JoinView::paste);
    if (scan_) connect(scan_, &QPushButton::clicked, this, [this] { scanAction_(); });
    connect(random_, &QPushButton::clicked, this, &JoinView::randomKey);
    connect(help_, &QPushButton::clicked, this, &JoinView::help);
    connect(cancel_, &QPushButton::clicked, this, &JoinView::requestDone);

    refresh();
    SheetFit::follow(this, scroll);
}

JoinView::~JoinView() = default;

QString JoinView::codeText() const {
    if (const auto& code = preview_->code()) return *code;
    if (auto problem = Channel::passphraseProblem(pass_->text())) return *problem;
    return QStringLiteral("…");
}

void JoinView::refresh() {
    const QString sign = model_.displayName();
    if (callSign_->text() != sign) callSign_->setText(sign); // only when different: no cursor jump

    const bool hasCode = preview_->code().has_value();
    code_->setText(codeText());
    code_->setFont(hasCode ? WFonts::lcd(16) : WFonts::body(12));
    QPalette pal = palette();
    if (!hasCode) pal.setColor(QPalette::WindowText, SheetText::secondary(pal));
    code_->setPalette(pal);

    joinCreate_->setText(working_ ? tr("Working…") : tr("Join / Create channel"));
    joinCreate_->setEnabled(!working_ && !ViewText::trimSpacesTabs(name_->text()).isEmpty() &&
                            !Channel::passphraseProblem(pass_->text()));
    joinLink_->setEnabled(!link_->text().isEmpty());
}

void JoinView::fieldsEdited() {
    const QString n = name_->text(), p = pass_->text();
    preview_->edited(n, p, !ViewText::trimSpacesTabs(n).isEmpty() && !Channel::passphraseProblem(p));
    refresh();
}

void JoinView::joinOrCreate() {
    if (working_) return;
    working_ = true;
    refresh();
    // Show "Working…" before the key derivation holds the main thread.
    joinCreate_->repaint();
    const QString n = name_->text(), p = pass_->text();
    QTimer::singleShot(0, this, [this, n, p] {
        const bool joined = model_.joinWithPassphrase(n, p).has_value();
        working_ = false;
        if (joined) {
            requestDone(); // the presenter may delete the sheet here: nothing after it
            return;
        }
        refresh();
    });
}

void JoinView::joinLink() {
    if (model_.join(link_->text())) requestDone();
}

void JoinView::paste() {
    link_->setText(Clipboard::text().value_or(QString()));
}

void JoinView::randomKey() {
    const QString n = ViewText::trimSpacesTabs(name_->text());
    model_.createChannel(n.isEmpty() ? QStringLiteral("New channel") : n);
    requestDone();
}

void JoinView::help() {
    requestDone();
    openHelp(HelpTopic::channels);
}
