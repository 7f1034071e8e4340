#include "platform/resource/resource_update.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <optional>
#include <system_error>
#include <utility>

#include "platform/bytes/byte_io.h"
#include "platform/files/files.h"
#include "platform/resource/image_writer.h"
#include "platform/resource/pages.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"

namespace platform::resource {

using bytes::ByteReader;

namespace {
constexpr const char* kAlreadyCommitted = "this update has already been committed";
// No image the PE format can address is larger (its offsets have 32 bits).
constexpr std::uintmax_t kMostReservedForAnImage = 0xFFFFFFFF;
}  // namespace

struct Update::State {
    std::filesystem::path path;  // empty when opened from bytes
    std::vector<std::byte> bytes;
    PeImage image;
    ResourceMap pending;
    bool committed = false;  // commit() has taken the pending data
};

Update::Update(std::unique_ptr<State> state) : state_(std::move(state)) {}
Update::Update(Update&&) noexcept = default;
Update& Update::operator=(Update&&) noexcept = default;
Update::~Update() = default;

std::uint16_t Update::machine() const {
    return state_->image.fileHeader.machine;
}

namespace {

// Reads the image whole, into memory mapped ahead (see prefault) when its
// size is known; the size stated is only a hint, as for readFile.
Result<std::vector<std::byte>> readImage(const std::filesystem::path& path) {
    std::vector<std::byte> bytes;
    std::byte chunk[1 << 16];
    bool first = true;
    Status read = files::readInChunks(path, chunk, [&](std::span<const std::byte> got) -> Status {
        try {
            if (std::exchange(first, false)) {
                std::error_code ec;
                const std::uintmax_t size = std::filesystem::file_size(path, ec);
                if (!ec && size <= kMostReservedForAnImage) {
                    bytes.reserve(static_cast<std::size_t>(size));
                    prefault({bytes.data(), bytes.capacity()});
                }
            }
            bytes.insert(bytes.end(), got.begin(), got.end());
        } catch (const std::bad_alloc&) {
            return Error{"not enough memory to read " + files::utf8Name(path),
                         ErrorKind::OutOfMemory};
        }
        return {};
    });
    if (!read)
        return read.error();
    return bytes;
}

}  // namespace

Result<Update> Update::begin(const std::filesystem::path& image, Existing existing) {
    auto bytes = readImage(image);
    if (!bytes)
        return bytes.error();
    auto update = beginFromBytes(std::move(*bytes), existing);
    if (update)
        update->state_->path = image;
    return update;
}

Result<Update> Update::beginFromBytes(std::vector<std::byte> image, Existing existing) {
    auto state = std::make_unique<State>();
    state->bytes = std::move(image);
    auto parsed = parseImage(state->bytes);
    if (!parsed)
        return parsed.error();
    state->image = std::move(*parsed);
    if (existing == Existing::Keep) {
        auto existing = readResourceTree(state->image, state->bytes);
        if (!existing)
            return existing.error();
        for (const auto& resource : *existing) {
            auto data = resourceData(state->bytes, resource);
            if (!data)
                return data.error();
            state->pending[{resource.type, resource.name, resource.language}].bytes =
                std::move(*data);
        }
    }
    return Update(std::move(state));
}

void Update::add(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                 std::span<const std::byte> data) {
    take(type, name, language, std::vector<std::byte>(data.begin(), data.end()));
}

void Update::take(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                  std::vector<std::byte> data) {
    state_->pending[{normalisedName(type), normalisedName(name), language}] = {
        std::move(data), {}, {}};
}

void Update::addShared(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                       SharedBytes data) {
    state_->pending[{normalisedName(type), normalisedName(name), language}] = {
        {}, std::move(data), {}};
}

void Update::remove(const ResourceName& type, const ResourceName& name, std::uint16_t language) {
    state_->pending.erase({normalisedName(type), normalisedName(name), language});
}

void Update::addFile(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                     FileData file) {
    state_->pending[{normalisedName(type), normalisedName(name), language}] = {
        {}, {}, std::move(file)};
}

Result<FileData> FileData::measure(const std::filesystem::path& path) {
    auto file = files::InputFile::open(path);
    if (!file)
        return file.error();
    auto stamp = file->stamp();
    if (!stamp)
        return stamp.error();
    return FileData{path, stamp->size, *stamp};
}

namespace {

// The tree as built must list exactly the pending resources, in their
// order, each with its size: what the read-back then finds in the file.
Status listsThePending(const BuiltImage& built, const ResourceMap& pending) {
    const Error differs{"internal error: the built tree does not list the resources added",
                        ErrorKind::Internal};
    if (built.resources.size() != pending.size())
        return differs;
    auto listed = built.resources.begin();
    for (const auto& [key, data] : pending) {
        const ListedResource& resource = *listed++;
        if (resource.type != key.type || resource.name != key.name ||
            resource.language != key.language || resource.size != data.size()) {
            return differs;
        }
    }
    return {};
}

}  // namespace

Result<CommitReport> Update::commit(const files::Verifier& beforeReplace) {
    if (state_->path.empty())
        return Error{"this update was opened from memory and has no file", ErrorKind::Internal};
    if (state_->committed)
        return Error{kAlreadyCommitted, ErrorKind::Internal};
    state_->committed = true;
    // The pending data moves into the new image: each block is let go as
    // it is written, so the whole job never holds two copies of much.
    ResourceMap pending = std::move(state_->pending);
    state_->pending.clear();
    // The blocks this update owns; a file's is empty. Shared bytes are not
    // ours to let go: their owner may hand them to another resource later.
    std::vector<std::vector<std::byte>*> blocks;
    blocks.reserve(pending.size());
    for (auto& [key, data] : pending) blocks.push_back(data.shared ? nullptr : &data.bytes);
    auto release = [&](std::size_t index, std::span<const std::byte> piece) {
        if (blocks[index] == nullptr)
            return;
        std::vector<std::byte>& block = *blocks[index];
        if (piece.data() + piece.size() == block.data() + block.size()) {
            std::vector<std::byte>().swap(block);
        } else {
            dropPages(piece);
        }
    };

    CommitReport report;
    ImageBuffer buffer;
    auto image = buildImage(state_->image, state_->bytes, pending, &report,
                            [&](std::uint64_t size) { return buffer.allocate(size); });
    if (!image)
        return image.error();
    if (Status s = listsThePending(*image, pending); !s)
        return s.error();
    std::uint32_t checkSum = 0;
    Status status = files::replaceFile(
        state_->path,
        [&](files::ByteSink& sink) -> Status {
            auto sum = writeImage(*image, sink, release);
            if (!sum)
                return sum.status();
            checkSum = *sum;
            return {};
        },
        [&](const std::filesystem::path& temporary) {
            return readBack(temporary, *image, checkSum);
        },
        beforeReplace);
    if (!status)
        return status.error();
    return report;
}

Result<std::vector<std::byte>> Update::commitToMemory(CommitReport* report) const {
    if (state_->committed)
        return Error{kAlreadyCommitted, ErrorKind::Internal};
    ImageBuffer buffer;
    auto image = buildImage(state_->image, state_->bytes, state_->pending, report,
                            [&](std::uint64_t size) { return buffer.allocate(size); });
    if (!image)
        return image.error();
    std::vector<std::byte> memory;
    memory.reserve(image->frame.size());
    prefault({memory.data(), memory.capacity()});
    files::MemorySink sink(std::move(memory));
    if (auto written = writeImage(*image, sink); !written)
        return written.error();
    return sink.take();
}

Result<std::vector<ListedResource>> listResources(std::span<const std::byte> image) {
    auto parsed = parseImage(image);
    if (!parsed)
        return parsed.error();
    return readResourceTree(*parsed, image);
}

Result<std::vector<ListedResource>> listResources(const std::filesystem::path& image) {
    auto bytes = files::readFile(image);
    if (!bytes)
        return bytes.error();
    return listResources(std::span<const std::byte>(*bytes));
}

Result<std::vector<std::byte>> resourceData(std::span<const std::byte> image,
                                            const ListedResource& resource) {
    const auto data = ByteReader(image).slice(resource.fileOffset, resource.size);
    if (!data)
        return Error{"resource data at " + hex(resource.fileOffset) + " lies outside the file",
                     ErrorKind::BadFormat};
    return std::vector<std::byte>(data->begin(), data->end());
}

}  // namespace platform::resource
