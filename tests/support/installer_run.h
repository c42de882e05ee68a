// The installer under test as a user meets it on Windows: written into a folder of its own and started
// there, its main window found and closed, and the shortcut files it makes read back.
#pragma once

#include <windows.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {

// The first window of a fresh wine prefix can take long to come up.
constexpr DWORD kWindowPatience = 60000;

// One installer written as "Sample.exe" (or as `name` + ".exe") in a folder of its own (so its add-on
// is called "Sample", or `name`) and started there as Explorer (or a script) starts it: by its full path in quotes, then its arguments if
// any, with that folder as the current one, where the working copy "tmp" and the string patch file's
// copy "spktmp" are made.
class InstallerRun {
 public:
  // Writes `installer` and starts it with `arguments`, calling `before_it_runs` first when given.
  // started() tells whether that worked.
  explicit InstallerRun(const std::string& installer, const std::string& arguments = "",
                        const BeforeItRuns& before_it_runs = nullptr, const std::string& name = "Sample");
  // Has `write` write the installer (one too large to hold in memory) and starts it when that worked;
  // installer() is then empty.
  explicit InstallerRun(bool (*write)(const std::filesystem::path& exe));

  bool started() const { return program_->started(); }
  DWORD process_id() const { return program_->process_id(); }
  StartedProgram& program() { return *program_; }
  const TempFolder& folder() const { return folder_; }
  const std::string& installer() const { return installer_; }
  std::filesystem::path exe() const { return folder_.native() / (name_ + ".exe"); }
  std::filesystem::path working_copy() const { return folder_.native() / "tmp"; }
  std::filesystem::path patch_temp_file() const { return folder_.native() / "spktmp"; }

  // The main window, once it exists (it may still be in creation); null when none came in time.
  HWND wait_for_main_window();
  // The main window once it is shown, which is when its creation, the listing included, is over.
  HWND wait_for_shown_main_window();

 private:
  TempFolder folder_;  // outlives the program, which is ended first
  std::string name_ = "Sample";
  std::string installer_;
  std::unique_ptr<StartedProgram> program_;
};

// The controls of the main window, in their order of creation.
HWND main_window_control(HWND window, std::size_t index);
inline HWND contents_list(HWND window) { return main_window_control(window, 1); }
inline HWND select_button(HWND window) { return main_window_control(window, 2); }
inline HWND path_label(HWND window) { return main_window_control(window, 3); }
inline HWND import_button(HWND window) { return main_window_control(window, 4); }

// Closes the main window as its close box does and checks that the program ends well, takes its
// working copy with it and leaves the installer itself.
void close_and_expect_clean_end(InstallerRun& run, HWND window);

// The messages shown, as "[caption: text] ..." for a failure's explanation.
std::string describe(const std::vector<ShownMessage>& shown);

// What a shortcut file holds.
struct LinkContent {
  std::string path, arguments, description;
};

// The shortcut file at `link_path`, read through IShellLinkA (COM initialised by the caller); each
// field that cannot be read comes back as "<unreadable>".
LinkContent read_link(const std::string& link_path);

}  // namespace zep::test
