#pragma once
// A small question-mark button for one chapter of the manual. It knows the chapter by its title only:
// its owner answers `clicked` by asking for that chapter.
#include "Finish.h"

#include <QAbstractButton>

class HelpDot : public QAbstractButton {
    Q_OBJECT
public:
    HelpDot(const QString& chapterTitle, const Finish& finish, QWidget* parent = nullptr);
    void setFinish(const Finish& finish);
    static constexpr int diameter = 18;
    QSize sizeHint() const override { return {diameter, diameter}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }

private:
    Finish finish_;
};
