// Objects whose members were not written in name order are put in order once, when the
// whole text is there: each such object's members are noted as ranges of the text as
// written, and one pass copies the text with those ranges in order. Moving them in place
// as each object closed would move a nested object again with every object around it.
#pragma once

#include <cstddef>
#include <span>
#include <string_view>
#include <vector>

#include "json/output.hpp"

namespace orvel::json {

class Reordering {
public:
    // A range of the text as written.
    struct Range {
        std::size_t begin;
        std::size_t end;
    };

    void clear() {
        objects_.clear();
        members_.clear();
    }
    bool empty() const { return objects_.empty(); }

    // The object whose body (between its braces) is `body` is to be written with these
    // members (each without the comma after it), in this order, separated by commas.
    void add(Range body, std::span<const Range> members);

    // Appends `written` to `out` with every object noted here in order.
    void assemble(std::string_view written, Output& out);

private:
    struct Object {
        Range body;
        std::size_t first_member;
        std::size_t member_count;
    };

    void copy(std::size_t begin, std::size_t end, std::size_t first, std::size_t last);

    std::vector<Object> objects_;
    std::vector<Range> members_;
    // During assemble():
    std::string_view written_;
    Output* out_ = nullptr;
};

}  // namespace orvel::json
