// Reading real windows from a test, including windows of other processes (Windows only).
#pragma once

#include <windows.h>

#include <string>
#include <vector>

namespace zep::test {

// The window's class name as the system reports it ("Button", "#32770", ...).
std::string window_class_name(HWND window);
// The window's text, read as UTF-16 and converted to the ANSI code page, which works across processes.
std::string window_text(HWND window);
// The direct children of `window`, in the order the system keeps them.
std::vector<HWND> child_windows(HWND window);
// Waits up to `milliseconds` for a top-level window of `class_name` in process `process_id`.
HWND wait_for_window(const char* class_name, DWORD process_id, DWORD milliseconds);

// A program under test, started in `folder` with `command_line`; ended (killed if needed) on destruction.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, const std::string& command_line, const std::string& folder);
  ~StartedProgram();
  bool started() const { return process_.hProcess != nullptr; }
  DWORD process_id() const { return process_.dwProcessId; }
  // Waits for the program to end; returns its exit code, or -1 when it did not end in time.
  long wait_for_exit(DWORD milliseconds);

 private:
  PROCESS_INFORMATION process_{};
};

// A path of the form "Z:/unix/path" (as the build passes it) with backslashes.
std::string windows_path(std::string path);

}  // namespace zep::test
