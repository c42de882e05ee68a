// Reading real windows from a test, including windows of other processes (Windows only).
#pragma once

#include <windows.h>

#include <functional>
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

// Looks at `condition` every 20 ms until it holds or `milliseconds` have passed. Returns whether it held.
bool wait_until(const std::function<bool()>& condition, DWORD milliseconds);

// The lines of a list box, which may belong to another process. Every line is read as UTF-16
// (LB_GETTEXTLEN, then LB_GETTEXT into a buffer of that length) and converted to the ANSI code
// page: under wine the ANSI messages hand back UTF-16 across processes. A list that cannot be read
// comes back as the one line "<not a readable list box>", so that it never passes for an empty one;
// a line that cannot be read comes back as "<unreadable>".
std::vector<std::string> list_box_lines(HWND list);

// The visible top-level dialogs (class "#32770") of process `process_id`, in z-order.
std::vector<HWND> visible_dialogs(DWORD process_id);

// True for a dialog that is built as a message box is: Static and Button children only, at least one
// of them a Button. File dialogs also hold edit fields, combo boxes, lists and tool bars.
bool looks_like_message_box(HWND dialog);

// The text of a message box: its first Static child with any text (the icon's Static has none).
std::string message_box_text(HWND box);

// Waits up to `milliseconds` for a visible top-level dialog of process `process_id` that `accept`
// takes, and returns it; null when none came.
HWND wait_for_dialog(DWORD process_id, const std::function<bool(HWND)>& accept, DWORD milliseconds);

// The first window below `window`, at any depth and in the system's order, of class `class_name`
// (compared without case) and, unless `control_id` is -1, with that control id. Null when there is none.
HWND find_descendant(HWND window, const char* class_name, int control_id = -1);

// The Button child of `window` titled `text` exactly ("&Yes", "OK", "&Save"); null when there is none.
HWND find_button(HWND window, const std::string& text);

// Replaces a control's text as typing would leave it (WM_SETTEXT, sent as UTF-16 so that it is
// carried into another process). Returns false when the control did not take it.
bool set_window_text(HWND control, const std::string& text);

// Presses a button as a click does: posts BN_CLICKED with the button's id and handle to its parent.
// Posted, not sent, because the press may open a modal dialog that would hold up a sender.
void press_button(HWND button);

// Called with the process id of a program that is started but has not run yet (it is resumed once this
// returns), for what must be in place before its first step, such as a watch on its windows.
using BeforeItRuns = std::function<void(DWORD process_id)>;

// A program under test, started in `folder` with `command_line`; ended (killed if needed) on destruction.
class StartedProgram {
 public:
  StartedProgram(const std::string& program, const std::string& command_line, const std::string& folder,
                 const BeforeItRuns& before_it_runs = nullptr);
  ~StartedProgram();
  bool started() const { return process_.hProcess != nullptr; }
  DWORD process_id() const { return process_.dwProcessId; }
  // Waits for the program to end; returns its exit code, or -1 when it did not end in time.
  long wait_for_exit(DWORD milliseconds);

 private:
  PROCESS_INFORMATION process_{};
};

// A self-extracting file made of the zepstub.exe and UInst.exe under test (ZEP_TEST_STUB and
// ZEP_TEST_UINST) and `archive`; empty when either program cannot be read.
std::string build_installer(const std::string& archive);

// A path of the form "Z:/unix/path" (as the build passes it) with backslashes.
std::string windows_path(std::string path);

}  // namespace zep::test
