#include "channel/hub.hpp"

#include <optional>
#include <string>

#include "clock.hpp"
#include "fault.hpp"
#include "json/json.hpp"

namespace orvel {

ChannelHub::ChannelHub() = default;
ChannelHub::~ChannelHub() = default;

Result<std::uint64_t> ChannelHub::publish(HashedText topic, std::string_view payload_json) {
    if (auto error = json::validate(payload_json)) return MeshError::serialization(error->text());

    std::optional<BroadcastSender> sender;
    {
        auto table = table_.write();
        if (!table) return MeshError::channel("channel lock poisoned");
        fault::point("channels.publish");
        auto& topics = **table;
        auto found = topics.find(topic);
        if (found == topics.end()) {
            auto entry = detached_entry<BroadcastSender>(topic, BroadcastSender::open(topic_capacity));
            reserve_one_more(topics);
            table->begin_change();
            found = topics.insert(std::move(entry)).position;
        }
        sender.emplace(found->second);
    }

    // A publish is stamped with its moment, read once the lock is given back. The stamp
    // and the payload are for the topic's receivers, and a topic has none: nothing more
    // of the message is made.
    now();
    return sender->send();
}

std::uint64_t ChannelHub::topic_count() {
    auto table = table_.write();
    return table ? (*table)->size() : 0;
}

}  // namespace orvel
