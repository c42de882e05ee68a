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

void show_progress(WindowRef control, u32 file, u32 files, u32 percent) {
  char text[48];
  if (file != 0) {
    wsprintfA(text, "File %u of %u, %u%%", file, files, percent);
  } else {
    wsprintfA(text, "%u%%", percent);
  }
  set_control_text(control, text);
  pump_messages();
}

void pump_messages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    if (message.message == WM_QUIT) {
      PostQuitMessage(static_cast<int>(message.wParam));
      return;
    }
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

void enable_control(WindowRef control, bool enabled) {
  EnableWindow(reinterpret_cast<HWND>(control), enabled ? TRUE : FALSE);
}

}  // namespace zep
