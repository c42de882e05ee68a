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
#include "tests/support/installer_run.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

namespace fs = std::filesystem;

constexpr DWORD kPatience = kWindowPatience;

const fs::path kDemo = fs::path(ZEP_TESTDATA) / "gemrb" / "demo";

constexpr char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";
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
// Reading back what the installation left.

std::string read_hklm_string(const std::string& key_path, const char* name) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return "<no key>";
  char buffer[1024] = {};
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  LONG result = RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  if (result != ERROR_SUCCESS) return "<no value>";
  if (type != REG_SZ) return "<not a string>";
  return buffer;
}

bool hklm_key_exists(const std::string& key_path) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

// The Programs folder of the Start Menu, as the installer looks it up; empty when it cannot be read.
std::string programs_folder() {
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_CURRENT_USER, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return "";
  char buffer[MAX_PATH + 1] = {};
  DWORD size = MAX_PATH;
  LONG result = RegQueryValueExA(key, "Programs", nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS ? buffer : "";
}

std::set<std::string> names_in(const fs::path& folder) {
  std::set<std::string> names;
  std::error_code error;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder, error)) {
    names.insert(entry.path().filename().string());
  }
  return names;
}

// One entry of a talk table, its sound name cut at its first zero byte.
struct TalkText {
  std::uint16_t flags = 0;
  std::string sound;
  std::uint32_t volume = 0, pitch = 0;
  std::string text;
  bool operator==(const TalkText& other) const {
    return flags == other.flags && sound == other.sound && volume == other.volume && pitch == other.pitch &&
           text == other.text;
  }
};

std::ostream& operator<<(std::ostream& out, const TalkText& entry) {
  return out << "{" << entry.flags << ", \"" << entry.sound << "\", " << entry.volume << ", " << entry.pitch
             << ", \"" << entry.text << "\"}";
}

// The entries of a TLK V1 file; a file that does not hold what its header promises comes back as a
// single entry saying so, so that it never passes for a table.
std::vector<TalkText> talk_entries(const std::string& tlk) {
  const std::vector<TalkText> broken = {{0, "", 0, 0, "<not a talk table>"}};
  if (tlk.size() < 18) return broken;
  const std::uint32_t count = u32_at(tlk, 10), strings = u32_at(tlk, 14);
  if (strings != 18 + 26ull * count || strings > tlk.size()) return broken;
  std::vector<TalkText> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = 18 + 26 * std::size_t{i};
    TalkText entry;
    entry.flags = static_cast<std::uint16_t>(static_cast<unsigned char>(tlk[at]) |
                                             static_cast<unsigned char>(tlk[at + 1]) << 8);
    entry.sound = tlk.substr(at + 2, 8);
    entry.sound.resize(entry.sound.find('\0') == std::string::npos ? 8 : entry.sound.find('\0'));
    entry.volume = u32_at(tlk, at + 10);
    entry.pitch = u32_at(tlk, at + 14);
    const std::uint64_t offset = strings + std::uint64_t{u32_at(tlk, at + 18)};
    const std::uint32_t length = u32_at(tlk, at + 22);
    if (offset + length > tlk.size()) return broken;
    entry.text = tlk.substr(offset, length);
    entries.push_back(entry);
  }
  return entries;
}

// ---------------------------------------------------------------------------------------------------
// What else the installation starts.

struct WindowsOfClass {
  const char* class_name;
  std::vector<HWND> found;
};
BOOL CALLBACK collect_of_class(HWND window, LPARAM param) {
  WindowsOfClass* search = reinterpret_cast<WindowsOfClass*>(param);
  if (window_class_name(window) == search->class_name) search->found.push_back(window);
  return TRUE;
}
std::vector<HWND> top_windows_of_class(const char* class_name) {
  WindowsOfClass search{class_name, {}};
  EnumWindows(collect_of_class, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// The readme is opened through the shell, which under wine starts Notepad in a process of its own.
// Whether it comes depends on the system's file associations, not on the installer, so it is only
// waited for up to `milliseconds` and then closed (ended, if it will not close) so that it neither
// lingers nor holds the readme open.
void close_notepad(DWORD milliseconds) {
  wait_until([] { return !top_windows_of_class("Notepad").empty(); }, milliseconds);
  for (HWND notepad : top_windows_of_class("Notepad")) {
    DWORD process_id = 0;
    GetWindowThreadProcessId(notepad, &process_id);
    PostMessageA(notepad, WM_CLOSE, 0, 0);
    HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, process_id);
    if (process == nullptr) continue;
    if (WaitForSingleObject(process, 5000) != WAIT_OBJECT_0) {
      TerminateProcess(process, 1);
      WaitForSingleObject(process, 5000);
    }
    CloseHandle(process);
  }
}

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

// Removes what an installation of the add-on `addon` registers outside the game folder: its uninstall
// key and its Start Menu folder. Run before the test, so that nothing left from an earlier run can pass
// for this one's work, and again at its end, however it ended.
class RegistrationCleanup {
 public:
  explicit RegistrationCleanup(const std::string& addon) : addon_(addon) { clean(); }
  ~RegistrationCleanup() {
    close_notepad(0);
    clean();
  }
  RegistrationCleanup(const RegistrationCleanup&) = delete;
  RegistrationCleanup& operator=(const RegistrationCleanup&) = delete;

 private:
  void clean() {
    RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKeyPrefix + addon_).c_str());
    const std::string programs = programs_folder();
    std::error_code ignored;
    if (!programs.empty()) fs::remove_all(fs::path(programs) / addon_, ignored);
  }
  std::string addon_;
};

// Wine mirrors every shortcut saved under the Start Menu into the Linux desktop's menus: the program that
// saves it starts winemenubuilder.exe, which writes menu entries and icons into the home folder, outside
// the prefix, and runs on for a while in that program's current folder after it has ended. None of that
// is the installer's work, so while this lives wine is told not to start it (a dll override, read by
// every program as it starts; the environment variable cannot be set from here, as wine takes its own
// variables from the Linux environment). The override as it was is put back afterwards. Nothing is
// changed on Windows.
class WithoutMenuMirroring {
 public:
  WithoutMenuMirroring() {
    HMODULE ntdll = GetModuleHandleA("ntdll.dll");
    if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return;
    if (RegCreateKeyExA(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                        nullptr) != ERROR_SUCCESS) {
      key_ = nullptr;
      return;
    }
    char old_value[256] = {};
    DWORD size = sizeof old_value - 1;
    had_value_ = RegQueryValueExA(key_, kValue, nullptr, nullptr, reinterpret_cast<BYTE*>(old_value), &size) ==
                 ERROR_SUCCESS;
    old_value_ = old_value;
    // An empty override turns the program off.
    RegSetValueExA(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
  }
  ~WithoutMenuMirroring() {
    if (key_ == nullptr) return;
    if (had_value_) {
      RegSetValueExA(key_, kValue, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_value_.c_str()),
                     static_cast<DWORD>(old_value_.size() + 1));
    } else {
      RegDeleteValueA(key_, kValue);
    }
    RegCloseKey(key_);
  }
  WithoutMenuMirroring(const WithoutMenuMirroring&) = delete;
  WithoutMenuMirroring& operator=(const WithoutMenuMirroring&) = delete;

 private:
  static constexpr char kOverrides[] = "Software\\Wine\\DllOverrides";
  static constexpr char kValue[] = "winemenubuilder.exe";
  HKEY key_ = nullptr;
  bool had_value_ = false;
  std::string old_value_;
};

class ComScope {
 public:
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
};

// ---------------------------------------------------------------------------------------------------
// The add-on of the installer's worked example: a string patch file for one item, and five files
// under Override, the readme among them flagged to be opened once installed.

struct SampleAddon {
  std::string resource;            // the item the string patch file carries
  std::vector<SpkText> texts;      // its new texts
  std::vector<TestEntry> patches;  // the string patch file
  std::vector<TestEntry> files;    // the other files
};

SampleAddon sample_addon() {
  SampleAddon addon;
  addon.resource = read_native_file(kDemo / "ruby.itm");
  if (addon.resource == "<missing>") addon.resource = std::string(114, 'r');  // an item's length
  // The item's name strrefs (unidentified, identified) and its two description strrefs.
  addon.texts = {{"Ruby of Evil", 3, "", 0, 0, {8}},
                 {"Cursed Ruby", 1, "RUBY01", 5, 7, {12}},
                 {"A red stone that whispers of the evil it has seen.", 1, "", 0, 0, {80, 84}}};
  addon.patches = {{"RUBY.spk", build_spk4("RUBY.itm", addon.resource, addon.texts)}};
  addon.files = {{"Override\\rubyevil.spl", std::string(826, 's') + "spell"},
                 {"Override\\rubyevl1.eff", "EFF V2.0" + std::string(264, '1')},
                 {"Override\\rubyevl2.eff", "EFF V2.0" + std::string(264, '2')},
                 {"Override\\rubyevl3.eff", "EFF V2.0" + std::string(264, '3')},
                 {"Override\\rubyevil_readme.txt", "Ruby of Evil\r\nCopy into the game folder.\r\n", 1}};
  return addon;
}

// A talk table for the game folder: the real one of the demo game, or, when the shared data is not
// there, a TLK V1 header with no entries.
std::string game_talk_table() {
  std::string tlk = read_native_file(kDemo / "dialog.tlk");
  if (tlk != "<missing>") return tlk;
  return std::string("TLK V1  \0\0\0\0\0\0\x12\0\0\0", 18);
}

std::vector<std::string> expected_contents(const SampleAddon& addon) {
  std::vector<std::string> lines = {"SPK files in this archive:"};
  for (const TestEntry& entry : addon.patches) lines.push_back(entry.name);
  lines.push_back("");
  lines.push_back("Other files in this archive:");
  for (const TestEntry& entry : addon.files) lines.push_back(entry.name);
  return lines;
}

fs::path native_in(const fs::path& folder, const std::string& relative_name) {
  fs::path path = folder;
  for (const std::string& name : split_path(relative_name)) path /= name;
  return path;
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

  // The item holds the new strrefs, consecutive from the old entry count on, at its positions.
  const std::vector<TalkText> old_entries = talk_entries(old_tlk);
  const std::uint32_t first = static_cast<std::uint32_t>(old_entries.size());
  std::string patched = addon.resource;
  for (std::uint32_t k = 0; k < addon.texts.size(); ++k) {
    for (std::uint32_t position : addon.texts[k].positions) put_u32_at(patched, position, first + k);
  }
  const std::string placed = read_native_file(game / "override" / "RUBY.itm");
  EXPECT_TRUE(placed == patched) << "override\\RUBY.itm: " << placed.size() << " bytes";
  if (placed.size() == patched.size()) {
    EXPECT_EQ(u32_at(placed, 8), first);
    EXPECT_EQ(u32_at(placed, 12), first + 1);
    EXPECT_EQ(u32_at(placed, 80), first + 2);
    EXPECT_EQ(u32_at(placed, 84), first + 2);
  }

  // The talk table kept every old entry and gained the texts at its end.
  const std::string new_tlk = read_native_file(game / "dialog.tlk");
  EXPECT_EQ(new_tlk.substr(0, 10), old_tlk.substr(0, 10)) << "signature, version and language are kept";
  std::vector<TalkText> expected_entries = old_entries;
  for (const SpkText& text : addon.texts) {
    expected_entries.push_back({text.flags, text.sound, text.volume, text.pitch, text.text});
  }
  EXPECT_EQ(talk_entries(new_tlk), expected_entries);

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
  // Of the shortcuts the uninstaller knows only its own: the readme's stays, and so does its folder.
  EXPECT_EQ(names_in(menu_folder), std::set<std::string>{"rubyevil_readme.lnk"});

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
