// A scripted install: the installer run by another program with a command line
// (shell/command_options.h) instead of by a player with its window. Nothing is shown: every message
// the window would have shown goes to the report file when there is one, each question is answered
// as the command line says, and the outcome is the exit code.
#pragma once

#include "shell/command_options.h"

namespace zep {

// Exit codes of a scripted install.
constexpr int kExitInstalled = 0;     // every step succeeded
constexpr int kExitSomeFailed = 1;    // some step failed (the count of the final message)
constexpr int kExitNothingDone = 2;   // nothing was installed: a bad command line, a refused folder,
                                      // a damaged archive, a report file that cannot be written
constexpr int kOpenTheWindow = -1;    // no arguments: the installer opens its window

// The report's last line after "Outcome: ", for each exit code: "0: every step succeeded", ...
extern const char* const kOutcomeTexts[3];

// True when the report file `report` would be a file of the installer's own, into which no report
// may be written: a name the installer keeps in the game folder `game_folder` (install/own_files.h:
// a talk table, UInst.exe, any log, anything in a backup folder). False when `game_folder` is null
// (not known). Both paths are compared as canonical_path writes them.
bool is_installer_own_report(const char* report, const char* game_folder);

// Runs the installer's command line `command_line` when it has arguments: a sound one installs as
// run_scripted_install does; a bad one is refused with kExitNothingDone, its usage shown in a message
// box, or only written to the report when it asks for /S. Returns kOpenTheWindow when there are no
// arguments.
int run_command_line(const char* command_line);

// Installs the running installer's add-on into `options.game_folder`, which passes the same check
// as a folder chosen in the window, with every message going to `options.report` (appended, one per
// line, caption first, then a last line with the outcome). Returns the exit code: kExitNothingDone,
// with nothing written, for a report file of the installer's own (is_installer_own_report). When the command
// line was not `sound`, only the usage and the outcome are reported, and nothing is installed.
int run_scripted_install(const InstallerOptions& options, bool sound = true);

}  // namespace zep
