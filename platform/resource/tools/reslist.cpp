// reslist IMAGE: prints one line per resource of a PE image:
//   type name language size rva offset [TYPE_NAME [FILE_VERSION]]
// Numeric types and names print as numbers, string names in double quotes.
// A standard type's name follows (RT_ICON); a version resource adds its
// file version, or why it cannot be read.
#include <cstdio>
#include <string>

#include "platform/files/files.h"
#include "platform/resource/resource_update.h"
#include "platform/resource/version_info.h"

namespace {

std::string describe(const platform::resource::ResourceName& name) {
    if (const auto* id = std::get_if<std::uint16_t>(&name))
        return std::to_string(*id);
    std::string text = "\"";
    for (char16_t unit : std::get<std::u16string>(name)) {
        if (unit >= 0x20 && unit < 0x7F && unit != u'"' && unit != u'\\') {
            text += static_cast<char>(unit);
        } else {
            char escaped[8];
            std::snprintf(escaped, sizeof escaped, "\\u%04X", static_cast<unsigned>(unit));
            text += escaped;
        }
    }
    return text + "\"";
}

// The names windows.h gives the standard types (RT_*), by ID.
const char* standardTypeName(const platform::resource::ResourceName& type) {
    static const char* const kNames[] = {
        nullptr,     "RT_CURSOR",       "RT_BITMAP",       "RT_ICON", "RT_MENU",
        "RT_DIALOG", "RT_STRING",       "RT_FONTDIR",      "RT_FONT", "RT_ACCELERATOR",
        "RT_RCDATA", "RT_MESSAGETABLE", "RT_GROUP_CURSOR", nullptr,   "RT_GROUP_ICON",
        nullptr,     "RT_VERSION",      "RT_DLGINCLUDE",   nullptr,   "RT_PLUGPLAY",
        "RT_VXD",    "RT_ANICURSOR",    "RT_ANIICON",      "RT_HTML", "RT_MANIFEST"};
    const auto* id = std::get_if<std::uint16_t>(&type);
    return id != nullptr && *id < std::size(kNames) ? kNames[*id] : nullptr;
}

// What follows the numbers: the type's name, and for a version resource its
// file version.
std::string explained(std::span<const std::byte> image,
                      const platform::resource::ListedResource& resource) {
    namespace res = platform::resource;
    const char* name = standardTypeName(resource.type);
    if (name == nullptr)
        return {};
    std::string text = std::string(" ") + name;
    if (resource.type != res::ResourceName(res::kTypeVersion))
        return text;
    const auto data = res::resourceData(image, resource);
    if (!data)
        return text + " (" + data.message() + ")";
    const auto info = res::parseVersionInfo(*data);
    if (!info)
        return text + " (" + info.message() + ")";
    text += ' ';
    for (char16_t unit : res::versionText(info->fileVersion)) text += static_cast<char>(unit);
    return text;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reslist IMAGE\n");
        return 2;
    }
    const auto image = platform::files::readFile(std::filesystem::path(argv[1]));
    if (!image) {
        std::fprintf(stderr, "reslist: %s: %s\n", argv[1], image.message().c_str());
        return 1;
    }
    const auto listed = platform::resource::listResources(std::span<const std::byte>(*image));
    if (!listed) {
        std::fprintf(stderr, "reslist: %s: %s\n", argv[1], listed.message().c_str());
        return 1;
    }
    for (const auto& resource : *listed) {
        std::printf("type=%s name=%s lang=%u size=%u rva=0x%X offset=0x%llX%s\n",
                    describe(resource.type).c_str(), describe(resource.name).c_str(),
                    static_cast<unsigned>(resource.language), static_cast<unsigned>(resource.size),
                    static_cast<unsigned>(resource.dataRva),
                    static_cast<unsigned long long>(resource.fileOffset),
                    explained(*image, resource).c_str());
    }
    return 0;
}
