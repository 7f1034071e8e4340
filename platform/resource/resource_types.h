// The values that pass between the public update interface and the layers
// that read and write the tree and the image, kept apart from both so that
// neither has to include the other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <variant>
#include <vector>

#include "platform/files/files.h"
#include "platform/result.h"

namespace platform::resource {

inline constexpr std::uint16_t kTypeIcon = 3;        // RT_ICON
inline constexpr std::uint16_t kTypeRcData = 10;     // RT_RCDATA
inline constexpr std::uint16_t kTypeGroupIcon = 14;  // RT_GROUP_ICON
inline constexpr std::uint16_t kLanguageNeutral = 0;

// A resource type or name: a 16-bit ID or a string (stored upper-cased, as
// the Windows loader looks names up).
using ResourceName = std::variant<std::uint16_t, std::u16string>;

// Where the new resource tree went.
enum class Placement {
    Resize,   // the resource section was last and grew or shrank
    Move,     // the sections after the resource section moved
    InPlace,  // the tree fit the old resource section
    Append,   // a new section at the end
};

struct CommitReport {
    bool signatureRemoved = false;  // the image carried a certificate table
    Placement placement = Placement::Append;
};

// Resource data left in its file until commit, which reads it once as it
// writes the image: the path, the size, and the stamp that tells a change
// without reading the bytes.
struct FileData {
    std::filesystem::path path;
    std::uint64_t size = 0;
    files::FileStamp stamp;  // as measured; its size is `size`

    // Opens a regular file, as a read would, and takes its stamp; reads none
    // of its bytes.
    static Result<FileData> measure(const std::filesystem::path& path);
};

// Bytes that several resources hold without a copy each: a view into a
// block that `owner` keeps alive. Resources added with the same view (the
// same bytes, not merely equal ones) get one data block in the image, their
// data entries pointing at it.
struct SharedBytes {
    std::shared_ptr<const std::vector<std::byte>> owner;
    std::span<const std::byte> bytes;  // inside *owner
};

struct ListedResource {
    ResourceName type;
    ResourceName name;
    std::uint16_t language = 0;
    std::uint32_t size = 0;
    std::uint32_t dataRva = 0;     // where the data lies in the image's address space
    std::uint64_t fileOffset = 0;  // and in the file
};

}  // namespace platform::resource
