#pragma once
// An engraved label: the text in upper case, heavy body face, letter-spaced, in the finish's engraving
// colour over its shadow.
#include "Finish.h"

#include <QWidget>

class Engraved : public QWidget {
    Q_OBJECT
public:
    Engraved(const QString& text, const Finish& finish, qreal size = 10, QWidget* parent = nullptr);
    QString text() const { return text_; }
    void setText(const QString& text);
    const Finish& finish() const { return finish_; }
    void setFinish(const Finish& finish);
    qreal size() const { return size_; }
    QString shownText() const { return text_.toUpper(); }
    QFont font() const;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString text_;
    Finish finish_;
    qreal size_;
};
