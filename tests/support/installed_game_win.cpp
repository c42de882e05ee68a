#include "tests/support/installed_game.h"

#include <gtest/gtest.h>

#include "tests/support/folder_browser.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {

namespace fs = std::filesystem;

namespace {

const fs::path kDemo = fs::path(ZEP_TESTDATA) / "gemrb" / "demo";

constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

struct WindowsOfClass {
  const char* class_name;
  std::vector<HWND> found;
};

BOOL CALLBACK collect_of_class(HWND window, LPARAM param) {
  WindowsOfClass* search = reinterpret_cast<WindowsOfClass*>(param);
  if (window_class_name(window) == search->class_name) search->found.push_back(window);
  return TRUE;
}

}  // namespace

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

std::ostream& operator<<(std::ostream& out, const TalkText& entry) {
  return out << "{" << entry.flags << ", \"" << entry.sound << "\", " << entry.volume << ", " << entry.pitch
             << ", \"" << entry.text << "\"}";
}

std::vector<TalkText> talk_entries(const std::string& tlk) {
  const std::vector<TalkText> broken = {{0, "", 0, 0, "<not a talk table>"}};
  if (tlk.size() < 18) return broken;
  const std::uint32_t count = u32_at(tlk, 10), strings = u32_at(tlk, 14);
  if (strings != 18 + 26ull * count || strings > tlk.size()) return broken;
  std::vector<TalkText> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    const std::size_t at = 18 + 26 * std::size_t{i};
    TalkText entry;
    entry.flags = u16_at(tlk, at);
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

std::vector<HWND> top_windows_of_class(const char* class_name) {
  WindowsOfClass search{class_name, {}};
  EnumWindows(collect_of_class, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

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

RegistrationCleanup::RegistrationCleanup(const std::string& addon) : addon_(addon) { clean(); }

RegistrationCleanup::~RegistrationCleanup() {
  close_notepad(0);
  clean();
}

void RegistrationCleanup::clean() {
  RegDeleteKeyA(HKEY_LOCAL_MACHINE, (kUninstallKeyPrefix + addon_).c_str());
  const std::string programs = programs_folder();
  std::error_code ignored;
  if (!programs.empty()) fs::remove_all(fs::path(programs) / addon_, ignored);
}

namespace {
constexpr char kOverrides[] = "Software\\Wine\\DllOverrides";
constexpr char kMenuBuilder[] = "winemenubuilder.exe";
}  // namespace

WithoutMenuMirroring::WithoutMenuMirroring() {
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  if (ntdll == nullptr || GetProcAddress(ntdll, "wine_get_version") == nullptr) return;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, kOverrides, 0, nullptr, 0, KEY_READ | KEY_WRITE, nullptr, &key_,
                      nullptr) != ERROR_SUCCESS) {
    key_ = nullptr;
    return;
  }
  char old_value[256] = {};
  DWORD size = sizeof old_value - 1;
  had_value_ = RegQueryValueExA(key_, kMenuBuilder, nullptr, nullptr, reinterpret_cast<BYTE*>(old_value), &size) ==
               ERROR_SUCCESS;
  old_value_ = old_value;
  // An empty override turns the program off.
  RegSetValueExA(key_, kMenuBuilder, 0, REG_SZ, reinterpret_cast<const BYTE*>(""), 1);
}

WithoutMenuMirroring::~WithoutMenuMirroring() {
  if (key_ == nullptr) return;
  if (had_value_) {
    RegSetValueExA(key_, kMenuBuilder, 0, REG_SZ, reinterpret_cast<const BYTE*>(old_value_.c_str()),
                   static_cast<DWORD>(old_value_.size() + 1));
  } else {
    RegDeleteValueA(key_, kMenuBuilder);
  }
  RegCloseKey(key_);
}

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

std::string game_talk_table() {
  std::string tlk = read_native_file(kDemo / "dialog.tlk");
  if (tlk != "<missing>") return tlk;
  return std::string("TLK V1  \0\0\0\0\0\0\x12\0\0\0", 18);
}

fs::path native_in(const fs::path& folder, const std::string& relative_name) {
  fs::path path = folder;
  for (const std::string& name : split_path(relative_name)) path /= name;
  return path;
}

void expect_texts_installed(const fs::path& game, const std::string& old_tlk, const SampleAddon& addon) {
  const std::vector<TalkText> old_entries = talk_entries(old_tlk);
  const std::uint32_t first = static_cast<std::uint32_t>(old_entries.size());
  std::string patched = addon.resource;
  for (std::uint32_t k = 0; k < addon.texts.size(); ++k) {
    for (std::uint32_t position : addon.texts[k].positions) put_u32_at(patched, position, first + k);
  }
  const std::string placed = read_native_file(native_in(game, kSampleItem));
  EXPECT_TRUE(placed == patched) << kSampleItem << ": " << placed.size() << " bytes";
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
}

}  // namespace zep::test
