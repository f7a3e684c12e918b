// A topic's bounded broadcast channel, as much of one as the mesh uses. It counts its
// sending and receiving ends and is sized for `capacity` messages. Nothing in the mesh
// receives: the receiving end a channel is opened with is released at once and no other
// is ever made, so a send reaches no one and the channel keeps no message.
#pragma once

#include <cstdint>
#include <utility>

namespace orvel {

// One sending end. Each holds the channel; the last one released frees it.
class BroadcastSender {
public:
    // A new channel for `capacity` messages. Opening it yields a first receiving end
    // too, released at once, so the channel starts with no receiver.
    static BroadcastSender open(std::uint32_t capacity);

    BroadcastSender(const BroadcastSender& other) noexcept;
    BroadcastSender(BroadcastSender&& other) noexcept : channel_(std::exchange(other.channel_, nullptr)) {}
    BroadcastSender& operator=(const BroadcastSender&) = delete;
    BroadcastSender& operator=(BroadcastSender&&) = delete;
    ~BroadcastSender();

    // Sends one message and returns the receivers it reached: every receiving end there is.
    std::uint64_t send() const { return receiver_count(); }

    std::uint32_t sender_count() const;
    std::uint32_t receiver_count() const;
    std::uint32_t capacity() const;

private:
    struct Channel;
    explicit BroadcastSender(Channel* channel) : channel_(channel) {}

    Channel* channel_;
};

}  // namespace orvel
