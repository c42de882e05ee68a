// Files and folders through kernel32, with the parameters the installer uses everywhere: every open
// is exclusive (share mode 0) with normal attributes.
#include <windows.h>

#include "platform/platform.h"

namespace zep {
namespace {

HANDLE to_handle(FileRef file) { return reinterpret_cast<HANDLE>(file); }

FileRef open_file(const char* path, DWORD access, DWORD disposition) {
  HANDLE handle = CreateFileA(path, access, 0, nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE || handle == nullptr) return nullptr;
  return reinterpret_cast<FileRef>(handle);
}

}  // namespace

FileRef open_for_reading(const char* path) { return open_file(path, GENERIC_READ, OPEN_EXISTING); }
FileRef create_or_replace(const char* path) { return open_file(path, GENERIC_WRITE, CREATE_ALWAYS); }
FileRef create_new(const char* path) { return open_file(path, GENERIC_WRITE, CREATE_NEW); }

FileRef open_for_reading_shared(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<FileRef>(handle);
}

FileRef create_scratch_file(const char* path) {
  HANDLE handle = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  return handle == INVALID_HANDLE_VALUE ? nullptr : reinterpret_cast<FileRef>(handle);
}

FileRef open_for_appending(const char* path) {
  FileRef file = open_file(path, GENERIC_WRITE, OPEN_EXISTING);
  if (file != nullptr && SetFilePointer(to_handle(file), 0, nullptr, FILE_END) == INVALID_SET_FILE_POINTER &&
      GetLastError() != NO_ERROR) {
    const DWORD code = GetLastError();
    CloseHandle(to_handle(file));
    SetLastError(code);
    return nullptr;
  }
  return file;
}

bool seek_file(FileRef file, u32 offset) {
  // A high part of 0 is passed so that the whole unsigned 32-bit range is reachable: without one,
  // the offset would be taken as signed and every position from 2 GiB on would fail.
  LONG high = 0;
  DWORD low = SetFilePointer(to_handle(file), static_cast<LONG>(offset), &high, FILE_BEGIN);
  return !(low == INVALID_SET_FILE_POINTER && GetLastError() != NO_ERROR);
}

bool read_file(FileRef file, void* buffer, u32 length) {
  DWORD done = 0;
  if (!ReadFile(to_handle(file), buffer, length, &done, nullptr)) return false;
  if (done != length) {
    SetLastError(ERROR_HANDLE_EOF);
    return false;
  }
  return true;
}

bool write_file(FileRef file, const void* data, u32 length) {
  DWORD done = 0;
  if (!WriteFile(to_handle(file), data, length, &done, nullptr)) return false;
  if (done != length) {
    SetLastError(ERROR_DISK_FULL);
    return false;
  }
  return true;
}

bool get_file_size(FileRef file, u32* size) {
  DWORD high = 0;
  DWORD low = GetFileSize(to_handle(file), &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return false;
  if (high != 0) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return false;
  }
  *size = low;
  return true;
}

bool flush_file(FileRef file) { return FlushFileBuffers(to_handle(file)) != 0; }

bool close_file(FileRef file) {
  if (file == nullptr) return true;
  return CloseHandle(to_handle(file)) != 0;
}

bool make_folder(const char* path) { return CreateDirectoryA(path, nullptr) != 0; }
bool remove_folder(const char* path) { return RemoveDirectoryA(path) != 0; }

namespace {

// Called by CopyFileExA between the pieces it copies, so that a window keeps answering while a large
// file is copied (an original kept before it is replaced).
DWORD CALLBACK keep_answering(LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, LARGE_INTEGER, DWORD, DWORD, HANDLE,
                              HANDLE, LPVOID) {
  pump_messages();
  return PROGRESS_CONTINUE;
}

}  // namespace

bool copy_file(const char* from, const char* to) {
  return CopyFileExA(from, to, keep_answering, nullptr, nullptr, 0) != 0;
}

bool delete_file(const char* path) { return DeleteFileA(path) != 0; }

bool is_link(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
}

bool clear_read_only(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_READONLY)) !=
          FILE_ATTRIBUTE_READONLY) {
    return false;
  }
  return SetFileAttributesA(path, attributes & ~FILE_ATTRIBUTE_READONLY) != 0;
}

bool replace_file(const char* from, const char* to) {
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH) != 0;
}

SearchRef find_first(const char* pattern, FoundName* found) {
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern, &data);
  if (search == INVALID_HANDLE_VALUE) return nullptr;
  static_assert(sizeof(data.cFileName) == sizeof(found->text), "both hold MAX_PATH bytes");
  for (u32 i = 0; i < kMaxPath; ++i) found->text[i] = data.cFileName[i];
  return reinterpret_cast<SearchRef>(search);
}

bool find_next(SearchRef search, FoundName* found) {
  WIN32_FIND_DATAA data;
  if (!FindNextFileA(reinterpret_cast<HANDLE>(search), &data)) return false;
  for (u32 i = 0; i < kMaxPath; ++i) found->text[i] = data.cFileName[i];
  return true;
}

void find_close(SearchRef search) {
  if (search != nullptr) FindClose(reinterpret_cast<HANDLE>(search));
}

bool full_path(const char* path, char* full) {
  const DWORD length = GetFullPathNameA(path, kMaxPath, full, nullptr);
  if (length >= kMaxPath) SetLastError(ERROR_FILENAME_EXCED_RANGE);
  return length != 0 && length < kMaxPath;
}

bool is_whole_path(const char* path) {
  return (path[0] != 0 && path[1] == ':' && (path[2] == 0 || path[2] == '\\')) || (path[0] == '\\' && path[1] == '\\');
}

// Called from many places: kept out of line, a near call is smaller than an import's, and it leaves
// one relocation instead of one at every place.
__attribute__((noinline)) u32 last_error() { return GetLastError(); }
__attribute__((noinline)) void set_last_error(u32 code) { SetLastError(code); }

u32 text_to_utf8(const char* text, u32 length, char* utf8) {
  // The characters go through a block of their own: each byte is at most one of them, and four bytes
  // of UTF-8 are two.
  WCHAR* wide = static_cast<WCHAR*>(allocate_zeroed(2 * length));
  if (wide == nullptr) return 0;
  int characters = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text, static_cast<int>(length), wide,
                                       static_cast<int>(length));
  if (characters <= 0) {
    characters = MultiByteToWideChar(CP_ACP, 0, text, static_cast<int>(length), wide, static_cast<int>(length));
  }
  const int written = characters <= 0 ? 0
                                      : WideCharToMultiByte(CP_UTF8, 0, wide, characters, utf8,
                                                            static_cast<int>(3 * length), nullptr, nullptr);
  release_memory(wide);
  return written <= 0 ? 0 : static_cast<u32>(written);
}

}  // namespace zep
