#include "platform/resource/image_file.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <system_error>
#include <vector>

#include "platform/files/files.h"
#include "platform/resource/checksum.h"
#include "platform/resource/digest.h"
#include "platform/resource/pe_image.h"

namespace platform::resource {
namespace {
namespace fs = std::filesystem;

// Enough for the headers of every image a linker writes; a larger
// SizeOfHeaders is read in full once it is known.
constexpr std::uint64_t kHeaderGuess = 4096;

Status readRange(files::InputFile& input, std::span<std::byte> whole, std::uint64_t offset,
                 std::uint64_t size) {
    if (offset >= whole.size())
        return {};
    size = std::min<std::uint64_t>(size, whole.size() - offset);
    std::span<std::byte> target = whole.subspan(offset, static_cast<std::size_t>(size));
    while (!target.empty()) {
        auto got = input.readAt(offset, target);
        if (!got)
            return got.error();
        if (*got == 0)
            return Error{"cannot read " + files::utf8Name(input.path()) +
                             ": the file ended early; it is changing",
                         ErrorKind::Changed};
        target = target.subspan(*got);
        offset += *got;
    }
    return {};
}

// The raw data of the section holding `directory`, which may point anywhere
// in it (an export's names, a resource's data).
Status readSectionOf(files::InputFile& input, std::span<std::byte> whole, const PeImage& image,
                     std::uint32_t directory) {
    const pe::DataDirectory entry = image.directory(directory);
    if (entry.address == 0 || entry.size == 0)
        return {};
    const auto index = image.sectionOfRva(entry.address);
    if (!index)
        return {};
    const pe::SectionHeader& section = image.sections[*index];
    return readRange(input, whole, section.pointerToRawData, section.sizeOfRawData);
}

// The offsets in the file of the two fields signing rewrites, or none for
// bytes that are no PE image.
struct SigningFields {
    std::uint64_t checkSum = 0;
    std::uint64_t certificateEntry = 0;
    pe::DataDirectory certificates{};
};

Result<SigningFields> signingFields(const fs::path& path) {
    auto parts = ImageParts::read(path);
    if (!parts)
        return parts.error();
    auto image = parseImage(parts->bytes());
    if (!image)
        return image.error();
    if (image->directories.size() <= pe::kDirectorySecurity)
        return Error{"the program has no certificate table entry", ErrorKind::BadFormat};
    return SigningFields{image->optionalHeaderOffset + pe::kCheckSumOffset,
                         image->dataDirectoriesOffset +
                             std::uint64_t{pe::kDirectorySecurity} * sizeof(pe::DataDirectory),
                         image->directory(pe::kDirectorySecurity)};
}

// Zeroes the bytes [offset, offset + size) of the file where they fall in
// `piece`, which begins at `position`.
void zeroField(std::span<std::byte> piece, std::uint64_t position, std::uint64_t offset,
               std::uint64_t size) {
    for (std::uint64_t i = offset; i < offset + size; ++i)
        if (i >= position && i - position < piece.size())
            piece[static_cast<std::size_t>(i - position)] = std::byte{0};
}

// Reads the file through once, in chunks, handing each to `see` with its
// place in the file and the checksum field zeroed, as the checksum counts it.
template <typename See>
Status readThrough(const fs::path& path, const SigningFields& fields, See see) {
    constexpr std::size_t kChunk = std::size_t{1} << 17;
    const std::unique_ptr<std::byte[]> chunk(new std::byte[kChunk]);
    std::uint64_t position = 0;
    return files::readInChunks(path, {chunk.get(), kChunk},
                               [&](std::span<const std::byte> bytes) -> Status {
                                   // The chunk read is the start of our own buffer.
                                   std::span<std::byte> piece(chunk.get(), bytes.size());
                                   zeroField(piece, position, fields.checkSum, 4);
                                   see(position, piece);
                                   position += piece.size();
                                   return {};
                               });
}

Error notTheSame(const std::string& why) {
    return Error{"the signed file is not the program that was signed: " + why,
                 ErrorKind::Changed};
}

}  // namespace

Result<ImageParts> ImageParts::read(const fs::path& path) {
    auto opened = files::InputFile::open(path);
    if (!opened)
        return opened.error();
    std::error_code ec;
    const std::uint64_t size = fs::file_size(path, ec);
    if (ec)
        return files::fileError("cannot read", path, ec);
    ImageParts parts;
    parts.memory_ = std::make_unique<ImageBuffer>();
    if (size == 0)
        return parts;
    const std::span<std::byte> whole = parts.memory_->allocate(size);
    if (whole.empty())
        return Error{"not enough memory", ErrorKind::OutOfMemory};
    parts.bytes_ = whole;
    if (Status s = readRange(*opened, whole, 0, kHeaderGuess); !s)
        return s.error();
    auto image = parseImage(whole);
    if (!image || image->sizeOfHeaders > kHeaderGuess) {
        // The headers may reach further than the guess: read as far as they
        // say, or, for headers that do not parse, the first 64 KB, so
        // that the reason parseImage gives is about the file's own bytes.
        const std::uint64_t more = image ? image->sizeOfHeaders : std::uint64_t{1} << 16;
        if (Status s = readRange(*opened, whole, kHeaderGuess, more - std::min(more, kHeaderGuess));
            !s)
            return s.error();
        image = parseImage(whole);
        if (!image)
            return parts;
    }
    for (std::uint32_t directory : {pe::kDirectoryExport, pe::kDirectoryResource})
        if (Status s = readSectionOf(*opened, whole, *image, directory); !s)
            return s.error();
    return parts;
}

Result<ProgramPrint> printProgram(const fs::path& path) {
    auto fields = signingFields(path);
    if (!fields)
        return fields.error();
    ProgramPrint print;
    Digest digest;
    Status read = readThrough(path, *fields, [&](std::uint64_t at, std::span<std::byte> bytes) {
        zeroField(bytes, at, fields->certificateEntry, sizeof(pe::DataDirectory));
        digest.add(bytes);
        print.size += bytes.size();
    });
    if (!read)
        return read.error();
    print.digest = digest.value();
    return print;
}

Status checkSignedCopy(const ProgramPrint& before, const fs::path& path) {
    auto fields = signingFields(path);
    if (!fields)
        return notTheSame(fields.message());
    const pe::DataDirectory table = fields->certificates;
    // The table is 8-byte aligned after the program, and ends the file.
    const std::uint64_t start = table.address, end = start + std::uint64_t{table.size};
    if (table.size == 0 || start < before.size || start % 8 != 0)
        return notTheSame("no certificate table after the program's bytes");
    Digest digest;
    ChecksumSum checksum;
    std::uint64_t length = 0;
    bool paddingZero = true;
    Status read = readThrough(path, *fields, [&](std::uint64_t at, std::span<std::byte> bytes) {
        checksum.add(bytes);
        zeroField(bytes, at, fields->certificateEntry, sizeof(pe::DataDirectory));
        length += bytes.size();
        const std::uint64_t mine = at < before.size ? std::min<std::uint64_t>(bytes.size(), before.size - at) : 0;
        digest.add(bytes.first(static_cast<std::size_t>(mine)));
        for (std::uint64_t i = std::max(at, before.size); i < std::min(at + bytes.size(), start); ++i)
            paddingZero = paddingZero && bytes[static_cast<std::size_t>(i - at)] == std::byte{0};
    });
    if (!read)
        return read.error();
    if (length != end)
        return notTheSame("the certificate table does not end the file");
    if (digest.value() != before.digest)
        return notTheSame("its bytes differ");
    if (!paddingZero)
        return notTheSame("bytes were added before the certificate table");
    std::byte field[4];
    auto input = files::InputFile::open(path);
    if (!input)
        return input.error();
    auto got = input->readAt(fields->checkSum, field);
    if (!got || *got != sizeof field)
        return notTheSame("its checksum cannot be read");
    std::uint32_t stored;
    std::memcpy(&stored, field, sizeof stored);
    if (stored != checksum.value())
        return notTheSame("its checksum is wrong");
    return {};
}

}  // namespace platform::resource
