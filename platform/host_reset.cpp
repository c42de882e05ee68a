// reset_all of platform/host_platform.h: every hook of the Linux layer back to its start, the file
// hooks (host_faults.cpp) among them, which is why this is not in host_shell.cpp with the in-memory
// parts that the Windows zep tool builds too.
#include "platform/host_platform.h"

namespace zep::host {

void reset_all() {
  fail_nth_file_operation(0, 0);
  confine_changes_to("");
  reset_message_handler();
  set_message_answerer(nullptr);
  reset_folder_chooser();
  reset_save_chooser();
  set_command_line("zep");
  reset_com();
  clear_registry();
  reset_shell();
  reset_controls();
  forget_folder_indexes();
}

}  // namespace zep::host
