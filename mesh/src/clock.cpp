#include "clock.hpp"

#include <cstring>
#include <ctime>
#include <limits>
#include <optional>

#include "error.hpp"

namespace orvel {
namespace {

// Seconds and nanoseconds apart, as the platform keeps them: one 64-bit count of
// nanoseconds would only reach from 1677 to 2262.
Timestamp read_wall_clock() {
    std::timespec reading{};
    if (std::timespec_get(&reading, TIME_UTC) != TIME_UTC) throw InternalFault("system clock cannot be read");
    return {static_cast<std::int64_t>(reading.tv_sec), static_cast<std::uint32_t>(reading.tv_nsec)};
}

#if ORVEL_MESH_TEST_SEAM
std::int64_t clock_offset_seconds = 0;
std::optional<Timestamp> pinned_reading;

// The reading moved by the shift. A sum past either end of the 64-bit range must not wrap
// into a plausible time: below, it stays before 1970; above, there is no instant to give.
Timestamp seam_reading() {
    Timestamp reading = pinned_reading ? *pinned_reading : read_wall_clock();
    constexpr auto lowest = std::numeric_limits<std::int64_t>::min();
    constexpr auto highest = std::numeric_limits<std::int64_t>::max();
    if (clock_offset_seconds < 0 && reading.seconds < lowest - clock_offset_seconds) {
        reading.seconds = lowest;
    } else if (clock_offset_seconds > 0 && reading.seconds > highest - clock_offset_seconds) {
        throw InternalFault("shifted clock reads beyond the last representable second");
    } else {
        reading.seconds += clock_offset_seconds;
    }
    return reading;
}
#endif

struct CivilDate {
    std::int64_t year;
    unsigned month;
    unsigned day;
};

// Days since 1970-01-01 to a proleptic Gregorian date.
CivilDate civil_from_days(std::int64_t days) {
    days += 719468;
    const std::int64_t era = (days >= 0 ? days : days - 146096) / 146097;
    const auto day_of_era = static_cast<unsigned>(days - era * 146097);
    const unsigned year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
    const unsigned day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const unsigned month_index = (5 * day_of_year + 2) / 153;
    const unsigned day = day_of_year - (153 * month_index + 2) / 5 + 1;
    const unsigned month = month_index < 10 ? month_index + 3 : month_index - 9;
    const std::int64_t year = static_cast<std::int64_t>(year_of_era) + era * 400 + (month <= 2);
    return {year, month, day};
}

// Writes `value` in decimal, zero-padded to `width` digits, and returns the end: a
// timestamp is written on every record, where formatting calls would dominate.
char* put_padded(char* out, std::uint64_t value, int width) {
    char digits[20];
    char* first = digits + sizeof digits;
    do {
        *--first = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0);
    for (auto length = digits + sizeof digits - first; length < width; ++length) *out++ = '0';
    for (; first != digits + sizeof digits; ++first) *out++ = *first;
    return out;
}

// Two digits, the form most fields take.
char* put_two(char* out, unsigned value) {
    out[0] = static_cast<char>('0' + value / 10);
    out[1] = static_cast<char>('0' + value % 10);
    return out + 2;
}

}  // namespace

Timestamp now() {
#if ORVEL_MESH_TEST_SEAM
    const Timestamp reading = seam_reading();
#else
    const Timestamp reading = read_wall_clock();
#endif
    if (reading.seconds < 0) throw InternalFault("system clock reads earlier than 1970-01-01T00:00:00Z");
    return reading;
}

void append_rfc3339(std::string& out, Timestamp moment) {
    std::int64_t days = moment.seconds / 86400;
    std::int64_t second_of_day = moment.seconds % 86400;
    if (second_of_day < 0) {
        second_of_day += 86400;
        days -= 1;
    }
    const CivilDate date = civil_from_days(days);
    char text[64];
    char* at = text;
    if (date.year < 0 || date.year > 9999) *at++ = date.year < 0 ? '-' : '+';
    at = put_padded(at, static_cast<std::uint64_t>(date.year < 0 ? -date.year : date.year), 4);
    *at++ = '-';
    at = put_two(at, date.month);
    *at++ = '-';
    at = put_two(at, date.day);
    *at++ = 'T';
    at = put_two(at, static_cast<unsigned>(second_of_day / 3600));
    *at++ = ':';
    at = put_two(at, static_cast<unsigned>(second_of_day / 60 % 60));
    *at++ = ':';
    at = put_two(at, static_cast<unsigned>(second_of_day % 60));
    const std::uint32_t nanos = moment.nanoseconds;
    if (nanos != 0) {
        *at++ = '.';
        if (nanos % 1'000'000 == 0) {
            at = put_padded(at, nanos / 1'000'000, 3);
        } else if (nanos % 1'000 == 0) {
            at = put_padded(at, nanos / 1'000, 6);
        } else {
            at = put_padded(at, nanos, 9);
        }
    }
    std::memcpy(at, "+00:00", 6);
    out.append(text, static_cast<std::size_t>(at + 6 - text));
}

#if ORVEL_MESH_TEST_SEAM
void shift_clock(std::int64_t offset_seconds) { clock_offset_seconds = offset_seconds; }
void pin_clock(std::optional<Timestamp> reading) { pinned_reading = reading; }
#endif

}  // namespace orvel
