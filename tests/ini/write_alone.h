// WriteINI and WriteIniSection, each on a batch of its own committed at once:
// the file as one key or one line written at a time leaves it, which is the
// reference for the bytes writeInstallRecord leaves in a single commit.
#pragma once

#include <filesystem>
#include <string_view>

#include "editor/ini/ini.h"
#include "platform/profile/profile.h"
#include "platform/text/codepage.h"

namespace ini_test {

// Each commit reports the step's failure, if any, else its own.
inline platform::Status writeIniAlone(const std::filesystem::path& file, std::string_view section,
                                      std::string_view key, std::string_view value) {
    platform::profile::Batch batch(file, platform::profile::Batch::Start::FromFile,
                                   platform::text::ansiCodePage());
    static_cast<void>(editor_ini::WriteINI(batch, section, key, value));
    return batch.commit();
}

inline platform::Status writeIniSectionAlone(const std::filesystem::path& file,
                                             std::string_view section, std::string_view text) {
    platform::profile::Batch batch(file, platform::profile::Batch::Start::FromFile,
                                   platform::text::ansiCodePage());
    static_cast<void>(editor_ini::WriteIniSection(batch, section, text));
    return batch.commit();
}

}  // namespace ini_test
