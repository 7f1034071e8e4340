// The one bounds-checked way in and out of a binary file's bytes (PE images,
// icon files). Offsets are 64-bit and every range is checked as
// offset <= size && length <= size - offset, so no addition can wrap.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <type_traits>

namespace platform::bytes {

inline bool rangeFits(std::uint64_t offset, std::uint64_t length, std::uint64_t size) {
    return offset <= size && length <= size - offset;
}

class ByteReader {
  public:
    explicit ByteReader(std::span<const std::byte> bytes) : bytes_(bytes) {}

    std::uint64_t size() const { return bytes_.size(); }
    bool has(std::uint64_t offset, std::uint64_t length) const {
        return rangeFits(offset, length, bytes_.size());
    }

    template <typename T>
    std::optional<T> read(std::uint64_t offset) const {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!has(offset, sizeof(T)))
            return std::nullopt;
        T value;
        std::memcpy(&value, bytes_.data() + offset, sizeof(T));
        return value;
    }

    std::optional<std::span<const std::byte>> slice(std::uint64_t offset,
                                                    std::uint64_t length) const {
        if (!has(offset, length))
            return std::nullopt;
        return bytes_.subspan(static_cast<std::size_t>(offset), static_cast<std::size_t>(length));
    }

  private:
    std::span<const std::byte> bytes_;
};

// Writes into a buffer whose layout we computed ourselves. A write outside the
// buffer would be our own bug; it is refused and remembered instead of
// corrupting memory, and the caller turns it into an error.
class ByteWriter {
  public:
    explicit ByteWriter(std::span<std::byte> bytes) : bytes_(bytes) {}

    template <typename T>
    void write(std::uint64_t offset, const T& value) {
        static_assert(std::is_trivially_copyable_v<T>);
        if (!rangeFits(offset, sizeof(T), bytes_.size())) {
            failed_ = true;
            return;
        }
        std::memcpy(bytes_.data() + offset, &value, sizeof(T));
    }

    void copy(std::uint64_t offset, std::span<const std::byte> data) {
        if (!rangeFits(offset, data.size(), bytes_.size())) {
            failed_ = true;
            return;
        }
        if (!data.empty())
            std::memcpy(bytes_.data() + offset, data.data(), data.size());
    }

    // Copies a slice taken from a ByteReader; a slice the reader refused
    // counts as a write outside the buffer.
    void copy(std::uint64_t offset, const std::optional<std::span<const std::byte>>& data) {
        if (!data) {
            failed_ = true;
            return;
        }
        copy(offset, *data);
    }

    void fill(std::uint64_t offset, std::uint64_t length, std::byte value) {
        if (!rangeFits(offset, length, bytes_.size())) {
            failed_ = true;
            return;
        }
        std::memset(bytes_.data() + offset, static_cast<int>(value),
                    static_cast<std::size_t>(length));
    }

    // Records a fault found by the caller: a record it could not read back.
    void fail() { failed_ = true; }
    bool failed() const { return failed_; }

  private:
    std::span<std::byte> bytes_;
    bool failed_ = false;
};

}  // namespace platform::bytes
