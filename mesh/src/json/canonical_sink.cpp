#include "json/canonical_sink.hpp"

namespace orvel::json {

CanonicalWorkspace& CanonicalWorkspace::acquire() {
    thread_local CanonicalWorkspace workspace;
    workspace.objects.clear();
    workspace.members.clear();
    workspace.unescaped_names.clear();
    workspace.reordering.clear();
    workspace.output.reset();
    workspace.assembled.reset();
    return workspace;
}

std::string_view CanonicalSink::name_of(const CanonicalWorkspace::Member& member) const {
    const char* base = member.name_unescaped ? work_.unescaped_names.data() : input_;
    return std::string_view(base + member.name_offset, member.name_size);
}

// Fields are written in place: a member assembled elsewhere and copied in would be read
// back before its narrow stores complete.
void CanonicalSink::member_name(const String& name) {
    const std::size_t begin = out_.size();
    if (name.escaped) {
        string(name);
        out_.put(':');
    } else {
        out_.append(name.quoted, input_end_, ':');
    }
    CanonicalWorkspace::Member& member = work_.members.emplace_back();
    member.begin = begin;
    member.prefix = name.escaped ? name_prefix(name.text) : name_prefix(name.text, input_end_);
    member.name_size = name.text.size();
    member.name_unescaped = name.escaped;
    member.noted_mark = work_.reordering.noted();
    if (name.escaped) {
        member.name_offset = work_.unescaped_names.size();
        work_.unescaped_names += name.text;
    } else {
        member.name_offset = static_cast<std::size_t>(name.text.data() - input_);
    }
    CanonicalWorkspace::OpenObject& object = work_.objects.back();
    object.shape = (object.shape ^ member.prefix ^ name.text.size()) * 0x9E3779B97F4A7C15ULL;
    if (object.in_order && work_.members.size() > object.first_member + 1) {
        const CanonicalWorkspace::Member& previous = work_.members[work_.members.size() - 2];
        object.in_order = name_less({previous.prefix, name_of(previous)}, {member.prefix, name.text});
    }
}

void CanonicalSink::close_object() {
    const CanonicalWorkspace::OpenObject object = work_.objects.back();
    work_.objects.pop_back();
    if (!object.in_order) put_in_order(object);
    work_.members.resize(object.first_member);
    work_.unescaped_names.resize(object.names_mark);
    out_.put('}');
}

std::string_view CanonicalSink::text() {
    if (work_.reordering.empty()) return out_.view();
    work_.reordering.assemble(out_.view(), work_.assembled);
    work_.reordering.clear();
    return work_.assembled.view();
}

// Notes the object's members (already canonical text) in name order, keeping only the
// last of equal names.
void CanonicalSink::put_in_order(const CanonicalWorkspace::OpenObject& object) {
    const std::size_t count = work_.members.size() - object.first_member;
    const CanonicalWorkspace::Member* members = work_.members.data() + object.first_member;
    // Field by field: a whole record built aside and copied in would be read back before
    // its narrow stores complete, a stall per member.
    work_.names.resize(count);
    for (std::size_t i = 0; i < count; ++i) {
        work_.names[i].prefix = members[i].prefix;
        work_.names[i].text = name_of(members[i]);
    }
    const std::span<const std::size_t> order = work_.member_order.order(work_.names, object.shape);

    const std::size_t body_end = out_.size();
    const std::size_t noted = work_.reordering.noted();
    std::vector<Reordering::Range>& ranges = work_.ordered_members;
    ranges.clear();
    for (const std::size_t i : order) {
        const bool last = i + 1 == count;
        const std::size_t member_noted = last ? noted : members[i + 1].noted_mark;
        const std::size_t begin = members[i].begin;
        const std::size_t end = last ? body_end : members[i + 1].begin - 1;
        const std::size_t nested = member_noted - members[i].noted_mark;
        // Members that stay next to each other are copied as one range, comma included.
        if (!ranges.empty() && ranges.back().end + 1 == begin) {
            ranges.back().end = end;
            ranges.back().nested += nested;
        } else {
            Reordering::Range& range = ranges.emplace_back();
            range.begin = begin;
            range.end = end;
            range.nested_from = members[i].noted_mark - object.noted_mark;
            range.nested = nested;
        }
    }
    work_.reordering.add({object.body_begin, body_end, 0, 0}, noted - object.noted_mark, ranges);
}

}  // namespace orvel::json
