// The file layer's rules that hold on every platform; the system calls are
// in files_posix.cpp and files_windows.cpp.
#include "platform/files/files.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <utility>

#include "platform/errors/errors.h"
#include "platform/files/files_backend.h"

namespace platform::files {
namespace fs = std::filesystem;

Error fileError(std::string_view what, const fs::path& path, int code) {
    return errors::fromErrno(std::string(what) + " " + utf8Name(path), code);
}

// std::filesystem reports the system's own codes in the system category
// (Windows codes on Windows), and the C library's in the generic one; a
// code of any other category keeps its own words, and a kind where its
// condition has one.
Error fileError(std::string_view what, const fs::path& path, const std::error_code& error) {
    const std::string action = std::string(what) + " " + utf8Name(path);
    if (error.category() == std::system_category())
        return errors::fromSystem(action, error.value());
    const std::error_condition condition = error.default_error_condition();
    if (condition.category() == std::generic_category())
        return errors::fromErrno(action, condition.value());
    return Error{action + ": " + error.message(), ErrorKind::Io};
}

fs::path pathFromUtf8(std::string_view utf8) {
    return fs::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string utf8Name(const fs::path& path) {
    const std::u8string name = path.u8string();
    return std::string(name.begin(), name.end());
}

Result<std::vector<std::byte>> readFile(const fs::path& path) {
    std::vector<std::byte> bytes;
    std::byte chunk[1 << 16];
    bool first = true;
    // The size stated is only a hint (a sparse file may claim terabytes):
    // at most 256 MB is reserved ahead, and memory running out while the
    // bytes arrive is a failed read, not an abort.
    constexpr std::uintmax_t kMostReserved = std::uintmax_t{256} << 20;
    Status read = readInChunks(path, chunk, [&](std::span<const std::byte> got) -> Status {
        try {
            if (std::exchange(first, false)) {
                std::error_code ec;
                const std::uintmax_t size = fs::file_size(path, ec);
                if (!ec)
                    bytes.reserve(static_cast<std::size_t>(std::min(size, kMostReserved)));
            }
            bytes.insert(bytes.end(), got.begin(), got.end());
        } catch (const std::bad_alloc&) {
            return Error{"not enough memory to read " + utf8Name(path), ErrorKind::OutOfMemory};
        }
        return {};
    });
    if (!read)
        return read.error();
    return bytes;
}

Status readInChunks(const fs::path& path, std::span<std::byte> buffer,
                    const std::function<Status(std::span<const std::byte> chunk)>& chunk) {
    auto file = InputFile::open(path);
    if (!file)
        return file.error();
    for (;;) {
        auto got = file->read(buffer);
        if (!got)
            return got.error();
        if (*got == 0)
            return {};
        if (Status s = chunk(buffer.first(*got)); !s)
            return s;
    }
}

Result<std::string> readTextFile(const fs::path& path) {
    auto bytes = readFile(path);
    if (!bytes)
        return bytes.error();
    return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

InputFile::~InputFile() {
    if (handle_ != kNoHandle)
        detail::closeQuietly(handle_);
}

Result<std::uint64_t> ByteSink::copyFrom(InputFile& source, std::uint64_t size) {
    return detail::copyByReading(*this, source, 0, size);
}

Status MemorySink::write(std::span<const std::byte> bytes) {
    bytes_.insert(bytes_.end(), bytes.begin(), bytes.end());
    return {};
}

Status MemorySink::overwrite(std::uint64_t offset, std::span<const std::byte> bytes) {
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset)
        return Error{"cannot overwrite past the end of the written bytes", ErrorKind::Internal};
    std::copy(bytes.begin(), bytes.end(), bytes_.begin() + static_cast<std::ptrdiff_t>(offset));
    return {};
}

Status replaceFile(const fs::path& target, std::span<const std::byte> bytes,
                   const Verifier& verify) {
    return replaceFile(
        target, [bytes](ByteSink& sink) { return sink.write(bytes); }, verify);
}

Status replaceFile(const fs::path& target, std::string_view text, const Verifier& verify) {
    return replaceFile(target, std::as_bytes(std::span(text.data(), text.size())), verify);
}

Status copyFile(const fs::path& from, const fs::path& to) {
    auto bytes = readFile(from);
    if (!bytes)
        return bytes.status();
    return replaceFile(to, std::span<const std::byte>(*bytes));
}

namespace detail {

Error notRegularFile(const fs::path& path) {
    return Error{"not a regular file: " + utf8Name(path), ErrorKind::NotRegularFile,
                 ErrorOrigin::None, 0, "not a regular file"};
}

Status BufferedFileSink::write(std::span<const std::byte> bytes) {
    if (!buffer_ && bytes.size() < kBufferSize)
        buffer_.reset(new std::byte[kBufferSize]);  // not zero-filled: only written bytes are read
    if (buffered_ + bytes.size() > kBufferSize) {
        if (Status s = flush(); !s)
            return s;
    }
    size_ += bytes.size();
    if (bytes.size() >= kBufferSize) {
        Status status = writeThrough(bytes);
        if (status)
            written(bytes.size());
        return status;
    }
    if (!bytes.empty())
        std::memcpy(buffer_.get() + buffered_, bytes.data(), bytes.size());
    buffered_ += bytes.size();
    return {};
}

Status BufferedFileSink::overwrite(std::uint64_t offset, std::span<const std::byte> bytes) {
    if (offset > size_ || bytes.size() > size_ - offset)
        return Error{"cannot overwrite past the end of " + utf8Name(path_), ErrorKind::Internal};
    if (Status s = flush(); !s)
        return s;
    return writeAt(offset, bytes);
}

Status BufferedFileSink::flush() {
    Status status = buffered_ == 0 ? Status{} : writeThrough({buffer_.get(), buffered_});
    if (status)
        written(buffered_);
    buffered_ = 0;
    return status;
}

fs::path folderOf(const fs::path& target) {
    fs::path folder = target.parent_path();
    return folder.empty() ? fs::path(".") : folder;
}

Result<std::uint64_t> copyByReading(ByteSink& sink, InputFile& source, std::uint64_t from,
                                    std::uint64_t size) {
    constexpr std::size_t kChunk = std::size_t{1} << 18;
    const std::unique_ptr<std::byte[]> chunk(new std::byte[kChunk]);  // only bytes read are used
    std::uint64_t done = 0;
    while (done < size) {
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kChunk, size - done));
        auto got = source.readAt(from + done, {chunk.get(), want});
        if (!got)
            return got.error();
        if (*got == 0)
            break;
        if (Status s = sink.write({chunk.get(), *got}); !s)
            return s.error();
        done += *got;
    }
    return done;
}

}  // namespace detail

namespace {

// The part of a target's name that its temporary files carry: at most 64
// bytes of it, so that prefix, name and numbers stay within the 255 bytes a
// file name may have even when the target's own name nearly fills them.
// Targets whose names share those bytes share the stem; that only lets one
// of them clear the other's files left by dead writers.
std::string temporaryStem(const fs::path& targetName) {
    std::string name = utf8Name(targetName);
    // Whole UTF-8 characters only, as Windows keeps names in UTF-16: the cut
    // moves back past continuation bytes.
    std::size_t cut = std::min<std::size_t>(name.size(), 64);
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    return name;
}

// The writer's process number in a temporary file name of this target,
// which reads "<prefix><target>-<pid>-<counter>-<random>"; nullopt for any
// other name. Exactly three number groups, so that the files of a target
// "a" and of a target "a-1" are never taken for each other.
std::optional<std::uint64_t> temporaryOwner(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix))
        return std::nullopt;
    name.remove_prefix(prefix.size());
    std::uint64_t pid = 0;
    for (int group = 0; group < 3; ++group) {
        std::uint64_t number = 0;
        const auto [end, error] = std::from_chars(name.data(), name.data() + name.size(), number);
        if (error != std::errc{} || end == name.data())
            return std::nullopt;
        if (group == 0) {
            if (number == 0 || number > std::numeric_limits<std::uint32_t>::max())
                return std::nullopt;
            pid = number;
        }
        name.remove_prefix(static_cast<std::size_t>(end - name.data()));
        if (group < 2) {
            if (!name.starts_with('-'))
                return std::nullopt;
            name.remove_prefix(1);
        }
    }
    if (!name.empty())
        return std::nullopt;
    return pid;
}

// The name of a new temporary file for `targetName`:
// "<prefix><stem>-<pid>-<counter>-<random>".
std::string temporaryName(const fs::path& targetName, std::uint64_t random) {
    static std::atomic<unsigned> counter{0};
    return std::string(kTemporaryPrefix) + temporaryStem(targetName) + "-" +
           std::to_string(detail::currentProcessId()) + "-" + std::to_string(counter++) + "-" +
           std::to_string(random);
}

// A writer killed between creating its temporary file and the rename (power
// cut, SIGKILL) leaves that file behind, and every such run would add one
// more copy of the target beside it. Before writing, the temporary files of
// this target whose writer process no longer exists are removed; a live
// writer's file, and any file we cannot judge, is kept. Best effort: a
// failure here never stops the write.
void removeStaleTemporaries(const fs::path& folder, const fs::path& targetName) {
    const std::string prefix = std::string(kTemporaryPrefix) + temporaryStem(targetName) + "-";
    std::error_code ec;
    for (fs::directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec)) {
        const std::optional<std::uint64_t> owner =
            temporaryOwner(utf8Name(it->path().filename()), prefix);
        if (!owner || !detail::processIsGone(*owner))
            continue;
        std::error_code typeError;
        if (!it->is_regular_file(typeError) || it->is_symlink(typeError))
            continue;
        fs::remove(it->path(), typeError);
    }
}

// A temporary file open for writing. Its handle closes, and the file goes,
// on every way out but the rename over the target, an exception (memory
// running out in a writer) included.
struct TemporaryFile {
    static constexpr detail::FileHandle kClosed = -1;
    fs::path path;
    detail::FileHandle handle = kClosed;
    bool renamed = false;
    ~TemporaryFile() {
        if (handle != kClosed)
            detail::closeQuietly(handle);
        if (!renamed)
            detail::removeFile(path);
    }
};

// Creates a new, empty temporary file in `folder` with an unpredictable name.
Result<std::pair<fs::path, detail::FileHandle>> createTemporary(const fs::path& folder,
                                                                const fs::path& targetName) {
    std::random_device random;
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = folder / pathFromUtf8(temporaryName(targetName, random()));
        auto created = detail::createNewFile(candidate, folder);
        if (!created)
            return created.error();
        if (*created)
            return std::pair{std::move(candidate), **created};
    }
    return fileError("cannot create a temporary file in", folder, EEXIST);
}

// Lets `write` fill the temporary file through `sink`, hands on what is
// buffered, and lets `verify` read it back. Read back before the flush to
// disk: reads see the same bytes either way, and the disk can go on writing
// meanwhile.
Status fillTemporary(detail::BufferedFileSink& sink, const Writer& write, const Verifier& verify,
                     const fs::path& temporary) {
    if (Status s = write(sink); !s)
        return s;
    if (Status s = sink.flush(); !s)
        return s;
    if (verify)
        return verify(temporary);
    return {};
}

}  // namespace

Status replaceFile(const fs::path& requestedTarget, const Writer& write, const Verifier& verify,
                   const Verifier& finish) {
    const fs::path target = detail::resolveLinks(requestedTarget);
    const fs::path folder = detail::folderOf(target);
    const auto existing = detail::examineTarget(target);
    if (!existing)
        return existing.status();

    removeStaleTemporaries(folder, target.filename());
    auto created = createTemporary(folder, target.filename());
    if (!created)
        return created.status();
    TemporaryFile temporary{std::move(created->first), created->second};
    if (existing->exists) {
        if (Status s = detail::copyPermissions(temporary.handle, *existing, temporary.path); !s)
            return s;
    }
    const auto sink = detail::fileSink(temporary.handle, temporary.path);
    if (Status s = fillTemporary(*sink, write, verify, temporary.path); !s)
        return s;
    if (Status s = detail::flushToDisk(temporary.handle, temporary.path); !s)
        return s;
    const detail::FileHandle handle = std::exchange(temporary.handle, TemporaryFile::kClosed);
    if (Status s = detail::closeFile(handle, temporary.path); !s)
        return s;
    if (finish) {
        if (Status s = finish(temporary.path); !s)
            return s;
        // The finishing step may have written the file anew, or put
        // another file in its place: what is renamed keeps the target's
        // permissions and is flushed too.
        if (Status s = detail::settleFileAt(temporary.path, *existing); !s)
            return s;
    }
    if (Status s = detail::renameOver(temporary.path, target, existing->exists); !s)
        return s;
    temporary.renamed = true;
    return {};
}

Status withTemporaryFile(const fs::path& folder, const fs::path& targetName,
                         std::span<const std::byte> bytes, const Verifier& use) {
    removeStaleTemporaries(folder, targetName);
    auto created = createTemporary(folder, targetName);
    if (!created)
        return created.status();
    TemporaryFile temporary{std::move(created->first), created->second};
    const auto sink = detail::fileSink(temporary.handle, temporary.path);
    if (Status s = sink->write(bytes); !s)
        return s;
    if (Status s = sink->flush(); !s)
        return s;
    const detail::FileHandle handle = std::exchange(temporary.handle, TemporaryFile::kClosed);
    if (Status s = detail::closeFile(handle, temporary.path); !s)
        return s;
    return use(temporary.path);
}

}  // namespace platform::files
