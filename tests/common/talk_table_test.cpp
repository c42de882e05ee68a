// The talk table on real files: tables saved unchanged, grown at their end, refused when damaged,
// and saves that fail leaving dialog.tlk as it was. The tables are built and read back here
// independently of dialog/talk_table.cpp, so that each checks the other.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "dialog/talk_table.h"
#include "platform/buffers.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tests/support/test_list.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::MessageScript;
using test::read_native_file;
using test::ShownMessage;
using test::TempFolder;
using test::write_native_file;
using test::build_tlk;
using test::Line;
using test::parse_tlk;
using test::ParsedEntry;
using test::ParsedTable;
using test::resref_field;
using test::put_u32_at;
using test::tidied;
using test::u32_at;

const char kOpenFailure[] = "Can't open dialog file. SPK importing aborted.";

// Appends `text` with a resref given as a name (padded with zeros to its 8 bytes).
u32 append(TalkTable* table, const std::string& text, u16 flags = 1, const std::string& resref = "",
           u32 volume = 0, u32 pitch = 0) {
  const std::string field = resref_field(resref);
  return append_string(table, text.data(), static_cast<u32>(text.size()), flags,
                       reinterpret_cast<const u8*>(field.data()), volume, pitch);
}

// ---------------------------------------------------------------------------------------------

// A game folder holding dialog.tlk, with the message boxes of each test recorded.
class TalkTableTest : public ::testing::Test {
 protected:
  fs::path tlk() const { return game_.native() / "dialog.tlk"; }
  fs::path temporary() const { return game_.native() / "dialog.tlk.new"; }
  const char* game_path() const { return game_.path().c_str(); }

  void put(const std::string& bytes) { write_native_file(tlk(), bytes); }
  std::string on_disk() const { return read_native_file(tlk()); }

  // The named file of the shared test data, or empty (the test is then skipped by the caller).
  static std::string testdata(const std::string& relative) {
    std::string bytes = read_native_file(fs::path(ZEP_TESTDATA) / relative);
    return bytes == "<missing>" ? std::string() : bytes;
  }

  // Loads dialog.tlk, expecting success without a message.
  void load_expecting_success(TalkTable* table) {
    ASSERT_TRUE(load_talk_table(table, game_path(), owner_.handle()));
    ASSERT_TRUE(table->loaded());
    EXPECT_EQ(script_.shown().size(), seen_) << "no message";
  }

  // Saves, expecting success without a message, and returns the file written.
  std::string save_expecting_success(TalkTable* table) {
    EXPECT_TRUE(save_talk_table(table, game_path(), owner_.handle()));
    EXPECT_FALSE(table->loaded());
    EXPECT_EQ(table->entry_count(), 0u);
    EXPECT_EQ(script_.shown().size(), seen_) << "no message";
    EXPECT_FALSE(fs::exists(temporary())) << "the temporary file is gone";
    return on_disk();
  }

  // True when nothing holds dialog.tlk open: every open is exclusive, so one more succeeds.
  bool tlk_closed() const {
    FileHandle probe(open_for_reading((game_.path() + "dialog.tlk").c_str()));
    return probe.is_open();
  }

  // Checks that exactly one box was shown since the last call, the load failure's, owned by the test's
  // window, and forgets it.
  void expect_one_open_failure() {
    std::vector<ShownMessage> shown = script_.shown();
    ASSERT_EQ(shown.size(), seen_ + 1);
    const ShownMessage& box = shown.back();
    EXPECT_EQ(box.text, kOpenFailure);
    EXPECT_EQ(box.caption, "Error");
    EXPECT_EQ(box.style & 0xF, kMbOk);
    EXPECT_TRUE(box.has_owner);
    seen_ = shown.size();
  }

  void expect_taken_as_empty(const std::string& bytes);

  TempFolder game_;
  test::TestList owner_;
  MessageScript script_;
  std::size_t seen_ = 0;
};

// ---------------------------------------------------------------------------------------------
// Saved without appends: the bytes that were loaded.

using TalkTableRoundTrip = TalkTableTest;

TEST_F(TalkTableRoundTrip, RealTableSavesByteIdentical) {
  const std::string demo = testdata("gemrb/demo/dialog.tlk");
  if (demo.empty()) GTEST_SKIP() << "the shared test data (" << ZEP_TESTDATA << ") is not there";
  ASSERT_EQ(demo.size(), 12589u);
  put(demo);
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(table.entry_count(), 115u);
  EXPECT_EQ(+table.header().string_data_offset, 3008u);
  EXPECT_EQ(table.total_string_size(), 12589u - 3008u);
  EXPECT_TRUE(tlk_closed()) << "load closes the file";
  EXPECT_EQ(save_expecting_success(&table), demo);
}

TEST_F(TalkTableRoundTrip, BuiltTablesSaveByteIdentical) {
  std::string two_pointing_at_one = build_tlk({{1, "", 0, 0, "shared"}, {1, "", 0, 0, "x"}});
  put_u32_at(two_pointing_at_one, 18 + 26 + 18, 0);  // the second entry's text is the first's
  put_u32_at(two_pointing_at_one, 18 + 26 + 22, 6);
  const std::vector<std::pair<std::string, std::string>> tables = {
      {"no entries", build_tlk({})},
      {"no entries, bytes after the header", build_tlk({}, 0, "\n")},
      {"one empty text", build_tlk({{0, "", 0, 0, ""}})},
      {"resrefs with bytes after their zero, a full-length resref, odd fields",
       build_tlk({{7, std::string("AB\0junk!", 8), 0xFFFFFFFF, 12, "first"},
                  {3, "EIGHTCHR", 1, 2, std::string("zero\0bytes\xff", 11)},
                  {0xFFFF, std::string("\0\0\0\0\0\0\0X", 8), 0, 0xDEADBEEF, ""}},
                 0x1234, "unreferenced tail")},
      {"two entries sharing one text", two_pointing_at_one},
  };
  for (const auto& [what, bytes] : tables) {
    SCOPED_TRACE(what);
    put(bytes);
    TalkTable table;
    load_expecting_success(&table);
    EXPECT_EQ(table.entry_count(), u32_at(bytes, 10));
    EXPECT_EQ(save_expecting_success(&table), bytes);
  }
}

TEST_F(TalkTableRoundTrip, LoadedEntriesHoldTheFileFields) {
  put(build_tlk({{5, "SND01", 7, 9, "Ruby"}, {2, "", 0, 0, "Gem"}}, 3));
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(+table.header().language, 3u);
  EXPECT_EQ(std::memcmp(table.header().signature, "TLK ", 4), 0);
  EXPECT_EQ(std::memcmp(table.header().version, "V1  ", 4), 0);
  ASSERT_EQ(table.entry_count(), 2u);
  const TalkEntry first = table.entry(0);
  EXPECT_EQ(+first.flags, 5u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(first.sound_resref), 8), resref_field("SND01"));
  EXPECT_EQ(+first.volume_variance, 7u);
  EXPECT_EQ(+first.pitch_variance, 9u);
  EXPECT_EQ(+first.string_offset, 0u);
  EXPECT_EQ(+first.string_length, 4u);
  EXPECT_EQ(+table.entry(1).string_offset, 4u);
  EXPECT_EQ(table.total_string_size(), 7u);
  // A second load starts afresh from the file.
  put(build_tlk({{1, "", 0, 0, "only"}}));
  load_expecting_success(&table);
  EXPECT_EQ(table.entry_count(), 1u);
  EXPECT_EQ(table.total_string_size(), 4u);
  save_expecting_success(&table);
}

// ---------------------------------------------------------------------------------------------
// Appends: new entries and texts at the end, consecutive strrefs.

using TalkTableAppend = TalkTableTest;

TEST_F(TalkTableAppend, RealTableGrowsAtItsEnd) {
  const std::string demo = testdata("gemrb/demo/dialog.tlk");
  if (demo.empty()) GTEST_SKIP() << "the shared test data (" << ZEP_TESTDATA << ") is not there";
  put(demo);
  const ParsedTable before = parse_tlk(demo);
  ASSERT_TRUE(before.sound);
  ASSERT_EQ(before.text(5), "Ruby");

  TalkTable table;
  load_expecting_success(&table);
  const std::vector<std::string> texts = {"Brass Lantern", "", "A lantern of brass, dented, still burning.",
                                          "Lit"};
  EXPECT_EQ(append(&table, texts[0], 1, "", 0, 0), 115u);
  EXPECT_EQ(append(&table, texts[1], 0), 116u) << "a text of length 0 still gets an entry";
  EXPECT_EQ(append(&table, texts[2], 3, "LANT01", 5, 6), 117u);
  EXPECT_EQ(append(&table, texts[3], 3, std::string("ABC\0wxyz", 8)), 118u);
  EXPECT_EQ(table.entry_count(), 119u);
  EXPECT_EQ(+table.header().string_data_offset, 3008u + 26 * 4);

  const std::string saved = save_expecting_success(&table);
  const ParsedTable after = parse_tlk(saved);
  ASSERT_TRUE(after.sound);
  EXPECT_EQ(after.count, 115u + 4);
  EXPECT_EQ(after.string_data_offset, 3008u + 26 * 4);
  EXPECT_EQ(saved.substr(0, 10), demo.substr(0, 10)) << "signature, version and language carried";
  EXPECT_EQ(after.text(5), "Ruby");
  EXPECT_EQ(after.text(4), before.text(4));

  // Every loaded entry and text unchanged, but for the resref tidied after its first zero.
  for (std::size_t i = 0; i < 115; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(after.entries[i].flags, before.entries[i].flags);
    EXPECT_EQ(after.entries[i].resref, tidied(before.entries[i].resref));
    EXPECT_EQ(after.entries[i].volume, before.entries[i].volume);
    EXPECT_EQ(after.entries[i].pitch, before.entries[i].pitch);
    EXPECT_EQ(after.entries[i].offset, before.entries[i].offset);
    EXPECT_EQ(after.text(i), before.text(i));
  }
  EXPECT_EQ(after.strings.substr(0, before.strings.size()), before.strings);

  // New texts after the loaded ones, each where the previous one ends.
  std::uint32_t expected_offset = 12589 - 3008;
  for (std::size_t k = 0; k < texts.size(); ++k) {
    SCOPED_TRACE(k);
    const ParsedEntry& entry = after.entries[115 + k];
    EXPECT_EQ(entry.offset, expected_offset);
    EXPECT_EQ(entry.length, texts[k].size());
    EXPECT_EQ(after.text(115 + k), texts[k]);
    expected_offset += static_cast<std::uint32_t>(texts[k].size());
  }
  EXPECT_EQ(after.strings.size(), expected_offset) << "nothing after the last text";
  EXPECT_EQ(after.entries[117].flags, 3u);
  EXPECT_EQ(after.entries[117].resref, resref_field("LANT01"));
  EXPECT_EQ(after.entries[117].volume, 5u);
  EXPECT_EQ(after.entries[117].pitch, 6u);
  EXPECT_EQ(after.entries[118].resref, std::string("ABC\0\0\0\0\0", 8));
  EXPECT_EQ(saved.size(), demo.size() + 26 * 4 + expected_offset - (12589 - 3008));

  // The grown table loads again and goes on from there.
  load_expecting_success(&table);
  EXPECT_EQ(table.entry_count(), 119u);
  EXPECT_EQ(append(&table, "again"), 119u);
  EXPECT_EQ(parse_tlk(save_expecting_success(&table)).text(119), "again");
}

TEST_F(TalkTableAppend, TableOfNoEntriesStartsAtStrrefZero) {
  put(build_tlk({}, 7));
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(append(&table, "first", 1, "SND"), 0u);
  EXPECT_EQ(append(&table, "", 0), 1u);
  EXPECT_EQ(append(&table, "third", 3, "", 1, 2), 2u);
  EXPECT_EQ(save_expecting_success(&table),
            build_tlk({{1, "SND", 0, 0, "first"}, {0, "", 0, 0, ""}, {3, "", 1, 2, "third"}}, 7));
}

TEST_F(TalkTableAppend, ResrefsAreTidiedOnceAnythingIsAppended) {
  const std::vector<Line> loaded = {{1, std::string("AB\0junk!", 8), 0, 0, "a"},
                                    {1, "EIGHTCHR", 0, 0, "b"},
                                    {1, std::string("\0\0\0\0\0\0\0X", 8), 0, 0, "c"}};
  put(build_tlk(loaded));
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(table.entry(0).sound_resref), 8), resref_field(loaded[0].resref))
      << "nothing is tidied before an append";
  const u8 full[8] = {'F', 'U', 'L', 'L', 'N', 'A', 'M', 'E'};
  const u8 with_junk[8] = {'X', 'Y', 0, 'j', 'u', 'n', 'k', '!'};
  EXPECT_EQ(append_string(&table, "d", 1, 1, full, 0, 0), 3u);
  EXPECT_EQ(append_string(&table, "e", 1, 1, with_junk, 0, 0), 4u);
  EXPECT_EQ(append_string(&table, "f", 1, 1, nullptr, 0, 0), 5u) << "no resref at all";
  const ParsedTable after = parse_tlk(save_expecting_success(&table));
  ASSERT_TRUE(after.sound);
  EXPECT_EQ(after.entries[0].resref, std::string("AB\0\0\0\0\0\0", 8));
  EXPECT_EQ(after.entries[1].resref, "EIGHTCHR") << "a name of 8 characters has no zero and stays whole";
  EXPECT_EQ(after.entries[2].resref, std::string(8, '\0'));
  EXPECT_EQ(after.entries[3].resref, "FULLNAME");
  EXPECT_EQ(after.entries[4].resref, std::string("XY\0\0\0\0\0\0", 8));
  EXPECT_EQ(after.entries[5].resref, std::string(8, '\0'));
  EXPECT_EQ(after.text(0) + after.text(1) + after.text(2) + after.text(3) + after.text(4) + after.text(5), "abcdef");
}

TEST_F(TalkTableAppend, ManyAppendsGiveTheTableBuiltWhole) {
  std::vector<Line> lines = {{1, "OLD", 0, 0, "loaded one"}, {2, "", 0, 0, "loaded two"}};
  put(build_tlk(lines, 1, ""));
  TalkTable table;
  load_expecting_success(&table);
  // First texts of one byte each, which meet each size the appended block grows to exactly; then
  // lengths from 0 up past a whole block, so that both blocks regrow many times.
  std::uint32_t total = 20;
  for (std::uint32_t i = 0; i < 20000; ++i) {
    const std::string text(1, static_cast<char>(i));
    ASSERT_EQ(append(&table, text), 2 + i);
    lines.push_back({1, "", 0, 0, text});
    total += 1;
  }
  for (std::uint32_t i = 0; i < 3000; ++i) {
    Line line{static_cast<std::uint16_t>(i), i % 3 == 0 ? "S" + std::to_string(i) : "", i, ~i,
              std::string((i * 37) % 301 + (i == 1000 ? 9000 : 0), static_cast<char>('a' + i % 26))};
    if (i % 7 == 0) line.text.clear();
    ASSERT_EQ(append(&table, line.text, line.flags, line.resref, line.volume, line.pitch), 20002 + i);
    ASSERT_EQ(+table.entry(20002 + i).string_offset, total);
    total += static_cast<std::uint32_t>(line.text.size());
    lines.push_back(line);
  }
  EXPECT_EQ(table.total_string_size(), total);
  EXPECT_EQ(+table.entry(0).string_offset, 0u) << "older entries survive the regrowth";
  EXPECT_EQ(+table.entry(1).flags, 2u);
  EXPECT_EQ(save_expecting_success(&table), build_tlk(lines, 1, ""));
}

TEST_F(TalkTableAppend, AppendsThatWouldPass4GiBAreRefusedAndChangeNothing) {
  const std::vector<Line> lines = {{1, std::string("AB\0junk!", 8), 0, 0, "text"}};
  put(build_tlk(lines));
  TalkTable table;
  EXPECT_EQ(append(&table, "never"), kAppendRefused) << "a table that is not loaded";
  load_expecting_success(&table);
  // The text is never read: a refused length may be far longer than the bytes given.
  const char* text = "short";
  EXPECT_EQ(append_string(&table, text, 0xFFFFFFFFu, 1, nullptr, 0, 0), kAppendRefused);
  // A file of 2^32 bytes exactly: header and two entries (70 bytes) and 4 bytes of text before it.
  EXPECT_EQ(append_string(&table, text, 0xFFFFFFFFu - 70 - 4 + 1, 1, nullptr, 0, 0), kAppendRefused);
  EXPECT_EQ(table.entry_count(), 1u);
  EXPECT_EQ(+table.header().string_data_offset, 44u);
  EXPECT_EQ(table.total_string_size(), 4u);
  // Refusals are not appends: the loaded resref is still as it was, and the next strref is 1.
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(table.entry(0).sound_resref), 8), lines[0].resref);
  EXPECT_EQ(save_expecting_success(&table), build_tlk(lines));
  EXPECT_EQ(append(&table, "after the save"), kAppendRefused) << "a saved table is empty";

  load_expecting_success(&table);
  EXPECT_EQ(append_string(&table, text, 0xFFFFFFFFu, 1, nullptr, 0, 0), kAppendRefused);
  EXPECT_EQ(append(&table, "ok"), 1u);
  EXPECT_EQ(save_expecting_success(&table), build_tlk({{1, "AB", 0, 0, "text"}, {1, "", 0, 0, "ok"}}));
}

// ---------------------------------------------------------------------------------------------
// Files that cannot be loaded.

using TalkTableDamage = TalkTableTest;

TEST_F(TalkTableDamage, DamagedFilesAreRefusedWithTheLoadMessage) {
  const std::string good = build_tlk({{1, "", 0, 0, "one"}, {1, "", 0, 0, "two"}});  // 70 bytes, texts at 64
  auto with = [&good](std::size_t offset, std::uint32_t value) {
    std::string bytes = good;
    put_u32_at(bytes, offset, value);
    return bytes;
  };
  const std::size_t count_at = 10, offset_at = 14, second_text = 18 + 26 + 18, second_length = 18 + 26 + 22;
  // 26 * 165191050 is 2^32 + 4: in 32 bits the entry table would seem to end at 22.
  std::string wrapping_count = build_tlk({}, 0, "0123456789");
  put_u32_at(wrapping_count, count_at, 165191050u);
  put_u32_at(wrapping_count, offset_at, 22);
  const std::vector<std::pair<std::string, std::string>> damaged = {
      {"an empty file", ""},
      {"a file shorter than the header", good.substr(0, 17)},
      {"a file cut inside the entry table", good.substr(0, 18 + 26 + 10)},
      {"a file cut inside the texts", good.substr(0, good.size() - 1)},
      {"more entries than the file holds", with(count_at, 3)},
      {"a count so large that the table size wraps", wrapping_count},
      {"string data after a gap", with(offset_at, 65)},
      {"string data overlapping the entry table", with(offset_at, 63)},
      {"string data offset 0 with entries", with(offset_at, 0)},
      {"no entries but string data far away", []() {
         std::string bytes = build_tlk({}, 0, "filler");
         put_u32_at(bytes, 14, 20);
         return bytes;
       }()},
      {"a text past the end of the string data", with(second_text, 4)},
      {"a text longer than the string data", with(second_length, 7)},
      {"a text whose end wraps past 4 GiB", with(second_text, 0xFFFFFFF0u)},
      {"a length whose end wraps past 4 GiB", with(second_length, 0xFFFFFFFFu)},
      {"another signature", build_tlk({{1, "", 0, 0, "one"}}, 0, "", "TLX V1  ")},
      {"another version", build_tlk({{1, "", 0, 0, "one"}}, 0, "", "TLK V3  ")},
      {"a signature in lower case", build_tlk({}, 0, "", "tlk v1  ")},
  };
  for (const auto& [what, bytes] : damaged) {
    SCOPED_TRACE(what);
    put(bytes);
    TalkTable table;
    const char* problem = nullptr;
    EXPECT_EQ(read_talk_table(&table, tlk().string().c_str(), &problem), TalkLoad::kNotATable);
    ASSERT_NE(problem, nullptr);
    EXPECT_NE(std::string(problem), "");
    EXPECT_FALSE(load_talk_table(&table, game_path(), owner_.handle()));
    expect_one_open_failure();
    EXPECT_FALSE(table.loaded());
    EXPECT_EQ(table.entry_count(), 0u);
    EXPECT_EQ(table.total_string_size(), 0u);
    EXPECT_TRUE(tlk_closed());
    EXPECT_EQ(append(&table, "x"), kAppendRefused);
    EXPECT_FALSE(save_talk_table(&table, game_path(), owner_.handle())) << "nothing to save";
    EXPECT_EQ(script_.shown().size(), seen_) << "an empty table is not saved, and says nothing";
    EXPECT_EQ(on_disk(), bytes) << "the file is never written";
    EXPECT_FALSE(fs::exists(temporary()));
  }
  // The same table without damage loads, to show that each case above was refused for its damage.
  put(good);
  TalkTable table;
  load_expecting_success(&table);
  save_expecting_success(&table);
}

TEST_F(TalkTableDamage, MissingFileIsRefused) {
  TalkTable table;
  EXPECT_FALSE(load_talk_table(&table, game_path(), owner_.handle()));
  expect_one_open_failure();
  EXPECT_FALSE(table.loaded());
  EXPECT_FALSE(fs::exists(tlk()));
  // A folder in its place is refused too.
  fs::create_directories(tlk());
  EXPECT_FALSE(load_talk_table(&table, game_path(), owner_.handle()));
  expect_one_open_failure();
  // So is a game path with no room left for the file's name.
  const std::string long_path(kMaxPath - 5, 'x');
  EXPECT_FALSE(load_talk_table(&table, long_path.c_str(), owner_.handle()));
  expect_one_open_failure();
}

// A table of no entries whose offset field is 0: the string data is taken to start after the header,
// the bytes there are kept, and the saved file has the right offset.
void TalkTableTest::expect_taken_as_empty(const std::string& bytes) {
  const std::string tail = bytes.substr(18);
  std::string repaired = bytes;
  put_u32_at(repaired, 14, 18);

  put(bytes);
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(table.entry_count(), 0u);
  EXPECT_EQ(+table.header().string_data_offset, 18u);
  EXPECT_EQ(table.total_string_size(), tail.size());
  EXPECT_EQ(save_expecting_success(&table), repaired) << "saved with its offset put right";

  put(bytes);
  load_expecting_success(&table);
  EXPECT_EQ(append(&table, "New"), 0u);
  const std::string grown = save_expecting_success(&table);
  const ParsedTable after = parse_tlk(grown);
  ASSERT_TRUE(after.sound);
  EXPECT_EQ(after.count, 1u);
  EXPECT_EQ(after.string_data_offset, 44u);
  EXPECT_EQ(after.entries[0].offset, tail.size()) << "after the bytes that were there";
  EXPECT_EQ(after.text(0), "New");
  EXPECT_EQ(grown.substr(0, 10), bytes.substr(0, 10));
}

TEST_F(TalkTableDamage, NoEntriesAndOffsetZeroIsTakenAsEmpty) {
  std::string with_line_feed = build_tlk({}, 0, "\n");
  put_u32_at(with_line_feed, 14, 0);
  std::string header_only = build_tlk({});
  put_u32_at(header_only, 14, 0);
  {
    SCOPED_TRACE("a header and a line feed");
    expect_taken_as_empty(with_line_feed);
  }
  {
    SCOPED_TRACE("a header alone");
    expect_taken_as_empty(header_only);
  }
}

TEST_F(TalkTableDamage, RealTableOfNoEntriesAndOffsetZeroIsTakenAsEmpty) {
  const std::string real = testdata("gemrb/minimal/dialog.tlk");
  if (real.empty()) GTEST_SKIP() << "the shared test data (" << ZEP_TESTDATA << ") is not there";
  std::string expected = build_tlk({}, 0, "\n");
  put_u32_at(expected, 14, 0);
  ASSERT_EQ(real, expected) << "a header with 0 entries and offset 0, and one line feed";
  expect_taken_as_empty(real);
}

// ---------------------------------------------------------------------------------------------
// Saves that cannot replace dialog.tlk leave it as it was.

using TalkTableSharing = TalkTableTest;

TEST_F(TalkTableSharing, FileHeldOpenElsewhereIsNeitherLoadedNorReplaced) {
  const std::string original = build_tlk({{1, "", 0, 0, "kept"}, {2, "SND", 3, 4, "as it was"}});
  put(original);
  const std::string path = game_.path() + "dialog.tlk";
  TalkTable table;
  {
    FileHandle other(open_for_reading(path.c_str()));
    ASSERT_TRUE(other.is_open());
    EXPECT_FALSE(load_talk_table(&table, game_path(), owner_.handle()));
    expect_one_open_failure();
    EXPECT_FALSE(table.loaded());
  }
  EXPECT_EQ(on_disk(), original);

  load_expecting_success(&table);
  EXPECT_EQ(append(&table, "lost"), 2u);
  {
    FileHandle other(open_for_reading(path.c_str()));
    ASSERT_TRUE(other.is_open());
    EXPECT_FALSE(save_talk_table(&table, game_path(), owner_.handle()));
    expect_one_open_failure();
    EXPECT_FALSE(table.loaded()) << "released all the same";
    EXPECT_EQ(table.entry_count(), 0u);
    EXPECT_FALSE(fs::exists(temporary())) << "no temporary file is left";
  }
  EXPECT_EQ(on_disk(), original);
  EXPECT_TRUE(tlk_closed());
}

void make_read_only(const fs::path& file) {
  fs::permissions(file, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
}

TEST_F(TalkTableSharing, ReadOnlyFileIsNotReplaced) {
  // Windows refuses to rename over a read-only file. Wine run as root does not (the rename is a plain
  // Unix one), and there this cannot be shown.
  write_native_file(game_.native() / "probe.from", "from");
  write_native_file(game_.native() / "probe.to", "to");
  make_read_only(game_.native() / "probe.to");
  const bool refused = !replace_file((game_.path() + "probe.from").c_str(), (game_.path() + "probe.to").c_str());
  fs::permissions(game_.native() / "probe.to", fs::perms::owner_write, fs::perm_options::add);
  if (!refused) GTEST_SKIP() << "this system replaces read-only files";

  const std::string original = build_tlk({{1, "", 0, 0, "read only"}});
  put(original);
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(append(&table, "lost"), 1u);
  make_read_only(tlk());
  EXPECT_FALSE(save_talk_table(&table, game_path(), owner_.handle()));
  expect_one_open_failure();
  EXPECT_FALSE(table.loaded());
  fs::permissions(tlk(), fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(on_disk(), original);
  EXPECT_FALSE(fs::exists(temporary()));
}

TEST_F(TalkTableSharing, TemporaryFileThatCannotBeMadeLeavesTheTable) {
  const std::string original = build_tlk({{1, "", 0, 0, "stays"}});
  put(original);
  fs::create_directories(temporary());  // a folder where the temporary file would go
  TalkTable table;
  load_expecting_success(&table);
  EXPECT_EQ(append(&table, "lost"), 1u);
  EXPECT_FALSE(save_talk_table(&table, game_path(), owner_.handle()));
  expect_one_open_failure();
  EXPECT_FALSE(table.loaded());
  EXPECT_EQ(on_disk(), original);
  EXPECT_TRUE(fs::is_directory(temporary())) << "what was there is not ours to remove";

  // A stale temporary file from an earlier run is simply replaced.
  fs::remove(temporary());
  write_native_file(temporary(), std::string(5000, 's'));
  load_expecting_success(&table);
  EXPECT_EQ(append(&table, "kept"), 1u);
  EXPECT_EQ(save_expecting_success(&table), build_tlk({{1, "", 0, 0, "stays"}, {1, "", 0, 0, "kept"}}));
}

}  // namespace
}  // namespace zep
