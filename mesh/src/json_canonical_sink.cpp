#include "json_canonical_sink.hpp"

#include <algorithm>

namespace orvel::json {
namespace {

// The first eight bytes big-endian, zero-padded: prefixes that differ order their names.
std::uint64_t name_prefix(std::string_view name) {
    std::uint64_t prefix = 0;
    const std::size_t size = name.size() < 8 ? name.size() : 8;
    for (std::size_t i = 0; i < size; ++i) prefix |= std::uint64_t{static_cast<unsigned char>(name[i])} << (56 - 8 * i);
    return prefix;
}

bool name_less(std::uint64_t left_prefix, std::string_view left, std::uint64_t right_prefix, std::string_view right) {
    return left_prefix != right_prefix ? left_prefix < right_prefix : left < right;
}

}  // namespace

CanonicalWorkspace& CanonicalWorkspace::acquire() {
    thread_local CanonicalWorkspace workspace;
    workspace.objects.clear();
    workspace.members.clear();
    workspace.unescaped_names.clear();
    return workspace;
}

std::string_view CanonicalSink::name_of(const CanonicalWorkspace::Member& member) const {
    const char* base = member.name_unescaped ? work_.unescaped_names.data() : input_;
    return std::string_view(base + member.name_offset, member.name_size);
}

void CanonicalSink::member_name(std::string_view name, std::string_view quoted, bool escaped) {
    CanonicalWorkspace::Member member{out_.size(), name_prefix(name), 0, static_cast<std::uint32_t>(name.size()),
                                      escaped};
    if (escaped) {
        member.name_offset = work_.unescaped_names.size();
        work_.unescaped_names += name;
        append_string(out_, name);
    } else {
        member.name_offset = static_cast<std::size_t>(name.data() - input_);
        out_ += quoted;
    }
    out_ += ':';
    CanonicalWorkspace::OpenObject& object = work_.objects.back();
    if (object.in_order && work_.members.size() > object.first_member) {
        const CanonicalWorkspace::Member& previous = work_.members.back();
        object.in_order = name_less(previous.prefix, name_of(previous), member.prefix, name);
    }
    work_.members.push_back(member);
}

void CanonicalSink::close_object() {
    const CanonicalWorkspace::OpenObject object = work_.objects.back();
    work_.objects.pop_back();
    if (!object.in_order) sort_members(object);
    work_.members.resize(object.first_member);
    work_.unescaped_names.resize(object.names_mark);
    out_ += '}';
}

// Rewrites the object's members (already canonical text) in name order, keeping only
// the last of equal names.
void CanonicalSink::sort_members(const CanonicalWorkspace::OpenObject& object) {
    const std::size_t count = work_.members.size() - object.first_member;
    const CanonicalWorkspace::Member* members = work_.members.data() + object.first_member;
    auto& order = work_.order;
    order.clear();
    for (std::uint32_t i = 0; i < count; ++i) order.push_back({members[i].prefix, name_of(members[i]), i});
    std::sort(order.begin(), order.end(), [](const auto& left, const auto& right) {
        if (name_less(left.prefix, left.name, right.prefix, right.name)) return true;
        if (name_less(right.prefix, right.name, left.prefix, left.name)) return false;
        return left.index < right.index;
    });

    std::string& text = work_.members_text;
    text.assign(out_.data() + object.body_begin, out_.size() - object.body_begin);
    out_.resize(object.body_begin);
    const auto end_of = [&](std::size_t i) {
        return i + 1 < count ? members[i + 1].begin - 1 - object.body_begin : text.size();
    };
    bool first = true;
    for (std::size_t k = 0; k < count; ++k) {
        if (k + 1 < count && order[k + 1].prefix == order[k].prefix && order[k + 1].name == order[k].name) continue;
        const std::size_t i = order[k].index;
        const std::size_t begin = members[i].begin - object.body_begin;
        if (!first) out_ += ',';
        first = false;
        out_.append(text.data() + begin, end_of(i) - begin);
    }
}

}  // namespace orvel::json
