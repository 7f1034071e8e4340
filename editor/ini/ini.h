// The editor's INI access routines. Every key the editor reads or writes, and
// every line it adds to a section, passes through these three.
#pragma once

#include <cstdint>
#include <string>

#include "platform/profile/profile.h"

namespace editor_ini {

// Reads one key into a private 300-character buffer. Size must lie between 1
// and 300 (it is clamped to that range). Gives Default when nothing was
// copied (missing file, section or key, or an empty value); otherwise at most
// Size - 1 bytes of the value, less a UTF-8 character the cut split, then
// blanks (U+0020 only) removed from both ends.
std::string ReadINI(const std::string& FileName, const std::string& Section, const std::string& Key,
                    const std::string& Default, std::int32_t Size);

// The same rules on a file already read into memory, for callers that read
// many keys of one file.
std::string ReadINI(const platform::profile::Document& File, const std::string& Section,
                    const std::string& Key, const std::string& Default, std::int32_t Size);

// Makes Key hold Value. Reports nothing: a refused write leaves the file as it was.
void WriteINI(const std::string& FileName, const std::string& Section, const std::string& Key,
              const std::string& Value);

// Adds Text as one line of its own at the end of Section (creating the section
// at the end of the file, or the file). Reports nothing.
void WriteIniSection(const std::string& FileName, const std::string& Section,
                     const std::string& Text);

}  // namespace editor_ini
