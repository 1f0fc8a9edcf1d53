#pragma once
// XXH3's 128-bit hash of file data, written as the MHL history and the copy checks write it:
// 32 lower-case hex digits, the high half first.

#include <cstddef>
#include <memory>
#include <string>

struct XXH3_state_s;

namespace oakvane {

// A hash of data given in pieces, for files read a buffer at a time.
class Xxh128 {
public:
    Xxh128();  // throws std::bad_alloc when no state can be had
    Xxh128(Xxh128&&) noexcept = default;
    Xxh128& operator=(Xxh128&&) noexcept = default;

    // data may be null only when n is 0 (std::invalid_argument otherwise).
    void update(const void* data, std::size_t n);
    // The hash of everything given so far; more may still be added.
    std::string hex() const;

private:
    struct Free {
        void operator()(XXH3_state_s* state) const;
    };
    std::unique_ptr<XXH3_state_s, Free> m_state;
};

// The hash of n bytes at data, in one go.
std::string xxh128_hex(const void* data, std::size_t n);

}  // namespace oakvane
