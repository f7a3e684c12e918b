// A bounded broadcast channel: every receiving end is offered every message, and the
// ring keeps the last `capacity` of them. Each end is a handle on the shared core; the
// core goes with the last end of either kind.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "channel/message.hpp"
#include "lock.hpp"

namespace orvel {

class BroadcastSender;
class BroadcastReceiver;

namespace broadcast_detail {

struct Core {
    explicit Core(std::uint32_t ring_capacity) : capacity(ring_capacity) {}

    // Every end holds one handle; the last one released frees the core.
    void retain() { handles.fetch_add(1, std::memory_order_relaxed); }
    void release() {
        if (handles.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    std::atomic<std::uint32_t> handles{2};
    std::atomic<std::uint32_t> senders{1};
    // Guards everything below.
    RwLock guard;
    std::uint32_t receivers = 1;
    const std::uint32_t capacity;
    std::uint64_t sent = 0;
    // Reserved by the first message that someone will receive, so a channel nobody
    // listens to costs only this object.
    std::unique_ptr<ChannelMessage[]> ring;
};

}  // namespace broadcast_detail

class BroadcastSender {
public:
    BroadcastSender(const BroadcastSender& other) noexcept;
    BroadcastSender(BroadcastSender&& other) noexcept : core_(std::exchange(other.core_, nullptr)) {}
    BroadcastSender& operator=(const BroadcastSender&) = delete;
    BroadcastSender& operator=(BroadcastSender&&) = delete;
    ~BroadcastSender();

    // Offers one message to every receiving end and returns how many there were. With
    // none the send is refused: 0, and `make_message` is never called, since nobody
    // could see what it would build.
    template <class MakeMessage>
    std::uint64_t send(MakeMessage&& make_message) const {
        std::lock_guard<RwLock> hold(core_->guard);
        if (core_->receivers == 0) return 0;
        store(make_message());
        return core_->receivers;
    }

    // A new receiving end that sees the messages sent from now on.
    BroadcastReceiver subscribe() const;

    std::uint32_t sender_count() const;
    std::uint32_t receiver_count() const;

private:
    friend std::pair<BroadcastSender, BroadcastReceiver> open_broadcast(std::uint32_t capacity);
    explicit BroadcastSender(broadcast_detail::Core* core) : core_(core) {}
    // Under the guard.
    void store(ChannelMessage message) const;

    broadcast_detail::Core* core_;
};

class BroadcastReceiver {
public:
    BroadcastReceiver(BroadcastReceiver&& other) noexcept
        : core_(std::exchange(other.core_, nullptr)), cursor_(other.cursor_) {}
    BroadcastReceiver(const BroadcastReceiver&) = delete;
    BroadcastReceiver& operator=(const BroadcastReceiver&) = delete;
    BroadcastReceiver& operator=(BroadcastReceiver&&) = delete;
    ~BroadcastReceiver();

    // The next message not yet taken, or nothing when it has taken them all. One that
    // fell behind by more than the capacity resumes at the oldest message still held.
    std::optional<ChannelMessage> try_receive();

private:
    friend class BroadcastSender;
    friend std::pair<BroadcastSender, BroadcastReceiver> open_broadcast(std::uint32_t capacity);
    BroadcastReceiver(broadcast_detail::Core* core, std::uint64_t cursor) : core_(core), cursor_(cursor) {}

    broadcast_detail::Core* core_;
    std::uint64_t cursor_;
};

// A channel holding up to `capacity` messages, with its first sending and receiving ends.
std::pair<BroadcastSender, BroadcastReceiver> open_broadcast(std::uint32_t capacity);

}  // namespace orvel
