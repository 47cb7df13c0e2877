#include "ActivityTape.h"

#include "CutText.h"
#include "LookAccessible.h"
#include "Skin.h"
#include "Symbols.h"
#include "TimeText.h"
#include "ViewText.h"
#include "WFonts.h"
#include "WalkieModel.h"

#include <QFontMetricsF>
#include <QPaintEvent>
#include <QPainter>

#include <cstdio>

namespace {
QString emptyText() {
    return ActivityTape::tr(
        "No transmissions yet. Nothing is recorded or saved, only this list of who talked.");
}
} // namespace

ActivityTape::ActivityTape(WalkieModel& model, const Finish& finish, QWidget* parent)
    : QWidget(parent), model_(model), finish_(finish) {
    setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
    LookAccessible::setRole(this, QAccessible::StaticText);
    // A row whose name or channel is cut shows both whole on hover.
    CutText::watch(this, [this](const QPoint& at) {
        const int i = at.y() / (rowHeight + spacing);
        if (at.y() < 0 || i >= rows_.size() || at.y() - i * (rowHeight + spacing) >= rowHeight) return QString();
        const Row& row = rows_[i];
        const qreal width = this->width();
        return fit(row, width).cut ? row.who + u' ' + row.channel : QString();
    });
    connect(&model_, &WalkieModel::activityChanged, this, &ActivityTape::refresh);
    refresh();
}

void ActivityTape::setFinish(const Finish& finish) {
    finish_ = finish;
    cache_.clear();
    update();
}

void ActivityTape::refresh() {
    const QList<ActivityEntry> list = model_.activity();
    const int n = qMin<int>(maxRows, list.size());
    const int before = rows_.size();
    rows_.resize(n);
    for (int i = 0; i < n; ++i) {
        const ActivityEntry& e = list[i];
        rows_[i] = Row{e.id,
                       e.outgoing,
                       TimeText::standardTime(e.time),
                       ViewText::oneLine(e.who),
                       QStringLiteral("· ") + ViewText::oneLine(e.channel),
                       lengthText(e.seconds)};
    }
    QHash<QUuid, QPixmap> kept;
    for (const Row& r : std::as_const(rows_))
        if (auto it = cache_.constFind(r.id); it != cache_.constEnd()) kept.insert(r.id, *it);
    cache_.swap(kept);
    if (n != before) updateGeometry();
    // Painted rows: a reader hears them as lines of text.
    QStringList lines;
    for (const Row& r : std::as_const(rows_))
        lines << r.time + u' ' + r.who + u' ' + r.channel + u' ' + r.length;
    setAccessibleName(lines.isEmpty() ? emptyText() : lines.join(u'\n'));
    update();
}

QString ActivityTape::lengthText(double seconds) {
    // printf's rounding: an exact half goes to the even neighbour ("2.5" gives "2s").
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.0f", seconds);
    return QString::fromLatin1(buf) + u's';
}

int ActivityTape::rowCount() const {
    return rows_.size();
}

QStringList ActivityTape::shownTexts() const {
    QStringList out;
    for (const Row& r : rows_)
        out << r.who + u' ' + r.channel + QStringLiteral("  ") + r.length;
    return out;
}

QSize ActivityTape::sizeHint() const {
    const int n = rowCount();
    if (n == 0) return {300, 2 * rowHeight}; // the empty-state text may take two lines
    return {300, n * rowHeight + (n - 1) * spacing};
}

QSize ActivityTape::minimumSizeHint() const {
    return {120, sizeHint().height()};
}

void ActivityTape::paintEvent(QPaintEvent* event) {
    QPainter p(this);
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    if (rows_.isEmpty()) {
        p.setFont(WFonts::body(12));
        p.setPen(Skin::alpha(finish_.engrave, 0.6));
        p.drawText(QRectF(rect()), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, emptyText());
        return;
    }
    // Rows are drawn once into pixmaps at the painter's scale and blitted after: shaping forty rows of
    // text on every repaint (scrolling, the window's own repaints) costs milliseconds.
    const qreal scale = Skin::deviceScale(p);
    if (scale != cacheScale_ || width() != cacheWidth_) {
        cache_.clear();
        cacheScale_ = scale;
        cacheWidth_ = width();
    }
    for (int i = 0; i < rows_.size(); ++i) {
        const QRect r(0, i * (rowHeight + spacing), width(), rowHeight);
        if (!event->rect().intersects(r)) continue; // the scroll area shows a part only
        QPixmap& pm = cache_[rows_[i].id];
        if (pm.isNull()) {
            QImage img((QSizeF(r.size()) * scale).toSize(), QImage::Format_ARGB32_Premultiplied);
            img.fill(Qt::transparent);
            {
                QPainter rp(&img);
                rp.scale(scale, scale);
                paintRow(rp, rows_[i], QRectF(QPointF(0, 0), QSizeF(r.size())));
            }
            pm = QPixmap::fromImage(img);
            pm.setDevicePixelRatio(scale);
        }
        p.drawPixmap(r.topLeft(), pm);
    }
}

ActivityTape::Fit ActivityTape::fit(const Row& e, qreal width) {
    const QFont font = WFonts::body(12.5);
    QFont bold = font;
    bold.setWeight(QFont::Bold);
    const qreal gap = 8;
    Fit f;
    f.timeX = 11 + gap;
    f.whoX = f.timeX + ViewText::tabularWidth(e.time, font) + gap;
    // The length stays at the right edge: who and the channel give way.
    f.lengthX = width - ViewText::tabularWidth(e.length, font);
    const qreal room = qMax<qreal>(0, f.lengthX - gap - f.whoX);
    bool whoCut = false, channelCut = false;
    f.who = CutText::fit(e.who, bold, room * 0.55, &whoCut);
    f.channelX = f.whoX + QFontMetricsF(bold).horizontalAdvance(f.who) + gap;
    f.channel = CutText::fit(e.channel, font, f.lengthX - gap - f.channelX, &channelCut);
    f.cut = whoCut || channelCut;
    return f;
}

void ActivityTape::paintRow(QPainter& p, const Row& e, const QRectF& r) const {
    p.setRenderHint(QPainter::Antialiasing);
    p.setRenderHint(QPainter::TextAntialiasing);
    const QFont font = WFonts::body(12.5);
    QFont bold = font;
    bold.setWeight(QFont::Bold);
    const Fit f = fit(e, r.width());
    Symbols::paint(p, QRectF(r.left(), r.top() + (rowHeight - 11) / 2.0, 11, 11),
                   e.outgoing ? QStringLiteral("arrow.up.right") : QStringLiteral("arrow.down.left"),
                   e.outgoing ? finish_.tx : finish_.rx);
    p.setPen(Skin::alpha(finish_.engrave, 0.6));
    ViewText::drawTabular(p, r.left() + f.timeX, r, e.time, font);
    ViewText::drawTabular(p, r.left() + f.lengthX, r, e.length, font);
    p.setFont(bold);
    p.setPen(finish_.engrave);
    p.drawText(QRectF(r.left() + f.whoX, r.top(), f.channelX - f.whoX, r.height()),
               Qt::AlignLeft | Qt::AlignVCenter, f.who);
    p.setFont(font);
    p.setPen(Skin::alpha(finish_.engrave, 0.7));
    p.drawText(QRectF(r.left() + f.channelX, r.top(), qMax<qreal>(0, f.lengthX - f.channelX), r.height()),
               Qt::AlignLeft | Qt::AlignVCenter, f.channel);
}
