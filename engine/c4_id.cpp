#include "c4_id.h"

#include <algorithm>
#include <array>
#include <openssl/evp.h>
#include <stdexcept>

namespace oakvane {

namespace {

constexpr std::string_view kBase58 = "123456789ABCDEFGHJKLMNPQRSTUVWXYZabcdefghijkmnopqrstuvwxyz";
constexpr std::size_t kDigits = 88;  // 58^88 > 2^512: every SHA-512 fits

using Sha512 = std::array<unsigned char, 64>;

Sha512 sha512(std::string_view bytes)
{
    Sha512 digest;
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest.data(), &length, EVP_sha512(),
                   nullptr) != 1 ||
        length != digest.size())
        throw std::runtime_error("SHA-512 is not available");
    return digest;
}

// The big-endian number in digest, in base58, most significant digit first.
std::string base58(Sha512 digest)
{
    std::string digits;
    // Long division of the whole number by 58 per digit, until nothing is left.
    const auto nonzero = [](unsigned char byte) { return byte != 0; };
    while (std::any_of(digest.begin(), digest.end(), nonzero)) {
        unsigned remainder = 0;
        for (unsigned char& byte : digest) {
            const unsigned value = remainder * 256 + byte;
            byte = static_cast<unsigned char>(value / 58);
            remainder = value % 58;
        }
        digits.push_back(kBase58[remainder]);
    }
    std::reverse(digits.begin(), digits.end());
    return digits;
}

}  // namespace

std::string c4_id(std::string_view bytes)
{
    const std::string digits = base58(sha512(bytes));
    return "c4" + std::string(kDigits - digits.size(), kBase58[0]) + digits;
}

}  // namespace oakvane
