// The uninstaller's process entry. No runtime start-up code runs before it, and the exit code is
// always 0.
#include <windows.h>

#include "shell/platform.h"
#include "uninstaller/uninstaller.h"

extern "C" void uninstall_entry() {
  zep::run_uninstaller(zep::command_line());
  ExitProcess(0);
}
