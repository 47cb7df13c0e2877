// The channel store file may be damaged or edited by hand. Decoding must never crash, and what it
// keeps must be written and read back unchanged.
#include "Channel.h"

#include <QSet>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const QDateTime loadTime = QDateTime::fromMSecsSinceEpoch(1790000000000LL, Qt::UTC);
    const QByteArray json(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto decoded = Channel::decodeList(json, loadTime);
    QSet<QString> ids;
    for (const Channel& c : decoded.channels) {
        if (!c.isValid() || !c.created.isValid() || ids.contains(c.channelID())) std::abort();
        ids.insert(c.channelID());
    }
    const auto again = Channel::decodeList(Channel::encodeList(decoded.channels), loadTime);
    if (again.unreadable || !again.skipped.isEmpty() || again.channels.size() != decoded.channels.size())
        std::abort();
    for (qsizetype i = 0; i < again.channels.size(); ++i) {
        const Channel &a = decoded.channels[i], &b = again.channels[i];
        if (a.key() != b.key() || a.origin != b.origin || a.keyName != b.keyName || a.name != b.name ||
            a.created != b.created)
            std::abort();
    }
    return 0;
}
