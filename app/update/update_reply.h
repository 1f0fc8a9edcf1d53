#pragma once
// What of the web site's reply may be shown to the user.

#include <cstddef>
#include <string>
#include <string_view>

namespace oakvane {

// The site's answer is one short word or sentence: a longer reply is cut to this many characters.
inline constexpr std::size_t kMaxReplyCharacters = 200;

// The reply as printable text: terminal escape sequences and control characters go (a tab
// becomes a blank), as do bytes that are not UTF-8; at most kMaxReplyCharacters characters.
std::string printable_reply(std::string_view reply);

}  // namespace oakvane
