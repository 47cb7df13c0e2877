#pragma once
// Qt reads "&" in menu items, group box titles, buttons and tabs as the mark of a keyboard mnemonic:
// "Themes & zoom" would show as "Themes _zoom". Texts written elsewhere (fixed titles, channel names
// from the network) go through here so they show exactly as written.
#include <QString>

namespace Mnemonic {
inline QString literal(QString text) {
    return text.replace(u'&', QLatin1String("&&"));
}
} // namespace Mnemonic
