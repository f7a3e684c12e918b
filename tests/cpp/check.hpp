// A minimal assertion harness for the C++ unit tests: each failed check is printed and
// makes the test executable exit non-zero.
#pragma once

#include <iostream>
#include <string>

#include "error.hpp"
#include "pending_change.hpp"

namespace check {
inline int failures = 0;
inline int passed = 0;

inline int report(const char* suite) {
    std::cout << suite << ": " << passed << " checks passed, " << failures << " failed\n";
    return failures == 0 ? 0 : 1;
}

// A prepared change made at once, as the calling frame makes it once it holds the result.
inline orvel::Result<std::string> committed(orvel::Result<orvel::PendingChange> pending) {
    if (!pending) return pending.error();
    pending->commit();
    return pending->result();
}
}  // namespace check

#define CHECK(condition)                                                                   \
    do {                                                                                   \
        if (condition) {                                                                   \
            ++check::passed;                                                               \
        } else {                                                                           \
            ++check::failures;                                                             \
            std::cerr << __FILE__ << ":" << __LINE__ << ": CHECK(" #condition ") failed\n"; \
        }                                                                                  \
    } while (0)

// Copies both sides, so a value read out of a temporary outlives the expression.
#define CHECK_EQ(actual, expected)                                                          \
    do {                                                                                    \
        const auto check_actual_ = (actual);                                                \
        const auto check_expected_ = (expected);                                            \
        if (check_actual_ == check_expected_) {                                             \
            ++check::passed;                                                                \
        } else {                                                                            \
            ++check::failures;                                                              \
            std::cerr << __FILE__ << ":" << __LINE__ << ": " #actual " == " #expected       \
                      << "\n  actual:   " << check_actual_ << "\n  expected: " << check_expected_ << "\n"; \
        }                                                                                   \
    } while (0)
