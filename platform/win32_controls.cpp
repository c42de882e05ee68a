// The three control operations the logic needs, through user32.
#include <windows.h>

#include "platform/platform.h"

namespace zep {

void append_list_line(WindowRef list, const char* line) {
  SendMessageA(reinterpret_cast<HWND>(list), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(line));
}

void set_control_text(WindowRef control, const char* text) {
  SendMessageA(reinterpret_cast<HWND>(control), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text));
}

void enable_control(WindowRef control, bool enabled) {
  EnableWindow(reinterpret_cast<HWND>(control), enabled ? TRUE : FALSE);
}

}  // namespace zep
