// UInst.exe: the uninstaller's process entry and its operations, the Windows calls themselves. No
// runtime start-up code runs before the entry, and the exit code is always 0.
#include <windows.h>

#include "uninstaller/uninstall_run.h"

namespace zep {
namespace {

struct WindowsOs {
  using File = HANDLE;
  using Key = HKEY;
  using Search = HANDLE;
  using Found = WIN32_FIND_DATAA;
  // Failed opens and searches are given as null, whatever Windows returned for them.
  static constexpr File kNoFile = nullptr;
  static constexpr Key kNoKey = nullptr;
  static constexpr Search kNoSearch = nullptr;

  // Every block from the process heap, zero-filled.
  static void* allocate(u32 length) { return HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, length); }
  static void release(void* block) { HeapFree(GetProcessHeap(), 0, block); }
  static int message(const char* text, const char* caption, u32 style) {
    return MessageBoxA(nullptr, text, caption, style);
  }
  static File open_for_reading(const char* path) {
    HANDLE file = CreateFileA(path, GENERIC_READ, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    return file == INVALID_HANDLE_VALUE ? nullptr : file;
  }
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
  static Search find_first(const char* pattern, Found* found) {
    HANDLE search = FindFirstFileA(pattern, found);
    return search == INVALID_HANDLE_VALUE ? nullptr : search;
  }
  static bool find_next(Search search, Found* found) { return FindNextFileA(search, found) != 0; }
  static const char* found_name(const Found& found) { return found.cFileName; }
  static void find_close(Search search) { FindClose(search); }
  static void error_text(char* buffer, u32 capacity) {
    if (!FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, GetLastError(), 0, buffer, capacity, nullptr)) {
      buffer[0] = 0;
    }
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
