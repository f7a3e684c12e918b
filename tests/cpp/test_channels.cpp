// Broadcast channels and the topic hub.
#include <cstdint>
#include <string>

#include "channel/broadcast.hpp"
#include "channel/hub.hpp"
#include "check.hpp"
#include "error.hpp"
#include "fault.hpp"

using namespace orvel;

namespace {

ChannelMessage message(const std::string& topic, const char* payload) {
    return ChannelMessage{topic, SharedText(payload), Timestamp{1, 2}};
}

std::string received(BroadcastReceiver& receiver) {
    auto next = receiver.try_receive();
    return next ? next->topic + "=" + std::string(next->payload.view()) : "<none>";
}

template <class Operation>
bool faults(Operation operation) {
    try {
        operation();
    } catch (const InternalFault&) {
        return true;
    }
    return false;
}

void ends_are_counted() {
    auto [sender, first_receiver] = open_broadcast(4);
    CHECK_EQ(sender.sender_count(), 1u);
    CHECK_EQ(sender.receiver_count(), 1u);
    {
        BroadcastSender extra = sender;
        CHECK_EQ(sender.sender_count(), 2u);
        BroadcastReceiver second = extra.subscribe();
        CHECK_EQ(sender.receiver_count(), 2u);
    }
    CHECK_EQ(sender.sender_count(), 1u);
    CHECK_EQ(sender.receiver_count(), 1u);
}

void send_without_receivers_is_refused() {
    auto opened = open_broadcast(4);
    BroadcastSender sender = std::move(opened.first);
    { BroadcastReceiver dropped = std::move(opened.second); }
    CHECK_EQ(sender.receiver_count(), 0u);
    bool built = false;
    CHECK_EQ(sender.send([&] {
        built = true;
        return message("t", "1");
    }), 0u);
    CHECK(!built);
    // A receiver that arrives later sees nothing of the refused message.
    BroadcastReceiver late = sender.subscribe();
    CHECK_EQ(received(late), std::string("<none>"));
}

void every_receiver_is_offered_every_message() {
    auto [sender, first] = open_broadcast(4);
    CHECK_EQ(sender.send([] { return message("t", "1"); }), 1u);
    BroadcastReceiver second = sender.subscribe();
    CHECK_EQ(sender.send([] { return message("t", "2"); }), 2u);
    CHECK_EQ(received(first), std::string("t=1"));
    CHECK_EQ(received(first), std::string("t=2"));
    CHECK_EQ(received(first), std::string("<none>"));
    CHECK_EQ(received(second), std::string("t=2"));
    CHECK_EQ(received(second), std::string("<none>"));
}

// The ring keeps the last `capacity` messages; the fifth of four overwrites the first.
void ring_overwrites_the_oldest() {
    auto [sender, receiver] = open_broadcast(4);
    for (const char* payload : {"1", "2", "3", "4", "5", "6"}) {
        CHECK_EQ(sender.send([&] { return message("t", payload); }), 1u);
    }
    for (const char* expected : {"t=3", "t=4", "t=5", "t=6", "<none>"}) CHECK_EQ(received(receiver), std::string(expected));
}

void receiver_outlives_its_senders() {
    auto opened = open_broadcast(2);
    BroadcastReceiver receiver = std::move(opened.second);
    CHECK_EQ(opened.first.send([] { return message("t", "kept"); }), 1u);
    { BroadcastSender last = std::move(opened.first); }
    CHECK_EQ(received(receiver), std::string("t=kept"));
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
    send_without_receivers_is_refused();
    every_receiver_is_offered_every_message();
    ring_overwrites_the_oldest();
    receiver_outlives_its_senders();
    poisoned_hub();
    return check::report("channels");
}
