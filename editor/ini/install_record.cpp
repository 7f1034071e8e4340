#include "editor/ini/install_record.h"

#include <string>
#include <utility>
#include <vector>

#include "editor/ini/ini.h"
#include "platform/files/files.h"
#include "platform/profile/profile.h"
#include "platform/text/codepage.h"

namespace editor_ini {

namespace {

// The updater's signing command is shown nowhere in the editor, yet a fresh
// file must not lose it: the next installer would then ship unsigned without
// a word. It is taken whole from the file being replaced (no 99-byte cut: it
// is no field of the window) and written after the seven keys.
platform::Status keepSigningCommand(const std::filesystem::path& file,
                                    platform::profile::Batch& batch, unsigned codePage) {
    auto previous = platform::profile::Document::loadText(file, codePage);
    if (!previous)
        return {};  // nothing to keep; a file that cannot be read fails the commit
    std::vector<char> value(previous->serialize().size() + 1);
    const std::size_t length =
        platform::profile::getString(*previous, install_info::kSectionSign,
                                     install_info::kKeyCommand, "", value, value.size());
    if (length == 0)
        return {};
    return WriteINI(batch, install_info::kSectionSign, install_info::kKeyCommand,
                    std::string_view(value.data(), length));
}

// The reason alone: the caller's message names the file, once. A refusal of
// ours is a valid record this program cannot write; a failure of the profile
// layer passes up as it came, with its kind and code.
platform::Error refused(std::string why) {
    return platform::Error{std::move(why), platform::ErrorKind::Unsupported};
}

// A character the code page cannot hold is never written as '?': the first
// one found is named with its field or entry, before anything is written.
platform::Status checkCodePage(const InstallRecord& record, unsigned codePage) {
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        if (auto why = platform::text::whyNotInCodePage(record.values[i], codePage)) {
            return refused("the field \"" + std::string(install_info::kFieldOrder[i].key) +
                           "\" holds " + *why + "; nothing was written");
        }
    }
    for (std::size_t i = 0; i < record.extraFiles.size(); ++i) {
        if (auto why = platform::text::whyNotInCodePage(record.extraFiles[i], codePage)) {
            return refused("extra file " + std::to_string(i + 1) + " \"" + record.extraFiles[i] +
                           "\" holds " + *why + "; nothing was written");
        }
    }
    return {};
}

// The seven keys in the install-info file's order, Warning by its rule.
platform::Status writeKeys(platform::profile::Batch& batch, const InstallRecord& record) {
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const install_info::Field& field = install_info::kFieldOrder[i];
        std::string_view value = i == install_info::kFieldWarning
                                     ? install_info::warningValueToStore(record.values[i])
                                     : std::string_view(record.values[i]);
        if (platform::Status set = WriteINI(batch, field.section, field.key, value); !set)
            return set.error();
    }
    return {};
}

// The Extrafiles section, last in the file, with the entries in the list's order.
platform::Status writeExtraFiles(platform::profile::Batch& batch,
                                 const std::vector<std::string>& extraFiles, WriteMode mode,
                                 const EntryWritten& onEntryWritten) {
    if (mode == WriteMode::UpdateInPlace) {
        // As a list: the old entries that read as headers ("[readme].txt")
        // go with it, or each remake would leave another copy of them behind.
        if (platform::Status removed = batch.removeListSection(install_info::kSectionExtrafiles);
            !removed)
            return removed.error();
    }
    // No Extrafiles section is left by now, so WriteIniSection starts one at
    // the end with the first entry. Every later entry goes last in the file,
    // right after the one before it: WriteIniSection would take an entry that
    // reads as a section header ("[1] notes.txt") for the section's end and
    // put the entries after it in front of it.
    for (std::size_t i = 0; i < extraFiles.size(); ++i) {
        if (platform::Status added =
                i == 0 ? WriteIniSection(batch, install_info::kSectionExtrafiles, extraFiles[i])
                       : batch.addLastLine(extraFiles[i]);
            !added) {
            // Named by its place in the list: the profile layer knows no entries.
            platform::Error error = added.error();
            error.message = "extra file " + std::to_string(i + 1) + ": " + error.message;
            return error;
        }
        if (onEntryWritten)
            onEntryWritten(i);
    }
    return {};
}

// The caller's last step (Save's copy of the previous file), then the one
// atomic replacement of the file.
platform::Status commit(platform::profile::Batch& batch, const BeforeCommit& beforeCommit) {
    if (beforeCommit) {
        if (platform::Status ready = beforeCommit(); !ready)
            return ready;
    }
    if (platform::Status written = batch.commit(); !written)
        return written.error();
    return {};
}

}  // namespace

platform::Status writeInstallRecord(const std::filesystem::path& file, const InstallRecord& record,
                                    WriteMode mode, const EntryWritten& onEntryWritten,
                                    const BeforeCommit& beforeCommit) {
    using platform::profile::Batch;
    // Every step writes into the batch in memory; only the commit touches the
    // file. So a refused step (a line break pasted into a box, a character
    // the code page cannot hold) leaves the file byte for byte as it was:
    // it would otherwise be replaced without that key while the window says
    // it could not save.
    const unsigned codePage = platform::text::ansiCodePage();
    if (platform::Status checked = checkCodePage(record, codePage); !checked)
        return checked;
    Batch batch(file, mode == WriteMode::FreshFile ? Batch::Start::Empty : Batch::Start::FromFile,
                codePage);
    if (platform::Status keys = writeKeys(batch, record); !keys)
        return keys;
    if (mode == WriteMode::FreshFile) {
        if (platform::Status kept = keepSigningCommand(file, batch, codePage); !kept)
            return kept;
    }
    if (platform::Status extra = writeExtraFiles(batch, record.extraFiles, mode, onEntryWritten);
        !extra)
        return extra;
    return commit(batch, beforeCommit);
}

platform::Result<std::string> readInstallInfoText(const std::filesystem::path& file) {
    auto bytes = platform::files::readTextFile(file);
    if (!bytes)
        return bytes.error();
    return platform::text::decodeTextFile(*bytes, platform::text::ansiCodePage()).utf8;
}

std::optional<std::vector<std::string>> scanExtraFiles(std::string_view fileText) {
    platform::profile::LineCursor cursor(fileText);
    std::string_view line;
    std::string_view end;
    bool inside = false;
    std::vector<std::string> entries;
    while (cursor.next(line, end)) {
        if (inside) {
            entries.emplace_back(line);
        } else if (line == install_info::kExtrafilesHeaderLine) {
            inside = true;
        }
    }
    if (!inside)
        return std::nullopt;
    return entries;
}

}  // namespace editor_ini
