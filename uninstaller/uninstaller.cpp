#include "uninstaller/uninstaller.h"

#include "shell/buffers.h"
#include "shell/platform.h"

namespace zep {
namespace {

// The position of the last "-" at or after position 1, or 0 when there is none. Position 0 is
// never a hyphen that starts the log path: it belongs to the program's own name.
u32 find_log_marker(const char* command_line) {
  u32 length = text_length(command_line);
  for (u32 at = length; at > 1; --at) {
    if (command_line[at - 1] == '-') return at - 1;
  }
  return 0;
}

}  // namespace

void run_uninstaller(const char* command_line) {
  u32 marker = find_log_marker(command_line);
  if (marker == 0) {
    show_message(nullptr, "Usage: UInst -<logfile>", "Info", kMbOk);
    return;
  }
}

}  // namespace zep
