#pragma once
// A small question-mark button; a click asks for the manual at its own topic.
#include "Finish.h"
#include "HelpTopic.h"

#include <QAbstractButton>

class HelpDot : public QAbstractButton {
    Q_OBJECT
public:
    HelpDot(HelpTopic topic, const Finish& finish, QWidget* parent = nullptr);
    HelpTopic topic() const { return topic_; }
    void setFinish(const Finish& finish);
    static constexpr int diameter = 18;
    QSize sizeHint() const override { return {diameter, diameter}; }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }

private:
    HelpTopic topic_;
    Finish finish_;
};
