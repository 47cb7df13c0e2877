#pragma once
// Keeps a dialog's height at what its content needs at its current width, as the content changes (a
// row that appears, text that wraps onto more lines, another page). Qt's own minimum for a window
// ignores height-for-width, so wrapped text would be cut through its lines; and a window never
// shrinks back by itself. The height is capped by the screen's available height; a `scroll` area
// given here then scrolls the rest.
#include <QObject>
#include <QPointer>

class QDialog;
class QScrollArea;

class SheetFit : public QObject {
    Q_OBJECT
public:
    // Follows `dialog` for its lifetime (the follower is its child). With `scroll`, the dialog's
    // height is the scroll area's content at full height plus what surrounds the area.
    static SheetFit* follow(QDialog* dialog, QScrollArea* scroll = nullptr);

    // The height `dialog`'s content needs at `width` (without any cap).
    int neededHeight(int width) const;
    // Resizes the dialog to what its content needs now (capped by the screen).
    void fit();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    SheetFit(QDialog* dialog, QScrollArea* scroll);
    void schedule();
    int screenCap() const;

    QDialog* dialog_;
    QPointer<QScrollArea> scroll_;
    bool pending_ = false;
};
