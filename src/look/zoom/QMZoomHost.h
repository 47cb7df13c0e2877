#pragma once
// Shows one content widget laid out at a logical size and drawn scaled by the stored window zoom,
// scrolling when the scaled content no longer fits. It is never laid out below minSize nor below the
// content's own minimum size hint. The content never learns about the zoom: it sits
// in a graphics scene through a proxy, so focus, keys, popups and tooltips pass through unchanged.
// A control that takes the keyboard focus is scrolled into view, here and in scroll areas inside.
#include <QGraphicsView>
#include <QSizeF>

class QGraphicsProxyWidget;

class QMZoomHost : public QGraphicsView {
    Q_OBJECT
public:
    struct Layout {
        double zoom = 1.0;
        QSizeF logical; // size the content is laid out at
        QSizeF scaled;  // size it is drawn at (the scroll area's content size)
        bool scrollIndicators = false;
    };
    // The layout for a host offered `offered` at zoom factor `z` (already limited).
    static Layout layoutFor(const QSizeF& offered, double z, const QSizeF& minSize);

    explicit QMZoomHost(QWidget* content, const QSizeF& minSize = QSizeF(960, 640),
                        QWidget* parent = nullptr);

    QWidget* content() const { return content_; }
    QSizeF minSize() const { return minSize_; }
    const Layout& currentLayout() const { return layout_; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void relayout();
    void showFocused(QWidget* focused);
    QSizeF layoutMinimum() const; // minSize, grown to the content's own minimum size hint

    QWidget* content_;
    QGraphicsProxyWidget* proxy_;
    QSizeF minSize_;
    Layout layout_;
    QSizeF lastMinimum_;
    bool relayingOut_ = false;
};
