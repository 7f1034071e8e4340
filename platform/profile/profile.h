// Our profile (INI) routines: the portable stand-in for the Windows calls
// GetPrivateProfileStringA, GetPrivateProfileSectionA and
// WritePrivateProfileStringA, plus appending a bare line to a section.
//
// Files are 8-bit text; bytes pass through unchanged. Lines end in CR LF when
// written; CR LF, LF and CR are accepted when read. Section and key names
// match without regard to ASCII letter case; the first match wins.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/result.h"

namespace platform::profile {

// An INI file held in memory. Every line keeps its bytes; a write changes
// only the line it must change (or adds lines), so serialising a document
// that was only read gives back the bytes it was parsed from.
class Document {
public:
    Document() = default;
    static Document parse(std::string_view bytes);
    // A missing file gives an empty document; an unreadable one an Error.
    static Result<Document> load(const std::filesystem::path& path);

    std::string serialize() const;

    // The value of `key` in `section`, blanks around it removed; nullopt when
    // the section or the key is absent. A bare line (no '=') is not a key.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Every non-blank, non-comment line of the first matching section, whole,
    // in file order. Empty when the section is absent.
    std::vector<std::string> sectionLines(std::string_view section) const;

    // WritePrivateProfileStringA's rules; refuses CR, LF or NUL in any argument.
    Status setValue(std::string_view section, std::string_view key, std::string_view value);
    // Adds `text` as a line of its own after the section's last non-blank line,
    // or a new section (header, then the line) at the end of the document.
    Status appendLine(std::string_view section, std::string_view text);

private:
    std::vector<std::string> lines_;  // each line's bytes, without its line end
    bool endsWithLineBreak_ = false;  // whether the last line had a line end
};

// GetPrivateProfileStringA: copies at most size - 1 characters of the value
// (or of `defaultValue` when the file, section or key is missing) into
// `buffer` and ends them with a NUL. `size` is clamped to buffer.size().
// Returns the number of characters copied, without the NUL.
std::size_t getString(std::string_view section, std::string_view key,
                      std::string_view defaultValue, std::span<char> buffer, std::size_t size,
                      const std::filesystem::path& file);

// GetPrivateProfileSectionA: the section's lines, each followed by a NUL,
// then one more NUL; returns the bytes before that last NUL. A buffer too
// small is cut as Windows does (returns size - 2, ends in two NULs).
// An absent or empty section gives 0 and a NUL in the first byte.
std::size_t getSection(std::string_view section, std::span<char> buffer, std::size_t size,
                       const std::filesystem::path& file);

// WritePrivateProfileStringA, replacing the file atomically. Creates a missing
// file; a missing folder or an unwritable file is a reported failure and the
// file stays as it was.
Status writeString(std::string_view section, std::string_view key, std::string_view value,
                   const std::filesystem::path& file);

// Appends one bare line to a section (see Document::appendLine), atomically.
Status appendLine(std::string_view section, std::string_view text,
                  const std::filesystem::path& file);

// Many writes to one file, committed once. The result is byte for byte what
// the same single calls would have left, issued one after another.
class Batch {
public:
    enum class Start { FromFile, Empty };
    // Start::Empty treats the file as if it had been deleted first.
    explicit Batch(std::filesystem::path file, Start start = Start::FromFile);

    Status setValue(std::string_view section, std::string_view key, std::string_view value);
    Status appendLine(std::string_view section, std::string_view text);
    // Writes the document atomically; reports the first failure of any step.
    Status commit();

private:
    std::filesystem::path file_;
    Start start_;
    Document document_;
    Status firstError_;
    bool loaded_ = false;
};

}  // namespace platform::profile
