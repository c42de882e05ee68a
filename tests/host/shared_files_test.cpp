// Add-ons that place the same files, installed and uninstalled with `zep install` and `zep uninstall`
// in the orders and states that once lost the game's original: whatever happens between them, every
// file is listed by one log at most, no backup is left that no log accounts for, and once every add-on
// is gone the game folder is as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "install/install_log.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::TestEntry;
using test::write_native_file;

using Tree = std::map<std::string, std::string>;

class SharedFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    game_ = root_.native() / "Game";
    write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
    write_native_file(game_ / "chitin.key", "the game's key");
    write_native_file(game_ / "override" / "x.itm", "the game's x");
    write_native_file(game_ / "override" / "y.itm", "the game's y");
    write_native_file(game_ / "save" / "000000001-Quick-Save" / "BALDUR.gam", "a saved game");
    before_ = files();
  }
  void TearDown() override { host::reset_all(); }

  // Every file of the game but the two an installation leaves by design (the talk table, which only
  // grows, and UInst.exe), by its path in lower case.
  Tree files() const {
    Tree found;
    for (const auto& item : fs::recursive_directory_iterator(game_)) {
      std::string name = fs::relative(item.path(), game_).generic_string();
      std::transform(name.begin(), name.end(), name.begin(), [](unsigned char c) { return std::tolower(c); });
      if (item.is_regular_file() && name != "dialog.tlk" && name != "uinst.exe") found[name] = read_native_file(item.path());
    }
    return found;
  }

  // Writes the self-extracting installer of `addon` with `files`, and installs it into `game`
  // (the game folder by default) answering every overwrite question with `answer`.
  std::string install(const std::string& addon, const std::vector<TestEntry>& files, const char* answer = "--yes",
                      const fs::path& game = {}) {
    const fs::path exe = root_.native() / (addon + ".exe");
    write_native_file(exe, test::build_self_extracting("MZ stub", "MZ uninstaller", test::build_test_archive({}, files)));
    std::ostringstream out, err;
    last_code_ = tool::run_install({answer, exe.string(), (game.empty() ? game_ : game).string()}, out, err);
    return out.str() + err.str();
  }

  // Uninstalls `addon` with `zep uninstall`, while each of `held` is held open by another program.
  std::string uninstall(const std::string& addon, const std::vector<std::string>& held = {}) {
    std::vector<FileHandle> handles;
    for (const std::string& name : held) {
      handles.emplace_back(open_for_reading((root_.path() + "Game/" + name).c_str()));
      EXPECT_TRUE(handles.back().is_open()) << name;
    }
    std::ostringstream out, err;
    last_code_ = tool::run_uninstall({"--yes", (game_ / (addon + ".log")).string()}, out, err);
    return out.str() + err.str();
  }

  // The file lines of every add-on's log in the game folder, by add-on.
  std::map<std::string, std::vector<std::string>> logs() const {
    std::map<std::string, std::vector<std::string>> found;
    for (const auto& item : fs::directory_iterator(game_)) {
      if (item.path().extension() != ".log") continue;
      std::istringstream text(read_native_file(item.path()));
      std::vector<std::string> lines;
      for (std::string line; std::getline(text, line);) lines.push_back(line.substr(0, line.find('\r')));
      if (lines.size() >= 2) found[item.path().stem().string()] = {lines.begin() + 2, lines.end()};
    }
    return found;
  }

  // Each file listed by one log at most, and each backup accounted for by a line of its add-on's log.
  void expect_one_owner_and_no_stray_backup() const {
    std::map<std::string, std::string> owners;
    const auto listed = logs();
    for (const auto& [addon, lines] : listed) {
      for (std::string line : lines) {
        std::replace(line.begin(), line.end(), '/', '\\');
        std::transform(line.begin(), line.end(), line.begin(), [](unsigned char c) { return std::tolower(c); });
        const auto [at, fresh] = owners.emplace(line, addon);
        EXPECT_TRUE(fresh || at->second == addon) << line << " is listed by " << at->second << " and " << addon;
      }
    }
    for (const auto& [name, bytes] : files()) {
      const std::size_t folder = name.find(".zep-backup/");
      if (folder == std::string::npos) continue;
      std::string line = name.substr(folder + 12);
      std::replace(line.begin(), line.end(), '/', '\\');
      const auto owner = owners.find(line);
      std::string addon = name.substr(0, folder);
      const bool accounted = owner != owners.end() && [&] {
        std::string listed_by = owner->second;
        std::transform(listed_by.begin(), listed_by.end(), listed_by.begin(), [](unsigned char c) { return std::tolower(c); });
        return listed_by == addon;
      }();
      EXPECT_TRUE(accounted) << "the backup " << name << " is no log line's";
    }
  }

  test::TempFolder root_;
  fs::path game_;
  Tree before_;
  int last_code_ = 0;
};

const std::vector<TestEntry> kAlpha = {{"override\\x.itm", "Alpha's x"}, {"override\\y.itm", "Alpha's y"},
                                       {"override\\alpha.spl", "Alpha's own"}};
const std::vector<TestEntry> kBeta = {{"override\\x.itm", "Beta's x"}, {"override\\beta.spl", "Beta's own"}};

// Another add-on's log is recognised by its place and first line, however its second line and its file
// lines are written: a log of a game since moved, and lines with forward slashes and other letter case.
TEST_F(SharedFiles, AnotherAddonsLogIsKnownByItsPlaceWhateverItsSecondLineSays) {
  for (const bool beta_first : {false, true}) {
    SCOPED_TRACE(beta_first ? "Beta removed first" : "Alpha removed first");
    install("Alpha", kAlpha);
    ASSERT_EQ(last_code_, tool::kExitOk);
    const std::string log = read_native_file(game_ / "Alpha.log");
    std::string moved = "Alpha\r\nD:\\Elsewhere\\Game\\\r\nOVERRIDE/X.ITM\r\noverride/y.itm\r\noverride/alpha.spl\r\n";
    write_native_file(game_ / "Alpha.log", moved);
    install("Beta", kBeta);
    ASSERT_EQ(last_code_, tool::kExitOk);
    EXPECT_EQ(read_native_file(game_ / "Alpha.log"),
              "Alpha\r\nD:\\Elsewhere\\Game\\\r\noverride/y.itm\r\noverride/alpha.spl\r\n")
        << "Alpha lets go of x.itm, and only of it";
    EXPECT_EQ(read_native_file(game_ / "Beta.zep-backup" / "override" / "x.itm"), "the game's x");
    expect_one_owner_and_no_stray_backup();
    uninstall(beta_first ? "Beta" : "Alpha");
    uninstall(beta_first ? "Alpha" : "Beta");
    EXPECT_EQ(files(), before_);
    (void)log;
  }
}

// Alpha's uninstall stops short on a file held open, after it deleted x.itm; Beta then places x.itm
// anew, and takes it over with the original Alpha kept; Alpha's second run finishes without touching it.
TEST_F(SharedFiles, AFileAPartialUninstallDeletedIsTakenOverByTheNextAddon) {
  install("Alpha", kAlpha);
  uninstall("Alpha", {"override/alpha.spl"});
  EXPECT_EQ(last_code_, tool::kExitFailed);
  ASSERT_FALSE(fs::exists(game_ / "override" / "x.itm"));
  ASSERT_EQ(read_native_file(game_ / "Alpha.zep-backup" / "override" / "x.itm"), "the game's x");

  install("Beta", kBeta);
  EXPECT_EQ(last_code_, tool::kExitOk);
  EXPECT_EQ(read_native_file(game_ / "override" / "x.itm"), "Beta's x");
  EXPECT_EQ(read_native_file(game_ / "Beta.zep-backup" / "override" / "x.itm"), "the game's x");
  expect_one_owner_and_no_stray_backup();

  uninstall("Alpha");
  EXPECT_EQ(last_code_, tool::kExitOk);
  EXPECT_EQ(read_native_file(game_ / "override" / "x.itm"), "Beta's x") << "Alpha no longer lists it";
  uninstall("Beta");
  EXPECT_EQ(files(), before_);
}

// A take-over that cannot rewrite the other log (marked read-only, or a folder where its temporary
// file goes) changes nothing: the file, the other log and its backup stay as they were.
TEST_F(SharedFiles, ATakeOverThatCannotRewriteTheOtherLogChangesNothing) {
  for (const bool read_only : {true, false}) {
    SCOPED_TRACE(read_only ? "Alpha.log read-only" : "a folder Alpha.log.new");
    install("Alpha", kAlpha);
    const std::string log = read_native_file(game_ / "Alpha.log");
    if (read_only) {
      fs::permissions(game_ / "Alpha.log", fs::perms::owner_write, fs::perm_options::remove);
    } else {
      fs::create_directories(game_ / "Alpha.log.new");
    }
    const std::string said = install("Beta", kBeta);
    EXPECT_EQ(last_code_, tool::kExitFailed);
    EXPECT_NE(said.find("the log of the add-on Alpha, which placed it, could not be changed"), std::string::npos)
        << said;
    EXPECT_EQ(read_native_file(game_ / "override" / "x.itm"), "Alpha's x");
    EXPECT_EQ(read_native_file(game_ / "Alpha.log"), log);
    EXPECT_EQ(read_native_file(game_ / "Alpha.zep-backup" / "override" / "x.itm"), "the game's x");
    EXPECT_FALSE(fs::exists(game_ / "Beta.zep-backup" / "override" / "x.itm"));
    expect_one_owner_and_no_stray_backup();
    fs::permissions(game_ / "Alpha.log", fs::perms::owner_write, fs::perm_options::add);
    fs::remove_all(game_ / "Alpha.log.new");
    uninstall("Beta");
    uninstall("Alpha");
    EXPECT_EQ(files(), before_);
  }
}

// A file the player keeps read-only, or that another program holds open, is not replaced, and no
// backup of it stays behind to block a later installation or to be put back over the game's file.
TEST_F(SharedFiles, AReplaceThatFailsLeavesNoBackupBehind) {
  fs::permissions(game_ / "override" / "x.itm", fs::perms::owner_write, fs::perm_options::remove);
  std::string said = install("Alpha", kAlpha);
  EXPECT_EQ(last_code_, tool::kExitFailed);
  EXPECT_EQ(read_native_file(game_ / "override" / "x.itm"), "the game's x");
  EXPECT_FALSE(fs::exists(game_ / "Alpha.zep-backup" / "override" / "x.itm"));
  expect_one_owner_and_no_stray_backup();
  {
    FileHandle held(open_for_reading((root_.path() + "Game/override/x.itm").c_str()));
    fs::permissions(game_ / "override" / "x.itm", fs::perms::owner_write, fs::perm_options::add);
    install("Alpha", kAlpha);
    EXPECT_EQ(last_code_, tool::kExitFailed);
    EXPECT_FALSE(fs::exists(game_ / "Alpha.zep-backup" / "override" / "x.itm"));
  }
  install("Alpha", kAlpha);  // nothing in the way now
  EXPECT_EQ(last_code_, tool::kExitOk);
  EXPECT_EQ(read_native_file(game_ / "override" / "x.itm"), "Alpha's x");
  uninstall("Alpha");
  EXPECT_EQ(files(), before_);
}

// A backup that no line of the log accounts for (a run cut short) is never put back. Holding the
// bytes of the file there now, it serves as that file's backup; otherwise the file is not placed and
// the message names the backup with its place.
TEST_F(SharedFiles, ABackupNoLogLineAccountsForIsNeverRestoredBlindly) {
  write_native_file(game_ / "Alpha.zep-backup" / "override" / "new.itm", "a stale copy");
  write_native_file(game_ / "Alpha.zep-backup" / "override" / "y.itm", "the game's y");
  std::vector<TestEntry> with_new = kAlpha;
  with_new.push_back({"override\\new.itm", "Alpha's new"});
  const std::string said = install("Alpha", with_new);
  EXPECT_EQ(last_code_, tool::kExitFailed);
  EXPECT_FALSE(fs::exists(game_ / "override" / "new.itm"));
  EXPECT_NE(said.find("Alpha.zep-backup\\override\\new.itm"), std::string::npos) << said;
  EXPECT_NE(said.find("no line of this add-on's log accounts for it"), std::string::npos) << said;
  EXPECT_EQ(read_native_file(game_ / "override" / "y.itm"), "Alpha's y") << "the identical backup served";
  fs::remove(game_ / "Alpha.zep-backup" / "override" / "new.itm");
  uninstall("Alpha");
  EXPECT_EQ(files(), before_);
}

// An archive may place no log and nothing into a backup folder, of any add-on, by any spelling: a
// forged log would have the next uninstall delete what it lists, a forged backup be put back.
TEST_F(SharedFiles, NoArchivePlacesALogOrABackup) {
  install("Beta", kBeta);
  const std::string log = read_native_file(game_ / "Beta.log");
  const std::string said = install("Evil", {{"Beta.log", "Beta\r\nC:\\\r\nchitin.key\r\nsave\\000000001-Quick-Save\\BALDUR.gam\r\n"},
                                            {"beta.zep-backup\\override\\x.itm", "a forged original"},
                                            {"BETAZE~1\\override\\x.itm", "a forged original"},
                                            {"Evil.log.new", "Evil\r\n"},
                                            {"override\\evil.spl", "Evil's own"}});
  EXPECT_EQ(last_code_, tool::kExitFailed);
  EXPECT_EQ(read_native_file(game_ / "Beta.log"), log);
  uninstall("Evil");
  uninstall("Beta");
  EXPECT_EQ(files(), before_);
  EXPECT_NE(said.find("the installer keeps this name for itself"), std::string::npos) << said;
}

// One game folder, however the installation was told of it: the log's second line is the same.
TEST_F(SharedFiles, OneGameFolderIsOnePath) {
  const std::string game = game_.string();
  install("Alpha", kAlpha, "--yes", game_ / ".." / "Game" / "." / "");
  ASSERT_EQ(last_code_, tool::kExitOk);
  const std::string log = read_native_file(game_ / "Alpha.log");
  EXPECT_EQ(log.substr(0, log.find("\r\n", 7) + 2), "Alpha\r\n" + tool::windows_style(game_) + "\\\r\n");
  install("Beta", kBeta);
  expect_one_owner_and_no_stray_backup();
  uninstall("Alpha");
  uninstall("Beta");
  EXPECT_EQ(files(), before_);
}

// What must be known before anything is changed: a log that may be another add-on's but cannot be
// read, and a log of this add-on too large to be read, stop the installation with a message naming it.
// An unrelated file ending in ".log", however large, is one short read and no obstacle.
TEST_F(SharedFiles, LogsThatCannotBeKnownStopTheInstallationBeforeItStarts) {
  install("Alpha", kAlpha);
  write_native_file(game_ / "trace.log", std::string(1 << 20, 't'));
  fs::resize_file(game_ / "trace.log", 80u << 20);
  const Tree installed = files();
  std::string said;
  {
    FileHandle held(open_for_reading((root_.path() + "Game/Alpha.log").c_str()));
    said = install("Beta", kBeta);
  }
  EXPECT_EQ(last_code_, tool::kExitFailed);
  EXPECT_NE(said.find("Alpha.log cannot be read"), std::string::npos) << said;
  EXPECT_NE(said.find("Nothing was installed."), std::string::npos) << said;
  EXPECT_EQ(files(), installed);

  write_native_file(game_ / "Beta.log", "Beta\r\n");
  fs::resize_file(game_ / "Beta.log", (64u << 20) + 1);
  said = install("Beta", kBeta);
  EXPECT_EQ(last_code_, tool::kExitFailed);
  EXPECT_NE(said.find("Beta.log is too large to read"), std::string::npos) << said;
  fs::remove(game_ / "Beta.log");
  fs::remove(game_ / "trace.log");
  install("Beta", kBeta);
  EXPECT_EQ(last_code_, tool::kExitOk);
  uninstall("Alpha");
  uninstall("Beta");
  EXPECT_EQ(files(), before_);
}

}  // namespace
}  // namespace zep
