#include "json/reordering.hpp"

#include <algorithm>

namespace orvel::json {

void Reordering::add(Range body, std::span<const Range> members) {
    objects_.push_back({body, members_.size(), members.size()});
    members_.insert(members_.end(), members.begin(), members.end());
}

void Reordering::assemble(std::string_view written, Output& out) {
    // Objects close innermost first; copying wants them by position.
    std::sort(objects_.begin(), objects_.end(),
              [](const Object& left, const Object& right) { return left.body.begin < right.body.begin; });
    written_ = written;
    out_ = &out;
    copy(0, written.size(), 0, objects_.size());
}

// Copies written[begin, end), in which only the objects objects_[first, last) may start,
// putting each outermost object found in it in order. Recursion follows the nesting of
// objects, which the reader bounds.
void Reordering::copy(std::size_t begin, std::size_t end, std::size_t first, std::size_t last) {
    const auto by_begin = [](const Object& object, std::size_t position) { return object.body.begin < position; };
    const auto stop = objects_.begin() + static_cast<std::ptrdiff_t>(last);
    auto object = first == last ? stop
                                : std::lower_bound(objects_.begin() + static_cast<std::ptrdiff_t>(first), stop, begin, by_begin);
    std::size_t at = begin;
    while (object != stop && object->body.begin < end) {
        out_->append(written_.substr(at, object->body.begin - at), written_.data() + written_.size());
        // The objects nested in this one come right after it.
        const auto inner = static_cast<std::size_t>(object - objects_.begin()) + 1;
        const auto after = std::lower_bound(object + 1, stop, object->body.end, by_begin);
        const auto outer = static_cast<std::size_t>(after - objects_.begin());
        for (std::size_t k = 0; k < object->member_count; ++k) {
            if (k > 0) out_->put(',');
            const Range member = members_[object->first_member + k];
            copy(member.begin, member.end, inner, outer);
        }
        at = object->body.end;
        object = after;
    }
    out_->append(written_.substr(at, end - at), written_.data() + written_.size());
}

}  // namespace orvel::json
