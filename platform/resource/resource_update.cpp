#include "platform/resource/resource_update.h"

#include <algorithm>
#include <cstring>
#include <optional>

#include "platform/files/files.h"
#include "platform/resource/byte_io.h"
#include "platform/resource/image_writer.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"

namespace platform::resource {

struct Update::State {
    std::filesystem::path path;  // empty when opened from bytes
    std::vector<std::byte> bytes;
    PeImage image;
    ResourceMap pending;
};

Update::Update(std::unique_ptr<State> state) : state_(std::move(state)) {}
Update::Update(Update&&) noexcept = default;
Update& Update::operator=(Update&&) noexcept = default;
Update::~Update() = default;

Result<Update> Update::begin(const std::filesystem::path& image, bool deleteExisting) {
    auto bytes = files::readFile(image);
    if (!bytes)
        return Error{bytes.message()};
    auto update = beginFromBytes(std::move(*bytes), deleteExisting);
    if (update)
        update->state_->path = image;
    return update;
}

Result<Update> Update::beginFromBytes(std::vector<std::byte> image, bool deleteExisting) {
    auto state = std::make_unique<State>();
    state->bytes = std::move(image);
    auto parsed = parseImage(state->bytes);
    if (!parsed)
        return Error{parsed.message()};
    state->image = std::move(*parsed);
    if (!deleteExisting) {
        auto existing = readResourceTree(state->image, state->bytes);
        if (!existing)
            return Error{existing.message()};
        for (const auto& resource : *existing) {
            auto data = resourceData(state->bytes, resource);
            if (!data)
                return Error{data.message()};
            state->pending[{resource.type, resource.name, resource.language}] = std::move(*data);
        }
    }
    return Update(std::move(state));
}

void Update::add(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                 std::span<const std::byte> data) {
    state_->pending[{normalisedName(type), normalisedName(name), language}] =
        std::vector<std::byte>(data.begin(), data.end());
}

Result<std::vector<std::byte>> Update::commitToMemory(CommitReport* report) const {
    return buildImage(state_->image, state_->bytes, state_->pending, report);
}

namespace {

// The file as written must read back as an image holding exactly the pending
// resources; anything else means the write went wrong somewhere.
Status verifyWritten(const std::filesystem::path& temporary, const ResourceMap& expected) {
    auto bytes = files::readFile(temporary);
    if (!bytes)
        return Error{bytes.message()};
    auto image = parseImage(*bytes);
    if (!image)
        return Error{"written image does not read back: " + image.message()};
    auto listed = readResourceTree(*image, *bytes);
    if (!listed)
        return Error{"written image does not read back: " + listed.message()};
    if (listed->size() != expected.size()) {
        return Error{"written image does not read back: wrong number of resources"};
    }
    auto want = expected.begin();
    for (const auto& resource : *listed) {
        const auto& [key, data] = *want++;
        const auto got = ByteReader(*bytes).slice(resource.fileOffset, resource.size);
        if (key.type != resource.type || key.name != resource.name ||
            key.language != resource.language || !got ||
            !std::equal(got->begin(), got->end(), data.begin(), data.end())) {
            return Error{"written image does not read back: a resource differs"};
        }
    }
    return {};
}

}  // namespace

Result<CommitReport> Update::commit() {
    if (state_->path.empty())
        return Error{"this update was opened from memory and has no file"};
    CommitReport report;
    auto bytes = commitToMemory(&report);
    if (!bytes)
        return Error{bytes.message()};
    const ResourceMap& expected = state_->pending;
    Status written = files::replaceFile(
        state_->path, *bytes,
        [&](const std::filesystem::path& temporary) { return verifyWritten(temporary, expected); });
    if (!written)
        return Error{written.message()};
    return report;
}

Result<std::vector<ListedResource>> listResources(std::span<const std::byte> image) {
    auto parsed = parseImage(image);
    if (!parsed)
        return Error{parsed.message()};
    return readResourceTree(*parsed, image);
}

Result<std::vector<ListedResource>> listResources(const std::filesystem::path& image) {
    auto bytes = files::readFile(image);
    if (!bytes)
        return Error{bytes.message()};
    return listResources(std::span<const std::byte>(*bytes));
}

Result<std::vector<std::byte>> resourceData(std::span<const std::byte> image,
                                            const ListedResource& resource) {
    const auto data = ByteReader(image).slice(resource.fileOffset, resource.size);
    if (!data)
        return Error{"resource data at " + hex(resource.fileOffset) + " lies outside the file"};
    return std::vector<std::byte>(data->begin(), data->end());
}

}  // namespace platform::resource
