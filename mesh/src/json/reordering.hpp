// Objects whose members were not written in name order are put in order once, when the
// whole text is there: each such object's members are noted as ranges of the text as
// written, and one pass copies the text with those ranges in order. Moving them in place
// as each object closed would move a nested object again with every object around it.
//
// The noted objects are kept by position in the text: an object closes after everything
// nested in it, so it goes in just before the noted objects nested in it, which are last.
// Ranges find the objects nested in them by offsets from their own object, which later
// insertions (of objects around both) do not change.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "json/output.hpp"

namespace orvel::json {

class Reordering {
public:
    // A range of the text as written, and the noted objects that start in it: `nested`
    // of them, from `nested_from` places after its own object.
    struct Range {
        std::size_t begin;
        std::size_t end;
        std::size_t nested_from;
        std::size_t nested;
    };

    void clear() {
        objects_.clear();
        ranges_.clear();
    }
    bool empty() const { return objects_.empty(); }
    // Objects noted so far: taken when an object or a member starts, the difference at
    // its end counts the objects noted inside it.
    std::size_t noted() const { return objects_.size(); }

    // The object whose body (between its braces) is `body`, in which `nested` objects
    // were noted, is to be written with these members (each without the comma after it),
    // in this order, separated by commas.
    void add(Range body, std::size_t nested, std::span<const Range> members);

    // Appends `written` to `out` with every object noted here in order.
    void assemble(std::string_view written, Output& out);

private:
    struct Object {
        std::size_t body_begin;
        std::size_t body_end;
        std::size_t nested;  // noted objects inside it, which follow it
        std::size_t first_range;
        std::size_t range_count;
    };

    void copy(std::size_t begin, std::size_t end, std::size_t first, std::size_t count);

    std::vector<Object> objects_;
    std::vector<Range> ranges_;
    // During assemble():
    std::string_view written_;
    Output* out_ = nullptr;
};

}  // namespace orvel::json
