#pragma once
// The manual browser, shown as a sheet of the main window: the chapter list with a search field on the
// left, the selected chapter on the right, and "Done". It never closes itself: "Done" and Escape call
// `done`, and the presenter closes the sheet.
#include "HelpTopic.h"
#include "Manual.h"

#include <QDialog>

#include <functional>

class ChapterView;
class QLineEdit;
class QListWidget;
class QPushButton;
class QScrollArea;
class QSplitter;

class HelpView : public QDialog {
    Q_OBJECT
public:
    HelpView(HelpTopic start, std::function<void()> done, QWidget* parent = nullptr);

    // The chapters the sidebar lists for the current search text.
    QList<HelpChapter> filtered() const;

    QString selected() const { return selected_; }
    QString search() const;
    ChapterView* chapterView() const { return chapterView_; }
    QListWidget* sidebar() const { return list_; }
    QLineEdit* searchField() const { return searchField_; }
    QPushButton* doneButton() const { return doneButton_; }

public slots:
    void reject() override; // Escape: ask the presenter, never close here

protected:
    void showEvent(QShowEvent* event) override;
    // The window's own close button asks the presenter too; a close by the presenter closes.
    void closeEvent(QCloseEvent* event) override;

private:
    void select(const QString& id);
    void refill();
    void markSelectedRow();
    void showChapter();

    const HelpTopic start_;
    const std::function<void()> done_;
    QString selected_ = QStringLiteral("quickStart");
    QLineEdit* searchField_;
    QListWidget* list_;
    QScrollArea* detail_;
    QSplitter* splitter_;
    QPushButton* doneButton_;
    ChapterView* chapterView_ = nullptr;
};
