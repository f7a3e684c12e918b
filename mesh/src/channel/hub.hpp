// Named publish topics, each a bounded broadcast channel created on first publish.
#pragma once

#include <cstdint>
#include <string_view>

#include "channel/broadcast.hpp"
#include "error.hpp"
#include "hash.hpp"
#include "lock.hpp"

namespace orvel {

class ChannelHub {
public:
    // Messages each topic's channel is sized for.
    static constexpr std::uint32_t topic_capacity = 1024;

    ChannelHub();
    ~ChannelHub();
    ChannelHub(const ChannelHub&) = delete;
    ChannelHub& operator=(const ChannelHub&) = delete;

    // Reads the payload before the lock is taken; returns the receivers reached.
    Result<std::uint64_t> publish(HashedText topic, std::string_view payload_json);

    // Never fails; 0 once poisoned.
    std::uint64_t topic_count();

private:
    // The hub's own sending end of each topic keeps the topic's channel open.
    Guarded<KeyedMap<BroadcastSender>> table_;
};

}  // namespace orvel
