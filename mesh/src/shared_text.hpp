// Immutable text shared by reference counting: a stored JSON value handed out without
// a deep copy. Nobody can change it, so sharing it is a copy for every purpose.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>

namespace orvel {

class SharedText {
public:
    SharedText() = default;
    explicit SharedText(std::string_view text) : block_(make_block(text)) {}
    SharedText(const SharedText& other) noexcept : block_(other.block_) { retain(); }
    SharedText(SharedText&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    SharedText& operator=(SharedText other) noexcept {
        std::swap(block_, other.block_);
        return *this;
    }
    ~SharedText() { release(); }

    std::string_view view() const {
        return block_ ? std::string_view(block_->bytes, block_->size) : std::string_view();
    }
    bool empty() const { return view().empty(); }

private:
    struct Block {
        std::atomic<std::size_t> references;
        std::size_t size;
        char bytes[1];
    };

    static Block* make_block(std::string_view text) {
        void* memory = std::malloc(offsetof(Block, bytes) + text.size() + 1);
        if (!memory) throw std::bad_alloc();
        auto* block = static_cast<Block*>(memory);
        new (&block->references) std::atomic<std::size_t>(1);
        block->size = text.size();
        std::memcpy(block->bytes, text.data(), text.size());
        block->bytes[text.size()] = '\0';
        return block;
    }
    void retain() const {
        if (block_) block_->references.fetch_add(1, std::memory_order_relaxed);
    }
    void release() {
        if (block_ && block_->references.fetch_sub(1, std::memory_order_acq_rel) == 1) std::free(block_);
        block_ = nullptr;
    }

    Block* block_ = nullptr;
};

}  // namespace orvel
