#pragma once
// Shared bits of the test executables.

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>

namespace kelvora::test {

inline constexpr int kSkipCode = 77;

// Ends the whole test executable as "skipped" (CTest's SKIP_RETURN_CODE):
// a test that cannot set up what it needs must never count as passed.
[[noreturn]] inline void skipAll(const char* reason) {
    std::fprintf(stderr, "SKIP: %s\n", reason);
    std::fflush(stderr);
    std::_Exit(kSkipCode);
}

}  // namespace kelvora::test
