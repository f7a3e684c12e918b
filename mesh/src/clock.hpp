// Timestamps: the wall clock read once per event, written as RFC 3339 text in UTC.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace orvel {

// A moment kept as the clock gave it; its text form is made on demand and is the same
// every time, so holding the moment is as good as holding the text.
struct Timestamp {
    std::int64_t seconds = 0;      // since 1970-01-01T00:00:00Z
    std::uint32_t nanoseconds = 0; // within the second

    bool operator==(const Timestamp&) const = default;
};

// The current UTC time. A clock set before 1970 is an internal fault.
Timestamp now();

// 2026-12-06T18:08:04.123456700+00:00; the fraction has 0, 3, 6 or 9 digits.
void append_rfc3339(std::string& out, Timestamp moment);

#if ORVEL_MESH_TEST_SEAM
// Test seam: shifts every later reading of the clock by `offset_seconds`.
void shift_clock(std::int64_t offset_seconds);
// Test seam: every later reading gives `reading` (seconds may be negative, nanoseconds
// below one billion) before the shift is added; std::nullopt lets the clock run again.
void pin_clock(std::optional<Timestamp> reading);
#endif

}  // namespace orvel
