// The uninstaller: undoes one installation from its install log.
#pragma once

#include "platform/types.h"

namespace zep {

// Bytes of each of the uninstaller's four working buffers: at most 259 characters and a zero.
constexpr u32 kWorkingBufferLength = 260;

// The whole run through the platform seam (the zep tool and the tests; UInst.exe runs the same steps
// on the Windows calls themselves). The install log is named on `command_line` behind a "-". After
// the user confirms: the add-on's uninstall key is deleted, its Start Menu folder emptied and removed,
// every file the log lists deleted, the outcome reported and the log deleted. Every message box has
// no owner.
void run_uninstaller(const char* command_line);

// One line of the install log, as the uninstaller splits it: from `*position` up to the next LF, the
// byte before the LF (the CR of the pair) dropped whatever it is; a last line without LF is taken
// whole. Stores where the line starts in `*line_start`, returns its length and moves `*position` to
// where the next line begins (past `size` at the end).
u32 next_log_line(const char* log, u32 size, u32* position, u32* line_start);

}  // namespace zep
