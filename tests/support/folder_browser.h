// The folder browser of "Select game path", played from outside the installer's process as a user
// would: the tree walked to a folder and OK pressed.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/installer_run.h"

namespace zep::test {

// The parts of a relative name, split at its backslashes.
std::vector<std::string> split_path(const std::string& path);

// Selects `folder` (a Windows path below the Desktop, drive or profile folder) in the tree view of
// `browser`, owned by process `process_id`. Returns an empty text, or what went wrong.
std::string select_in_tree(HWND browser, DWORD process_id, const std::string& folder);

// Presses "Select game path" while the program shows no dialog and returns the folder browser it opens
// then; null when none came. The browser must show the installer's title and belong to the main
// window, which it holds back while it is up (checked with EXPECT).
HWND open_folder_browser(InstallerRun& run, HWND window);

// Chooses `folder` in the browser the Select button opens and presses OK. Returns false, with a
// failure, when that cannot be done.
bool choose_folder_in_browser(InstallerRun& run, HWND window, const std::string& folder);

}  // namespace zep::test
