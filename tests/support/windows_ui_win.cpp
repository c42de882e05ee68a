#include "tests/support/windows_ui.h"

#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"

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

bool wait_until(const std::function<bool()>& condition, DWORD milliseconds) {
  DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= milliseconds) return false;
    Sleep(20);
  }
}

std::vector<std::string> list_box_lines(HWND list) {
  std::vector<std::string> lines;
  DWORD_PTR count = 0;
  if (!SendMessageTimeoutW(list, LB_GETCOUNT, 0, 0, SMTO_ABORTIFHUNG, 2000, &count) ||
      static_cast<LRESULT>(count) == LB_ERR) {
    return {"<not a readable list box>"};
  }
  for (DWORD_PTR i = 0; i < count; ++i) {
    DWORD_PTR length = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXTLEN, i, 0, SMTO_ABORTIFHUNG, 2000, &length) ||
        static_cast<LRESULT>(length) == LB_ERR) {
      lines.push_back("<unreadable>");
      continue;
    }
    std::vector<WCHAR> wide(length + 1, 0);
    DWORD_PTR copied = 0;
    if (!SendMessageTimeoutW(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG,
                             2000, &copied) ||
        static_cast<LRESULT>(copied) == LB_ERR || copied > length) {
      lines.push_back("<unreadable>");
      continue;
    }
    std::string line(copied * 2 + 1, '\0');
    int bytes = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(copied), line.data(),
                                    static_cast<int>(line.size()), nullptr, nullptr);
    line.resize(bytes > 0 ? static_cast<size_t>(bytes) : 0);
    lines.push_back(line);
  }
  return lines;
}

namespace {
struct DialogSearch {
  DWORD process_id;
  std::vector<HWND> found;
};
BOOL CALLBACK collect_dialog(HWND window, LPARAM param) {
  DialogSearch* search = reinterpret_cast<DialogSearch*>(param);
  DWORD process = 0;
  GetWindowThreadProcessId(window, &process);
  if (process == search->process_id && IsWindowVisible(window) && window_class_name(window) == "#32770") {
    search->found.push_back(window);
  }
  return TRUE;
}
}  // namespace

std::vector<HWND> visible_dialogs(DWORD process_id) {
  DialogSearch search{process_id, {}};
  EnumWindows(collect_dialog, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool looks_like_message_box(HWND dialog) {
  bool has_button = false;
  for (HWND child : child_windows(dialog)) {
    std::string kind = window_class_name(child);
    if (lstrcmpiA(kind.c_str(), "Button") == 0) {
      has_button = true;
    } else if (lstrcmpiA(kind.c_str(), "Static") != 0) {
      return false;
    }
  }
  return has_button;
}

std::string message_box_text(HWND box) {
  for (HWND child : child_windows(box)) {
    if (lstrcmpiA(window_class_name(child).c_str(), "Static") != 0) continue;
    std::string text = window_text(child);
    if (!text.empty()) return text;
  }
  return "";
}

HWND wait_for_dialog(DWORD process_id, const std::function<bool(HWND)>& accept, DWORD milliseconds) {
  HWND found = nullptr;
  wait_until(
      [&] {
        for (HWND dialog : visible_dialogs(process_id)) {
          if (accept(dialog)) {
            found = dialog;
            return true;
          }
        }
        return false;
      },
      milliseconds);
  return found;
}

HWND find_descendant(HWND window, const char* class_name, int control_id) {
  for (HWND child : child_windows(window)) {
    if (lstrcmpiA(window_class_name(child).c_str(), class_name) == 0 &&
        (control_id == -1 || GetDlgCtrlID(child) == control_id)) {
      return child;
    }
    if (HWND below = find_descendant(child, class_name, control_id)) return below;
  }
  return nullptr;
}

HWND find_button(HWND window, const std::string& text) {
  for (HWND child : child_windows(window)) {
    if (lstrcmpiA(window_class_name(child).c_str(), "Button") == 0 && window_text(child) == text) return child;
  }
  return nullptr;
}

bool set_window_text(HWND control, const std::string& text) {
  std::vector<WCHAR> wide(text.size() + 1, 0);
  MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), static_cast<int>(wide.size()));
  DWORD_PTR result = 0;
  return SendMessageTimeoutW(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.data()), SMTO_ABORTIFHUNG,
                             2000, &result) &&
         result == TRUE;
}

void press_button(HWND button) {
  PostMessageA(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED),
               reinterpret_cast<LPARAM>(button));
}

StartedProgram::StartedProgram(const std::string& program, const std::string& command_line,
                               const std::string& folder, const BeforeItRuns& before_it_runs) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  std::string line = command_line;
  if (!CreateProcessA(program.c_str(), line.data(), nullptr, nullptr, FALSE, before_it_runs ? CREATE_SUSPENDED : 0,
                      nullptr, folder.empty() ? nullptr : folder.c_str(), &startup, &process_)) {
    process_ = {};
    return;
  }
  if (before_it_runs) {
    before_it_runs(process_.dwProcessId);
    ResumeThread(process_.hThread);
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

std::string build_installer(const std::string& archive) {
  std::string stub = read_native_file(ZEP_TEST_STUB);
  std::string uninstaller = read_native_file(ZEP_TEST_UINST);
  if (stub == "<missing>" || uninstaller == "<missing>") return "";
  return build_self_extracting(stub, uninstaller, archive);
}

std::string windows_path(std::string path) {
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace zep::test
