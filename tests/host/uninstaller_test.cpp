// The uninstaller's run on the host: a game folder, an install log, the registry and a Start Menu
// folder set up in a temporary folder, and the user's answers played by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <sstream>

#include "platform/host_platform.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tools/commands.h"
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
  EXPECT_EQ(lines_of("Mod\nC:\\G\\\nab.txt\n"), (Lines{"Mo", "C:\\G", "ab.tx"}));     // LF alone: a byte lost
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
    write_native_file(programs_ / addon / "Uninstall.lnk", "link");
  }

  fs::path log_file(const std::string& addon) const { return game_ / (addon + ".log"); }

  std::vector<ShownMessage> uninstall(const std::string& command_line, std::vector<int> answers = {kIdYes}) {
    MessageScript script;
    for (int answer : answers) script.answer(answer);
    run_uninstaller(command_line.c_str());
    EXPECT_EQ(host::open_file_count(), 0u);
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
  write_native_file(programs_ / "Evil Amul" / "evilamul_readme.lnk", "link");
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
  EXPECT_FALSE(fs::exists(programs_ / "Evil Amul"));
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

TEST_F(Uninstall, FilesThatCannotBeDeletedAreCountedAndTheLogGoesAllTheSame) {
  install("Mod", {"kept.txt"}, "gone.txt\r\n\r\n");  // a file already gone, and an empty line
  write_native_file(root_.native() / "Games" / "outside.txt", "outside");
  std::string hostile = "..\\outside.txt\r\n" + (root_.native() / "Games" / "outside.txt").string() +
                        "\r\n\\x\r\nC:x\r\nOverride\\..\\..\\outside.txt\r\n";
  write_native_file(log_file("Mod"), read_native_file(log_file("Mod")) + hostile);
  std::vector<ShownMessage> shown = uninstall(command_for("Mod"));
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1].text, "Some files could not be deleted. They were probably either in use or already deleted.");
  EXPECT_FALSE(fs::exists(game_ / "kept.txt"));
  EXPECT_EQ(read_native_file(root_.native() / "Games" / "outside.txt"), "outside") << "nothing outside is deleted";
  EXPECT_TRUE(fs::is_directory(game_));
  EXPECT_FALSE(fs::exists(log_file("Mod")));
}

TEST_F(Uninstall, ShortLogsAndTheStartMenuFolder) {
  // One line: only the registration is undone.
  write_native_file(game_ / "One.log", "One\r\n");
  host::set_registry_value(RegistryRoot::kLocalMachine, kUninstallPrefix + std::string("One"), "DisplayName", "One");
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

  // A subfolder in the Start Menu folder cannot be deleted like a file: one box, the folder stays.
  install("Sub", {});
  fs::create_directories(programs_ / "Sub" / "inner");
  shown = uninstall(command_for("Sub"));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].caption, programs_.string());
  EXPECT_FALSE(shown[1].text.empty());
  EXPECT_EQ(shown[2].text, "Uninstall completed.");
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

  // A log without a name would address the whole list of installed programs.
  write_native_file(game_ / "Empty.log", "\r\n" + game_path_ + "\r\nx\r\n");
  write_native_file(game_ / "x", "x");
  shown = uninstall("UInst -" + (game_ / "Empty.log").string());
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text, "Invalid log file!");
  EXPECT_TRUE(fs::exists(game_ / "x"));
  EXPECT_TRUE(fs::exists(game_ / "Empty.log"));

  // A command line longer than the working buffers is refused as a whole.
  EXPECT_EQ(uninstall("UInst -" + std::string(300, 'x')).size(), 1u);
}

TEST_F(Uninstall, ToolRunsTheSameUninstaller) {
  install("Mod", {"Override\\a.itm"});
  std::ostringstream out, err;
  EXPECT_EQ(tool::run_uninstall({log_file("Mod").string(), "--yes"}, out, err), tool::kExitOk);
  EXPECT_FALSE(fs::exists(game_ / "Override" / "a.itm"));
  EXPECT_FALSE(fs::exists(log_file("Mod")));
  EXPECT_NE(err.str().find("Uninstall completed."), std::string::npos) << err.str();
  EXPECT_EQ(tool::run_uninstall({}, out, err), tool::kExitUsage);
}

}  // namespace
}  // namespace zep
