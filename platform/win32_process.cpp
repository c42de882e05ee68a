// Heap memory and the command line through kernel32.
#include <windows.h>

#include "platform/platform.h"

namespace zep {

void* allocate_zeroed(u32 length) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length); }

void release_memory(void* block) {
  if (block != nullptr) HeapFree(GetProcessHeap(), 0, block);
}

const char* command_line() { return GetCommandLineA(); }

}  // namespace zep
