#include "platform/profile/profile.h"


#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <utility>

#include "platform/files/files.h"
#include "platform/files/windows_access.h"
#include "platform/text/ascii.h"
#include "platform/text/codepage.h"

namespace platform::profile {
namespace fs = std::filesystem;

namespace {

constexpr std::string_view kCrLf = "\r\n";
constexpr std::string_view kLf = "\n";
constexpr std::string_view kCr = "\r";

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

std::string_view trimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool isBlankLine(std::string_view line) {
    return trimBlanks(line).empty();
}

// A header is "[" name "]" after optional blanks; the name runs to the last
// "]" of the line, blanks around it dropped. A "[" without a "]" opens no section.
std::optional<std::string_view> headerName(std::string_view line) {
    std::string_view text = trimBlanks(line);
    if (text.empty() || text.front() != '[')
        return std::nullopt;
    std::size_t close = text.rfind(']');
    if (close == 0 || close == std::string_view::npos)
        return std::nullopt;
    return trimBlanks(text.substr(1, close - 1));
}

bool isComment(std::string_view line) {
    std::string_view text = trimBlanks(line);
    return !text.empty() && text.front() == ';';
}

struct KeyLine {
    std::string_view key;    // blanks around it dropped
    std::string_view value;  // blanks around it dropped
    std::size_t equalsAt;    // position of the "=" in the line
};

// A key line is any non-comment line with an "="; the key is what stands
// before the first "=".
std::optional<KeyLine> keyLine(std::string_view line) {
    if (isComment(line))
        return std::nullopt;
    std::size_t equals = line.find('=');
    if (equals == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trimBlanks(line.substr(0, equals)), trimBlanks(line.substr(equals + 1)), equals};
}

// A line break would plant further lines (keys, sections) in the file, and a
// NUL would cut the value short for every C-string reader.
bool holdsLineBreakOrNul(std::string_view text) {
    return text.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos;
}

Status refuse(std::string_view what, std::string_view reason) {
    return Error{"refused to write " + std::string(what) + ": " + std::string(reason),
                 ErrorKind::Unsupported};
}

Status checkSectionName(std::string_view section) {
    if (holdsLineBreakOrNul(section)) {
        return refuse("section [" + std::string(section) + "]",
                      "the name holds a line break or NUL");
    }
    if (trimBlanks(section).empty())
        return refuse("a section", "the section name is empty");
    return {};
}

// Only names that read back as the same key are written: an "=" would split
// the name, and a leading ";" or "[" would turn the line into a comment or header.
Status checkKeyName(std::string_view section, std::string_view key) {
    std::string what = "key \"" + std::string(key) + "\" in [" + std::string(section) + "]";
    if (holdsLineBreakOrNul(key))
        return refuse(what, "the key holds a line break or NUL");
    std::string_view name = trimBlanks(key);
    if (name.empty())
        return refuse(what, "the key is empty");
    if (name.find('=') != std::string_view::npos)
        return refuse(what, "the key holds \"=\"");
    if (name.front() == ';' || name.front() == '[') {
        return refuse(what, "the key starts with \";\" or \"[\"");
    }
    return {};
}

// The text a C-string reader sees: everything before the first NUL.
std::string_view beforeNul(std::string_view text) {
    return text.substr(0, std::min(text.find('\0'), text.size()));
}

// Windows drops trailing spaces of the default before copying it.
std::string_view defaultAsCopied(std::string_view defaultValue) {
    while (!defaultValue.empty() && defaultValue.back() == ' ') defaultValue.remove_suffix(1);
    return defaultValue;
}

// A document for reading; a missing or unreadable file reads as empty, as the
// platform routines give their default then.
Document loadForReading(const fs::path& file) {
    auto loaded = Document::load(file);
    return loaded ? std::move(loaded).value() : Document{};
}

// Renaming over a file needs only a writable folder, so an atomic replacement
// would overwrite a read-only file; the platform routine refuses to, for an
// administrator too, and so do we, by the rule the updater's commit follows.
Status checkWritable(const fs::path& file) {
    std::error_code ec;
    if (fs::exists(file, ec))
        return files::checkWritableAsOnWindows(file);
    return {};
}

Status commitBytes(const fs::path& file, std::string_view bytes) {
    if (Status writable = checkWritable(file); !writable)
        return writable;
    return files::replaceFile(file, bytes);
}

Status commitDocument(const fs::path& file, const Document& document) {
    return commitBytes(file, document.serialize());
}

}  // namespace

Document Document::parse(std::string_view bytes) {
    Document document;
    LineCursor cursor(bytes);
    std::string_view line;
    std::string_view end;
    while (cursor.next(line, end)) {
        std::string_view stableEnd = end == kCrLf ? kCrLf
                                     : end == kLf ? kLf
                                     : end == kCr ? kCr
                                                  : std::string_view{};
        document.lines_.push_back(Line{std::string(line), stableEnd});
    }
    document.reindexSections();
    return document;
}

namespace {

// load and loadText: a missing file gives an empty document, an unreadable
// one an Error; `toDocument` makes the document of the bytes read.
template <typename ToDocument>
Result<Document> loadFile(const fs::path& path, ToDocument toDocument) {
    std::error_code ec;
    if (!fs::exists(path, ec))
        return Document{};
    auto bytes = files::readTextFile(path);
    if (!bytes)
        return bytes.error();
    return toDocument(*bytes);
}

}  // namespace

Result<Document> Document::load(const fs::path& path) {
    return loadFile(path, [](std::string_view bytes) { return parse(bytes); });
}

Document Document::decode(std::string_view bytes, unsigned codePage) {
    return parse(text::decodeTextFile(bytes, codePage).utf8);
}

Result<Document> Document::loadText(const fs::path& path, unsigned codePage) {
    return loadFile(path, [codePage](std::string_view bytes) { return decode(bytes, codePage); });
}

Result<std::string> Document::encode(unsigned codePage) const {
    const std::string text = serialize();
    text::Encoded encoded = text::utf8ToAnsi(text, codePage);
    if (encoded.unmappable.empty())
        return std::move(encoded.ansi);
    // Named by its line's text: its number may have changed since it was read.
    const text::Unmappable& first = encoded.unmappable.front();
    const std::size_t before = text.find_last_of("\r\n", first.offset);
    const std::size_t start = before == std::string::npos ? 0 : before + 1;
    const std::size_t end = std::min(text.find_first_of("\r\n", first.offset), text.size());
    return Error{"the line \"" + text.substr(start, end - start) + "\" holds " +
                     text::describeCharacter(first.character) + ", which " +
                     text::codePageName(codePage) + " cannot hold",
                 ErrorKind::Unsupported};
}

std::string Document::serialize() const {
    std::size_t size = 0;
    for (const Line& line : lines_) size += line.text.size() + line.end.size();
    std::string bytes;
    bytes.reserve(size);
    for (const Line& line : lines_) {
        bytes += line.text;
        bytes += line.end;
    }
    return bytes;
}

void Document::reindexSections() {
    sections_.clear();
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (auto name = headerName(lines_[i].text)) {
            if (!sections_.empty())
                sections_.back().end = i;
            sections_.push_back(SectionSpan{std::string(*name), i, lines_.size()});
        }
    }
}

const Document::SectionSpan* Document::findSection(std::string_view section) const {
    std::string_view name = trimBlanks(section);
    if (name.empty())
        return nullptr;
    for (const SectionSpan& span : sections_) {
        if (text::equalIgnoringAsciiCase(span.name, name))
            return &span;
    }
    return nullptr;
}

std::optional<std::size_t> Document::findKeyLine(const SectionSpan& span,
                                                 std::string_view key) const {
    std::string_view name = trimBlanks(key);
    if (name.empty())
        return std::nullopt;
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        auto parsed = keyLine(lines_[i].text);
        if (parsed && text::equalIgnoringAsciiCase(parsed->key, name))
            return i;
    }
    return std::nullopt;
}

std::size_t Document::afterLastNonBlankLine(const SectionSpan& span) const {
    std::size_t at = span.end;
    while (at > span.header + 1 && isBlankLine(lines_[at - 1].text)) --at;
    return at;
}

void Document::insertLine(std::size_t at, std::string text) {
    // A last line without a line end gets one, so the new line stands on its own.
    if (at == lines_.size() && !lines_.empty() && lines_.back().end.empty()) {
        lines_.back().end = kCrLf;
    }
    // A line that reads as a header (a new section, or an appended text such
    // as "[x]") starts a section for every later lookup, as it will once the
    // file is read again.
    bool startsSection = headerName(text).has_value();
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), Line{std::move(text), kCrLf});
    if (startsSection) {
        reindexSections();
        return;
    }
    for (SectionSpan& span : sections_) {
        if (span.header >= at)
            ++span.header;
        if (span.end >= at)
            ++span.end;
    }
}

void Document::addSectionAtEnd(std::string_view section) {
    // Built by appending: GCC 12 at -O3 warns falsely (-Wrestrict) on "[" + name + "]".
    std::string_view name = trimBlanks(section);
    std::string header;
    header.reserve(name.size() + 2);
    header += '[';
    header += name;
    header += ']';
    insertLine(lines_.size(), std::move(header));
}

std::optional<std::string> Document::value(std::string_view section, std::string_view key) const {
    const SectionSpan* span = findSection(section);
    if (span == nullptr)
        return std::nullopt;
    auto at = findKeyLine(*span, key);
    if (!at)
        return std::nullopt;
    return std::string(keyLine(lines_[*at].text)->value);
}

std::vector<std::string> Document::sectionLines(std::string_view section) const {
    std::vector<std::string> result;
    const SectionSpan* span = findSection(section);
    if (span == nullptr)
        return result;
    for (std::size_t i = span->header + 1; i < span->end; ++i) {
        const std::string& text = lines_[i].text;
        if (isBlankLine(text) || isComment(text))
            continue;
        // As the Windows routine returns them: blanks around the line and
        // around a key line's first "=" dropped, nothing else changed.
        if (auto parsed = keyLine(text)) {
            result.push_back(std::string(parsed->key) + "=" + std::string(parsed->value));
        } else {
            result.emplace_back(trimBlanks(text));
        }
    }
    return result;
}

Status Document::setValue(std::string_view section, std::string_view key, std::string_view value) {
    if (Status s = checkSectionName(section); !s)
        return s;
    if (Status s = checkKeyName(section, key); !s)
        return s;
    if (holdsLineBreakOrNul(value)) {
        return refuse("key \"" + std::string(key) + "\" in [" + std::string(section) + "]",
                      "the value holds a line break or NUL");
    }
    const SectionSpan* span = findSection(section);
    if (span == nullptr) {
        addSectionAtEnd(section);
        insertLine(lines_.size(), std::string(trimBlanks(key)) + "=" + std::string(value));
        return {};
    }
    if (auto at = findKeyLine(*span, key)) {
        // The key keeps its spelling and everything before its "=".
        std::string& text = lines_[*at].text;
        text.resize(keyLine(text)->equalsAt + 1);
        text += value;
        return {};
    }
    insertLine(afterLastNonBlankLine(*span),
               std::string(trimBlanks(key)) + "=" + std::string(value));
    return {};
}

Status Document::appendLine(std::string_view section, std::string_view text) {
    if (Status s = checkSectionName(section); !s)
        return s;
    if (holdsLineBreakOrNul(text)) {
        return refuse("a line in [" + std::string(section) + "]",
                      "the text holds a line break or NUL");
    }
    const SectionSpan* span = findSection(section);
    if (span == nullptr) {
        addSectionAtEnd(section);
        insertLine(lines_.size(), std::string(text));
        return {};
    }
    // The last section runs to the end of the file and every line of it counts,
    // blank ones included: an empty entry appended earlier must stay before
    // the next one. A section that another follows ends at its last non-blank
    // line; blank lines after it separate it from the next header.
    bool isLast = span == &sections_.back();
    insertLine(isLast ? lines_.size() : afterLastNonBlankLine(*span), std::string(text));
    return {};
}

Status Document::addLastLine(std::string_view text) {
    if (holdsLineBreakOrNul(text))
        return refuse("the last line", "the text holds a line break or NUL");
    insertLine(lines_.size(), std::string(text));
    return {};
}

Status Document::removeSection(std::string_view section) {
    return removeSections(section, Contents::Keys);
}

Status Document::removeListSection(std::string_view section) {
    return removeSections(section, Contents::List);
}

bool Document::holdsKeyLine(const SectionSpan& span) const {
    for (std::size_t i = span.header + 1; i < span.end; ++i) {
        if (keyLine(lines_[i].text))
            return true;
    }
    return false;
}

Status Document::removeSections(std::string_view section, Contents contents) {
    if (holdsLineBreakOrNul(section)) {
        return refuse("section [" + std::string(section) + "]",
                      "the name holds a line break or NUL");
    }
    std::string_view name = trimBlanks(section);
    if (name.empty())
        return {};  // as findSection: an empty name names no section
    std::vector<Line> kept;
    kept.reserve(lines_.size());
    std::size_t next = 0;
    bool removed = false;
    for (std::size_t i = 0; i < sections_.size();) {
        if (!text::equalIgnoringAsciiCase(sections_[i].name, name)) {
            ++i;
            continue;
        }
        // A list's entries are bare lines: a later "section" without a key
        // line is an entry that reads as a header, and belongs to the list.
        std::size_t end = i + 1;
        while (contents == Contents::List && end < sections_.size() &&
               !holdsKeyLine(sections_[end]))
            ++end;
        std::move(lines_.begin() + static_cast<std::ptrdiff_t>(next),
                  lines_.begin() + static_cast<std::ptrdiff_t>(sections_[i].header),
                  std::back_inserter(kept));
        next = sections_[end - 1].end;
        removed = true;
        i = end;
    }
    if (!removed)
        return {};
    std::move(lines_.begin() + static_cast<std::ptrdiff_t>(next), lines_.end(),
              std::back_inserter(kept));
    lines_ = std::move(kept);
    reindexSections();
    return {};
}

std::size_t getString(const Document& document, std::string_view section, std::string_view key,
                      std::string_view defaultValue, std::span<char> buffer, std::size_t size) {
    size = std::min(size, buffer.size());
    if (size == 0)
        return 0;
    auto found = document.value(section, key);
    std::string_view text =
        beforeNul(found ? std::string_view(*found) : defaultAsCopied(defaultValue));
    std::size_t count = std::min(text.size(), size - 1);
    std::copy_n(text.begin(), count, buffer.begin());
    buffer[count] = '\0';
    return count;
}

std::size_t getString(std::string_view section, std::string_view key, std::string_view defaultValue,
                      std::span<char> buffer, std::size_t size, const fs::path& file) {
    if (std::min(size, buffer.size()) == 0)
        return 0;
    return getString(loadForReading(file), section, key, defaultValue, buffer, size);
}

std::size_t getSection(const Document& document, std::string_view section, std::span<char> buffer,
                       std::size_t size) {
    size = std::min(size, buffer.size());
    if (size == 0)
        return 0;
    // The list as a C-string reader sees it: each line up to a NUL it may
    // hold, and no empty entry, which would end the list early.
    std::string list;
    for (const std::string& line : document.sectionLines(section)) {
        std::string_view text = beforeNul(line);
        if (text.empty())
            continue;
        list += text;
        list += '\0';
    }
    if (list.size() + 1 <= size) {
        std::copy(list.begin(), list.end(), buffer.begin());
        buffer[list.size()] = '\0';
        return list.size();
    }
    // Too small: the list is cut to size - 2 bytes and ended by two NULs.
    if (size < 2) {
        buffer[0] = '\0';
        return 0;
    }
    std::copy_n(list.begin(), size - 2, buffer.begin());
    buffer[size - 2] = '\0';
    buffer[size - 1] = '\0';
    return size - 2;
}

std::size_t getSection(std::string_view section, std::span<char> buffer, std::size_t size,
                       const fs::path& file) {
    if (std::min(size, buffer.size()) == 0)
        return 0;
    return getSection(loadForReading(file), section, buffer, size);
}

Status writeString(std::string_view section, std::string_view key, std::string_view value,
                   const fs::path& file) {
    auto document = Document::load(file);
    if (!document)
        return document.status();
    if (Status s = document->setValue(section, key, value); !s)
        return s;
    return commitDocument(file, *document);
}

Status appendLine(std::string_view section, std::string_view text, const fs::path& file) {
    auto document = Document::load(file);
    if (!document)
        return document.status();
    if (Status s = document->appendLine(section, text); !s)
        return s;
    return commitDocument(file, *document);
}

Batch::Batch(fs::path file, Start start, std::optional<unsigned> textCodePage)
    : file_(std::move(file)), start_(start), textCodePage_(textCodePage) {}

Status Batch::load() {
    if (loaded_)
        return loadError_;
    loaded_ = true;
    if (start_ == Start::Empty)
        return {};
    auto document = textCodePage_ ? Document::loadText(file_, *textCodePage_) : Document::load(file_);
    if (!document) {
        loadError_ = document.status();
        return loadError_;
    }
    document_ = std::move(document).value();
    return {};
}

Status Batch::apply(Status step) {
    if (step) {
        changed_ = true;
    } else if (firstError_.isOk()) {
        firstError_ = step;
    }
    return step;
}

Status Batch::setValue(std::string_view section, std::string_view key, std::string_view value) {
    if (Status loaded = load(); !loaded)
        return loaded;
    return apply(document_.setValue(section, key, value));
}

Status Batch::appendLine(std::string_view section, std::string_view text) {
    if (Status loaded = load(); !loaded)
        return loaded;
    return apply(document_.appendLine(section, text));
}

Status Batch::addLastLine(std::string_view text) {
    if (Status loaded = load(); !loaded)
        return loaded;
    return apply(document_.addLastLine(text));
}

Status Batch::removeSection(std::string_view section) {
    if (Status loaded = load(); !loaded)
        return loaded;
    return apply(document_.removeSection(section));
}

Status Batch::removeListSection(std::string_view section) {
    if (Status loaded = load(); !loaded)
        return loaded;
    return apply(document_.removeListSection(section));
}

Status Batch::commit() {
    if (Status loaded = load(); !loaded)
        return loaded;
    if (changed_) {
        std::string bytes;
        if (textCodePage_) {
            auto encoded = document_.encode(*textCodePage_);
            if (!encoded)
                return encoded.status();
            bytes = std::move(encoded).value();
        } else {
            bytes = document_.serialize();
        }
        if (Status written = commitBytes(file_, bytes); !written)
            return written;
    }
    return firstError_;
}

}  // namespace platform::profile
