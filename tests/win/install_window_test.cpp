// The installation as a user goes through it: a self-extracting file is started from its folder, the
// game folder is chosen in the real folder browser, "Import ZEP into game" is pressed and its questions
// answered, and what lands in the game folder, the registry and the Start Menu is read back; then the
// uninstall command stored in the registry is run and its work checked in turn.
#include <windows.h>
#include <commctrl.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <set>

#include "tests/support/archive_builder.h"
#include "tests/support/folder_browser.h"
#include "tests/support/installed_game.h"
#include "tests/support/installer_run.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kPatience = kWindowPatience;

constexpr char kNoGamePath[] = "<Please select a game path>";

// ---------------------------------------------------------------------------------------------------
// The installer and its window.

// Returns once the program's thread has come back to its message loop: a message sent to its window
// is handled there only after the command that is running (and every dialog of it) is over. Called
// when no dialog of the program is left on the screen.
bool wait_for_idle(HWND window) {
  DWORD_PTR ignored = 0;
  return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, kPatience, &ignored) != 0;
}

bool no_dialog_left(DWORD process_id) {
  return wait_until([&] { return visible_dialogs(process_id).empty(); }, kPatience);
}

// ---------------------------------------------------------------------------------------------------
// What else the installation starts.

// A command line started as the system starts a stored command: no program name given on its own, the program
// being the first (quoted) word of the line. Ended, if need be, on destruction.
class StartedCommand {
 public:
  StartedCommand(const std::string& command_line, const std::string& folder) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof startup;
    std::string line = command_line;
    if (!CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.c_str(), &startup,
                        &process_)) {
      process_ = {};
    }
  }
  ~StartedCommand() {
    if (process_.hProcess == nullptr) return;
    if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
      TerminateProcess(process_.hProcess, 99);
      WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
  }
  StartedCommand(const StartedCommand&) = delete;
  StartedCommand& operator=(const StartedCommand&) = delete;

  bool started() const { return process_.hProcess != nullptr; }
  DWORD process_id() const { return process_.dwProcessId; }
  long wait_for_exit(DWORD milliseconds) {
    if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) return -1;
    DWORD code = 0;
    GetExitCodeProcess(process_.hProcess, &code);
    return static_cast<long>(code);
  }

 private:
  PROCESS_INFORMATION process_{};
};

// The contents list of the sample add-on.
std::vector<std::string> expected_contents(const SampleAddon& addon) {
  std::vector<std::string> lines = {"SPK files in this archive:"};
  for (const TestEntry& entry : addon.patches) lines.push_back(entry.name);
  lines.push_back("");
  lines.push_back("Other files in this archive:");
  for (const TestEntry& entry : addon.files) lines.push_back(entry.name);
  return lines;
}

TEST(InstallWindow, ImportsTheSampleAddonIntoAChosenGameFolderAndItsUninstallCommandTakesItOut) {
  RegistrationCleanup cleanup("Sample");
  const std::string key_path = std::string(kUninstallKeyPrefix) + "Sample";
  const std::string programs = programs_folder();
  ASSERT_FALSE(programs.empty()) << "the prefix has no Programs folder";
  const fs::path menu_folder = fs::path(programs) / "Sample";
  ASSERT_FALSE(hklm_key_exists(key_path));
  ASSERT_FALSE(fs::exists(menu_folder));

  // The game folder, with a blank in its name: the talk table, and two of the add-on's files that the
  // player already has: one to be replaced, one to be kept.
  const SampleAddon addon = sample_addon();
  TempFolder games;
  const fs::path game = games.native() / "Icewind Game";
  const std::string game_path = games.path() + "Icewind Game\\";
  const std::string old_tlk = game_talk_table();
  write_native_file(game / "dialog.tlk", old_tlk);
  const std::string kept_name = addon.files[2].name;
  const std::string players_own = "the player's own effect";
  write_native_file(native_in(game, kept_name), players_own);
  const std::string replaced_name = addon.files[1].name;
  const std::string players_original = "the player's original effect";
  write_native_file(native_in(game, replaced_name), players_original);

  ComScope com;
  WithoutMenuMirroring no_menu_mirroring;
  MessageScript script;
  InstallerRun run(build_installer(build_test_archive(addon.patches, addon.files)));
  ASSERT_FALSE(run.installer().empty()) << "cannot read " << ZEP_TEST_STUB << " or " << ZEP_TEST_UINST;
  // A file of the player's called as the installer's temporary copy: never replaced or deleted.
  write_native_file(run.patch_temp_file(), "the player's own spktmp");
  ASSERT_TRUE(run.started());
  script.watch_process(run.process_id());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";

  // The contents, and nothing to import into yet.
  EXPECT_EQ(list_box_lines(contents_list(window)), expected_contents(addon));
  ASSERT_NE(import_button(window), nullptr);
  EXPECT_FALSE(IsWindowEnabled(import_button(window))) << "Import before a game folder was chosen";
  EXPECT_EQ(window_text(path_label(window)), kNoGamePath);

  // The game folder, chosen in the folder browser.
  ASSERT_TRUE(choose_folder_in_browser(run, window, game_path));
  ASSERT_TRUE(no_dialog_left(run.process_id()));
  ASSERT_TRUE(wait_for_idle(window));
  EXPECT_TRUE(script.shown().empty()) << describe(script.shown());
  EXPECT_EQ(window_text(path_label(window)), game_path);
  ASSERT_TRUE(IsWindowEnabled(import_button(window))) << "Import once a game folder was chosen";

  // The import, its three questions answered: shortcuts yes, one of the player's files replaced, the
  // other kept.
  script.answer(kIdYes);
  script.answer(kIdYes);
  script.answer(kIdNo);
  press_button(import_button(window));
  ASSERT_TRUE(wait_until([&] { return script.shown().size() >= 4; }, kPatience)) << describe(script.shown());
  ASSERT_TRUE(no_dialog_left(run.process_id()));
  ASSERT_TRUE(wait_for_idle(window));
  close_notepad(5000);
  const std::vector<ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 4u) << describe(shown);
  EXPECT_EQ(shown[0].text, "Do you want to create Start Menu shortcuts?");
  EXPECT_EQ(shown[0].caption, "ZEP SFX");
  EXPECT_EQ(shown[0].style, kMbYesNo);
  EXPECT_EQ(shown[1].text, "File already exists. Overwrite?");
  EXPECT_EQ(shown[1].caption, game_path + replaced_name);
  EXPECT_EQ(shown[2].text, "File already exists. Overwrite?");
  EXPECT_EQ(shown[2].caption, game_path + kept_name);
  EXPECT_EQ(shown[2].style, kMbYesNo);
  EXPECT_EQ(shown[3].text, "ZEP imported successfully!");
  EXPECT_EQ(shown[3].caption, "ZEP SFX");
  EXPECT_EQ(shown[3].style, kMbOk);
  for (const ShownMessage& message : shown) EXPECT_TRUE(message.has_owner) << message.text;

  // The game folder. The uninstaller is the self-extracting file's image slot, byte for byte.
  EXPECT_TRUE(read_native_file(game / "UInst.exe") == run.installer().substr(36864, 4096))
      << "UInst.exe is not the uninstaller slot";
  // The log lists what the add-on placed: not the file the player kept. The replaced file's original
  // is kept in the add-on's backup folder.
  std::string expected_log = "Sample\r\n" + game_path + "\r\noverride\\RUBY.itm\r\n";
  for (const TestEntry& entry : addon.files) {
    if (entry.name != kept_name) expected_log += entry.name + "\r\n";
  }
  EXPECT_EQ(read_native_file(game / "Sample.log"), expected_log);
  EXPECT_EQ(read_native_file(native_in(game / "Sample.zep-backup", replaced_name)), players_original);

  // The texts are in the talk table and their strrefs in the item.
  expect_texts_installed(game, old_tlk, addon);
  const std::string new_tlk = read_native_file(game / "dialog.tlk");

  // The declined file is as the player had it; the others hold the add-on's data.
  for (const TestEntry& entry : addon.files) {
    SCOPED_TRACE(entry.name);
    EXPECT_EQ(read_native_file(native_in(game, entry.name)), entry.name == kept_name ? players_own : entry.data);
  }

  // The registration, and the Start Menu folder with its two shortcuts.
  EXPECT_EQ(read_hklm_string(key_path, "DisplayName"), "Sample");
  const std::string command = "\"" + game_path + "UInst.exe\" -" + game_path + "Sample.log";
  EXPECT_EQ(read_hklm_string(key_path, "UninstallString"), command);
  EXPECT_EQ(names_in(menu_folder), (std::set<std::string>{"Uninstall.lnk", "rubyevil_readme.lnk"}));
  const LinkContent uninstall = read_link((menu_folder / "Uninstall.lnk").string());
  EXPECT_EQ(uninstall.path, game_path + "UInst.exe");
  EXPECT_EQ(uninstall.arguments, " -" + game_path + "Sample.log");
  EXPECT_EQ(uninstall.description, game_path + "UInst.exe");
  const LinkContent readme = read_link((menu_folder / "rubyevil_readme.lnk").string());
  EXPECT_EQ(readme.path, game_path + addon.files[4].name);
  EXPECT_EQ(readme.arguments, "");
  EXPECT_EQ(readme.description, game_path + addon.files[4].name);

  // The player's "spktmp" is as it was; the installer's own temporary copy is gone.
  EXPECT_EQ(read_native_file(run.patch_temp_file()), "the player's own spktmp");
  EXPECT_FALSE(fs::exists(run.folder().native() / "spktmp.2")) << "the temporary copy was left behind";

  // The stored uninstall command, run as the system runs it.
  {
    MessageScript uninstall_script;
    uninstall_script.answer(kIdYes);
    StartedCommand uninstaller(read_hklm_string(key_path, "UninstallString"), games.path());
    ASSERT_TRUE(uninstaller.started()) << "cannot start " << read_hklm_string(key_path, "UninstallString");
    uninstall_script.watch_process(uninstaller.process_id());
    EXPECT_EQ(uninstaller.wait_for_exit(kPatience), 0);
    const std::vector<ShownMessage> answered = uninstall_script.shown();
    ASSERT_EQ(answered.size(), 2u) << describe(answered);
    EXPECT_EQ(answered[0].text, "This will uninstall this addon. Are you sure you want to continue?");
    EXPECT_EQ(answered[0].caption, "Sample");
    EXPECT_EQ(answered[0].style, kMbYesNo);
    EXPECT_EQ(answered[1].text, "Uninstall completed.");
    EXPECT_EQ(answered[1].caption, "Info");
  }
  // Every file the log listed is gone, the replaced one's original is back, and the file the player
  // kept was never touched.
  EXPECT_FALSE(fs::exists(game / "override" / "RUBY.itm"));
  for (const TestEntry& entry : addon.files) {
    SCOPED_TRACE(entry.name);
    if (entry.name == kept_name) {
      EXPECT_EQ(read_native_file(native_in(game, entry.name)), players_own);
    } else if (entry.name == replaced_name) {
      EXPECT_EQ(read_native_file(native_in(game, entry.name)), players_original);
    } else {
      EXPECT_FALSE(fs::exists(native_in(game, entry.name)));
    }
  }
  EXPECT_FALSE(fs::exists(game / "Sample.zep-backup"));
  EXPECT_FALSE(fs::exists(game / "Sample.log"));
  EXPECT_TRUE(read_native_file(game / "UInst.exe") == run.installer().substr(36864, 4096)) << "UInst.exe stays";
  EXPECT_TRUE(read_native_file(game / "dialog.tlk") == new_tlk) << "the talk table stays as the import left it";
  EXPECT_FALSE(hklm_key_exists(key_path));
  // The key was the installation's: its Start Menu folder goes, the readme's shortcut with it.
  EXPECT_FALSE(fs::exists(menu_folder));

  // The installer is still there to be closed.
  close_and_expect_clean_end(run, window);
}

TEST(InstallWindow, AFolderWithoutATalkTableIsRefusedAndACancelledBrowserChangesNothing) {
  TempFolder games;
  const std::string empty_path = games.path() + "Not A Game";
  fs::create_directories(games.native() / "Not A Game");
  const std::string good_path = games.path() + "Real Game";
  write_native_file(games.native() / "Real Game" / "dialog.tlk", game_talk_table());

  MessageScript script;
  InstallerRun run(build_installer(build_test_archive(sample_patches(), sample_files())));
  ASSERT_FALSE(run.installer().empty()) << "cannot read " << ZEP_TEST_STUB << " or " << ZEP_TEST_UINST;
  ASSERT_TRUE(run.started());
  script.watch_process(run.process_id());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";
  ASSERT_NE(import_button(window), nullptr);

  // A folder without dialog.tlk: the message names the file that was looked for.
  ASSERT_TRUE(choose_folder_in_browser(run, window, empty_path));
  ASSERT_TRUE(wait_until([&] { return !script.shown().empty(); }, kPatience)) << "no message came";
  ASSERT_TRUE(no_dialog_left(run.process_id()));
  ASSERT_TRUE(wait_for_idle(window));
  std::vector<ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 1u) << describe(shown);
  EXPECT_EQ(shown[0].text,
            "The dialog file cannot be located.\nOnly dirs containing a dialog.tlk file are considered valid.");
  EXPECT_EQ(shown[0].caption, empty_path + "\\dialog.tlk");
  EXPECT_EQ(shown[0].style, kMbOk);
  EXPECT_TRUE(shown[0].has_owner);
  EXPECT_EQ(window_text(path_label(window)), kNoGamePath);
  EXPECT_FALSE(IsWindowEnabled(import_button(window)));

  // A folder with it is taken, silently.
  ASSERT_TRUE(choose_folder_in_browser(run, window, good_path));
  ASSERT_TRUE(no_dialog_left(run.process_id()));
  ASSERT_TRUE(wait_for_idle(window));
  EXPECT_EQ(script.shown().size(), 1u) << describe(script.shown());
  EXPECT_EQ(window_text(path_label(window)), good_path + "\\");
  EXPECT_TRUE(IsWindowEnabled(import_button(window)));

  // A cancelled browser leaves the choice as it was, without a word.
  HWND browser = open_folder_browser(run, window);
  ASSERT_NE(browser, nullptr) << "pressing \"Select game path\" showed no folder browser";
  HWND cancel = find_button(browser, "Cancel");
  ASSERT_NE(cancel, nullptr);
  press_button(cancel);
  ASSERT_TRUE(no_dialog_left(run.process_id()));
  ASSERT_TRUE(wait_for_idle(window));
  EXPECT_EQ(script.shown().size(), 1u) << describe(script.shown());
  EXPECT_EQ(window_text(path_label(window)), good_path + "\\");
  EXPECT_TRUE(IsWindowEnabled(import_button(window)));
  EXPECT_TRUE(IsWindowEnabled(window)) << "the main window is usable again";

  close_and_expect_clean_end(run, window);
}

}  // namespace
}  // namespace zep::test
