// Broadcast channels and the topic hub.
#include <string>

#include "channel/broadcast.hpp"
#include "channel/hub.hpp"
#include "check.hpp"
#include "error.hpp"
#include "fault.hpp"

using namespace orvel;

namespace {

template <class Operation>
bool faults(Operation operation) {
    try {
        operation();
    } catch (const InternalFault&) {
        return true;
    }
    return false;
}

// A new channel's first receiving end is released at once: every send reaches no one.
void ends_are_counted() {
    BroadcastSender sender = BroadcastSender::open(ChannelHub::topic_capacity);
    CHECK_EQ(sender.capacity(), 1024u);
    CHECK_EQ(sender.sender_count(), 1u);
    CHECK_EQ(sender.receiver_count(), 0u);
    {
        BroadcastSender extra = sender;
        CHECK_EQ(sender.sender_count(), 2u);
        CHECK_EQ(extra.send(), 0u);
    }
    CHECK_EQ(sender.sender_count(), 1u);
    CHECK_EQ(sender.send(), 0u);
}

void poisoned_hub() {
    ChannelHub hub;
    CHECK(hub.publish("a", "1").ok());
    fault::arm("channels.publish");
    CHECK(faults([&] { (void)hub.publish("b", "1"); }));
    CHECK_EQ(hub.topic_count(), 0u);
    for (const char* topic : {"a", "b", "c"}) {
        auto result = hub.publish(topic, "{}");
        CHECK(result.error().kind() == ErrorKind::Channel);
        CHECK_EQ(result.error().message(), std::string("Channel error: channel lock poisoned"));
    }
    // The payload is read before the lock is looked at.
    CHECK(hub.publish("a", "").error().kind() == ErrorKind::Serialization);
}

}  // namespace

int main() {
    ends_are_counted();
    poisoned_hub();
    return check::report("channels");
}
