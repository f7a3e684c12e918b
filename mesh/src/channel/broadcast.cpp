#include "channel/broadcast.hpp"

#include <atomic>
#include <mutex>

#include "lock.hpp"

namespace orvel {

struct BroadcastSender::Channel {
    explicit Channel(std::uint32_t message_capacity) : capacity(message_capacity) {}

    std::atomic<std::uint32_t> senders{1};
    const std::uint32_t capacity;
    // Guards the count of receiving ends.
    RwLock guard;
    std::uint32_t receivers = 1;
};

BroadcastSender BroadcastSender::open(std::uint32_t capacity) {
    BroadcastSender sender(new Channel(capacity));
    std::lock_guard<RwLock> hold(sender.channel_->guard);
    --sender.channel_->receivers;
    return sender;
}

BroadcastSender::BroadcastSender(const BroadcastSender& other) noexcept : channel_(other.channel_) {
    channel_->senders.fetch_add(1, std::memory_order_relaxed);
}

BroadcastSender::~BroadcastSender() {
    if (channel_ && channel_->senders.fetch_sub(1, std::memory_order_acq_rel) == 1) delete channel_;
}

std::uint32_t BroadcastSender::sender_count() const { return channel_->senders.load(std::memory_order_relaxed); }

std::uint32_t BroadcastSender::receiver_count() const {
    std::lock_guard<RwLock> hold(channel_->guard);
    return channel_->receivers;
}

std::uint32_t BroadcastSender::capacity() const { return channel_->capacity; }

}  // namespace orvel
