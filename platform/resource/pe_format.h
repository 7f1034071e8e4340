// On-disk records of the PE/COFF format, as laid out in the file (little-endian).
// They are filled and written back with memcpy through ByteReader/ByteWriter
// (platform/bytes/byte_io.h), never by casting a pointer into the file's bytes.
#pragma once

#include <bit>
#include <cstdint>

namespace platform::resource::pe {

// The records are copied byte for byte, so the host must share the file's byte order.
static_assert(std::endian::native == std::endian::little, "PE records are little-endian");

inline constexpr std::uint16_t kDosMagic = 0x5A4D;         // "MZ"
inline constexpr std::uint32_t kPeSignature = 0x00004550;  // "PE\0\0"
inline constexpr std::uint16_t kPe32Magic = 0x10B;
inline constexpr std::uint16_t kPe32PlusMagic = 0x20B;
inline constexpr std::uint32_t kMaxSections = 96;  // the documented loader limit
inline constexpr std::uint32_t kMaxDataDirectories = 16;

inline constexpr std::uint32_t kDirectoryExport = 0;
inline constexpr std::uint32_t kDirectoryResource = 2;
inline constexpr std::uint32_t kDirectorySecurity = 4;  // a file offset, not an RVA
inline constexpr std::uint32_t kDirectoryBaseRelocation = 5;
inline constexpr std::uint32_t kDirectoryDebug = 6;
inline constexpr std::uint32_t kDirectoryBoundImport = 11;  // lies in the headers

// The file header's Machine values that Windows runs, and its flag for a DLL.
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kMachineArm64 = 0xAA64;
inline constexpr std::uint16_t kFileDll = 0x2000;

inline constexpr std::uint32_t kSectionCode = 0x00000020;
inline constexpr std::uint32_t kSectionInitializedData = 0x00000040;
inline constexpr std::uint32_t kSectionDiscardable = 0x02000000;
inline constexpr std::uint32_t kSectionExecute = 0x20000000;
inline constexpr std::uint32_t kSectionRead = 0x40000000;

// Resource directory entries: the high bit of the name field marks a string
// name, the high bit of the offset field a subdirectory.
inline constexpr std::uint32_t kNameIsStringBit = 0x80000000;
inline constexpr std::uint32_t kSubdirectoryBit = 0x80000000;
inline constexpr std::uint32_t kOffsetMask = 0x7FFFFFFF;

struct DosHeader {
    std::uint16_t magic;
    std::uint8_t unused[58];
    std::uint32_t peHeaderOffset;  // e_lfanew, at 0x3C
};
static_assert(sizeof(DosHeader) == 64);

struct FileHeader {
    std::uint16_t machine;
    std::uint16_t numberOfSections;
    std::uint32_t timeDateStamp;
    std::uint32_t pointerToSymbolTable;  // file offset of the COFF symbol table, 0 if none
    std::uint32_t numberOfSymbols;
    std::uint16_t sizeOfOptionalHeader;
    std::uint16_t characteristics;
};
static_assert(sizeof(FileHeader) == 20);

// The first fields of either optional header.
struct StandardFields {
    std::uint16_t magic;
    std::uint8_t majorLinkerVersion;
    std::uint8_t minorLinkerVersion;
    std::uint32_t sizeOfCode;
    std::uint32_t sizeOfInitializedData;
    std::uint32_t sizeOfUninitializedData;
    std::uint32_t addressOfEntryPoint;
    std::uint32_t baseOfCode;
};
static_assert(sizeof(StandardFields) == 24);

// The fields from SectionAlignment to DllCharacteristics, shared by PE32 and
// PE32+ at the same offset (32) of their optional headers.
struct ImageLayout {
    std::uint32_t sectionAlignment;
    std::uint32_t fileAlignment;
    std::uint16_t versions[6];
    std::uint32_t win32VersionValue;
    std::uint32_t sizeOfImage;
    std::uint32_t sizeOfHeaders;
    std::uint32_t checkSum;
    std::uint16_t subsystem;
    std::uint16_t dllCharacteristics;
};
static_assert(sizeof(ImageLayout) == 40);

// Both optional header records end where the data directories begin.
struct OptionalHeader32 {
    StandardFields standard;
    std::uint32_t baseOfData;
    std::uint32_t imageBase;
    ImageLayout layout;
    std::uint32_t sizeOfStackReserve;
    std::uint32_t sizeOfStackCommit;
    std::uint32_t sizeOfHeapReserve;
    std::uint32_t sizeOfHeapCommit;
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
};
static_assert(sizeof(OptionalHeader32) == 96);

struct OptionalHeader64 {
    StandardFields standard;
    std::uint64_t imageBase;
    ImageLayout layout;
    std::uint64_t sizeOfStackReserve;
    std::uint64_t sizeOfStackCommit;
    std::uint64_t sizeOfHeapReserve;
    std::uint64_t sizeOfHeapCommit;
    std::uint32_t loaderFlags;
    std::uint32_t numberOfRvaAndSizes;
};
static_assert(sizeof(OptionalHeader64) == 112);

// Offset of the checksum inside either optional header; skipped when summing.
inline constexpr std::uint64_t kCheckSumOffset = 64;
static_assert(__builtin_offsetof(OptionalHeader32, layout) +
                  __builtin_offsetof(ImageLayout, checkSum) ==
              kCheckSumOffset);
static_assert(__builtin_offsetof(OptionalHeader64, layout) +
                  __builtin_offsetof(ImageLayout, checkSum) ==
              kCheckSumOffset);

struct DataDirectory {
    std::uint32_t address;  // an RVA, except for the security directory (a file offset)
    std::uint32_t size;
};
static_assert(sizeof(DataDirectory) == 8);

struct SectionHeader {
    char name[8];
    std::uint32_t virtualSize;
    std::uint32_t virtualAddress;
    std::uint32_t sizeOfRawData;
    std::uint32_t pointerToRawData;
    std::uint32_t pointerToRelocations;
    std::uint32_t pointerToLinenumbers;
    std::uint16_t numberOfRelocations;
    std::uint16_t numberOfLinenumbers;
    std::uint32_t characteristics;
};
static_assert(sizeof(SectionHeader) == 40);

struct ResourceDirectory {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint16_t numberOfNamedEntries;
    std::uint16_t numberOfIdEntries;
};
static_assert(sizeof(ResourceDirectory) == 16);

struct ResourceDirectoryEntry {
    std::uint32_t name;    // an ID, or kNameIsStringBit | offset of the string
    std::uint32_t offset;  // kSubdirectoryBit | directory offset, or a data entry's offset
};
static_assert(sizeof(ResourceDirectoryEntry) == 8);

struct ResourceDataEntry {
    std::uint32_t dataRva;
    std::uint32_t size;
    std::uint32_t codePage;
    std::uint32_t reserved;
};
static_assert(sizeof(ResourceDataEntry) == 16);

// The export directory: the name table is numberOfNames RVAs of
// NUL-terminated names, sorted, beside a table of ordinals.
struct ExportDirectory {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t nameRva;
    std::uint32_t ordinalBase;
    std::uint32_t numberOfFunctions;
    std::uint32_t numberOfNames;
    std::uint32_t addressOfFunctions;
    std::uint32_t addressOfNames;
    std::uint32_t addressOfNameOrdinals;
};
static_assert(sizeof(ExportDirectory) == 40);

struct DebugDirectoryEntry {
    std::uint32_t characteristics;
    std::uint32_t timeDateStamp;
    std::uint16_t majorVersion;
    std::uint16_t minorVersion;
    std::uint32_t type;
    std::uint32_t sizeOfData;
    std::uint32_t addressOfRawData;
    std::uint32_t pointerToRawData;
};
static_assert(sizeof(DebugDirectoryEntry) == 28);

struct BaseRelocationBlock {
    std::uint32_t pageRva;
    std::uint32_t blockSize;  // including this header
};
static_assert(sizeof(BaseRelocationBlock) == 8);

}  // namespace platform::resource::pe
