#include "WelcomeGuide.h"

#include "Mnemonic.h"
#include "SheetFit.h"
#include "Skin.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QStackedWidget>
#include <QVBoxLayout>

namespace {

QLabel* text(const QString& s, const QFont& font, QWidget* parent, bool wrap = false) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(s);
    label->setFont(font);
    label->setWordWrap(wrap);
    return label;
}

QLabel* pageTitle(const QString& s, QWidget* parent) {
    return text(s, WFonts::body(17, QFont::ExtraBold), parent);
}

// A page counts for the guide's height only while it is on show (a stack otherwise asks every page,
// hidden ones too, and is as tall as the tallest).
class GuidePage : public QWidget {
public:
    int heightForWidth(int width) const override { return isHidden() ? 0 : QWidget::heightForWidth(width); }
};

QVBoxLayout* pageColumn(QWidget* page) {
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(18);
    return column;
}

} // namespace

WelcomeGuide::WelcomeGuide(WalkieModel& model, const Finish& finish, std::function<void()> openHelp,
                           std::function<void()> done, QWidget* parent)
    : QDialog(parent), model_(model), finish_(finish), openHelp_(std::move(openHelp)),
      done_(std::move(done)) {
    setWindowModality(Qt::WindowModal);
    setMinimumWidth(520);
    setWindowTitle(tr("Welcome to Tessrook")); // the reader names the dialog after its heading

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(28, 28, 28, 28);
    column->setSpacing(18);

    auto* header = new QHBoxLayout;
    header->addWidget(text(tr("WELCOME TO TESSROOK"), WFonts::display(17), this));
    header->addStretch(1);
    stepLabel_ = text(QString(), WFonts::body(13, QFont::Bold), this);
    QPalette dim = stepLabel_->palette();
    dim.setColor(QPalette::WindowText, Skin::alpha(dim.color(QPalette::WindowText), 0.55));
    stepLabel_->setPalette(dim);
    header->addWidget(stepLabel_);
    column->addLayout(header);

    pages_ = new QStackedWidget(this);
    pages_->addWidget(callSignPage());
    pages_->addWidget(channelPage());
    pages_->addWidget(readyPage());
    column->addWidget(pages_);
    setStep(0);
    SheetFit::follow(this);
}

void WelcomeGuide::setStep(int step) {
    step_ = step;
    stepLabel_->setText(tr("Step %1 of 3").arg(step + 1));
    const int page = step == 0 || step == 1 ? step : 2;
    // Only the page on show counts for the guide's size, and its height is its wrapped text's at the
    // guide's width (a wrapped label's own minimum assumes a narrow width and far more lines).
    for (int i = 0; i < pages_->count(); ++i)
        pages_->widget(i)->setSizePolicy(i == page ? QSizePolicy::Preferred : QSizePolicy::Ignored,
                                         QSizePolicy::Ignored);
    pages_->setCurrentIndex(page);
}

void WelcomeGuide::closeEvent(QCloseEvent* event) {
    if (event->spontaneous())
        event->ignore();
    else
        QWidget::closeEvent(event);
}

void WelcomeGuide::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) nameField_->setText(model_.displayName());
}

// Return in a field must not press a button: Qt would press the first auto-default one, which may be
// "Skip for now" (marking the guide seen) or "Create" (making a channel nobody asked for).
QPushButton* WelcomeGuide::button(const QString& title, bool prominent, QWidget* parent) {
    auto* b = new QPushButton(Mnemonic::literal(title), parent);
    b->setAutoDefault(false);
    b->setDefault(false);
    if (prominent) {
        QPalette pal = b->palette();
        pal.setColor(QPalette::Button, pal.color(QPalette::Highlight));
        pal.setColor(QPalette::ButtonText, pal.color(QPalette::HighlightedText));
        b->setPalette(pal);
    }
    return b;
}

QWidget* WelcomeGuide::callSignPage() {
    auto* page = new GuidePage;
    auto* column = pageColumn(page);
    column->addWidget(pageTitle(tr("Pick your call sign"), page));
    column->addWidget(text(tr("This is the name people see when you talk, like Bronco 1 or Ranger 2."),
                           WFonts::body(14), page, true));
    nameField_ = new QLineEdit(page);
    nameField_->setPlaceholderText(tr("Call sign"));
    nameField_->setAccessibleName(nameField_->placeholderText()); // its only visible label
    nameField_->setFont(WFonts::body(16));
    column->addWidget(nameField_);
    auto* row = new QHBoxLayout;
    row->addStretch(1);
    auto* next = button(tr("Next"), true, page);
    connect(next, &QPushButton::clicked, this, [this] {
        if (!nameField_->text().isEmpty()) model_.setDisplayName(nameField_->text());
        setStep(1);
    });
    row->addWidget(next);
    column->addLayout(row);
    column->addStretch(1);
    return page;
}

QWidget* WelcomeGuide::channelPage() {
    auto* page = new GuidePage;
    auto* column = pageColumn(page);
    column->addWidget(pageTitle(tr("Make a channel, or join one"), page));
    column->addWidget(
        text(tr("A channel is your private talk group. Make one and invite your people, or join "
                "with an invite someone sent you."),
             WFonts::body(14), page, true));

    auto* create = new QHBoxLayout;
    channelField_ = new QLineEdit(tr("Crew"), page);
    channelField_->setPlaceholderText(tr("Channel name"));
    channelField_->setAccessibleName(channelField_->placeholderText());
    create->addWidget(channelField_, 1);
    auto* createButton = button(tr("Create"), true, page);
    connect(createButton, &QPushButton::clicked, this, [this] {
        model_.createChannel(channelField_->text());
        setStep(2);
    });
    create->addWidget(createButton);
    column->addLayout(create);

    column->addWidget(text(tr("Have an invite?"), WFonts::body(13, QFont::Bold), page));
    auto* join = new QHBoxLayout;
    inviteField_ = new QLineEdit(page);
    inviteField_->setPlaceholderText(tr("Paste the qmtalk:// link"));
    inviteField_->setAccessibleName(inviteField_->placeholderText());
    join->addWidget(inviteField_, 1);
    auto* joinButton = button(tr("Join"), false, page);
    connect(joinButton, &QPushButton::clicked, this, [this] {
        // A link the model refuses leaves the page as it is; the model's notice says why.
        if (model_.join(inviteField_->text())) setStep(2);
    });
    join->addWidget(joinButton);
    column->addLayout(join);

    auto* skipRow = new QHBoxLayout;
    auto* skip = button(tr("Skip for now"), false, page);
    connect(skip, &QPushButton::clicked, this, [this] {
        if (done_) done_();
    });
    skipRow->addWidget(skip);
    skipRow->addStretch(1);
    column->addLayout(skipRow);
    column->addStretch(1);
    return page;
}

QWidget* WelcomeGuide::readyPage() {
    auto* page = new GuidePage;
    auto* column = pageColumn(page);
    column->addWidget(pageTitle(tr("You're ready"), page));
    auto* list = new QVBoxLayout;
    list->setSpacing(8);
    for (const QString& line :
         {tr("1. Click Invite to show a QR code for the people you want in your channel."),
          tr("2. They open Tessrook, click Join, then paste the invite link."),
          tr("3. Compare the safety code out loud, then hold Push to Talk and talk.")})
        list->addWidget(text(line, WFonts::body(14), page, true));
    column->addLayout(list);
    auto* row = new QHBoxLayout;
    auto* manual = button(tr("Open the full manual"), false, page);
    connect(manual, &QPushButton::clicked, this, [this] {
        if (openHelp_) openHelp_();
    });
    row->addWidget(manual);
    row->addStretch(1);
    auto* start = button(tr("Start"), true, page);
    connect(start, &QPushButton::clicked, this, [this] {
        if (done_) done_();
    });
    row->addWidget(start);
    column->addLayout(row);
    column->addStretch(1);
    return page;
}
