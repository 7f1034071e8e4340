#include "platform/resource/resource_update.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <optional>

#include "platform/files/files.h"
#include "platform/resource/byte_io.h"
#include "platform/resource/image_writer.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"

namespace platform::resource {

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
    take(type, name, language, std::vector<std::byte>(data.begin(), data.end()));
}

void Update::take(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                  std::vector<std::byte> data) {
    state_->pending[{normalisedName(type), normalisedName(name), language}] = std::move(data);
}

Result<std::vector<std::byte>> Update::commitToMemory(CommitReport* report) const {
    if (state_->committed)
        return Error{kAlreadyCommitted};
    std::vector<std::byte> out;
    auto built =
        buildImage(state_->image, state_->bytes, state_->pending, report, [&](std::uint64_t size) {
            out.resize(static_cast<std::size_t>(size));
            return std::span<std::byte>(out);
        });
    if (!built)
        return Error{built.message()};
    return out;
}

namespace {

// Memory for a large image straight from the kernel: zero-filled and not
// touched until written. Where transparent huge pages are offered on request
// it asks for them: filling 100 MB through 4 KB page faults costs more than
// writing it to disk on some virtual machines.
class ImageBuffer {
  public:
    ImageBuffer() = default;
    ImageBuffer(const ImageBuffer&) = delete;
    ImageBuffer& operator=(const ImageBuffer&) = delete;
    ~ImageBuffer() {
        if (data_ != nullptr)
            ::munmap(data_, size_);
    }

    std::span<std::byte> allocate(std::uint64_t size) {
        if (data_ != nullptr || size == 0 || size > SIZE_MAX)
            return {};
        void* data = ::mmap(nullptr, static_cast<std::size_t>(size), PROT_READ | PROT_WRITE,
                            MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (data == MAP_FAILED)
            return {};
#ifdef MADV_HUGEPAGE
        ::madvise(data, static_cast<std::size_t>(size), MADV_HUGEPAGE);  // a hint only
#endif
        data_ = data;
        size_ = static_cast<std::size_t>(size);
        return {static_cast<std::byte*>(data_), size_};
    }

  private:
    void* data_ = nullptr;
    std::size_t size_ = 0;
};

// A 64-bit digest of a resource's bytes, taken as commit() copies them and
// lets them go, to check what the written file holds against it. Fed in
// pieces, every piece but the last a multiple of 8 bytes long.
class Digest {
  public:
    explicit Digest(std::uint64_t size) : hash_(size * kMultiplier) {}

    void add(std::span<const std::byte> bytes) {
        std::size_t i = 0;
        for (; i + 8 <= bytes.size(); i += 8) {
            std::uint64_t word;
            std::memcpy(&word, bytes.data() + i, 8);
            mix(word);
        }
        for (; i < bytes.size(); ++i) mix(std::to_integer<std::uint64_t>(bytes[i]));
    }
    std::uint64_t value() const { return hash_; }

    static std::uint64_t of(std::span<const std::byte> bytes) {
        Digest digest(bytes.size());
        digest.add(bytes);
        return digest.value();
    }

  private:
    static constexpr std::uint64_t kMultiplier = 0x9E3779B97F4A7C15;
    void mix(std::uint64_t word) { hash_ = std::rotl(hash_ ^ word, 29) * kMultiplier; }
    std::uint64_t hash_;
};

// Gives back the whole pages of `piece` at once instead of when its block is
// freed, so that copying a 64 MB block does not hold it twice. The block is
// freed right after its last piece and nothing reads it again (its dropped
// pages would read as zeros); the partial pages at either end, where the
// allocator keeps its bookkeeping, are left alone.
void dropPages(std::span<const std::byte> piece) {
    static const std::uintptr_t page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
    const auto start = reinterpret_cast<std::uintptr_t>(piece.data());
    const std::uintptr_t first = (start + page - 1) / page * page;
    const std::uintptr_t last = (start + piece.size()) / page * page;
    if (last > first)
        ::madvise(reinterpret_cast<void*>(first), last - first, MADV_DONTNEED);
}

struct ExpectedResource {
    const ResourceKey* key = nullptr;
    std::uint64_t size = 0;
    Digest digest{0};
};

// True when the file holds exactly `image`, read back through the kernel in
// chunks (so a short or failed write shows) without a second whole copy in memory.
Status compareWithFile(const std::filesystem::path& file, std::span<const std::byte> image) {
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return Error{"written image does not read back: cannot open " + file.string()};
    // Not zero-filled, and no larger than it need be: on some virtual
    // machines every first touch of a page costs tens of microseconds.
    constexpr std::size_t kChunk = 1 << 17;
    const std::unique_ptr<std::byte[]> chunk(new std::byte[kChunk]);
    std::uint64_t position = 0;
    Status result;
    for (;;) {
        const ssize_t got = ::read(fd, chunk.get(), kChunk);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result =
                Error{"written image does not read back: " + std::string(std::strerror(errno))};
            break;
        }
        if (got == 0) {
            if (position != image.size())
                result = Error{"written image does not read back: the file is too short"};
            break;
        }
        const auto length = static_cast<std::uint64_t>(got);
        if (!rangeFits(position, length, image.size()) ||
            std::memcmp(chunk.get(), image.data() + position, static_cast<std::size_t>(length)) !=
                0) {
            result =
                Error{"written image does not read back: its bytes differ at " + hex(position)};
            break;
        }
        position += length;
    }
    ::close(fd);
    return result;
}

// The file as written must hold the image built, and that image must read
// back as holding exactly the pending resources; anything else means the
// build or the write went wrong somewhere.
Status verifyWritten(const std::filesystem::path& temporary, std::span<const std::byte> image,
                     const std::vector<ExpectedResource>& expected) {
    if (Status same = compareWithFile(temporary, image); !same)
        return same;
    auto parsed = parseImage(image);
    if (!parsed)
        return Error{"written image does not read back: " + parsed.message()};
    auto listed = readResourceTree(*parsed, image);
    if (!listed)
        return Error{"written image does not read back: " + listed.message()};
    if (listed->size() != expected.size()) {
        return Error{"written image does not read back: wrong number of resources"};
    }
    auto want = expected.begin();
    for (const auto& resource : *listed) {
        const ExpectedResource& wanted = *want++;
        const auto got = ByteReader(image).slice(resource.fileOffset, resource.size);
        if (wanted.key->type != resource.type || wanted.key->name != resource.name ||
            wanted.key->language != resource.language || !got || got->size() != wanted.size ||
            Digest::of(*got) != wanted.digest.value()) {
            return Error{"written image does not read back: a resource differs"};
        }
    }
    return {};
}

}  // namespace

Result<CommitReport> Update::commit() {
    if (state_->path.empty())
        return Error{"this update was opened from memory and has no file"};
    if (state_->committed)
        return Error{kAlreadyCommitted};
    state_->committed = true;
    // The pending data moves into the new image: each block is let go as
    // it is copied, so the whole job never holds two copies of much.
    // What verification needs of it is its key, size and digest.
    ResourceMap pending = std::move(state_->pending);
    state_->pending.clear();
    std::vector<ExpectedResource> expected;
    std::vector<std::vector<std::byte>*> blocks;
    expected.reserve(pending.size());
    blocks.reserve(pending.size());
    for (auto& [key, data] : pending) {
        expected.push_back({&key, data.size(), Digest(data.size())});
        blocks.push_back(&data);
    }
    auto release = [&](std::size_t index, std::span<const std::byte> piece) {
        expected[index].digest.add(piece);
        std::vector<std::byte>& block = *blocks[index];
        if (piece.data() + piece.size() == block.data() + block.size()) {
            std::vector<std::byte>().swap(block);
        } else {
            dropPages(piece);
        }
    };

    CommitReport report;
    ImageBuffer buffer;
    auto image = buildImage(
        state_->image, state_->bytes, pending, &report,
        [&](std::uint64_t size) { return buffer.allocate(size); }, release);
    if (!image)
        return Error{image.message()};
    const std::span<const std::byte> built = *image;
    Status written =
        files::replaceFile(state_->path, built, [&](const std::filesystem::path& temporary) {
            return verifyWritten(temporary, built, expected);
        });
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
