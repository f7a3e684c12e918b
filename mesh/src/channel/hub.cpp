#include "channel/hub.hpp"

#include <optional>
#include <string>

#include "clock.hpp"
#include "fault.hpp"
#include "json.hpp"

namespace orvel {

ChannelHub::ChannelHub() = default;
ChannelHub::~ChannelHub() = default;

Result<std::uint64_t> ChannelHub::publish(std::string_view topic, std::string_view payload_json) {
    if (auto error = json::validate(payload_json)) return MeshError::serialization(error->text());

    std::optional<BroadcastSender> sender;
    {
        auto table = table_.write();
        if (!table) return MeshError::channel("channel lock poisoned");
        fault::point("channels.publish");
        auto& topics = **table;
        auto found = topics.find(topic);
        if (found == topics.end()) {
            // The channel's first receiving end goes at once: a new topic has no receiver.
            auto entry = detached_entry<BroadcastSender>(std::string(topic), open_broadcast(topic_capacity).first);
            reserve_one_more(topics);
            table->begin_change();
            found = topics.insert(std::move(entry)).position;
        }
        sender.emplace(found->second);
    }

    const Timestamp published_at = now();
    return sender->send([&] {
        std::string payload;
        if (auto error = json::canonicalize(payload_json, payload)) {
            throw InternalFault("validated payload failed to read: " + error->text());
        }
        return ChannelMessage{std::string(topic), SharedText(payload), published_at};
    });
}

std::uint64_t ChannelHub::topic_count() {
    auto table = table_.write();
    return table ? (*table)->size() : 0;
}

}  // namespace orvel
