// Invite links arrive from the clipboard, QR codes and other programs. Whatever parses must build
// a link that parses back to the same channel.
#include "Channel.h"
#include "TextRules.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto c = Channel::fromInvite(text);
    if (!c) return 0;
    if (!c->isValid() || c->name.isEmpty() || !TextRules::hasVisibleCharacter(c->name) ||
        TextRules::characterCount(c->name) > Channel::maxNameCharacters)
        std::abort();
    const auto back = Channel::fromInvite(c->inviteLink());
    if (!back || back->key() != c->key() || back->channelID() != c->channelID()) std::abort();
    // The name is cut after trimming, so a cut can leave a space at its end that the next parse trims.
    if (back->name != TextRules::trimmed(c->name) && back->name != c->name) std::abort();
    return 0;
}
