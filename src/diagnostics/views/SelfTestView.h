#pragma once
// The connection self-test: the report as coloured rows on the finish's panel, rebuilt every 1.5 s
// while shown, with a radio check, a copy of the report, the debug log and Done. A window-modal dialog
// of a fixed size; it reads the model and never owns it.
#include "DiagLine.h"
#include "Finish.h"

#include <QDialog>
#include <QList>
#include <QTimer>
#include <functional>

class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;
class FirewallProbe;
class RackButton;
class WalkieModel;

class DiagRow : public QWidget {
    Q_OBJECT
public:
    explicit DiagRow(const Finish& finish, QWidget* parent = nullptr);
    void setLine(const DiagLine& line);
    void setFinish(const Finish& finish);
    QString title() const;
    QString detail() const; // "" when the row shows none
    bool showsDetail() const;
    DiagLine::Level level() const { return level_; }
    // The level's colour: green, yellow, red, or the finish's accent for info.
    static QColor colour(DiagLine::Level level, const Finish& finish);
    static QString symbol(DiagLine::Level level);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    void updateIcon();
    Finish finish_;
    DiagLine::Level level_ = DiagLine::Level::info;
    QLabel* icon_;
    QLabel* title_;
    QLabel* detail_;
};

class SelfTestView : public QDialog {
    Q_OBJECT
public:
    SelfTestView(WalkieModel& model, const Finish& finish, std::function<void()> done,
                 QWidget* parent = nullptr);

    void setFinish(const Finish& finish);
    const Finish& finish() const { return finish_; }

    // The lines the rows show now.
    QList<DiagLine> lines() const { return lines_; }
    const QList<DiagRow*>& rows() const { return rows_; }
    void refresh(); // a new report into the rows
    // The firewall probe the report asks; the process-wide one unless set (tests give canned tools).
    void setProbe(FirewallProbe* probe) { probe_ = probe; }

    RackButton* radioCheckButton() const { return radioCheck_; }
    RackButton* copyButton() const { return copy_; }
    RackButton* debugLogButton() const { return log_; }
    QPushButton* doneButton() const { return done_; }
    QScrollArea* scrollArea() const { return scroll_; }
    QTimer* refreshTimer() { return &tick_; }

    static constexpr int refreshMs = 1500;
    static constexpr int width = 640;
    static constexpr int height = 600;

    void reject() override; // Escape or closing the window: the same as Done

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void closeSheet();
    void updateRadioCheck();
    void applyFinish();

    WalkieModel& model_;
    Finish finish_;
    std::function<void()> onDone_;
    FirewallProbe* probe_ = nullptr;
    QList<DiagLine> lines_;
    QList<DiagRow*> rows_;
    QTimer tick_;
    QLabel* symbol_;
    QLabel* title_;
    QLabel* subtitle_;
    QLabel* footnote_;
    QScrollArea* scroll_;
    QVBoxLayout* rowsLayout_;
    RackButton* radioCheck_;
    RackButton* copy_;
    RackButton* log_;
    QPushButton* done_;
};
