// One install-info record as the editor's windows hold it, and the two ways it
// is written: Save's fresh file and a backup file updated in place. Both write
// the same keys in the same order with the same Warning rule, through one
// in-memory batch and one atomic replacement of the file.
#pragma once

#include <array>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "common/install_info.h"
#include "platform/result.h"

namespace editor_ini {

struct InstallRecord {
    // Indexed by install_info::FieldIndex; the texts as the window shows them
    // (Warning may hold "No Warning").
    std::array<std::string, install_info::kFieldOrder.size()> values;
    std::vector<std::string> extraFiles;
};

enum class WriteMode {
    // As if the file had been deleted first: the result holds exactly the
    // seven keys, the updater's signing command where the file had one, and,
    // for a non-empty list, the Extrafiles section.
    FreshFile,
    // The seven keys are set in place, an existing Extrafiles section is
    // removed and rebuilt at the end; everything else in the file stays.
    UpdateInPlace,
};

// Called with the index of each extra-file entry as it is written, so a
// window can select it (the last entry ends selected).
using EntryWritten = std::function<void(std::size_t index)>;

// Runs once everything has been checked and is ready to be written, right
// before the file is replaced; a failure there writes nothing. Save keeps its
// copy of the previous file here, so that a refused record leaves the copy alone.
using BeforeCommit = std::function<platform::Status()>;

// Byte for byte what WriteINI for each key and WriteIniSection for each entry
// would leave, each committed on its own, except that the extra files keep
// their order even after an entry that reads as a section header
// (WriteIniSection would put the later entries in front of it). The file is
// written in the ANSI code page, CR LF, no byte-order mark; an existing file
// (UpdateInPlace) is read in whatever encoding it has and its other lines are
// rewritten in the code page too. A value or entry the file cannot hold (a line
// break, a character the code page cannot hold) fails the whole write, and so
// does another line of an existing file the code page cannot hold. A failure
// says what could not be written (the key, the extra file's position and text,
// or the line, with the character and the code page) without naming `file`,
// which the caller's message does, and leaves the file as it was.
platform::Status writeInstallRecord(const std::filesystem::path& file, const InstallRecord& record,
                                    WriteMode mode, const EntryWritten& onEntryWritten = {},
                                    const BeforeCommit& beforeCommit = {});

// An install-info or backup file's text as UTF-8, whatever its encoding
// (platform::text::decodeTextFile with the ANSI code page): what the
// extra-file scan reads.
platform::Result<std::string> readInstallInfoText(const std::filesystem::path& file);

// The extra-file scan of a loaded file: every whole line after the first line
// that is exactly "[Extrafiles]" (letter case included), to the end of the
// text. CR LF, LF and CR end a line; a blank line is an empty entry; the line
// end of the last line does not make one. nullopt when there is no such header.
std::optional<std::vector<std::string>> scanExtraFiles(std::string_view fileText);

}  // namespace editor_ini
