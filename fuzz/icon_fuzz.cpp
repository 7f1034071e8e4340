// Parses arbitrary bytes as an icon file. Beyond "no crash, no out-of-bounds
// access": a file that parses has every image inside it, its group
// directory has the size and the IDs its count gives, and adding it hands
// the sink views into the file, one per entry, never copies of the images
// (entries may name the same bytes thousands of times).
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <vector>

#include "updater/icon.h"

namespace {

void check(bool condition) {
    if (!condition)
        std::abort();
}

// Checks that every image is a view into `file` and counts what was added.
class CheckingSink final : public updater::ResourceSink {
  public:
    explicit CheckingSink(std::span<const std::byte> file) : file_(file) {}
    void add(std::uint16_t, std::uint16_t, std::span<const std::byte>) override { ++groups; }
    void addShared(std::uint16_t, std::uint16_t, platform::resource::SharedBytes data) override {
        check(!data.bytes.empty() && data.bytes.data() >= file_.data() &&
              data.bytes.data() + data.bytes.size() <= file_.data() + file_.size());
        ++images;
    }
    std::size_t images = 0;
    std::size_t groups = 0;

  private:
    std::span<const std::byte> file_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::span<const std::byte> file(reinterpret_cast<const std::byte*>(data), size);
    auto icon = updater::parseIcon(file);
    if (!icon)
        return 0;
    check(icon->images.size() == icon->header.count);
    for (const auto& image : icon->images) {
        check(!image.data.empty());
        check(image.data.data() >= file.data() &&
              image.data.data() + image.data.size() <= file.data() + file.size());
    }
    const std::uint32_t groupId = 65530;  // the IDs wrap past 65535
    auto group = updater::groupDirectory(*icon, groupId);
    check(group.size() == 6 + 14 * icon->images.size());
    check(std::memcmp(group.data(), data, 6) == 0);
    for (std::size_t i = 0; i < icon->images.size(); ++i) {
        std::uint16_t id;
        std::memcpy(&id, group.data() + 6 + 14 * i + 12, sizeof id);
        check(id == static_cast<std::uint16_t>(groupId + 1 + i));
    }

    const auto owned = std::make_shared<const std::vector<std::byte>>(file.begin(), file.end());
    CheckingSink sink(*owned);
    check(updater::addIconFile(sink, owned, groupId) == 1);
    check(sink.images == icon->images.size() && sink.groups == 1);
    return 0;
}
