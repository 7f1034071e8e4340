// A PE file on disk, read no further than a question about it needs: the
// parts that its headers, exports and resources lie in, for a plugin that may
// be large; and the whole file once, to show that a signing tool added its
// certificate table and changed nothing else.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>

#include "platform/resource/pages.h"
#include "platform/result.h"

namespace platform::resource {

// The file as a span of its size in which only the headers and the sections
// holding the export directory and the resource tree were read; every other
// byte reads as zero. parseImage, exportsName and listResources read it as
// they read a whole file. A file that is no PE image reads as its headers'
// bytes alone, so that parseImage says why.
class ImageParts {
  public:
    static Result<ImageParts> read(const std::filesystem::path& path);
    std::span<const std::byte> bytes() const { return bytes_; }

  private:
    std::unique_ptr<ImageBuffer> memory_;
    std::span<const std::byte> bytes_;
};

// A program as written, before a signing tool sees it: its size, and a
// digest of its bytes with the checksum field and the certificate table's
// directory entry counted as zero, the two fields that signing rewrites.
struct ProgramPrint {
    std::uint64_t size = 0;
    std::uint64_t digest = 0;
};
Result<ProgramPrint> printProgram(const std::filesystem::path& path);

// Whether `path` is the printed program with a certificate table added: the
// same bytes up to the printed size but for those two fields, zeros after
// them up to the table, a table that ends the file where its directory
// entry says, and a right checksum. The Error says what differs.
Status checkSignedCopy(const ProgramPrint& before, const std::filesystem::path& path);

}  // namespace platform::resource
