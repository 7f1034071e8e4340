#include "platform/resource/checksum.h"

#include <algorithm>
#include <cstring>

namespace platform::resource {

void ChecksumSum::add(std::span<const std::byte> bytes) {
    std::size_t i = 0;
    if (length_ % 2 != 0 && !bytes.empty()) {
        sum_ += std::to_integer<std::uint64_t>(bytes[0]) << 8;  // the high byte of a word begun
        i = 1;
    }
    // Eight bytes at a time: their four words summed in two pairs of 32-bit
    // lanes, each lane emptied before 65536 additions could overflow it.
    constexpr std::uint64_t kLowWords = 0x0000FFFF0000FFFF;
    constexpr std::size_t kRun = std::size_t{8} << 15;
    while (i + 8 <= bytes.size()) {
        const std::size_t end = i + std::min((bytes.size() - i) / 8 * 8, kRun);
        std::uint64_t even = 0;
        std::uint64_t odd = 0;
        for (; i < end; i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            even += word & kLowWords;
            odd += (word >> 16) & kLowWords;
        }
        sum_ += (even & 0xFFFFFFFF) + (even >> 32) + (odd & 0xFFFFFFFF) + (odd >> 32);
    }
    for (; i + 2 <= bytes.size(); i += 2) {
        std::uint16_t word;
        std::memcpy(&word, bytes.data() + i, 2);
        sum_ += word;
    }
    if (i < bytes.size())
        sum_ += std::to_integer<std::uint64_t>(bytes[i]);
    length_ += bytes.size();
}

std::uint32_t ChecksumSum::value() const {
    std::uint64_t sum = sum_;
    while (sum >> 16) sum = (sum & 0xFFFF) + (sum >> 16);
    return static_cast<std::uint32_t>(sum + length_);
}

void ChecksumSum::append(const ChecksumSum& following) {
    // Behind an odd number of bytes every byte of `following` changes places
    // within its word: each low byte becomes a high byte (times 256) and each
    // high byte a low byte (times 65536, which is 1 modulo 65535). The whole
    // sum is taken modulo 65535 when folded, so it comes to 256 times
    // following's sum; unreduced, it is zero exactly when that sum is.
    sum_ += length_ % 2 == 0 ? following.sum_ : following.sum_ << 8;
    length_ += following.length_;
}

}  // namespace platform::resource
