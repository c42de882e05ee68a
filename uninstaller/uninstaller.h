// The uninstaller: undoes one installation from its install log.
#pragma once

#include "platform/types.h"

namespace zep {

// Bytes of each of the uninstaller's working buffers: at most 259 characters and a zero.
constexpr u32 kWorkingBufferLength = 260;

// How a run of the uninstaller ended.
enum class Outcome {
  kCompleted,   // every listed file is gone, and so are the registration, the shortcuts and the log
  kIncomplete,  // some files remain: the log keeps them, the registration and the shortcuts stay
  kDeclined,    // the user answered No: nothing changed
  kInvalid,     // no log, or one that is not an install log of the folder that holds it: nothing changed
};

// The whole run through the platform seam (the zep tool and the tests; UInst.exe runs the same steps
// on the Windows calls themselves). The install log is named on `command_line` behind a "-"; the game
// folder is the folder that holds it, and its first line must be the add-on's name, the log's own
// file name without ".log". After the user confirms: every file the log lists is deleted, but for the
// names the installer keeps for itself and another installation's files, which are passed over, and
// a file whose original the installation kept that cannot be put back (a link on its way, or no
// access), which stays; then, when none remains, the originals are put back, and the add-on's
// uninstall key, its shortcuts and Start Menu folder, its backup folder and the log are deleted;
// otherwise everything else stays, the log whole, for a later run. The last message names the files
// whose originals cannot be put back. Every message box has no owner.
Outcome run_uninstaller(const char* command_line);

}  // namespace zep
