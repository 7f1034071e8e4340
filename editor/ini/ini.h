// The editor's INI access routines. Every key the editor reads passes through
// ReadINI. WriteINI writes one key and WriteIniSection adds one line to a
// section, each as a step on an in-memory batch that the caller commits once:
// writeInstallRecord (install_record.h) writes a whole record that way, so
// that its file is replaced whole or not at all.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

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

// Makes Key hold Value in File (Document::setValue's rules). A refused value
// (a line break in it, say) changes nothing and says why.
platform::Status WriteINI(platform::profile::Batch& File, std::string_view Section,
                          std::string_view Key, std::string_view Value);

// Adds Text as one line of its own at the end of Section, creating the section
// at the end of the file (Document::appendLine). A line that reads as a
// section header ("[1] notes.txt") ends the section for the next call, so a
// writer of consecutive lines adds the later ones with Batch::addLastLine.
platform::Status WriteIniSection(platform::profile::Batch& File, std::string_view Section,
                                 std::string_view Text);

}  // namespace editor_ini
