#pragma once
// The floating mini panel and its controller: the one panel is built on the first show() and kept for
// the rest of the process; it is placed once, remembers where the user left it, and is shown, hidden,
// toggled and expanded to the main window from the tray menu, the settings and the panel itself.
#include <QList>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>

#include <optional>

class Defaults;
class TRMiniView;
class QWidget;

class TRMiniPanel : public QObject {
    Q_OBJECT
public:
    explicit TRMiniPanel(Defaults* defaults = nullptr, QObject* parent = nullptr);
    ~TRMiniPanel() override;
    static TRMiniPanel& shared();

    static QString originKey() { return QStringLiteral("qmrl.tr.miniOrigin"); }
    static QSize size() { return {300, 492}; }
    static constexpr int cornerRadius = 34;

    QWidget* panel() const; // null until the first show()
    TRMiniView* view() const;
    bool shown() const { return shown_; }

    // Builds the panel on first use with WalkieModel::shared() and brings it to the front with the
    // keyboard focus on the panel itself; does nothing at all without a model.
    void show();
    void hide();
    void expand(); // hide(), then the main window
    void toggle();

    // Where a new panel goes, in Qt's coordinates (top-left corners): the saved corner when the panel
    // shrunk by 40 on every side meets some screen's available area; else the primary screen's (or the
    // first screen's) bottom right with 24-point margins; with no screen, that of a 1440 x 900 screen.
    static QPoint placement(const std::optional<QPoint>& saved, const QList<QRect>& available,
                            const std::optional<QRect>& primary = std::nullopt);
    static std::optional<QPoint> savedOrigin(Defaults& defaults);
    static void save(const QPoint& origin, Defaults& defaults);
    // Window positions are neither readable nor settable by a client there.
    static bool positionsUnsupported();

signals:
    void shownChanged(bool shown);

private:
    friend class TRMiniWindow;
    void windowMoved(const QPoint& origin);
    void setShown(bool shown);
    QPoint placement() const;
    Defaults& defaults_;
    QPointer<QWidget> panel_;
    bool shown_ = false;
};
