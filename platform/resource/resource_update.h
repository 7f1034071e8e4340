// Our portable PE resource update: the stand-in for BeginUpdateResourceA,
// UpdateResourceA and EndUpdateResourceA. Nothing reaches the disk before
// commit(), and commit() replaces the image atomically.
#pragma once

#include <concepts>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "platform/files/files.h"
#include "platform/resource/resource_types.h"
#include "platform/result.h"

namespace platform::resource {

// What becomes of the resources the image already holds: deleted, so that
// the commit writes only what was added, or kept, so that additions join
// or replace them.
enum class Existing { Delete, Keep };

class Update {
  public:
    // Reads and validates the image; changes nothing on disk. An Error says
    // why the file cannot be updated ("not a PE file: bad signature at 0x80").
    static Result<Update> begin(const std::filesystem::path& image, Existing existing);
    // The same over bytes in memory (used by commitToMemory and the fuzzer).
    static Result<Update> beginFromBytes(std::vector<std::byte> image, Existing existing);

    // The machine the image is built for (its file header's Machine).
    std::uint16_t machine() const;

    // Adds a resource to the pending update, copying `data`. The same type,
    // name and language added again replaces the earlier data.
    void add(const ResourceName& type, const ResourceName& name, std::uint16_t language,
             std::span<const std::byte> data);
    // The same, taking over `data` instead of copying it: a caller that has
    // read a large file hands its block in without a second copy. (A template
    // taking only an rvalue vector, so that `add(..., {})` still means an
    // empty span.)
    template <typename Data>
    requires std::same_as<Data, std::vector<std::byte>>
    void add(const ResourceName& type, const ResourceName& name, std::uint16_t language,
             Data&& data) {
        take(type, name, language, std::move(data));
    }

    // Adds a resource whose data is a view into a block it shares with other
    // resources, without a copy. Resources added with the same view get one
    // data block in the image, as many entries pointing at it.
    void addShared(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                   SharedBytes data);

    // Takes a pending resource back out, as if it had never been added;
    // one not pending is no fault.
    void remove(const ResourceName& type, const ResourceName& name, std::uint16_t language);

    // Adds a resource whose data stays in a measured file: commit() reads it
    // once, as it writes the image, and fails, changing nothing, if the file
    // is no longer the one measured (another file under the name, or its
    // size or times changed, before or during that read) or yields more or
    // fewer bytes than measured.
    void addFile(const ResourceName& type, const ResourceName& name, std::uint16_t language,
                 FileData file);

    // Builds the new image and replaces the file atomically (temporary file,
    // read back and validated, flushed, renamed). On failure the file is as
    // it was. The read-back reads the parts that say what the image holds:
    // the file's size, its headers with the checksum as written, and the
    // resource tree, which must list the resources added at their places.
    // It does not read the resource data again: that was written from memory,
    // or from a file read once and shown unchanged by its stamp.
    // As EndUpdateResource ends its handle, commit() ends the update: the
    // pending data moves into the new image, and later commits are refused.
    // `beforeReplace`, when given, runs last on the written, verified and
    // closed temporary file, just before it replaces the image; an Error from
    // it fails the commit, the image as it was.
    Result<CommitReport> commit(const files::Verifier& beforeReplace = {});
    // Builds the new image in memory only; the update stays as it was.
    Result<std::vector<std::byte>> commitToMemory(CommitReport* report = nullptr) const;

    Update(Update&&) noexcept;
    Update& operator=(Update&&) noexcept;
    ~Update();

  private:
    struct State;
    explicit Update(std::unique_ptr<State> state);
    void take(const ResourceName& type, const ResourceName& name, std::uint16_t language,
              std::vector<std::byte> data);
    std::unique_ptr<State> state_;
};

// Lists the resources of an image, in tree order (type, name, language).
Result<std::vector<ListedResource>> listResources(std::span<const std::byte> image);
Result<std::vector<ListedResource>> listResources(const std::filesystem::path& image);

// Copies a listed resource's bytes out of the image.
Result<std::vector<std::byte>> resourceData(std::span<const std::byte> image,
                                            const ListedResource& resource);

}  // namespace platform::resource
