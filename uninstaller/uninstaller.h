// The uninstaller's whole run, through the platform seam so that it can also run on the host.
#pragma once

namespace zep {

// Undoes an installation from the install log whose path stands behind the last "-" of
// `command_line`. Without such a "-" it shows the usage message. Reports everything to the user.
void run_uninstaller(const char* command_line);

}  // namespace zep
