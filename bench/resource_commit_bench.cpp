// Commit of 64 MB of resources (sixteen RCDATA of 4 MB) into a 1 MB PE32
// image whose .rsrc is followed by .reloc, the installer's usual layout.
// Prints "name: value unit" lines; bench/resource.sh adds time and peak memory.
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <vector>

#include "platform/files/files.h"
#include "platform/resource/pe_format.h"
#include "platform/resource/resource_update.h"

namespace {

namespace pe = platform::resource::pe;
using Clock = std::chrono::steady_clock;

constexpr std::uint32_t kImageBytes = 1024 * 1024;
constexpr std::uint32_t kHeaders = 0x400;
constexpr std::uint32_t kRelocBytes = 0x200;
constexpr std::uint32_t kRsrcBytes = 0x200;
constexpr std::uint32_t kTextBytes = kImageBytes - kHeaders - kRsrcBytes - kRelocBytes;

template <typename T>
void put(std::vector<std::byte>& image, std::size_t at, const T& value) {
    std::memcpy(image.data() + at, &value, sizeof value);
}

pe::SectionHeader section(const char* name, std::uint32_t rva, std::uint32_t offset,
                          std::uint32_t size, std::uint32_t characteristics) {
    pe::SectionHeader header{};
    std::strncpy(header.name, name, sizeof header.name);
    header.virtualAddress = rva;
    header.virtualSize = size;
    header.pointerToRawData = offset;
    header.sizeOfRawData = size;
    header.characteristics = characteristics;
    return header;
}

// A 1 MB PE32 image: .text, an empty .rsrc found by name, then .reloc with
// one relocation into .text.
std::vector<std::byte> makeImage() {
    std::vector<std::byte> image(kImageBytes);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = std::byte(i * 131 >> 3);
    std::memset(image.data(), 0, kHeaders);
    pe::DosHeader dos{};
    dos.magic = pe::kDosMagic;
    dos.peHeaderOffset = 0x80;
    put(image, 0, dos);
    put(image, 0x80, pe::kPeSignature);
    pe::FileHeader file{};
    file.machine = 0x14C;
    file.numberOfSections = 3;
    file.sizeOfOptionalHeader = sizeof(pe::OptionalHeader32) + 16 * sizeof(pe::DataDirectory);
    file.characteristics = 0x0102;
    put(image, 0x84, file);

    const std::uint32_t textRva = 0x1000;
    const std::uint32_t rsrcRva = textRva + 0x100000;
    const std::uint32_t relocRva = rsrcRva + 0x1000;
    pe::OptionalHeader32 optional{};
    optional.standard.magic = pe::kPe32Magic;
    optional.standard.sizeOfCode = kTextBytes;
    optional.standard.sizeOfInitializedData = kRsrcBytes + kRelocBytes;
    optional.standard.addressOfEntryPoint = textRva;
    optional.imageBase = 0x400000;
    optional.layout.sectionAlignment = 0x1000;
    optional.layout.fileAlignment = 0x200;
    optional.layout.sizeOfImage = relocRva + 0x1000;
    optional.layout.sizeOfHeaders = kHeaders;
    optional.layout.subsystem = 3;
    optional.numberOfRvaAndSizes = 16;
    const std::size_t optionalAt = 0x98;
    put(image, optionalAt, optional);
    const std::size_t directories = optionalAt + sizeof optional;
    put(image, directories + pe::kDirectoryBaseRelocation * 8, pe::DataDirectory{relocRva, 12});

    const std::size_t table = directories + 16 * sizeof(pe::DataDirectory);
    const std::uint32_t rsrcAt = kHeaders + kTextBytes;
    const std::uint32_t relocAt = rsrcAt + kRsrcBytes;
    put(image, table, section(".text", textRva, kHeaders, kTextBytes, 0x60000020));
    put(image, table + 40, section(".rsrc", rsrcRva, rsrcAt, kRsrcBytes, 0x40000040));
    put(image, table + 80, section(".reloc", relocRva, relocAt, kRelocBytes, 0x42000040));
    std::memset(image.data() + rsrcAt, 0, kRsrcBytes + kRelocBytes);
    put(image, relocAt, pe::BaseRelocationBlock{textRva, 12});
    put(image, relocAt + 8, std::uint16_t{0x3010});  // HIGHLOW at .text + 0x10
    return image;
}

double millisecondsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

}  // namespace

int main() {
    namespace fs = std::filesystem;
    using platform::resource::Existing;
    using platform::resource::Placement;
    using platform::resource::Update;
    char pattern[] = "/tmp/resource-bench-XXXXXX";
    if (::mkdtemp(pattern) == nullptr)
        return 1;
    const fs::path folder = pattern;
    const fs::path imagePath = folder / "installer.exe";
    const auto image = makeImage();
    if (!platform::files::replaceFile(imagePath, image))
        return 1;

    std::vector<std::vector<std::byte>> blocks;
    std::uint64_t total = 0;
    for (int i = 0; i < 16; ++i) {
        blocks.emplace_back(4 * 1024 * 1024, std::byte(i + 1));
        total += blocks.back().size();
    }

    auto start = Clock::now();
    auto update = Update::begin(imagePath, Existing::Delete);
    if (!update) {
        std::fprintf(stderr, "begin: %s\n", update.message().c_str());
        return 1;
    }
    for (std::size_t i = 0; i < blocks.size(); ++i) {
        update->add(std::uint16_t{10}, static_cast<std::uint16_t>(101 + i), 0, blocks[i]);
    }
    const double beginAndAdd = millisecondsSince(start);
    blocks.clear();

    start = Clock::now();
    const bool builtInMemory = update->commitToMemory().isOk();
    const double toMemory = millisecondsSince(start);

    // Writes, flushes, reads back and checks the temporary file, then renames it.
    start = Clock::now();
    const auto report = update->commit();
    const double toFile = millisecondsSince(start);
    if (!builtInMemory || !report) {
        std::fprintf(stderr, "commit failed\n");
        return 1;
    }

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    std::printf("resource_image_size: %zu bytes\n", image.size());
    std::printf("resource_added_size: %llu bytes\n", static_cast<unsigned long long>(total));
    std::printf("resource_output_size: %llu bytes\n",
                static_cast<unsigned long long>(fs::file_size(imagePath)));
    std::printf("resource_begin_and_add_time: %.1f ms\n", beginAndAdd);
    std::printf("resource_commit_to_memory_time: %.1f ms\n", toMemory);
    std::printf("resource_commit_to_file_time: %.1f ms\n", toFile);
    std::printf("resource_peak_rss: %ld KB\n", usage.ru_maxrss);
    std::printf("resource_placement_is_move: %d bool\n", report->placement == Placement::Move);
    fs::remove_all(folder);
    return 0;
}
