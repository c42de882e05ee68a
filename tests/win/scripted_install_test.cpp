// The installer started by a script, as a setup tool or a mod manager starts it:
//
//     Sample.exe /S [/O=yes|no] [/SHORTCUTS] [/REPORT=file] /D=C:\path\to\game
//
// The real i686 stub runs under the test's eyes: every window its process creates or shows is seen
// through a WinEvent hook set on the process before its first instruction, every message box through
// a MessageScript; then its exit code, the report, the game folder, the registry and the Start Menu
// are read back.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <future>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <thread>

#include "tests/support/archive_builder.h"
#include "tests/support/installed_game.h"
#include "tests/support/installer_run.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

namespace fs = std::filesystem;

const std::string kUninstallKey = std::string(kUninstallKeyPrefix) + "Sample";
constexpr char kNoTalkTable[] = "<no dialog.tlk>";
constexpr char kCom[] = "OleMainThreadWndClass";  // the hidden message-only window of COM

// ---------------------------------------------------------------------------------------------------
// Watching a process's windows.

// One window of the watched process, as the hook reported it.
struct SeenWindow {
  bool shown = false;        // EVENT_OBJECT_SHOW: it became visible; otherwise EVENT_OBJECT_CREATE
  std::string class_name;    // "" when it was gone before it could be looked at
  bool message_only = false; // its parent is the message window (HWND_MESSAGE): it can never be seen
};

std::ostream& operator<<(std::ostream& out, const SeenWindow& window) {
  return out << (window.shown ? "shown " : "created ") << '"' << window.class_name << '"'
             << (window.message_only ? " (message-only)" : "");
}

// Every window that one process creates or shows, from the moment watch() returns: a WinEvent hook on
// that process alone, out of context, so that the events come to a thread of this watch, which pumps
// its messages for them. The process is hooked while it is still suspended (see BeforeItRuns), so
// that not even its first window can be missed. One watch at a time.
class WindowWatch {
 public:
  WindowWatch() {
    std::promise<DWORD> ready;
    thread_ = std::thread([this, &ready] { pump(&ready); });
    thread_id_ = ready.get_future().get();
  }
  ~WindowWatch() {
    PostThreadMessageA(thread_id_, WM_QUIT, 0, 0);
    thread_.join();
  }
  WindowWatch(const WindowWatch&) = delete;
  WindowWatch& operator=(const WindowWatch&) = delete;

  void watch(DWORD process_id) {
    std::promise<bool> hooked;
    std::future<bool> done = hooked.get_future();
    PostThreadMessageA(thread_id_, kWatch, process_id, reinterpret_cast<LPARAM>(&hooked));
    EXPECT_TRUE(done.get()) << "SetWinEventHook failed";
  }

  // What was seen, once every event already on its way to the watch has come in: a message posted to
  // its thread now is taken after them.
  std::vector<SeenWindow> seen() {
    std::promise<void> settled;
    std::future<void> done = settled.get_future();
    PostThreadMessageA(thread_id_, kSettle, 0, reinterpret_cast<LPARAM>(&settled));
    done.get();
    std::lock_guard<std::mutex> lock(mutex_);
    return seen_;
  }

 private:
  static constexpr UINT kWatch = WM_APP, kSettle = WM_APP + 1;

  void pump(std::promise<DWORD>* ready) {
    MSG message;
    PeekMessageA(&message, nullptr, 0, 0, PM_NOREMOVE);  // the thread's queue, before anyone posts to it
    current_ = this;
    ready->set_value(GetCurrentThreadId());
    HWINEVENTHOOK hook = nullptr;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
      if (message.hwnd == nullptr && message.message == kWatch) {
        hook = SetWinEventHook(EVENT_OBJECT_CREATE, EVENT_OBJECT_SHOW, nullptr, on_event,
                               static_cast<DWORD>(message.wParam), 0, WINEVENT_OUTOFCONTEXT);
        reinterpret_cast<std::promise<bool>*>(message.lParam)->set_value(hook != nullptr);
      } else if (message.hwnd == nullptr && message.message == kSettle) {
        reinterpret_cast<std::promise<void>*>(message.lParam)->set_value();
      } else {
        DispatchMessageA(&message);
      }
    }
    if (hook != nullptr) UnhookWinEvent(hook);
    current_ = nullptr;
  }

  static void CALLBACK on_event(HWINEVENTHOOK, DWORD event, HWND window, LONG object, LONG child, DWORD, DWORD) {
    if (object != OBJID_WINDOW || child != CHILDID_SELF || event == EVENT_OBJECT_DESTROY) return;
    HWND parent = GetAncestor(window, GA_PARENT);
    SeenWindow seen{event == EVENT_OBJECT_SHOW, window_class_name(window),
                    parent != nullptr && window_class_name(parent) == "Message"};
    std::lock_guard<std::mutex> lock(current_->mutex_);
    current_->seen_.push_back(seen);
  }

  static inline WindowWatch* current_ = nullptr;
  std::thread thread_;
  DWORD thread_id_ = 0;
  std::mutex mutex_;
  std::vector<SeenWindow> seen_;
};

bool any_of_class(const std::vector<SeenWindow>& windows, const std::string& class_name, bool shown) {
  for (const SeenWindow& window : windows) {
    if (window.class_name == class_name && window.shown == shown) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------------------------------
// One run of the installer to its end.

struct Finished {
  long exit_code = -1;               // -1: it did not end in time
  std::vector<SeenWindow> windows;   // every window it created or showed
  std::vector<ShownMessage> boxes;   // every message box it showed, answered OK (or No)
  std::set<std::string> beside;      // what it left in its own folder
};

Finished run_installer(const std::string& installer, const std::string& arguments,
                       const std::string& name = "Sample") {
  WindowWatch watch;
  MessageScript script;
  InstallerRun run(installer, arguments, [&](DWORD process_id) {
    watch.watch(process_id);
    script.watch_process(process_id);
  }, name);
  Finished finished;
  EXPECT_TRUE(run.started()) << "cannot start the installer with " << arguments;
  if (!run.started()) return finished;
  finished.exit_code = run.program().wait_for_exit(kWindowPatience);
  finished.windows = watch.seen();
  finished.boxes = script.shown();
  finished.beside = names_in(run.folder().native());
  return finished;
}

// A run with /S: nothing on the screen, ever. COM's message-only window is all it may make.
void expect_no_window(const Finished& run) {
  EXPECT_TRUE(run.boxes.empty()) << describe(run.boxes);
  std::ostringstream unexpected;
  for (const SeenWindow& window : run.windows) {
    if (window.shown || !window.message_only || window.class_name != kCom) unexpected << window << "; ";
  }
  EXPECT_EQ(unexpected.str(), "") << "windows of a run that shows none";
  EXPECT_EQ(run.beside, std::set<std::string>{"Sample.exe"}) << "the working copy goes with the run";
}

// A game folder with a blank in its name, "Icewind Game", in a temporary folder of its own beside the
// report file that the runs append to (also named with a blank, so quoted on the command line).
struct Game {
  explicit Game(const std::string& tlk = game_talk_table()) {
    fs::create_directories(folder);
    if (tlk != kNoTalkTable) write_native_file(folder / "dialog.tlk", tlk);
  }
  // The command line with "{game}" and "{report}" replaced by the switches that name the folder and
  // the report, and "{folder}" by the folder as the command line gives it.
  std::string fill(std::string text) const {
    for (const auto& [token, value] : {std::pair<std::string, std::string>{"{game}", "/D=" + as_typed},
                                       {"{report}", "/REPORT=\"" + temp.path() + kReportName + "\""},
                                       {"{folder}", as_typed}}) {
      for (std::size_t at; (at = text.find(token)) != std::string::npos;) text.replace(at, token.size(), value);
    }
    return text;
  }
  std::string report_text() const { return read_native_file(report); }

  TempFolder temp;
  const fs::path folder = temp.native() / "Icewind Game";
  const std::string as_typed = temp.path() + "Icewind Game";  // no backslash at its end
  const std::string path = as_typed + "\\";                     // GamePath, as the installer writes it
  static constexpr char kReportName[] = "install report.txt";
  const fs::path report = temp.native() / kReportName;
};

// Every file below `folder` with its bytes, to see that a refused run changed nothing.
std::map<std::string, std::string> tree_of(const fs::path& folder) {
  std::map<std::string, std::string> files;
  for (const fs::directory_entry& entry : fs::recursive_directory_iterator(folder)) {
    files[entry.path().lexically_relative(folder).string()] =
        entry.is_regular_file() ? read_native_file(entry.path()) : "<folder>";
  }
  return files;
}

std::string question_line(const Game& game, const std::string& name) {
  return game.path + name + ": File already exists. Overwrite?\r\n";
}

constexpr char kShortcutLine[] = "ZEP SFX: Do you want to create Start Menu shortcuts?\r\n";
constexpr char kSucceeded[] = "ZEP SFX: ZEP imported successfully!\r\nOutcome: 0: every step succeeded\r\n";

class ScriptedInstall : public ::testing::Test {
 protected:
  // The sample add-on's self-extracting file, with `extra` files after the add-on's own.
  std::string installer(const std::vector<TestEntry>& extra = {}) const {
    std::vector<TestEntry> files = addon_.files;
    files.insert(files.end(), extra.begin(), extra.end());
    return build_installer(build_test_archive(addon_.patches, files));
  }
  std::string log_of(const Game& game, const std::string& except = "") const {
    std::string log = "Sample\r\n" + game.path + "\r\n" + kSampleItem + "\r\n";
    for (const TestEntry& entry : addon_.files) {
      if (entry.name != except) log += entry.name + "\r\n";
    }
    return log;
  }
  void SetUp() override {
    ASSERT_FALSE(installer().empty()) << "cannot read " << ZEP_TEST_STUB << " or " << ZEP_TEST_UINST;
  }

  RegistrationCleanup cleanup_{"Sample"};
  ComScope com_;
  WithoutMenuMirroring no_menu_mirroring_;
  const SampleAddon addon_ = sample_addon();
  const fs::path menu_folder_ = fs::path(programs_folder()) / "Sample";
};

TEST_F(ScriptedInstall, InstallsTheSampleAddonWithoutAWindowAndAppendsEveryMessageToTheReport) {
  ASSERT_FALSE(programs_folder().empty()) << "the prefix has no Programs folder";
  Game game;
  const std::string old_tlk = read_native_file(game.folder / "dialog.tlk");
  const std::string replaced = addon_.files[1].name;
  write_native_file(native_in(game.folder, replaced), "the player's original effect");

  // Overwriting is the default; no shortcuts without /SHORTCUTS.
  Finished first = run_installer(installer(), game.fill("/S {report} {game}"));
  EXPECT_EQ(first.exit_code, 0);
  expect_no_window(first);
  const std::string first_report = kShortcutLine + question_line(game, replaced) + kSucceeded;
  EXPECT_EQ(game.report_text(), first_report);

  EXPECT_TRUE(read_native_file(game.folder / "UInst.exe") == installer().substr(36864, 4096))
      << "UInst.exe is not the uninstaller slot";
  for (const TestEntry& entry : addon_.files) {
    EXPECT_EQ(read_native_file(native_in(game.folder, entry.name)), entry.data) << entry.name;
  }
  EXPECT_EQ(read_native_file(native_in(game.folder / "Sample.zep-backup", replaced)), "the player's original effect");
  EXPECT_EQ(read_native_file(game.folder / "Sample.log"), log_of(game));
  expect_texts_installed(game.folder, old_tlk, addon_);
  EXPECT_EQ(read_hklm_string(kUninstallKey, "DisplayName"), "Sample");
  EXPECT_EQ(read_hklm_string(kUninstallKey, "UninstallString"),
            "\"" + game.path + "UInst.exe\" -" + game.path + "Sample.log");
  EXPECT_FALSE(fs::exists(menu_folder_));

  // Again, over the first, with shortcuts and overwriting declined, the folder named with a backslash
  // at its end (the same folder: its log is continued): a file the player changed since stays, the
  // Start Menu folder comes, and the report goes on after the first run's lines.
  const std::string changed = addon_.files[2].name;
  write_native_file(native_in(game.folder, changed), "changed by the player");
  Finished second = run_installer(installer(), game.fill("/S /O=no /SHORTCUTS {report} /D={folder}\\"));
  EXPECT_EQ(second.exit_code, 0);
  expect_no_window(second);
  std::string second_report = kShortcutLine + question_line(game, kSampleItem);
  for (const TestEntry& entry : addon_.files) second_report += question_line(game, entry.name);
  EXPECT_EQ(game.report_text(), first_report + second_report + kSucceeded);
  EXPECT_EQ(read_native_file(native_in(game.folder, changed)), "changed by the player");
  EXPECT_EQ(read_native_file(game.folder / "Sample.log"), log_of(game)) << "the log is continued, not repeated";
  EXPECT_EQ(names_in(menu_folder_), (std::set<std::string>{"Uninstall.lnk", "rubyevil_readme.lnk"}));
  const LinkContent uninstall = read_link((menu_folder_ / "Uninstall.lnk").string());
  EXPECT_EQ(uninstall.path, game.path + "UInst.exe");
  EXPECT_EQ(uninstall.arguments, " -" + game.path + "Sample.log");
  EXPECT_EQ(read_link((menu_folder_ / "rubyevil_readme.lnk").string()).path, game.path + addon_.files[4].name);

  // Nobody watches a scripted install: the readme flagged to be opened is not. Opened as the
  // window's installation opens it, it would have come up in Notepad.
  const auto notepad_up = [] { return !top_windows_of_class("Notepad").empty(); };
  EXPECT_FALSE(wait_until(notepad_up, 3000)) << "the readme was opened";
  const std::string readme = game.path + addon_.files[4].name;
  ShellExecuteA(nullptr, "open", readme.c_str(), nullptr, ".", SW_SHOW);
  EXPECT_TRUE(wait_until(notepad_up, kWindowPatience)) << "opening the readme shows no Notepad here";
  close_notepad(0);
}

// A game folder copied since the add-on was installed (a backup, a second installation): the next
// installation into the copy continues its log with the copy as its folder, takes over the
// registration, and the real UInst.exe started with the stored command gives the copy back as it was
// before the first installation, leaves the original folder as it is, and takes its Start Menu
// folder, readme shortcut included, and its key with it.
TEST_F(ScriptedInstall, AnUpdateIntoACopiedGameInstallsAndItsUninstallLeavesTheStartMenuClean) {
  Game game;
  const std::string replaced = addon_.files[1].name;
  write_native_file(native_in(game.folder, replaced), "the player's original effect");
  std::map<std::string, std::string> before = tree_of(game.folder);
  Finished first = run_installer(installer(), game.fill("/S /SHORTCUTS {game}"));
  ASSERT_EQ(first.exit_code, 0) << describe(first.boxes);
  const std::map<std::string, std::string> installed = tree_of(game.folder);

  const fs::path copy = game.temp.native() / "Icewind Copy";
  fs::copy(game.folder, copy, fs::copy_options::recursive);
  const std::string copy_path = game.temp.path() + "Icewind Copy\\";
  Finished update = run_installer(installer(), "/S /SHORTCUTS /D=" + copy_path);
  ASSERT_EQ(update.exit_code, 0) << describe(update.boxes);
  const std::string log = read_native_file(copy / "Sample.log");
  EXPECT_EQ(log.substr(0, log.find("\r\n", 8) + 2), "Sample\r\n" + copy_path + "\r\n");
  const std::string command = read_hklm_string(kUninstallKey, "UninstallString");
  EXPECT_EQ(command, "\"" + copy_path + "UInst.exe\" -" + copy_path + "Sample.log");
  EXPECT_EQ(names_in(menu_folder_), (std::set<std::string>{"Uninstall.lnk", "rubyevil_readme.lnk"}));

  MessageScript script;
  script.answer(kIdYes);
  StartedProgram uninstaller(copy_path + "UInst.exe", command, game.temp.path());
  ASSERT_TRUE(uninstaller.started());
  script.watch_process(uninstaller.process_id());
  EXPECT_EQ(uninstaller.wait_for_exit(60000), 0);
  ASSERT_EQ(script.shown().size(), 2u) << describe(script.shown());
  EXPECT_EQ(script.shown()[1].text, "Uninstall completed.");

  std::map<std::string, std::string> after = tree_of(copy);
  after.erase("UInst.exe");
  after.erase("dialog.tlk");
  before.erase("dialog.tlk");
  // Folders the installation made stay (empty); every file is as it was before the first installation.
  for (auto it = after.begin(); it != after.end();) {
    it = it->second == "<folder>" && before.count(it->first) == 0 ? after.erase(it) : std::next(it);
  }
  EXPECT_EQ(after, before);
  EXPECT_EQ(tree_of(game.folder), installed) << "the original folder is untouched";
  EXPECT_FALSE(fs::exists(menu_folder_));
  EXPECT_FALSE(hklm_key_exists(kUninstallKey));
}

TEST_F(ScriptedInstall, TheOverwriteSwitchAnswersForAFileThePlayerAlreadyHad) {
  const std::string name = addon_.files[3].name;
  for (const auto& [option, replaces] : {std::pair{"/O=no", false}, {"/o=NO", false}, {"/O=yes", true}}) {
    SCOPED_TRACE(option);
    Game game;
    write_native_file(native_in(game.folder, name), "the player's own effect");
    Finished run = run_installer(installer(), game.fill(std::string("/S ") + option + " {report} {game}"));
    EXPECT_EQ(run.exit_code, 0);
    expect_no_window(run);
    EXPECT_EQ(game.report_text(), kShortcutLine + question_line(game, name) + kSucceeded);
    const fs::path backup = native_in(game.folder / "Sample.zep-backup", name);
    if (replaces) {
      EXPECT_EQ(read_native_file(native_in(game.folder, name)), addon_.files[3].data);
      EXPECT_EQ(read_native_file(backup), "the player's own effect");
      EXPECT_EQ(read_native_file(game.folder / "Sample.log"), log_of(game));
    } else {
      EXPECT_EQ(read_native_file(native_in(game.folder, name)), "the player's own effect");
      EXPECT_FALSE(fs::exists(backup));
      EXPECT_EQ(read_native_file(game.folder / "Sample.log"), log_of(game, name)) << "a kept file is not the add-on's";
    }
  }
}

TEST_F(ScriptedInstall, AFileTheInstallerKeepsForItselfIsRefusedTheRestInstalledAndTheExitCodeIsOne) {
  Game game;
  Finished run = run_installer(installer({{"dialogF.tlk.old", "not the game's"}, {"Sample.log", "Sample\r\nC:\\\r\n"}}),
                               game.fill("/S {report} {game}"));
  EXPECT_EQ(run.exit_code, 1);
  expect_no_window(run);
  EXPECT_EQ(game.report_text(),
            std::string(kShortcutLine) +
                "ZEP refused file: The add-on's file dialogF.tlk.old is not installed: the installer keeps this name, "
                "or one it may be short for, for itself.\r\n"
                "ZEP refused file: The add-on's file Sample.log is not installed: the installer keeps this name, or "
                "one it may be short for, for itself.\r\n"
                "ZEP SFX: ZEP imported with errors: 2 steps of the installation failed. The add-on may not be "
                "complete.\r\n"
                "Outcome: 1: some steps failed\r\n");
  for (const TestEntry& entry : addon_.files) {
    EXPECT_EQ(read_native_file(native_in(game.folder, entry.name)), entry.data) << entry.name;
  }
  EXPECT_FALSE(fs::exists(game.folder / "dialogF.tlk.old"));
  EXPECT_EQ(read_native_file(game.folder / "Sample.log"), log_of(game));
  EXPECT_EQ(read_hklm_string(kUninstallKey, "DisplayName"), "Sample");
}

// Runs the real UInst.exe with the uninstall command `addon`'s key holds, answering Yes, and returns the
// last message it showed.
std::string uninstall_with_stored_command(const std::string& addon, const std::string& game_path) {
  const std::string command = read_hklm_string(kUninstallKeyPrefix + addon, "UninstallString");
  MessageScript script;
  script.answer(kIdYes);
  StartedProgram uninstaller(game_path + "UInst.exe", command, game_path);
  EXPECT_TRUE(uninstaller.started()) << command;
  if (!uninstaller.started()) return "";
  script.watch_process(uninstaller.process_id());
  EXPECT_EQ(uninstaller.wait_for_exit(60000), 0);
  return script.shown().empty() ? "" : script.shown().back().text;
}

// The files of `folder` but the talk table (which keeps what was appended) and UInst.exe, without the
// empty folders an installation leaves.
std::map<std::string, std::string> game_files_of(const fs::path& folder) {
  std::map<std::string, std::string> files = tree_of(folder);
  files.erase("UInst.exe");
  files.erase("dialog.tlk");
  for (auto it = files.begin(); it != files.end();) it = it->second == "<folder>" ? files.erase(it) : std::next(it);
  return files;
}

// Two add-ons told of the same game folder in two spellings, both replacing the player's file: the
// second knows the first's log all the same, takes the file over with its original, and the real
// UInst.exe of each gives the game back as it was, whichever order they are removed in.
TEST_F(ScriptedInstall, TwoSpellingsOfOneGameFolderAreOneGame) {
  RegistrationCleanup alpha_cleanup("Alpha");
  RegistrationCleanup beta_cleanup("Beta");
  for (const bool alpha_first : {true, false}) {
    SCOPED_TRACE(alpha_first ? "Alpha removed first" : "Beta removed first");
    Game game;
    const std::string replaced = addon_.files[1].name;
    write_native_file(native_in(game.folder, replaced), "the player's original effect");
    const std::map<std::string, std::string> before = game_files_of(game.folder);
    const std::string spelled = game.temp.path() + "Icewind Game\\..\\.\\Icewind Game\\\\";
    Finished alpha = run_installer(installer(), "/S /D=" + spelled, "Alpha");
    ASSERT_EQ(alpha.exit_code, 0) << describe(alpha.boxes);
    const std::string alpha_log = read_native_file(game.folder / "Alpha.log");
    EXPECT_EQ(alpha_log.substr(0, alpha_log.find("\r\n", 7) + 2), "Alpha\r\n" + game.path + "\r\n")
        << "one spelling of the folder";
    Finished beta = run_installer(installer(), "/S /D=" + game.as_typed, "Beta");
    ASSERT_EQ(beta.exit_code, 0) << describe(beta.boxes);
    EXPECT_EQ(read_native_file(game.folder / "Alpha.log"), "Alpha\r\n" + game.path + "\r\n")
        << "Beta took over every file Alpha had placed";
    EXPECT_EQ(read_native_file(native_in(game.folder / "Beta.zep-backup", replaced)), "the player's original effect");
    EXPECT_FALSE(fs::exists(game.folder / "Alpha.zep-backup"));

    EXPECT_EQ(uninstall_with_stored_command(alpha_first ? "Alpha" : "Beta", game.path), "Uninstall completed.");
    EXPECT_EQ(uninstall_with_stored_command(alpha_first ? "Beta" : "Alpha", game.path), "Uninstall completed.");
    EXPECT_EQ(game_files_of(game.folder), before);
  }
}

// The player's file that cannot be replaced (another program holds it open, as a game or an editor
// may; a file marked read-only is another such case, which wine running as root does not enforce and
// the host tests cover) is not, and no backup of it stays to block the next installation or to be put
// back later; once it is free, it is replaced and comes back at the uninstall.
TEST_F(ScriptedInstall, AFileThatCannotBeReplacedLeavesNoBackupBehind) {
  Game game;
  const std::string replaced = addon_.files[1].name;
  const fs::path file = native_in(game.folder, replaced);
  write_native_file(file, "the player's original effect");
  const std::map<std::string, std::string> before = game_files_of(game.folder);
  {
    // Read, and to be read by others too (so that its backup can be made), but not written.
    HANDLE held = CreateFileA(file.string().c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    Finished first = run_installer(installer(), game.fill("/S {report} {game}"));
    CloseHandle(held);
    EXPECT_EQ(first.exit_code, 1);
    EXPECT_NE(game.report_text().find(game.path + replaced + " could not be written: "), std::string::npos)
        << game.report_text();
    EXPECT_NE(game.report_text().find("(error 32)"), std::string::npos) << game.report_text();
  }
  EXPECT_EQ(read_native_file(file), "the player's original effect");
  EXPECT_FALSE(fs::exists(native_in(game.folder / "Sample.zep-backup", replaced)));

  Finished second = run_installer(installer(), "/S " + game.fill("{game}"));
  EXPECT_EQ(second.exit_code, 0) << describe(second.boxes);
  EXPECT_EQ(read_native_file(file), addon_.files[1].data);
  EXPECT_EQ(uninstall_with_stored_command("Sample", game.path), "Uninstall completed.");
  EXPECT_EQ(game_files_of(game.folder), before);
}

// Nothing to install: a folder that is not a game's, a damaged installer, a command line that cannot
// be read, a report that cannot be written. The game folder and everything beside it stay as they
// were, byte for byte, nothing is registered, and the exit code is 2. With /S nothing is shown; a bad
// command line without it shows the usage, and no main window.
TEST_F(ScriptedInstall, WhenNothingCanBeInstalledNothingChangesAndTheExitCodeIsTwo) {
  struct Case {
    const char* what;
    std::string tlk;        // the game folder's dialog.tlk, or kNoTalkTable
    bool cut_short;         // the installer as a download cut short leaves it
    const char* arguments;  // with the tokens of Game::fill
    std::string report;     // the report afterwards, with the tokens of Game::fill
    bool usage;             // the usage box is shown
  };
  const std::string not_written = "<missing>";
  const std::string outcome = "Outcome: 2: nothing was installed\r\n";
  // A bad command line that asks for /S has its usage reported instead of shown.
  const std::string usage =
      "ZEP command line: Usage: Addon.exe /S [/O=yes|no] [/SHORTCUTS] [/REPORT=file] /D=C:\\path\\to\\game\r\n" +
      outcome;
  constexpr std::size_t kCut = 10;  // bytes missing at the end of an installer cut short
  const std::size_t archive_length = installer().size() - 40960;
  const std::vector<Case> cases = {
      {"a folder without dialog.tlk", kNoTalkTable, false, "/S {report} {game}",
       "{folder}\\dialog.tlk: The dialog file cannot be located. Only dirs containing a dialog.tlk file are "
       "considered valid.\r\n" + outcome, false},
      {"a dialog.tlk that is not a talk table", "TLK V1  and no more", false, "/S {report} {game}",
       "{folder}\\dialog.tlk: The dialog file is not a talk table: its entry table lies outside it.\r\n" + outcome,
       false},
      {"an installer cut short", game_talk_table(), true, "/S {report} {game}",
       "ZEP archive damaged: This installer's archive is damaged: it is cut short, only " +
           std::to_string(archive_length - kCut) + " of its " + std::to_string(archive_length) +
           " bytes are there.  Please download it again.\r\n" + outcome,
       false},
      {"an unknown switch", game_talk_table(), false, "/S /QUIET {report} {game}", usage, false},
      {"no /D=", game_talk_table(), false, "/S {report}", usage, false},
      {"an empty /D=", game_talk_table(), false, "/S {report} /D=  ", usage, false},
      {"/S given twice", game_talk_table(), false, "/S /s {report} {game}", usage, false},
      {"a folder that is not a whole path", game_talk_table(), false, "/S {report} /D=Icewind Game", usage,
       false},
      {"a report in a folder that does not exist", game_talk_table(), false,
       "/S /REPORT=\"{folder}\\missing\\report.txt\" {game}", not_written, false},
      // /S anywhere before /D= silences the run, even when what is wrong comes before it.
      {"an unknown switch before /S", game_talk_table(), false, "/QUIET /S {report} {game}", usage, false},
      {"/D= without /S", game_talk_table(), false, "{report} {game}", not_written, true},
      {"a bad /O= without /S", game_talk_table(), false, "/O=maybe {game}", not_written, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Game game(c.tlk);
    const std::map<std::string, std::string> before = tree_of(game.temp.native());
    std::string bytes = installer();
    if (c.cut_short) bytes.resize(bytes.size() - kCut);
    Finished run = run_installer(bytes, game.fill(c.arguments));
    EXPECT_EQ(run.exit_code, 2);
    EXPECT_EQ(game.report_text(), game.fill(c.report));
    std::map<std::string, std::string> after = tree_of(game.temp.native());
    after.erase(Game::kReportName);
    EXPECT_EQ(after, before);
    EXPECT_FALSE(hklm_key_exists(kUninstallKey));
    EXPECT_FALSE(fs::exists(menu_folder_));
    if (!c.usage) {
      expect_no_window(run);
      continue;
    }
    ASSERT_EQ(run.boxes.size(), 1u) << describe(run.boxes);
    EXPECT_EQ(run.boxes[0].caption, "ZEP command line");
    EXPECT_EQ(run.boxes[0].text.rfind("Usage: Addon.exe /S", 0), 0u) << run.boxes[0].text;
    EXPECT_EQ(run.boxes[0].style, kMbOk);
    EXPECT_FALSE(run.boxes[0].has_owner);
    EXPECT_TRUE(any_of_class(run.windows, "#32770", true)) << "the watch saw the box come";
    EXPECT_FALSE(any_of_class(run.windows, "ZEPExtractor", false)) << "no main window";
    EXPECT_EQ(run.beside, std::set<std::string>{"Sample.exe"});
  }
}

// The watch behind every "no window" above sees the window of an installer started as a player
// starts it, without arguments: the main window is created and shown.
TEST_F(ScriptedInstall, WithoutArgumentsTheWatchSeesTheMainWindowCome) {
  WindowWatch watch;
  InstallerRun run(installer(), "", [&](DWORD process_id) { watch.watch(process_id); });
  ASSERT_TRUE(run.started());
  HWND window = run.wait_for_shown_main_window();
  ASSERT_NE(window, nullptr) << "the main window was not shown";
  EXPECT_TRUE(wait_until([&] { return any_of_class(watch.seen(), "ZEPExtractor", true); }, kWindowPatience));
  const std::vector<SeenWindow> seen = watch.seen();
  EXPECT_TRUE(any_of_class(seen, "ZEPExtractor", false));
  for (const SeenWindow& one : seen) {
    if (one.class_name == "ZEPExtractor") {
      EXPECT_FALSE(one.message_only);
    }
  }
  close_and_expect_clean_end(run, window);
}

// The installer stub serves the classic games: a game whose dialogF.tlk is one entry shorter than its
// dialog.tlk gets the texts at the same strrefs in both, dialogF.tlk padded first, and their bytes as
// they are. An Enhanced Edition's folder (its tables in lang\<locale>\) is refused, saying to install
// with the zep tool, and nothing changes, also when a dialog.tlk the game does not read is at its top.
TEST_F(ScriptedInstall, EveryTalkTableOfAGameGrowsInStepInClassicGamesAndEnhancedEditions) {
  const std::string ansi = "Caf\xe9 \x93lit\x94";
  const std::string utf8 = "\xc3\x9c" "berall \xe2\x9c\x93";
  const std::string item(64, 'i');
  const std::vector<SpkText> texts = {{ansi, 3, "", 0, 0, {8}}, {utf8, 1, "SND", 0, 0, {12}}};
  const std::string spk_installer =
      build_installer(build_test_archive({{"LAMP.spk", build_spk4("LAMP.itm", item, texts)}}, addon_.files));
  const auto table_of = [](int count, const std::string& word) {
    std::vector<Line> lines;
    for (int i = 0; i < count; ++i) lines.push_back({1, "", 0, 0, word + std::to_string(i)});
    return build_tlk(lines);
  };
  {
    Game game(table_of(3, "dialog.tlk"));
    write_native_file(game.folder / "dialogF.tlk", table_of(2, "dialogF.tlk"));
    Finished run = run_installer(spk_installer, "/S " + game.fill("{game}"));
    ASSERT_EQ(run.exit_code, 0) << describe(run.boxes);
    for (const std::string name : {"dialog.tlk", "dialogF.tlk"}) {
      SCOPED_TRACE(name);
      const std::vector<TalkText> entries = talk_entries(read_native_file(game.folder / name));
      ASSERT_EQ(entries.size(), 5u);
      EXPECT_EQ(entries[0].text, name + "0");
      if (name == "dialogF.tlk") EXPECT_EQ(entries[2], TalkText{}) << "padded with an empty entry";
      EXPECT_EQ(entries[3].text, ansi) << "a classic game's bytes as they are";
      EXPECT_EQ(entries[4].text, utf8);
      EXPECT_EQ(entries[4].sound, "SND");
    }
    const std::string placed = read_native_file(native_in(game.folder, "override\\LAMP.itm"));
    ASSERT_EQ(placed.size(), item.size());
    EXPECT_EQ(u32_at(placed, 8), 3u);
    EXPECT_EQ(u32_at(placed, 12), 4u);
    EXPECT_EQ(uninstall_with_stored_command("Sample", game.path), "Uninstall completed.");
  }
  // An Enhanced Edition of three languages, one with dialogF.tlk and one shorter than the others, with
  // a dialog.tlk at its top as well, which the game does not read: every language's tables grow in
  // step, the shorter one padded, the texts in UTF-8.
  const std::string ansi_in_utf8 = "Caf\xc3\xa9 \xe2\x80\x9clit\xe2\x80\x9d";
  for (const bool top : {false, true}) {
    SCOPED_TRACE(top ? "with a dialog.tlk at its top" : "without one at its top");
    Game game(top ? table_of(3, "top") : kNoTalkTable);
    const std::vector<std::string> tables = {"lang\\en_US\\dialog.tlk", "lang\\de_DE\\dialog.tlk",
                                             "lang\\de_DE\\dialogF.tlk", "lang\\fr_FR\\dialog.tlk"};
    const std::string shorter = tables[3];
    for (const std::string& name : tables) {
      fs::create_directories(native_in(game.folder, name).parent_path());
      write_native_file(native_in(game.folder, name), table_of(name == shorter ? 2 : 3, name));
    }
    Finished run = run_installer(spk_installer, game.fill("/S {report} {game}"));
    ASSERT_EQ(run.exit_code, 0) << describe(run.boxes) << game.report_text();
    for (const std::string& name : tables) {
      SCOPED_TRACE(name);
      const std::vector<TalkText> entries = talk_entries(read_native_file(native_in(game.folder, name)));
      ASSERT_EQ(entries.size(), 5u);
      EXPECT_EQ(entries[0].text, name + "0");
      if (name == shorter) EXPECT_EQ(entries[2], TalkText{}) << "padded with an empty entry";
      if (name != shorter) EXPECT_EQ(entries[2].text, name + "2");
      EXPECT_EQ(entries[3].text, ansi_in_utf8) << "the ANSI text in UTF-8";
      EXPECT_EQ(entries[4].text, utf8) << "UTF-8 as it is";
      EXPECT_EQ(entries[4].sound, "SND");
    }
    if (top) EXPECT_EQ(read_native_file(game.folder / "dialog.tlk"), table_of(3, "top"));
    const std::string placed = read_native_file(native_in(game.folder, "override\\LAMP.itm"));
    ASSERT_EQ(placed.size(), item.size());
    EXPECT_EQ(u32_at(placed, 8), 3u);
    EXPECT_EQ(u32_at(placed, 12), 4u);
    EXPECT_EQ(uninstall_with_stored_command("Sample", game.path), "Uninstall completed.");
    for (const std::string& name : tables) {
      EXPECT_EQ(talk_entries(read_native_file(native_in(game.folder, name))).size(), 5u)
          << name << ": the uninstaller leaves the grown tables";
    }
  }
}

}  // namespace
}  // namespace zep::test
