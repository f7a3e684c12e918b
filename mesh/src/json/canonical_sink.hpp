// Receives a document from the reader token by token and writes its canonical text:
// compact, objects sorted by member name in byte order with a later duplicate winning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/member_order.hpp"
#include "json/numbers.hpp"
#include "json/reader.hpp"
#include "json/writer.hpp"

namespace orvel::json {

// Buffers reused across documents on one thread, so reading allocates nothing once warm.
struct CanonicalWorkspace {
    struct OpenObject {
        std::size_t body_begin;    // output offset just after '{'
        std::size_t first_member;  // index into `members`
        std::size_t names_mark;    // size of `unescaped_names` when the object opened
        std::uint64_t shape;       // summary of the names so far, in order
        bool in_order;             // every name so far strictly greater than the one before
    };
    struct Member {
        std::size_t begin;        // output offset of the member's name
        std::uint64_t prefix;     // the name's first eight bytes, compared as one number
        std::size_t name_offset;  // into the input, or into `unescaped_names`
        std::size_t name_size;
        bool name_unescaped;  // the name had escapes; its decoded bytes are in `unescaped_names`
    };

    std::vector<OpenObject> objects;
    std::vector<Member> members;
    std::string unescaped_names;
    std::vector<MemberName> names;
    MemberOrder member_order;
    std::string members_text;

    // The workspace of the calling thread, emptied.
    static CanonicalWorkspace& acquire();
};

class CanonicalSink {
public:
    CanonicalSink(std::string& out, std::string_view input)
        : out_(out), input_(input.data()), work_(CanonicalWorkspace::acquire()) {}

    void open_array() { out_ += '['; }
    void close_array() { out_ += ']'; }
    void separator() { out_ += ','; }
    void open_object() {
        out_ += '{';
        CanonicalWorkspace::OpenObject& object = work_.objects.emplace_back();
        object.body_begin = out_.size();
        object.first_member = work_.members.size();
        object.names_mark = work_.unescaped_names.size();
        object.shape = 0;
        object.in_order = true;
    }
    void member_name(const String& name);
    void close_object();
    // A string as written is canonical already when it has no escapes.
    void string(const String& value) {
        if (value.escaped) {
            append_string(out_, value.text);
        } else {
            out_ += value.quoted;
        }
    }
    void literal(std::string_view word) { out_ += word; }
    void number(const Number& number) {
        if (number.kind == NumberKind::floating) {
            append_double(out_, number.value);
        } else {
            out_ += number.literal;
        }
    }

private:
    std::string_view name_of(const CanonicalWorkspace::Member& member) const;
    void sort_members(const CanonicalWorkspace::OpenObject& object);

    std::string& out_;
    const char* input_;
    CanonicalWorkspace& work_;
};

// Accepts everything and keeps nothing: reading only checks the text.
struct DiscardingSink {
    void open_array() {}
    void close_array() {}
    void separator() {}
    void open_object() {}
    void member_name(const String&) {}
    void close_object() {}
    void string(const String&) {}
    void literal(std::string_view) {}
    void number(const Number&) {}
};

}  // namespace orvel::json
