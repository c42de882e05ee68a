// Add-ons that place the same files, installed and uninstalled with `zep install` and `zep uninstall`
// in the orders and states that once lost the game's original: whatever happens between them, every
// file is listed by one log at most, no backup is left that no log accounts for, and once every add-on
// is gone the game folder is as it was.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <random>
#include <sstream>

#include "archive/format.h"
#include "install/driver.h"
#include "install/install_log.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"
#include "uninstaller/uninstaller.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::TestEntry;
using test::write_native_file;

using Tree = std::map<std::string, std::string>;

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Every file of the game folder `game` but the two an installation leaves by design (the talk table,
// which only grows, and UInst.exe), by its path in lower case.
Tree game_files(const fs::path& game) {
  Tree found;
  for (const auto& item : fs::recursive_directory_iterator(game)) {
    const std::string name = lower(fs::relative(item.path(), game).generic_string());
    if (item.is_regular_file() && name != "dialog.tlk" && name != "uinst.exe") found[name] = read_native_file(item.path());
  }
  return found;
}

// The file lines of every add-on's log in `game`, by add-on.
std::map<std::string, std::vector<std::string>> log_lines(const fs::path& game) {
  std::map<std::string, std::vector<std::string>> found;
  for (const auto& item : fs::directory_iterator(game)) {
    if (item.path().extension() != ".log") continue;
    std::istringstream text(read_native_file(item.path()));
    std::vector<std::string> lines;
    for (std::string line; std::getline(text, line);) lines.push_back(line.substr(0, line.find('\r')));
    if (lines.size() >= 2) found[item.path().stem().string()] = {lines.begin() + 2, lines.end()};
  }
  return found;
}

// What breaks the two rules that hold at every moment: each file is listed by one log at most, and each
// backup is accounted for by a line of its add-on's log. Empty when both hold.
std::string ownership_problems(const fs::path& game) {
  std::string problems;
  std::map<std::string, std::string> owners;  // a listed file, as the uninstaller takes it, and its add-on
  for (const auto& [addon, lines] : log_lines(game)) {
    for (std::string line : lines) {
      std::replace(line.begin(), line.end(), '/', '\\');
      const auto [at, fresh] = owners.emplace(lower(line), lower(addon));
      if (!fresh && at->second != lower(addon)) problems += line + " is listed by " + at->second + " and " + addon + "\n";
    }
  }
  for (const auto& [name, bytes] : game_files(game)) {
    const std::size_t folder = name.find(".zep-backup/");
    if (folder == std::string::npos) continue;
    std::string line = name.substr(folder + 12);
    std::replace(line.begin(), line.end(), '/', '\\');
    const auto owner = owners.find(line);
    if (owner == owners.end() || owner->second != name.substr(0, folder)) problems += "the backup " + name + " is no log line's\n";
  }
  return problems;
}

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

  Tree files() const { return game_files(game_); }

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

  std::map<std::string, std::vector<std::string>> logs() const { return log_lines(game_); }
  void expect_one_owner_and_no_stray_backup() const { EXPECT_EQ(ownership_problems(game_), ""); }

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
    EXPECT_FALSE(fs::exists(game_ / "Alpha.zep-backup" / "override" / "x.itm"));
    EXPECT_TRUE(fs::exists(game_ / "Alpha.zep-backup" / "override" / "y.itm")) << "Alpha keeps what it still lists";
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

// A take-over whose file then cannot be replaced (another program holds it) is undone: the other
// add-on's log lists the file again, and its backup is back in its folder, which the take-over had
// removed once emptied.
TEST_F(SharedFiles, ATakeOverUndoneMakesTheOtherBackupFolderAgain) {
  install("Alpha", {{"override\\x.itm", "Alpha's x"}});
  const std::string log = read_native_file(game_ / "Alpha.log");
  std::string said;
  {
    FileHandle held(open_for_reading((root_.path() + "Game/override/x.itm").c_str()));
    said = install("Beta", kBeta);
  }
  EXPECT_EQ(last_code_, tool::kExitFailed);
  EXPECT_EQ(said.find("ZEP backup error"), std::string::npos) << "nothing stays out of place: " << said;
  EXPECT_EQ(read_native_file(game_ / "Alpha.log"), log);
  EXPECT_EQ(read_native_file(game_ / "Alpha.zep-backup" / "override" / "x.itm"), "the game's x");
  EXPECT_FALSE(fs::exists(game_ / "Beta.zep-backup" / "override")) << "Beta's emptied backup folders go";
  expect_one_owner_and_no_stray_backup();
  uninstall("Beta");
  uninstall("Alpha");
  EXPECT_EQ(files(), before_);
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
  EXPECT_NE(said.find("a backup of it that this add-on's log does not account for is in the way"), std::string::npos)
      << said;
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
  EXPECT_NE(said.find("the installer keeps this name, or one it may be short for, for itself"), std::string::npos)
      << said;
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

// Beta takes over x.itm from Alpha, each of its installation's changing operations failing in turn:
// whatever fails, x.itm is Alpha's or Beta's (or, when Beta's copy could not be written, the game's
// original again), its original kept by whichever lists it, no backup left unaccounted for, and both
// uninstalls give the game back.
TEST_F(SharedFiles, ATakeOverThatFailsAnywhereLeavesBothAddonsWhole) {
  install("Alpha", kAlpha);
  const fs::path snapshot = root_.native() / "Snapshot";
  fs::copy(game_, snapshot, fs::copy_options::recursive);
  host::fail_nth_file_operation(0, 0);
  install("Beta", kBeta);
  const std::size_t operations = host::file_operation_count();
  ASSERT_GT(operations, 5u);
  auto lists = [this](const std::string& addon) {
    const auto listed = logs();
    if (listed.count(addon) == 0) return false;
    const std::vector<std::string>& lines = listed.at(addon);
    return std::any_of(lines.begin(), lines.end(), [](const std::string& line) { return lower(line) == "override\\x.itm"; });
  };
  for (const u32 code : {win_error::kAccessDenied, win_error::kDiskFull}) {
    for (std::size_t n = 1; n <= operations; ++n) {
      fs::remove_all(game_);
      fs::copy(snapshot, game_, fs::copy_options::recursive);
      host::fail_nth_file_operation(n, code);
      const std::string said = install("Beta", kBeta);
      const std::string failed = host::injected_failure();
      host::fail_nth_file_operation(0, 0);
      SCOPED_TRACE("operation " + std::to_string(n) + " failing with " + std::to_string(code) + ": " + failed);
      EXPECT_EQ(ownership_problems(game_), "") << said;
      const bool alpha = lists("Alpha");
      const bool beta = lists("Beta");
      EXPECT_FALSE(alpha && beta);
      const fs::path kept = fs::path("override") / "x.itm";
      if (alpha) EXPECT_EQ(read_native_file(game_ / "Alpha.zep-backup" / kept), "the game's x");
      if (beta) EXPECT_EQ(read_native_file(game_ / "Beta.zep-backup" / kept), "the game's x");
      if (!alpha && !beta) EXPECT_EQ(read_native_file(game_ / kept), "the game's x") << said;
      for (const std::string& addon : n % 2 == 0 ? std::vector<std::string>{"Alpha", "Beta"}
                                                 : std::vector<std::string>{"Beta", "Alpha"}) {
        if (fs::exists(game_ / (addon + ".log"))) uninstall(addon);
      }
      EXPECT_EQ(files(), before_) << said;
    }
  }
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

// Random sequences of what players do with add-ons that share files: installs, reinstalls and later
// versions, the overwrite question answered either way, files held open by another program while an
// add-on is installed or uninstalled, uninstalls that stop short and are run again later, in any order.
// After every step each file is listed by one log at most and no backup lies unaccounted for; once
// every add-on is removed, the game folder is byte for byte as it was before the first installation.
// It runs for ZEP_PROPERTY_SECONDS (20 by default; scripts/property runs it longer) from the seed
// ZEP_PROPERTY_SEED (a random one by default), and a failure names the seed and the steps taken.
TEST(OriginalsSurvive, RandomSequencesOfInstallsAndUninstalls) {
  const char* seconds_text = std::getenv("ZEP_PROPERTY_SECONDS");
  const char* seed_text = std::getenv("ZEP_PROPERTY_SEED");
  const double seconds = seconds_text != nullptr ? std::atof(seconds_text) : 20;
  const std::uint64_t seed = seed_text != nullptr ? std::strtoull(seed_text, nullptr, 10) : std::random_device{}();
  std::mt19937_64 random(seed);
  auto chance = [&random](unsigned percent) { return random() % 100 < percent; };
  host::reset_all();
  // In memory when the machine has a folder there: the sequences are many, and a disk's flushes slow.
  test::TempFolder root(fs::is_directory("/dev/shm") ? fs::path("/dev/shm") : fs::path());
  const std::vector<std::string> pool = {"override\\a.itm", "override\\b.itm", "override\\c.spl", "override\\d.eff",
                                         "Data\\Deep\\e.bam", "music\\f.mus",  "override\\G.ITM"};
  const std::vector<std::string> names = {"Alpha", "Beta", "Gamma", "Delta"};
  const auto start = std::chrono::steady_clock::now();
  std::size_t sequences = 0;
  std::size_t steps = 0;
  while (std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() < seconds) {
    const fs::path game = root.native() / ("Game" + std::to_string(sequences));
    const std::string game_path = root.path() + "Game" + std::to_string(sequences) + "/";
    write_native_file(game / "dialog.tlk", test::kEmptyTalkTable);
    for (const std::string& name : pool) {
      std::string native = name;
      std::replace(native.begin(), native.end(), '\\', '/');
      if (chance(50)) write_native_file(game / native, "the game's " + name);
    }
    const Tree before = game_files(game);
    // Each add-on in two versions, each with some shared files and one of its own.
    const std::size_t addon_count = 3 + random() % 2;
    std::vector<std::vector<std::vector<TestEntry>>> versions(addon_count);
    for (std::size_t a = 0; a < addon_count; ++a) {
      for (int v = 1; v <= 2; ++v) {
        std::vector<TestEntry> files = {{"override\\" + names[a] + ".spl", names[a] + " v" + std::to_string(v)}};
        for (const std::string& name : pool) {
          if (chance(45)) files.push_back({name, names[a] + " v" + std::to_string(v) + " " + name});
        }
        versions[a].push_back(files);
      }
    }
    std::string history = "seed " + std::to_string(seed) + ", sequence " + std::to_string(sequences) + ":";
    // A file of the game held open by another program for one step, or none.
    auto hold = [&](const std::vector<std::string>& candidates, unsigned percent) {
      FileHandle held;
      if (candidates.empty() || !chance(percent)) return held;
      const std::string name = candidates[random() % candidates.size()];
      held = FileHandle(open_for_reading((game_path + name).c_str()));
      if (held.is_open()) history += " holding " + name + ",";
      return held;
    };
    auto uninstall = [&](const std::string& addon) {
      host::set_message_handler([](WindowRef, const char*, const char*, u32 style) {
        return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
      });
      return run_uninstaller(("UInst -" + game_path + addon + ".log").c_str());
    };
    const std::size_t step_count = 4 + random() % 13;
    for (std::size_t step = 0; step < step_count; ++step, ++steps) {
      const std::size_t a = random() % addon_count;
      const auto listed = log_lines(game);
      if (chance(60) || listed.count(names[a]) == 0) {
        const std::size_t v = random() % 2;
        history += " install " + names[a] + " v" + std::to_string(v + 1) + ";";
        const fs::path exe = root.native() / (names[a] + ".exe");
        write_native_file(exe, test::build_self_extracting("MZ stub", "MZ uninstaller",
                                                           test::build_test_archive({}, versions[a][v])));
        FileHandle held = hold(pool, 15);
        FileHandle file(open_for_reading(exe.string().c_str()));
        ASSERT_TRUE(file.is_open());
        host::set_message_handler([&](WindowRef, const char* text, const char*, u32 style) {
          if ((style & 0xF) != kMbYesNo) return kIdOk;
          return std::string(text) == "File already exists. Overwrite?" && chance(80) ? kIdYes : kIdNo;
        });
        const InstallSource source = {file.get(), kStubLayout.archive_offset, nullptr, nullptr, true};
        install_addon(source, game_path.c_str(), names[a].c_str(), nullptr);
      } else {
        history += " uninstall " + names[a] + ";";
        std::vector<std::string> files = listed.at(names[a]);
        FileHandle held = hold(files, 35);
        uninstall(names[a]);
      }
      const std::string problems = ownership_problems(game);
      ASSERT_EQ(problems, "") << history;
    }
    // Every add-on removed at last, each run again until it finishes.
    for (int round = 0; round < 3; ++round) {
      for (const auto& [addon, lines] : log_lines(game)) {
        history += " uninstall " + addon + ";";
        uninstall(addon);
      }
    }
    ASSERT_TRUE(log_lines(game).empty()) << history;
    ASSERT_EQ(game_files(game), before) << history;
    fs::remove_all(game);
    ++sequences;
  }
  host::reset_all();
  std::cout << sequences << " random sequences of " << steps << " steps from seed " << seed << "\n";
  EXPECT_GT(sequences, 0u);
}

}  // namespace
}  // namespace zep
