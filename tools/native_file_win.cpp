// The file operations of native_file.h on Windows: files are opened with the wide-character Win32
// calls, which take any name the path holds and report the system's own error number, and are then
// handed to the C library as a std::FILE for the code that reads and writes them.
#include <windows.h>
#include <fcntl.h>
#include <io.h>

#include <cstdint>

#include "tools/error_words.h"
#include "tools/native_file.h"

namespace zep::tool {
namespace {

// A std::FILE over `handle`, which it then owns; null (and the handle closed, the last error kept)
// when the C library cannot take it.
std::FILE* as_stream(HANDLE handle, int flags, const char* mode) {
  int descriptor = _open_osfhandle(reinterpret_cast<std::intptr_t>(handle), flags | _O_BINARY);
  if (descriptor == -1) {
    CloseHandle(handle);
    SetLastError(ERROR_TOO_MANY_OPEN_FILES);
    return nullptr;
  }
  std::FILE* file = _fdopen(descriptor, mode);
  if (file == nullptr) {
    _close(descriptor);
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
  }
  return file;
}

HANDLE handle_of(std::FILE* file) { return reinterpret_cast<HANDLE>(_get_osfhandle(_fileno(file))); }

}  // namespace

std::FILE* open_to_read(const std::filesystem::path& path) {
  // The sharing of the C library's own fopen.
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return nullptr;
  return as_stream(handle, _O_RDONLY, "rb");
}

std::FILE* create_new_file(const std::filesystem::path& path, bool& name_taken) {
  HANDLE handle = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    name_taken = code == ERROR_FILE_EXISTS || code == ERROR_ALREADY_EXISTS;
    return nullptr;
  }
  name_taken = false;
  return as_stream(handle, _O_WRONLY, "wb");
}

bool size_of(std::FILE* file, u64& size) {
  LARGE_INTEGER length;
  if (!GetFileSizeEx(handle_of(file), &length)) return false;
  size = static_cast<u64>(length.QuadPart);
  return true;
}

bool seek_to(std::FILE* file, u64 offset) { return _fseeki64(file, static_cast<__int64>(offset), SEEK_SET) == 0; }

bool rename_over(const std::filesystem::path& from, const std::filesystem::path& to) {
  return MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0;
}

bool names_ignore_case() { return true; }

unsigned long process_number() { return GetCurrentProcessId(); }

std::string cannot_native(const std::string& verb, const std::string& path) {
  return cannot(verb, path, GetLastError());
}

}  // namespace zep::tool
