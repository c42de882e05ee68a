// Heap memory and the command line through kernel32.
#include <windows.h>

#include "platform/platform.h"

namespace zep {

// LocalAlloc takes its blocks from the process heap, as HeapAlloc on GetProcessHeap() does, with one
// import and one call less at each use.
void* allocate_zeroed(u32 length) { return LocalAlloc(LPTR, length); }

void release_memory(void* block) {
  if (block != nullptr) LocalFree(block);
}

const char* command_line() { return GetCommandLineA(); }

}  // namespace zep
