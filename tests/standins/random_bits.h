#pragma once
// splitmix64: fast, and good enough that neither the JPEG coder, a raw coder nor a
// compressor finds a pattern in its output. The same seed gives the same bits.

#include <cstdint>

namespace oakvane::cardgen {

class Random {
public:
    explicit Random(std::uint64_t seed) : m_state(seed) {}
    std::uint64_t next()
    {
        std::uint64_t z = (m_state += 0x9e3779b97f4a7c15ULL);
        z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
        z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
        return z ^ (z >> 31);
    }

private:
    std::uint64_t m_state;
};

}  // namespace oakvane::cardgen
