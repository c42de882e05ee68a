// The installer's command line, for scripted installs:
//
//     Addon.exe /S [/O=yes|no] [/SHORTCUTS] [/REPORT=file] /D=C:\path\to\game
//
// Without arguments the installer opens its window as always. The arguments start after the own
// path: after its closing quote when it is quoted, else at the first blank followed by a slash.
// Switches are told apart without regard to letter case and separated by blanks; /D= takes the rest
// of the line, blanks included, and so comes last; /REPORT= takes a file name up to the next blank,
// or a quoted one.
#pragma once

#include "platform/types.h"

namespace zep {

constexpr char kUsageCaption[] = "ZEP command line";
extern const char kUsage[];  // the command line's usage, for the message of a bad one

struct InstallerOptions {
  bool silent = false;       // /S: no window and no message box at all
  bool overwrite = true;     // /O=: the answer to every "File already exists. Overwrite?"
  bool shortcuts = false;    // /SHORTCUTS: the Start Menu shortcuts are made
  const char* report = nullptr;       // /REPORT=: the file that every message is appended to
  const char* game_folder = nullptr;  // /D=: the game folder
};

// Where the arguments begin in `command_line`: at their first character, or at the terminator when
// there are none.
const char* installer_arguments(const char* command_line);

// Reads the arguments of installer_arguments, copied by the caller into `arguments` (which this
// changes: `options`'s texts point into it). Returns false for a bad command line: an unknown
// switch, a bad /O= value, a switch given twice, an empty /REPORT=, no /D=, a /D= that is not a whole
// path (from a drive letter and a backslash, or from a server's \\), or /D= without /S. Blanks and
// backslashes at the end of /D= are dropped, but for a drive root's ("C:\\"). After a bad command
// line `options->silent` still tells whether /S was given.
bool read_installer_options(char* arguments, InstallerOptions* options);

}  // namespace zep
