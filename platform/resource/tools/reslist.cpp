// reslist IMAGE: prints one line per resource of a PE image:
//   type name language size rva offset
// Numeric types and names print as numbers, string names in double quotes.
#include <cstdio>
#include <string>

#include "platform/resource/resource_update.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: reslist IMAGE\n");
        return 2;
    }
    const auto listed = platform::resource::listResources(std::filesystem::path(argv[1]));
    if (!listed) {
        std::fprintf(stderr, "reslist: %s: %s\n", argv[1], listed.message().c_str());
        return 1;
    }
    for (const auto& resource : *listed) {
        std::printf("type=%s name=%s lang=%u size=%u rva=0x%X offset=0x%llX\n",
                    describe(resource.type).c_str(), describe(resource.name).c_str(),
                    static_cast<unsigned>(resource.language), static_cast<unsigned>(resource.size),
                    static_cast<unsigned>(resource.dataRva),
                    static_cast<unsigned long long>(resource.fileOffset));
    }
    return 0;
}
