// The installer run by a script: its command line, with no window and no message box, the report
// file and the exit code, through the host layer on real files.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "archive/format.h"
#include "platform/host_platform.h"
#include "shell/scripted_install.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::write_native_file;

constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

// Every file below `folder` with its bytes, to see that a refused run changed nothing.
std::map<std::string, std::string> tree_of(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(folder)) {
    files[entry.path().lexically_relative(folder).string()] =
        entry.is_regular_file() ? read_native_file(entry.path()) : "<folder>";
  }
  return files;
}

class ScriptedInstall : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    before_ = fs::current_path();
    installer_folder_ = root_.native() / "Installer";
    fs::create_directories(installer_folder_);
    fs::current_path(installer_folder_);
    game_ = root_.native() / "Game";
    write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
    fs::create_directories(root_.native() / "Programs");
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", root_.path() + "Programs");
    files_ = test::sample_files();
  }
  void TearDown() override {
    fs::current_path(before_);
    host::reset_all();
  }

  // Writes the installer as Sample.exe and runs it, by its quoted path, with `arguments`.
  int run(const std::string& arguments) {
    write_native_file(installer_folder_ / "Sample.exe",
                      test::build_self_extracting("MZ stub", "MZ uninstaller", test::build_test_archive({}, files_)));
    host::set_command_line("\"" + tool::windows_style(installer_folder_ / "Sample.exe") + "\" " + arguments);
    return run_command_line(command_line());
  }
  std::string game_folder() const { return tool::windows_style(game_); }
  std::string report() const { return read_native_file(root_.native() / "report.txt"); }
  std::string report_option() const { return "/REPORT=" + tool::windows_style(root_.native() / "report.txt"); }

  test::TempFolder root_;
  fs::path before_, installer_folder_, game_;
  std::vector<test::TestEntry> files_;
};

TEST_F(ScriptedInstall, InstallsWithoutAnyBoxAndReportsEveryMessageAndTheOutcome) {
  test::MessageScript script;
  EXPECT_EQ(run("/S " + report_option() + " /D=" + game_folder()), kExitInstalled);
  EXPECT_TRUE(script.shown().empty());
  EXPECT_EQ(read_native_file(game_ / "Override" / "evilamul.spl"), files_[0].data);
  EXPECT_EQ(read_native_file(game_ / "UInst.exe").substr(0, 14), "MZ uninstaller");
  EXPECT_NE(read_native_file(game_ / "Sample.log").find("Override\\evilamul_readme.txt"), std::string::npos);
  EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, kUninstallKey, "DisplayName"), "Sample");
  // Nobody watches: the readme is not opened, and no shortcuts are made without /SHORTCUTS.
  EXPECT_TRUE(host::shell_opened().empty());
  EXPECT_FALSE(fs::exists(root_.native() / "Programs" / "Sample"));
  EXPECT_EQ(report(),
            "ZEP SFX: Do you want to create Start Menu shortcuts?\r\n"
            "ZEP SFX: ZEP imported successfully!\r\n"
            "Outcome: 0: every step succeeded\r\n");
  EXPECT_FALSE(fs::exists(installer_folder_ / "tmp")) << "the working copy goes";

  // Again, with shortcuts and overwriting declined: the report is appended to, the shortcuts are
  // made, and the player's changed file stays.
  write_native_file(game_ / "Override" / "evlamul1.eff", "changed by the player");
  EXPECT_EQ(run("/S /O=no /SHORTCUTS " + report_option() + " /D=" + game_folder()), kExitInstalled);
  EXPECT_EQ(read_native_file(game_ / "Override" / "evlamul1.eff"), "changed by the player");
  EXPECT_TRUE(fs::exists(root_.native() / "Programs" / "Sample" / "Uninstall.lnk"));
  EXPECT_NE(report().find("Outcome: 0: every step succeeded\r\nZEP SFX: Do you want"), std::string::npos) << report();
  EXPECT_NE(report().find("File already exists. Overwrite?"), std::string::npos) << report();
  EXPECT_TRUE(script.shown().empty());
}

TEST_F(ScriptedInstall, AFailedStepGivesOneAndNothingInstalledGivesTwo) {
  test::MessageScript script;
  // A file the game folder cannot take is refused and counted; the others install.
  files_.push_back({"..\\outside.txt", "out"});
  EXPECT_EQ(run("/S " + report_option() + " /D=" + game_folder()), kExitSomeFailed);
  EXPECT_TRUE(fs::exists(game_ / "Override" / "evilamul.spl"));
  EXPECT_FALSE(fs::exists(root_.native() / "outside.txt"));
  EXPECT_NE(report().find("Outcome: 1: some steps failed\r\n"), std::string::npos) << report();
  files_.pop_back();

  // A folder without a talk table, and a damaged archive, change nothing.
  fs::remove(root_.native() / "report.txt");
  fs::create_directories(root_.native() / "NoGame");
  std::map<std::string, std::string> before = tree_of(root_.native());
  before.erase("Installer/Sample.exe");
  EXPECT_EQ(run("/S " + report_option() + " /D=" + tool::windows_style(root_.native() / "NoGame")),
            kExitNothingDone);
  EXPECT_NE(report().find("The dialog file cannot be located."), std::string::npos) << report();
  EXPECT_NE(report().find("Outcome: 2: nothing was installed\r\n"), std::string::npos) << report();
  std::map<std::string, std::string> after = tree_of(root_.native());
  after.erase("Installer/Sample.exe");
  after.erase("report.txt");
  EXPECT_EQ(after, before);

  write_native_file(installer_folder_ / "Sample.exe", "MZ" + std::string(100, 0));
  host::set_command_line("\"" + tool::windows_style(installer_folder_ / "Sample.exe") + "\" /S /D=" + game_folder());
  EXPECT_EQ(run_command_line(command_line()), kExitNothingDone);
  EXPECT_TRUE(script.shown().empty());

  // A report file that cannot be written stops the run before anything is done.
  EXPECT_EQ(run("/S /REPORT=" + tool::windows_style(root_.native() / "missing" / "r.txt") + " /D=" + game_folder()),
            kExitNothingDone);
}

TEST_F(ScriptedInstall, ABadCommandLineInstallsNothingAndTheWindowModeShowsTheUsage) {
  test::MessageScript script;
  script.answer(kIdOk);
  EXPECT_EQ(run("/D=" + game_folder()), kExitNothingDone);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, kUsageCaption);
  EXPECT_NE(script.shown()[0].text.find("/S [/O=yes|no] [/SHORTCUTS] [/REPORT=file] /D="), std::string::npos);
  // With /S no box: the usage goes to the report.
  EXPECT_EQ(run("/S /O=perhaps " + report_option() + " /D=" + game_folder()), kExitNothingDone);
  EXPECT_EQ(script.shown().size(), 1u) << "no box with /S";
  EXPECT_EQ(report(), std::string(kUsageCaption) + ": " + kUsage + "\r\nOutcome: 2: nothing was installed\r\n");
  EXPECT_FALSE(fs::exists(game_ / "Sample.log"));
  // Without arguments the window opens, as always.
  host::set_command_line("\"" + tool::windows_style(installer_folder_ / "Sample.exe") + "\"  ");
  EXPECT_EQ(run_command_line(command_line()), kOpenTheWindow);
}

}  // namespace
}  // namespace zep

namespace zep {
namespace {

// A report is appended to its file: never to one of the installer's own, which it would spoil. The run
// then ends with 2 and nothing written anywhere, the file included; a report elsewhere is taken.
TEST_F(ScriptedInstall, AReportIsNeverWrittenIntoAFileOfTheInstallersOwn) {
  write_native_file(game_ / "Other.log", "Other\r\nC:\\Elsewhere\\\r\nOverride\\x.itm\r\n");
  write_native_file(game_ / "Other.zep-backup" / "Override" / "x.itm", "an original");
  write_native_file(game_ / "UInst.exe", "MZ an uninstaller");
  const std::string game = game_folder();
  struct Case {
    std::string report;
    bool refused;
  };
  const Case cases[] = {
      {game + "\\dialog.tlk", true},
      {game + "\\DIALOGF.TLK", true},
      {game + "\\..\\Game\\dialog.tlk", true},  // another spelling of the same file
      {game + "\\dialog.tlk.new", true},
      {game + "\\UInst.exe", true},
      {game + "\\Sample.log", true},  // this add-on's log, before it is written
      {game + "\\Other.log", true},
      {game + "\\other.log.new", true},
      {game + "\\Other.zep-backup\\Override\\x.itm", true},
      {game + "\\BETA~1.LOG", true},                                         // a short name
      {tool::windows_style(root_.native() / "install.log"), false},          // a log of the script's own
      {game + "\\report.txt", false},
  };
  write_native_file(installer_folder_ / "Sample.exe",
                    test::build_self_extracting("MZ stub", "MZ uninstaller", test::build_test_archive({}, files_)));
  const std::map<std::string, std::string> before = tree_of(root_.native());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.report);
    ASSERT_EQ(is_installer_own_report(c.report.c_str(), game.c_str()), c.refused);
    if (!c.refused) continue;
    host::set_command_line("\"" + tool::windows_style(installer_folder_ / "Sample.exe") + "\" /S /REPORT=\"" +
                           c.report + "\" /D=" + game);
    EXPECT_EQ(run_command_line(command_line()), kExitNothingDone);
    EXPECT_TRUE(tree_of(root_.native()) == before) << "nothing written";
    // The same through zep install on Linux.
    std::string native = c.report;
    std::replace(native.begin(), native.end(), '\\', '/');
    std::ostringstream out, err;
    EXPECT_EQ(tool::run_install({"--yes", "--report", native, (installer_folder_ / "Sample.exe").string(), game_.string()},
                                out, err),
              tool::kExitUsage)
        << err.str();
    EXPECT_NE(err.str().find("a file of the installer's own"), std::string::npos) << err.str();
    EXPECT_TRUE(tree_of(root_.native()) == before) << "nothing written";
  }
}

}  // namespace
}  // namespace zep
