// UInst.exe started for real, as the uninstall command or a user would start it.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

#include "install/registration.h"
#include "tests/support/folder_link.h"
#include "tests/support/installed_game.h"
#include "tests/support/installer_run.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

// Starts UInst.exe with `command_line`, answers its boxes, and returns them once it has ended.
std::vector<ShownMessage> run_uninstaller(const std::string& command_line, long* exit_code) {
  TempFolder folder;
  MessageScript script;
  StartedProgram program(windows_path(ZEP_TEST_UINST), command_line, windows_path(folder.path()));
  EXPECT_TRUE(program.started());
  if (!program.started()) return {};
  script.watch_process(program.process_id());
  *exit_code = program.wait_for_exit(20000);
  return script.shown();
}

TEST(UninstallerProgram, WithoutAHyphenShowsTheUsageAndEndsWithZero) {
  const std::string too_long = "UInst.exe -C:\\" + std::string(260, 'x') + ".log";
  for (const std::string& command_line : {std::string("UInst.exe"), std::string("-"), std::string("UInst.exe /uninstall"),
                                          too_long}) {
    SCOPED_TRACE(command_line);
    long exit_code = -1;
    std::vector<ShownMessage> shown = run_uninstaller(command_line, &exit_code);
    EXPECT_EQ(exit_code, 0);
    ASSERT_EQ(shown.size(), 1u);
    // A command line longer than the program takes is said to be so, not taken for a bad log.
    EXPECT_EQ(shown[0].text, command_line == too_long ? "The command line is longer than 259 characters.\nRun UInst "
                                                        "-<AddonName>.log in the game folder."
                                                      : "Usage: UInst -<logfile>");
    EXPECT_EQ(shown[0].caption, "Info");
    EXPECT_EQ(shown[0].style, kMbOk);
    EXPECT_FALSE(shown[0].has_owner);
  }
}

// An add-on as an installation leaves it: files, log and UInst.exe in a game folder whose name holds
// a hyphen and blanks, the uninstall key with the command the installer stores, and a Start Menu
// folder with its shortcut.
class InstalledAddon {
 public:
  explicit InstalledAddon(const std::string& addon) : addon_(addon) {
    game_ = folder_.native() / "Black Isle - Enhanced Edition";
    std::filesystem::create_directories(game_ / "Override");
    game_path_ = folder_.path() + "Black Isle - Enhanced Edition\\";
    write_native_file(game_ / "UInst.exe", read_native_file(windows_path(ZEP_TEST_UINST)));
    write_native_file(game_ / "dialog.tlk", "TLK V1  table");
    write_native_file(game_ / "Override" / "a.spl", "spell");
    write_native_file(game_ / "readme.txt", "readme");
    write_native_file(game_ / (addon + ".log"),
                      addon + "\r\n" + game_path_ + "\r\nOverride\\a.spl\r\nreadme.txt\r\n");
    UninstallKey key;
    UninstallCommand command;
    EXPECT_TRUE(build_uninstall_command(game_path_.c_str(), addon.c_str(), nullptr, &command));
    EXPECT_TRUE(key.open_and_name(addon.c_str()));
    EXPECT_TRUE(key.set_command(command.c_str()));
    EXPECT_TRUE(find_start_menu_folder(&menu_.folder));
    menu_.wanted = true;
    programs_ = menu_.folder.c_str();
    make_addon_start_menu_folder(addon.c_str(), nullptr, &menu_);
    com_initialize();
    EXPECT_EQ(create_start_menu_shortcut(menu_, "Uninstall.lnk", (game_path_ + "UInst.exe").c_str(),
                                         (" -" + game_path_ + addon + ".log").c_str(), nullptr),
              0);
    com_uninitialize();
  }
  ~InstalledAddon() {
    std::error_code ignored;
    std::filesystem::remove_all(start_menu_folder(), ignored);
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, key_path().c_str());
  }

  std::string key_path() const { return std::string(kUninstallKeyPrefix) + addon_; }
  std::filesystem::path start_menu_folder() const { return std::filesystem::path(programs_) / addon_; }
  bool key_exists() const {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path().c_str(), 0, KEY_READ, &key) != 0) return false;
    RegCloseKey(key);
    return true;
  }
  // The command exactly as stored in the registry.
  std::string stored_command() const {
    char buffer[600] = {};
    DWORD size = sizeof buffer;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path().c_str(), 0, KEY_READ, &key) != 0) return "";
    RegQueryValueExA(key, "UninstallString", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
    RegCloseKey(key);
    return buffer;
  }

  // Runs the stored command as Windows would, answering the question with Yes; or `command_line` in
  // the folder `current`.
  std::vector<ShownMessage> uninstall(long* exit_code, const std::string& command_line = "",
                                      const std::string& current = "") {
    MessageScript script;
    script.answer(kIdYes);
    StartedProgram program(game_path_ + "UInst.exe", command_line.empty() ? stored_command() : command_line,
                           current.empty() ? folder_.path() : current);
    EXPECT_TRUE(program.started());
    if (!program.started()) return {};
    script.watch_process(program.process_id());
    *exit_code = program.wait_for_exit(60000);
    return script.shown();
  }

  TempFolder folder_;
  std::string addon_;
  std::filesystem::path game_;
  std::string game_path_;
  std::string programs_;
  StartMenu menu_;
};

TEST(UninstallerProgram, TheStoredCommandRemovesTheAddonAndPutsTheOriginalsBack) {
  InstalledAddon addon("Zep Uninstall " + std::to_string(GetCurrentProcessId()));
  write_native_file(addon.start_menu_folder() / "added by hand.txt", "x");
  // The shortcuts the installation makes for its files (readme.txt's), and a listed file marked
  // read-only: the add-on's all the same.
  write_native_file(addon.start_menu_folder() / "readme.lnk", "a shortcut");
  write_native_file(addon.start_menu_folder() / "a.lnk", "a shortcut");
  ASSERT_TRUE(SetFileAttributesA((addon.game_path_ + "readme.txt").c_str(), FILE_ATTRIBUTE_READONLY));
  write_native_file(addon.game_ / (addon.addon_ + ".zep-backup") / "Override" / "a.spl", "the game's spell");
  ASSERT_TRUE(std::filesystem::exists(addon.start_menu_folder() / "Uninstall.lnk"));
  EXPECT_EQ(addon.stored_command().front(), '"');
  long exit_code = -1;
  std::vector<ShownMessage> shown = addon.uninstall(&exit_code);
  EXPECT_EQ(exit_code, 0);
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[0].text, "This will uninstall this addon. Are you sure you want to continue?");
  EXPECT_EQ(shown[0].caption, addon.addon_);
  EXPECT_EQ(shown[0].style, kMbYesNo);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_EQ(shown[1].caption, "Info");
  EXPECT_EQ(read_native_file(addon.game_ / "Override" / "a.spl"), "the game's spell");
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / (addon.addon_ + ".zep-backup")));
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / "readme.txt"));
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / (addon.addon_ + ".log")));
  EXPECT_TRUE(std::filesystem::exists(addon.game_ / "UInst.exe"));
  EXPECT_EQ(read_native_file(addon.game_ / "dialog.tlk"), "TLK V1  table");
  EXPECT_FALSE(addon.key_exists());
  // Only the shortcuts the installation made go; the player's file keeps the folder.
  EXPECT_EQ(names_in(addon.start_menu_folder()), std::set<std::string>{"added by hand.txt"});
  EXPECT_EQ(read_native_file(addon.start_menu_folder() / "added by hand.txt"), "x");
}

// Without a file of the player's, the add-on's Start Menu folder goes with its shortcuts.
TEST(UninstallerProgram, TheEmptiedStartMenuFolderGoes) {
  InstalledAddon addon("Zep Clean " + std::to_string(GetCurrentProcessId()));
  write_native_file(addon.start_menu_folder() / "readme.lnk", "a shortcut");
  long exit_code = -1;
  std::vector<ShownMessage> shown = addon.uninstall(&exit_code);
  ASSERT_EQ(shown.size(), 2u) << describe(shown);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_FALSE(std::filesystem::exists(addon.start_menu_folder()));
  EXPECT_FALSE(addon.key_exists());
}

// Another program named as the add-on, with its uninstall key and a Start Menu folder of that name:
// the add-on's installer left both alone, and so does its uninstaller.
TEST(UninstallerProgram, AnotherProgramsKeyAndShortcutsSurvive) {
  InstalledAddon addon("Zep Foreign " + std::to_string(GetCurrentProcessId()));
  const std::string foreign = "\"C:\\Program Files\\Foreign\\uninstall.exe\" /S";
  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, addon.key_path().c_str(), 0, KEY_SET_VALUE, &key), 0);
  RegSetValueExA(key, "UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(foreign.c_str()),
                 static_cast<DWORD>(foreign.size() + 1));
  RegCloseKey(key);
  write_native_file(addon.start_menu_folder() / "Foreign Help.lnk", "the other program's help");
  const std::string uninstall_link = read_native_file(addon.start_menu_folder() / "Uninstall.lnk");
  long exit_code = -1;
  std::vector<ShownMessage> shown = addon.uninstall(
      &exit_code, "\"" + addon.game_path_ + "UInst.exe\" -" + addon.game_path_ + addon.addon_ + ".log");
  EXPECT_EQ(exit_code, 0);
  ASSERT_EQ(shown.size(), 2u) << describe(shown);
  EXPECT_EQ(shown[1].text,
            "Uninstall completed.\nThe installed programs entry of this name is not this log's: it stays.");
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / "readme.txt"));
  EXPECT_EQ(addon.stored_command(), foreign);
  EXPECT_EQ(read_native_file(addon.start_menu_folder() / "Uninstall.lnk"), uninstall_link);
  EXPECT_EQ(read_native_file(addon.start_menu_folder() / "Foreign Help.lnk"), "the other program's help");
}

// The way the installer gives when the game folder's path is too long for an uninstall command: the
// log named by itself alone, in the game folder.
TEST(UninstallerProgram, ALogNamedByItselfIsTheOneInTheCurrentFolder) {
  InstalledAddon addon("Zep Alone " + std::to_string(GetCurrentProcessId()));
  long exit_code = -1;
  std::vector<ShownMessage> shown = addon.uninstall(&exit_code, "UInst.exe -" + addon.addon_ + ".log", addon.game_path_);
  EXPECT_EQ(exit_code, 0);
  ASSERT_EQ(shown.size(), 2u);
  // The key's command names the log by its whole path, which a log named by itself cannot be told
  // to be: the key and the Start Menu stay, and the last message says so.
  EXPECT_EQ(shown[1].text,
            "Uninstall completed.\nThe installed programs entry of this name is not this log's: it stays.")
      << "the game has not moved";
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / "readme.txt"));
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / (addon.addon_ + ".log")));
  EXPECT_TRUE(addon.key_exists());
  EXPECT_TRUE(std::filesystem::exists(addon.start_menu_folder() / "Uninstall.lnk"));
}

TEST(UninstallerProgram, AFileInUseKeepsTheAddonInstalledUntilARunCanFinish) {
  InstalledAddon addon("Zep Retry " + std::to_string(GetCurrentProcessId()));
  std::filesystem::create_directories(addon.start_menu_folder() / "inner");
  const std::string log = read_native_file(addon.game_ / (addon.addon_ + ".log"));
  long exit_code = -1;
  {
    // Open without sharing, as the game holds its files.
    HANDLE held = CreateFileA((addon.game_path_ + "readme.txt").c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::vector<ShownMessage> shown = addon.uninstall(&exit_code);
    CloseHandle(held);
    EXPECT_EQ(exit_code, 0);
    ASSERT_EQ(shown.size(), 2u) << describe(shown);
    EXPECT_NE(shown[1].text.find("Some files could not be deleted."), std::string::npos) << shown[1].text;
  }
  EXPECT_TRUE(std::filesystem::exists(addon.game_ / "readme.txt"));
  EXPECT_EQ(read_native_file(addon.game_ / (addon.addon_ + ".log")), log);
  EXPECT_TRUE(addon.key_exists());
  EXPECT_TRUE(std::filesystem::exists(addon.start_menu_folder() / "Uninstall.lnk"));

  std::vector<ShownMessage> shown = addon.uninstall(&exit_code);
  ASSERT_EQ(shown.size(), 2u) << describe(shown);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / "readme.txt"));
  EXPECT_FALSE(addon.key_exists());
  // A folder that is not the installation's stays in the add-on's Start Menu folder, which stays too.
  EXPECT_FALSE(std::filesystem::exists(addon.start_menu_folder() / "Uninstall.lnk"));
  EXPECT_TRUE(std::filesystem::is_directory(addon.start_menu_folder() / "inner"));
}

// A link to elsewhere in the game folder (a standard user may plant one in a game folder anyone can
// write): a listed file whose folder is one is not deleted, and neither is one whose original's folder
// in the backup is one, as that original could not be put back (the last message names it); either
// way the add-on stays.
TEST(UninstallerProgram, APathThroughALinkIsNeverFollowed) {
  for (const bool in_backup : {false, true}) {
    SCOPED_TRACE(in_backup ? "a folder in the backup" : "a folder of the game");
    InstalledAddon addon("Zep Link " + std::to_string(GetCurrentProcessId()));
    const std::filesystem::path elsewhere = addon.folder_.native() / "System";
    write_native_file(elsewhere / "a.spl", "the system's file");
    const std::filesystem::path link =
        in_backup ? addon.game_ / (addon.addon_ + ".zep-backup") / "Override" : addon.game_ / "Override";
    std::filesystem::remove_all(link);
    std::filesystem::create_directories(link.parent_path());
    if (!make_folder_link(link, elsewhere)) {
      ASSERT_TRUE(may_refuse_links()) << "a symbolic link can be made here";
      GTEST_SKIP() << "Windows does not let this test make a symbolic link (developer mode or administrator)";
    }
    const std::string log = read_native_file(addon.game_ / (addon.addon_ + ".log"));
    long exit_code = -1;
    std::vector<ShownMessage> shown = addon.uninstall(&exit_code);
    ASSERT_EQ(shown.size(), 2u) << describe(shown);
    EXPECT_EQ(shown[1].text,
              "Some files could not be deleted. They were probably either in use or already deleted.\n"
              "Run this again to finish." +
                  std::string(in_backup ? "\nThese stay, as their originals cannot be put back from the .zep-backup "
                                          "folder (a link on the way, or no access):\nOverride\\a.spl"
                                        : ""));
    EXPECT_EQ(read_native_file(elsewhere / "a.spl"), "the system's file");
    if (in_backup) {
      EXPECT_EQ(read_native_file(addon.game_ / "Override" / "a.spl"), "spell");
    }
    EXPECT_FALSE(std::filesystem::exists(addon.game_ / "readme.txt"));
    EXPECT_EQ(read_native_file(addon.game_ / (addon.addon_ + ".log")), log);
    EXPECT_TRUE(addon.key_exists());
  }
}

// The log's lines that name the installer's own files or another add-on's are passed over, whatever
// the log says: the talk table and another add-on's log stay.
TEST(UninstallerProgram, TheInstallersFilesAndOtherLogsStay) {
  InstalledAddon addon("Zep Kept " + std::to_string(GetCurrentProcessId()));
  const std::filesystem::path log = addon.game_ / (addon.addon_ + ".log");
  write_native_file(log, read_native_file(log) + "dialog.tlk\r\nOther.log\r\n");
  write_native_file(addon.game_ / "Other.log", "Other\r\n");
  long exit_code = -1;
  std::vector<ShownMessage> shown = addon.uninstall(&exit_code);
  EXPECT_EQ(exit_code, 0);
  ASSERT_EQ(shown.size(), 2u) << describe(shown);
  EXPECT_EQ(shown[1].text, "Uninstall completed.");
  EXPECT_EQ(read_native_file(addon.game_ / "dialog.tlk"), "TLK V1  table");
  EXPECT_EQ(read_native_file(addon.game_ / "Other.log"), "Other\r\n");
  EXPECT_FALSE(std::filesystem::exists(addon.game_ / "readme.txt"));
  EXPECT_FALSE(std::filesystem::exists(log));
}

TEST(UninstallerProgram, AsksToRunAsAdministrator) {
  // The manifest, read as Windows reads it when the program is started.
  HMODULE image = LoadLibraryExA(windows_path(ZEP_TEST_UINST).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC found = FindResourceA(image, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));  // RT_MANIFEST
  ASSERT_NE(found, nullptr) << "UInst.exe has no manifest";
  const char* manifest = static_cast<const char*>(LockResource(LoadResource(image, found)));
  ASSERT_NE(manifest, nullptr);
  const std::string text(manifest, SizeofResource(image, found));
  FreeLibrary(image);
  EXPECT_NE(text.find("<requestedExecutionLevel level=\"requireAdministrator\"/>"), std::string::npos) << text;
}

}  // namespace
}  // namespace zep::test
