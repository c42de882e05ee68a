// The sample add-on and the game it is installed into, and what an installation of it leaves outside
// the installer, read back by the Windows tests that run the real installer: the registry, the Start
// Menu, the talk table and the patched item. Also what keeps one test's installation out of the next.
#pragma once

#include <windows.h>
#include <objbase.h>

#include <cstdint>
#include <filesystem>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "tests/support/archive_builder.h"
#include "tests/support/spk_bytes.h"

namespace zep::test {

constexpr char kUninstallKeyPrefix[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

// ---------------------------------------------------------------------------------------------------
// The registry and the Start Menu.

// A string value under HKLM; "<no key>", "<no value>" or "<not a string>" when it is not one.
std::string read_hklm_string(const std::string& key_path, const char* name);
bool hklm_key_exists(const std::string& key_path);

// The Programs folder of the Start Menu, as the installer looks it up; empty when it cannot be read.
std::string programs_folder();

// The names in `folder` (none when it does not exist).
std::set<std::string> names_in(const std::filesystem::path& folder);

// ---------------------------------------------------------------------------------------------------
// The talk table.

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

std::ostream& operator<<(std::ostream& out, const TalkText& entry);

// The entries of a TLK V1 file; a file that does not hold what its header promises comes back as a
// single entry saying so, so that it never passes for a table.
std::vector<TalkText> talk_entries(const std::string& tlk);

// ---------------------------------------------------------------------------------------------------
// What else an installation starts, and what it leaves behind.

// The visible and hidden top-level windows of class `class_name`, of any process.
std::vector<HWND> top_windows_of_class(const char* class_name);

// The readme is opened through the shell, which under wine starts Notepad in a process of its own.
// Whether it comes depends on the system's file associations, not on the installer, so it is only
// waited for up to `milliseconds` and then closed (ended, if it will not close) so that it neither
// lingers nor holds the readme open.
void close_notepad(DWORD milliseconds);

// Removes what an installation of the add-on `addon` registers outside the game folder: its uninstall
// key and its Start Menu folder. Run before the test, so that nothing left from an earlier run can pass
// for this one's work, and again at its end, however it ended.
class RegistrationCleanup {
 public:
  explicit RegistrationCleanup(const std::string& addon);
  ~RegistrationCleanup();
  RegistrationCleanup(const RegistrationCleanup&) = delete;
  RegistrationCleanup& operator=(const RegistrationCleanup&) = delete;

 private:
  void clean();
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
  WithoutMenuMirroring();
  ~WithoutMenuMirroring();
  WithoutMenuMirroring(const WithoutMenuMirroring&) = delete;
  WithoutMenuMirroring& operator=(const WithoutMenuMirroring&) = delete;

 private:
  HKEY key_ = nullptr;
  bool had_value_ = false;
  std::string old_value_;
};

// COM for this thread while it lives (read_link needs it).
class ComScope {
 public:
  ComScope() { CoInitialize(nullptr); }
  ~ComScope() { CoUninitialize(); }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;
};

// ---------------------------------------------------------------------------------------------------
// The add-on of the installer's worked example: a string patch file for one item, and five files
// under Override, the readme (the last) flagged to be opened once installed.

struct SampleAddon {
  std::string resource;            // the item the string patch file carries
  std::vector<SpkText> texts;      // its new texts
  std::vector<TestEntry> patches;  // the string patch file
  std::vector<TestEntry> files;    // the other files
};

SampleAddon sample_addon();

// The name under which the sample's string patch file places its item.
constexpr char kSampleItem[] = "override\\RUBY.itm";

// A talk table for the game folder: the real one of the demo game, or, when the shared data is not
// there, a TLK V1 header with no entries.
std::string game_talk_table();

// `relative_name` (with backslashes) below `folder`.
std::filesystem::path native_in(const std::filesystem::path& folder, const std::string& relative_name);

// Checks (with EXPECT) that `addon`'s texts were appended to the talk table of `game`, which was
// `old_tlk` before, and that its item was placed with their new strrefs, consecutive from the old entry
// count on, at the texts' positions.
void expect_texts_installed(const std::filesystem::path& game, const std::string& old_tlk, const SampleAddon& addon);

}  // namespace zep::test
