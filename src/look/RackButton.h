#pragma once
// A rack push button: a raised metal key with an optional symbol and a one-line title, lit (glowing in
// the finish's accent) while `lit` is true. Each click calls the action once.
#include "Finish.h"

#include <QAbstractButton>

#include <functional>

class RackButton : public QAbstractButton {
    Q_OBJECT
public:
    RackButton(const QString& title, const Finish& finish, const QString& systemImage = {}, bool lit = false,
               std::function<void()> action = {}, QWidget* parent = nullptr);
    QString title() const { return text(); }
    void setTitle(const QString& title);
    QString systemImage() const { return systemImage_; }
    void setSystemImage(const QString& name);
    bool isLit() const { return lit_; }
    void setLit(bool lit);
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    void setAction(std::function<void()> action) { action_ = std::move(action); }
    static constexpr int height = 30;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override { update(); }
    void leaveEvent(QEvent*) override { update(); }

private:
    QFont titleFont() const;
    Finish finish_;
    QString systemImage_;
    bool lit_;
    std::function<void()> action_;
};
