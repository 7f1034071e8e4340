// Replacing the resources of real MinGW-built images, layout by layout, and
// checking the result with readers that share no code with ours.
#include <gtest/gtest.h>

#include "platform/files/files.h"
#include "platform/resource/resource_update.h"
#include "tests/resource/resource_test_support.h"
#include "tests/support/temp_dir.h"

namespace {

using namespace resource_test;
using platform::resource::CommitReport;
using platform::resource::Update;

struct Layout {
    const char* fixture;
    const char* placement;  // the policy the library must choose for it
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

    auto update = Update::begin(installer, true);
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
        Layout{"pe32_res.exe", "move", false, ".reloc after .rsrc: relocations lost when moved"},
        Layout{"pe64_res.exe", "move", false, "PE32+ header offsets"},
        Layout{"pe32_plain.exe", "append", false, "no resources: new section and header room"},
        Layout{"pe64_plain.exe", "append", false, "no resources in PE32+"},
        Layout{"pe32_rsrc_last.exe", "resize", false, ".rsrc last: sizes not updated"},
        Layout{"pe32_rsrc_then_data.exe", "append", false,
               "non-discardable section after .rsrc must not move"},
        Layout{"pe32_unstripped.exe", "move", false,
               "COFF symbol table pointer and debug sections after .rsrc"},
        Layout{"pe32_overlay.exe", "move", false, "overlay lost or shifted wrongly"},
        Layout{"pe64_overlay.exe", "move", false, "overlay in PE32+"},
        Layout{"pe32_signed.exe", "move", true, "stale certificate table left behind"},
        Layout{"pe64_signed.exe", "move", true, "signature after an overlay: overlay kept"}),
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

    auto update = Update::begin(installer, false);
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
    auto update = Update::begin(installer, true);
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

TEST(ResourceUpdate, WritesInPlaceWhenTheTreeFitsBeforeAFixedSection) {
    REQUIRE_FIXTURE("pe32_rsrc_then_data.exe");
    const InstallerCopy copy("pe32_rsrc_then_data.exe");
    const fs::path& installer = copy.path;
    const auto sizeBefore = fs::file_size(installer);
    auto update = Update::begin(installer, true);
    ASSERT_TRUE(update.isOk());
    const std::vector<TestResource> set = {
        {std::uint16_t{10}, std::uint16_t{101}, 0, textBytes("small")}};
    addAll(*update, set);
    const auto report = update->commit();
    ASSERT_TRUE(report.isOk()) << report.message();
    EXPECT_EQ(report->placement, "in-place");
    EXPECT_EQ(fs::file_size(installer), sizeBefore);
    EXPECT_EQ(independentCheck(installer, set, fixturePath("pe32_rsrc_then_data.exe")), "");
}

TEST(ResourceUpdate, CommitWithNothingAddedLeavesNoResources) {
    REQUIRE_FIXTURE("pe32_res.exe");
    const InstallerCopy copy("pe32_res.exe");
    const fs::path& installer = copy.path;
    auto update = Update::begin(installer, true);
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
            auto update = Update::begin(dir / file, true);
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

}  // namespace
