#include "tests/support/windows_ui.h"

namespace zep::test {

std::string window_class_name(HWND window) {
  char name[256] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

std::string window_text(HWND window) {
  WCHAR wide[1024] = {};
  SendMessageTimeoutW(window, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(wide), SMTO_ABORTIFHUNG, 2000,
                      nullptr);
  char text[2048] = {};
  WideCharToMultiByte(CP_ACP, 0, wide, -1, text, sizeof(text), nullptr, nullptr);
  return text;
}

std::vector<HWND> child_windows(HWND window) {
  std::vector<HWND> children;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr; child = GetWindow(child, GW_HWNDNEXT)) {
    children.push_back(child);
  }
  return children;
}

namespace {
struct WindowSearch {
  const char* class_name;
  DWORD process_id;
  HWND found;
};
BOOL CALLBACK match_window(HWND window, LPARAM param) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == search->process_id && window_class_name(window) == search->class_name) {
    search->found = window;
    return FALSE;
  }
  return TRUE;
}
}  // namespace

HWND wait_for_window(const char* class_name, DWORD process_id, DWORD milliseconds) {
  DWORD start = GetTickCount();
  do {
    WindowSearch search{class_name, process_id, nullptr};
    EnumWindows(match_window, reinterpret_cast<LPARAM>(&search));
    if (search.found != nullptr) return search.found;
    Sleep(50);
  } while (GetTickCount() - start < milliseconds);
  return nullptr;
}

StartedProgram::StartedProgram(const std::string& program, const std::string& command_line,
                               const std::string& folder) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::string line = command_line;
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &process_)) {
    process_ = {};
  }
}

StartedProgram::~StartedProgram() {
  if (process_.hProcess == nullptr) return;
  if (WaitForSingleObject(process_.hProcess, 0) != WAIT_OBJECT_0) {
    TerminateProcess(process_.hProcess, 99);
    WaitForSingleObject(process_.hProcess, 5000);
  }
  CloseHandle(process_.hThread);
  CloseHandle(process_.hProcess);
}

long StartedProgram::wait_for_exit(DWORD milliseconds) {
  if (WaitForSingleObject(process_.hProcess, milliseconds) != WAIT_OBJECT_0) return -1;
  DWORD code = 0;
  GetExitCodeProcess(process_.hProcess, &code);
  return static_cast<long>(code);
}

std::string windows_path(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace zep::test
