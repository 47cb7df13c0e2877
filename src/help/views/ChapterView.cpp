#include "ChapterView.h"

#include "Skin.h"
#include "Symbols.h"
#include "WFonts.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QVBoxLayout>

namespace {

QLabel* plainLabel(const QString& text, const QFont& font, QWidget* parent) {
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setText(text);
    label->setFont(font);
    return label;
}

// A symbol drawn in the label's own text colour unless one is given, sized to the font.
QLabel* symbolLabel(const QString& name, int px, const QColor& colour, QWidget* parent) {
    auto* label = new QLabel(parent);
    const QColor c = colour.isValid() ? colour : label->palette().color(QPalette::WindowText);
    label->setPixmap(Symbols::pixmap(name, c, px, label->devicePixelRatioF()));
    label->setFixedSize(px, px);
    return label;
}

// Step text: wraps to any height, never cut, and can be selected and copied.
QLabel* stepLabel(const QString& text, QWidget* parent) {
    QFont font = WFonts::body(15);
    // The body face joins "--" into a dash; a command line must show the two hyphens it needs.
    if (text.contains(QLatin1String("--"))) font.setStyleStrategy(QFont::PreferNoShaping);
    auto* label = plainLabel(text, font, parent);
    label->setWordWrap(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setObjectName(QStringLiteral("step"));
    return label;
}

} // namespace

TipBox::TipBox(const QString& tip, QWidget* parent) : QWidget(parent) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(12, 12, 12, 12);
    row->setSpacing(8);
    const QFont font = WFonts::body(14);
    auto* bulb = symbolLabel(QStringLiteral("lightbulb.fill"), QFontMetrics(font).height(),
                             ChapterView::yellow(), this);
    row->addWidget(bulb, 0, Qt::AlignTop);
    text_ = plainLabel(tip, font, this);
    text_->setWordWrap(true);
    text_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    text_->setObjectName(QStringLiteral("tip"));
    row->addWidget(text_, 1);
}

void TipBox::paintEvent(QPaintEvent*) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    const QColor fill = Skin::alpha(ChapterView::yellow(), 0.12);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()), 10, 10);
    p.fillPath(path, fill);
}

ChapterView::ChapterView(const HelpChapter& chapter, QWidget* parent) : QWidget(parent), chapter_(chapter) {
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(22);

    const QFont titleFont = WFonts::display(24, QFont::Bold);
    auto* titleRow = new QHBoxLayout;
    titleRow->setSpacing(10);
    auto* icon = symbolLabel(chapter_.icon, QFontMetrics(titleFont).ascent(), QColor(), this);
    icon->setObjectName(QStringLiteral("icon"));
    titleRow->addWidget(icon, 0, Qt::AlignVCenter);
    auto* title = plainLabel(chapter_.title, titleFont, this);
    title->setObjectName(QStringLiteral("title"));
    titleRow->addWidget(title, 1);
    column->addLayout(titleRow);

    const QFont markerFont = WFonts::body(15, QFont::Bold);
    for (const HelpSection& section : chapter_.sections) {
        auto* block = new QVBoxLayout;
        block->setSpacing(10);
        auto* heading = plainLabel(section.heading, WFonts::body(17, QFont::ExtraBold), this);
        heading->setObjectName(QStringLiteral("heading"));
        heading->setWordWrap(true);
        block->addWidget(heading);
        for (int i = 0; i < section.steps.size(); ++i) {
            auto* row = new QHBoxLayout;
            row->setSpacing(10);
            // Marker and text share the body face and size, so their first baselines meet when both
            // sit at the top of the row.
            const QString mark = section.numbered ? QStringLiteral("%1.").arg(i + 1) : QStringLiteral("•");
            auto* marker = plainLabel(mark, markerFont, this);
            marker->setObjectName(QStringLiteral("marker"));
            marker->setFixedWidth(22);
            marker->setAlignment(Qt::AlignRight | Qt::AlignTop);
            row->addWidget(marker, 0, Qt::AlignTop);
            row->addWidget(stepLabel(section.steps[i], this), 1);
            block->addLayout(row);
        }
        if (section.tip) block->addWidget(new TipBox(*section.tip, this));
        column->addLayout(block);
    }
    column->addStretch(1);
}
