// The uninstaller's run on the host: a game folder, an install log, the registry and a Start Menu
// folder set up in a temporary folder, and the user's answers played by the test.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <sstream>

#include "platform/host_platform.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tools/commands.h"
#include "install/log_lines.h"
#include "platform/buffers.h"
#include "uninstaller/uninstaller.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::MessageScript;
using test::read_native_file;
using test::ShownMessage;
using test::write_native_file;

const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
const char kUninstallPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char kKeyStays[] = "The installed programs entry of this name is not this log's: it stays.";
const char kIncomplete[] =
    "Some files could not be deleted. They were probably either in use or already deleted.\nRun this again to finish.";
const char kNotPutBack[] =
    "\nThese stay, as their originals cannot be put back from the .zep-backup folder (a link on the way, or no access):";
const char kOriginalsStay[] = "\nThe originals of these stay in the .zep-backup folder:";

std::vector<std::string> lines_of(const std::string& log) {
  std::vector<std::string> lines;
  u32 position = 0;
  const u32 size = static_cast<u32>(log.size());
  do {
    u32 start = 0;
    u32 length = next_log_line(log.data(), size, &position, &start);
    lines.push_back(log.substr(start, length));
  } while (position < size);
  return lines;
}

using Lines = std::vector<std::string>;

TEST(UninstallerLines, SplitAsTheLogIsRead) {
  EXPECT_EQ(lines_of("Mod\r\nC:\\G\\\r\na.txt\r\n"), (Lines{"Mod", "C:\\G\\", "a.txt"}));
  EXPECT_EQ(lines_of("Mod\r\nC:\\G\\\r\na.txt"), (Lines{"Mod", "C:\\G\\", "a.txt"}));  // no line end at the end
  EXPECT_EQ(lines_of("Mod\nC:\\G\\\nab.txt\n"), (Lines{"Mod", "C:\\G\\", "ab.txt"}));  // LF alone, as edited on Linux
  EXPECT_EQ(lines_of("Mod\r\nC:\\G\\\na.txt\r\n"), (Lines{"Mod", "C:\\G\\", "a.txt"}));   // both kinds in one log
  EXPECT_EQ(lines_of("a\r\r\n"), (Lines{"a\r"}));                                        // only the CR of the pair goes
  EXPECT_EQ(lines_of("Mod\r\n\r\nx\r\n"), (Lines{"Mod", "", "x"}));
  EXPECT_EQ(lines_of("\n"), (Lines{""}));
  EXPECT_EQ(lines_of(""), (Lines{""}));
  EXPECT_EQ(lines_of("Mod"), (Lines{"Mod"}));
}

class Uninstall : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    game_ = root_.native() / "Games" / "BG - Enhanced Edition";
    programs_ = root_.native() / "Start Menu" / "Programs";
    fs::create_directories(game_);
    fs::create_directories(programs_);
    game_path_ = game_.string() + "/";
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", programs_.string());
  }
  void TearDown() override { host::reset_all(); }

  // An installed add-on: its files, its log, its uninstall key and its Start Menu folder.
  void install(const std::string& addon, const std::vector<std::string>& files, const std::string& extra_lines = "") {
    std::string log = addon + "\r\n" + game_path_ + "\r\n" + extra_lines;
    for (const std::string& file : files) {
      std::string native = file;
      for (char& c : native) c = c == '\\' ? '/' : c;
      write_native_file(game_ / native, "data of " + file);
      log += file + "\r\n";
    }
    write_native_file(log_file(addon), log);
    write_native_file(game_ / "UInst.exe", "MZ uninstaller");
    write_native_file(game_ / "dialog.tlk", "TLK V1  talk table");
    host::set_registry_value(RegistryRoot::kLocalMachine, kUninstallPrefix + addon, "DisplayName", addon);
    host::set_registry_value(RegistryRoot::kLocalMachine, kUninstallPrefix + addon, "UninstallString",
                             command_for(addon));
    write_native_file(programs_ / addon / "Uninstall.lnk", "link");
  }

  fs::path log_file(const std::string& addon) const { return game_ / (addon + ".log"); }

  // Runs the uninstaller; every file it opened must be closed again (`held_open` are the test's own).
  std::vector<ShownMessage> uninstall(const std::string& command_line, std::vector<int> answers = {kIdYes},
                                      std::size_t held_open = 0) {
    MessageScript script;
    for (int answer : answers) script.answer(answer);
    run_uninstaller(command_line.c_str());
    EXPECT_EQ(host::open_file_count(), held_open);
    EXPECT_EQ(host::open_search_count(), 0u);
    return script.shown();
  }

  std::string command_for(const std::string& addon) const {
    return "\"" + game_path_ + "UInst.exe\" -" + log_file(addon).string();
  }

  test::TempFolder root_;
  fs::path game_;
  fs::path programs_;
  std::string game_path_;
};

TEST_F(Uninstall, RemovesEverythingTheInstallationMadeInAHyphenatedGameFolder) {
  install("Evil Amul", {"Override\\evilamul.spl", "Override\\evilamul_readme.txt", "readme.txt"});
  write_native_file(programs_ / "Evil Amul" / "added by hand.txt", "x");
  std::vector<ShownMessage> shown = uninstall(command_for("Evil Amul"));

  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "This will uninstall this addon. Are you sure you want to continue?");
  EXPECT_EQ(shown[0].caption, "Evil Amul");
  EXPECT_EQ(shown[0].style, kMbYesNo | kMbIconQuestion);
  EXPECT_FALSE(shown[0].has_owner);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_EQ(shown[1].caption, "Info");
  EXPECT_EQ(shown[1].style, kMbOk | kMbIconInformation);

  EXPECT_FALSE(fs::exists(game_ / "Override" / "evilamul.spl"));
  EXPECT_FALSE(fs::exists(game_ / "Override" / "evilamul_readme.txt"));
  EXPECT_FALSE(fs::exists(game_ / "readme.txt"));
  EXPECT_TRUE(fs::is_directory(game_ / "Override")) << "no folder of the game is removed";
  EXPECT_FALSE(fs::exists(log_file("Evil Amul")));
  EXPECT_TRUE(fs::exists(game_ / "UInst.exe"));
  EXPECT_EQ(read_native_file(game_ / "dialog.tlk"), "TLK V1  talk table");
  EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Evil Amul")));
  // Only the shortcut the installation made goes: what else is in the folder is not the add-on's.
  EXPECT_FALSE(fs::exists(programs_ / "Evil Amul" / "Uninstall.lnk"));
  EXPECT_EQ(read_native_file(programs_ / "Evil Amul" / "added by hand.txt"), "x");
  EXPECT_TRUE(fs::is_directory(programs_));
  EXPECT_EQ(host::registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs"), programs_.string());
}

TEST_F(Uninstall, NoChangesNothing) {
  install("Mod", {"a.txt"});
  std::string log = read_native_file(log_file("Mod"));
  std::vector<ShownMessage> shown = uninstall(command_for("Mod"), {kIdNo});
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(read_native_file(log_file("Mod")), log);
  EXPECT_TRUE(fs::exists(game_ / "a.txt"));
  EXPECT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Mod")));
  EXPECT_TRUE(fs::exists(programs_ / "Mod" / "Uninstall.lnk"));
}

TEST_F(Uninstall, OriginalsThatTheInstallationKeptComeBack) {
  install("Mod", {"Override\\ring.itm", "Override\\Deeper\\spell.spl", "new.txt"});
  write_native_file(game_ / "Mod.zep-backup" / "Override" / "ring.itm", "the player's ring");
  write_native_file(game_ / "Mod.zep-backup" / "Override" / "Deeper" / "spell.spl", "the game's spell");
  std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_EQ(read_native_file(game_ / "Override" / "ring.itm"), "the player's ring");
  EXPECT_EQ(read_native_file(game_ / "Override" / "Deeper" / "spell.spl"), "the game's spell");
  EXPECT_FALSE(fs::exists(game_ / "new.txt")) << "a file that was new has no original";
  EXPECT_FALSE(fs::exists(game_ / "Mod.zep-backup")) << "the emptied backup folder goes";

  // An original that cannot be moved back (the move made to fail, however many changes come before
  // it) stays in the backup folder, which stays too, and the last message names it; the add-on is
  // uninstalled all the same, as none of its files remains.
  for (std::size_t n = 1;; ++n) {
    ASSERT_LT(n, 20u) << "no original was moved";
    fs::remove_all(game_);
    fs::remove_all(programs_ / "Mod");
    install("Mod", {"Override\\ring.itm", "new.txt"});
    write_native_file(game_ / "Mod.zep-backup" / "Override" / "ring.itm", "the player's ring");
    host::fail_nth_file_operation(n, win_error::kAccessDenied);
    shown = uninstall(command_for("Mod"));
    if (host::injected_failure().rfind("replace_file ", 0) != 0) continue;
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, std::string("Uninstall completed.") + kOriginalsStay + "\nOverride\\ring.itm");
    EXPECT_FALSE(fs::exists(game_ / "Override" / "ring.itm"));
    EXPECT_EQ(read_native_file(game_ / "Mod.zep-backup" / "Override" / "ring.itm"), "the player's ring");
    EXPECT_FALSE(fs::exists(game_ / "new.txt"));
    EXPECT_FALSE(fs::exists(log_file("Mod")));
    EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Mod")));
    break;
  }
}

// A file that cannot be deleted keeps the add-on installed, and so does one whose original cannot be
// read (another program has it open), as it could not be put back: the last message names the latter.
TEST_F(Uninstall, AFileThatCannotBeDeletedKeepsTheAddonInstalledUntilARunCanFinish) {
  install("Mod", {"held.txt", "free.txt", "Override\\kept.itm", "Override\\locked.itm"},
          "gone.txt\r\n\r\n");  // gone already, an empty line
  write_native_file(game_ / "Mod.zep-backup" / "Override" / "kept.itm", "the original");
  write_native_file(game_ / "Mod.zep-backup" / "Override" / "locked.itm", "the locked original");
  const std::string log = read_native_file(log_file("Mod"));
  {
    FileHandle held(open_for_reading((game_path_ + "held.txt").c_str()));  // another program has it open
    FileHandle original(open_for_reading((game_path_ + "Mod.zep-backup\\Override\\locked.itm").c_str()));
    ASSERT_TRUE(held.is_open());
    ASSERT_TRUE(original.is_open());
    std::vector<ShownMessage> shown = uninstall(command_for("Mod"), {kIdYes}, 2);
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, std::string(kIncomplete) + kNotPutBack + "\nOverride\\locked.itm");
  }
  EXPECT_TRUE(fs::exists(game_ / "held.txt"));
  EXPECT_EQ(read_native_file(game_ / "Override" / "locked.itm"), "data of Override\\locked.itm");
  EXPECT_FALSE(fs::exists(game_ / "free.txt"));
  // Nothing is put back while anything remains, so that a second run takes no original for the add-on's.
  EXPECT_FALSE(fs::exists(game_ / "Override" / "kept.itm"));
  EXPECT_EQ(read_native_file(game_ / "Mod.zep-backup" / "Override" / "kept.itm"), "the original");
  EXPECT_EQ(read_native_file(log_file("Mod")), log);
  EXPECT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Mod")));
  EXPECT_TRUE(fs::exists(programs_ / "Mod" / "Uninstall.lnk"));

  // Once nothing holds the files, the next run finishes: what is gone already is passed over.
  std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_FALSE(fs::exists(game_ / "held.txt"));
  EXPECT_EQ(read_native_file(game_ / "Override" / "kept.itm"), "the original");
  EXPECT_EQ(read_native_file(game_ / "Override" / "locked.itm"), "the locked original");
  EXPECT_FALSE(fs::exists(game_ / "Mod.zep-backup"));
  EXPECT_FALSE(fs::exists(log_file("Mod")));
  EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Mod")));
}

// A line is passed over, in both passes and without counting as a failure, when it names nothing
// inside the game folder, or when its first part, as Windows takes it (without the dots and blanks
// at its end, in any letter case), is a name the installer keeps for itself (the talk tables, their
// temporary files, the uninstaller) or another installation's (any log, any backup folder, or what
// may be one's short name: a "~" and a digit). A kept name further down a path is a file like any.
TEST_F(Uninstall, LinesThatNameNothingOfTheAddonsArePassedOver) {
  const fs::path outside = root_.native() / "Games" / "outside.txt";
  struct Case {
    std::string line;
    fs::path file;  // what the line would reach, made by the test; empty for nothing
  };
  const std::vector<Case> cases = {
      {"..\\outside.txt", outside},
      {outside.string(), outside},
      {"\\x", game_ / "x"},  // from the drive's root; after the game folder's separator, Windows takes its x
      {"C:x", {}},
      {"Override\\..\\..\\outside.txt", outside},
      {"dialog.tlk", game_ / "dialog.tlk"},
      {"dialogF.tlk", game_ / "dialogF.tlk"},
      {"dialog.tlk.new", game_ / "dialog.tlk.new"},
      {"dialogF.tlk.new", game_ / "dialogF.tlk.new"},
      {"dialog.tlk.old", game_ / "dialog.tlk.old"},
      {"dialogF.tlk.old", game_ / "dialogF.tlk.old"},
      {"UInst.exe", game_ / "UInst.exe"},
      {"Beta.log", game_ / "Beta.log"},
      {"Beta.zep-backup\\override\\x.itm", game_ / "Beta.zep-backup" / "override" / "x.itm"},
      {"Mod.zep-backup\\a.txt", game_ / "Mod.zep-backup" / "a.txt"},
      // Names Windows takes for the ones above (the host layer keeps each as its own file).
      {"dialog.tlk.", game_ / "dialog.tlk."},
      {"DIALOG.TLK ", game_ / "DIALOG.TLK "},
      {"UINST.EXE", game_ / "UInst.exe"},
      {"beta.LOG", game_ / "Beta.log"},
      {"BETA~1.ZEP\\x.itm", game_ / "BETA~1.ZEP" / "x.itm"},
      {"Beta.zep-backup/override/y.itm", game_ / "Beta.zep-backup" / "override" / "y.itm"},
      {".log", game_ / ".log"},
  };
  std::string lines;
  for (const Case& c : cases) lines += c.line + "\r\n";
  // Files of the add-on whose names hold kept names further down, or only look like them.
  const std::vector<std::string> removed = {"Override\\dialog.tlk", "Docs/UInst.exe", "dialog.tlk.bak",
                                            "read~me.txt", "Override\\BETA~1.ZEP"};
  install("Mod", removed, lines);
  for (const Case& c : cases) {
    if (!c.file.empty()) write_native_file(c.file, "kept: " + c.file.string());
  }
  std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.line);
    if (!c.file.empty()) {
      EXPECT_EQ(read_native_file(c.file), "kept: " + c.file.string());
    }
  }
  for (std::string file : removed) {
    SCOPED_TRACE(file);
    for (char& c : file) c = c == '\\' ? '/' : c;
    EXPECT_FALSE(fs::exists(game_ / file));
  }
  EXPECT_TRUE(fs::is_directory(game_));
  EXPECT_FALSE(fs::exists(log_file("Mod")));
}

// A standard user may plant a link in a game folder anyone can write; the uninstaller runs as
// administrator. A listed file whose path passes through a link is not deleted, and neither is one
// whose original's path in the backup does, as that original could not be put back: each counts as
// a file that could not be deleted, and the add-on stays; the last message names the latter.
TEST_F(Uninstall, PathsThroughLinksAreNeverFollowed) {
  const fs::path elsewhere = root_.native() / "Elsewhere";
  struct Case {
    const char* what;
    const char* link;                // in the game folder, to Elsewhere
    std::vector<std::string> stays;  // the listed files that stay
    std::string named;               // what the last message names, each after a line end
  };
  const std::vector<Case> cases = {
      {"a folder of a listed file", "Override", {"Override\\x.itm"}, ""},
      {"a deeper folder", "Data/Deep", {"Data\\Deep\\y.itm"}, ""},
      {"the backup folder", "Mod.zep-backup", {"a.txt", "Override\\x.itm", "Data\\Deep\\y.itm"},
       "\na.txt\nOverride\\x.itm\nData\\Deep\\y.itm"},
      {"a folder in the backup", "Mod.zep-backup/Data", {"Data\\Deep\\y.itm"}, "\nData\\Deep\\y.itm"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(game_);
    fs::remove_all(elsewhere);
    const std::vector<std::string> files = {"a.txt", "Override\\x.itm", "Data\\Deep\\y.itm"};
    install("Mod", files);
    write_native_file(elsewhere / "x.itm", "the system's x");
    write_native_file(elsewhere / "y.itm", "the system's y");
    write_native_file(elsewhere / "Deep" / "y.itm", "the system's deep y");
    write_native_file(elsewhere / "Override" / "x.itm", "the system's other x");
    const std::string link = c.link;
    fs::remove_all(game_ / link);
    fs::create_directories((game_ / link).parent_path());
    fs::create_symlink(elsewhere, game_ / link);
    const std::string log = read_native_file(log_file("Mod"));
    std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, kIncomplete + (c.named.empty() ? "" : kNotPutBack + c.named));
    EXPECT_EQ(read_native_file(log_file("Mod")), log) << "the add-on stays installed";
    EXPECT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Mod")));
    for (std::string file : files) {
      const bool stays = std::find(c.stays.begin(), c.stays.end(), file) != c.stays.end();
      for (char& ch : file) ch = ch == '\\' ? '/' : ch;
      EXPECT_EQ(fs::exists(game_ / file), stays) << file;
    }
    EXPECT_EQ(read_native_file(elsewhere / "x.itm"), "the system's x");
    EXPECT_EQ(read_native_file(elsewhere / "y.itm"), "the system's y");
    EXPECT_EQ(read_native_file(elsewhere / "Deep" / "y.itm"), "the system's deep y");
    EXPECT_EQ(read_native_file(elsewhere / "Override" / "x.itm"), "the system's other x");
  }
}

TEST_F(Uninstall, TheGameFolderIsTheFolderOfTheLog) {
  // Installed elsewhere and moved here since: the files go from here, and the summary says so.
  install("Mod", {"a.txt"});
  const fs::path elsewhere = root_.native() / "Elsewhere";
  write_native_file(elsewhere / "a.txt", "not this add-on's any more");
  write_native_file(log_file("Mod"), "Mod\r\n" + elsewhere.string() + "/\r\na.txt\r\n");
  std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[1].text.find("Uninstall completed."), std::string::npos);
  EXPECT_NE(shown[1].text.find("The game had moved"), std::string::npos) << shown[1].text;
  EXPECT_FALSE(fs::exists(game_ / "a.txt"));
  EXPECT_EQ(read_native_file(elsewhere / "a.txt"), "not this add-on's any more");

  // A log named by itself alone is the one in the current folder, which is then the game folder.
  // The installer advises that when the game folder's path is too long for an uninstall command,
  // and then registers none: the key without one is left alone without a word.
  install("Alone", {"b.txt"});
  host::clear_registry();
  host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", programs_.string());
  host::set_registry_value(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Alone"), "DisplayName",
                           "Alone");
  const fs::path before = fs::current_path();
  fs::current_path(game_);
  shown = uninstall("UInst -Alone.log");
  fs::current_path(before);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.") << "the game has not moved";
  EXPECT_FALSE(fs::exists(game_ / "b.txt"));
  EXPECT_FALSE(fs::exists(log_file("Alone")));
  EXPECT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Alone")));
  EXPECT_TRUE(fs::exists(programs_ / "Alone" / "Uninstall.lnk")) << "the Start Menu folder is the key's";

  // With a key whose command names the log by its whole path, a log named by itself cannot be told to
  // be that one: the key and the Start Menu stay, and the last message says so.
  install("Named", {"c.txt"});
  fs::current_path(game_);
  shown = uninstall("UInst -Named.log");
  fs::current_path(before);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, std::string("Uninstall completed.\n") + kKeyStays);
  EXPECT_FALSE(fs::exists(game_ / "c.txt"));
  EXPECT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Named")));
  EXPECT_TRUE(fs::exists(programs_ / "Named" / "Uninstall.lnk"));
}

TEST_F(Uninstall, ShortLogsAndTheStartMenuFolder) {
  // One line: only the registration is undone.
  write_native_file(game_ / "One.log", "One\r\n");
  host::set_registry_value(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("One"), "DisplayName", "One");
  host::set_registry_value(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("One"), "UninstallString",
                           game_path_ + "UInst.exe -" + (game_ / "One.log").string());
  write_native_file(programs_ / "One" / "Uninstall.lnk", "link");
  std::vector<ShownMessage> shown = uninstall("UInst -" + (game_ / "One.log").string());
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_FALSE(fs::exists(programs_ / "One"));
  EXPECT_FALSE(fs::exists(game_ / "One.log"));

  // Two lines, no Start Menu folder (installed without shortcuts): nothing shown but the two boxes.
  write_native_file(game_ / "Two.log", "Two\r\n" + game_path_ + "\r\n");
  shown = uninstall("UInst -" + (game_ / "Two.log").string());
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");

  // A subfolder in the Start Menu folder is not the add-on's: it stays, and so does the folder.
  install("Sub", {});
  fs::create_directories(programs_ / "Sub" / "inner");
  shown = uninstall(command_for("Sub"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_FALSE(fs::exists(programs_ / "Sub" / "Uninstall.lnk"));
  EXPECT_TRUE(fs::is_directory(programs_ / "Sub" / "inner"));

  // Without a Programs value the Start Menu step is left out after the message.
  install("NoMenu", {"f.txt"});
  host::clear_registry();
  shown = uninstall(command_for("NoMenu"));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].text, "Invalid log file!");
  EXPECT_EQ(shown[1].caption, "Info");
  EXPECT_TRUE(fs::exists(programs_ / "NoMenu" / "Uninstall.lnk"));
  EXPECT_FALSE(fs::exists(game_ / "f.txt"));
}

// The key of the add-on's name, and the Start Menu folder with it, are the installation's only when
// the key's command starts UInst.exe in the log's folder with this log, quoted as the installer
// stores it or unquoted as older ones did; another program's key and shortcuts survive.
TEST_F(Uninstall, TheKeyAndTheStartMenuGoOnlyWhenTheKeyIsThisLogs) {
  struct Case {
    const char* what;
    std::string command;  // the key's "UninstallString"; "-" for none, "none" for no key at all
    bool ours;
  };
  const std::string log = (game_ / "Foreign.log").string();
  const std::vector<Case> cases = {
      {"as the installer stores it", "\"" + game_path_ + "UInst.exe\" -" + log, true},
      {"unquoted, as older installers did", game_path_ + "UInst.exe -" + log, true},
      {"in other letter case", "\"" + game_path_ + "UINST.EXE\" -" + game_path_ + "foreign.LOG", true},
      {"another program's", "\"C:\\Program Files\\Foreign\\uninstall.exe\" /S", false},
      {"this add-on's in another game folder", "\"C:\\Games\\Other\\UInst.exe\" -C:\\Games\\Other\\Foreign.log", false},
      {"another log in this folder", "\"" + game_path_ + "UInst.exe\" -" + game_path_ + "Foreign2.log", false},
      {"another uninstaller in this folder", "\"" + game_path_ + "Setup.exe\" -" + log, false},
      {"a key without a command", "-", false},
      {"no key at all", "none", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    install("Foreign", {"Override\\help.itm", "Foreign Help.txt"});
    const std::string key = kUninstallPrefix + std::string("Foreign");
    host::clear_registry();
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", programs_.string());
    if (c.command != "none") host::set_registry_value(RegistryRoot::kLocalMachine, key, "DisplayName", "Foreign");
    if (c.command != "none" && c.command != "-") {
      host::set_registry_value(RegistryRoot::kLocalMachine, key, "UninstallString", c.command);
    }
    // The shortcut the installation made for "Foreign Help.txt", if the key is its own.
    write_native_file(programs_ / "Foreign" / "Foreign Help.lnk", "a shortcut");
    std::vector<ShownMessage> shown = uninstall(command_for("Foreign"));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_FALSE(fs::exists(game_ / "Override" / "help.itm"));
    EXPECT_FALSE(fs::exists(log_file("Foreign")));
    const bool noted = !c.ours && c.command != "none" && c.command != "-";
    EXPECT_EQ(shown[1].text, std::string("Uninstall completed.") + (noted ? std::string("\n") + kKeyStays : ""));
    EXPECT_EQ(host::registry_key_exists(RegistryRoot::kLocalMachine, key), !c.ours && c.command != "none");
    if (!c.ours && c.command != "none" && c.command != "-") {
      EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, key, "UninstallString"), c.command);
      EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, key, "DisplayName"), "Foreign");
    }
    // The installation made "Foreign Help.lnk" for "Foreign Help.txt" only if the key is its own.
    EXPECT_EQ(fs::exists(programs_ / "Foreign" / "Uninstall.lnk"), !c.ours);
    EXPECT_EQ(fs::exists(programs_ / "Foreign" / "Foreign Help.lnk"), !c.ours);
    EXPECT_EQ(fs::exists(programs_ / "Foreign"), !c.ours) << "the emptied folder goes";
    fs::remove_all(programs_ / "Foreign");
  }
}

// With its key its own, the Start Menu folder loses "Uninstall.lnk" and the shortcut the installation
// makes for each listed file it opens (its name cut at its last dot, and ".lnk"), also for a file of
// an earlier version, and nothing else; a file of the player's keeps it, and the folder with it. A
// listed file marked read-only is the add-on's all the same, and goes.
TEST_F(Uninstall, TheStartMenuIsLeftCleanAndReadOnlyFilesGo) {
  for (const bool players_file : {false, true}) {
    SCOPED_TRACE(players_file ? "with a file of the player's" : "only the installation's");
    install("Mod", {"Override\\Read.Me.txt", "notes", "Docs/manual.txt", "Override\\locked.itm"});
    fs::permissions(game_ / "Override" / "locked.itm", fs::perms::owner_read | fs::perms::group_read);
    for (const char* link : {"Read.Me.lnk", "notes.lnk", "manual.lnk", "locked.lnk"}) {
      write_native_file(programs_ / "Mod" / link, "link");
    }
    if (players_file) write_native_file(programs_ / "Mod" / "my notes.txt", "the player's");
    std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, "Uninstall completed.");
    EXPECT_FALSE(fs::exists(game_ / "Override" / "locked.itm")) << "a read-only file the add-on placed";
    EXPECT_FALSE(fs::exists(game_ / "notes"));
    if (players_file) {
      std::vector<std::string> left;
      for (const auto& item : fs::directory_iterator(programs_ / "Mod")) left.push_back(item.path().filename().string());
      EXPECT_EQ(left, std::vector<std::string>{"my notes.txt"});
      fs::remove_all(programs_ / "Mod");
    } else {
      EXPECT_FALSE(fs::exists(programs_ / "Mod"));
    }
    EXPECT_TRUE(fs::is_directory(programs_));
  }

  // A file that cannot be deleted whatever its mark (a folder in its place) keeps the add-on, its
  // shortcut and its key.
  install("Stuck", {"a.txt", "b.txt"});
  fs::remove(game_ / "b.txt");
  fs::create_directories(game_ / "b.txt" / "inside");
  write_native_file(programs_ / "Stuck" / "b.lnk", "link");
  std::vector<ShownMessage> shown = uninstall(command_for("Stuck"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[1].text.find("Some files could not be deleted."), std::string::npos) << shown[1].text;
  EXPECT_TRUE(fs::is_directory(game_ / "b.txt" / "inside"));
  EXPECT_TRUE(fs::exists(log_file("Stuck")));
  EXPECT_TRUE(fs::exists(programs_ / "Stuck" / "b.lnk"));
  EXPECT_TRUE(fs::exists(programs_ / "Stuck" / "Uninstall.lnk"));
  EXPECT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("Stuck")));
}

TEST_F(Uninstall, BadCommandLinesAndLogsChangeNothing) {
  std::vector<ShownMessage> shown = uninstall("UInst.exe");
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Usage: UInst -<logfile>");
  EXPECT_EQ(shown[0].caption, "Info");
  EXPECT_EQ(uninstall("-").size(), 1u) << "position 0 is never looked at";

  std::string missing = (game_ / "Missing - Mod.log").string();
  shown = uninstall("UInst -" + missing);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Invalid log file!");
  EXPECT_EQ(shown[0].caption, " Mod.log") << "the text behind the last hyphen";

  // Logs whose first line is no plain name equal to the log's own name, and files that are no log:
  // each is refused before the question, and nothing is deleted.
  write_native_file(game_ / "x", "x");
  const std::vector<std::pair<std::string, std::string>> refused = {
      {"Empty.log", "\r\n" + game_path_ + "\r\nx\r\n"},
      {"Mod.log", "Other\r\n" + game_path_ + "\r\nx\r\n"},
      {"Startup.log", "..\\Startup\r\n" + game_path_ + "\r\nx\r\n"},
      {"...log", "..\r\n" + game_path_ + "\r\nx\r\n"},
      {"Tab.log", "Tab\t\r\n" + game_path_ + "\r\nx\r\n"},
      {"dialog.tlk", "TLK V1  \1\0\0\0x\r\n"},
      {"UInst.exe", std::string("MZ\x90\0\3\0\0\0", 8)},
      {"Mod.txt", "Mod\r\n" + game_path_ + "\r\nx\r\n"},
  };
  for (const auto& [name, content] : refused) {
    SCOPED_TRACE(name);
    write_native_file(game_ / name, content);
    shown = uninstall("UInst -" + (game_ / name).string());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Invalid log file!");
    EXPECT_TRUE(fs::exists(game_ / "x"));
    EXPECT_EQ(read_native_file(game_ / name), content);
  }

  // Logs whose size would overflow the arithmetic on it (sparse files: nothing is written to disk).
  for (const std::uintmax_t size : {0xFFFFFFFEull, 0xFFFFFFFFull}) {
    SCOPED_TRACE(size);
    write_native_file(game_ / "Huge.log", "Huge\r\n" + game_path_ + "\r\nx\r\n");
    fs::resize_file(game_ / "Huge.log", size);
    shown = uninstall("UInst -" + (game_ / "Huge.log").string());
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Invalid log file!");
    EXPECT_TRUE(fs::exists(game_ / "x"));
    fs::remove(game_ / "Huge.log");
  }

  // A command line longer than the working buffers is refused as a whole, and said to be too long.
  shown = uninstall("UInst -" + std::string(300, 'x'));
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "The command line is longer than 259 characters.\nRun UInst -<AddonName>.log in the game "
                           "folder.");
}

TEST_F(Uninstall, ToolRunsTheSameUninstallerAndTellsItsOutcome) {
  install("Mod", {"Override\\a.itm", "b.txt"});
  std::ostringstream out, err;
  {
    MessageScript script;
    script.answer(kIdNo);
    EXPECT_EQ(tool::run_uninstall({log_file("Mod").string()}, out, err), tool::kExitFailed) << "declined";
  }
  {
    FileHandle held(open_for_reading((game_path_ + "b.txt").c_str()));
    EXPECT_EQ(tool::run_uninstall({log_file("Mod").string(), "--yes"}, out, err), tool::kExitFailed) << "incomplete";
  }
  EXPECT_EQ(tool::run_uninstall({log_file("Mod").string(), "--yes"}, out, err), tool::kExitOk);
  EXPECT_FALSE(fs::exists(game_ / "Override" / "a.itm"));
  EXPECT_FALSE(fs::exists(log_file("Mod")));
  EXPECT_NE(err.str().find("Uninstall completed."), std::string::npos) << err.str();
  EXPECT_EQ(tool::run_uninstall({log_file("Mod").string(), "--yes"}, out, err), tool::kExitFailed) << "no log";
  EXPECT_NE(err.str().find("cannot read " + log_file("Mod").string() + ": no such file (2)"), std::string::npos)
      << err.str();
  EXPECT_EQ(tool::run_uninstall({}, out, err), tool::kExitUsage);
}

}  // namespace
}  // namespace zep
