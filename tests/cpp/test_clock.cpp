// The clock's far ends, which Python cannot reach: years past 9999 and the edges of the
// 64-bit second count, in the text and in the reading with the test shift added.
#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include "check.hpp"
#include "clock.hpp"
#include "error.hpp"

namespace {

using orvel::Timestamp;

constexpr std::int64_t lowest = std::numeric_limits<std::int64_t>::min();
constexpr std::int64_t highest = std::numeric_limits<std::int64_t>::max();

std::string text_of(Timestamp moment) {
    std::string text;
    orvel::append_rfc3339(text, moment);
    return text;
}

void check_text_of_far_years() {
    CHECK_EQ(text_of({highest, 999'999'999}), std::string("+292277026596-12-04T15:30:07.999999999+00:00"));
    CHECK_EQ(text_of({lowest, 0}), std::string("-292277022657-01-27T08:29:52+00:00"));
    CHECK_EQ(text_of({-62'167'219'201, 0}), std::string("-0001-12-31T23:59:59+00:00"));
    CHECK_EQ(text_of({-62'167'219'200, 0}), std::string("0000-01-01T00:00:00+00:00"));
    CHECK_EQ(text_of({253'402'300'799, 999'999'000}), std::string("9999-12-31T23:59:59.999999+00:00"));
    CHECK_EQ(text_of({253'402'300'800, 0}), std::string("+10000-01-01T00:00:00+00:00"));
}

// What now() gives with the platform reading pinned to `seconds` and the shift added:
// the text, or the fault's message.
std::string reading(std::optional<std::int64_t> seconds, std::int64_t shift, std::uint32_t nanoseconds = 0) {
    orvel::pin_clock(seconds ? std::optional<Timestamp>({*seconds, nanoseconds}) : std::nullopt);
    orvel::shift_clock(shift);
    std::string result;
    try {
        result = text_of(orvel::now());
    } catch (const orvel::InternalFault& fault) {
        result = std::string("fault: ") + fault.what();
    }
    orvel::pin_clock(std::nullopt);
    orvel::shift_clock(0);
    return result;
}

void check_shifted_readings_never_wrap() {
    const std::string before_1970 = "fault: system clock reads earlier than 1970-01-01T00:00:00Z";
    const std::string beyond = "fault: shifted clock reads beyond the last representable second";
    CHECK_EQ(reading(highest, 0, 999'999'999), std::string("+292277026596-12-04T15:30:07.999999999+00:00"));
    CHECK_EQ(reading(highest, 1), beyond);
    CHECK_EQ(reading(1, highest), beyond);
    CHECK_EQ(reading(std::nullopt, highest), beyond);
    CHECK_EQ(reading(lowest, -1), before_1970);
    CHECK_EQ(reading(-1, lowest), before_1970);
    CHECK_EQ(reading(std::nullopt, lowest), before_1970);
    CHECK_EQ(reading(lowest, highest), before_1970);
    CHECK_EQ(reading(highest, lowest), before_1970);
    CHECK_EQ(reading(-1, 0, 999'999'999), before_1970);
    CHECK_EQ(reading(-1, 1), std::string("1970-01-01T00:00:00+00:00"));
}

void check_the_platform_clock() {
    const Timestamp moment = orvel::now();
    CHECK(moment.seconds > 1'600'000'000);  // after September 2020
    CHECK(moment.nanoseconds < 1'000'000'000);
}

}  // namespace

int main() {
    check_text_of_far_years();
    check_shifted_readings_never_wrap();
    check_the_platform_clock();
    return check::report("clock");
}
