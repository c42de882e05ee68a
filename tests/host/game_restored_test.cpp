// Installing and then uninstalling gives the player back the game folder as it was: every file the
// player had, with its bytes, whatever was answered, however often the add-on was installed, and in
// whichever order two add-ons that replace the same file are removed. Only the talk table keeps what
// was appended to it, and UInst.exe stays.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "archive/format.h"
#include "install/driver.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "uninstaller/uninstaller.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::MessageScript;
using test::read_native_file;
using test::TestEntry;
using test::write_native_file;

using Tree = std::map<std::string, std::string>;

class GameRestored : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    before_ = fs::current_path();
    fs::create_directories(root_.native() / "Installer");
    fs::current_path(root_.native() / "Installer");
    game_ = root_.native() / "Game";
    game_path_ = root_.path() + "Game" + root_.path().back();
    make_game();
  }
  // The game folder as the player has it: the talk table and two files of the player's own.
  void make_game() {
    fs::remove_all(game_);
    write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
    write_native_file(game_ / "Override" / "shared.itm", "the player's item");
    write_native_file(game_ / "Override" / "kept.eff", "the player's effect");
    write_native_file(game_ / "chitin.key", "the game's key");
  }
  void TearDown() override {
    fs::current_path(before_);
    host::reset_all();
  }

  // Every file of the game folder (or of `folder`) but the two that an installation leaves by design.
  Tree game(const fs::path& folder = {}) const {
    const fs::path& root = folder.empty() ? game_ : folder;
    Tree files;
    for (const auto& item : fs::recursive_directory_iterator(root)) {
      const std::string name = fs::relative(item.path(), root).generic_string();
      if (item.is_regular_file() && name != "dialog.tlk" && name != "UInst.exe") files[name] = read_native_file(item.path());
      if (item.is_directory() && fs::is_empty(item.path())) files[name + "/"] = "";
    }
    return files;
  }

  // Installs `addon` with its string patch file and `files`, answering every overwrite question
  // with `overwrite` (or the answers given).
  void install(const std::string& addon, const std::vector<TestEntry>& files, std::vector<int> answers) {
    const std::vector<TestEntry> patches = {
        {addon + ".spk", test::build_spk4(addon + ".itm", std::string(16, 'i'), {{"a text", 1, "", 0, 0, {4}}})}};
    write_native_file(root_.native() / "Installer" / "tmp",
                      test::build_self_extracting("MZ stub", "MZ uninstaller", test::build_test_archive(patches, files)));
    FileHandle copy(open_for_reading("tmp"));
    ASSERT_TRUE(copy.is_open());
    MessageScript script;
    script.answer(kIdNo);  // no shortcuts
    for (int answer : answers) script.answer(answer);
    InstallSource source = {copy.get(), kStubLayout.archive_offset, nullptr, nullptr, false};
    const InstallReport report = install_addon(source, game_path_.c_str(), addon.c_str(), nullptr);
    EXPECT_TRUE(report.started);
    std::string said;
    for (const test::ShownMessage& message : script.shown()) said += "[" + message.caption + ": " + message.text + "]";
    EXPECT_EQ(report.failures, 0u) << said;
  }

  void uninstall(const std::string& addon) {
    MessageScript script;
    script.answer(kIdYes);
    EXPECT_EQ(run_uninstaller(("UInst -" + game_path_ + addon + ".log").c_str()), Outcome::kCompleted);
    EXPECT_EQ(script.shown().back().text, "Uninstall completed.");
  }

  test::TempFolder root_;
  fs::path before_;
  fs::path game_;
  std::string game_path_;
};

const std::vector<TestEntry> kFiles = {{"Override\\shared.itm", "Alpha's item"},
                                       {"Override\\kept.eff", "Alpha's effect"},
                                       {"Override\\Deep\\new.bam", "Alpha's animation"}};

TEST_F(GameRestored, AReplacedFileComesBackAndADeclinedOneIsNeverTouched) {
  const Tree before = game();
  install("Alpha", kFiles, {kIdYes, kIdNo});  // replace shared.itm, keep kept.eff
  EXPECT_EQ(read_native_file(game_ / "Override" / "shared.itm"), "Alpha's item");
  EXPECT_EQ(read_native_file(game_ / "Override" / "kept.eff"), "the player's effect");
  EXPECT_EQ(read_native_file(game_ / "Alpha.zep-backup" / "Override" / "shared.itm"), "the player's item");
  uninstall("Alpha");
  Tree after = game();
  after.erase("Override/Deep/");  // a folder the installation made; the uninstaller removes none
  EXPECT_EQ(after, before);
}

TEST_F(GameRestored, AReinstalledAddonUninstallsToTheGameBeforeItsFirstInstallation) {
  const Tree before = game();
  install("Alpha", kFiles, {kIdYes, kIdYes});
  install("Alpha", kFiles, {kIdYes, kIdYes, kIdYes, kIdYes});  // every file is there now
  EXPECT_EQ(read_native_file(game_ / "Alpha.zep-backup" / "Override" / "shared.itm"), "the player's item")
      << "the original of the first installation stays";
  uninstall("Alpha");
  Tree after = game();
  after.erase("Override/Deep/");
  EXPECT_EQ(after, before);
}

TEST_F(GameRestored, TwoAddonsThatReplaceTheSameFileGiveTheOriginalBackInEitherOrder) {
  const std::vector<TestEntry> beta_files = {{"Override\\shared.itm", "Beta's item"}};
  for (bool beta_first : {false, true}) {
    SCOPED_TRACE(beta_first ? "Beta removed first" : "Alpha removed first");
    make_game();
    const Tree before = game();
    install("Alpha", kFiles, {kIdYes, kIdYes});
    install("Beta", beta_files, {kIdYes});
    EXPECT_EQ(read_native_file(game_ / "Override" / "shared.itm"), "Beta's item");
    if (beta_first) {
      uninstall("Beta");
      // Beta had taken the file over: the game's original comes back, Alpha's version is gone.
      EXPECT_EQ(read_native_file(game_ / "Override" / "shared.itm"), "the player's item");
      uninstall("Alpha");
    } else {
      uninstall("Alpha");
      EXPECT_EQ(read_native_file(game_ / "Override" / "shared.itm"), "Beta's item") << "Beta still has it";
      uninstall("Beta");
    }
    Tree after = game();
    after.erase("Override/Deep/");
    EXPECT_EQ(after, before);
  }
}

// A game folder copied (a backup, a second installation) or moved since the add-on was installed:
// its next version installs into the copy, continuing the copied log with the copy as its folder, and
// uninstalling it there gives the copy back as it was before the first installation, while the
// original folder keeps its installation untouched.
TEST_F(GameRestored, AnUpdateIntoACopiedGameInstallsAndItsUninstallGivesTheCopyBack) {
  const Tree before = game();
  install("Alpha", kFiles, {kIdYes, kIdYes});
  const Tree installed = game();
  const fs::path copy = root_.native() / "Copy";
  fs::copy(game_, copy, fs::copy_options::recursive);
  const std::string original_path = game_path_;
  game_path_ = root_.path() + "Copy" + root_.path().back();
  const std::vector<TestEntry> update = {{"Override\\shared.itm", "Alpha's item, version 2"},
                                         {"Override\\added.itm", "new in version 2"}};
  install("Alpha", update, {kIdYes});  // shared.itm is there, and Alpha's: no backup of it is made again
  const std::string log = read_native_file(copy / "Alpha.log");
  EXPECT_EQ(log.substr(0, log.find("\r\n", 7) + 2), "Alpha\r\n" + game_path_ + "\r\n");
  EXPECT_NE(log.find("Override\\added.itm\r\n"), std::string::npos);
  EXPECT_EQ(read_native_file(copy / "Alpha.zep-backup" / "Override" / "shared.itm"), "the player's item");

  uninstall("Alpha");
  Tree after = game(copy);
  after.erase("Override/Deep/");
  EXPECT_EQ(after, before) << "the copy is as it was before the first installation";
  game_path_ = original_path;
  EXPECT_EQ(game(), installed) << "the original folder is untouched";
  uninstall("Alpha");
  after = game();
  after.erase("Override/Deep/");
  EXPECT_EQ(after, before);
}

}  // namespace
}  // namespace zep
