// Floats in and out over many random values: written digits are the shortest that read
// back (compared with the standard library's shortest form), and literals read to the
// nearest double (compared with the standard library's correctly rounded reading).
#include <algorithm>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>
#include <string_view>

#include "check.hpp"
#include "json/json.hpp"

namespace {

// Significant digits and decimal exponent of the first digit, from a scientific form.
struct Digits {
    std::string digits;
    int exponent = 0;
    bool operator==(const Digits&) const = default;
};

std::ostream& operator<<(std::ostream& out, const Digits& digits) {
    return out << digits.digits << "e" << digits.exponent;
}

Digits reference_digits(double value) {
    char text[64];
    const auto written = std::to_chars(text, text + sizeof text, std::fabs(value), std::chars_format::scientific);
    Digits result;
    const char* at = text;
    for (; *at != 'e'; ++at) {
        if (*at != '.') result.digits += *at;
    }
    ++at;
    if (*at == '+') ++at;
    std::from_chars(at, written.ptr, result.exponent);
    return result;
}

// The same from the writer's plain or scientific layout.
Digits written_digits(std::string_view text) {
    if (text.front() == '-') text.remove_prefix(1);
    Digits result;
    const std::size_t e = text.find('e');
    const std::string_view mantissa = text.substr(0, e);
    const std::size_t point_at = mantissa.find('.');
    const int point = static_cast<int>(point_at == std::string_view::npos ? mantissa.size() : point_at);
    std::string all;
    for (const char c : mantissa) {
        if (c != '.') all += c;
    }
    int exponent_shift = 0;
    if (e != std::string_view::npos) {
        const std::string_view exponent = text.substr(e + 1 + (text[e + 1] == '+'));
        std::from_chars(exponent.data(), exponent.data() + exponent.size(), exponent_shift);
    }
    const std::size_t first = all.find_first_not_of('0');
    const std::size_t last = all.find_last_not_of('0');
    result.digits = all.substr(first, last - first + 1);
    result.exponent = point - 1 - static_cast<int>(first) + exponent_shift;
    return result;
}

double read_back(const std::string& text) {
    double value = 0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// No digit after the point ends in a zero, but for the one zero of a whole number.
bool without_trailing_zeros(std::string_view text) {
    const std::string_view mantissa = text.substr(0, text.find('e'));
    const std::size_t point = mantissa.find('.');
    return point == std::string_view::npos || mantissa.back() != '0' || mantissa.size() == point + 2;
}

void check_double(double value, int& failures) {
    if (value == 0) return;
    std::string text;
    orvel::json::append_double(text, value);
    const bool ok = written_digits(text) == reference_digits(value) && without_trailing_zeros(text) &&
                    std::bit_cast<std::uint64_t>(read_back(text)) == std::bit_cast<std::uint64_t>(value);
    if (!ok && ++failures <= 5) {
        CHECK_EQ(written_digits(text), reference_digits(value));
        CHECK(without_trailing_zeros(text));
        CHECK_EQ(std::bit_cast<std::uint64_t>(read_back(text)), std::bit_cast<std::uint64_t>(value));
    }
}

// Random bit patterns cover every exponent; the other sets stress the exact paths.
void check_written_doubles() {
    std::mt19937_64 random(20240607);
    int failures = 0;
    for (int i = 0; i < 400'000; ++i) {
        const double value = std::bit_cast<double>(random());
        if (std::isfinite(value) && value != 0) check_double(value, failures);
    }
    std::uniform_real_distribution<double> powers(-30, 40);
    for (int i = 0; i < 400'000; ++i) check_double(std::pow(10.0, powers(random)), failures);
    for (int i = 0; i < 200'000; ++i) {
        const auto integer = static_cast<double>(random() >> (random() % 64));
        if (integer != 0) check_double(integer, failures);
        check_double(static_cast<double>(random() % 1'000'000) / 1000, failures);
    }
    for (int exponent = -1074; exponent <= 1023; ++exponent) {
        check_double(std::ldexp(1.0, exponent), failures);
        check_double(std::nextafter(std::ldexp(1.0, exponent), 0.0), failures);
    }
    check_double(5e-324, failures);
    check_double(2.2250738585072014e-308, failures);
    check_double(1.7976931348623157e308, failures);
    CHECK_EQ(failures, 0);
}

// The canonical text of a literal equals the written form of the library's reading.
void check_read_literal(const std::string& literal, int& failures) {
    double expected = 0;
    std::from_chars(literal.data(), literal.data() + literal.size(), expected);
    std::string wanted;
    orvel::json::append_double(wanted, expected);
    std::string canonical;
    const auto error = orvel::json::canonicalize(literal, canonical);
    if ((error || canonical != wanted) && ++failures <= 5) {
        CHECK(!error);
        CHECK_EQ(canonical + " from " + literal, wanted + " from " + literal);
    }
}

void check_read_floats() {
    std::mt19937_64 random(7);
    int failures = 0;
    for (int i = 0; i < 300'000; ++i) {
        const std::uint64_t significand = random() >> (random() % 64);
        // Mostly near one, where documents live, and every tenth across the whole range.
        const int exponent = i % 10 == 0 ? static_cast<int>(random() % 610) - 325 : static_cast<int>(random() % 80) - 40;
        check_read_literal(std::to_string(significand) + "e" + std::to_string(exponent), failures);
        // Digits on both sides of the point, as most documents write them.
        std::string digits = std::to_string(significand);
        const std::size_t point = random() % (digits.size() + 1);
        digits.insert(point, point == 0 ? "0." : ".");
        if (digits.back() == '.') digits += '0';
        check_read_literal((random() & 1 ? "-" : "") + digits, failures);
    }
    // Exactly halfway between two doubles, so only ties to even decides: (2m + 1) × 2^k
    // for a 53-bit m, written whole, and halved once more behind a point.
    for (int i = 0; i < 100'000; ++i) {
        const std::uint64_t m = (random() >> 11) | (std::uint64_t{1} << 52);
        const int k = static_cast<int>(random() % 11);
        const std::uint64_t tie = (2 * m + 1) << k;
        check_read_literal(std::to_string(tie) + ".0", failures);
        check_read_literal(std::to_string(tie) + "e" + std::to_string(random() % 5), failures);
        if (k == 0) check_read_literal(std::to_string(tie / 2) + ".5", failures);
    }
    // Shortest forms of random doubles: seventeen digits and fewer.
    for (int i = 0; i < 200'000; ++i) {
        const double value = std::bit_cast<double>(random() >> 1);
        if (!std::isfinite(value)) continue;
        char text[40];
        *std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, 16).ptr = '\0';
        check_read_literal(text, failures);
        // A whole value written without point or exponent would read as an integer.
        const std::string shortest(text, std::to_chars(text, text + sizeof text, value).ptr);
        if (shortest.find_first_of(".e") != std::string::npos) check_read_literal(shortest, failures);
    }
    // Short decimals written with all 16 or 17 digits of their double, as map exports write
    // coordinates, and the same text one unit higher in the last digit.
    for (int i = 0; i < 200'000; ++i) {
        const std::uint64_t digits = random() % 1'000'000'000'000'000 >> (random() % 50);
        const double value = static_cast<double>(digits) / std::pow(10.0, static_cast<double>(random() % 23));
        for (const int precision : {15, 16}) {
            char text[40];
            char* const end = std::to_chars(text, text + sizeof text, value, std::chars_format::scientific, precision).ptr;
            *end = '\0';
            check_read_literal(text, failures);
            char* const last = std::find(text, end, 'e') - 1;
            if (*last != '9') ++*last;
            check_read_literal(text, failures);
        }
    }
    CHECK_EQ(failures, 0);
}

}  // namespace

int main() {
    check_written_doubles();
    check_read_floats();
    return check::report("json numbers");
}
