#pragma once
// Allocation failure on demand, for tests of code that must survive running out of memory.
// A test binary that includes failing_new.cpp gets an operator new that throws std::bad_alloc
// (and a nothrow new that returns null) for every request of at least fail_from_size bytes,
// with the matching operator delete.

#include <cstddef>

namespace oakvane::test {

extern std::size_t fail_from_size;  // SIZE_MAX: nothing fails

}  // namespace oakvane::test
