// Images damaged in one place are refused with the reason, and the file is
// left as it was.
#include <gtest/gtest.h>

#include <functional>

#include "platform/resource/resource_update.h"
#include "tests/resource/resource_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace resource_test;
using platform::resource::Existing;
using platform::resource::Update;

struct Damage {
    const char* fault;
    std::function<void(std::string&, const Offsets&)> apply;
    const char* reason;         // must appear in the error
    bool keepExisting = false;  // open without "delete existing", so the old tree is read
};

// SizeOfImage grown by 0x4000, past every section, and data directory `d`
// placed at `fromOldEnd` bytes from where the image used to end.
std::function<void(std::string&, const Offsets&)> directoryInGrownImage(std::uint32_t d,
                                                                        std::int32_t fromOldEnd,
                                                                        std::uint32_t size) {
    return [=](std::string& b, const Offsets& o) {
        const std::uint32_t sizeOfImage = get32(b, o.optionalHeader + 56);
        put32(b, o.optionalHeader + 56, sizeOfImage + 0x4000);
        put32(b, o.optionalHeader + 96 + d * 8,
              static_cast<std::uint32_t>(sizeOfImage + fromOldEnd));
        put32(b, o.optionalHeader + 96 + d * 8 + 4, size);
    };
}

const Damage kDamages[] = {
    {"empty file", [](std::string& b, const Offsets&) { b.clear(); }, "too short for a DOS header"},
    {"cut inside the DOS header", [](std::string& b, const Offsets&) { b.resize(40); },
     "too short for a DOS header"},
    {"MZ replaced", [](std::string& b, const Offsets&) { b[0] = 'X'; }, "no MZ signature at 0x0"},
    {"e_lfanew points past the end",
     [](std::string& b, const Offsets&) { put32(b, 0x3C, 0x7FFFFFF0); }, "points past the end"},
    {"PE signature damaged", [](std::string& b, const Offsets& o) { b[o.pe]++; },
     "not a PE file: bad signature at 0x80"},
    {"cut inside the file header",
     [](std::string& b, const Offsets& o) { b.resize(o.fileHeader + 10); },
     "file header at 0x84 runs past the end"},
    {"no sections", [](std::string& b, const Offsets& o) { put16(b, o.fileHeader + 2, 0); },
     "0 sections"},
    {"absurd section count",
     [](std::string& b, const Offsets& o) { put16(b, o.fileHeader + 2, 0xFFFF); },
     "65535 sections"},
    {"optional header magic unknown",
     [](std::string& b, const Offsets& o) { put16(b, o.optionalHeader, 0x999); },
     "unknown magic 0x999"},
    {"cut inside the optional header",
     [](std::string& b, const Offsets& o) { b.resize(o.optionalHeader + 50); }, "optional header"},
    {"SizeOfOptionalHeader too small for the directories",
     [](std::string& b, const Offsets& o) { put16(b, o.fileHeader + 16, 96); },
     "SizeOfOptionalHeader 96"},
    {"absurd number of data directories",
     [](std::string& b, const Offsets& o) { put32(b, o.optionalHeader + 92, 0x10000); },
     "65536 data directories"},
    {"FileAlignment not a power of two",
     [](std::string& b, const Offsets& o) { put32(b, o.optionalHeader + 36, 0x201); },
     "FileAlignment 0x201"},
    {"SectionAlignment below FileAlignment",
     [](std::string& b, const Offsets& o) { put32(b, o.optionalHeader + 32, 0x100); },
     "SectionAlignment 0x100"},
    {"cut inside the section table",
     [](std::string& b, const Offsets& o) { b.resize(o.sectionTable + 60); }, "section table"},
    {"last section's data past the end",
     [](std::string& b, const Offsets& o) {
         put32(b, sectionField(o, o.sectionCount - 1, 16), 0x100000);
     },
     "runs past the end of the file"},
    {"file cut inside the last section",
     [](std::string& b, const Offsets&) { b.resize(b.size() - 0x100); },
     "runs past the end of the file"},
    {"second section's data overlaps the first's",
     [](std::string& b, const Offsets& o) {
         put32(b, sectionField(o, 1, 20), get32(b, sectionField(o, 0, 20)) + 0x200);
     },
     "overlaps section"},
    {"second section's addresses overlap the first's",
     [](std::string& b, const Offsets& o) {
         put32(b, sectionField(o, 1, 12), get32(b, sectionField(o, 0, 12)));
     },
     "in memory"},
    {"first section mapped over the headers",
     [](std::string& b, const Offsets& o) { put32(b, sectionField(o, 0, 12), 0); },
     "overlaps the headers in memory"},
    {"section data inside the headers",
     [](std::string& b, const Offsets& o) { put32(b, sectionField(o, 0, 20), 0x10); },
     "overlaps the headers"},
    {"certificate table past the end",
     [](std::string& b, const Offsets& o) {
         put32(b, o.optionalHeader + 96 + 4 * 8, static_cast<std::uint32_t>(b.size() - 8));
         put32(b, o.optionalHeader + 96 + 4 * 8 + 4, 0x100);
     },
     "bad certificate table"},
    {"resource directory past the end of the image",
     [](std::string& b, const Offsets& o) { put32(b, o.optionalHeader + 96 + 2 * 8, 0x7FFF0000); },
     "bad data directory: resource table at 0x7FFF0000", true},
    {"resource directory in the headers, outside every section",
     [](std::string& b, const Offsets& o) { put32(b, o.optionalHeader + 96 + 2 * 8, 0x10); },
     "malformed resource tree", true},
    // A stale address past the end would fall inside the new resource
    // section, and the loader would apply resource bytes as relocations.
    {"base relocation directory past the end of the image",
     [](std::string& b, const Offsets& o) { put32(b, o.optionalHeader + 96 + 5 * 8, 0x7FFF0000); },
     "bad data directory: base relocation table at 0x7FFF0000"},
    {"base relocation directory starting inside the image, running past its end",
     [](std::string& b, const Offsets& o) {
         put32(b, o.optionalHeader + 96 + 5 * 8 + 4, 0x7FFF0000);
     },
     "bad data directory: base relocation table"},
    {"import directory at the last address plus one",
     [](std::string& b, const Offsets& o) {
         put32(b, o.optionalHeader + 96 + 1 * 8, get32(b, o.optionalHeader + 56));
         put32(b, o.optionalHeader + 96 + 1 * 8 + 4, 1);
     },
     "bad data directory: import table"},
    // Inside SizeOfImage but in no section: the image we write ends with its
    // sections, so such a directory would end up outside it.
    {"import directory past every section, inside a SizeOfImage made larger",
     directoryInGrownImage(1, 0x2000, 0x608),
     "bad data directory: import table at 0x15000 size 0x608 does not lie inside one section"},
    {"base relocation directory running out of the last section, inside a SizeOfImage made larger",
     directoryInGrownImage(5, -0x10, 0x100),
     "bad data directory: base relocation table at 0x12FF0 size 0x100 does not lie inside one "
     "section"},
    {"address 0 with a size past the end: present, not absent",
     [](std::string& b, const Offsets& o) {
         put32(b, o.optionalHeader + 96 + 6 * 8, 0);
         put32(b, o.optionalHeader + 96 + 6 * 8 + 4, 0xFFFFFFFF);
     },
     "bad data directory: debug directory at 0x0 size 0xFFFFFFFF"},
    {"type entry points back at the root directory",
     [](std::string& b, const Offsets& o) { put32(b, o.resourceSection + 16 + 4, 0x80000000); },
     "malformed resource tree", true},
    {"root directory claims more entries than the section holds",
     [](std::string& b, const Offsets& o) { put16(b, o.resourceSection + 14, 0xFFFF); },
     "malformed resource tree", true},
};

TEST(DamagedImage, IsRefusedWithItsReasonAndLeftUnchanged) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const std::string original = test_support::readBytes(fixturePath("pe32_res.exe"));
    const Offsets offsets = offsetsOf(original);
    ASSERT_EQ(offsets.pe, 0x80u);
    ASSERT_NE(offsets.resourceSection, 0u);
    for (const Damage& damage : kDamages) {
        SCOPED_TRACE(damage.fault);
        test_support::TempDir dir;
        std::string bytes = original;
        damage.apply(bytes, offsets);
        const fs::path path = dir / "installer.exe";
        test_support::writeBytes(path, bytes);

        const auto update =
            Update::begin(path, damage.keepExisting ? Existing::Keep : Existing::Delete);
        ASSERT_FALSE(update.isOk());
        EXPECT_NE(update.message().find(damage.reason), std::string::npos) << update.message();
        EXPECT_EQ(update.kind(), platform::ErrorKind::BadFormat) << update.message();
        EXPECT_TRUE(test_support::readBytes(path) == bytes);
        EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"installer.exe"});

        // Listing the same bytes is refused too.
        const auto* data = reinterpret_cast<const std::byte*>(bytes.data());
        EXPECT_FALSE(platform::resource::listResources(std::span(data, bytes.size())).isOk());
    }
}

}  // namespace
