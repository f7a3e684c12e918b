// The canonical text as it is written: a buffer the thread reuses, written through a
// cursor after one room check per token, so that short pieces cost a few fixed-size
// moves rather than a call each, and reading a document allocates nothing once warm.
#pragma once

#include <cstddef>
#include <cstring>
#include <memory>
#include <string_view>

namespace orvel::json {

class Output {
public:
    // Pieces up to this long are copied in fixed-size moves.
    static constexpr std::size_t short_piece = 32;

    // Room for `size` more bytes at the returned position; advance_to() the end of what
    // was written there.
    char* room(std::size_t size) {
        if (capacity_ - size_ < size) grow(size);
        return data_.get() + size_;
    }
    void advance_to(const char* end) { size_ = static_cast<std::size_t>(end - data_.get()); }

    void put(char byte) {
        *room(1) = byte;
        ++size_;
    }
    // `piece` must stay readable up to `readable_end`, which lets short pieces be moved
    // in one block of short_piece bytes.
    void append(std::string_view piece, const char* readable_end) {
        size_ = static_cast<std::size_t>(copy(piece, readable_end) - data_.get());
    }
    // The same followed by one byte, with one update of the size.
    void append(std::string_view piece, const char* readable_end, char byte) {
        char* end = copy(piece, readable_end);
        *end = byte;
        size_ = static_cast<std::size_t>(end + 1 - data_.get());
    }
    void append(std::string_view piece) {
        std::memcpy(room(piece.size()), piece.data(), piece.size());
        size_ += piece.size();
    }

    std::size_t size() const { return size_; }
    const char* data() const { return data_.get(); }
    std::string_view view() const { return {data_.get(), size_}; }

    // Empties it, giving back memory a very large document left behind.
    void reset();

private:
    void grow(std::size_t size);
    // Copies the piece to the end and returns where it ends. Two copies one after the
    // other, not one or the other: a compiler may merge the two arms of a choice into one
    // copy of a variable size, which is a call.
    char* copy(std::string_view piece, const char* readable_end) {
        char* at = room(piece.size() + short_piece);
        const bool block_readable = readable_end - piece.data() >= static_cast<std::ptrdiff_t>(short_piece);
        if (block_readable) std::memcpy(at, piece.data(), short_piece);
        if (!block_readable || piece.size() > short_piece) std::memcpy(at, piece.data(), piece.size());
        return at + piece.size();
    }

    std::unique_ptr<char[]> data_;
    std::size_t size_ = 0;
    std::size_t capacity_ = 0;
};

}  // namespace orvel::json
