// Heap memory and the system's error texts through kernel32, for the Windows zep tool. The tool is a
// console program: it takes the real file functions (win32_files.cpp) and these, and the host layer's
// in-memory message boxes, command line, registry and shell (host_shell.cpp, host_registry.cpp) in
// place of win32_messages.cpp and win32_process.cpp, which hold the same two functions here beside
// the window program's MessageBoxA and GetCommandLineA.
#include <windows.h>

#include "platform/platform.h"

namespace zep {

void* allocate_zeroed(u32 length) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length); }

void release_memory(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

bool system_error_text(u32 code, char* buffer, u32 capacity) {
  DWORD written = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                                 code, 0, buffer, capacity, nullptr);
  return written != 0;
}

}  // namespace zep
