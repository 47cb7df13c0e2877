#include "WFonts.h"

#include "LookResources.h"

#include <QDir>
#include <QFile>
#include <QFontDatabase>

// The resources live in a static library: the linker keeps them only when something names them.
static void initLookResources() {
    Q_INIT_RESOURCE(look_resources);
}

void ensureLookResources() {
    static const bool done = (initLookResources(), true);
    Q_UNUSED(done);
}

namespace WFonts {

int registerFonts() {
    static int registered = -1;
    if (registered >= 0) return registered;
    ensureLookResources();
    registered = 0;
    const QDir dir(QStringLiteral(":/look/fonts"));
    for (const QString& file : dir.entryList({QStringLiteral("*.ttf")}, QDir::Files)) {
        if (QFontDatabase::addApplicationFont(dir.filePath(file)) >= 0) ++registered;
    }
    return registered;
}

static QFont make(const QString& family, qreal size, QFont::Weight weight) {
    QFont f(family);
    f.setPointSizeF(points(size));
    f.setWeight(weight);
    f.setStyleStrategy(QFont::PreferAntialias);
    return f;
}

QFont display(qreal size, QFont::Weight weight) {
    return make(QStringLiteral("Unbounded"), size, weight);
}

QFont body(qreal size, QFont::Weight weight) {
    return make(QStringLiteral("Manrope"), size, weight);
}

QFont lcd(qreal size) {
    QFont f = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    f.setStyleHint(QFont::Monospace);
    f.setPointSizeF(points(size));
    f.setWeight(QFont::Bold);
    return f;
}

} // namespace WFonts
