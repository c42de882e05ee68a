#include <windows.h>

#include "tests/support/test_list.h"

namespace zep::test {

TestList::TestList() {
  // Not sorted, like the main window's list, so that lines stay in the order they came.
  HWND list = CreateWindowExA(0, "listbox", "", WS_POPUP | WS_VSCROLL | LBS_NOSEL, 0, 0, 200, 200, nullptr,
                              nullptr, GetModuleHandleA(nullptr), nullptr);
  handle_ = reinterpret_cast<WindowRef>(list);
}

TestList::~TestList() { DestroyWindow(reinterpret_cast<HWND>(handle_)); }

std::vector<std::string> TestList::lines() const {
  HWND list = reinterpret_cast<HWND>(handle_);
  std::vector<std::string> lines;
  LRESULT count = SendMessageA(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    LRESULT length = SendMessageA(list, LB_GETTEXTLEN, i, 0);
    std::string line(static_cast<std::size_t>(length) + 1, '\0');
    SendMessageA(list, LB_GETTEXT, i, reinterpret_cast<LPARAM>(line.data()));
    line.resize(static_cast<std::size_t>(length));
    lines.push_back(line);
  }
  return lines;
}

}  // namespace zep::test
