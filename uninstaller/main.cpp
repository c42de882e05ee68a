// UInst.exe: the uninstaller's process entry and its operations, the Windows calls themselves. No
// runtime start-up code runs before the entry, and the exit code is always 0.
#include <windows.h>

#include "uninstaller/uninstall_run.h"

namespace zep {
namespace {

struct WindowsOs {
  using File = HANDLE;
  // Failed opens are given as null, whatever Windows returned for them.
  static constexpr File kNoFile = nullptr;

  // Every block zero-filled, from the process heap that LocalAlloc takes it from. None is given back:
  // the process ends a moment later, and that releases them all at no cost in code.
  static void* allocate(u32 length) { return LocalAlloc(LPTR, length); }
  static void release(void*) {}
  static int message(const char* text, const char* caption, u32 style) {
    return MessageBoxA(nullptr, text, caption, style);
  }
  static File open(const char* path, DWORD access, DWORD disposition) {
    HANDLE file = CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
  }
  static File open_for_reading(const char* path) { return open(path, GENERIC_READ, OPEN_EXISTING); }
  // The whole log in one read into a block as large as the largest log, and a zero more; null when
  // it cannot be read or is larger still. The block's pages cost nothing until the read fills them.
  static char* read_log(File file, u32* size) {
    char* text = static_cast<char*>(LocalAlloc(LPTR, kLargestLog + 1));
    DWORD done = 0;
    if (text == nullptr || !ReadFile(file, text, kLargestLog + 1, &done, nullptr) || done > kLargestLog) return nullptr;
    *size = done;
    return text;
  }
  static void close(File file) { CloseHandle(file); }
  static bool delete_file(const char* path) { return DeleteFileA(path) != 0; }
  // ERROR_FILE_NOT_FOUND (2) and ERROR_PATH_NOT_FOUND (3) are the two codes whose bit 0 set gives 3.
  static bool missing() { return (last_error() | 1) == ERROR_PATH_NOT_FOUND; }
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
  // Reads the string value `name` of the key `path` under HKEY_LOCAL_MACHINE (`machine`) or
  // HKEY_CURRENT_USER into `buffer` (a working buffer). The key is opened, never made, and stays open:
  // the process's end closes it, and the program saves an import.
  static u32 read_value(bool machine, const char* path, const char* name, char* buffer) {
    HKEY key = nullptr;
    const LONG result = RegOpenKeyA(machine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER, path, &key);
    if (result != 0) return result;
    DWORD size = kWorkingBufferLength;
    return RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(buffer), &size);
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
