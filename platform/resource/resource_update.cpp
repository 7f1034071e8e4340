#include "platform/resource/resource_update.h"

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/bytes/byte_io.h"
#include "platform/files/files.h"
#include "platform/resource/digest.h"
#include "platform/resource/image_writer.h"
#include "platform/resource/pages.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"

namespace platform::resource {

using bytes::ByteReader;

namespace {
constexpr const char* kAlreadyCommitted = "this update has already been committed";
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

Result<Update> Update::begin(const std::filesystem::path& image, Existing existing) {
    auto bytes = files::readFile(image);
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
    // One buffer for every file measured: a fresh one each time would be
    // mapped anew by the allocator, and on some virtual machines every
    // first touch of a page costs tens of microseconds.
    constexpr std::size_t kChunk = std::size_t{1} << 17;
    thread_local const std::unique_ptr<std::byte[]> chunk(new std::byte[kChunk]);
    FileData file{path, 0, 0, {}};
    Digest digest;
    Status read = files::readInChunks(path, {chunk.get(), kChunk},
                                      [&](std::span<const std::byte> bytes) -> Status {
                                          file.size += bytes.size();
                                          digest.add(bytes);
                                          file.checksum.add(bytes);
                                          return {};
                                      });
    if (!read)
        return read.error();
    file.digest = digest.value();
    return file;
}

namespace {

// What the file was written with: its regions and their digests (the
// checksum field counted as zero), its checksum, and where each resource went.
struct Written {
    std::uint64_t size = 0;
    WrittenImage image;
    std::uint64_t checkSumOffset = 0;
    struct Resource {
        const ResourceKey* key = nullptr;
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };
    std::vector<Resource> resources;
};

// Reads the file back through the kernel in chunks (so that a short or
// failed write shows), without a second whole copy in memory, and checks
// each region against its digest. A file's data that reads back otherwise
// than measured means the file changed after it was measured.
Status compareWithFile(const std::filesystem::path& file, const Written& written) {
    const Error differs{"written image does not read back: its bytes differ", ErrorKind::Io};
    // A failure to read keeps its kind and number, with what it stopped.
    const auto readBack = [](const Error& error) {
        return Error{"written image does not read back: " + error.message, error.kind, error.code,
                     error.reason};
    };
    auto opened = files::InputFile::open(file);
    if (!opened)
        return readBack(opened.error());
    files::InputFile& input = *opened;
    // Not zero-filled, and no larger than it need be: on some virtual
    // machines every first touch of a page costs tens of microseconds.
    constexpr std::size_t kChunk = 1 << 17;
    const std::unique_ptr<std::byte[]> chunk(new std::byte[kChunk]);
    const auto& regions = written.image.regions;
    std::size_t region = 0;
    std::uint64_t regionEnd = regions.empty() ? 0 : regions.front().size;
    Digest digest;
    std::byte checkSumField[4]{};
    std::uint64_t position = 0;
    Status result;
    while (result) {
        const auto got = input.read({chunk.get(), kChunk});
        if (!got) {
            result = readBack(got.error());
            break;
        }
        if (*got == 0)
            break;
        const auto length = static_cast<std::uint64_t>(*got);
        // The digests were taken before the checksum went in: take that field out.
        for (std::uint64_t i = 0; i < 4; ++i) {
            const std::uint64_t at = written.checkSumOffset + i;
            if (at >= position && at < position + length) {
                checkSumField[i] = std::exchange(chunk[at - position], std::byte{0});
            }
        }
        std::uint64_t used = 0;
        while (used < length && region < regions.size()) {
            const std::uint64_t take = std::min(length - used, regionEnd - (position + used));
            digest.add({chunk.get() + used, static_cast<std::size_t>(take)});
            used += take;
            if (position + used < regionEnd)
                continue;
            if (digest.value() != regions[region].digest) {
                const FileData* source = regions[region].file;
                result = source ? changedWhileUpdating(source->path) : differs;
                break;
            }
            digest = Digest{};
            if (++region < regions.size())
                regionEnd += regions[region].size;
        }
        position += length;
    }
    if (!result)
        return result;
    std::uint32_t checkSum;
    std::memcpy(&checkSum, checkSumField, sizeof checkSum);
    if (position != written.size || region != regions.size())
        return Error{"written image does not read back: the file has the wrong size",
                     ErrorKind::Io};
    if (checkSum != written.image.checkSum)
        return differs;
    return {};
}

// The file read back must hold the bytes written, and those must read back
// as holding exactly the pending resources where they were put; anything
// else means the build or the write went wrong somewhere. Once the file is
// known to hold the frame's bytes with the data in its places, the headers
// and the tree are read from the frame in memory: the same bytes, and no
// mapping of a file that another process could cut short under us.
Status verifyWritten(const std::filesystem::path& temporary, const Written& written,
                     std::span<const std::byte> frame) {
    if (Status same = compareWithFile(temporary, written); !same)
        return same;
    auto parsed = parseImage(frame);
    if (!parsed)
        return Error{"written image does not read back: " + parsed.message(), ErrorKind::Internal};
    auto listed = readResourceTree(*parsed, frame);
    if (!listed)
        return Error{"written image does not read back: " + listed.message(), ErrorKind::Internal};
    if (listed->size() != written.resources.size())
        return Error{"written image does not read back: wrong number of resources",
                     ErrorKind::Internal};
    auto want = written.resources.begin();
    for (const auto& resource : *listed) {
        const Written::Resource& wanted = *want++;
        if (wanted.key->type != resource.type || wanted.key->name != resource.name ||
            wanted.key->language != resource.language || resource.size != wanted.size ||
            resource.fileOffset != wanted.offset) {
            return Error{"written image does not read back: a resource differs",
                         ErrorKind::Internal};
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
    Written written;
    blocks.reserve(pending.size());
    written.resources.reserve(pending.size());
    for (auto& [key, data] : pending) {
        blocks.push_back(data.shared ? nullptr : &data.bytes);
        written.resources.push_back({&key, 0, data.size()});
    }
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
    written.size = image->frame.size();
    written.checkSumOffset = image->checkSumOffset;
    for (std::size_t i = 0; i < written.resources.size() && i < image->resourceOffsets.size(); ++i)
        written.resources[i].offset = image->resourceOffsets[i];
    Status status = files::replaceFile(
        state_->path,
        [&](files::ByteSink& sink) -> Status {
            auto imageWritten = writeImage(*image, sink, release);
            if (!imageWritten)
                return imageWritten.status();
            written.image = std::move(*imageWritten);
            return {};
        },
        [&](const std::filesystem::path& temporary) {
            return verifyWritten(temporary, written, image->frame);
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
    files::MemorySink sink;
    sink.reserve(image->frame.size());
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
