#include "xxh128.h"

#include <cstdio>
#include <new>
#include <stdexcept>
#include <xxhash.h>

namespace oakvane {

namespace {

std::string hex_of(XXH128_hash_t hash)
{
    char text[33];
    std::snprintf(text, sizeof text, "%016llx%016llx", static_cast<unsigned long long>(hash.high64),
                  static_cast<unsigned long long>(hash.low64));
    return text;
}

}  // namespace

void Xxh128::Free::operator()(XXH3_state_s* state) const { XXH3_freeState(state); }

Xxh128::Xxh128() : m_state(XXH3_createState())
{
    if (!m_state || XXH3_128bits_reset(m_state.get()) != XXH_OK)
        throw std::bad_alloc();
}

void Xxh128::update(const void* data, std::size_t n)
{
    // The only failure is a null pointer with bytes to read: a caller's fault.
    if (n != 0 && XXH3_128bits_update(m_state.get(), data, n) != XXH_OK)
        throw std::invalid_argument("Xxh128::update: no data");
}

std::string Xxh128::hex() const { return hex_of(XXH3_128bits_digest(m_state.get())); }

std::string xxh128_hex(const void* data, std::size_t n) { return hex_of(XXH3_128bits(data, n)); }

}  // namespace oakvane
