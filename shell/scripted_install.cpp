#include "shell/scripted_install.h"

#include "archive/format.h"
#include "install/driver.h"
#include "install/own_files.h"
#include "install/placement.h"
#include "platform/buffers.h"
#include "shell/game_folder.h"
#include "shell/self_location.h"

namespace zep {
namespace {

// What the answerer of the run needs; a plain function pointer cannot carry it.
struct ScriptedRun {
  FileRef report;  // null when there is none
  bool overwrite;
  bool shortcuts;
};
ScriptedRun g_run;

void report_text(const char* text) {
  if (g_run.report != nullptr) write_file(g_run.report, text, text_length(text));
}

// One line of the report: the caption, then the text with its line ends made blanks.
void report_line(const char* caption, const char* text) {
  report_text(caption);
  report_text(": ");
  for (; *text != 0 && g_run.report != nullptr; ++text) {
    const char c = *text == '\n' ? ' ' : *text;
    write_file(g_run.report, &c, 1);
  }
  report_text("\r\n");
}

int answer_message(const char* text, const char* caption, u32 style) {
  report_line(caption, text);
  if ((style & 0xF) != kMbYesNo) return kIdOk;
  const bool yes = texts_equal(text, kOverwriteQuestion) ? g_run.overwrite : g_run.shortcuts;
  return yes ? kIdYes : kIdNo;
}

// The usage of a bad command line: in a box, or in the report when the run has one.
void show_usage() { show_message(nullptr, kUsage, kUsageCaption, kMbOk | kMbIconWarning); }

}  // namespace

bool is_installer_own_report(const char* report, const char* game_folder) {
  PathString path;
  PathString folder;
  if (!canonical_path(report, &path)) return false;  // no file has such a path
  // Inside the game folder, whatever the installer keeps there (install/own_files.h).
  const char* text = path.c_str();
  const u32 length = game_folder != nullptr && canonical_path(game_folder, &folder) ? folder.length() : 0;
  return length > 0 && same_name(text, length, folder.c_str()) &&
         (text[length] == '\\' || text[length - 1] == '\\') &&
         is_installer_own_name(text + length + (text[length] == '\\'), nullptr);
}

const char* const kOutcomeTexts[3] = {"0: every step succeeded", "1: some steps failed", "2: nothing was installed"};

int run_command_line(const char* command_line) {
  const char* arguments = installer_arguments(command_line);
  if (*arguments == 0) return kOpenTheWindow;
  HeapBuffer copy;
  const u32 length = text_length(arguments);
  if (!copy.allocate(length + 1)) return kExitNothingDone;
  copy_bytes(copy.text(), arguments, length + 1);
  InstallerOptions options;
  const bool sound = read_installer_options(copy.text(), &options);
  if (!options.silent) {
    show_usage();
    return kExitNothingDone;
  }
  return run_scripted_install(options, sound);
}

int run_scripted_install(const InstallerOptions& options, bool sound) {
  FileHandle report;
  // A report is appended to its file: never to a file of the installer's own, which it would spoil.
  if (options.report != nullptr && is_installer_own_report(options.report, options.game_folder)) {
    return kExitNothingDone;
  }
  if (options.report != nullptr) {
    report = FileHandle(open_for_appending(options.report));
    if (!report.is_open() && last_error() == win_error::kFileNotFound) report = FileHandle(create_new(options.report));
    if (!report.is_open()) return kExitNothingDone;
  }
  g_run = {report.get(), options.overwrite, options.shortcuts};
  set_message_answerer(answer_message);

  int outcome = kExitNothingDone;
  char addon_name[kAddonNameCapacity];
  char game_path[kMaxPath];
  ArchiveCounts counts = {};
  FileHandle working_copy;
  if (sound) {
    locate_self(nullptr, nullptr, addon_name, &counts, &working_copy);
  } else {
    show_usage();  // to the report
  }
  if (working_copy.is_open() && counts.usable &&
      check_game_folder(nullptr, options.game_folder, game_path) == FolderChoice::kAccepted) {
    com_initialize();
    const InstallSource source = {working_copy.get(), layout_number(kStubLayout.archive_offset), &counts, nullptr,
                                  true};
    const InstallReport done = install_addon(source, game_path, addon_name, nullptr);
    com_uninitialize();
    if (done.started) outcome = done.failures == 0 ? kExitInstalled : kExitSomeFailed;
  }
  report_line("Outcome", kOutcomeTexts[outcome]);
  set_message_answerer(nullptr);
  g_run.report = nullptr;
  return outcome;
}

}  // namespace zep
