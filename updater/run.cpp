#include "updater/run.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <istream>
#include <new>
#include <optional>
#include <ostream>
#include <span>
#include <streambuf>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "common/install_info.h"
#include "common/installer_resources.h"
#include "common/installer_manifest.h"
#include "common/program_files.h"
#include "common/updater_output.h"
#include "platform/files/files.h"
#include "platform/files/windows_access.h"
#include "platform/profile/profile.h"
#include "platform/resource/image_file.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_update.h"
#include "platform/resource/version_info.h"
#include "platform/text/codepage.h"
#include "platform/text/unicode.h"
#include "updater/destinations.h"
#include "updater/icon.h"
#include "updater/input_file.h"
#include "updater/plugin_check.h"
#include "updater/signing.h"

namespace updater {
namespace {
namespace fs = std::filesystem;
namespace res = platform::resource;
using platform::Status;

// Fixed buffers, as the installer's reader expects: a value keeps at most
// 1022 bytes in the ANSI code page (1023 is given as the size of a 1024-byte
// buffer), and the whole extra-file section must fit 10240 bytes with its NULs.
constexpr std::size_t kValueSizeGiven = 1023;
constexpr std::size_t kValueMaxBytes = kValueSizeGiven - 1;
constexpr std::size_t kSectionBufferBytes = 10240;

// A plugin or extra file as resource data. A large regular file is measured
// and left where it is, to be read again as the installer is written: the
// job never holds its 100 MB of inputs, whose fresh pages cost more to fill
// than writing them out. Anything else is read whole now.
using InputData = std::variant<std::vector<std::byte>, res::FileData>;
constexpr std::uint64_t kLeftInFile = std::uint64_t{64} << 10;

std::optional<InputData> takeInputFile(const fs::path& workingDirectory, std::string_view name,
                                       const Warn& warn, std::string_view consequence = {}) {
    return withInputFile(
        workingDirectory, name, warn,
        [](const fs::path& path) -> platform::Result<InputData> {
            std::error_code ec;
            if (fs::is_regular_file(path, ec) && fs::file_size(path, ec) >= kLeftInFile && !ec) {
                auto file = res::FileData::measure(path);
                if (!file)
                    return file.error();
                return InputData{std::move(*file)};
            }
            auto bytes = platform::files::readFile(path);
            if (!bytes)
                return bytes.error();
            return InputData{std::move(*bytes)};
        },
        consequence);
}

// The plugin's bytes as its check and its version need them: those read, or,
// for a file left where it is, only the parts where its headers, exports and
// resources lie; its bytes are read in full once, as the installer is
// written. Not read when the file no longer reads, which the commit says.
class PluginImage {
  public:
    explicit PluginImage(const InputData& data) {
        if (const auto* bytes = std::get_if<std::vector<std::byte>>(&data)) {
            bytes_ = *bytes;
            read_ = true;
        } else if (auto parts = res::ImageParts::read(std::get<res::FileData>(data).path)) {
            parts_ = std::move(*parts);
            bytes_ = parts_->bytes();
            read_ = true;
        }
    }
    bool read() const { return read_; }
    std::span<const std::byte> bytes() const { return bytes_; }

  private:
    std::optional<res::ImageParts> parts_;
    std::span<const std::byte> bytes_;
    bool read_ = false;
};

void addInput(res::Update& update, std::uint16_t id, InputData data) {
    if (auto* file = std::get_if<res::FileData>(&data)) {
        update.addFile(res::kTypeRcData, id, res::kLanguageNeutral, std::move(*file));
    } else {
        update.add(res::kTypeRcData, id, res::kLanguageNeutral,
                   std::move(std::get<std::vector<std::byte>>(data)));
    }
}

// Standard error as the run writes it, counting the lines that begin with
// "warning: ": they come from every part of the run, some written straight
// to the stream, and the line before "Installer updated!" counts them all.
class WarningCounter final : public std::streambuf {
  public:
    explicit WarningCounter(std::streambuf* target) : target_(target) {}
    std::size_t count() const { return warnings_; }

  protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof()))
            return traits_type::not_eof(c);
        see(traits_type::to_char_type(c));
        return target_->sputc(traits_type::to_char_type(c));
    }
    std::streamsize xsputn(const char* text, std::streamsize count) override {
        for (std::streamsize i = 0; i < count; ++i) see(text[i]);
        return target_->sputn(text, count);
    }
    int sync() override { return target_->pubsync(); }

  private:
    static constexpr std::string_view kPrefix = "warning: ";
    void see(char c) {
        if (c == '\n') {
            column_ = 0;
            matching_ = true;
            return;
        }
        if (matching_ && column_ < kPrefix.size()) {
            matching_ = c == kPrefix[column_];
            if (matching_ && column_ + 1 == kPrefix.size())
                ++warnings_;
        }
        ++column_;
    }

    std::streambuf* target_;
    std::size_t warnings_ = 0;
    std::size_t column_ = 0;
    bool matching_ = true;
};

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

// The install-info file, read once: every value below comes from these bytes.
// A missing file reads as empty, so every key takes its default.
// A file in the ANSI code page is kept as its bytes, which reach the installer
// unchanged; a UTF-8 or UTF-16 file is read as UTF-8 text, each value and line
// converted to the code page on its way to the installer.
struct InstallInfo {
    platform::profile::Document document;
    std::size_t bytes = 0;  // of the document's text: no value or section is longer
    bool converted = false;
    unsigned codePage = 0;
};

// A missing file gives the defaults, and a warning on `err` that says so:
// a run in the wrong folder would otherwise write a "Nameles plugin"
// installer in silence. A file that is there but cannot be read (no
// permission, a folder of that name) is a failure.
platform::Result<InstallInfo> readInstallInfo(const fs::path& workingDirectory, const Warn& warn,
                                              unsigned codePage) {
    auto text = platform::files::readTextFile(
        locateFile(workingDirectory, install_info::kFileName, warn));
    if (!text && text.kind() != platform::ErrorKind::NotFound)
        return text.error();
    if (!text) {
        std::error_code ec;
        const fs::path folder = fs::weakly_canonical(fs::absolute(workingDirectory, ec), ec);
        warn("no " + std::string(install_info::kFileName) + " in " +
             platform::files::utf8Name(ec ? workingDirectory : folder) +
             ": every value is its default");
        return InstallInfo{{}, 0, false, codePage};
    }
    if (platform::text::detectFileEncoding(*text) == platform::text::FileEncoding::Ansi)
        return InstallInfo{platform::profile::Document::parse(*text), text->size(), false, codePage};
    auto document = platform::profile::Document::decode(*text, codePage);
    const std::size_t bytes = document.serialize().size();
    return InstallInfo{std::move(document), bytes, true, codePage};
}

// A text as the installer reads it, in the ANSI code page. A character the
// code page cannot hold becomes '?', as Windows' conversion makes it, and one
// line on `err` names it and where it stood: the key `name`, or line `line`
// (from 1) of the section `name`.
std::string toInstallerText(const InstallInfo& info, std::string_view text, std::string_view name,
                            std::size_t line, std::ostream& err) {
    if (!info.converted)
        return std::string(text);
    platform::text::Encoded encoded = platform::text::utf8ToAnsiReplacing(text, info.codePage);
    for (const platform::text::Unmappable& character : encoded.unmappable) {
        err << "warning: \"" << name << '"';
        if (line > 0)
            err << " line " << line;
        err << ": " << platform::text::describeCharacter(character.character)
            << " is not in " << platform::text::codePageName(info.codePage)
            << "; written as \"?\"\n";
    }
    return std::move(encoded.ansi);
}

// One key's value as the installer reads it: bytes of the ANSI code page.
// A name among them is looked up by these bytes, as a Windows program would.
class Value {
  public:
    Value(const InstallInfo& info, std::string_view section, std::string_view key,
          std::string_view defaultValue, std::ostream& err) {
        std::vector<char> whole(info.bytes + defaultValue.size() + 1);
        std::string_view text(whole.data(), platform::profile::getString(info.document, section,
                                                                         key, defaultValue, whole,
                                                                         whole.size()));
        // At most 1022 bytes in the code page, and whole characters: the
        // installer would read half a double-byte character as another one.
        if (info.converted) {
            text = text.substr(
                0, platform::text::utf8CutLengthForAnsi(text, kValueMaxBytes, info.codePage));
            ansi_ = toInstallerText(info, text, key, 0, err);
        } else {
            ansi_ = text.substr(0, platform::text::ansiCutLength(text, kValueMaxBytes, info.codePage));
        }
    }
    std::string_view ansi() const { return ansi_; }
    // The ANSI bytes with their terminating NUL, as the installer reads them.
    std::span<const std::byte> withNul() const {
        return std::as_bytes(std::span(ansi_.c_str(), ansi_.size() + 1));
    }

  private:
    std::string ansi_;
};

// The section "ExtraFiles": each line's ANSI bytes (to find its file by) and
// the installer's location table of them, each line with its NUL,
// then one more NUL. Read whole, so that a list too long for the table's
// buffer is seen as such, never cut.
struct ExtraFiles {
    std::vector<std::string> names;
    std::string table;
};

ExtraFiles readExtraFiles(const InstallInfo& info, std::ostream& err) {
    std::vector<char> whole(info.bytes + 2);
    const std::size_t n = platform::profile::getSection(
        info.document, install_info::kSectionExtraFilesUpdater, whole, whole.size());
    ExtraFiles extra;
    for (std::size_t position = 0; position < n;) {
        const std::string_view line(whole.data() + position,
                                    ::strnlen(whole.data() + position, n - position));
        extra.names.push_back(toInstallerText(info, line, install_info::kSectionExtraFilesUpdater,
                                              extra.names.size() + 1, err));
        extra.table += extra.names.back();
        extra.table += '\0';
        position += line.size() + 1;
    }
    extra.table += '\0';
    return extra;
}

// Waits for the final key. A NUL ends the program silently; any other
// character, and the end of input, is answered with "Bye!".
void waitForKey(std::ostream& out, std::istream& in) {
    out << updater_output::kKeyPrompt << '\n' << std::flush;
    auto key = in.get();
    if (key != 0)
        out << "Bye!\n";
    out << std::flush;
}

// A run that stops before anything is written.
int endEarly(std::ostream& out, std::istream& in, EarlyEnd earlyEnd) {
    out << std::flush;
    if (earlyEnd == EarlyEnd::AfterKey)
        waitForKey(out, in);
    return kExitFailed;
}

// The texts and file names of the install-info file, as the installer reads them.
struct InstallerTexts {
    Value name;
    Value warning;
    Value title;
    Value vbName;
    Value filename;
    Value icon;
    Value runAfterInstall;
};

InstallerTexts readTexts(const InstallInfo& info, std::ostream& err) {
    using namespace install_info;
    return InstallerTexts{
        Value(info, kSectionTexts, kKeyName, kDefaultName, err),
        Value(info, kSectionTexts, kKeyWarning, "", err),
        Value(info, kSectionTexts, kKeyTitle, kDefaultTitle, err),
        Value(info, kSectionTexts, kKeyVBName, "", err),
        Value(info, kSectionFiles, kKeyFilename, "", err),
        Value(info, kSectionFiles, kKeyIcon, "", err),
        Value(info, kSectionMisc, kKeyRunAfterInstall, "", err),
    };
}

// The update of the installer in `workingDirectory`, refused as Windows
// would refuse to write it.
platform::Result<res::Update> openInstaller(const fs::path& workingDirectory, const Warn& warn) {
    const fs::path installer = locateFile(workingDirectory, program_files::kInstaller, warn);
    // The update replaces the file through its folder, which the file's own
    // permission bits do not stop; Windows refuses a read-only file.
    if (auto writable = platform::files::checkWritableAsOnWindows(installer); !writable)
        return writable.error();
    return res::Update::begin(installer, res::Existing::Delete);
}

void writeStrings(UpdateSink& sink, const InstallerTexts& texts, std::ostream& out) {
    using namespace install_info;
    out << "Writing strings...\n";
    sink.add(res::kTypeRcData, kIdName, texts.name.withNul());
    sink.add(res::kTypeRcData, kIdFilename, texts.filename.withNul());
    sink.add(res::kTypeRcData, kIdVBName, texts.vbName.withNul());
    sink.add(res::kTypeRcData, kIdTitle, texts.title.withNul());
    sink.add(res::kTypeRcData, kIdWarning, texts.warning.withNul());
    sink.add(res::kTypeRcData, kIdRunAfterInstall, texts.runAfterInstall.withNul());
}

// The plugin's and the extra files' bytes, by resource ID: added last, after
// the uninstaller was made of the installer without them.
using Payload = std::vector<std::pair<std::uint16_t, InputData>>;

// Checks the plugin, when there is one, for what the installer needs of it,
// and gives its version resource where it has a sound one.
std::optional<res::VersionInfo> writePlugin(Payload& payload, const res::Update& update,
                                            std::optional<InputData> plugin,
                                            const std::string& pluginName,
                                            const InstallerTexts& texts, const InstallInfo& info,
                                            const Warn& warn, const Warn& note, std::ostream& out) {
    out << "Writing DLL...\n";
    if (!plugin)
        return std::nullopt;
    std::optional<res::VersionInfo> version;
    if (const PluginImage image(*plugin); image.read()) {
        checkPlugin(image.bytes(), pluginName,
                    platform::text::ansiToUtf8(texts.vbName.ansi(), info.codePage).utf8,
                    update.machine(), warn, note);
        // A plugin that is no PE file has been warned of already.
        auto read = res::readVersionInfo(image.bytes());
        if (read && *read)
            version = std::move(**read);
        else if (!read && res::parseImage(image.bytes()))
            warn("\"" + pluginName + "\": its version resource is damaged (" + read.message() +
                 "); the installer says version 1.0.0.0");
    }
    payload.emplace_back(install_info::kIdPlugin, std::move(*plugin));
    return version;
}

// The version resource of the installer and the uninstaller: the plugin's
// numbers, company, copyright and product version where it has a version
// resource (else 1.0.0.0 and no company), its Name as the product and the
// Title as the description. The end user's Windows shows them, and the
// installer copies the version and the company into the uninstall entry.
Status addVersion(UpdateSink& sink, std::optional<res::VersionInfo> plugin,
                  const InstallerTexts& texts, const InstallInfo& info) {
    res::VersionInfo version;
    if (plugin) {
        version.fileVersion = plugin->fileVersion;
        version.productVersion = plugin->productVersion;
        version.companyName = std::move(plugin->companyName);
        version.legalCopyright = std::move(plugin->legalCopyright);
        version.productVersionText = std::move(plugin->productVersionText);
    } else {
        version.fileVersion = version.productVersion = {1, 0, 0, 0};
    }
    const auto utf16 = [&](const Value& value) {
        return platform::text::utf8ToUtf16(
            platform::text::ansiToUtf8(value.ansi(), info.codePage).utf8);
    };
    version.productName = utf16(texts.name);
    version.fileDescription = utf16(texts.title);
    auto bytes = res::buildVersionInfo(version);
    if (!bytes)
        return bytes.error();
    sink.add(res::kTypeVersion, res::kIdVersion, *bytes);
    return {};
}

// The extra files as added: their names in UTF-8, and the ID the next
// resource after them takes.
struct AddedExtraFiles {
    std::vector<std::string> namesUtf8;
    std::uint32_t nextId = 0;
};

// Adds each extra file of `extra`, saying so line by line.
AddedExtraFiles writeExtraFiles(Payload& payload, const ExtraFiles& extra,
                                const fs::path& workingDirectory, const InstallInfo& info,
                                const Warn& warn, std::ostream& out) {
    AddedExtraFiles added;
    std::uint32_t counter = 1;
    for (const std::string& line : extra.names) {
        added.namesUtf8.push_back(platform::text::ansiToUtf8(line, info.codePage).utf8);
        out << "Adding: " << added.namesUtf8.back() << "...\n";
        if (auto data = takeInputFile(workingDirectory, line, warn))
            payload.emplace_back(
                static_cast<std::uint16_t>(install_info::kIdExtraFileBase + counter),
                std::move(*data));
        ++counter;
    }
    added.nextId = install_info::kIdExtraFileBase + counter;
    return added;
}

// The signing command of the install-info file, as UTF-8; none without one.
// Read whole, never cut to a value's length: it is no text the installer
// holds.
std::optional<Signer> readSigner(const InstallInfo& info) {
    using namespace install_info;
    std::vector<char> whole(info.bytes + 1);
    const std::string_view command(
        whole.data(),
        platform::profile::getString(info.document, kSectionSign, kKeyCommand, "", whole,
                                     whole.size()));
    if (command.empty())
        return std::nullopt;
    if (info.converted)
        return Signer(std::string(command));
    return Signer(platform::text::ansiToUtf8(command, info.codePage).utf8);
}

std::u16string resourceName(std::string_view ascii) {
    return std::u16string(ascii.begin(), ascii.end());
}

// The extra files and their location table; the ID after the last file,
// or nullopt, said on `out`, when the table would not fit the installer's
// buffer of 10240 bytes of the code page (a UTF-8 or UTF-16 file's lines
// count as converted): nothing is written then.
std::optional<std::uint32_t> writeExtrasAndTable(UpdateSink& sink, Payload& payload,
                                                 const InstallInfo& info,
                                                 const fs::path& workingDirectory,
                                                 const std::string& pluginName, const Warn& warn,
                                                 std::ostream& out, std::ostream& err) {
    out << "Writing extra files...\n";
    const ExtraFiles extra = readExtraFiles(info, err);
    if (extra.table.size() > kSectionBufferBytes) {
        out << "The extra-file list is too long for the installer's table (" << extra.table.size()
            << " bytes, at most " << kSectionBufferBytes << "); nothing was written.\n";
        return std::nullopt;
    }
    const AddedExtraFiles added =
        writeExtraFiles(payload, extra, workingDirectory, info, warn, out);
    warnSameDestinations(pluginName, added.namesUtf8, err);
    out << "Writing Extra files location table...\n";
    sink.add(res::kTypeRcData, install_info::kIdLocationTable,
             std::as_bytes(std::span(extra.table)));
    return added.nextId;
}

// The uninstaller: the installer as updated so far, before the payload goes
// in, marked as the uninstaller, and signed where the author signs; carried
// in the installer for the install to write out as it is.
Status addUninstaller(res::Update& update, const std::optional<Signer>& signer,
                      const fs::path& workingDirectory, std::ostream& err) {
    const std::u16string mark = resourceName(TAMSEL_UNINSTALLER_MARK);
    constexpr char kMarked[] = "1";
    update.add(res::kTypeRcData, mark, res::kLanguageNeutral,
               std::as_bytes(std::span(kMarked, 1)));
    auto uninstaller = update.commitToMemory();
    update.remove(res::kTypeRcData, mark, res::kLanguageNeutral);
    if (!uninstaller)
        return uninstaller.error();
    if (signer) {
        auto signedBytes = signer->signBytes(*uninstaller, workingDirectory, err);
        if (!signedBytes)
            return signedBytes.error();
        *uninstaller = std::move(*signedBytes);
    }
    update.add(res::kTypeRcData, resourceName(TAMSEL_UNINSTALLER_RESOURCE), res::kLanguageNeutral,
               std::move(*uninstaller));
    return {};
}

// Writes the installer, then says how it went; the final key ends the run.
int commitAndReport(res::Update& update, const std::optional<Signer>& signer,
                    const WarningCounter& warnings, std::ostream& out, std::ostream& err,
                    std::istream& in) {
    // Signed while it is still the temporary file: a failed signing leaves
    // the installer as it was.
    platform::files::Verifier signTemporary;
    if (signer)
        signTemporary = [&](const fs::path& temporary) { return signer->sign(temporary, err); };
    auto committed = update.commit(signTemporary);
    if (!committed) {
        out << "Couldn't update installer\n" << committed.message() << '\n';
        waitForKey(out, in);
        return kExitFailed;
    }
    if (committed->signatureRemoved && !signer) {
        out << "The installer's digital signature was removed and must be renewed.\n";
    }
    // Said last, beside the line the author looks for, so that no warning
    // scrolled out of sight goes unnoticed.
    if (warnings.count() > 0)
        err << updater_output::countLine(warnings.count()) << '\n' << std::flush;
    out << "Installer updated!\n";
    waitForKey(out, in);
    return kExitOk;
}

int runSteps(const fs::path& workingDirectory, std::ostream& out, std::ostream& errors,
             std::istream& in, EarlyEnd earlyEnd) {
    using namespace install_info;
    WarningCounter warnings(errors.rdbuf());
    std::ostream err(&warnings);
    const Warn warn = [&err](const std::string& message) {
        err << "warning: " << message << '\n' << std::flush;
    };
    // What the author should know that is no fault: not counted.
    const Warn note = [&err](const std::string& message) {
        err << "note: " << message << '\n' << std::flush;
    };
    const auto read = readInstallInfo(workingDirectory, warn, platform::text::ansiCodePage());
    // Said before anything is written, as a missing installer is: the
    // installer stays as it was (see endEarly for the key).
    if (!read) {
        out << "Couldn't read " << kFileName << '\n' << read.error().why() << '\n';
        return endEarly(out, in, earlyEnd);
    }
    const InstallInfo& info = *read;
    const InstallerTexts texts = readTexts(info, err);
    const std::string pluginName =
        platform::text::ansiToUtf8(texts.filename.ansi(), info.codePage).utf8;
    auto plugin =
        takeInputFile(workingDirectory, texts.filename.ansi(), warn, kMissingPluginConsequence);
    auto update = openInstaller(workingDirectory, warn);
    if (!update) {
        out << "Couldn't open installer\n" << update.message() << '\n';
        return endEarly(out, in, earlyEnd);
    }
    UpdateSink sink(*update);
    Payload payload;
    writeStrings(sink, texts, out);
    auto pluginVersion =
        writePlugin(payload, *update, std::move(plugin), pluginName, texts, info, warn, note, out);

    const auto nextId =
        writeExtrasAndTable(sink, payload, info, workingDirectory, pluginName, warn, out, err);
    if (!nextId) {
        waitForKey(out, in);
        return kExitFailed;
    }

    out << "Adding Icon...\n";
    AddIcon(sink, workingDirectory, texts.icon.ansi(), *nextId, warn);
    // Every resource is replaced: the program's manifest goes back with the rest.
    sink.add(kTypeManifest, kIdManifest, std::as_bytes(std::span(kInstallerManifest)));
    const std::optional<Signer> signer = readSigner(info);
    Status carried = addVersion(sink, std::move(pluginVersion), texts, info);
    if (carried)
        carried = addUninstaller(*update, signer, workingDirectory, err);
    if (!carried) {
        out << "Couldn't update installer\n" << carried.message() << '\n';
        waitForKey(out, in);
        return kExitFailed;
    }
    for (auto& [id, data] : payload) addInput(*update, id, std::move(data));
    return commitAndReport(*update, signer, warnings, out, err, in);
}

}  // namespace

int run(const fs::path& workingDirectory, std::ostream& out, std::ostream& err, std::istream& in,
        EarlyEnd earlyEnd) {
    // Memory running out (an input larger than the machine can hold) ends
    // the run as a failure like any other: nothing has been written, and the
    // console stays readable until the key.
    try {
        return runSteps(workingDirectory, out, err, in, earlyEnd);
    } catch (const std::bad_alloc&) {
        out << "Couldn't update installer\nnot enough memory\n";
        waitForKey(out, in);
        return kExitFailed;
    }
}

}  // namespace updater
