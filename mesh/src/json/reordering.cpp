#include "json/reordering.hpp"

namespace orvel::json {

void Reordering::add(Range body, std::size_t nested, std::span<const Range> members) {
    const Object object{body.begin, body.end, nested, ranges_.size(), members.size()};
    objects_.insert(objects_.end() - static_cast<std::ptrdiff_t>(nested), object);
    ranges_.insert(ranges_.end(), members.begin(), members.end());
}

void Reordering::assemble(std::string_view written, Output& out) {
    written_ = written;
    out_ = &out;
    copy(0, written.size(), 0, objects_.size());
}

// Copies written[begin, end), in which the noted objects objects_[first, first + count)
// start, putting each outermost one in order. Recursion follows the nesting of objects,
// which the reader bounds.
void Reordering::copy(std::size_t begin, std::size_t end, std::size_t first, std::size_t count) {
    const char* const readable_end = written_.data() + written_.size();
    std::size_t at = begin;
    for (std::size_t index = first; index < first + count; index += 1 + objects_[index].nested) {
        const Object& object = objects_[index];
        out_->append(written_.substr(at, object.body_begin - at), readable_end);
        for (std::size_t k = 0; k < object.range_count; ++k) {
            if (k > 0) out_->put(',');
            const Range& member = ranges_[object.first_range + k];
            if (member.nested == 0) {
                out_->append(written_.substr(member.begin, member.end - member.begin), readable_end);
            } else {
                copy(member.begin, member.end, index + 1 + member.nested_from, member.nested);
            }
        }
        at = object.body_end;
    }
    out_->append(written_.substr(at, end - at), readable_end);
}

}  // namespace orvel::json
