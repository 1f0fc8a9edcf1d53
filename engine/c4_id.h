#pragma once
// The C4 id the MHL chain records for each generation file, so that a changed or replaced
// generation shows: "c4" then the SHA-512 of the bytes as a base58 number, left-padded with
// '1' (base58's zero) to 90 characters in all.

#include <string>
#include <string_view>

namespace oakvane {

// Throws std::runtime_error when libcrypto can't make a SHA-512 (no provider loaded).
std::string c4_id(std::string_view bytes);

}  // namespace oakvane
