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
    struct Part {
        std::uint64_t offset = 0;
        std::uint64_t size = 0;
    };
    std::span<const std::byte> frame;  // the whole image, its data areas left alone
    std::vector<Data> data;            // one per block, in tree order, which is also file order
    // What the tree lists, in tree order: each resource with its data's
    // place (resources sharing a block share it).
    std::vector<ListedResource> resources;
    // The parts that say what the image holds and where: the headers (with
    // the data directories and the section table), and the resource tree's
    // directories, names and data entries, which come before its data.
    std::vector<Part> structure;
    std::uint64_t checkSumOffset = 0;  // the field, zero in `frame`
};

// Phase one and most of phase two: lays the image out and writes all but the
// resource data into memory from `memory`.
Result<BuiltImage> buildImage(const PeImage& image, std::span<const std::byte> bytes,
                              const ResourceMap& resources, CommitReport* report,
                              const ImageMemory& memory);

// Writes a built image into `sink` in one pass: the frame with the data
// streamed in at its places, the PE checksum summed on the way and written
// into its field at the end; returns that checksum. `copied` hears of each
// piece of resource data in memory once it is written. A file's data is
// read once, in chunks, summed and written on its way; it must still be the
// file measured (its stamp the same when opened and once read to its end)
// and yield exactly the bytes measured, else the write fails as
// changedWhileUpdating.
Result<std::uint32_t> writeImage(const BuiltImage& built, files::ByteSink& sink,
                                 const DataCopied& copied = {});

// Reads the written `file` back where it says what it holds: its size, and
// the structure parts, which must hold the frame's bytes with the checksum
// in its field, and parse into a tree that lists the built resources at
// their places. The resource data is not read again: each block was written
// from its owner, and a file's from a read that showed it unchanged.
Status readBack(const std::filesystem::path& file, const BuiltImage& built, std::uint32_t checkSum);

// The failure for a measured file whose bytes are no longer those measured.
Error changedWhileUpdating(const std::filesystem::path& file);

}  // namespace platform::resource
