// The PE checksum summed over a file fed in pieces.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

namespace platform::resource {

// The 16-bit ones'-complement sum of a file's little-endian words (an odd
// last byte a word of its own) plus the file's length, fed in pieces of any
// length, in order; the checksum field must be fed as zero.
class ChecksumSum {
  public:
    void add(std::span<const std::byte> bytes);
    // Adds the bytes `following` was fed, as if they were fed here now: a
    // region summed ahead of time (a file measured before the image around
    // it is written) joins the image's sum without being read again.
    void append(const ChecksumSum& following);
    std::uint32_t value() const;
    std::uint64_t length() const { return length_; }

  private:
    // At most 2^31 words of at most 0xFFFF each: the sum cannot leave 64
    // bits, not even shifted left by a byte in append().
    std::uint64_t sum_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace platform::resource
