#include "editor/ini/install_record.h"

#include "platform/profile/profile.h"

namespace editor_ini {

platform::Status writeInstallRecord(const std::filesystem::path& file, const InstallRecord& record,
                                    WriteMode mode, const EntryWritten& onEntryWritten) {
    using platform::profile::Batch;
    Batch batch(file, mode == WriteMode::FreshFile ? Batch::Start::Empty : Batch::Start::FromFile);
    for (std::size_t i = 0; i < install_info::kFieldOrder.size(); ++i) {
        const install_info::Field& field = install_info::kFieldOrder[i];
        std::string_view value = i == install_info::kFieldWarning
                                     ? install_info::warningValueToStore(record.values[i])
                                     : std::string_view(record.values[i]);
        static_cast<void>(batch.setValue(field.section, field.key, value));
    }
    if (mode == WriteMode::UpdateInPlace) {
        static_cast<void>(batch.removeSection(install_info::kSectionExtrafiles));
    }
    for (std::size_t i = 0; i < record.extraFiles.size(); ++i) {
        static_cast<void>(batch.appendLine(install_info::kSectionExtrafiles, record.extraFiles[i]));
        if (onEntryWritten)
            onEntryWritten(i);
    }
    // The batch keeps the first failure of any step; commit reports it.
    if (platform::Status written = batch.commit(); !written) {
        return platform::Error{"could not save " + file.string() + ": " + written.message()};
    }
    return {};
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
