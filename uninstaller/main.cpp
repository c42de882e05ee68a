// UInst.exe: the uninstaller's process entry and its operations, the Windows calls themselves. No
// runtime start-up code runs before the entry, and the exit code is always 0.
#include <windows.h>

#include "uninstaller/uninstall_run.h"

namespace zep {
namespace {

struct WindowsOs {
  using File = HANDLE;
  using Key = HKEY;
  // Failed opens are given as null, whatever Windows returned for them.
  static constexpr File kNoFile = nullptr;
  static constexpr Key kNoKey = nullptr;

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
  static bool file_size(File file, u32* size) {
    DWORD high = 0;
    *size = GetFileSize(file, &high);
    return high == 0 && *size != INVALID_FILE_SIZE;
  }
  // The whole log in one read.
  static bool read(File file, void* buffer, u32 length) {
    DWORD done = 0;
    return ReadFile(file, buffer, length, &done, nullptr) && done == length;
  }
  static void close(File file) { CloseHandle(file); }
  static bool delete_file(const char* path) { return DeleteFileA(path) != 0; }
  static bool missing() {
    const DWORD code = GetLastError();
    return code == ERROR_FILE_NOT_FOUND || code == ERROR_PATH_NOT_FOUND;
  }
  // Valid attributes never have the top bit, which INVALID_FILE_ATTRIBUTES has.
  static bool is_link(const char* path) {
    return (GetFileAttributesA(path) & (0x80000000u | FILE_ATTRIBUTE_REPARSE_POINT)) == FILE_ATTRIBUTE_REPARSE_POINT;
  }
  static bool move_file(const char* from, const char* to) { return MoveFileExA(from, to, MOVEFILE_WRITE_THROUGH) != 0; }

  static int compare_ignoring_case(const char* a, const char* b) { return lstrcmpiA(a, b); }
  static void remove_folder(const char* path) { RemoveDirectoryA(path); }
  static void delete_uninstall_key(const char* path) { RegDeleteKeyA(HKEY_LOCAL_MACHINE, path); }
  static Key open_shell_folders(const char* path) {
    HKEY key = nullptr;
    return RegCreateKeyA(HKEY_CURRENT_USER, path, &key) == 0 ? key : nullptr;
  }
  static bool read_programs(Key key, char* buffer, u32 capacity) {
    DWORD size = capacity;
    DWORD type = 0;
    return RegQueryValueExA(key, "Programs", nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) == 0;
  }
  // The Shell Folders key stays open: the process's end closes it, and the program saves an import.
  static void close_key(Key) {}
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
