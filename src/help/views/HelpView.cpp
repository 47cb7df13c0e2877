#include "HelpView.h"

#include "ChapterView.h"
#include "Symbols.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QScrollArea>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSplitter>
#include <QVBoxLayout>

HelpView::HelpView(HelpTopic start, std::function<void()> done, QWidget* parent)
    : QDialog(parent), start_(start), done_(std::move(done)) {
    setWindowTitle(tr("Help"));
    setWindowModality(Qt::WindowModal);
    setMinimumSize(860, 620);
    setSizeGripEnabled(true);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->setSpacing(0);

    // The toolbar: its confirmation place is the top right.
    auto* toolbar = new QHBoxLayout;
    toolbar->setContentsMargins(12, 8, 12, 8);
    toolbar->addStretch(1);
    doneButton_ = new QPushButton(tr("Done"), this);
    doneButton_->setAutoDefault(false);
    connect(doneButton_, &QPushButton::clicked, this, [this] {
        if (done_) done_();
    });
    toolbar->addWidget(doneButton_);
    outer->addLayout(toolbar);

    splitter_ = new QSplitter(Qt::Horizontal, this);
    splitter_->setChildrenCollapsible(false);
    outer->addWidget(splitter_, 1);

    auto* sidebar = new QWidget(splitter_);
    sidebar->setMinimumWidth(200);
    auto* side = new QVBoxLayout(sidebar);
    side->setContentsMargins(8, 0, 0, 8);
    side->setSpacing(6);
    searchField_ = new QLineEdit(sidebar);
    searchField_->setPlaceholderText(tr("Search the manual"));
    searchField_->setAccessibleName(searchField_->placeholderText()); // its only visible label
    searchField_->setClearButtonEnabled(true);
    side->addWidget(searchField_);
    list_ = new QListWidget(sidebar);
    list_->setAccessibleName(tr("Chapters"));
    list_->setSelectionMode(QAbstractItemView::SingleSelection);
    list_->setIconSize(QSize(18, 18));
    side->addWidget(list_, 1);

    detail_ = new QScrollArea(splitter_);
    detail_->setWidgetResizable(true);
    detail_->setFrameShape(QFrame::NoFrame);
    detail_->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    // A Tab stop of its own, so the chapter's text scrolls by keys: named, not an anonymous area.
    detail_->setAccessibleName(tr("Chapter text"));
    splitter_->addWidget(sidebar);
    splitter_->addWidget(detail_);
    splitter_->setStretchFactor(0, 0);
    splitter_->setStretchFactor(1, 1);
    splitter_->setSizes({230, 630});

    connect(searchField_, &QLineEdit::textChanged, this, &HelpView::refill);
    // The chapter follows the selected row, not the current one: a list that gains focus makes its
    // first row current without selecting it, which must not change the chapter. A deselected row
    // (Ctrl-click) is not a choice either: the chapter stays and so does its row.
    connect(list_, &QListWidget::itemSelectionChanged, this, [this] {
        const QList<QListWidgetItem*> rows = list_->selectedItems();
        if (rows.isEmpty())
            markSelectedRow();
        else
            select(rows.first()->data(Qt::UserRole).toString());
    });

    refill();
    showChapter();
}

QString HelpView::search() const {
    return searchField_->text();
}

QList<HelpChapter> HelpView::filtered() const {
    return Manual::search(search());
}

void HelpView::reject() {
    if (done_) done_();
}

void HelpView::closeEvent(QCloseEvent* event) {
    if (!event->spontaneous()) return QWidget::closeEvent(event);
    event->ignore();
    reject();
}

void HelpView::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous()) select(Help::rawValue(start_));
}

void HelpView::select(const QString& id) {
    if (id == selected_) {
        markSelectedRow();
        return;
    }
    selected_ = id;
    markSelectedRow();
    showChapter();
}

void HelpView::refill() {
    const QSignalBlocker block(list_);
    list_->clear();
    const QColor iconColour = list_->palette().color(QPalette::Text);
    for (const HelpChapter& c : filtered()) {
        auto* item = new QListWidgetItem(c.title, list_);
        item->setData(Qt::UserRole, c.id);
        item->setIcon(QIcon(Symbols::pixmap(c.icon, iconColour, 18, devicePixelRatioF())));
    }
    markSelectedRow();
}

// The row of the chapter shown, when the list holds it; otherwise no row (the chapter stays).
void HelpView::markSelectedRow() {
    const QSignalBlocker block(list_);
    for (int row = 0; row < list_->count(); ++row) {
        if (list_->item(row)->data(Qt::UserRole).toString() == selected_) {
            list_->setCurrentRow(row, QItemSelectionModel::ClearAndSelect);
            return;
        }
    }
    list_->setCurrentRow(-1);
    list_->clearSelection();
}

void HelpView::showChapter() {
    const HelpChapter* found = nullptr;
    for (const HelpChapter& c : Manual::chapters())
        if (c.id == selected_) {
            found = &c;
            break;
        }
    if (chapterView_ && found && chapterView_->chapter().id == found->id) return;

    auto* page = new QWidget;
    auto* row = new QHBoxLayout(page);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(0);
    chapterView_ = nullptr;
    if (found) {
        // Padded 28 on every side, at most 720 wide with the padding, against the leading edge.
        auto* frame = new QWidget(page);
        frame->setMaximumWidth(720);
        auto* pad = new QVBoxLayout(frame);
        pad->setContentsMargins(28, 28, 28, 28);
        chapterView_ = new ChapterView(*found, frame);
        pad->addWidget(chapterView_);
        row->addWidget(frame, 1);
        row->addStretch(0);
    }
    delete detail_->takeWidget();
    detail_->setWidget(page);
}
