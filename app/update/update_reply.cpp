#include "update_reply.h"

namespace oakvane {

namespace {

constexpr char kEscape = '\x1b';

// Past an escape sequence that starts at reply[at] (an ESC): CSI sequences end with a byte
// from '@' to '~', OSC and other strings with BEL or ESC '\', the rest after one byte.
std::size_t skip_escape(std::string_view reply, std::size_t at)
{
    std::size_t i = at + 1;
    if (i >= reply.size())
        return i;
    const char kind = reply[i++];
    if (kind == '[') {
        while (i < reply.size() && !(reply[i] >= '@' && reply[i] <= '~'))
            ++i;
        return i + 1;
    }
    if (kind == ']' || kind == 'P' || kind == '_' || kind == '^' || kind == 'X') {
        for (; i < reply.size(); ++i) {
            if (reply[i] == '\a')
                return i + 1;
            if (reply[i] == kEscape && i + 1 < reply.size() && reply[i + 1] == '\\')
                return i + 2;
        }
    }
    return i;
}

// The length of the UTF-8 sequence at reply[at] that encodes a printable character; 0 for a
// byte that starts none (or starts a C1 control, which terminals obey like ESC sequences).
std::size_t printable_sequence(std::string_view reply, std::size_t at)
{
    const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(reply[i]); };
    const unsigned char lead = byte(at);
    if (lead >= 0x20 && lead < 0x7f)
        return 1;
    const std::size_t length = lead >= 0xc2 && lead <= 0xdf   ? 2
                               : lead >= 0xe0 && lead <= 0xef ? 3
                               : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                              : 0;
    if (length == 0 || at + length > reply.size())
        return 0;
    for (std::size_t i = at + 1; i < at + length; ++i)
        if ((byte(i) & 0xc0) != 0x80)
            return 0;
    // Overlong and surrogate forms, and code points past U+10FFFF, are not UTF-8.
    if ((lead == 0xe0 && byte(at + 1) < 0xa0) || (lead == 0xed && byte(at + 1) >= 0xa0) ||
        (lead == 0xf0 && byte(at + 1) < 0x90) || (lead == 0xf4 && byte(at + 1) >= 0x90))
        return 0;
    if (lead == 0xc2 && byte(at + 1) < 0xa0)
        return 0;  // U+0080 to U+009F
    return length;
}

}  // namespace

std::string printable_reply(std::string_view reply)
{
    std::string shown;
    std::size_t characters = 0;
    for (std::size_t at = 0; at < reply.size() && characters < kMaxReplyCharacters;) {
        if (reply[at] == kEscape) {
            at = skip_escape(reply, at);
        } else if (reply[at] == '\t') {
            shown += ' ';
            ++characters;
            ++at;
        } else if (const std::size_t length = printable_sequence(reply, at)) {
            shown.append(reply.substr(at, length));
            ++characters;
            at += length;
        } else {
            ++at;
        }
    }
    return shown;
}

}  // namespace oakvane
