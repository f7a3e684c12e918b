#include "channel/broadcast.hpp"

namespace orvel {

BroadcastSender::BroadcastSender(const BroadcastSender& other) noexcept : core_(other.core_) {
    core_->senders.fetch_add(1, std::memory_order_relaxed);
    core_->retain();
}

BroadcastSender::~BroadcastSender() {
    if (!core_) return;
    core_->senders.fetch_sub(1, std::memory_order_relaxed);
    core_->release();
}

void BroadcastSender::store(ChannelMessage message) const {
    broadcast_detail::Core& core = *core_;
    if (!core.ring) core.ring = std::make_unique<ChannelMessage[]>(core.capacity);
    core.ring[core.sent % core.capacity] = std::move(message);
    ++core.sent;
}

BroadcastReceiver BroadcastSender::subscribe() const {
    std::lock_guard<RwLock> hold(core_->guard);
    ++core_->receivers;
    core_->retain();
    return BroadcastReceiver(core_, core_->sent);
}

std::uint32_t BroadcastSender::sender_count() const { return core_->senders.load(std::memory_order_relaxed); }

std::uint32_t BroadcastSender::receiver_count() const {
    std::lock_guard<RwLock> hold(core_->guard);
    return core_->receivers;
}

BroadcastReceiver::~BroadcastReceiver() {
    if (!core_) return;
    {
        std::lock_guard<RwLock> hold(core_->guard);
        --core_->receivers;
    }
    core_->release();
}

std::optional<ChannelMessage> BroadcastReceiver::try_receive() {
    std::lock_guard<RwLock> hold(core_->guard);
    broadcast_detail::Core& core = *core_;
    if (cursor_ == core.sent) return std::nullopt;
    if (core.sent - cursor_ > core.capacity) cursor_ = core.sent - core.capacity;
    ChannelMessage message = core.ring[cursor_ % core.capacity];
    ++cursor_;
    return message;
}

std::pair<BroadcastSender, BroadcastReceiver> open_broadcast(std::uint32_t capacity) {
    auto* core = new broadcast_detail::Core(capacity);
    return {BroadcastSender(core), BroadcastReceiver(core, 0)};
}

}  // namespace orvel
