// Writing keys and lines: each case runs as single calls and as one batch;
// both must leave the bytes of its golden file.
#include <gtest/gtest.h>

#include <optional>
#include <random>
#include <string>
#include <vector>

#include "platform/profile/profile.h"
#include "tests/support/child_process.h"
#include "tests/support/golden.h"
#include "tests/support/temp_dir.h"

namespace {
namespace fs = std::filesystem;
using namespace std::string_literals;
using platform::Status;
using platform::profile::Batch;
using test_support::readBytes;
using test_support::TempDir;
using test_support::writeBytes;

struct Op {
    enum Kind { kSet, kAppend } kind;
    std::string section;
    std::string key;  // kSet only
    std::string text;
};

Op set(std::string section, std::string key, std::string value) {
    return {Op::kSet, std::move(section), std::move(key), std::move(value)};
}
Op append(std::string section, std::string text) {
    return {Op::kAppend, std::move(section), {}, std::move(text)};
}

Status applySingle(const Op& op, const fs::path& file) {
    return op.kind == Op::kSet ? platform::profile::writeString(op.section, op.key, op.text, file)
                               : platform::profile::appendLine(op.section, op.text, file);
}

Status applyToBatch(const Op& op, Batch& batch) {
    return op.kind == Op::kSet ? batch.setValue(op.section, op.key, op.text)
                               : batch.appendLine(op.section, op.text);
}

// Runs the operations as single calls and as one batch on copies of `start`;
// returns the single calls' result after checking that the batch left the same bytes.
std::string runBoth(const std::optional<std::string>& start, const std::vector<Op>& ops) {
    TempDir dir;
    if (start) {
        writeBytes(dir / "single.ini", *start);
        writeBytes(dir / "batch.ini", *start);
    }
    Batch batch(dir / "batch.ini");
    for (const Op& op : ops) {
        Status single = applySingle(op, dir / "single.ini");
        Status batched = applyToBatch(op, batch);
        EXPECT_EQ(single.isOk(), batched.isOk()) << single.message() << batched.message();
    }
    static_cast<void>(batch.commit());
    std::string result = readBytes(dir / "single.ini");
    EXPECT_EQ(readBytes(dir / "batch.ini"), result) << "the batch differs from single calls";
    return result;
}

struct WriteRow {
    const char* golden;  // file in data/, and the fault the row guards against
    std::optional<std::string> start;
    std::vector<Op> ops;
};

TEST(Write, LeavesExactlyTheGoldenBytes) {
    const std::string kThreeSections =
        "[Texts]\r\nName=Old\r\nTitle=T\r\n[Files]\r\nFilename=a.dll\r\n[Misc]\r\n";
    const WriteRow rows[] = {
        // The file is created with the header, then the key line.
        {"create_missing_file.ini", std::nullopt, {set("Texts", "Name", "Tool")}},
        // The value is replaced on its own line; every other line keeps its place.
        {"replace_in_place.ini", kThreeSections, {set("Texts", "Name", "New")}},
        // The existing key keeps its spelling and what stands before its "=".
        {"replace_keeps_key_spelling.ini",
         "[TEXTS]\r\n  NAME  =  old  \r\n",
         {set("texts", "name", "new")}},
        // A new key goes after the last non-blank line, not after the blank separator.
        {"new_key_after_last_nonblank_line.ini",
         "[A]\r\nk=1\r\n;note\r\n\r\n\r\n[B]\r\nj=2\r\n",
         {set("A", "n", "v")}},
        // A file without a final line end gets a CR LF, and no blank line, before the new section.
        {"new_section_after_unterminated_line.ini", "[A]\r\nk=1", {set("B", "j", "2")}},
        // Lines ending in LF or CR keep their line ends; only new lines get CR LF.
        {"foreign_line_ends_kept.ini",
         "[A]\nk=1\n[B]\rj=2\r",
         {set("A", "k", "x"), set("A", "n", "y"), set("C", "m", "z")}},
        // Comments, odd lines and lines before the first header keep their bytes.
        {"other_lines_untouched.ini",
         "top=level\r\n; comment\r\n[A]\r\n  [not a header\r\nbare\r\n\tk = 1\r\n",
         {set("A", "k", "2"), set("A", "new", "3")}},
        // Only the first of two sections of the same name is written to.
        {"first_section_wins.ini", "[A]\r\n[a]\r\nk=1\r\n", {set("a", "k", "v")}},
        // Values are written as they stand: empty, quoted, with blanks and "=".
        {"values_stand_as_typed.ini",
         std::nullopt,
         {set("A", "empty", ""), set("A", "quoted", "\"x\""), set("A", "blanks", " b "),
          set("A", "eq", "a=b")}},
        // Three appended lines follow the new header in call order.
        {"three_appended_lines.ini",
         "[Texts]\r\nName=x\r\n",
         {append("Extrafiles", "a.txt"), append("Extrafiles", "b.txt"),
          append("Extrafiles", "c.txt")}},
        // An appended line ends a section that another section follows.
        {"append_to_middle_section.ini",
         "[A]\r\nx\r\n\r\n[B]\r\ny\r\n",
         {append("a", "z"), append("A", "=w")}},
        // An empty line keeps its place among the appended lines.
        {"append_empty_line_keeps_order.ini",
         std::nullopt,
         {append("E", "a"), append("E", ""), append("E", "b"), append("E", "")}},
        // A section name is matched without regard to case when appending.
        {"append_matches_any_case.ini", "[ExtraFiles]\r\na\r\n", {append("Extrafiles", "b")}},
        // Keys and lines of a Save, as the editor writes them.
        {"save_sequence.ini",
         std::nullopt,
         {set("Texts", "Name", "My plugin"), set("Texts", "VBName", "Proj.Class"),
          set("Texts", "Title", "Installer"), set("Texts", "Warning", ""),
          set("Files", "Filename", "plug.dll"), set("Files", "Icon", "i.ico"),
          set("Misc", "RunAfterInstall", "readme.txt"), append("Extrafiles", "readme.txt"),
          append("Extrafiles", "data\\more.bin")}},
    };
    for (const WriteRow& row : rows) {
        SCOPED_TRACE(row.golden);
        std::string result = runBoth(row.start, row.ops);
        EXPECT_TRUE(
            test_support::matchesGolden(result, fs::path(TAMSEL_TEST_DATA_DIR) / row.golden));
    }
}

TEST(Write, RefusesLineBreaksAndNulAndLeavesTheFile) {
    const Op refused[] = {
        set("A", "k", "x\r\n[B]"), set("A", "k", "x\ny"), set("A", "k", "x\ry"),
        set("A", "k", "x\0y"s),    set("A", "k\n", "v"),  set("A\r", "k", "v"),
        set("A\0"s, "k", "v"),     set("A", "k=j", "v"),  set("A", ";k", "v"),
        set("A", "", "v"),         set("", "k", "v"),     append("A", "line\r\nk=v"),
        append("A", "a\0b"s),      append("A\n", "v"),    append(" ", "v"),
    };
    for (const Op& op : refused) {
        SCOPED_TRACE(op.section + "|" + op.key + "|" + op.text);
        TempDir dir;
        writeBytes(dir / "f.ini", "[A]\r\nk=1\r\n");
        Status status = applySingle(op, dir / "f.ini");
        EXPECT_FALSE(status);
        EXPECT_NE(status.message().find("refused"), std::string::npos) << status.message();
        EXPECT_EQ(readBytes(dir / "f.ini"), "[A]\r\nk=1\r\n");
        // A refused call does not create a missing file either.
        EXPECT_FALSE(applySingle(op, dir / "new.ini"));
        EXPECT_FALSE(fs::exists(dir / "new.ini"));
    }
}

// Random sequences of writes, with case variants, blanks, empty texts and
// refused values: a batch must always equal the single calls.
TEST(Batch, EqualsTheSingleCallsForRandomSequences) {
    const std::vector<std::string> sections = {"A", "a", " B ", "Extrafiles", "EXTRAFILES"};
    const std::vector<std::string> keys = {"k", "K", "name", " name ", "x"};
    const std::vector<std::string> texts = {"", "v", " spaced ", "a=b", "[S]", ";c", "bad\r\n"};
    const std::vector<std::string> starts = {"", "[A]\r\nk=1\r\n\r\n[B]\nx", "pre\r\n[a]\r\n\r\n"};
    for (unsigned seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE("seed " + std::to_string(seed));
        std::mt19937 random(seed);
        auto pick = [&](const std::vector<std::string>& from) {
            return from[std::uniform_int_distribution<std::size_t>(0, from.size() - 1)(random)];
        };
        std::vector<Op> ops;
        for (int i = 0; i < 25; ++i) {
            ops.push_back(random() % 2 ? set(pick(sections), pick(keys), pick(texts))
                                       : append(pick(sections), pick(texts)));
        }
        runBoth(pick(starts), ops);
    }
}

TEST(Batch, EmptyStartActsAsIfTheFileWereDeletedFirst) {
    TempDir dir;
    writeBytes(dir / "f.ini", "[Old]\r\nline\r\n[A]\r\nk=0\r\n");
    Batch batch(dir / "f.ini", Batch::Start::Empty);
    ASSERT_TRUE(batch.setValue("A", "k", "1"));
    ASSERT_TRUE(batch.commit());
    EXPECT_EQ(readBytes(dir / "f.ini"), "[A]\r\nk=1\r\n");
}

TEST(Batch, ReportsTheFirstRefusalButWritesTheOtherSteps) {
    TempDir dir;
    Batch batch(dir / "f.ini");
    EXPECT_TRUE(batch.setValue("A", "k", "1"));
    EXPECT_FALSE(batch.setValue("A", "j", "bad\n"));
    EXPECT_FALSE(batch.appendLine("A", "bad\r"));
    Status committed = batch.commit();
    EXPECT_FALSE(committed);
    EXPECT_NE(committed.message().find("\"j\""), std::string::npos) << committed.message();
    EXPECT_EQ(readBytes(dir / "f.ini"), "[A]\r\nk=1\r\n");
}

TEST(Document, RemoveSectionTakesEverySectionOfThatNameAndNothingElse) {
    auto document = platform::profile::Document::parse(
        "[Texts]\r\nName=x\r\n[Extrafiles]\r\na\r\n\r\n[Other]\nk=1\n[EXTRAFILES]\r\nb\r\n");
    ASSERT_TRUE(document.removeSection("extrafiles"));
    EXPECT_EQ(document.serialize(), "[Texts]\r\nName=x\r\n[Other]\nk=1\n");
    ASSERT_TRUE(document.appendLine("Extrafiles", "c"));
    EXPECT_EQ(document.serialize(), "[Texts]\r\nName=x\r\n[Other]\nk=1\n[Extrafiles]\r\nc\r\n");
    EXPECT_TRUE(document.removeSection("None"));
    EXPECT_FALSE(document.removeSection("bad\n"));
}

// A list section goes with the entries that read as headers: a remade
// backup must not keep the old ones before its rebuilt list.
TEST(Document, RemoveListSectionTakesEntriesThatReadAsHeaders) {
    struct Row {
        const char* fault;
        std::string before;
        std::string after;
    };
    const Row rows[] = {
        {"an entry with text after its ']' kept with the lines after it",
         "[Texts]\r\nName=x\r\n[Extrafiles]\r\na\r\n[readme].txt\r\n\r\nb\r\n",
         "[Texts]\r\nName=x\r\n"},
        {"an entry that is a whole header kept", "[Extrafiles]\r\na\r\n[1]\r\nb.txt\r\n", ""},
        {"a last entry that is a whole header kept", "[T]\r\nk=1\r\n[Extrafiles]\r\na\r\n[1]\r\n",
         "[T]\r\nk=1\r\n"},
        {"a following section of keys removed", "[Extrafiles]\r\n[x].txt\r\n[Foreign]\r\nkeep=this\r\n",
         "[Foreign]\r\nkeep=this\r\n"},
        {"a second list of that name left behind",
         "[Extrafiles]\r\na\r\n[Misc]\r\nk=1\r\n[EXTRAFILES]\r\n[b].txt\r\nc\r\n",
         "[Misc]\r\nk=1\r\n"},
        {"no such section: nothing changes", "[T]\r\n[a].txt\r\n", "[T]\r\n[a].txt\r\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.fault);
        auto document = platform::profile::Document::parse(row.before);
        ASSERT_TRUE(document.removeListSection("Extrafiles"));
        EXPECT_EQ(document.serialize(), row.after);
    }
}

// Lines added one after another to the last section stay in order even when
// one reads as a section header; appendLine alone would put "b" before it.
TEST(Document, AddLastLineKeepsLinesInOrderAfterOneThatReadsAsAHeader) {
    auto document = platform::profile::Document::parse("[Texts]\r\nName=x");
    ASSERT_TRUE(document.appendLine("Extrafiles", "a"));
    ASSERT_TRUE(document.addLastLine("[readme].txt"));
    ASSERT_TRUE(document.addLastLine(""));
    ASSERT_TRUE(document.addLastLine("b"));
    EXPECT_FALSE(document.addLastLine("bad\n"));
    EXPECT_EQ(document.serialize(),
              "[Texts]\r\nName=x\r\n[Extrafiles]\r\na\r\n[readme].txt\r\n\r\nb\r\n");
    ASSERT_TRUE(document.appendLine("Extrafiles", "c"));
    EXPECT_EQ(document.sectionLines("Extrafiles"), (std::vector<std::string>{"a", "c"}))
        << "appendLine ends the section at the header-like line";
}

// Root ignores permission bits, so the failing writes run as "nobody",
// but for the read-only file that no one may write.
struct FailureRow {
    const char* fault;
    fs::perms folder;
    fs::perms file;
    bool asNobody = true;
};

TEST(Write, AReadOnlyFolderOrAReadOnlyOrUnreadableFileIsReportedAndLeftAsItWas) {
    TAMSEL_POSIX_ONLY("permission bits, tried as another user in a forked child; CheckWritableAsOnWindows has the read-only attribute");
    const fs::perms rx = fs::perms::owner_read | fs::perms::owner_exec | fs::perms::others_read |
                         fs::perms::others_exec;
    const fs::perms readOnly = fs::perms::owner_read | fs::perms::others_read;
    const FailureRow rows[] = {
        {"write into a read-only folder reported as success", rx, fs::perms::all},
        {"read-only file replaced through the folder", fs::perms::all, readOnly},
        {"unreadable file replaced by a document without its lines", fs::perms::all,
         fs::perms::none},
        {"read-only file overwritten by root, which Windows refuses to everyone",
         fs::perms::all, readOnly, false},
    };
    const std::string original = "[A]\r\nk=1\r\n";
    for (const FailureRow& row : rows) {
        SCOPED_TRACE(row.fault);
        TempDir dir;
        writeBytes(dir / "f.ini", original);
        fs::permissions(dir / "f.ini", row.file);
        fs::permissions(dir.path(), row.folder);
        int code = test_support::runInChild(
            [&] {
                bool single = platform::profile::writeString("A", "k", "2", dir / "f.ini").isOk();
                bool line = platform::profile::appendLine("A", "x", dir / "f.ini").isOk();
                Batch batch(dir / "f.ini");
                static_cast<void>(batch.setValue("A", "k", "3"));
                bool batched = batch.commit().isOk();
                return single || line || batched ? 1 : 0;
            },
            {.asNobody = row.asNobody, .maxFileBytes = {}});
        EXPECT_EQ(code, 0) << "a write was reported as done";
        EXPECT_EQ(readBytes(dir / "f.ini"), original);
        fs::permissions(dir.path(), fs::perms::all);
        EXPECT_EQ(test_support::listFolder(dir.path()), std::vector<std::string>{"f.ini"});
    }
}

TEST(Write, AMissingFolderIsReportedAndNothingIsCreated) {
    TempDir dir;
    Status status = platform::profile::writeString("A", "k", "v", dir / "no" / "f.ini");
    EXPECT_FALSE(status);
    EXPECT_FALSE(fs::exists(dir / "no"));
    Batch batch(dir / "no" / "f.ini", Batch::Start::Empty);
    ASSERT_TRUE(batch.setValue("A", "k", "v"));
    EXPECT_FALSE(batch.commit());
}

}  // namespace
