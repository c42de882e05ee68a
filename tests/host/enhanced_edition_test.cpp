// An Enhanced Edition game folder, its talk tables in lang\<locale>\, through the real driver and the
// real folder check on real files: every table grows at the same strrefs (a shorter one padded
// first), its texts in UTF-8, and a table that is damaged, a link or a DLC still in its archive
// changes nothing. The fault run fails each operation of an installation in turn.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "archive/format.h"
#include "archive/reader.h"
#include "install/driver.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "shell/game_folder.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::write_native_file;

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
// Where the texts' strrefs go in the item.
const std::vector<std::uint32_t> kPositions = {0x08, 0x0C, 0x54};
// A text in Windows-1252 ("Café “lit”"), the same in UTF-8, and one already in UTF-8 ("Überall ✓").
const std::string kAnsiText = "Caf\xe9 \x93lit\x94";
const std::string kAnsiInUtf8 = "Caf\xc3\xa9 \xe2\x80\x9clit\xe2\x80\x9d";
const std::string kUtf8Text = "\xc3\x9c" "berall \xe2\x9c\x93";

std::vector<test::Line> lines(int count, const std::string& word) {
  std::vector<test::Line> result;
  for (int i = 0; i < count; ++i) result.push_back({1, "SND", 0, 0, word + std::to_string(i)});
  return result;
}

class EnhancedEdition : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    com_initialize();
    before_ = fs::current_path();
    fs::create_directories(root_.native() / "Installer");
    fs::current_path(root_.native() / "Installer");
    game_ = root_.native() / "Game";
    game_path_ = root_.path() + "Game" + root_.path().back();
    fs::create_directories(root_.native() / "Programs");
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", root_.path() + "Programs");
    // Three languages: German with both tables, French one entry short (a mod patched the others).
    tables_ = {{"lang/en_US/dialog.tlk", test::build_tlk(lines(3, "hello"))},
               {"lang/de_DE/dialog.tlk", test::build_tlk(lines(3, "hallo"))},
               {"lang/de_DE/dialogF.tlk", test::build_tlk(lines(3, "Hallo"))},
               {"lang/fr_FR/dialog.tlk", test::build_tlk(lines(2, "salut"))}};
    make_game();
  }
  void TearDown() override {
    fs::current_path(before_);
    host::reset_all();
  }

  // The game folder afresh: the tables, chitin.key and override.
  void make_game() {
    fs::remove_all(game_);
    fs::create_directories(game_ / "override");
    write_native_file(game_ / "chitin.key", "KEY V1  ");
    for (const auto& [name, bytes] : tables_) {
      fs::create_directories((game_ / name).parent_path());
      write_native_file(game_ / name, bytes);
    }
  }

  std::string installer() const {
    const std::vector<test::SpkText> texts = {{"Lantern of Dawn", 1, "LNTRN", 0, 0, {kPositions[0]}},
                                              {kAnsiText, 3, "", 0, 0, {kPositions[1]}},
                                              {kUtf8Text, 3, "", 0, 0, {kPositions[2]}}};
    const std::vector<test::TestEntry> patches = {
        {"LANTERN.spk", test::build_spk4("LANTERN.itm", std::string(114, 'r'), texts)}};
    return test::build_self_extracting("MZ stub", "MZ uninstaller",
                                       test::build_test_archive(patches, test::sample_files()));
  }

  // The installation, as the Import command runs it, answering Yes to every question.
  InstallReport install(std::vector<std::string>* said = nullptr) {
    write_native_file(root_.native() / "Installer" / "tmp", installer());
    FileHandle copy(open_for_reading("tmp"));
    EXPECT_TRUE(copy.is_open());
    host::set_message_handler([said](WindowRef, const char* text, const char* caption, u32 style) {
      if (said != nullptr) said->push_back(std::string(caption) + ": " + text);
      return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
    });
    InstallSource source = {copy.get(), kStubLayout.archive_offset, nullptr, nullptr, false};
    return install_addon(source, game_path_.c_str(), "Sample", nullptr);
  }

  std::string file(const std::string& name) const { return read_native_file(game_ / name); }

  // Every file below the game folder and its bytes.
  std::map<std::string, std::string> tree() const {
    std::map<std::string, std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(game_)) {
      if (item.is_regular_file()) files[fs::relative(item.path(), game_).string()] = read_native_file(item.path());
    }
    return files;
  }

  test::TempFolder root_;
  fs::path before_;
  fs::path game_;
  std::string game_path_;
  std::map<std::string, std::string> tables_;
};

TEST_F(EnhancedEdition, EveryLanguageGetsTheTextsAtTheSameStrrefsInUtf8) {
  write_native_file(game_ / "dialog.tlk", test::build_tlk(lines(5, "top")));  // left over: not the game's
  const std::string top = file("dialog.tlk");
  std::vector<std::string> said;
  const InstallReport report = install(&said);
  ASSERT_TRUE(report.started) << (said.empty() ? "" : said.back());
  EXPECT_EQ(report.failures, 0u) << said.back();
  for (const auto& [name, before] : tables_) {
    SCOPED_TRACE(name);
    const test::ParsedTable table = test::parse_tlk(file(name));
    ASSERT_TRUE(table.sound);
    ASSERT_EQ(table.entries.size(), 6u);
    const test::ParsedTable old = test::parse_tlk(before);
    for (std::size_t i = 0; i < old.entries.size(); ++i) EXPECT_EQ(table.text(i), old.text(i)) << i;
    if (old.entries.size() == 2) {
      EXPECT_EQ(table.entries[2].flags, 0u);
      EXPECT_EQ(table.entries[2].resref, std::string(8, '\0'));
      EXPECT_EQ(table.entries[2].length, 0u);
    }
    EXPECT_EQ(table.text(3), "Lantern of Dawn");
    EXPECT_EQ(table.text(4), kAnsiInUtf8) << "Windows-1252 arrives in UTF-8";
    EXPECT_EQ(table.text(5), kUtf8Text) << "UTF-8 stays as it is";
    EXPECT_EQ(table.entries[3].resref, std::string("LNTRN") + std::string(3, '\0'));
  }
  const std::string item = file("override/LANTERN.itm");
  for (std::size_t k = 0; k < 3; ++k) EXPECT_EQ(test::u32_at(item, kPositions[k]), 3 + k);
  EXPECT_EQ(file("dialog.tlk"), top) << "the tables under lang\\ are the game's";
  for (const auto& [name, bytes] : tree()) {
    EXPECT_EQ(name.find(".new"), std::string::npos) << name;
    EXPECT_EQ(name.find(".old"), std::string::npos) << name;
  }
}

TEST_F(EnhancedEdition, AClassicGameKeepsTheTextsBytesAsTheyAre) {
  fs::remove_all(game_);
  fs::create_directories(game_);
  write_native_file(game_ / "dialog.tlk", test::build_tlk(lines(2, "old")));
  fs::create_directories(game_ / "lang" / "en_US");  // a folder of that name without a table
  ASSERT_EQ(install().failures, 0u);
  const test::ParsedTable table = test::parse_tlk(file("dialog.tlk"));
  ASSERT_EQ(table.entries.size(), 5u);
  EXPECT_EQ(table.text(3), kAnsiText);
  EXPECT_EQ(table.text(4), kUtf8Text);
}

TEST_F(EnhancedEdition, TheFolderCheckTakesTheLanguagesAndRefusesWhatWouldLoseTheTexts) {
  const auto choose = [this](std::vector<std::string>* said) {
    said->clear();
    host::set_message_handler([said](WindowRef, const char* text, const char* caption, u32) {
      said->push_back(std::string(caption) + ": " + text);
      return kIdOk;
    });
    char game_path[kMaxPath] = "unchanged";
    const FolderChoice choice = check_game_folder(nullptr, (root_.path() + "Game").c_str(), game_path);
    std::string expected = game_path_;
    for (char& c : expected) c = c == '/' ? '\\' : c;
    if (choice == FolderChoice::kAccepted) EXPECT_EQ(std::string(game_path), expected);
    if (choice != FolderChoice::kAccepted) EXPECT_EQ(std::string(game_path), "unchanged");
    return choice;
  };
  std::vector<std::string> said;
  EXPECT_EQ(choose(&said), FolderChoice::kAccepted);
  EXPECT_TRUE(said.empty());

  const struct {
    const char* what;
    const char* archive;  // the DLC archive; empty: a link beside a table; null: a language folder a link
    const char* named;    // what the message names
  } cases[] = {
      {"the DLC in the game folder", "sod-dlc.zip", "sod-dlc.zip\nholds a DLC"},
      {"the DLC in the dlc folder", "dlc/sod-dlc.zip", "sod-dlc.zip\nholds a DLC"},
      {"a language folder that is a link", nullptr, "passes through a link"},
      {"a link in the place of the file written beside a table", "", "dialog.tlk.new"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    make_game();
    if (c.archive != nullptr && c.archive[0] == 0) {
      write_native_file(root_.native() / "outside.tlk", "the player's");
      fs::create_symlink(root_.native() / "outside.tlk", game_ / "lang" / "en_US" / "dialog.tlk.new");
    } else if (c.archive != nullptr) {
      fs::create_directories((game_ / c.archive).parent_path());
      write_native_file(game_ / c.archive, "PK");
    } else {
      fs::create_directories(root_.native() / "elsewhere");
      write_native_file(root_.native() / "elsewhere" / "dialog.tlk", test::build_tlk(lines(3, "x")));
      fs::create_directory_symlink(root_.native() / "elsewhere", game_ / "lang" / "it_IT");
    }
    const auto before = tree();
    EXPECT_EQ(choose(&said), FolderChoice::kRefused);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find(c.named), std::string::npos) << said[0];
    // Installing anyway (a folder accepted before the DLC came) refuses the same, changing nothing.
    said.clear();
    EXPECT_FALSE(install(&said).started);
    ASSERT_EQ(said.size(), 1u);
    EXPECT_NE(said[0].find("Nothing was installed."), std::string::npos) << said[0];
    EXPECT_EQ(tree(), before);
  }

  // Neither dialog.tlk at the top nor a language's: the folder is not a game's.
  fs::remove_all(game_ / "lang");
  EXPECT_EQ(choose(&said), FolderChoice::kNoDialogFile);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("Game\\dialog.tlk: The dialog file cannot be located."), std::string::npos) << said[0];
}

TEST_F(EnhancedEdition, OddLanguageFoldersArePassedOverAndTooLongPathsRefused) {
  // Names Windows would read as another folder's, or refuses: no language's folder, left as they are.
  for (const char* odd : {"fr_FR.", "fr_FR ", "a:b"}) {
    fs::create_directories(game_ / "lang" / odd);
    write_native_file(game_ / "lang" / odd / "dialog.tlk", test::build_tlk(lines(1, "odd")));
  }
  const auto odd_before = tree();
  std::vector<std::string> said;
  ASSERT_EQ(install(&said).failures, 0u) << said.back();
  for (const char* odd : {"fr_FR.", "fr_FR ", "a:b"}) {
    const std::string name = std::string("lang/") + odd + "/dialog.tlk";
    EXPECT_EQ(file(name), odd_before.at(name)) << name;
  }
  EXPECT_EQ(test::parse_tlk(file("lang/fr_FR/dialog.tlk")).entries.size(), 6u);

  // A language whose tables' paths (with ".new") would not fit a Windows path: refused, not left out.
  make_game();
  const std::string long_name(260 - game_path_.size() - 20, 'x');
  fs::create_directories(game_ / "lang" / long_name);
  write_native_file(game_ / "lang" / long_name / "dialog.tlk", test::build_tlk(lines(3, "long")));
  const auto before = tree();
  said.clear();
  EXPECT_FALSE(install(&said).started);
  ASSERT_EQ(said.size(), 1u);
  EXPECT_NE(said[0].find("are too long for Windows"), std::string::npos) << said[0];
  EXPECT_EQ(tree(), before);
}

TEST_F(EnhancedEdition, ADamagedLanguageTableChangesNothing) {
  for (const char* damaged : {"lang/fr_FR/dialog.tlk", "lang/de_DE/dialogF.tlk"}) {
    SCOPED_TRACE(damaged);
    make_game();
    write_native_file(game_ / damaged, "TLK V1  " + std::string(2, '\0') + std::string("\xff\xff\x00\x00", 4));
    const auto before = tree();
    std::vector<std::string> said;
    EXPECT_FALSE(install(&said).started);
    ASSERT_EQ(said.size(), 1u);
    std::string native = damaged;
    for (char& c : native) c = c == '/' ? '\\' : c;
    EXPECT_NE(said[0].find(native + " is not a talk table"), std::string::npos) << said[0];
    EXPECT_EQ(tree(), before);
  }
}

TEST_F(EnhancedEdition, EveryOperationFailingInTurnLeavesAllTablesAsTheyWereOrAllGrown) {
  make_game();
  ASSERT_EQ(install().failures, 0u);
  const auto grown = tree();
  make_game();
  const auto original = tree();
  host::fail_nth_file_operation(0, 0);
  install();
  const std::size_t operations = host::file_operation_count();
  ASSERT_GT(operations, 2 * tables_.size());
  for (u32 code : {win_error::kAccessDenied}) {
    for (std::size_t n = 1; n <= operations; ++n) {
      make_game();
      host::confine_changes_to(root_.path());
      host::fail_nth_file_operation(n, code);
      std::vector<std::string> said;
      const InstallReport report = install(&said);
      const std::string failed = host::injected_failure();
      host::fail_nth_file_operation(0, 0);
      host::confine_changes_to("");
      SCOPED_TRACE("operation " + std::to_string(n) + " failing with " + std::to_string(code) + ": " + failed);
      const auto after = tree();
      bool all_grown = true;
      bool all_original = true;
      for (const auto& [name, bytes] : tables_) {
        all_grown = all_grown && after.at(name) == grown.at(name);
        all_original = all_original && after.at(name) == original.at(name);
      }
      EXPECT_TRUE(all_grown || all_original);
      // A resource with strrefs only beside the texts it points at.
      if (after.count("override/LANTERN.itm") > 0) EXPECT_TRUE(all_grown);
      // A table that could not be written or replaced is a failure the last message counts.
      const bool table_failed = failed.find(".tlk") != std::string::npos && failed.rfind("delete_file", 0) != 0;
      if (table_failed && report.started) EXPECT_GT(report.failures, 0u);
      // Nothing is left beside the tables but an original that could not be let go after all of them
      // were grown.
      for (const auto& [name, bytes] : after) {
        if (name.find(".tlk.") == std::string::npos) continue;
        EXPECT_TRUE(all_grown && failed.rfind("delete_file", 0) == 0 && failed.find(name) != std::string::npos)
            << name << " is left";
      }
    }
  }
}

}  // namespace
}  // namespace zep
