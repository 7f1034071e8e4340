// A fast digest for checking that bytes arrived or stayed as they were.
#pragma once

#include <algorithm>
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
//
// Eight lanes over 64-byte blocks: one lane's multiply chain alone would
// limit it to an eighth of the speed (four lanes still left it at 8 GB/s
// against 12), and every byte of a 100 MB job passes through it twice.
class Digest {
  public:
    void add(std::span<const std::byte> bytes) {
        if (bytes.empty())
            return;  // its data() may be null, which memcpy must not see
        length_ += bytes.size();
        if (pending_ > 0) {  // finish the block begun
            const std::size_t take = std::min(kBlock - pending_, bytes.size());
            std::memcpy(block_ + pending_, bytes.data(), take);
            pending_ += take;
            bytes = bytes.subspan(take);
            if (pending_ < kBlock)
                return;
            mixBlock(block_);
            pending_ = 0;
        }
        std::size_t i = 0;
        for (; i + kBlock <= bytes.size(); i += kBlock) mixBlock(bytes.data() + i);
        pending_ = bytes.size() - i;
        if (pending_ > 0)
            std::memcpy(block_, bytes.data() + i, pending_);
    }

    std::uint64_t value() const {
        Digest last = *this;
        if (last.pending_ > 0) {
            std::memset(last.block_ + last.pending_, 0, kBlock - last.pending_);
            last.mixBlock(last.block_);
        }
        std::uint64_t hash = length_;
        for (std::uint64_t lane : last.lanes_) hash = std::rotl(hash ^ lane, 29) * kMultiplier;
        return hash;
    }

  private:
    static constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;
    static constexpr std::size_t kLanes = 8;
    static constexpr std::size_t kBlock = 8 * kLanes;
    void mixBlock(const std::byte* block) {
        for (std::size_t k = 0; k < kLanes; ++k) {
            std::uint64_t word;
            std::memcpy(&word, block + 8 * k, 8);
            lanes_[k] = std::rotl(lanes_[k] ^ word, 29) * kMultiplier;
        }
    }
    std::uint64_t lanes_[kLanes] = {1, 2, 3, 4, 5, 6, 7, 8};
    std::byte block_[kBlock]{};  // the bytes of a block begun
    std::size_t pending_ = 0;
    std::uint64_t length_ = 0;
};

}  // namespace platform::resource
