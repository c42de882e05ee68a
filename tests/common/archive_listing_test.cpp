// The contents listing of real archive files, and every kind of damage refused before anything is
// listed.
#include <gtest/gtest.h>

#include "archive/format.h"
#include "archive/listing.h"
#include "archive/reader.h"
#include "platform/buffers.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_list.h"

namespace zep {
namespace {

using test::build_self_extracting;
using test::build_test_archive;
using test::put_u32_at;
using test::TestEntry;

struct Listing {
  std::vector<std::string> lines;
  ArchiveCounts counts;
  std::vector<test::ShownMessage> messages;
};

// Lists `bytes`, written to a file, as the installer lists its working copy.
Listing list_file(const std::string& bytes, u32 archive_offset = kArchiveOffset) {
  test::TempFolder folder;
  test::write_native_file(folder.native() / "tmp", bytes);
  test::MessageScript script;
  test::TestList list;
  Listing result{};
  FileHandle file(open_for_reading((folder / "tmp").c_str()));
  EXPECT_TRUE(file.is_open());
  result.counts = {99, 99, true};
  list_contents(file.get(), archive_offset, list.handle(), nullptr, &result.counts);
  result.lines = list.lines();
  result.messages = script.shown();
  return result;
}

std::string exe_with(const std::string& archive) { return build_self_extracting("MZ stub", "MZ uninstaller", archive); }

using Lines = std::vector<std::string>;

TEST(ArchiveListing, ListsHeadingsAndNamesInTableOrder) {
  Listing sample = list_file(exe_with(build_test_archive(test::sample_patches(), test::sample_files())));
  EXPECT_EQ(sample.lines, (Lines{"SPK files in this archive:", "EVILAMUL.spk", "", "Other files in this archive:",
                                 "Override\\evilamul.spl", "Override\\evlamul1.eff", "Override\\evlamul2.eff",
                                 "Override\\evlamul3.eff", "Override\\evilamul_readme.txt"}));
  EXPECT_EQ(sample.counts.patch_count, 1u);
  EXPECT_EQ(sample.counts.file_count, 5u);
  EXPECT_TRUE(sample.counts.usable);
  EXPECT_TRUE(sample.messages.empty());

  Listing empty = list_file(exe_with(build_test_archive({}, {})));
  EXPECT_EQ(empty.lines, (Lines{"No SPK files in this archive", "", "No other files in this archive"}));
  EXPECT_EQ(empty.counts.patch_count, 0u);
  EXPECT_TRUE(empty.counts.usable);

  Listing only_files = list_file(exe_with(build_test_archive({}, {{"a.txt", "a"}, {"Override\\b", ""}})));
  EXPECT_EQ(only_files.lines, (Lines{"No SPK files in this archive", "", "Other files in this archive:", "a.txt",
                                     "Override\\b"}));
  Listing only_patches = list_file(exe_with(build_test_archive({{"A.spk", "SPK4"}, {"B.spk", "SPK3"}}, {})));
  EXPECT_EQ(only_patches.lines, (Lines{"SPK files in this archive:", "A.spk", "B.spk", "",
                                       "No other files in this archive"}));
  EXPECT_EQ(only_patches.counts.patch_count, 2u);
  EXPECT_EQ(only_patches.counts.file_count, 0u);

  // A bare archive is the same bytes at offset 0.
  Listing bare = list_file(build_test_archive(test::sample_patches(), test::sample_files()), 0);
  EXPECT_EQ(bare.lines, sample.lines);
}

TEST(ArchiveListing, DamagedArchivesAreRefusedWithOneMessageAndNothingListed) {
  const std::string good = build_test_archive({{"P.spk", "SPK4data"}}, {{"Override\\x.itm", "data"}, {"y", "yy"}});
  const std::size_t record0 = entry_offset(0), record1 = entry_offset(1), record2 = entry_offset(2);
  struct Case {
    const char* what;
    std::string archive;
    const char* problem;
  };
  auto with = [&](std::size_t offset, u32 value) {
    std::string archive = good;
    put_u32_at(archive, offset, value);
    return archive;
  };
  auto renamed = [&](const std::string& name) {
    return build_test_archive({{"P.spk", "SPK4data"}}, {{name, "data"}});
  };
  const Case cases[] = {
      {"header cut", good.substr(0, 20), "the file ends before the archive begins"},
      {"no archive at all", std::string(), "the file ends before the archive begins"},
      {"not an archive", "PK" + good.substr(2), "the file holds no ZEP archive"},
      {"cut short", good.substr(0, good.size() - 1), "it is cut short, only"},
      {"table cut", with(12, 40), "its list of files runs past the end of the file"},
      {"counts that wrap", [&] { std::string a = with(8, 0xFFFFFFFF); put_u32_at(a, 12, 2); return a; }(),
       "its list of files runs past the end of the file"},
      {"name past the end", with(record1, static_cast<u32>(good.size()) - 3), "the name of entry 2 runs past"},
      {"name offset that wraps", with(record1, 0xFFFFFFF0), "the name of entry 2 runs past"},
      {"data past the end", with(record2 + 16, 3), "the data of entry 3 runs past"},
      {"data length that wraps", with(record0 + 12, 0xFFFFFFFF), "the data of entry 1 runs past"},
      {"data offset + length wrapping to a small number",
       [&] { std::string a = with(record2 + 12, 0xFFFFFF00); put_u32_at(a, record2 + 16, 0x200); return a; }(),
       "the data of entry 3 runs past"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Listing listing = list_file(exe_with(c.archive));
    EXPECT_TRUE(listing.lines.empty());
    EXPECT_FALSE(listing.counts.usable);
    EXPECT_EQ(listing.counts.patch_count, 0u);
    EXPECT_EQ(listing.counts.file_count, 0u);
    ASSERT_EQ(listing.messages.size(), 1u);
    EXPECT_EQ(listing.messages[0].caption, "ZEP archive damaged");
    EXPECT_EQ(listing.messages[0].text.rfind("This installer's archive is damaged: ", 0), 0u);
    EXPECT_NE(listing.messages[0].text.find(c.problem), std::string::npos) << listing.messages[0].text;
  }

  // Names are no part of the structure: one the game folder cannot take is listed as it stands, and
  // refused for that file alone when it is installed.
  for (const std::string& name : {std::string("..\\x.dll"), std::string("C:\\Windows\\x.dll"),
                                  std::string("\\Windows\\x.dll"), std::string("Override/x.spl"),
                                  std::string(300, 'n')}) {
    SCOPED_TRACE(name);
    Listing listing = list_file(exe_with(renamed(name)));
    EXPECT_TRUE(listing.counts.usable);
    EXPECT_TRUE(listing.messages.empty());
    ASSERT_EQ(listing.lines.size(), 5u);
    EXPECT_EQ(listing.lines[4], name.substr(0, 256)) << "a name longer than a path is shown as far as one goes";
  }

  // The name of a string patch file is only shown, so it may be anything that fits.
  Listing shown = list_file(exe_with(build_test_archive({{"..\\odd:name", "SPK4"}}, {})));
  EXPECT_TRUE(shown.counts.usable);
  EXPECT_EQ(shown.lines[1], "..\\odd:name");
  // Bytes after the archive's own length (a signature appended later, say) do no harm.
  Listing longer = list_file(exe_with(good + "appended"));
  EXPECT_TRUE(longer.counts.usable);
  EXPECT_EQ(longer.lines.size(), 6u);
}

TEST(ArchiveListing, IndexKeepsTheCheckedTableAndNames) {
  test::TempFolder folder;
  const std::string archive = build_test_archive(test::sample_patches(), test::sample_files());
  test::write_native_file(folder.native() / "sample.exe", exe_with(archive));
  FileHandle file(open_for_reading((folder / "sample.exe").c_str()));
  ASSERT_TRUE(file.is_open());
  ArchiveIndex index;
  ASSERT_EQ(read_archive_index(file.get(), kStubLayout.archive_offset, &index).damage, ArchiveDamage::kNone);
  EXPECT_EQ(index.archive_length(), archive.size());
  ArchiveEntry readme = index.entry(5);
  EXPECT_EQ(readme.flags, kRunAfterInstall);
  EXPECT_EQ(readme.data_length, 938u);
  EXPECT_EQ(archive.substr(readme.name_offset, readme.name_length), index.name(5));
  EXPECT_STREQ(index.name(0), "EVILAMUL.spk");
  EXPECT_EQ(kStubLayout.uninstaller_length, 4096u);
  EXPECT_EQ(kStubLayout.uninstaller_offset, 36864u);
  EXPECT_EQ(kStubLayout.archive_offset, 40960u);
}

}  // namespace
}  // namespace zep
