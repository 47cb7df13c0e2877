#pragma once
// One chapter of the manual laid out for reading: the title with its icon, then per section the
// heading, the steps with their markers and the tip box. Every text is shown as written (plain text).
#include "Manual.h"

#include <QList>
#include <QWidget>

class QLabel;

class ChapterView : public QWidget {
    Q_OBJECT
public:
    explicit ChapterView(const HelpChapter& chapter, QWidget* parent = nullptr);
    const HelpChapter& chapter() const { return chapter_; }

    // The tip colour: a clear yellow, used for the bulb and, faint, for the box behind the tip.
    static QColor yellow() { return QColor(255, 204, 0); }

private:
    HelpChapter chapter_;
};

// The box behind a section's tip: yellow at low opacity with rounded corners.
class TipBox : public QWidget {
    Q_OBJECT
public:
    explicit TipBox(const QString& tip, QWidget* parent = nullptr);
    QLabel* text() const { return text_; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QLabel* text_;
};
