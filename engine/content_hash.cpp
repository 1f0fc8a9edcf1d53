#include "content_hash.h"

#include <new>

#include <xxhash.h>

namespace oakvane {

void ContentHash::Free::operator()(XXH3_state_s* state) const { XXH3_freeState(state); }

ContentHash::ContentHash() : m_state(XXH3_createState())
{
    if (!m_state)
        throw std::bad_alloc();
    reset();
}

ContentHash::~ContentHash() = default;

void ContentHash::update(const void* data, std::size_t size)
{
    // Only a null pointer with a nonzero size fails, which no caller passes.
    (void)XXH3_128bits_update(m_state.get(), data, size);
}

void ContentHash::reset() { (void)XXH3_128bits_reset(m_state.get()); }

std::string ContentHash::hex() const
{
    XXH128_canonical_t canonical;
    XXH128_canonicalFromHash(&canonical, XXH3_128bits_digest(m_state.get()));
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string text;
    text.reserve(2 * sizeof canonical.digest);
    for (const unsigned char byte : canonical.digest) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 15]);
    }
    return text;
}

}  // namespace oakvane
