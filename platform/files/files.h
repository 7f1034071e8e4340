// Whole-file reading and atomic replacement, shared by every layer that
// rewrites a file (profile writes, the resource commit, the editor's saves).
#pragma once

#include <cstddef>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace platform::files {

// Reads a whole file. A missing or unreadable file is an Error naming it.
Result<std::vector<std::byte>> readFile(const std::filesystem::path& path);
Result<std::string> readTextFile(const std::filesystem::path& path);

// Checks a fully written temporary file before it replaces the target.
using Verifier = std::function<Status(const std::filesystem::path& temporary)>;

// Writes `bytes` to a temporary file beside `target`, flushes it to disk,
// optionally lets `verify` inspect it, then renames it over `target`.
// An existing target keeps its permission bits; a new one gets 0644 less the umask.
// On any failure the target is untouched and the temporary file is removed.
Status replaceFile(const std::filesystem::path& target, std::span<const std::byte> bytes,
                   const Verifier& verify = {});
Status replaceFile(const std::filesystem::path& target, std::string_view text,
                   const Verifier& verify = {});

// Copies `from` over `to` atomically (same rules as replaceFile).
Status copyFile(const std::filesystem::path& from, const std::filesystem::path& to);

// Prefix of temporary files, so that tests and fault injection can find leftovers.
inline constexpr std::string_view kTemporaryPrefix = ".tamsel-tmp-";

}  // namespace platform::files
