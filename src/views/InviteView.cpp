#include "InviteView.h"

#include "Clipboard.h"
#include "HelpTopic.h"
#include "LookAccessible.h"
#include "QMPaint.h"
#include "QR.h"
#include "SheetText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The code on a white card with rounded corners, each module a whole number of pixels (hard edges).
class QRCode : public QWidget {
public:
    explicit QRCode(QImage image) : image_(std::move(image)) {
        setFixedSize(InviteView::qrSide + 2 * InviteView::qrMargin,
                     InviteView::qrSide + 2 * InviteView::qrMargin);
        LookAccessible::setRole(this, QAccessible::Graphic); // before the name, which may ask for it
        setAccessibleName(InviteView::tr("QR code invite"));
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        const QPainterPath card = QMPaint::rounded(QRectF(rect()), 10);
        p.setClipPath(card);
        p.fillPath(card, Qt::white);
        p.setRenderHint(QPainter::SmoothPixmapTransform, false);
        const int side = InviteView::qrSide;
        const int module = qMax(1, side / qMax(image_.width(), image_.height()));
        const QSize drawn = image_.size() * module;
        const QRect target(InviteView::qrMargin + (side - drawn.width()) / 2,
                           InviteView::qrMargin + (side - drawn.height()) / 2, drawn.width(), drawn.height());
        p.drawImage(target, image_);
    }

private:
    QImage image_;
};

} // namespace

InviteView::InviteView(WalkieModel& model, const Channel& channel, const Finish& finish,
                       std::function<void()> done, QWidget* parent)
    : SheetDialog(std::move(done), parent), model_(model), channel_(channel), finish_(finish) {
    const QString name = ViewText::oneLine(channel_.name);
    setWindowTitle(tr("Invite to %1").arg(name));
    auto* stack = new QVBoxLayout(this);
    stack->setContentsMargins(24, 24, 24, 24);
    stack->setSpacing(14);
    setMinimumWidth(520);

    auto* title = SheetText::label(tr("Invite to %1").arg(name), WFonts::display(18, QFont::Bold), false);
    title->setWordWrap(true);
    stack->addWidget(title);
    stack->addWidget(
        SheetText::label(tr("Have them scan this code with Tessrook, or send them the link. Only share it in "
                            "person or over a private message: anyone with it can listen."),
                         WFonts::body(13), true, true));

    auto* row = new QHBoxLayout;
    row->setSpacing(18);
    if (auto image = QR::cgImage(channel_.inviteLink(), 1)) {
        qr_ = new QRCode(*image);
        row->addWidget(qr_, 0, Qt::AlignTop);
    }
    auto* column = new QVBoxLayout;
    column->setSpacing(10);
    auto* codeHead = new QHBoxLayout;
    codeHead->addWidget(SheetText::label(tr("SAFETY CODE"), WFonts::body(11, QFont::ExtraBold), true));
    whatsThis_ = new QPushButton(tr("What's this?"));
    whatsThis_->setObjectName(QStringLiteral("whatsThis"));
    whatsThis_->setFont(WFonts::body(11));
    codeHead->addWidget(whatsThis_);
    codeHead->addStretch(1);
    column->addLayout(codeHead);
    auto* code = SheetText::label(channel_.safetyCode(), WFonts::lcd(20), false);
    code->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(code);
    column->addWidget(SheetText::label(
        tr("Read this out to each other. If everyone's code matches, nobody can be listening "
           "in between."),
        WFonts::body(12), true, true));
    copy_ = new QPushButton;
    copy_->setObjectName(QStringLiteral("copy"));
    rotate_ = new QPushButton(tr("Make a new key…"));
    rotate_->setObjectName(QStringLiteral("rotate"));
    leave_ = new QPushButton(tr("Leave this channel"));
    leave_->setObjectName(QStringLiteral("leave"));
    markDestructive(rotate_);
    markDestructive(leave_);
    for (QPushButton* b : {copy_, rotate_, leave_})
        column->addWidget(b, 0, Qt::AlignLeft);
    column->addStretch(1);
    row->addLayout(column, 1);
    stack->addLayout(row);

    auto* footer = new QHBoxLayout;
    howInvites_ = new QPushButton(tr("How invites work"));
    howInvites_->setObjectName(QStringLiteral("howInvites"));
    doneButton_ = new QPushButton(tr("Done"));
    doneButton_->setObjectName(QStringLiteral("done"));
    footer->addWidget(howInvites_);
    footer->addStretch(1);
    footer->addWidget(doneButton_);
    stack->addLayout(footer);
    makeDefault(doneButton_);

    connect(copy_, &QPushButton::clicked, this, &InviteView::copy);
    connect(rotate_, &QPushButton::clicked, this, &InviteView::askRotate);
    connect(leave_, &QPushButton::clicked, this, &InviteView::leave);
    connect(doneButton_, &QPushButton::clicked, this, &InviteView::requestDone);
    connect(whatsThis_, &QPushButton::clicked, this, [this] {
        requestDone();
        openHelp(HelpTopic::safety);
    });
    connect(howInvites_, &QPushButton::clicked, this, [this] {
        requestDone();
        openHelp(HelpTopic::invite);
    });
    refresh();
}

InviteView::~InviteView() = default;

void InviteView::setFinish(const Finish& finish) {
    // The sheet draws in the application's colours; the finish is kept for what it opens.
    finish_ = finish;
}

void InviteView::refresh() {
    copy_->setText(copied_ ? tr("Link copied") : tr("Copy invite link"));
    // An empty link would clear the clipboard and still say "Link copied".
    copy_->setEnabled(!channel_.inviteLink().isEmpty());
}

QMessageBox* InviteView::rotateConfirmation() const {
    return confirmation();
}

void InviteView::copy() {
    const QString link = channel_.inviteLink();
    if (link.isEmpty()) return;
    Clipboard::copy(link);
    copied_ = true;
    refresh();
}

void InviteView::askRotate() {
    askToConfirm(tr("Make a new key for %1?").arg(ViewText::oneLine(channel_.name)),
                 tr("Everyone else is locked out until you send them the new invite. Use this "
                    "when someone leaves or loses their phone."),
                 tr("New key"), QStringLiteral("confirmRotate"), [this] {
                     model_.rotateKey(channel_);
                     requestDone();
                 });
}

void InviteView::leave() {
    model_.leave(channel_);
    requestDone();
}
