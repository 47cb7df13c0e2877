#include "AppIcon.h"

// The resource lives in a static library: make sure it is registered before first use.
static void ensureResources() {
    static const bool done = [] {
        Q_INIT_RESOURCE(app_resources);
        return true;
    }();
    (void)done;
}

namespace AppIcon {

QString resourcePath() {
    return QStringLiteral(":/app/qmrl-tessrook.svg");
}

QIcon icon() {
    ensureResources();
    return QIcon(resourcePath());
}

} // namespace AppIcon
