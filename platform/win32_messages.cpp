// Message boxes (user32) and the system's error texts (kernel32).
#include <windows.h>

#include "platform/platform.h"

namespace zep {

namespace {
MessageAnswerer g_answerer;  // see set_message_answerer
}  // namespace

void set_message_answerer(MessageAnswerer answerer) { g_answerer = answerer; }

int show_message(WindowRef owner, const char* text, const char* caption, u32 style) {
  if (g_answerer != nullptr) return g_answerer(text, caption, style);
  return MessageBoxA(reinterpret_cast<HWND>(owner), text, caption, style);
}

bool system_error_text(u32 code, char* buffer, u32 capacity) {
  DWORD written = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 code, 0, buffer, capacity, nullptr);
  return written != 0;
}

}  // namespace zep
