#pragma once
// A file's content hash (XXH3, 128 bits), fed chunk by chunk as the bytes pass by. Its hex
// form is the one xxh128sum prints, so a photographer can check a copy with that tool.

#include <cstddef>
#include <memory>
#include <string>

struct XXH3_state_s;

namespace oakvane {

class ContentHash {
public:
    ContentHash();
    ~ContentHash();
    ContentHash(const ContentHash&) = delete;
    ContentHash& operator=(const ContentHash&) = delete;

    void update(const void* data, std::size_t size);
    // The 32 lower-case hex digits of what was fed so far.
    std::string hex() const;
    // Starts over, as if nothing had been fed.
    void reset();

private:
    struct Free {
        void operator()(XXH3_state_s* state) const;
    };
    std::unique_ptr<XXH3_state_s, Free> m_state;
};

}  // namespace oakvane
