#pragma once
// A text painted cut to its space (an ellipsis at the end) can still be read whole: hovering it shows
// the whole text as a tooltip, and only when something was cut. One watcher serves every such view; the
// view tells it, for a point, the whole text there when what is shown there is cut.
#include <QObject>
#include <QPoint>
#include <QString>

#include <functional>

class QFont;
class QWidget;

class CutText : public QObject {
public:
    // The whole text under a point of the widget when the text shown there is cut; empty otherwise.
    using WholeAt = std::function<QString(const QPoint&)>;

    // Answers the tooltip requests that reach `widget` (a tooltip the widget was given stays its own).
    static void watch(QWidget* widget, WholeAt wholeAt);
    // The same for a widget that shows one text: the whole text whenever `cut` says it is cut.
    static void watch(QWidget* widget, std::function<QString()> text, std::function<bool()> cut);

    // `whole` as it shows in `width` at `font`, cut at the end; `cut` (optional) tells whether it was.
    static QString fit(const QString& whole, const QFont& font, qreal width, bool* cut = nullptr);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    CutText(QWidget* widget, WholeAt wholeAt);
    WholeAt wholeAt_;
};
