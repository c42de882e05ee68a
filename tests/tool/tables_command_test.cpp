// zep tables on game folders of real files: what it lists is what an installation then does to the
// tables, and a folder the installer would refuse is refused with the file named.
#include <gtest/gtest.h>

#include <map>
#include <sstream>

#include "install/game_talk_tables.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"

namespace zep::tool {
namespace {

using test::read_native_file;
using test::TempFolder;
using test::write_native_file;

// A talk table of `count` entries, each with a text.
std::string table_of(u32 count) {
  return test::build_tlk(std::vector<test::Line>(count, test::Line{1, "", 0, 0, "text"}));
}

// Runs zep tables on a fresh game folder holding `files` (names with slashes); returns the exit code
// and the output (stderr after stdout), in which `{game}` stands for the folder and paths below it are
// spelled with backslashes.
std::pair<int, std::string> tables_of(const std::map<std::string, std::string>& files) {
  TempFolder game;
  for (const auto& [name, bytes] : files) write_native_file(game.native() / name, bytes);
  std::ostringstream out, err;
  const int code = run_tables({game.native().string()}, out, err);
  std::string said = out.str() + err.str();
  const std::string folder = game.native().string();
  for (std::size_t at = said.find(folder); at != std::string::npos; at = said.find(folder, at)) {
    said.replace(at, folder.size(), "{game}");
  }
  for (char& c : said) c = c == '/' ? '\\' : c;  // a path below the folder spelled as on Windows
  return {code, said};
}

TEST(Tables, ListsEachTableWithItsEntriesAndThePaddingThatKeepsThemInStep) {
  const std::map<std::string, std::string> enhanced = {
      {"lang/de_DE/dialog.tlk", table_of(12)}, {"lang/de_DE/dialogF.tlk", table_of(12)},
      {"lang/en_US/dialog.tlk", table_of(12)}, {"lang/fr_FR/dialog.tlk", table_of(9)},
      {"lang/xx_XX/readme.txt", "a folder without a table is no language"}};
  EXPECT_EQ(tables_of(enhanced),
            std::make_pair(kExitOk, std::string(
                "{game}: Enhanced Edition, 4 talk tables\n"
                "  lang\\de_DE\\dialog.tlk    12 entries\n"
                "  lang\\de_DE\\dialogF.tlk   12 entries\n"
                "  lang\\en_US\\dialog.tlk    12 entries\n"
                "  lang\\fr_FR\\dialog.tlk     9 entries, 3 short: padded with empty entries before the add-on's "
                "texts\n"
                "New texts would get strrefs from 12 on.\n")));
  EXPECT_EQ(tables_of({{"dialog.tlk", table_of(1000)}, {"dialogF.tlk", table_of(1000)}}),
            std::make_pair(kExitOk, std::string("{game}: classic game, dialog.tlk at its top, 2 talk tables\n"
                                                "  dialog.tlk    1000 entries\n"
                                                "  dialogF.tlk   1000 entries\n"
                                                "The tables are in step.\n"
                                                "New texts would get strrefs from 1000 on.\n")));
}

// The strref announced is the one the installation gives the add-on's first text, in every table.
TEST(Tables, TheAnnouncedStrrefIsWhereTheInstallationPutsItsTexts) {
  TempFolder game;
  const std::map<std::string, u32> counts = {{"lang/de_DE/dialog.tlk", 20}, {"lang/de_DE/dialogF.tlk", 18}};
  for (const auto& [name, count] : counts) write_native_file(game.native() / name, table_of(count));
  std::ostringstream out, err;
  ASSERT_EQ(run_tables({game.native().string()}, out, err), kExitOk) << err.str();
  EXPECT_NE(out.str().find("New texts would get strrefs from 20 on."), std::string::npos) << out.str();
  GameTalkTables installation;
  ASSERT_TRUE(installation.load(game.path().c_str(), nullptr));
  EXPECT_EQ(installation.append("Lantern", 7, 1, nullptr, 0, 0), 20u);
  ASSERT_TRUE(installation.save(game.path().c_str(), nullptr));
  for (const auto& [name, count] : counts) {
    const test::ParsedTable table = test::parse_tlk(read_native_file(game.native() / name));
    EXPECT_EQ(table.count, 21u) << name;
    EXPECT_EQ(table.text(20), "Lantern") << name;
  }
}

TEST(Tables, AFolderTheInstallerWouldRefuseIsNamedWithWhatIsWrong) {
  std::string damaged = table_of(5);
  damaged[10] = 100;  // more entries than the file holds
  const std::string kStop = "An installation into this folder would stop before changing anything.\n";
  const std::pair<std::map<std::string, std::string>, std::string> cases[] = {
      {{{"Override/x.itm", "ITM"}},
       "zep tables: {game} holds no talk table dialog.tlk, neither at its top nor in lang\\<locale>\\: is it the "
       "game's folder?\n"},
      {{{"lang/en_US/dialog.tlk", table_of(3)}, {"dlc/sod-dlc.zip", "PK"}},
       "zep tables: {game}\\dlc\\sod-dlc.zip holds a DLC, and the game reads its texts from there: texts added to "
       "the tables in {game}\\lang would not show. Merge the DLC into the game folder first (with a DLC merger)\n"},
      {{{"lang/en_US/dialog.tlk", table_of(3)}, {"lang/fr_FR/dialogF.tlk", damaged}},
       "zep tables: {game}\\lang\\fr_FR\\dialogF.tlk is not a talk table: its entry table lies outside it\n"},
      {{{"lang/en_US/dialog.tlk/x", ""}},  // a folder in the table's place
       "zep tables: cannot read {game}\\lang\\en_US\\dialog.tlk: access denied (5)\n"},
  };
  for (const auto& [files, said] : cases) EXPECT_EQ(tables_of(files), std::make_pair(kExitFailed, said + kStop));
}

}  // namespace
}  // namespace zep::tool
