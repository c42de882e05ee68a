// The example add-on installed once for every file operation of its installation, with that one
// operation failing: whatever fails, the talk table is either untouched or complete and no resource
// refers to a text it lacks, nothing is written outside the game folder, no temporary file stays,
// every incomplete file was reported, the last message tells success from failure truthfully, and the
// uninstaller then gives back every file the player had, with its original bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <filesystem>
#include <map>
#include <sstream>

#include "archive/format.h"
#include "install/driver.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"
#include "uninstaller/uninstaller.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::write_native_file;

const fs::path kDemo = fs::path(ZEP_TESTDATA) / "gemrb" / "demo";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";

std::string lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text;
}

// Every file below `folder`, by its relative path in lower case, with its content.
std::map<std::string, std::string> files_below(const fs::path& folder) {
  std::map<std::string, std::string> files;
  if (!fs::exists(folder)) return files;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    if (item.is_regular_file()) files[lower(fs::relative(item.path(), folder).string())] = read_native_file(item.path());
  }
  return files;
}

// Every entry below `folder` (files and folders), relative.
std::vector<std::string> tree_below(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(folder)) names.push_back(fs::relative(item.path(), folder).string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<std::string> log_lines(const std::string& log) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < log.size()) {
    std::size_t end = log.find("\r\n", start);
    if (end == std::string::npos) end = log.size();
    lines.push_back(log.substr(start, end - start));
    start = end + 2;
  }
  return lines;
}

struct InstallRun {
  InstallReport report;
  std::vector<std::string> messages;  // "caption: text", in order
  std::size_t operations = 0;         // file operations the installation made
  std::string failed;                 // the one that was made to fail, if any
};

class FaultInjection : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    com_initialize();
    before_ = fs::current_path();
    installer_folder_ = root_.native() / "Installer";
    game_ = root_.native() / "Game";
    fs::create_directories(installer_folder_);
    fs::current_path(installer_folder_);
    game_path_ = root_.path() + "Game/";
    talk_table_ = fs::exists(kDemo / "dialog.tlk") ? read_native_file(kDemo / "dialog.tlk")
                                                   : test::kEmptyTalkTable;
    std::ostringstream out, err;
    const std::string exe = (installer_folder_ / "Example.exe").string();
    ASSERT_EQ(tool::run_pack({std::string(ZEP_SOURCE_DIR) + "/examples/lantern", "--open", "Override\\lantern_readme.txt",
                              "-o", exe},
                             out, err),
              tool::kExitOk)
        << err.str();
    installer_ = read_native_file(exe);
    fs::remove(exe);
    write_native_file(installer_folder_ / "tmp", installer_);
  }
  void TearDown() override {
    fs::current_path(before_);
    host::reset_all();
  }

  // A fresh game folder, registry and Start Menu, then the installation with the `n`-th operation
  // failing with `code` (0: none). Changes are confined to the test's folder throughout.
  InstallRun install(std::size_t n, u32 code) {
    fs::remove_all(game_);
    fs::remove_all(root_.native() / "Programs");
    fs::create_directories(game_);
    fs::create_directories(root_.native() / "Programs");
    write_native_file(game_ / "dialog.tlk", talk_table_);
    for (const auto& [name, bytes] : players_files_) write_native_file(game_ / name, bytes);
    host::clear_registry();
    host::reset_shell();
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", root_.path() + "Programs");
    InstallRun run;
    host::set_message_handler([&run](WindowRef, const char* text, const char* caption, u32 style) {
      run.messages.push_back(std::string(caption) + ": " + text);
      return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;  // shortcuts wanted
    });
    host::confine_changes_to(root_.path());
    FileHandle copy(open_for_reading("tmp"));
    EXPECT_TRUE(copy.is_open());
    InstallSource source = {copy.get(), kStubLayout.archive_offset, nullptr, nullptr, false};
    host::fail_nth_file_operation(n, code);
    run.report = install_addon(source, game_path_.c_str(), "Example", nullptr);
    run.operations = host::file_operation_count();
    run.failed = host::injected_failure();
    host::fail_nth_file_operation(0, 0);
    return run;
  }

  test::TempFolder root_;
  fs::path before_;
  fs::path installer_folder_;
  fs::path game_;
  std::string game_path_;
  std::string talk_table_;
  std::string installer_;
  // What the player has in the game folder before: one file the add-on replaces (the player answers
  // Yes), and one it does not know.
  const std::map<std::string, std::string> players_files_ = {{"Override/LNTRN1.eff", "the player's own effect"},
                                                             {"Override/other.itm", "the player's own item"}};
};

TEST_F(FaultInjection, EveryFailingOperationLeavesTheGameSoundAndIsReported) {
  // The run without faults: how many operations it makes, and what it leaves.
  InstallRun clean = install(0, 0);
  ASSERT_TRUE(clean.report.started);
  ASSERT_EQ(clean.report.failures, 0u);
  const std::size_t operations = clean.operations;
  std::cout << "the installation makes " << operations << " file operations\n";
  ASSERT_GT(operations, 10u);
  const std::map<std::string, std::string> complete = files_below(game_);
  const std::string new_table = complete.at("dialog.tlk");
  ASSERT_NE(new_table, talk_table_);
  const std::vector<std::string> clean_lines = log_lines(complete.at("example.log"));

  std::size_t runs = 0;
  for (u32 code : {win_error::kDiskFull, win_error::kAccessDenied}) {
    for (std::size_t n = 1; n <= operations; ++n) {
      InstallRun run = install(n, code);
      const std::string failed = run.failed;
      SCOPED_TRACE("operation " + std::to_string(n) + " failing with " + std::to_string(code) + ": " + failed);
      ASSERT_FALSE(failed.empty()) << "the same installation makes the same operations";
      ++runs;
      // The talk table that cannot be opened for writing is found before anything changes.
      if (failed.rfind("open_for_appending", 0) == 0 && failed.find("dialog.tlk") != std::string::npos) {
        EXPECT_FALSE(run.report.started);
        ASSERT_EQ(run.messages.size(), 1u);
        EXPECT_NE(run.messages[0].find("Nothing was installed."), std::string::npos) << run.messages[0];
        std::map<std::string, std::string> untouched = files_below(game_);
        EXPECT_EQ(untouched.at("dialog.tlk"), talk_table_);
        EXPECT_EQ(untouched.count("example.log"), 0u);
        continue;
      }
      ASSERT_TRUE(run.report.started);

      // Nothing was even attempted outside the test's folder, and nothing but the working copy (and a
      // "spktmp" whose own deletion was the failure) is left outside the game folder.
      EXPECT_TRUE(host::confinement_escapes().empty());
      std::vector<std::string> outside = tree_below(installer_folder_);
      const bool spktmp_kept = failed.find("delete_file") == 0 && failed.find("spktmp") != std::string::npos;
      std::vector<std::string> allowed = {"tmp"};
      if (spktmp_kept) allowed.insert(allowed.begin(), "spktmp");
      EXPECT_EQ(outside, allowed);
      std::vector<std::string> top;
      for (const auto& item : fs::directory_iterator(root_.native())) top.push_back(item.path().filename().string());
      std::sort(top.begin(), top.end());
      EXPECT_EQ(top, (std::vector<std::string>{"Game", "Installer", "Programs"}));
      for (const std::string& name : tree_below(root_.native() / "Programs")) {
        EXPECT_EQ(name.rfind("Example", 0), 0u) << "only the add-on's Start Menu folder: " << name;
      }

      std::map<std::string, std::string> left = files_below(game_);
      EXPECT_EQ(left.count("dialog.tlk.new"), 0u) << "no temporary talk table";
      ASSERT_EQ(left.count("dialog.tlk"), 1u);
      const std::string& table = left.at("dialog.tlk");
      EXPECT_TRUE(table == talk_table_ || table == new_table) << "the talk table is the old one or the new one";
      // The patched item refers to the new texts: it is there only with them.
      if (table == talk_table_) {
        EXPECT_EQ(left.count("override/lantern.itm"), 0u) << "no resource without its texts";
      }

      // Success is claimed exactly when the result is the complete installation.
      ASSERT_FALSE(run.messages.empty());
      const std::string& last = run.messages.back();
      const bool claimed = last == "ZEP SFX: ZEP imported successfully!";
      EXPECT_EQ(claimed, run.report.failures == 0);
      if (claimed) {
        EXPECT_EQ(left, complete) << "a run that claims success left everything complete";
      } else {
        EXPECT_EQ(last.rfind("ZEP SFX: ZEP imported with errors", 0), 0u) << last;
        // A run that placed no file and left the talk table as it was (without its log it does neither)
        // says so.
        const std::string log = left.count("example.log") != 0 ? left.at("example.log") : "";
        const bool none = log_lines(log).size() <= 2 && table == talk_table_;
        EXPECT_NE(last.find(none ? "\nNothing of the add-on was installed." : "\nThe add-on may not be complete."),
                  std::string::npos)
            << last;
      }

      // Each failure is told with the file and the reason in words and its number; only the first
      // create of a file placed is told, as it always was, by the number alone.
      for (const std::string& message : run.messages) {
        const std::size_t colon = message.find(": ");
        const std::string caption = message.substr(0, colon);
        const std::string text = message.substr(colon + 2);
        if (caption != "Write error" && caption != "ZEP read Error" && caption != "ZEP backup error") continue;
        if (text == std::to_string(code)) {
          EXPECT_EQ(failed.rfind("create_new ", 0), 0u) << message;
          continue;
        }
        EXPECT_TRUE(text.find(game_path_) != std::string::npos || text.find("spktmp") != std::string::npos)
            << "names the file: " << message;
        EXPECT_NE(text.find(" (error " + std::to_string(code) + ")"), std::string::npos) << "says why: " << message;
      }

      // Every logged file is complete, or a failure was reported.
      std::vector<std::string> lines =
          left.count("example.log") ? log_lines(left.at("example.log")) : std::vector<std::string>{};
      for (std::size_t i = 2; i < lines.size(); ++i) {
        std::string name = lower(lines[i]);
        std::replace(name.begin(), name.end(), '\\', '/');
        const bool whole = left.count(name) != 0 && left.at(name) == complete.at(name);
        EXPECT_TRUE(whole || run.report.failures > 0) << lines[i];
      }
      if (table != new_table || lines != clean_lines) {
        EXPECT_GT(run.report.failures, 0u);
      }

      // The uninstaller removes every file it is told of, and the game is as it was: every file the
      // player had is there with its bytes; the talk table keeps what it has.
      if (lines.size() >= 2) {
        std::vector<std::string> said;
        host::set_message_handler([&said](WindowRef, const char* text, const char*, u32 style) {
          said.push_back(text);
          return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
        });
        EXPECT_EQ(run_uninstaller(("UInst -" + game_path_ + "Example.log").c_str()), Outcome::kCompleted);
        std::map<std::string, std::string> after = files_below(game_);
        std::map<std::string, std::string> players;
        for (const auto& [name, bytes] : players_files_) players[lower(name)] = bytes;
        for (std::size_t i = 2; i < lines.size(); ++i) {
          std::string name = lower(lines[i]);
          std::replace(name.begin(), name.end(), '\\', '/');
          if (players.count(name) == 0) {
            EXPECT_EQ(after.count(name), 0u) << lines[i] << " is removed";
          }
        }
        EXPECT_EQ(after.count("example.log"), 0u);
        after.erase("dialog.tlk");
        after.erase("uinst.exe");
        EXPECT_EQ(after, players) << "the player's files, and nothing else";
        ASSERT_FALSE(said.empty());
        EXPECT_EQ(said.back(), "Uninstall completed.");
      }
    }
  }
  EXPECT_EQ(runs, 2 * operations);
}

// The uninstall of the same installation with each of its changing operations failing in turn (the
// Start Menu's and the registry's among them), then run once more: every file the player had is back
// with its bytes, or, when putting it back was what failed, kept in the backup folder and said to
// be; nothing else of the add-on's remains but what a failed step of its own could not remove, and
// nothing outside the game folder, the add-on's Start Menu folder and its key is touched.
TEST_F(FaultInjection, AnUninstallThatFailsAnywhereLeavesThePlayersFilesAndFinishes) {
  const std::string command = "UInst -" + game_path_ + "Example.log";
  const std::string key = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Example";
  auto answer_all = [](std::vector<std::string>* said) {
    host::set_message_handler([said](WindowRef, const char* text, const char*, u32 style) {
      said->push_back(text);
      return (style & 0xF) == kMbYesNo ? kIdYes : kIdOk;
    });
  };
  ASSERT_EQ(install(0, 0).report.failures, 0u);
  ASSERT_TRUE(fs::exists(root_.native() / "Programs" / "Example" / "Uninstall.lnk"));
  ASSERT_TRUE(host::registry_key_exists(RegistryRoot::kLocalMachine, key));
  std::vector<std::string> said;
  answer_all(&said);
  host::fail_nth_file_operation(0, 0);
  ASSERT_EQ(run_uninstaller(command.c_str()), Outcome::kCompleted);
  const std::size_t operations = host::file_operation_count();
  std::cout << "the uninstall makes " << operations << " changing operations\n";
  EXPECT_FALSE(fs::exists(root_.native() / "Programs" / "Example")) << "a clean run leaves the Start Menu clean";
  EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, key));

  std::map<std::string, std::string> players;
  for (const auto& [name, bytes] : players_files_) players[lower(name)] = bytes;
  for (u32 code : {win_error::kAccessDenied, win_error::kSharingViolation}) {
    for (std::size_t n = 1; n <= operations; ++n) {
      ASSERT_EQ(install(0, 0).report.failures, 0u);
      said.clear();
      answer_all(&said);
      host::confine_changes_to(root_.path());
      host::fail_nth_file_operation(n, code);
      const Outcome first = run_uninstaller(command.c_str());
      const std::string failed = host::injected_failure();
      host::fail_nth_file_operation(0, 0);
      SCOPED_TRACE("operation " + std::to_string(n) + " failing with " + std::to_string(code) + ": " + failed);
      ASSERT_FALSE(failed.empty());
      if (first == Outcome::kIncomplete) {
        EXPECT_EQ(run_uninstaller(command.c_str()), Outcome::kCompleted);
      }
      EXPECT_TRUE(host::confinement_escapes().empty());
      ASSERT_FALSE(said.empty());
      EXPECT_EQ(said.back().rfind("Uninstall completed.", 0), 0u) << said.back();

      std::map<std::string, std::string> after = files_below(game_);
      after.erase("dialog.tlk");
      after.erase("uinst.exe");
      // Putting an original back may fail so that it stays in the backup folder, where the last
      // message says it is; a log that could not be deleted stays, naming files that are gone.
      const std::string target = lower(failed.substr(failed.find(' ') + 1));
      const bool restore_failed = failed.rfind("replace_file ", 0) == 0 && target == lower(game_path_) + "override/lntrn1.eff";
      if (restore_failed) {
        EXPECT_NE(said.back().find(".zep-backup folder"), std::string::npos) << said.back();
        EXPECT_NE(said.back().find("LNTRN1.eff"), std::string::npos) << "names the file: " << said.back();
        EXPECT_EQ(after["example.zep-backup/override/lntrn1.eff"], players["override/lntrn1.eff"]);
        after.erase("example.zep-backup/override/lntrn1.eff");
        after["override/lntrn1.eff"] = players["override/lntrn1.eff"];
      }
      if (failed.rfind("delete_file ", 0) == 0 && target == lower(game_path_) + "example.log") after.erase("example.log");
      EXPECT_EQ(after, players) << "the player's files, and nothing else";
      // The add-on's key and its Start Menu folder go, but for a step that failed on them.
      EXPECT_EQ(host::registry_key_exists(RegistryRoot::kLocalMachine, key), failed.rfind("delete_key ", 0) == 0);
      const fs::path menu = root_.native() / "Programs" / "Example";
      if (fs::exists(menu)) {
        EXPECT_NE(target.find(lower((root_.native() / "Programs").string())), std::string::npos) << failed;
        for (const std::string& name : tree_below(menu)) {
          EXPECT_TRUE(name == "Uninstall.lnk" || name == "lantern_readme.lnk") << name;
        }
      }
      EXPECT_TRUE(host::registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs").has_value());
      host::confine_changes_to("");
    }
  }
}

}  // namespace
}  // namespace zep
