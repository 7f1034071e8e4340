#include "platform/resource/version_info.h"

#include <cstdio>
#include <cstring>
#include <string_view>

#include "platform/bytes/byte_io.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_update.h"

namespace platform::resource {

namespace {

using bytes::ByteReader;
using bytes::rangeFits;

struct BlockHeader {
    std::uint16_t length;       // the whole block with its children, not the padding after it
    std::uint16_t valueLength;  // in bytes for a binary value, in UTF-16 units for a text
    std::uint16_t type;         // kValueBinary or kValueText
};
static_assert(sizeof(BlockHeader) == 6);

// VS_FIXEDFILEINFO, the value of the VS_VERSION_INFO block.
struct FixedFileInfo {
    std::uint32_t signature;
    std::uint32_t structVersion;
    std::uint32_t fileVersionMs;  // major << 16 | minor
    std::uint32_t fileVersionLs;  // build << 16 | revision
    std::uint32_t productVersionMs;
    std::uint32_t productVersionLs;
    std::uint32_t fileFlagsMask;
    std::uint32_t fileFlags;
    std::uint32_t fileOs;
    std::uint32_t fileType;
    std::uint32_t fileSubtype;
    std::uint32_t fileDateMs;
    std::uint32_t fileDateLs;
};
static_assert(sizeof(FixedFileInfo) == 52);

inline constexpr std::uint32_t kFixedInfoSignature = 0xFEEF04BD;
inline constexpr std::uint32_t kFixedInfoStructVersion = 0x00010000;
inline constexpr std::uint32_t kFileFlagsMask = 0x3F;         // VS_FFI_FILEFLAGSMASK
inline constexpr std::uint32_t kFileOsNtWindows32 = 0x40004;  // VOS_NT_WINDOWS32
inline constexpr std::uint32_t kFileTypeApp = 1;              // VFT_APP
inline constexpr std::uint16_t kValueBinary = 0;
inline constexpr std::uint16_t kValueText = 1;
inline constexpr std::uint16_t kLanguageUsEnglish = 0x0409;
inline constexpr std::uint16_t kCodePageUtf16 = 1200;

std::uint64_t align4(std::uint64_t offset) {
    return alignUp(offset, 4);
}

Error damaged(const std::string& what) {
    return Error{"damaged version resource: " + what, ErrorKind::BadFormat};
}

// A key as a message shows it: ASCII as it stands, anything else escaped.
std::string shown(std::u16string_view text) {
    std::string out = "\"";
    for (char16_t unit : text) {
        if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
            out += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            out += escaped;
        }
    }
    return out + "\"";
}

// Keys are compared as VerQueryValue compares them, ignoring ASCII letter case.
bool sameKey(std::u16string_view a, std::u16string_view b) {
    const auto lower = [](char16_t c) {
        return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
    };
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (lower(a[i]) != lower(b[i]))
            return false;
    }
    return true;
}

// One block, as read: where it lies, its key, and where its value and its
// children begin. Offsets count from the start of the resource.
struct Block {
    std::uint64_t start = 0;
    std::uint64_t end = 0;
    std::u16string key;
    std::uint16_t valueLength = 0;
    std::uint64_t valueStart = 0;
    std::uint64_t childrenStart = 0;
};

// Reads the block at `start`, which must end by `limit`, its parent's end.
Result<Block> readBlock(const ByteReader& reader, std::uint64_t start, std::uint64_t limit) {
    const auto header = reader.read<BlockHeader>(start);
    if (!header || !rangeFits(start, sizeof(BlockHeader), limit))
        return damaged("the block at " + hex(start) + " runs past the end at " + hex(limit));
    if (header->length < sizeof(BlockHeader)) {
        return damaged("the block at " + hex(start) + " says it is " +
                       std::to_string(header->length) + " bytes long, shorter than its " +
                       std::to_string(sizeof(BlockHeader)) + "-byte header");
    }
    if (!rangeFits(start, header->length, limit)) {
        return damaged("the block at " + hex(start) + " is " + std::to_string(header->length) +
                       " bytes long, past the end at " + hex(limit));
    }
    Block block;
    block.start = start;
    block.end = start + header->length;
    block.valueLength = header->valueLength;
    std::uint64_t at = start + sizeof(BlockHeader);
    for (;; at += 2) {
        const auto unit = reader.read<char16_t>(at);
        if (!unit || !rangeFits(at, 2, block.end))
            return damaged("the key of the block at " + hex(start) + " has no end");
        if (*unit == 0)
            break;
        block.key += *unit;
    }
    block.valueStart = align4(at + 2);
    const std::uint64_t valueBytes =
        header->type == kValueText ? 2 * std::uint64_t{header->valueLength} : header->valueLength;
    block.childrenStart = align4(block.valueStart + valueBytes);
    return block;
}

// Whether nothing but zero bytes lies in [from, to): padding that some
// writers leave at the end of a block, where no child begins.
bool onlyZeros(const ByteReader& reader, std::uint64_t from, std::uint64_t to) {
    const auto rest = reader.slice(from, to - from);
    if (!rest)
        return false;
    for (std::byte b : *rest) {
        if (b != std::byte{0})
            return false;
    }
    return true;
}

Result<std::vector<Block>> childrenOf(const ByteReader& reader, const Block& parent) {
    std::vector<Block> children;
    // Each child lies on a 32-bit boundary after its elder sibling; a child is
    // at least its header long, so the walk always moves on.
    for (std::uint64_t at = align4(parent.childrenStart); at < parent.end; at = align4(at)) {
        if (onlyZeros(reader, at, parent.end))
            break;
        auto child = readBlock(reader, at, parent.end);
        if (!child)
            return child.error();
        at = child->end;
        children.push_back(std::move(*child));
    }
    return children;
}

// A string's value: UTF-16 units up to its NUL. Writers disagree on whether
// the value length counts bytes or units, so the text is read up to its NUL
// or the end of its block, whichever comes first.
std::u16string textOf(const ByteReader& reader, const Block& block) {
    std::u16string text;
    if (block.valueLength == 0)
        return text;
    for (std::uint64_t at = block.valueStart; rangeFits(at, 2, block.end); at += 2) {
        const auto unit = reader.read<char16_t>(at);
        if (!unit || *unit == 0)
            break;
        text += *unit;
    }
    return text;
}

VersionNumbers numbersOf(std::uint32_t ms, std::uint32_t ls) {
    return {static_cast<std::uint16_t>(ms >> 16), static_cast<std::uint16_t>(ms),
            static_cast<std::uint16_t>(ls >> 16), static_cast<std::uint16_t>(ls)};
}

Status readFixedInfo(const ByteReader& reader, const Block& root, VersionInfo& info) {
    // A version block without fixed file info is allowed; its numbers read as 0.
    if (root.valueLength == 0)
        return {};
    if (root.valueLength != sizeof(FixedFileInfo)) {
        return damaged("its fixed file info is " + std::to_string(root.valueLength) +
                       " bytes long, not " + std::to_string(sizeof(FixedFileInfo)));
    }
    const auto fixed = reader.read<FixedFileInfo>(root.valueStart);
    if (!fixed || !rangeFits(root.valueStart, sizeof(FixedFileInfo), root.end)) {
        return damaged("its fixed file info at " + hex(root.valueStart) + " runs past the end at " +
                       hex(root.end));
    }
    if (fixed->signature != kFixedInfoSignature) {
        return damaged("its fixed file info at " + hex(root.valueStart) + " has signature " +
                       hex(fixed->signature) + ", not " + hex(kFixedInfoSignature));
    }
    info.fileVersion = numbersOf(fixed->fileVersionMs, fixed->fileVersionLs);
    info.productVersion = numbersOf(fixed->productVersionMs, fixed->productVersionLs);
    return {};
}

Status readStrings(const ByteReader& reader, const Block& root, VersionInfo& info) {
    auto sections = childrenOf(reader, root);
    if (!sections)
        return sections.error();
    // StringFileInfo and VarFileInfo may come in either order.
    for (const Block& section : *sections) {
        if (!sameKey(section.key, u"StringFileInfo"))
            continue;
        auto tables = childrenOf(reader, section);
        if (!tables)
            return tables.error();
        if (tables->empty())
            return {};
        auto strings = childrenOf(reader, tables->front());
        if (!strings)
            return strings.error();
        const std::pair<std::u16string_view, std::u16string*> wanted[] = {
            {u"CompanyName", &info.companyName},
            {u"FileDescription", &info.fileDescription},
            {u"LegalCopyright", &info.legalCopyright},
            {u"ProductName", &info.productName},
            {u"ProductVersion", &info.productVersionText}};
        for (const Block& string : *strings) {
            for (const auto& [key, value] : wanted) {
                if (sameKey(string.key, key) && value->empty())
                    *value = textOf(reader, string);
            }
        }
        return {};
    }
    return {};
}

// Appends blocks, each on its 32-bit boundary, and fills in each block's
// length when it is closed.
class BlockWriter {
  public:
    // Starts a block: its header (the length left for close), its key and its value.
    std::size_t open(std::u16string_view key, std::uint16_t type, std::span<const std::byte> value,
                     std::size_t valueLength) {
        pad();
        const std::size_t start = out_.size();
        tooLong_ = tooLong_ || valueLength > 0xFFFF;
        const BlockHeader header{0, static_cast<std::uint16_t>(valueLength), type};
        append(std::as_bytes(std::span(&header, 1)));
        appendText(key);
        pad();
        append(value);
        return start;
    }
    // A block's length ends with its last child: the padding after it
    // belongs to the parent, as rc and windres count it.
    void close(std::size_t start) {
        const std::size_t length = out_.size() - start;
        tooLong_ = tooLong_ || length > 0xFFFF;
        const auto stored = static_cast<std::uint16_t>(length);
        std::memcpy(out_.data() + start, &stored, sizeof stored);
    }
    void addString(std::u16string_view key, std::u16string_view value) {
        std::vector<std::byte> text;
        appendText(value, text);
        close(open(key, kValueText, text, value.size() + 1));  // units, with the NUL
    }
    bool tooLong() const { return tooLong_; }
    std::vector<std::byte> take() { return std::move(out_); }

  private:
    void pad() { out_.resize(static_cast<std::size_t>(align4(out_.size()))); }
    void append(std::span<const std::byte> bytes) {
        out_.insert(out_.end(), bytes.begin(), bytes.end());
    }
    void appendText(std::u16string_view text) { appendText(text, out_); }
    static void appendText(std::u16string_view text, std::vector<std::byte>& out) {
        const auto bytes = std::as_bytes(std::span(text.data(), text.size()));
        out.insert(out.end(), bytes.begin(), bytes.end());
        out.resize(out.size() + sizeof(char16_t));  // the NUL
    }

    std::vector<std::byte> out_;
    bool tooLong_ = false;
};

std::uint32_t highWord(const VersionNumbers& v) {
    return std::uint32_t{v[0]} << 16 | v[1];
}
std::uint32_t lowWord(const VersionNumbers& v) {
    return std::uint32_t{v[2]} << 16 | v[3];
}

std::u16string ascii(const std::string& text) {
    return std::u16string(text.begin(), text.end());
}

}  // namespace

std::u16string versionText(const VersionNumbers& numbers) {
    return ascii(std::to_string(numbers[0]) + "." + std::to_string(numbers[1]) + "." +
                 std::to_string(numbers[2]) + "." + std::to_string(numbers[3]));
}

Result<VersionInfo> parseVersionInfo(std::span<const std::byte> bytes) {
    const ByteReader reader(bytes);
    auto root = readBlock(reader, 0, reader.size());
    if (!root)
        return root.error();
    if (!sameKey(root->key, u"VS_VERSION_INFO"))
        return damaged("its first block is " + shown(root->key) + ", not \"VS_VERSION_INFO\"");
    // The fixed file info is binary whatever the block's type says.
    root->childrenStart = align4(root->valueStart + root->valueLength);
    VersionInfo info;
    if (Status s = readFixedInfo(reader, *root, info); !s)
        return s.error();
    if (Status s = readStrings(reader, *root, info); !s)
        return s.error();
    return info;
}

Result<std::optional<VersionInfo>> readVersionInfo(std::span<const std::byte> image) {
    auto listed = listResources(image);
    if (!listed)
        return listed.error();
    // In tree order: the first name, then its first language.
    for (const ListedResource& resource : *listed) {
        const auto* type = std::get_if<std::uint16_t>(&resource.type);
        if (type == nullptr || *type != kTypeVersion)
            continue;
        auto data = resourceData(image, resource);
        if (!data)
            return data.error();
        auto info = parseVersionInfo(*data);
        if (!info)
            return info.error();
        return std::optional<VersionInfo>(std::move(*info));
    }
    return std::optional<VersionInfo>();
}

Result<std::vector<std::byte>> buildVersionInfo(const VersionInfo& info) {
    const FixedFileInfo fixed{kFixedInfoSignature,
                              kFixedInfoStructVersion,
                              highWord(info.fileVersion),
                              lowWord(info.fileVersion),
                              highWord(info.productVersion),
                              lowWord(info.productVersion),
                              kFileFlagsMask,
                              0,
                              kFileOsNtWindows32,
                              kFileTypeApp,
                              0,
                              0,
                              0};
    char table[9];
    std::snprintf(table, sizeof table, "%04X%04X", unsigned{kLanguageUsEnglish},
                  unsigned{kCodePageUtf16});
    const std::u16string fileVersion = versionText(info.fileVersion);
    const std::u16string productVersion = info.productVersionText.empty()
                                              ? versionText(info.productVersion)
                                              : info.productVersionText;
    struct Entry {
        std::u16string_view key;
        const std::u16string& value;
        bool leftOutWhenEmpty;
    };
    const Entry strings[] = {{u"CompanyName", info.companyName, true},
                             {u"FileDescription", info.fileDescription, false},
                             {u"FileVersion", fileVersion, false},
                             {u"LegalCopyright", info.legalCopyright, true},
                             {u"ProductName", info.productName, false},
                             {u"ProductVersion", productVersion, false}};

    BlockWriter out;
    const std::size_t root = out.open(u"VS_VERSION_INFO", kValueBinary,
                                      std::as_bytes(std::span(&fixed, 1)), sizeof fixed);
    const std::size_t stringFileInfo = out.open(u"StringFileInfo", kValueText, {}, 0);
    const std::size_t stringTable = out.open(ascii(table), kValueText, {}, 0);
    for (const Entry& entry : strings) {
        if (!(entry.leftOutWhenEmpty && entry.value.empty()))
            out.addString(entry.key, entry.value);
    }
    out.close(stringTable);
    out.close(stringFileInfo);
    const std::size_t varFileInfo = out.open(u"VarFileInfo", kValueText, {}, 0);
    const std::uint16_t translation[] = {kLanguageUsEnglish, kCodePageUtf16};
    out.close(out.open(u"Translation", kValueBinary, std::as_bytes(std::span(translation)),
                       sizeof translation));
    out.close(varFileInfo);
    out.close(root);
    if (out.tooLong()) {
        return Error{
            "the version resource's texts are too long: a version block holds at most "
            "65535 bytes",
            ErrorKind::Unsupported};
    }
    return out.take();
}

}  // namespace platform::resource
