#include "SelfTestView.h"

#include "Clipboard.h"
#include "LinkDiagnostics.h"
#include "RackButton.h"
#include "Skin.h"
#include "Symbols.h"
#include "TRKLog.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QUrl>
#include <QVBoxLayout>

namespace {

void setColour(QWidget* w, const QColor& colour) {
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    p.setColor(QPalette::Text, colour);
    w->setPalette(p);
}

QLabel* plainLabel(const QFont& font, const QColor& colour, bool wrap) {
    auto* l = new QLabel;
    l->setTextFormat(Qt::PlainText);
    l->setFont(font);
    l->setWordWrap(wrap);
    setColour(l, colour);
    return l;
}

} // namespace

// ---- DiagRow -------------------------------------------------------------------------------------

DiagRow::DiagRow(const Finish& finish, QWidget* parent) : QWidget(parent), finish_(finish) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(10, 10, 10, 10);
    row->setSpacing(10);
    icon_ = new QLabel;
    icon_->setFixedSize(18, 18);
    row->addWidget(icon_, 0, Qt::AlignTop);
    auto* text = new QVBoxLayout;
    text->setSpacing(2);
    title_ = plainLabel(WFonts::body(13.5, QFont::Bold), Qt::white, true);
    detail_ = plainLabel(WFonts::body(12), Skin::alpha(Qt::white, 0.7), true);
    title_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    detail_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Preferred);
    text->addWidget(title_);
    text->addWidget(detail_);
    row->addLayout(text, 1);
    detail_->hide();
    updateIcon();
}

void DiagRow::setLine(const DiagLine& line) {
    if (title_->text() != line.title) title_->setText(line.title);
    if (detail_->text() != line.detail) detail_->setText(line.detail);
    detail_->setVisible(!line.detail.isEmpty());
    if (level_ != line.level) {
        level_ = line.level;
        updateIcon();
        update();
    }
    setAccessibleName(line.title);
    setAccessibleDescription(line.detail);
}

void DiagRow::setFinish(const Finish& finish) {
    finish_ = finish;
    updateIcon();
    update();
}

QString DiagRow::title() const {
    return title_->text();
}

QString DiagRow::detail() const {
    return detail_->isVisibleTo(this) ? detail_->text() : QString();
}

bool DiagRow::showsDetail() const {
    return detail_->isVisibleTo(this);
}

QColor DiagRow::colour(DiagLine::Level level, const Finish& finish) {
    switch (level) {
    case DiagLine::Level::ok:
        return Finish::c(0x34C759);
    case DiagLine::Level::warn:
        return Finish::c(0xFFCC00);
    case DiagLine::Level::bad:
        return Finish::c(0xFF3B30);
    case DiagLine::Level::info:
        break;
    }
    return finish.accent;
}

QString DiagRow::symbol(DiagLine::Level level) {
    switch (level) {
    case DiagLine::Level::ok:
        return QStringLiteral("checkmark.circle.fill");
    case DiagLine::Level::warn:
        return QStringLiteral("exclamationmark.triangle.fill");
    case DiagLine::Level::bad:
        return QStringLiteral("xmark.octagon.fill");
    case DiagLine::Level::info:
        break;
    }
    return QStringLiteral("info.circle.fill");
}

void DiagRow::updateIcon() {
    icon_->setPixmap(Symbols::pixmap(symbol(level_), colour(level_, finish_), 18, devicePixelRatioF()));
}

void DiagRow::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 10, 10);
    p.fillPath(shape, QColor(0, 0, 0, int(0.35 * 255)));
    p.setPen(QPen(Skin::alpha(colour(level_, finish_), 0.35), 1));
    p.drawPath(shape);
}

// ---- SelfTestView --------------------------------------------------------------------------------

SelfTestView::SelfTestView(WalkieModel& model, const Finish& finish, std::function<void()> done,
                           QWidget* parent)
    : QDialog(parent), model_(model), finish_(finish), onDone_(std::move(done)) {
    setObjectName(QStringLiteral("selfTest"));
    setWindowTitle(tr("Connection Self-Test"));
    setWindowModality(Qt::WindowModal);
    setFixedSize(width, height);

    // The dark scheme for the plain Done button and the scroll bar.
    QPalette dark = palette();
    dark.setColor(QPalette::Window, Finish::c(0x1c1c1e));
    dark.setColor(QPalette::Base, Finish::c(0x1c1c1e));
    dark.setColor(QPalette::Button, Finish::c(0x3a3a3c));
    dark.setColor(QPalette::ButtonText, Qt::white);
    dark.setColor(QPalette::WindowText, Qt::white);
    dark.setColor(QPalette::Text, Qt::white);
    setPalette(dark);

    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(20, 20, 20, 20);
    column->setSpacing(12);

    auto* header = new QHBoxLayout;
    symbol_ = new QLabel;
    symbol_->setFixedSize(26, 26);
    symbol_->setAlignment(Qt::AlignCenter);
    header->addWidget(symbol_);
    auto* titles = new QVBoxLayout;
    titles->setSpacing(1);
    title_ = plainLabel(WFonts::display(16), finish_.engrave, false);
    title_->setText(tr("CONNECTION SELF-TEST"));
    subtitle_ = plainLabel(WFonts::body(11), finish_.engrave, false);
    subtitle_->setText(tr("QMRL Tessrook · Quillmarsh"));
    titles->addWidget(title_);
    titles->addWidget(subtitle_);
    header->addLayout(titles);
    header->addStretch();
    column->addLayout(header);

    scroll_ = new QScrollArea;
    scroll_->setWidgetResizable(true);
    scroll_->setFrameShape(QFrame::NoFrame);
    scroll_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    scroll_->viewport()->setAutoFillBackground(false);
    auto* content = new QWidget;
    content->setAutoFillBackground(false);
    rowsLayout_ = new QVBoxLayout(content);
    rowsLayout_->setContentsMargins(0, 0, 0, 0);
    rowsLayout_->setSpacing(8);
    rowsLayout_->addStretch();
    scroll_->setWidget(content);
    column->addWidget(scroll_, 1);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(10);
    radioCheck_ = new RackButton(tr("Radio check"), finish_, QStringLiteral("dot.radiowaves.left.and.right"),
                                 false, [this] {
                                     if (const auto ch = model_.selected()) model_.radioCheck(*ch);
                                 });
    copy_ = new RackButton(tr("Copy report"), finish_, QStringLiteral("doc.on.doc"), false,
                           [this] { Clipboard::copy(LinkDiagnostics::copiedText(lines_)); });
    log_ = new RackButton(tr("Debug log"), finish_, QStringLiteral("doc.text.magnifyingglass"), false,
                          [] { QDesktopServices::openUrl(QUrl::fromLocalFile(TRKLog::folder())); });
    for (RackButton* b : {radioCheck_, copy_, log_})
        buttons->addWidget(b);
    buttons->addStretch();
    done_ = new QPushButton(tr("Done"));
    done_->setDefault(true);
    connect(done_, &QPushButton::clicked, this, &SelfTestView::closeSheet);
    buttons->addWidget(done_);
    column->addLayout(buttons);

    footnote_ = plainLabel(WFonts::body(11), finish_.engrave, true);
    footnote_->setText(
        tr("Radio check sends an encrypted “can you hear me?” on the selected channel. Every Tessrook "
           "unit on it answers by itself, so you can test two computers without talking."));
    column->addWidget(footnote_);

    tick_.setInterval(refreshMs);
    connect(&tick_, &QTimer::timeout, this, &SelfTestView::refresh);
    connect(&model_, &WalkieModel::selectedIDChanged, this, &SelfTestView::updateRadioCheck);
    connect(&model_, &WalkieModel::channelsChanged, this, &SelfTestView::updateRadioCheck);
    updateRadioCheck();
    applyFinish();
}

void SelfTestView::setFinish(const Finish& finish) {
    finish_ = finish;
    applyFinish();
}

void SelfTestView::applyFinish() {
    symbol_->setPixmap(Symbols::pixmap(QStringLiteral("antenna.radiowaves.left.and.right"), finish_.accent,
                                       22, devicePixelRatioF()));
    setColour(title_, finish_.engrave);
    setColour(subtitle_, Skin::alpha(finish_.engrave, 0.6));
    setColour(footnote_, Skin::alpha(finish_.engrave, 0.6));
    for (RackButton* b : {radioCheck_, copy_, log_})
        b->setFinish(finish_);
    for (DiagRow* r : std::as_const(rows_))
        r->setFinish(finish_);
    update();
}

void SelfTestView::refresh() {
    lines_ = LinkDiagnostics::report(model_, probe_ ? *probe_ : FirewallProbe::shared());
    // Every report has new line identities: rows are matched by position, so the widgets, and the
    // scroll position with them, stay put.
    QScrollBar* bar = scroll_->verticalScrollBar();
    const int at = bar->value();
    while (rows_.size() < lines_.size()) {
        auto* row = new DiagRow(finish_);
        rowsLayout_->insertWidget(int(rows_.size()), row);
        rows_.append(row);
    }
    while (rows_.size() > lines_.size())
        delete rows_.takeLast();
    for (int i = 0; i < lines_.size(); ++i)
        rows_[i]->setLine(lines_[i]);
    bar->setValue(at);
}

void SelfTestView::updateRadioCheck() {
    radioCheck_->setEnabled(model_.selected().has_value());
}

void SelfTestView::closeSheet() {
    tick_.stop();
    if (onDone_)
        onDone_();
    else
        QDialog::reject();
}

void SelfTestView::reject() {
    closeSheet();
}

void SelfTestView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    refresh();
    tick_.start();
}

void SelfTestView::hideEvent(QHideEvent* event) {
    tick_.stop();
    QDialog::hideEvent(event);
}

void SelfTestView::paintEvent(QPaintEvent*) {
    QPainter p(this);
    QLinearGradient g(0, 0, 0, height);
    g.setColorAt(0, finish_.panelTop);
    g.setColorAt(1, finish_.panelBottom);
    p.fillRect(rect(), g);
}
