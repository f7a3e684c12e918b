// The seeded text hash: every byte of every length counts, in its place, and nothing
// beyond the text does.
#include <cstddef>
#include <string>
#include <string_view>

#include "check.hpp"
#include "hash.hpp"

using namespace orvel;

namespace {

const SeededHash hash;

// Lengths cover every size of the last, partial word, alone and after whole words.
constexpr std::size_t longest = 40;

std::string text_of_length(std::size_t length) {
    std::string text;
    for (std::size_t i = 0; i < length; ++i) text += static_cast<char>('a' + i % 26);
    return text;
}

void every_byte_counts_in_its_place() {
    for (std::size_t length = 1; length <= longest; ++length) {
        const std::string text = text_of_length(length);
        bool all_differ = true;
        for (std::size_t i = 0; i < length; ++i) {
            std::string changed = text;
            changed[i] = static_cast<char>(changed[i] ^ 0x80);
            all_differ = all_differ && hash(changed) != hash(text);
        }
        CHECK(all_differ);
        if (length >= 2) {
            std::string swapped = text;
            std::swap(swapped[length - 1], swapped[length - 2]);
            CHECK(hash(swapped) != hash(text));
        }
    }
}

void length_counts() {
    for (std::size_t length = 0; length < longest; ++length) {
        const std::string text(length, '\0');
        CHECK(hash(text) != hash(std::string(length + 1, '\0')));
    }
}

void only_the_viewed_bytes_count() {
    for (std::size_t length = 0; length <= longest; ++length) {
        const std::string text = text_of_length(length);
        const std::string surrounded = "<" + text + ">>>>>>>>";
        const std::string other = "[" + text + "]]]]]]]]";
        CHECK_EQ(hash(std::string_view(surrounded).substr(1, length)), hash(text));
        CHECK_EQ(hash(std::string_view(other).substr(1, length)), hash(text));
    }
}

}  // namespace

int main() {
    every_byte_counts_in_its_place();
    length_counts();
    only_the_viewed_bytes_count();
    return check::report("hash");
}
