// Nothing reaches the disk before commit(), and a commit that cannot finish
// leaves the image byte for byte as it was, with no temporary file behind.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstring>
#include <functional>

#include "platform/resource/resource_update.h"
#include "tests/resource/resource_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace resource_test;
using platform::Status;
using platform::resource::Existing;
using platform::resource::Update;

// Exit codes of the child that tries the commit.
constexpr int kCommitFailed = 0;
constexpr int kBeginFailed = 2;
constexpr int kCommitSucceeded = 3;

int tryCommit(const fs::path& image) {
    auto update = Update::begin(image, Existing::Delete);
    if (!update)
        return kBeginFailed;
    addAll(*update, updaterLikeSet());
    return update->commit().isOk() ? kCommitSucceeded : kCommitFailed;
}

struct WriteFault {
    const char* fault;
    test_support::ChildLimits limits;
    fs::perms folderPermissions;
};

TEST(CommitFailure, LeavesTheImageByteIdenticalAndNoTemporaryFile) {
    TAMSEL_POSIX_ONLY("a read-only folder and a file-size limit, in a forked child");
    REQUIRE_FIXTURE("pe32_res.exe");
    const std::string original = test_support::readBytes(fixturePath("pe32_res.exe"));
    const WriteFault faults[] = {
        {"read-only folder (as nobody)",
         {.asNobody = true, .maxFileBytes = std::nullopt},
         fs::perms(0555)},
        {"disk full (file size limit below the new image)",
         {.asNobody = false, .maxFileBytes = original.size() + 4096},
         fs::perms(0755)},
    };
    for (const WriteFault& fault : faults) {
        SCOPED_TRACE(fault.fault);
        test_support::TempDir dir;
        const fs::path installer = dir / "installer.exe";
        test_support::writeBytes(installer, original);
        fs::permissions(dir.path(), fault.folderPermissions);
        EXPECT_EQ(test_support::runInChild([&] { return tryCommit(installer); }, fault.limits),
                  kCommitFailed);
        fs::permissions(dir.path(), fs::perms::owner_all, fs::perm_options::add);
        EXPECT_TRUE(test_support::readBytes(installer) == original);
        EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"installer.exe"});
    }
}

// A disk that fills while a file's data is streamed in is a failed write,
// reported as such: the file itself did not change.
TEST(CommitFailure, AFullDiskWhileCopyingAFileIsNotReportedAsAChangedFile) {
    TAMSEL_POSIX_ONLY("a file-size limit (ulimit -f) in a forked child stands in for a full disk");
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    const std::string original = test_support::readBytes(copy.path);
    const fs::path data = copy.dir / "plugin.dll";
    test_support::writeBytes(data, std::string(3 << 20, 'p'));
    const int code = test_support::runInChild(
        [&] {
            auto file = platform::resource::FileData::measure(data);
            auto update = Update::begin(copy.path, Existing::Delete);
            if (!file || !update)
                return kBeginFailed;
            update->addFile(std::uint16_t{10}, std::uint16_t{106}, 0, std::move(*file));
            const auto committed = update->commit();
            if (committed)
                return kCommitSucceeded;
            return committed.kind() == platform::ErrorKind::NoSpace ? kCommitFailed : 9;
        },
        {.asNobody = false, .maxFileBytes = original.size() + (1 << 20)});
    EXPECT_EQ(code, kCommitFailed);
    EXPECT_TRUE(test_support::readBytes(copy.path) == original);
    EXPECT_EQ(test_support::listFolder(copy.dir.path()).size(), 2u);
}

// The read-back before the rename reads what the image says it holds (its
// size, the headers with the checksum, the resource tree), not its data:
// each row damages one byte of the written file, or the builder's record of
// it, and names what must then be said.
TEST(CommitFailure, TheReadBackCatchesWhatTheImageSaysNotItsData) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const auto set = updaterLikeSet();
    const auto fixture = buildFixture("pe32_res.exe", resourceMap(set));
    ASSERT_TRUE(fixture);
    platform::files::MemorySink sink;
    const auto checkSum = platform::resource::writeImage(fixture->built, sink);
    ASSERT_TRUE(checkSum.isOk()) << checkSum.message();
    const std::vector<std::byte> bytes = sink.take();
    const std::string written(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    const Offsets o = offsetsOf(written);
    const std::uint64_t tree = fixture->built.structure.at(1).offset;
    const std::uint64_t plugin = fixture->built.resources.at(3 + 5).fileOffset;  // RCDATA 106
    const char* const kBytesDiffer = "its bytes differ";
    const char* const kWrongSize = "the file has the wrong size";
    const struct {
        const char* damage;
        std::function<void(std::string& file, platform::resource::BuiltImage& built)> apply;
        const char* said;  // nullptr: the read-back is content
    } rows[] = {
        {"none", [](std::string&, platform::resource::BuiltImage&) {}, nullptr},
        {"the section count in the file header",
         [&](std::string& file, auto&) { file[o.fileHeader + 2] ^= 1; }, kBytesDiffer},
        {"the checksum field", [&](std::string& file, auto&) { file[o.optionalHeader + 64] ^= 1; },
         kBytesDiffer},
        {"the resource directory's entry count",
         [&](std::string& file, auto&) { file[tree + 14] ^= 1; }, kBytesDiffer},
        {"the last byte before the data: a data entry's reserved field",
         [&](std::string& file, auto& built) { file[tree + built.structure.at(1).size - 1] ^= 1; },
         kBytesDiffer},
        {"the file cut short by a byte", [](std::string& file, auto&) { file.pop_back(); },
         kWrongSize},
        {"a byte appended", [](std::string& file, auto&) { file.push_back('\0'); }, kWrongSize},
        // Written from its owner, never read again: not the read-back's to see.
        {"a byte of the plugin's data", [&](std::string& file, auto&) { file[plugin + 7] ^= 1; },
         nullptr},
        {"the builder's record puts a resource elsewhere than the tree says",
         [](std::string&, auto& built) { built.resources.at(0).fileOffset += 8; },
         "a resource differs"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.damage);
        test_support::TempDir dir;
        std::string file = written;
        platform::resource::BuiltImage built = fixture->built;
        row.apply(file, built);
        test_support::writeBytes(dir / "written.exe", file);
        const Status readBack = platform::resource::readBack(dir / "written.exe", built, *checkSum);
        if (!row.said) {
            EXPECT_TRUE(readBack.isOk()) << readBack.message();
            continue;
        }
        EXPECT_EQ(readBack.message(), std::string("written image does not read back: ") + row.said);
    }
}

// The slot after the last section header takes the new section's header
// when no data directory but the bound import table points there, whatever
// bytes it holds; any other directory there is refused clearly.
TEST(CommitFailure, TheSlotAfterTheSectionTableIsUsedUnlessADirectoryNeedsIt) {
    REQUIRE_FIXTURE("pe32_plain.exe");
    const std::string original = test_support::readBytes(fixturePath("pe32_plain.exe"));
    const Offsets o = offsetsOf(original);
    const std::size_t slot = sectionField(o, o.sectionCount, 0);
    const auto directory = [&](std::uint32_t d) { return o.optionalHeader + 96 + 8 * d; };
    const struct {
        const char* fault;
        std::uint32_t directoryThere;  // 16: none
        const char* refusal;           // nullptr: the commit succeeds
    } rows[] = {
        {"stray bytes nothing points at are free space", 16, nullptr},
        {"a bound import table there loses its entry; the loader binds anew", 11, nullptr},
        {"an export table there", 0, "no room in the headers for another section header"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        std::string bytes = original;
        bytes[slot + 7] = 'x';
        if (row.directoryThere < 16) {
            put32(bytes, directory(row.directoryThere), static_cast<std::uint32_t>(slot));
            put32(bytes, directory(row.directoryThere) + 4, 0x20);
        }
        test_support::TempDir dir;
        const fs::path installer = dir / "installer.exe";
        test_support::writeBytes(installer, bytes);
        auto update = Update::begin(installer, Existing::Delete);
        ASSERT_TRUE(update.isOk()) << update.message();
        update->add(std::uint16_t{10}, std::uint16_t{101}, 0, textBytes("x"));
        const auto report = update->commit();
        EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"installer.exe"});
        if (row.refusal) {
            ASSERT_FALSE(report.isOk());
            EXPECT_NE(report.message().find(row.refusal), std::string::npos) << report.message();
            EXPECT_TRUE(test_support::readBytes(installer) == bytes);
            continue;
        }
        ASSERT_TRUE(report.isOk()) << report.message();
        EXPECT_TRUE(sameResources(listed(installer),
                                  {{std::uint16_t{10}, std::uint16_t{101}, 0, textBytes("x")}}));
        const std::string written = test_support::readBytes(installer);
        EXPECT_EQ(get32(written, directory(11)), 0u);
        EXPECT_EQ(get32(written, directory(11) + 4), 0u);
    }
}

TEST(CommitFailure, NothingReachesTheDiskBeforeCommit) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    const fs::path& installer = copy.path;
    const auto modified = fs::last_write_time(installer);
    {
        auto update = Update::begin(installer, Existing::Delete);
        ASSERT_TRUE(update.isOk());
        addAll(*update, updaterLikeSet());
        ASSERT_TRUE(update->commitToMemory().isOk());
    }
    EXPECT_TRUE(test_support::readBytes(installer) ==
                test_support::readBytes(fixturePath("pe32_res.exe")));
    EXPECT_EQ(fs::last_write_time(installer), modified);
    EXPECT_EQ(test_support::listFolder(copy.dir.path()), std::vector<std::string>{"installer.exe"});
}

TEST(CommitFailure, AnUpdateOpenedFromMemoryHasNoFileToCommit) {
    REQUIRE_FIXTURE("pe32_res.exe");
    auto bytes = platform::files::readFile(fixturePath("pe32_res.exe"));
    ASSERT_TRUE(bytes.isOk());
    auto update = Update::beginFromBytes(*bytes, Existing::Delete);
    ASSERT_TRUE(update.isOk());
    EXPECT_FALSE(update->commit().isOk());
}

}  // namespace
