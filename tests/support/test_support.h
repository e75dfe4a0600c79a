#pragma once
// Shared bits of the test executables.

#include <QString>
#include <QTest>
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

// QCOMPARE compares doubles loosely; sums must be the exact nearest double.
#define COMPARE_EXACT(actual, expected)                                                               \
    QVERIFY2((actual) == (expected), qPrintable(QString("%1 != %2")                                  \
                                                    .arg(double(actual), 0, 'g', 17)                 \
                                                    .arg(double(expected), 0, 'g', 17)))
