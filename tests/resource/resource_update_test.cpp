// Replacing the resources of real MinGW-built images, layout by layout, and
// checking the result with readers that share no code with ours.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <fstream>
#include <functional>
#include <memory>
#include <optional>
#include <span>

#include "platform/files/files.h"
#include "platform/resource/pe_image.h"
#include "platform/resource/resource_tree.h"
#include "platform/resource/resource_update.h"
#include "tests/resource/resource_test_support.h"
#include "tests/support/child_process.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace resource_test;
using platform::Status;
using platform::resource::CommitReport;
using platform::resource::Existing;
using platform::resource::Placement;
using platform::resource::Update;

struct Layout {
    const char* fixture;
    Placement placement;  // the policy the library must choose for it
    bool signedImage;
    const char* guards;  // the fault this row catches

    friend void PrintTo(const Layout& layout, std::ostream* out) { *out << layout.fixture; }
};

class LayoutTest : public testing::TestWithParam<Layout> {};

TEST_P(LayoutTest, ReplacesEveryResourceAsIndependentReadersSeeIt) {
    const Layout& layout = GetParam();
    SCOPED_TRACE(layout.guards);
    REQUIRE_FIXTURE(layout.fixture);
    const InstallerCopy copy(layout.fixture);
    const fs::path& installer = copy.path;

    auto update = Update::begin(installer, Existing::Delete);
    ASSERT_TRUE(update.isOk()) << update.message();
    const auto set = updaterLikeSet();
    addAll(*update, set);
    const auto report = update->commit();
    ASSERT_TRUE(report.isOk()) << report.message();

    EXPECT_EQ(report->placement, layout.placement);
    EXPECT_EQ(report->signatureRemoved, layout.signedImage);
    EXPECT_TRUE(sameResources(listed(installer), set));
    EXPECT_EQ(independentCheck(installer, set, fixturePath(layout.fixture), layout.signedImage),
              "");
    EXPECT_EQ(
        test_support::listFolder(copy.dir.path()),
        (std::vector<std::string>{"check.log", "expected.bin", "expected.json", "installer.exe"}));
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, LayoutTest,
    testing::Values(
        Layout{"pe32_res.exe", Placement::Move, false,
               ".reloc after .rsrc: relocations lost when moved"},
        Layout{"pe64_res.exe", Placement::Move, false, "PE32+ header offsets"},
        Layout{"pe32_plain.exe", Placement::Append, false,
               "no resources: new section and header room"},
        Layout{"pe64_plain.exe", Placement::Append, false, "no resources in PE32+"},
        Layout{"pe32_rsrc_last.exe", Placement::Resize, false, ".rsrc last: sizes not updated"},
        Layout{"pe32_rsrc_then_data.exe", Placement::Append, false,
               "non-discardable section after .rsrc must not move"},
        Layout{"pe32_unstripped.exe", Placement::Move, false,
               "COFF symbol table pointer and debug sections after .rsrc"},
        Layout{"pe32_overlay.exe", Placement::Move, false, "overlay lost or shifted wrongly"},
        Layout{"pe64_overlay.exe", Placement::Move, false, "overlay in PE32+"},
        Layout{"pe32_signed.exe", Placement::Move, true, "stale certificate table left behind"},
        Layout{"pe64_signed.exe", Placement::Move, true,
               "signature after an overlay: overlay kept"}),
    [](const testing::TestParamInfo<Layout>& info) {
        std::string name = info.param.fixture;
        return name.substr(0, name.find('.'));
    });

TEST(ResourceUpdate, KeepsEarlierResourcesWithoutDeleteExistingAndTheLaterOfTwoAdds) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    const fs::path& installer = copy.path;
    std::vector<TestResource> expected = listed(installer);
    ASSERT_EQ(expected.size(), 5u);  // icon, "OLDNAME", 200, group icon, version

    ASSERT_EQ(expected[2].name, ResourceName(std::uint16_t{200}));
    const std::uint16_t language = expected[2].language;

    auto update = Update::begin(installer, Existing::Keep);
    ASSERT_TRUE(update.isOk()) << update.message();
    update->add(std::uint16_t{10}, std::uint16_t{200}, language, textBytes("first"));
    update->add(std::uint16_t{10}, std::uint16_t{200}, language, textBytes("replaced"));
    update->add(std::uint16_t{10}, std::uint16_t{300}, 0, textBytes("new"));
    ASSERT_TRUE(update->commit().isOk());

    // RCDATA sorts its string name first, then 200 (replaced) and 300 (new).
    expected[2].data = textBytes("replaced");
    expected.insert(expected.begin() + 3,
                    {std::uint16_t{10}, std::uint16_t{300}, 0, textBytes("new")});
    EXPECT_TRUE(sameResources(listed(installer), expected));
    EXPECT_EQ(independentCheck(installer, expected, fixturePath("pe32_res.exe")), "");
}

TEST(ResourceUpdate, OrdersStringNamesUpperCasedBeforeIdsAscending) {
    REQUIRE_FIXTURE("pe64_plain.exe");
    const InstallerCopy copy("pe64_plain.exe");
    const fs::path& installer = copy.path;
    auto update = Update::begin(installer, Existing::Delete);
    ASSERT_TRUE(update.isOk());
    const auto one = textBytes("x");
    // Empty and last: its address must still lie inside the section.
    update->add(std::uint16_t{5}, std::uint16_t{9}, 1033, {});
    update->add(std::uint16_t{5}, std::uint16_t{9}, 0, one);
    update->add(std::uint16_t{5}, std::u16string(u"beta"), 0, one);
    update->add(std::uint16_t{2}, std::uint16_t{1}, 0, {});
    update->add(std::u16string(u"Zeta"), std::uint16_t{1}, 0, one);
    update->add(std::u16string(u"ALPHA"), std::u16string(u"b"), 0, one);
    update->add(std::u16string(u"ALPHA"), std::u16string(u"B"), 0, textBytes("later"));
    update->add(std::u16string(u"ALPHA"), std::u16string(u"Ab"), 0, one);
    ASSERT_TRUE(update->commit().isOk());

    const std::vector<TestResource> expected = {
        {std::u16string(u"ALPHA"), std::u16string(u"AB"), 0, one},
        {std::u16string(u"ALPHA"), std::u16string(u"B"), 0, textBytes("later")},
        {std::u16string(u"ZETA"), std::uint16_t{1}, 0, one},
        {std::uint16_t{2}, std::uint16_t{1}, 0, {}},
        {std::uint16_t{5}, std::u16string(u"BETA"), 0, one},
        {std::uint16_t{5}, std::uint16_t{9}, 0, one},
        {std::uint16_t{5}, std::uint16_t{9}, 1033, {}},
    };
    EXPECT_TRUE(sameResources(listed(installer), expected));
    EXPECT_EQ(independentCheck(installer, expected), "");
}

// Resources added with one view of shared bytes get one data block, every
// entry pointing at it, as an icon file's entries naming the same image do:
// 32767 entries naming 2 MB make the image about 2 MB larger, not 64 GB.
// Another view of the same owner is a block of its own. Independent readers
// see each resource with its bytes.
TEST(ResourceUpdate, ResourcesSharingBytesShareOneDataBlock) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    const auto sizeBefore = fs::file_size(copy.path);
    const auto owner =
        std::make_shared<const std::vector<std::byte>>(pseudoRandomBytes(std::size_t{2} << 20, 9));
    const std::span<const std::byte> image(*owner);
    const auto part = image.subspan(100, 1000);
    constexpr std::uint16_t kEntries = 32767;
    auto update = Update::begin(copy.path, Existing::Delete);
    ASSERT_TRUE(update.isOk());
    for (std::uint16_t id = 1; id <= kEntries; ++id)
        update->addShared(platform::resource::kTypeIcon, id, 0, {owner, image});
    update->addShared(platform::resource::kTypeRcData, std::uint16_t{1}, 0, {owner, part});
    const auto report = update->commit();
    ASSERT_TRUE(report.isOk()) << report.message();

    // Each resource adds its directory and data entries (48 bytes), the
    // two blocks their bytes once.
    EXPECT_LT(fs::file_size(copy.path),
              sizeBefore + image.size() + part.size() + std::uint64_t{kEntries + 1} * 64);
    const auto bytes = platform::files::readFile(copy.path);
    ASSERT_TRUE(bytes.isOk());
    const auto resources = platform::resource::listResources(std::span<const std::byte>(*bytes));
    ASSERT_TRUE(resources.isOk()) << resources.message();
    ASSERT_EQ(resources->size(), kEntries + 1u);
    const auto& first = resources->front();
    for (std::size_t i = 0; i < kEntries; ++i) {
        ASSERT_EQ((*resources)[i].fileOffset, first.fileOffset) << i;
        ASSERT_EQ((*resources)[i].size, image.size()) << i;
    }
    const auto& other = resources->back();
    EXPECT_NE(other.fileOffset, first.fileOffset);
    const auto firstData = platform::resource::resourceData(*bytes, first);
    const auto otherData = platform::resource::resourceData(*bytes, other);
    ASSERT_TRUE(firstData.isOk() && otherData.isOk());
    EXPECT_TRUE(std::ranges::equal(*firstData, image));
    EXPECT_TRUE(std::ranges::equal(*otherData, part));

    // A few entries, so that the independent check stays quick.
    const InstallerCopy small("pe32_res.exe");
    auto few = Update::begin(small.path, Existing::Delete);
    ASSERT_TRUE(few.isOk());
    const std::vector<std::byte> block(part.begin(), part.end());
    std::vector<TestResource> expected;
    for (std::uint16_t id = 1; id <= 3; ++id) {
        few->addShared(platform::resource::kTypeIcon, id, 0, {owner, part});
        expected.push_back({platform::resource::kTypeIcon, id, 0, block});
    }
    ASSERT_TRUE(few->commit().isOk());
    EXPECT_TRUE(sameResources(listed(small.path), expected));
    EXPECT_EQ(independentCheck(small.path, expected, fixturePath("pe32_res.exe")), "");
}

TEST(ResourceUpdate, WritesInPlaceWhenTheTreeFitsBeforeAFixedSection) {
    REQUIRE_FIXTURE("pe32_rsrc_then_data.exe");
    const InstallerCopy copy("pe32_rsrc_then_data.exe");
    const fs::path& installer = copy.path;
    const auto sizeBefore = fs::file_size(installer);
    auto update = Update::begin(installer, Existing::Delete);
    ASSERT_TRUE(update.isOk());
    const std::vector<TestResource> set = {
        {std::uint16_t{10}, std::uint16_t{101}, 0, textBytes("small")}};
    addAll(*update, set);
    const auto report = update->commit();
    ASSERT_TRUE(report.isOk()) << report.message();
    EXPECT_EQ(report->placement, Placement::InPlace);
    EXPECT_EQ(fs::file_size(installer), sizeBefore);
    EXPECT_EQ(independentCheck(installer, set, fixturePath("pe32_rsrc_then_data.exe")), "");
}

// commit() takes the pending blocks over and lets each go once it is copied;
// the file must still hold exactly what the same set built in memory holds,
// whether the blocks were handed over or copied, for every placement.
TEST(ResourceUpdate, HandedOverBlocksWriteWhatCopiedBlocksBuild) {
    const struct {
        const char* fixture;
        Placement placement;  // guards the placement's own layout path
    } rows[] = {{"pe32_res.exe", Placement::Move},
                {"pe32_rsrc_last.exe", Placement::Resize},
                {"pe32_rsrc_then_data.exe", Placement::InPlace}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fixture);
        REQUIRE_FIXTURE(row.fixture);
        const InstallerCopy copy(row.fixture);
        const bool small = row.placement == Placement::InPlace;
        std::vector<TestResource> set =
            small ? std::vector<TestResource>{{std::uint16_t{10}, std::uint16_t{101}, 0,
                                               textBytes("small")}}
                  : updaterLikeSet();
        if (!small) {
            // Copied and let go in three pieces, the last not a whole word;
            // in tree order it comes before the group icon that ends the set.
            set.insert(set.end() - 1,
                       {std::uint16_t{10}, std::uint16_t{200}, 0,
                        pseudoRandomBytes(2 * platform::resource::kCopyPiece + 3, 200)});
        }

        auto copied = Update::begin(copy.path, Existing::Delete);
        ASSERT_TRUE(copied.isOk());
        addAll(*copied, set);
        CommitReport memoryReport;
        const auto inMemory = copied->commitToMemory(&memoryReport);
        ASSERT_TRUE(inMemory.isOk()) << inMemory.message();

        auto handedOver = Update::begin(copy.path, Existing::Delete);
        ASSERT_TRUE(handedOver.isOk());
        for (const auto& r : set) {
            std::vector<std::byte> block = r.data;
            handedOver->add(r.type, r.name, r.language, std::move(block));
        }
        const auto report = handedOver->commit();
        ASSERT_TRUE(report.isOk()) << report.message();
        EXPECT_EQ(report->placement, row.placement);
        EXPECT_EQ(memoryReport.placement, row.placement);
        const auto written = platform::files::readFile(copy.path);
        ASSERT_TRUE(written.isOk());
        EXPECT_TRUE(*written == *inMemory) << "the file differs from the image built in memory";
        EXPECT_TRUE(sameResources(listed(copy.path), set));
    }
}

// The checksum is summed while the image streams out, in pieces of any
// length; it must equal the sum over the whole file whatever the cuts.
TEST(ResourceUpdate, TheChecksumSummedInPiecesIsTheWholeFileSum) {
    const std::vector<std::byte> bytes =
        pseudoRandomBytes(600001, 7);  // several runs of the eight-byte loop
    const std::uint32_t whole = platform::resource::peChecksum(bytes, bytes.size());
    // The plain word-by-word sum, as a reference for the fast loop.
    std::uint64_t plain = 0;
    for (std::size_t i = 0; i < bytes.size(); i += 2) {
        plain += std::to_integer<std::uint64_t>(bytes[i]);
        if (i + 1 < bytes.size())
            plain += std::to_integer<std::uint64_t>(bytes[i + 1]) << 8;
    }
    while (plain >> 16) plain = (plain & 0xFFFF) + (plain >> 16);
    EXPECT_EQ(whole, plain + bytes.size());
    const std::vector<std::vector<std::size_t>> cuts = {
        {},             // one piece
        {1},            // an odd first piece: the next starts mid-word
        {3, 4, 5},      // a one-byte piece between two odd cuts
        {0, 500, 1000}  // empty pieces and an odd last piece
    };
    for (const auto& row : cuts) {
        SCOPED_TRACE(::testing::PrintToString(row));
        // Fed in order, and each piece summed on its own and appended (a
        // file measured ahead of the image around it), at odd places too.
        platform::resource::ChecksumSum sum;
        platform::resource::ChecksumSum joined;
        std::size_t from = 0;
        auto feed = [&](std::span<const std::byte> piece) {
            sum.add(piece);
            platform::resource::ChecksumSum apart;
            apart.add(piece);
            joined.append(apart);
        };
        for (std::size_t cut : row) {
            feed(std::span(bytes).subspan(from, cut - from));
            from = cut;
        }
        feed(std::span(bytes).subspan(from));
        EXPECT_EQ(sum.value(), whole);
        EXPECT_EQ(joined.value(), whole);
    }
    // A piece whose sum is a multiple of 65535, behind an odd byte: reduced
    // before it is shifted it would vanish; the whole folds to 0xFFFF.
    const std::byte odd[] = {std::byte{0}, std::byte{0xFF}, std::byte{0xFF}};
    platform::resource::ChecksumSum head;
    platform::resource::ChecksumSum tail;
    head.add(std::span(odd).first(1));
    tail.add(std::span(odd).subspan(1));
    head.append(tail);
    EXPECT_EQ(head.value(), platform::resource::peChecksum(odd, sizeof odd));
}

// Data left in a measured file is read once, at commit: it must reach the
// image exactly as measured, and a file that is no longer the one measured
// must fail the commit and leave the installer byte-identical with no
// temporary file. Its stamp tells a change without a second read of the
// bytes: each row below changes one thing that the stamp shows (explicit
// times, so that no row hangs on the clock ticking between two writes). The
// count of bytes read tells what the stamp cannot: Linux /sys and /proc
// files state sizes they do not yield.
TEST(ResourceUpdate, AFileChangedBetweenAddAndCommitFailsTheCommit) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const std::vector<std::byte> measured = pseudoRandomBytes(3000001, 31);
    const auto asText = [](const std::vector<std::byte>& bytes) {
        return std::string(reinterpret_cast<const char*>(bytes.data()), bytes.size());
    };
    std::string sameSizeOtherBytes = asText(measured);
    sameSizeOtherBytes[2500000] ^= 1;
    using Change = std::function<void(const fs::path& data, fs::file_time_type measuredTime)>;
    platform::files::FileStamp measuredStamp;
    const auto statusChangeTime = [](const fs::path& data) {
        auto opened = platform::files::InputFile::open(data);
        auto stamp =
            opened ? opened->stamp() : platform::Result<platform::files::FileStamp>(opened.error());
        return stamp ? stamp->changed : -1;
    };
    const struct {
        const char* change;
        Change apply;  // nullptr: left alone
        platform::ErrorKind kind;
        bool survives = false;             // the data file is still there afterwards
        const char* systemFile = nullptr;  // instead of a file of `measured`
    } rows[] = {
        {"untouched: the measured bytes arrive", nullptr, {}, true},
        {"one bit flipped in place, size kept: its modification time moved",
         [&](const fs::path& data, fs::file_time_type time) {
             test_support::writeBytes(data, sameSizeOtherBytes);
             fs::last_write_time(data, time + std::chrono::seconds(2));
         },
         platform::ErrorKind::Changed, true},
        // Rewritten until the clock has ticked since the measure: setting the
        // modification time back leaves the status-change time moved.
        {"one bit flipped in place, size and modification time kept: its status-change time moved",
         [&](const fs::path& data, fs::file_time_type time) {
             do {
                 test_support::writeBytes(data, sameSizeOtherBytes);
                 fs::last_write_time(data, time);
             } while (statusChangeTime(data) == measuredStamp.changed);
         },
         platform::ErrorKind::Changed, true},
        {"another file of the same size and modification time renamed over it",
         [&](const fs::path& data, fs::file_time_type time) {
             const fs::path other = data.parent_path() / "other.dll";
             test_support::writeBytes(other, sameSizeOtherBytes);
             fs::last_write_time(other, time);
             fs::rename(other, data);
         },
         platform::ErrorKind::Changed, true},
        {"grown by a byte, its modification time set back",
         [&](const fs::path& data, fs::file_time_type time) {
             test_support::writeBytes(data, asText(measured) + '\0');
             fs::last_write_time(data, time);
         },
         platform::ErrorKind::Changed, true},
        {"shrunk by a byte, its modification time set back",
         [&](const fs::path& data, fs::file_time_type time) {
             test_support::writeBytes(data, asText(measured).substr(0, measured.size() - 1));
             fs::last_write_time(data, time);
         },
         platform::ErrorKind::Changed, true},
        {"a folder in its place",
         [](const fs::path& data, fs::file_time_type) {
             fs::remove(data);
             fs::create_directory(data);
         },
         platform::ErrorKind::Changed, true},
        // Said as what it is, not as a change of the bytes.
        {"removed", [](const fs::path& data, fs::file_time_type) { fs::remove(data); },
         platform::ErrorKind::NotFound},
        {"a file yielding fewer bytes than its size", [](const fs::path&, fs::file_time_type) {},
         platform::ErrorKind::Changed, false, "/sys/kernel/mm/transparent_hugepage/enabled"},
        {"a file yielding more bytes than its size (0)", [](const fs::path&, fs::file_time_type) {},
         platform::ErrorKind::Changed, false, "/proc/version"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        const InstallerCopy copy("pe32_res.exe");
        const std::string original = test_support::readBytes(copy.path);
        const fs::path data = row.systemFile ? fs::path(row.systemFile) : copy.dir / "plugin.dll";
        std::error_code ec;
        if (!row.systemFile) {
            test_support::writeBytes(data, asText(measured));
        } else if (fs::file_size(data, ec) == test_support::readBytes(data).size() || ec) {
            continue;  // not on this system, or it yields its size
        }
        auto file = platform::resource::FileData::measure(data);
        ASSERT_TRUE(file.isOk()) << file.message();
        measuredStamp = file->stamp;
        const fs::file_time_type measuredTime = fs::last_write_time(data);
        auto update = Update::begin(copy.path, Existing::Delete);
        ASSERT_TRUE(update.isOk());
        update->addFile(std::uint16_t{10}, std::uint16_t{106}, 0, std::move(*file));
        if (row.apply)
            row.apply(data, measuredTime);
        const auto committed = update->commit();
        EXPECT_EQ(committed.isOk(), row.apply == nullptr) << committed.status().message();
        if (!row.apply) {
            EXPECT_TRUE(sameResources(listed(copy.path),
                                      {{std::uint16_t{10}, std::uint16_t{106}, 0, measured}}));
            continue;
        }
        if (committed.isOk())
            continue;
        EXPECT_EQ(committed.kind(), row.kind) << committed.message();
        EXPECT_NE(committed.message().find(data.string()), std::string::npos)
            << committed.message();
        EXPECT_TRUE(test_support::readBytes(copy.path) == original);
        EXPECT_EQ(test_support::listFolder(copy.dir.path()).size(), row.survives ? 2u : 1u)
            << "a temporary file was left behind";
    }
}

#ifdef _WIN32
// Windows gives the name of a file that a handle holds open to no other
// file, nor takes it away, until that handle is closed.
constexpr bool kNameChangesWhileOpen = false;
#else
constexpr bool kNameChangesWhileOpen = true;
#endif

// A sink into memory that runs `change` once the first large piece arrives:
// the first chunk of a file's data, the rest of it not yet read.
class ChangingSink final : public platform::files::ByteSink {
  public:
    explicit ChangingSink(std::function<void()> change) : change_(std::move(change)) {}
    Status write(std::span<const std::byte> bytes) override {
        if (change_ && bytes.size() >= (std::size_t{1} << 19))
            std::exchange(change_, nullptr)();
        return memory_.write(bytes);
    }
    Status overwrite(std::uint64_t offset, std::span<const std::byte> bytes) override {
        return memory_.overwrite(offset, bytes);
    }
    std::uint64_t size() const override { return memory_.size(); }
    std::vector<std::byte> take() { return memory_.take(); }

  private:
    std::function<void()> change_;
    platform::files::MemorySink memory_;
};

// A file changed while its data is read into the image fails the write, and
// so does another file put in its place: the installer would hold what its
// author has just replaced. Otherwise what arrives is the measured bytes,
// with the checksum of the whole image.
TEST(ResourceUpdate, AFileChangedWhileItIsReadFailsTheWrite) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const std::vector<std::byte> measured = pseudoRandomBytes(3000001, 37);
    const std::string measuredText(reinterpret_cast<const char*>(measured.data()), measured.size());
    const struct {
        const char* change;
        std::function<void(const fs::path& data)> apply;
        bool fails;
        bool changesTheName = false;
    } rows[] = {
        {"nothing changes", [](const fs::path&) {}, false},
        {"appended to",
         [](const fs::path& data) { std::ofstream(data, std::ios::app | std::ios::binary) << 'x'; },
         true},
        {"cut short", [](const fs::path& data) { fs::resize_file(data, 1500000); }, true},
        {"its modification time moved, bytes and size kept",
         [](const fs::path& data) {
             fs::last_write_time(data, fs::last_write_time(data) + std::chrono::seconds(2));
         },
         true},
        {"removed", [](const fs::path& data) { fs::remove(data); }, true, true},
        {"another file renamed over its name",
         [&](const fs::path& data) {
             const fs::path other = data.parent_path() / "other.dll";
             test_support::writeBytes(other, "other");
             fs::rename(other, data);
         },
         true, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.change);
        if (row.changesTheName && !kNameChangesWhileOpen)
            continue;
        test_support::TempDir dir;
        const fs::path data = dir / "plugin.dll";
        test_support::writeBytes(data, measuredText);
        auto file = platform::resource::FileData::measure(data);
        ASSERT_TRUE(file.isOk()) << file.message();
        platform::resource::ResourceMap resources;
        resources[{std::uint16_t{10}, std::uint16_t{106}, 0}].file = std::move(*file);
        const auto fixture = buildFixture("pe32_res.exe", std::move(resources));
        ASSERT_TRUE(fixture);
        ChangingSink sink([&] { row.apply(data); });
        const auto checkSum = platform::resource::writeImage(fixture->built, sink);
        if (row.fails) {
            EXPECT_EQ(checkSum.status().kind(), platform::ErrorKind::Changed)
                << checkSum.status().message();
            continue;
        }
        ASSERT_TRUE(checkSum.isOk()) << checkSum.message();
        const std::vector<std::byte> image = sink.take();
        const platform::resource::ListedResource& resource = fixture->built.resources.at(0);
        EXPECT_TRUE(std::equal(measured.begin(), measured.end(),
                               image.begin() + static_cast<std::ptrdiff_t>(resource.fileOffset)));
        EXPECT_EQ(*checkSum, platform::resource::peChecksum(image, fixture->built.checkSumOffset));
    }
}

// After commit() the pending data lives in the file; a second commit (which
// would write an image with none of it) is refused and changes nothing.
TEST(ResourceUpdate, ASecondCommitIsRefused) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    auto update = Update::begin(copy.path, Existing::Delete);
    ASSERT_TRUE(update.isOk());
    addAll(*update, updaterLikeSet());
    ASSERT_TRUE(update->commit().isOk());
    const std::string committed = test_support::readBytes(copy.path);
    EXPECT_FALSE(update->commit().isOk());
    EXPECT_FALSE(update->commitToMemory().isOk());
    EXPECT_TRUE(test_support::readBytes(copy.path) == committed);
    EXPECT_EQ(test_support::listFolder(copy.dir.path()), std::vector<std::string>{"installer.exe"});
}

TEST(ResourceUpdate, CommitWithNothingAddedLeavesNoResources) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    const fs::path& installer = copy.path;
    auto update = Update::begin(installer, Existing::Delete);
    ASSERT_TRUE(update.isOk());
    ASSERT_TRUE(update->commit().isOk());
    EXPECT_TRUE(listed(installer).empty());
    EXPECT_EQ(independentCheck(installer, {}, fixturePath("pe32_res.exe")), "");
}

// A second run must leave no trace of the first: the image is then exactly
// what the second set alone would have made of the original.
TEST(ResourceUpdate, SecondRunLeavesNoTraceOfTheFirst) {
    for (const char* fixture : {"pe32_res.exe", "pe32_rsrc_last.exe", "pe32_unstripped.exe"}) {
        SCOPED_TRACE(fixture);
        REQUIRE_FIXTURE(fixture);
        test_support::TempDir dir;
        fs::copy_file(fixturePath(fixture), dir / "twice.exe");
        fs::copy_file(fixturePath(fixture), dir / "once.exe");
        const auto first = updaterLikeSet();
        const std::vector<TestResource> second = {
            {std::uint16_t{10}, std::uint16_t{101}, 0, textBytes("b")}};
        auto apply = [&](const char* file, const std::vector<TestResource>& set) {
            auto update = Update::begin(dir / file, Existing::Delete);
            ASSERT_TRUE(update.isOk());
            addAll(*update, set);
            ASSERT_TRUE(update->commit().isOk());
        };
        apply("twice.exe", first);
        apply("twice.exe", second);
        apply("once.exe", second);
        EXPECT_TRUE(test_support::readBytes(dir / "twice.exe") ==
                    test_support::readBytes(dir / "once.exe"));
    }
}

// Only sections nothing refers to may move: one that relocations patch, or
// one that holds code, stays where it is and the tree goes to a new section.
TEST(ResourceUpdate, DoesNotMoveASectionThatCodeRefersTo) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const std::string fixture = test_support::readBytes(fixturePath("pe32_res.exe"));
    const Offsets offsets = offsetsOf(fixture);
    const auto reloc = offsets.section(fixture, ".reloc");
    ASSERT_TRUE(reloc.has_value());
    const std::size_t relocData = get32(fixture, sectionField(offsets, *reloc, 20));
    const std::uint32_t relocRva = get32(fixture, sectionField(offsets, *reloc, 12));
    const struct {
        const char* fault;
        std::size_t at;
        std::uint32_t value;
    } rows[] = {
        {"first relocation block patches .reloc itself", relocData, relocRva},
        {".reloc marked as code", sectionField(offsets, *reloc, 36), 0x60000020},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        test_support::TempDir dir;
        std::string original = fixture;
        put32(original, row.at, row.value);
        test_support::writeBytes(dir / "original.exe", original);
        test_support::writeBytes(dir / "installer.exe", original);
        auto update = Update::begin(dir / "installer.exe", Existing::Delete);
        ASSERT_TRUE(update.isOk()) << update.message();
        const auto set = updaterLikeSet();
        addAll(*update, set);
        const auto report = update->commit();
        ASSERT_TRUE(report.isOk()) << report.message();
        EXPECT_EQ(report->placement, Placement::Append);
        EXPECT_EQ(independentCheck(dir / "installer.exe", set, dir / "original.exe"), "");
    }
}

}  // namespace
