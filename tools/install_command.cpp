// zep install: the installer's own installation, run on Linux through the host platform layer.
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>

#include "archive/format.h"
#include "install/driver.h"
#include "install/placement.h"
#include "install/registration.h"
#include "platform/buffers.h"
#include "platform/error_message.h"
#include "shell/game_folder.h"
#include "platform/host_platform.h"
#include "shell/scripted_install.h"
#include "shell/self_location.h"
#include "tools/commands.h"
#include "tools/embedded.h"
#include "tools/error_words.h"
#include "tools/help.h"

namespace zep::tool {
namespace {


// Overwrite questions answered as the options say (0: ask), the shortcut question always No, and
// every box printed to `err`.
void answer_messages(std::ostream& err, int overwrite_answer, std::ostream* report) {
  show_boxes_on_terminal(err, [&err, overwrite_answer](const std::string& text) {
    if (text == kShortcutQuestion) {
      err << "  no: Linux has no Start Menu\n";
      return kIdNo;
    }
    if (text == kOverwriteQuestion && overwrite_answer != 0) {
      err << (overwrite_answer == kIdYes ? "  yes\n" : "  no\n");
      return overwrite_answer;
    }
    return 0;
  }, report);
}

}  // namespace

std::string windows_style(const std::filesystem::path& path) {
  std::string text = std::filesystem::absolute(path).lexically_normal().string();
  while (text.size() > 1 && text.back() == '/') text.pop_back();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

int run_install(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  // The message boxes of this run print to `err`, which does not outlive it.
  struct MessagesBack {
    ~MessagesBack() { show_boxes_on_terminal(std::cerr); }
  } messages_back;
  std::vector<std::string> names;
  int overwrite_answer = 0;
  std::string answer_option;
  std::string report_path;
  for (std::size_t i = 0; i < args.size(); ++i) {
    const std::string& word = args[i];
    if (word == "--report") {
      if (i + 1 >= args.size()) return usage_error("install", "--report needs a value: the file to append to", err);
      report_path = args[++i];
    } else if (word == "--yes" || word == "-y" || word == "--no" || word == "-n") {
      const int answer = word == "--yes" || word == "-y" ? kIdYes : kIdNo;
      if (overwrite_answer != 0 && answer != overwrite_answer) {
        return usage_error("install", answer_option + " and " + word + " contradict each other: give one of them", err);
      }
      overwrite_answer = answer;
      answer_option = word;
    } else if (word == "--no-shortcuts") {
      // Linux has no Start Menu: the question is answered No in any case.
    } else if (!word.empty() && word[0] == '-') {
      return usage_error("install", "unknown option " + word, err);
    } else {
      names.push_back(word);
    }
  }
  if (names.size() != 2) return usage_error("install", "name the add-on (.exe or .zep) and the game folder", err);

  const std::string addon_file = windows_style(names[0]);
  FileHandle file(open_for_reading(addon_file.c_str()));
  if (!file.is_open()) {
    const u32 code = last_error();  // before the stream's own calls can change it
    err << "zep install: " << cannot("read", names[0], code) << "\n";
    return kExitFailed;
  }
  const u32 archive_offset = archive_offset_of(file.get());

  // A bare archive carries no uninstaller: the one built into the tool is written instead.
  std::vector<u8> uninstaller;
  if (archive_offset == 0) {
    EmbeddedProgram program = embedded_uninstaller();
    if (program.data == nullptr || program.length > kUninstallerLength) {
      err << "zep install: this zep was built without UInst.exe, which a bare archive needs\n";
      return kExitFailed;
    }
    uninstaller.assign(program.data, program.data + program.length);
    uninstaller.resize(kUninstallerLength, 0);
  }

  // The add-on's name, from the file name as the installer takes it from its own path.
  std::string lowered = addon_file;
  lower_case_ascii(lowered.data());
  char addon_name[kAddonNameCapacity];
  if (!derive_addon_name(lowered.c_str(), addon_name)) {
    err << "zep install: the file name is too long to give the add-on a name\n";
    return kExitFailed;
  }

  // Every message, and the outcome last, also go to the report, in the scripted install's format.
  std::ofstream report_file;
  if (!report_path.empty() &&
      is_installer_own_report(windows_style(report_path).c_str(), windows_style(names[1]).c_str())) {
    return usage_error("install",
                       "the report " + report_path +
                           " would be written into a file of the installer's own (a talk table, UInst.exe, a log or a "
                           "backup): name another file",
                       err);
  }
  if (!report_path.empty()) {
    report_file.open(report_path, std::ios::app | std::ios::binary);
    if (!report_file) {
      err << "zep install: " << cannot_errno("write", report_path) << "\n";
      return kExitFailed;
    }
  }
  std::ostream* report_stream = report_path.empty() ? nullptr : &report_file;
  auto outcome = [&](int code, int exit_code) {
    if (report_stream != nullptr) *report_stream << "Outcome: " << kOutcomeTexts[code] << "\n" << std::flush;
    return exit_code;
  };

  // The game folder goes through the installer's own check, as if chosen in the folder browser.
  answer_messages(err, overwrite_answer, report_stream);
  const std::string game_folder = windows_style(names[1]);
  host::set_folder_chooser([game_folder](WindowRef, const char*) { return game_folder; });
  char game_path[kMaxPath];
  const FolderChoice choice = choose_game_folder(nullptr, game_path);
  host::reset_folder_chooser();
  if (choice == FolderChoice::kCancelled) {
    err << "zep install: " << names[1] << " is not a folder whose path Windows could hold (at most 259 characters)\n";
  }
  if (choice != FolderChoice::kAccepted) return outcome(kExitNothingDone, kExitFailed);

  out << "Installing " << addon_name << " into " << names[1] << "\n"
      << "Linux has no registry and no Start Menu: the add-on is not registered and gets no shortcuts.\n"
      << std::flush;
  const InstallSource source = {file.get(), archive_offset, nullptr, uninstaller.empty() ? nullptr : uninstaller.data(), false};
  const InstallReport report = install_addon(source, game_path, addon_name, nullptr);
  if (!report.started) return outcome(kExitNothingDone, kExitFailed);
  // The shell of Linux is not the one the add-on was made for: what Windows would open is only named.
  for (const std::string& opened : host::shell_opened()) out << "Opened after installation on Windows: " << opened << "\n";
  const std::string log = (std::filesystem::path(names[1]) / (std::string(addon_name) + ".log")).string();
  if (report.failures == 0) {
    out << "Installed. To remove it: zep uninstall '" << log << "'\n";
    return outcome(kExitInstalled, kExitOk);
  }
  out << "Installed with " << report.failures << (report.failures == 1 ? " failure" : " failures")
      << ", reported above.\n";
  return outcome(kExitSomeFailed, kExitFailed);
}

}  // namespace zep::tool
