// Building the updated image: placing the new resource section, moving what
// has to move, and writing headers, sections and trailing data in one pass.
#pragma once

#include <cstddef>
#include <functional>
#include <span>
#include <vector>

#include "platform/files/files.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"
#include "platform/resource/resource_types.h"

namespace platform::resource {

// Memory for the new image, asked for once its size is known. It must come
// zero-filled: the writer leaves padding untouched, and the pages of the
// resource data are never touched at all. An empty span refuses.
using ImageMemory = std::function<std::span<std::byte>(std::uint64_t size)>;

// The updated image as built: every byte but the resource data, which stays
// with its owner until it is streamed in at its place.
struct BuiltImage {
    struct Data {
        std::uint64_t offset = 0;  // in the image
        std::span<const std::byte> bytes;
        const FileData* file = nullptr;  // instead of `bytes`
        std::size_t resource = 0;        // the first resource, in tree order, whose data it is
        std::uint64_t size() const { return file ? file->size : bytes.size(); }
    };
    std::span<const std::byte> frame;  // the whole image, its data areas left alone
    std::vector<Data> data;            // one per block, in tree order, which is also file order
    std::vector<std::uint64_t> resourceOffsets;  // each resource's data in the image, in tree
                                                 // order; resources sharing a block share it
    std::uint64_t checkSumOffset = 0;            // the field, zero in `frame`
};

// Phase one and most of phase two: lays the image out and writes all but the
// resource data into memory from `memory`.
Result<BuiltImage> buildImage(const PeImage& image, std::span<const std::byte> bytes,
                              const ResourceMap& resources, CommitReport* report,
                              const ImageMemory& memory);

// What writeImage wrote: the checksum, and the image cut into regions that
// together cover it, each with the digest it must read back as (the
// checksum field counted as zero). A file's data is a region of its own,
// whose digest is the one taken when the file was measured.
struct WrittenImage {
    struct Region {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
        std::uint64_t digest = 0;
        const FileData* file = nullptr;  // the file whose data this is, if any
    };
    std::uint32_t checkSum = 0;
    std::vector<Region> regions;  // in file order, none empty
};

// Writes a built image into `sink` in one pass: the frame with the data
// streamed in at its places, the PE checksum summed on the way and written
// into its field at the end. `copied` hears of each piece of resource data
// in memory once it is written. A file's data is copied from the file (by
// the kernel where it can) and summed from its measurement; a file that
// holds fewer or more bytes than measured fails the write. That its bytes
// are the ones measured shows when the regions are read back.
Result<WrittenImage> writeImage(const BuiltImage& built, files::ByteSink& sink,
                                const DataCopied& copied = {});

// The failure for a measured file whose bytes are no longer those measured.
Error changedWhileUpdating(const std::filesystem::path& file);

}  // namespace platform::resource
