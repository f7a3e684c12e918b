#include "hash.hpp"

#include <cstdint>
#include <cstring>
#include <random>

#if defined(_WIN32)
#include <windows.h>
#include <bcrypt.h>
#elif defined(__linux__)
#include <cerrno>
#include <sys/syscall.h>
#include <unistd.h>
#else
#include <stdlib.h>
#endif

namespace orvel {
namespace {

// Fills `bytes` from the operating system's random source; false when it cannot.
bool read_os_random(unsigned char* bytes, std::size_t size) {
#if defined(_WIN32)
    return BCRYPT_SUCCESS(BCryptGenRandom(nullptr, bytes, static_cast<ULONG>(size), BCRYPT_USE_SYSTEM_PREFERRED_RNG));
#elif defined(__linux__)
    // The system call itself: the libc wrapper came only with glibc 2.25.
    while (size > 0) {
        const long got = syscall(SYS_getrandom, bytes, size, 0);
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0) return false;
        bytes += got;
        size -= static_cast<std::size_t>(got);
    }
    return true;
#else
    // macOS and the BSDs: never fails, never blocks.
    arc4random_buf(bytes, size);
    return true;
#endif
}

SipKey draw_key() {
    SipKey key{};
    if (!read_os_random(reinterpret_cast<unsigned char*>(&key), sizeof key)) {
        std::random_device device;
        key.k0 = (std::uint64_t{device()} << 32) ^ device();
        key.k1 = (std::uint64_t{device()} << 32) ^ device();
    }
    return key;
}

}  // namespace

const SipKey process_key = draw_key();

namespace {

constexpr std::uint64_t rotl(std::uint64_t x, int bits) { return (x << bits) | (x >> (64 - bits)); }

struct SipState {
    std::uint64_t v0, v1, v2, v3;
    void round() {
        v0 += v1; v1 = rotl(v1, 13); v1 ^= v0; v0 = rotl(v0, 32);
        v2 += v3; v3 = rotl(v3, 16); v3 ^= v2;
        v0 += v3; v3 = rotl(v3, 21); v3 ^= v0;
        v2 += v1; v1 = rotl(v1, 17); v1 ^= v2; v2 = rotl(v2, 32);
    }
    void absorb(std::uint64_t word) {
        v3 ^= word;
        round();
        v0 ^= word;
    }
};

// SipHash-1-3: one compression round, three finalisation rounds.
std::uint64_t siphash13(std::string_view text, SipKey key) {
    SipState s{key.k0 ^ 0x736f6d6570736575ULL, key.k1 ^ 0x646f72616e646f6dULL,
               key.k0 ^ 0x6c7967656e657261ULL, key.k1 ^ 0x7465646279746573ULL};
    const char* data = text.data();
    std::size_t length = text.size();
    std::size_t whole = length & ~std::size_t{7};
    for (std::size_t i = 0; i < whole; i += 8) {
        std::uint64_t word;
        std::memcpy(&word, data + i, 8);
        s.absorb(word);
    }
    std::uint64_t last = std::uint64_t{length & 0xff} << 56;
    const std::size_t tail = length - whole;
    if (tail > 0) {
        std::uint64_t word = 0;
        if (length >= 8) {
            // One load of the last eight bytes; the shift drops those already absorbed.
            std::memcpy(&word, data + length - 8, 8);
            word >>= 8 * (8 - tail);
        } else {
            std::memcpy(&word, data, tail);
        }
        last |= word;
    }
    s.absorb(last);
    s.v2 ^= 0xff;
    s.round();
    s.round();
    s.round();
    return s.v0 ^ s.v1 ^ s.v2 ^ s.v3;
}

}  // namespace

std::uint64_t keyed_hash(std::string_view text) noexcept { return siphash13(text, process_key); }


}  // namespace orvel
