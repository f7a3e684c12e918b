// Whole values, read without native recursion: the open arrays and objects live in a
// fixed stack bounded by the nesting limit.
#include <array>

#include "json.hpp"
#include "json_canonical_sink.hpp"
#include "json_reader.hpp"

namespace orvel::json {
namespace {

// Decoded text of the string being read, reused across strings.
std::string& decode_buffer() {
    thread_local std::string buffer;
    return buffer;
}

}  // namespace

// The arrays and objects opened while reading one value, innermost last.
class Reader::Containers {
public:
    explicit Containers(int already_open) : already_open_(already_open) {}

    bool full() const { return already_open_ + depth_ >= max_depth; }
    bool empty() const { return depth_ == 0; }
    void push(bool object) { is_object_[depth_++] = object; }
    void pop() { --depth_; }
    bool in_object() const { return is_object_[depth_ - 1]; }

private:
    int already_open_;
    int depth_ = 0;
    std::array<bool, max_depth> is_object_{};
};

template <class Sink>
bool Reader::read_value(Sink& sink, int open) {
    Containers containers(open);
    for (;;) {
        bool opened = false;
        if (!begin_value(sink, containers, opened)) return false;
        if (opened) continue;
        // A value is complete: close what ends here until another element follows.
        for (;;) {
            if (containers.empty()) return true;
            const bool in_object = containers.in_object();
            if (!skip_white_space()) {
                return fail_here(in_object ? "EOF while parsing an object" : "EOF while parsing a list");
            }
            const char next = *cursor_;
            if (next == (in_object ? '}' : ']')) {
                ++cursor_;
                containers.pop();
                if (in_object) {
                    sink.close_object();
                } else {
                    sink.close_array();
                }
                continue;
            }
            if (next != ',') return fail_at_next(in_object ? "expected `,` or `}`" : "expected `,` or `]`");
            ++cursor_;
            if (!skip_white_space()) return fail_here("EOF while parsing a value");
            sink.separator();
            if (in_object) {
                if (!after_comma_in_object(sink)) return false;
            } else if (*cursor_ == ']') {
                return fail_at_next("trailing comma");
            }
            break;
        }
    }
}

// Reads a scalar, or opens an array or object. `opened` tells that a non-empty container
// was opened and its first element (after the member name) is next.
template <class Sink>
bool Reader::begin_value(Sink& sink, Containers& containers, bool& opened) {
    if (!skip_white_space()) return fail_here("EOF while parsing a value");
    switch (*cursor_) {
    case '[':
        if (containers.full()) return fail_at_next("recursion limit exceeded");
        ++cursor_;
        sink.open_array();
        if (!skip_white_space()) return fail_here("EOF while parsing a list");
        if (*cursor_ == ']') {
            ++cursor_;
            sink.close_array();
            return true;
        }
        containers.push(false);
        opened = true;
        return true;
    case '{':
        if (containers.full()) return fail_at_next("recursion limit exceeded");
        ++cursor_;
        sink.open_object();
        if (!skip_white_space()) return fail_here("EOF while parsing an object");
        if (*cursor_ == '}') {
            ++cursor_;
            sink.close_object();
            return true;
        }
        if (*cursor_ != '"') return fail_at_next("key must be a string");
        containers.push(true);
        opened = true;
        return read_member_name(sink);
    case '"': {
        const char* quote = cursor_++;
        std::string_view text;
        if (!read_string(decode_buffer(), text)) return false;
        const std::string_view quoted(quote, static_cast<std::size_t>(cursor_ - quote));
        sink.string(text, quoted, text.data() == decode_buffer().data());
        return true;
    }
    case 't':
        if (!read_literal("true")) return false;
        sink.literal("true");
        return true;
    case 'f':
        if (!read_literal("false")) return false;
        sink.literal("false");
        return true;
    case 'n':
        if (!read_literal("null")) return false;
        sink.literal("null");
        return true;
    case '-':
    case '0':
    case '1':
    case '2':
    case '3':
    case '4':
    case '5':
    case '6':
    case '7':
    case '8':
    case '9': {
        Number number;
        if (!read_number(number)) return false;
        sink.number(number);
        return true;
    }
    default: return fail_at_next("expected value");
    }
}

// At the opening quote of a member name: the name, then the colon.
template <class Sink>
bool Reader::read_member_name(Sink& sink) {
    const char* quote = cursor_++;
    std::string_view name;
    if (!read_string(decode_buffer(), name)) return false;
    const std::string_view quoted(quote, static_cast<std::size_t>(cursor_ - quote));
    sink.member_name(name, quoted, name.data() == decode_buffer().data());
    if (!skip_white_space()) return fail_here("EOF while parsing an object");
    if (*cursor_ != ':') return fail_at_next("expected `:`");
    ++cursor_;
    return true;
}

template <class Sink>
bool Reader::after_comma_in_object(Sink& sink) {
    if (*cursor_ == '"') return read_member_name(sink);
    return fail_at_next(*cursor_ == '}' ? "trailing comma" : "key must be a string");
}

bool Reader::read_canonical(std::string& out, int open) {
    CanonicalSink sink(out, std::string_view(begin_, static_cast<std::size_t>(end_ - begin_)));
    return read_value(sink, open);
}

bool Reader::skip_value(int open) {
    DiscardingSink sink;
    return read_value(sink, open);
}

std::optional<ParseError> canonicalize(std::string_view text, std::string& out) {
    const std::size_t original_size = out.size();
    reserve_more(out, text.size());
    Reader reader(text);
    if (reader.read_canonical(out, 0) && reader.finish()) return std::nullopt;
    out.resize(original_size);
    return reader.error();
}

std::optional<ParseError> validate(std::string_view text) {
    Reader reader(text);
    if (reader.skip_value(0) && reader.finish()) return std::nullopt;
    return reader.error();
}

}  // namespace orvel::json
