// What one publish sends on a topic's channel.
#pragma once

#include <string>

#include "clock.hpp"
#include "shared_text.hpp"

namespace orvel {

struct ChannelMessage {
    std::string topic;
    SharedText payload;  // canonical JSON text
    Timestamp timestamp;
};

}  // namespace orvel
