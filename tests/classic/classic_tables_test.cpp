// The installer stub's talk tables, linked as the stub links them (install/classic_tables.cpp in
// place of the Enhanced Editions' search): the classic games' tables grow in step, their texts' bytes
// as they are, and an Enhanced Edition's folder is refused at the folder check and at the
// installation's, with nothing changed.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "install/game_talk_tables.h"
#include "platform/host_platform.h"
#include "shell/game_folder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::write_native_file;

std::string table_of(int count) {
  std::vector<test::Line> lines;
  for (int i = 0; i < count; ++i) lines.push_back({1, "", 0, 0, "text" + std::to_string(i)});
  return test::build_tlk(lines);
}

class ClassicTables : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    game_ = root_.native() / "Game";
    fs::create_directories(game_);
    game_path_ = root_.path() + "Game" + root_.path().back();
    host::set_message_handler([this](WindowRef, const char* text, const char* caption, u32) {
      said_.push_back(std::string(caption) + ": " + text);
      return kIdOk;
    });
  }
  void TearDown() override { host::reset_all(); }

  test::TempFolder root_;
  fs::path game_;
  std::string game_path_;
  std::vector<std::string> said_;
};

TEST_F(ClassicTables, TheStubGrowsAClassicGamesTablesInStepAndLeavesTextsAsTheyAre) {
  ASSERT_FALSE(kServesEnhancedEditions);
  write_native_file(game_ / "dialog.tlk", table_of(3));
  write_native_file(game_ / "dialogF.tlk", table_of(2));
  fs::create_directories(game_ / "lang" / "fr_FR");  // no English tables: not an Enhanced Edition
  write_native_file(game_ / "lang" / "fr_FR" / "dialog.tlk", table_of(1));
  GameTalkTables tables;
  ASSERT_TRUE(tables.load(game_path_.c_str(), nullptr)) << (said_.empty() ? "" : said_.back());
  EXPECT_FALSE(tables.names().enhanced());
  const std::string ansi = "Caf\xe9";
  EXPECT_EQ(tables.append(ansi.data(), 4, 1, nullptr, 0, 0), 3u);
  ASSERT_TRUE(tables.save(game_path_.c_str(), nullptr));
  for (const char* name : {"dialog.tlk", "dialogF.tlk"}) {
    const test::ParsedTable table = test::parse_tlk(read_native_file(game_ / name));
    ASSERT_EQ(table.entries.size(), 4u) << name;
    EXPECT_EQ(table.text(3), ansi) << name;
  }
  EXPECT_EQ(read_native_file(game_ / "lang" / "fr_FR" / "dialog.tlk"), table_of(1));
}

TEST_F(ClassicTables, TheStubRefusesAnEnhancedEditionsFolderChangingNothing) {
  // With its English tables, and with a dialog.tlk at its top too, which the game does not read.
  fs::create_directories(game_ / "lang" / "en_US");
  write_native_file(game_ / "lang" / "en_US" / "dialog.tlk", table_of(2));
  for (const bool top : {false, true}) {
    SCOPED_TRACE(top ? "with a dialog.tlk at its top" : "without");
    if (top) write_native_file(game_ / "dialog.tlk", table_of(5));
    said_.clear();
    char game_path[kMaxPath] = "unchanged";
    EXPECT_EQ(check_game_folder(nullptr, (root_.path() + "Game").c_str(), game_path), FolderChoice::kRefused);
    EXPECT_EQ(std::string(game_path), "unchanged");
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_NE(said_[0].find("dialog.tlk\nbelongs to an Enhanced Edition: install this add-on with zep install."),
              std::string::npos)
        << said_[0];

    said_.clear();
    GameTalkTables tables;
    EXPECT_FALSE(tables.load(game_path_.c_str(), nullptr));
    ASSERT_EQ(said_.size(), 1u);
    EXPECT_NE(said_[0].find("Nothing was installed."), std::string::npos) << said_[0];
    EXPECT_EQ(read_native_file(game_ / "lang" / "en_US" / "dialog.tlk"), table_of(2));
    if (top) EXPECT_EQ(read_native_file(game_ / "dialog.tlk"), table_of(5));
  }
}

}  // namespace
}  // namespace zep
