#include "updater/run.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/install_info.h"
#include "platform/files/files.h"
#include "platform/profile/profile.h"
#include "platform/resource/resource_update.h"
#include "updater/icon.h"
#include "updater/input_file.h"

namespace updater {
namespace {
namespace fs = std::filesystem;
namespace res = platform::resource;

constexpr std::string_view kInstallerFileName = "installer.exe";

// Fixed buffers, as the installer's reader expects: a value keeps at most
// 1022 characters (1023 is given as the size of a 1024-byte buffer), and the
// whole extra-file section must fit 10240 bytes with its NULs.
constexpr std::size_t kValueBufferBytes = 1024;
constexpr std::size_t kValueSizeGiven = 1023;
constexpr std::size_t kSectionBufferBytes = 10240;

enum ResourceId : std::uint16_t {
    kIdName = 101,
    kIdFilename = 102,
    kIdLocationTable = 103,
    kIdRunAfterInstall = 104,
    kIdVBName = 105,
    kIdPlugin = 106,
    kIdWarning = 107,
    kIdTitle = 108,
};
// Extra file k (counting from 1) gets 108 + k; the icon group follows them.
constexpr std::uint32_t kExtraFileIdBase = 108;

// A plugin or extra file as resource data. A large regular file is measured
// and left where it is, to be read again as the installer is written: the
// job never holds its 100 MB of inputs, whose fresh pages cost more to fill
// than writing them out. Anything else is read whole now.
using InputData = std::variant<std::vector<std::byte>, res::FileData>;
constexpr std::uint64_t kLeftInFile = std::uint64_t{64} << 10;

std::optional<InputData> takeInputFile(const fs::path& workingDirectory, std::string_view name) {
    return withInputFile(
        workingDirectory, name, [](const fs::path& path) -> std::optional<InputData> {
            std::error_code ec;
            if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) >= kLeftInFile && !ec) {
                if (auto file = res::FileData::measure(path))
                    return InputData{std::move(*file)};
                return std::nullopt;
            }
            if (auto bytes = platform::files::readFile(path))
                return InputData{std::move(*bytes)};
            return std::nullopt;
        });
}

void addInput(res::Update& update, std::uint16_t id, InputData data) {
    if (auto* file = std::get_if<res::FileData>(&data)) {
        update.addFile(res::kTypeRcData, id, res::kLanguageNeutral, std::move(*file));
    } else {
        update.add(res::kTypeRcData, id, res::kLanguageNeutral,
                   std::move(std::get<std::vector<std::byte>>(data)));
    }
}

// Adds everything to the pending update of the installer.
class UpdateSink final : public ResourceSink {
  public:
    explicit UpdateSink(res::Update& update) : update_(update) {}
    void add(std::uint16_t type, std::uint16_t id, std::span<const std::byte> data) override {
        update_.add(type, id, res::kLanguageNeutral, data);
    }
    void addShared(std::uint16_t type, std::uint16_t id, res::SharedBytes data) override {
        update_.addShared(type, id, res::kLanguageNeutral, std::move(data));
    }

  private:
    res::Update& update_;
};

// One key's value, NUL-terminated in its buffer.
class Value {
  public:
    Value(const platform::profile::Document& file, std::string_view section, std::string_view key,
          std::string_view defaultValue) {
        length_ = platform::profile::getString(file, section, key, defaultValue, buffer_,
                                               kValueSizeGiven);
    }
    std::string_view text() const { return {buffer_.data(), length_}; }
    // The text with its terminating NUL, as the installer reads it.
    std::span<const std::byte> withNul() const {
        return std::as_bytes(std::span(buffer_.data(), length_ + 1));
    }

  private:
    std::array<char, kValueBufferBytes> buffer_{};
    std::size_t length_ = 0;
};

// The bytes the whole section takes as the installer's table (its lines,
// their NULs and the final NUL), read with a buffer that cannot be too small:
// the list is never longer than the file plus its two final NULs.
std::size_t tableBytesNeeded(const platform::profile::Document& file, std::size_t fileBytes) {
    std::vector<char> whole(fileBytes + 2);
    return platform::profile::getSection(file, install_info::kSectionExtraFilesUpdater, whole,
                                         whole.size()) +
           1;
}

// The install-info file, read once: every value below comes from these bytes.
// A missing or unreadable file reads as empty, so every key takes its default.
struct InstallInfo {
    platform::profile::Document document;
    std::size_t bytes = 0;
};

InstallInfo readInstallInfo(const fs::path& file) {
    auto text = platform::files::readTextFile(file);
    if (!text)
        return {};
    return {platform::profile::Document::parse(*text), text->size()};
}

// Waits for the final key. A NUL ends the program silently; any other
// character, and the end of input, is answered with "Bye!".
void waitForKey(std::ostream& out, std::istream& in) {
    out << "Press any key to continue\n" << std::flush;
    auto key = in.get();
    if (key != 0)
        out << "Bye!\n";
    out << std::flush;
}

int runSteps(const fs::path& workingDirectory, std::ostream& out, std::istream& in) {
    using namespace install_info;
    const InstallInfo info = readInstallInfo(workingDirectory / kFileName);
    const platform::profile::Document& ini = info.document;

    const Value name(ini, kSectionTexts, kKeyName, kDefaultName);
    const Value warning(ini, kSectionTexts, kKeyWarning, "");
    const Value title(ini, kSectionTexts, kKeyTitle, kDefaultTitle);
    const Value vbName(ini, kSectionTexts, kKeyVBName, "");
    const Value filename(ini, kSectionFiles, kKeyFilename, "");
    const Value icon(ini, kSectionFiles, kKeyIcon, "");
    const Value runAfterInstall(ini, kSectionMisc, kKeyRunAfterInstall, "");

    auto plugin = takeInputFile(workingDirectory, filename.text());

    auto update = res::Update::begin(workingDirectory / kInstallerFileName, res::Existing::Delete);
    if (!update) {
        out << "Couldn't open installer\n" << update.message() << '\n' << std::flush;
        return kExitFailed;
    }
    UpdateSink sink(*update);

    out << "Writing strings...\n";
    sink.add(res::kTypeRcData, kIdName, name.withNul());
    sink.add(res::kTypeRcData, kIdFilename, filename.withNul());
    sink.add(res::kTypeRcData, kIdVBName, vbName.withNul());
    sink.add(res::kTypeRcData, kIdTitle, title.withNul());
    sink.add(res::kTypeRcData, kIdWarning, warning.withNul());
    sink.add(res::kTypeRcData, kIdRunAfterInstall, runAfterInstall.withNul());

    out << "Writing DLL...\n";
    if (plugin) {
        addInput(*update, kIdPlugin, std::move(*plugin));
    }

    std::uint32_t counter = 1;
    out << "Writing extra files...\n";
    std::array<char, kSectionBufferBytes> section{};
    // The profile layer never reports more than size - 2; the bound keeps the
    // walk and the table inside the buffer whatever it returns.
    const std::size_t n = std::min(
        platform::profile::getSection(ini, kSectionExtraFilesUpdater, section, section.size()),
        section.size() - 1);
    // A cut buffer reports size - 2; only then can lines be missing from it.
    if (std::size_t needed = n >= section.size() - 2 ? tableBytesNeeded(ini, info.bytes) : n + 1;
        needed > n + 1) {
        out << "The extra-file list is too long for the installer's table (" << needed
            << " bytes, at most " << section.size() << "); nothing was written.\n";
        waitForKey(out, in);
        return kExitFailed;
    }
    for (std::size_t position = 0; position < n; ++counter) {
        const std::string_view line(section.data() + position,
                                    ::strnlen(section.data() + position, n - position));
        out << "Adding: " << line << "...\n";
        if (auto data = takeInputFile(workingDirectory, line)) {
            addInput(*update, static_cast<std::uint16_t>(kExtraFileIdBase + counter),
                     std::move(*data));
        }
        position += line.size() + 1;
    }

    out << "Writing Extra files location table...\n";
    sink.add(res::kTypeRcData, kIdLocationTable, std::as_bytes(std::span(section.data(), n + 1)));

    out << "Adding Icon...\n";
    AddIcon(sink, workingDirectory, icon.text(), kExtraFileIdBase + counter);

    auto committed = update->commit();
    if (!committed) {
        out << "Couldn't update installer\n" << committed.message() << '\n';
        waitForKey(out, in);
        return kExitFailed;
    }
    if (committed->signatureRemoved) {
        out << "The installer's digital signature was removed and must be renewed.\n";
    }
    out << "Installer updated!\n";
    waitForKey(out, in);
    return kExitOk;
}

}  // namespace

int run(const fs::path& workingDirectory, std::ostream& out, std::istream& in) {
    // Memory running out (an input larger than the machine can hold) ends
    // the run as a failure like any other: nothing has been written, and the
    // console stays readable until the key.
    try {
        return runSteps(workingDirectory, out, in);
    } catch (const std::bad_alloc&) {
        out << "Couldn't update installer\nnot enough memory\n";
        waitForKey(out, in);
        return kExitFailed;
    }
}

}  // namespace updater
