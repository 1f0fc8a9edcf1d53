#include "failing_new.h"

#include <cstdint>
#include <cstdlib>
#include <new>

namespace oakvane::test {

std::size_t fail_from_size = SIZE_MAX;

}  // namespace oakvane::test

void* operator new(std::size_t size)
{
    if (size >= oakvane::test::fail_from_size)
        throw std::bad_alloc();
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

// The other forms go through the one above, as the standard's default ones do (some runtimes,
// such as the address sanitizer's, replace them with their own).
void* operator new[](std::size_t size)
{
    return ::operator new(size);
}

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void* operator new[](std::size_t size, const std::nothrow_t&) noexcept
{
    return ::operator new(size, std::nothrow);
}

// Every delete that can meet the new above frees with free(): left to the runtime, a
// sanitizer's delete would take these blocks for another allocator's and abort.
void operator delete(void* p) noexcept
{
    std::free(p);
}

void operator delete[](void* p) noexcept
{
    std::free(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete[](void* p, std::size_t) noexcept
{
    std::free(p);
}

void operator delete(void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}

void operator delete[](void* p, const std::nothrow_t&) noexcept
{
    std::free(p);
}
