// UInst.exe: the uninstaller's process entry and its operations, the Windows calls themselves. No
// runtime start-up code runs before the entry, and the exit code is always 0.
#include <windows.h>

#include "uninstaller/uninstall_run.h"

namespace zep {
namespace {

struct WindowsOs {
  using File = HANDLE;
  // Failed opens are given as Windows gives them (INVALID_HANDLE_VALUE): a compare with it costs less
  // than turning it into null.
  static inline const File kNoFile = INVALID_HANDLE_VALUE;

  // The uninstaller's buffers and the block that takes the log are variables that start as zeros
  // (.bss) rather than blocks from the heap: no allocation, no check of its result, and one import
  // less. They take no byte of the program's file: Windows makes them zeros when it loads it (see
  // cmake/uninstaller.ld). Their memory is set aside when the program is loaded, as LocalAlloc set it
  // aside when called, and a page of it costs nothing until it is written.
  static void* allocate(u32 length) {
    static char block[uninstall::Uninstaller<WindowsOs>::kBlockLength];
    return length <= sizeof block ? block : nullptr;
  }
  static void release(void*) {}
  static int message(const char* text, const char* caption, u32 style) {
    return MessageBoxA(nullptr, text, caption, style);
  }
  // Called, not copied into each of its callers (noinline): a call costs fewer bytes than its body.
  __attribute__((noinline)) static File open_for_reading(const char* path) {
    return CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  // The whole log in one read into a block as large as the largest log, and a zero more; null when
  // it cannot be read or is larger still.
  static char* read_log(File file, u32* size) {
    static char text[kLargestLog + 1];
    DWORD done;  // set by ReadFile, and looked at only when it succeeds
    if (!ReadFile(file, text, kLargestLog + 1, &done, nullptr) || done > kLargestLog) return nullptr;
    *size = done;
    return text;
  }
  static void close(File file) { CloseHandle(file); }
  static bool delete_file(const char* path) { return DeleteFileA(path) != 0; }
  // ERROR_FILE_NOT_FOUND (2) and ERROR_PATH_NOT_FOUND (3) are the two codes whose bit 0 set gives 3.
  // Called, not copied into each of its callers, as open_for_reading.
  __attribute__((noinline)) static bool missing() { return (last_error() | 1) == ERROR_PATH_NOT_FOUND; }
  // The code GetLastError returns, read where GetLastError itself reads it: the thread's
  // LastErrorValue, at 0x34 in its thread environment block (fs:0 on 32-bit Windows). One import less.
  static DWORD last_error() {
    DWORD code;
    __asm__ volatile("movl %%fs:0x34, %0" : "=r"(code));
    return code;
  }
  // A file (no folder, no link) that has the read-only mark loses it.
  static bool clear_read_only(const char* path) {
    const DWORD attributes = GetFileAttributesA(path);
    return (attributes & (0x80000000u | FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT |
                          FILE_ATTRIBUTE_READONLY)) == FILE_ATTRIBUTE_READONLY &&
           SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY);
  }
  // Valid attributes never have the top bit, which INVALID_FILE_ATTRIBUTES has.
  static bool is_link(const char* path) {
    return (GetFileAttributesA(path) & (0x80000000u | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_REPARSE_POINT;
  }
  static bool move_file(const char* from, const char* to) { return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0; }

  static int compare_ignoring_case(const char* a, const char* b) { return lstrcmpiA(a, b); }
  static void remove_folder(const char* path) { RemoveDirectoryA(path); }
  static void delete_uninstall_key(const char* path) { RegDeleteKeyA(HKEY_LOCAL_MACHINE, path); }
  // Reads the value `name` of the key `path` under HKEY_LOCAL_MACHINE (`machine`) or HKEY_CURRENT_USER
  // into `buffer` (a working buffer), as it is stored: of any type, never expanded (RRF_RT_ANY takes in
  // REG_EXPAND_SZ, which Windows reads only with RRF_NOEXPAND). RegGetValueA (Windows Vista and later)
  // does in one call what RegOpenKeyA and RegQueryValueExA did in two: one import and one key less, and
  // a string value comes with its zero when it has room for one.
  static u32 read_value(bool machine, const char* path, const char* name, char* buffer) {
    DWORD size = kWorkingBufferLength;
    return RegGetValueA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path, name, RRF_RT_ANY | RRF_NOEXPAND,
                        nullptr, buffer, &size);
  }
};

// Shaped as WinMain; none of its arguments is used: the command line is read whole, and the module
// handle is not even asked for.
int uninstaller_main(HINSTANCE, HINSTANCE, LPSTR, int) {
  uninstall::Uninstaller<WindowsOs> uninstaller;
  uninstaller.run(GetCommandLineA());
  return 0;
}

}  // namespace
}  // namespace zep

extern "C" void uninstall_entry() {
  ExitProcess(static_cast<UINT>(zep::uninstaller_main(nullptr, nullptr, nullptr, SW_SHOWDEFAULT)));
}
