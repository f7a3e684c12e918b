// Receives a document from the reader token by token and writes its canonical text:
// compact, objects sorted by member name in byte order with a later duplicate winning.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "json/member_order.hpp"
#include "json/numbers.hpp"
#include "json/output.hpp"
#include "json/reader.hpp"
#include "json/reordering.hpp"
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
        std::size_t noted_mark;    // objects noted for reordering when it opened
    };
    struct Member {
        std::size_t begin;        // output offset of the member's name
        std::uint64_t prefix;     // the name's first eight bytes, compared as one number
        std::size_t name_offset;  // into the input, or into `unescaped_names`
        std::size_t name_size;
        bool name_unescaped;  // the name had escapes; its decoded bytes are in `unescaped_names`
        std::size_t noted_mark;  // objects noted for reordering when the member started
    };

    std::vector<OpenObject> objects;
    std::vector<Member> members;
    std::string unescaped_names;
    std::vector<MemberName> names;
    MemberOrder member_order;
    std::vector<Reordering::Range> ordered_members;
    Reordering reordering;
    Output output;     // the text as written
    Output assembled;  // the same with every object in order, when some was not

    // The workspace of the calling thread, emptied.
    static CanonicalWorkspace& acquire();
};

// Writes into the workspace, which holds the text until the thread reads again.
class CanonicalSink {
public:
    explicit CanonicalSink(std::string_view input)
        : work_(CanonicalWorkspace::acquire()), out_(work_.output), input_(input.data()),
          input_end_(input.data() + input.size()) {}

    // The canonical text, once the whole value is read.
    std::string_view text();

    void open_array() { out_.put('['); }
    void close_array() { out_.put(']'); }
    void separator() { out_.put(','); }
    void open_object() {
        out_.put('{');
        CanonicalWorkspace::OpenObject& object = work_.objects.emplace_back();
        object.body_begin = out_.size();
        object.first_member = work_.members.size();
        object.names_mark = work_.unescaped_names.size();
        object.shape = 0;
        object.in_order = true;
        object.noted_mark = work_.reordering.noted();
    }
    void member_name(const String& name);
    void close_object();
    // A string as written is canonical already when it has no escapes.
    void string(const String& value) {
        if (value.escaped) {
            out_.advance_to(write_string(out_.room(string_room(value.text.size())), value.text));
        } else {
            out_.append(value.quoted, input_end_);
        }
    }
    void literal(std::string_view word) { out_.append(word); }
    void number(const Number& number) {
        if (number.kind == NumberKind::floating) {
            out_.advance_to(write_float(out_.room(double_room), number.negative, number.shortest()));
        } else {
            out_.append(number.literal, input_end_);
        }
    }

private:
    std::string_view name_of(const CanonicalWorkspace::Member& member) const;
    void put_in_order(const CanonicalWorkspace::OpenObject& object);

    CanonicalWorkspace& work_;
    Output& out_;
    const char* input_;
    const char* input_end_;
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
