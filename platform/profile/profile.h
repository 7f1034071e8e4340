// Our profile (INI) routines: the portable stand-in for the Windows calls
// GetPrivateProfileStringA, GetPrivateProfileSectionA and
// WritePrivateProfileStringA, plus appending a bare line to a section.
//
// Files are 8-bit text; bytes pass through unchanged, except through the
// text routines (Document::decode, loadText, encode and a Batch given a code
// page), which read any install-info encoding as UTF-8 and write the ANSI code
// page. Lines end in CR LF when
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
    // The file's text as UTF-8, whatever its encoding (a UTF-16LE or UTF-8
    // byte-order mark, UTF-8, else the ANSI code page `codePage`): the one
    // way both programs read install-info and backup files.
    static Document decode(std::string_view bytes, unsigned codePage);
    static Result<Document> loadText(const std::filesystem::path& path, unsigned codePage);

    std::string serialize() const;
    // The UTF-8 text in the code page, as a file is written: no byte-order
    // mark. A character the code page cannot hold is refused, never
    // replaced; the Error names it, the code page and the line that holds it.
    Result<std::string> encode(unsigned codePage) const;

    // The value of `key` in `section`, blanks around it removed; nullopt when
    // the section or the key is absent. A bare line (no '=') is not a key.
    std::optional<std::string> value(std::string_view section, std::string_view key) const;

    // Every non-blank, non-comment line of the first matching section, whole,
    // in file order, as the Windows routine gives them: blanks around the
    // line and around a key line's first '=' removed. Empty when absent.
    std::vector<std::string> sectionLines(std::string_view section) const;

    // WritePrivateProfileStringA's rules. An existing key (letter case ignored)
    // keeps its spelling and everything up to its '='; only the value changes.
    // A new key goes after the section's last non-blank line; a new section
    // goes at the end, after a CR LF if the last line has no line end. Refuses
    // CR, LF or NUL in any argument, an empty section or key, and a key that
    // would not read back as itself ('=' in it, or a leading ';' or '[').
    Status setValue(std::string_view section, std::string_view key, std::string_view value);
    // Adds `text` as a line of its own at the end of the section: after its
    // last non-blank line when another section follows, at the end of the
    // document when it is the last section (so appended empty lines keep
    // their order), or as a new section (header, then the line) at the end.
    Status appendLine(std::string_view section, std::string_view text);
    // Adds `text` as the document's last line, whichever section that puts it
    // in. A writer adding consecutive lines to the last section uses it after
    // the first: appendLine would take an added line that reads as a header
    // ("[1] notes.txt") for the section's end and put later lines before it.
    Status addLastLine(std::string_view text);

    // Removes every section of that name (letter case ignored): its header
    // line and all its lines up to the next section header. Every other line
    // keeps its bytes. Removing an absent section changes nothing.
    Status removeSection(std::string_view section);
    // Removes a section of bare lines, as a list written with appendLine and
    // addLastLine: every section of that name, where a line that reads as a
    // header but is not a section of keys ("[readme].txt", "[1]" followed by
    // further entries) is one of the list's lines. A header ends the list
    // only when its section holds a key line, or when nothing follows it.
    Status removeListSection(std::string_view section);

  private:
    struct Line {
        std::string text;      // the line's bytes, without its line end
        std::string_view end;  // "\r\n", "\n", "\r", or "" for a last line without one
    };
    struct SectionSpan {
        std::string name;        // as in the header, blanks around it removed
        std::size_t header = 0;  // index of the header line
        std::size_t end = 0;     // one past the section's last line
    };

    const SectionSpan* findSection(std::string_view section) const;
    std::optional<std::size_t> findKeyLine(const SectionSpan& span, std::string_view key) const;
    std::size_t afterLastNonBlankLine(const SectionSpan& span) const;
    void insertLine(std::size_t at, std::string text);
    void addSectionAtEnd(std::string_view section);
    void reindexSections();
    bool holdsKeyLine(const SectionSpan& span) const;
    // What a removed section holds: key lines, or the bare lines of a list.
    enum class Contents { Keys, List };
    Status removeSections(std::string_view section, Contents contents);

    std::vector<Line> lines_;
    // The sections in file order; lines before the first header belong to none.
    // Kept up to date on every insertion, so that appending many lines to one
    // section never rescans the document.
    std::vector<SectionSpan> sections_;
};

// Splits text into lines: CR LF, LF and CR each end a line. Text after the
// last line end is a last line of its own; a line end at the very end of the
// text does not start another (empty) line.
class LineCursor {
  public:
    explicit LineCursor(std::string_view text) : rest_(text) {}
    // The next line and its line end ("" for a last line without one);
    // false when the text is used up.
    bool next(std::string_view& line, std::string_view& end) {
        if (rest_.empty())
            return false;
        std::size_t stop = rest_.find_first_of("\r\n");
        if (stop == std::string_view::npos) {
            line = rest_;
            end = {};
            rest_ = {};
            return true;
        }
        std::size_t endLength = rest_.substr(stop, 2) == "\r\n" ? 2 : 1;
        line = rest_.substr(0, stop);
        end = rest_.substr(stop, endLength);
        rest_.remove_prefix(stop + endLength);
        return true;
    }

  private:
    std::string_view rest_;
};

// GetPrivateProfileStringA: copies at most size - 1 characters of the value
// (or of `defaultValue` when the file, section or key is missing) into
// `buffer` and ends them with a NUL. `size` is clamped to buffer.size().
// Returns the number of characters copied, without the NUL.
std::size_t getString(std::string_view section, std::string_view key, std::string_view defaultValue,
                      std::span<char> buffer, std::size_t size, const std::filesystem::path& file);

// GetPrivateProfileSectionA: the section's lines, each followed by a NUL,
// then one more NUL; returns the bytes before that last NUL. A buffer too
// small is cut as Windows does (returns size - 2, ends in two NULs).
// An absent or empty section gives 0 and a NUL in the first byte.
std::size_t getSection(std::string_view section, std::span<char> buffer, std::size_t size,
                       const std::filesystem::path& file);

// The same two readers on a document already in memory.
std::size_t getString(const Document& document, std::string_view section, std::string_view key,
                      std::string_view defaultValue, std::span<char> buffer, std::size_t size);
std::size_t getSection(const Document& document, std::string_view section, std::span<char> buffer,
                       std::size_t size);

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
    // With a code page, the file is read as text (Document::loadText) and
    // written in that code page (Document::encode): a character it cannot
    // hold fails the commit, and nothing is written.
    explicit Batch(std::filesystem::path file, Start start = Start::FromFile,
                   std::optional<unsigned> textCodePage = std::nullopt);

    Status setValue(std::string_view section, std::string_view key, std::string_view value);
    Status appendLine(std::string_view section, std::string_view text);
    Status addLastLine(std::string_view text);
    Status removeSection(std::string_view section);
    Status removeListSection(std::string_view section);
    // Writes the document atomically; reports the first failure of any step.
    // A refused step leaves the document as it was, and the other steps are
    // still written, as the single calls would have been. Nothing is written
    // when the file could not be read or no step succeeded.
    Status commit();

  private:
    Status apply(Status step);
    // Reads the file on first use (a step or the commit); a failed read fails
    // that call and every later one with the same Error.
    Status load();

    std::filesystem::path file_;
    Start start_;
    std::optional<unsigned> textCodePage_;
    Document document_;
    Status firstError_;
    Status loadError_;
    bool loaded_ = false;
    bool changed_ = false;
};

}  // namespace platform::profile
