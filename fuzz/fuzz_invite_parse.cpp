// Invite links arrive from the clipboard, QR codes and other programs. Whatever parses must build
// a link that parses back to the same channel, with a name that is valid UTF-16 and stays the same
// however often the link is shared again.
#include "Channel.h"
#include "TextRules.h"

#include <cstdlib>

namespace {
bool isValidUtf16(const QString& s) {
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s.at(i).isHighSurrogate() && i + 1 < s.size() && s.at(i + 1).isLowSurrogate())
            ++i;
        else if (s.at(i).isSurrogate())
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString text = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const auto c = Channel::fromInvite(text);
    if (!c) return 0;
    if (!c->isValid() || c->name.isEmpty() || !TextRules::hasVisibleCharacter(c->name) ||
        TextRules::characterCount(c->name) > Channel::maxNameCharacters || !isValidUtf16(c->name))
        std::abort();
    const auto back = Channel::fromInvite(c->inviteLink());
    if (!back || back->key() != c->key() || back->channelID() != c->channelID()) std::abort();
    // The name is cut after trimming, so a cut can leave a space at its end that the next parse trims.
    if (back->name != TextRules::trimmed(c->name) && back->name != c->name) std::abort();
    // From then on the name travels unchanged.
    const auto again = Channel::fromInvite(back->inviteLink());
    if (!again || again->name != back->name || again->inviteLink() != back->inviteLink()) std::abort();
    return 0;
}
