// A table behind one lock that remembers being abandoned by a fault.
//
// Every call into the mesh already holds the interpreter lock, so these locks are
// never contended in practice; a single atomic word each keeps them to a couple of
// atomic operations. Waiting spins with a yield, which only matters for C++ callers.
#pragma once

#include <atomic>
#include <exception>
#include <optional>
#include <thread>
#include <utility>

#include "error.hpp"

namespace orvel {

// Reader-writer lock on one word: -1 while written, otherwise the number of readers.
class RwLock {
public:
    void lock_shared() {
        for (;;) {
            int readers = word_.load(std::memory_order_relaxed);
            if (readers >= 0 &&
                word_.compare_exchange_weak(readers, readers + 1, std::memory_order_acquire)) {
                return;
            }
            std::this_thread::yield();
        }
    }
    void unlock_shared() { word_.fetch_sub(1, std::memory_order_release); }
    void lock() {
        for (;;) {
            int idle = 0;
            if (word_.compare_exchange_weak(idle, -1, std::memory_order_acquire)) return;
            std::this_thread::yield();
        }
    }
    void unlock() { word_.store(0, std::memory_order_release); }

private:
    std::atomic<int> word_{0};
};

template <class T>
class Guarded;

// Shared access; an abandoned read never poisons.
template <class T>
class ReadGuard {
public:
    ReadGuard(ReadGuard&& other) noexcept : owner_(std::exchange(other.owner_, nullptr)) {}
    ReadGuard(const ReadGuard&) = delete;
    ReadGuard& operator=(const ReadGuard&) = delete;
    ~ReadGuard() {
        if (owner_) owner_->lock_.unlock_shared();
    }
    const T& operator*() const { return owner_->value_; }
    const T* operator->() const { return &owner_->value_; }

private:
    friend class Guarded<T>;
    explicit ReadGuard(Guarded<T>* owner) : owner_(owner) {}
    Guarded<T>* owner_;
};

// Exclusive access. A failure that unwinds through it poisons the table when it may leave a
// change half made: any failure once the change has begun (begin_change), and before that
// an internal fault. Running out of memory while a change is still being prepared leaves
// the table as it was, so it does not poison.
template <class T>
class WriteGuard {
public:
    WriteGuard(WriteGuard&& other) noexcept
        : owner_(std::exchange(other.owner_, nullptr)),
          exceptions_at_entry_(other.exceptions_at_entry_),
          faults_at_entry_(other.faults_at_entry_),
          changing_(other.changing_) {}
    WriteGuard(const WriteGuard&) = delete;
    WriteGuard& operator=(const WriteGuard&) = delete;
    ~WriteGuard() {
        if (!owner_) return;
        if (abandoned_midway()) owner_->poisoned_.store(true, std::memory_order_relaxed);
        owner_->lock_.unlock();
    }
    T& operator*() const { return owner_->value_; }
    T* operator->() const { return &owner_->value_; }

    // Everything the change needs is in hand; from here on the table is being changed.
    void begin_change() { changing_ = true; }

private:
    friend class Guarded<T>;
    explicit WriteGuard(Guarded<T>* owner)
        : owner_(owner), exceptions_at_entry_(std::uncaught_exceptions()), faults_at_entry_(InternalFault::live()) {}

    bool abandoned_midway() const {
        if (std::uncaught_exceptions() <= exceptions_at_entry_) return false;
        return changing_ || InternalFault::live() > faults_at_entry_;
    }

    Guarded<T>* owner_;
    int exceptions_at_entry_;
    int faults_at_entry_;
    bool changing_ = false;
};

// A value reachable only through its lock. read() and write() give nothing once the
// lock is poisoned; the flag is never cleared.
template <class T>
class Guarded {
public:
    template <class... Args>
    explicit Guarded(Args&&... args) : value_(std::forward<Args>(args)...) {}

    std::optional<ReadGuard<T>> read() {
        lock_.lock_shared();
        if (poisoned()) {
            lock_.unlock_shared();
            return std::nullopt;
        }
        return ReadGuard<T>(this);
    }
    std::optional<WriteGuard<T>> write() {
        lock_.lock();
        if (poisoned()) {
            lock_.unlock();
            return std::nullopt;
        }
        return WriteGuard<T>(this);
    }
    // What `look` finds in the table under a shared hold, or nullopt when poisoned: learning
    // that a change has nothing to do costs less than the exclusive hold it would take.
    template <class Look>
    std::optional<bool> peek(Look&& look) {
        auto guard = read();
        if (!guard) return std::nullopt;
        return look(**guard);
    }
    bool poisoned() const { return poisoned_.load(std::memory_order_relaxed); }

private:
    friend class ReadGuard<T>;
    friend class WriteGuard<T>;
    RwLock lock_;
    std::atomic<bool> poisoned_{false};
    T value_;
};

}  // namespace orvel
