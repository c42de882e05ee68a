// String patch files applied to a real item and a real talk table: where each strref lands, what the
// talk table gains, and that a damaged file changes nothing at all.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "install/string_patch_import.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::build_spk3;
using test::build_spk4;
using test::MessageScript;
using test::put_u32_at;
using test::read_native_file;
using test::SpkText;
using test::u32_at;
using test::write_native_file;

const fs::path kDemo = fs::path(ZEP_TESTDATA) / "gemrb" / "demo";

// One text of a saved talk table.
struct SavedEntry {
  std::uint16_t flags;
  std::string sound;
  std::uint32_t volume, pitch;
  std::string text;
};

std::vector<SavedEntry> entries_of(const std::string& tlk) {
  std::vector<SavedEntry> entries;
  const std::uint32_t count = u32_at(tlk, 10), strings = u32_at(tlk, 14);
  for (std::uint32_t i = 0; i < count; ++i) {
    std::size_t at = 18 + 26 * std::size_t{i};
    SavedEntry entry;
    entry.flags = static_cast<std::uint16_t>(static_cast<unsigned char>(tlk[at]) | static_cast<unsigned char>(tlk[at + 1]) << 8);
    entry.sound = tlk.substr(at + 2, 8);
    entry.volume = u32_at(tlk, at + 10);
    entry.pitch = u32_at(tlk, at + 14);
    entry.text = tlk.substr(strings + u32_at(tlk, at + 18), u32_at(tlk, at + 22));
    entries.push_back(entry);
  }
  return entries;
}

// What became of one string patch file, taken through the installation's steps.
struct PatchOutcome {
  PatchStatus status;
  PlaceResult placed;  // kSound: what became of the resource
  u32 texts;           // kSound: texts appended to the talk table
};

// A game folder with a talk table, an open install log and the loaded talk tables.
class StringPatchFile : public ::testing::Test {
 protected:
  void SetUp() override {
    game_ = root_.native() / "Game";
    fs::create_directories(game_ / "Override");
    game_path_ = root_.path() + "Game" + root_.path().back();
    if (fs::exists(kDemo / "dialog.tlk")) {
      write_native_file(game_ / "dialog.tlk", read_native_file(kDemo / "dialog.tlk"));
      ruby_ = read_native_file(kDemo / "ruby.itm");
    } else {
      write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
      ruby_ = std::string(114, 'r');
    }
    ASSERT_TRUE(log_.create(game_path_.c_str(), "Mod"));
    ASSERT_TRUE(tables_.load(game_path_.c_str(), nullptr));
    loaded_count_ = tables_.next_strref();
  }
  void TearDown() override { log_.close(); }

  bool have_demo() const { return fs::exists(kDemo / "dialog.tlk"); }

  // Reads the file back as the installation does after copying it, appends its texts, places its
  // resource and logs it when placed.
  PatchOutcome apply(const std::string& spk) { return apply_file(root_.native() / "spktmp", spk); }
  PatchOutcome apply_file(const fs::path& file, const std::string& spk) {
    if (!spk.empty() || file.filename() == "spktmp") write_native_file(file, spk);
    LoadedPatch loaded;
    FileHandle opened(open_for_reading(file.string().c_str()));
    PatchOutcome outcome = {read_string_patch_file(opened.get(), "RUBY.spk", "Mod", nullptr, &loaded),
                            PlaceResult::kFailed, 0};
    opened.close();
    if (outcome.status == PatchStatus::kSpkn) show_spkn_refusal(nullptr);
    if (outcome.status == PatchStatus::kNameRefused) accept_placement_name(loaded.relative_name.c_str(), "Mod", nullptr);
    if (outcome.status != PatchStatus::kSound) return outcome;
    const u32 first = append_patch_texts(loaded, &tables_);
    EXPECT_NE(first, kAppendRefused);
    outcome.texts = loaded.patch.entry_count;
    outcome.placed = place_patched_resource(loaded, first, game_path_.c_str(), {"Mod", nullptr}, nullptr);
    if (outcome.placed == PlaceResult::kPlaced) log_.append_line(loaded.relative_name.c_str());
    return outcome;
  }

  // Saves the table and returns the talk table file and the log as they are now.
  std::string saved_table() {
    EXPECT_TRUE(tables_.save(game_path_.c_str(), nullptr));
    return read_native_file(game_ / "dialog.tlk");
  }
  std::string log_text() {
    log_.close();
    return read_native_file(game_ / "Mod.log");
  }

  // Every file under the temporary folder but the string patch file itself.
  std::map<std::string, std::string> tree() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root_.native())) {
      std::string name = fs::relative(entry.path(), root_.native()).generic_string();
      if (name == "spktmp") continue;
      entries[name] = entry.is_directory() ? "<folder>" : read_native_file(entry.path());
    }
    return entries;
  }

  test::TempFolder root_;
  fs::path game_;
  std::string game_path_;
  std::string ruby_;
  InstallLog log_;
  GameTalkTables tables_;
  u32 loaded_count_ = 0;
};

TEST_F(StringPatchFile, Spk4PutsEachStrrefAtItsPositionsInTheRealItem) {
  if (!have_demo()) GTEST_SKIP() << "the real game data is not beside the project (" << kDemo << ")";
  const std::vector<SpkText> texts = {{"Ruby of Evil", 3, "", 0, 0, {8}},
                                      {"Cursed Ruby", 1, "", 0, 0, {12}},
                                      {"A red stone.", 3, "GAM_01", 5, 7, {80}},
                                      {"A red stone that whispers.", 1, "", 0, 0, {84}}};
  MessageScript script;
  PatchOutcome outcome = apply(build_spk4("ruby.itm", ruby_, texts));
  EXPECT_EQ(outcome.status, PatchStatus::kSound);
  EXPECT_EQ(outcome.placed, PlaceResult::kPlaced);
  EXPECT_EQ(outcome.texts, 4u);
  EXPECT_TRUE(script.shown().empty());

  std::string placed = read_native_file(game_ / "Override" / "ruby.itm");
  ASSERT_EQ(placed.size(), ruby_.size());
  std::string expected = ruby_;
  put_u32_at(expected, 8, 115);
  put_u32_at(expected, 12, 116);
  put_u32_at(expected, 80, 117);
  put_u32_at(expected, 84, 118);
  EXPECT_EQ(placed, expected);

  std::vector<SavedEntry> entries = entries_of(saved_table());
  ASSERT_EQ(entries.size(), 119u);
  EXPECT_EQ(entries[5].text, "Ruby");
  for (std::size_t k = 0; k < 4; ++k) {
    EXPECT_EQ(entries[115 + k].text, texts[k].text);
    EXPECT_EQ(entries[115 + k].flags, texts[k].flags);
  }
  EXPECT_EQ(entries[117].sound, std::string("GAM_01\0\0", 8));
  EXPECT_EQ(entries[117].volume, 5u);
  EXPECT_EQ(entries[117].pitch, 7u);
  EXPECT_EQ(log_text(), "Mod\r\n" + game_path_ + "\r\noverride\\ruby.itm\r\n");
}

TEST_F(StringPatchFile, PositionsAreWrittenInEntryOrder) {
  const u32 n = loaded_count_;
  // No position, a position shared by two texts (the later wins), several positions for one text.
  PatchOutcome outcome = apply(build_spk4("TWELVECHARS1", std::string(32, '\0'),
                                          {{"none", 1, "", 0, 0, {}},
                                           {"first", 1, "", 0, 0, {4}},
                                           {"second", 1, "", 0, 0, {4, 12, 20}},
                                           {"", 1, "", 0, 0, {28}}}));
  EXPECT_EQ(outcome.status, PatchStatus::kSound);
  std::string placed = read_native_file(game_ / "Override" / "TWELVECHARS1");
  ASSERT_EQ(placed.size(), 32u);
  EXPECT_EQ(u32_at(placed, 0), 0u);
  EXPECT_EQ(u32_at(placed, 4), n + 2);
  EXPECT_EQ(u32_at(placed, 8), 0u);
  EXPECT_EQ(u32_at(placed, 12), n + 2);
  EXPECT_EQ(u32_at(placed, 20), n + 2);
  EXPECT_EQ(u32_at(placed, 28), n + 3) << "a text of length 0 still gets its strref";

  // SPK3: one position or none, flags 3, variances 0, the entry's sound; a name cut at its zero byte.
  outcome = apply(build_spk3(std::string("short.itm\0XY", 12), std::string(16, '\0'),
                             {{"three", 9, "SND", 4, 4, {8}}, {"nowhere", 9, "", 0, 0, {}}}));
  EXPECT_EQ(outcome.status, PatchStatus::kSound);
  std::string short_placed = read_native_file(game_ / "Override" / "short.itm");
  ASSERT_EQ(short_placed.size(), 16u);
  EXPECT_EQ(u32_at(short_placed, 8), n + 4);
  EXPECT_EQ(short_placed.substr(0, 8), std::string(8, '\0'));
  EXPECT_EQ(short_placed.substr(12), std::string(4, '\0'));

  std::vector<SavedEntry> entries = entries_of(saved_table());
  ASSERT_EQ(entries.size(), n + 6u);
  EXPECT_EQ(entries[n + 4].text, "three");
  EXPECT_EQ(entries[n + 4].flags, 3u);
  EXPECT_EQ(entries[n + 4].sound, std::string("SND\0\0\0\0\0", 8));
  EXPECT_EQ(entries[n + 4].volume, 0u);
  EXPECT_EQ(entries[n + 5].text, "nowhere");
  EXPECT_EQ(log_text(), "Mod\r\n" + game_path_ + "\r\noverride\\TWELVECHARS1\r\noverride\\short.itm\r\n");
}

TEST_F(StringPatchFile, OverlappingRangesAndPositionsGiveTheBytesOfEveryWriteInItsOrder) {
  // The writes are planned, not made one by one: the bytes must be those that making every write, text
  // by text and position by position, would give. Ranges of texts overlap, positions repeat and
  // overlap by a byte or two, texts share a table in any order; an empty range may point anywhere.
  std::uint32_t seed = 12345;
  auto random = [&seed](std::uint32_t below) {
    seed = seed * 1103515245u + 12345u;
    return (seed >> 8) % below;
  };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::uint32_t table_size = 1 + random(40);
    const std::uint32_t text_count = 1 + random(12);
    std::vector<std::uint32_t> table;
    for (std::uint32_t j = 0; j < table_size; ++j) table.push_back(random(61));  // 4 bytes inside 64
    std::vector<SpkText> texts(text_count);
    for (SpkText& text : texts) text.text = "t";
    texts[0].positions = table;
    std::string spk = build_spk4("MIXED.itm", std::string(64, '\x11'), texts);
    std::string expected(64, '\x11');
    const u32 n = tables_.next_strref();
    for (std::uint32_t i = 0; i < text_count; ++i) {
      std::uint32_t first = random(table_size);
      std::uint32_t count = random(table_size - first + 1);
      if (random(5) == 0) {
        first = 0xFFFFFFF0u;  // no positions, an index far outside
        count = 0;
      }
      put_u32_at(spk, 60 + 50 * i + 26, first);
      put_u32_at(spk, 60 + 50 * i + 30, count);
      for (std::uint32_t j = first; j < first + count; ++j) put_u32_at(expected, table[j], n + i);
    }
    PatchOutcome outcome = apply(spk);
    ASSERT_EQ(outcome.status, PatchStatus::kSound);
    EXPECT_TRUE(read_native_file(game_ / "Override" / "MIXED.itm") == expected);
    fs::remove(game_ / "Override" / "MIXED.itm");
  }

  // An empty text, and no texts at all, may point anywhere.
  std::string empty_text = build_spk4("EMPTY.itm", "1234", {{"", 1, "", 0, 0, {}}});
  put_u32_at(empty_text, 60, 0xFFFFFFF0u);
  EXPECT_EQ(apply(empty_text).status, PatchStatus::kSound);
  std::string no_texts = build_spk4("NONE.itm", "1234", {});
  put_u32_at(no_texts, test::spk_field::kEntryTable, 0xFFFFFF00u);
  put_u32_at(no_texts, test::spk_field::kTextBase, 0xFFFFFF00u);
  put_u32_at(no_texts, test::spk_field::kReferenceTable, 0xFFFFFF00u);
  EXPECT_EQ(apply(no_texts).status, PatchStatus::kSound);
}

TEST_F(StringPatchFile, ADeclinedOverwriteKeepsTheFileOutOfTheLogAndStillAppendsEveryText) {
  write_native_file(game_ / "Override" / "ruby.itm", "the player's own ruby");
  MessageScript script;
  script.answer(kIdNo);
  PatchOutcome outcome = apply(build_spk4("ruby.itm", ruby_, {{"a", 1, "", 0, 0, {8}}, {"b", 1, "", 0, 0, {12}}}));
  EXPECT_EQ(outcome.status, PatchStatus::kSound);
  EXPECT_EQ(outcome.placed, PlaceResult::kDeclined);
  EXPECT_EQ(outcome.texts, 2u);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].text, "File already exists. Overwrite?");
  EXPECT_EQ(read_native_file(game_ / "Override" / "ruby.itm"), "the player's own ruby");
  EXPECT_EQ(entries_of(saved_table()).size(), loaded_count_ + 2u);
  EXPECT_EQ(log_text(), "Mod\r\n" + game_path_ + "\r\n") << "the player's file is not the uninstaller's to delete";
}

TEST_F(StringPatchFile, DamagedFilesAreRefusedAndChangeNothing) {
  const std::string good = build_spk4("ruby.itm", ruby_, {{"a", 1, "", 0, 0, {8, 12}}, {"bb", 1, "", 0, 0, {80}}});
  namespace f = test::spk_field;
  auto with = [&](std::size_t offset, u32 value, const std::string& base) {
    std::string spk = base;
    put_u32_at(spk, offset, value);
    return spk;
  };
  const std::size_t entry1 = 60 + 50;
  const std::string good3 = build_spk3("ruby.itm", ruby_, {{"a", 1, "", 0, 0, {8}}});
  const struct {
    const char* what;
    std::string spk;
  } cases[] = {
      {"header cut", good.substr(0, 50)},
      {"SPK3 header cut", good3.substr(0, 40)},
      {"resource past the end", with(f::kResourceLength, static_cast<u32>(good.size()), good)},
      {"resource offset wrapping", with(f::kResourceOffset, 0xFFFFFFF0u, good)},
      {"entry table past the end", with(f::kEntryCount, 1000, good)},
      {"entry count wrapping", with(f::kEntryCount, 0x40000000u, good)},
      {"reference table past the end", with(f::kReferenceCount, 1000, good)},
      {"reference table offset wrapping", with(f::kReferenceTable, 0xFFFFFFFCu, good)},
      {"text past the end", with(entry1 + 4, 5000, good)},
      {"text offset wrapping", with(entry1, 0xFFFFFFFFu, good)},
      {"text base past the end", with(f::kTextBase, 0xFFFFFF00u, good)},
      {"reference index past the table", with(entry1 + 26, 3, good)},
      {"reference count past the table", with(entry1 + 30, 2, good)},
      {"reference index wrapping", with(entry1 + 26, 0xFFFFFFFFu, good)},
      {"position past the resource", with(60 + 100 + 8, static_cast<u32>(ruby_.size()) - 3, good)},
      {"position wrapping", with(60 + 100, 0xFFFFFFFEu, good)},
      {"SPK3 position past the resource", with(44 + 8, static_cast<u32>(ruby_.size()), good3)},
      {"name leaving the game folder", build_spk4("..\\..\\x.dll", ruby_, {{"a", 1, "", 0, 0, {8}}})},
      {"name with a drive", build_spk4("C:x.dll", ruby_, {})},
  };
  const auto before = tree();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    MessageScript script;
    PatchOutcome outcome = apply(c.spk);
    // A name is refused for that one file, damage as damage.
    EXPECT_EQ(outcome.status, std::string(c.what).find("name") == 0 ? PatchStatus::kNameRefused : PatchStatus::kRefused);
    EXPECT_EQ(outcome.texts, 0u);
    ASSERT_EQ(script.shown().size(), 1u);
    // A refused name is named, with why it is refused.
    const char* named = std::string(c.what).find("name") == 0 ? "x.dll\nis not installed: " : "RUBY.spk";
    EXPECT_NE(script.shown()[0].text.find(named), std::string::npos) << script.shown()[0].text;
    EXPECT_EQ(tables_.next_strref(), loaded_count_);
  }
  EXPECT_EQ(tree(), before) << "nothing placed, nothing logged";
}

TEST_F(StringPatchFile, SpknAndOtherMagicsChangeNothing) {
  const auto before = tree();
  MessageScript script;
  EXPECT_EQ(apply("SPKN" + std::string(100, '\0')).status, PatchStatus::kSpkn);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].text, "SPKN not (yet)supported!");
  EXPECT_EQ(script.shown()[0].caption, "");
  EXPECT_EQ(script.shown()[0].style, kMbOk);
  EXPECT_EQ(apply("spk4" + build_spk4("x", "y", {}).substr(4)).status, PatchStatus::kPassedOver);
  EXPECT_EQ(apply("SPK").status, PatchStatus::kPassedOver);
  EXPECT_EQ(apply("").status, PatchStatus::kPassedOver);
  EXPECT_EQ(apply_file(root_.native() / "missing", "").status, PatchStatus::kUnreadable);
  EXPECT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(tables_.next_strref(), loaded_count_);
  EXPECT_EQ(tree(), before);
}

}  // namespace
}  // namespace zep
