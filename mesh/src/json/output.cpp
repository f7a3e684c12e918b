#include "json/output.hpp"

#include <algorithm>

namespace orvel::json {
namespace {

// Kept between documents up to this size; the buffer of a larger one is let go.
constexpr std::size_t kept_capacity = std::size_t{4} << 20;

}  // namespace

void Output::reset() {
    size_ = 0;
    if (capacity_ > kept_capacity) {
        data_.reset();
        capacity_ = 0;
    }
}

void Output::grow(std::size_t size) {
    const std::size_t capacity = std::max({size_ + size, 2 * capacity_, std::size_t{4096}});
    auto data = std::make_unique_for_overwrite<char[]>(capacity);
    if (size_ != 0) std::memcpy(data.get(), data_.get(), size_);
    data_ = std::move(data);
    capacity_ = capacity;
}

}  // namespace orvel::json
