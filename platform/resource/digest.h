// A fast digest for checking that bytes arrived or stayed as they were.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>

namespace platform::resource {

// A 64-bit digest of bytes fed in pieces of any length: what a file holds
// when read back, or yields when read again, is checked against it. It
// guards against accidents (a short write, a file changed meanwhile), not
// against anyone forging bytes.
class Digest {
  public:
    void add(std::span<const std::byte> bytes) {
        std::size_t i = 0;
        for (; i < bytes.size() && length_ % 8 != 0; ++i) addByte(bytes[i]);
        for (; i + 8 <= bytes.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            mix(word);
            length_ += 8;
        }
        for (; i < bytes.size(); ++i) addByte(bytes[i]);
    }
    std::uint64_t value() const { return std::rotl(hash_ ^ partial_, 29) * kMultiplier ^ length_; }

  private:
    static constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;
    void mix(std::uint64_t word) { hash_ = std::rotl(hash_ ^ word, 29) * kMultiplier; }
    void addByte(std::byte b) {
        partial_ |= std::to_integer<std::uint64_t>(b) << (length_ % 8 * 8);
        if (++length_ % 8 == 0) {
            mix(partial_);
            partial_ = 0;
        }
    }
    std::uint64_t hash_ = kMultiplier;
    std::uint64_t partial_ = 0;  // the bytes of a word begun
    std::uint64_t length_ = 0;
};

}  // namespace platform::resource
