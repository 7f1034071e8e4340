// The editor's INI access routines. Every key the editor reads passes through
// ReadINI. WriteINI and WriteIniSection write one key or one line per call and
// commit the file each time; Save and the backups write through
// writeInstallRecord (install_record.h) instead, and the tests use these two
// as the reference for the bytes it must leave.
#pragma once

#include <cstdint>
#include <string>

#include "platform/profile/profile.h"
#include "platform/text/codepage.h"

namespace editor_ini {

// The size every read of the editor passes to ReadINI: a value keeps at most
// 99 bytes in the ANSI code page.
inline constexpr std::int32_t kReadSize = 100;

// Reads one key. Size must lie between 1 and 300 (it is clamped to that
// range). Gives Default when nothing was copied (missing file, section or
// key, or an empty value); otherwise as much of the value as takes at most
// Size - 1 bytes in the ANSI code page `codePage`, in whole characters, then
// blanks (U+0020 only) removed from both ends. The file is read in whatever
// encoding it has (Document::loadText); the result is UTF-8.
std::string ReadINI(const std::string& FileName, const std::string& Section, const std::string& Key,
                    const std::string& Default, std::int32_t Size,
                    unsigned codePage = platform::text::ansiCodePage());

// The same rules on a file already read into memory (Document::loadText or
// decode: UTF-8 text), for callers that read many keys of one file.
std::string ReadINI(const platform::profile::Document& File, const std::string& Section,
                    const std::string& Key, const std::string& Default, std::int32_t Size,
                    unsigned codePage = platform::text::ansiCodePage());

// Makes Key hold Value, writing the file in the ANSI code page. Reports
// nothing: a refused write leaves the file as it was.
void WriteINI(const std::string& FileName, const std::string& Section, const std::string& Key,
              const std::string& Value);

// Adds Text as one line of its own at the end of Section (creating the section
// at the end of the file, or the file). Reports nothing.
void WriteIniSection(const std::string& FileName, const std::string& Section,
                     const std::string& Text);

}  // namespace editor_ini
