// The file functions of platform/platform.h on Linux. Files and folders are real; the logic was
// written against Windows, so this layer gives it the Windows behaviour it depends on:
//   - paths use backslashes and letter case does not matter (see host_paths.cpp);
//   - every open is exclusive, like CreateFileA with share mode 0: a table of open files refuses a
//     second open, a deletion or a rename of an open file with 32;
//   - a file without its owner's write permission stands for a file with the read-only attribute:
//     it cannot be written, replaced or deleted (5), even by root;
//   - every operation that changes the disk passes fault injection and confinement first
//     (host_faults.cpp).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "platform/host_internal.h"
#include "platform/host_platform.h"

namespace zep {

using namespace host_detail;

namespace {

// System calls. The file functions make every file-system call that can be interrupted or that
// changes the disk through one of these wrappers, which retry after a signal.

// Those that change a folder's entries tell its index (host_paths.cpp) what they did, through
// `noted`, which keeps errno as the call left it.

template <typename Note>
void noted(Note note) {
  const int error = errno;
  note();
  errno = error;
}

int sys_open(const std::string& native, int flags) {
  int descriptor;
  do {
    descriptor = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
  } while (descriptor < 0 && errno == EINTR);
  if (descriptor >= 0 && (flags & O_CREAT) != 0) noted([&] { note_created(native, Found::kFile); });
  return descriptor;
}

ssize_t sys_read(int descriptor, void* buffer, std::size_t length) {
  ssize_t count;
  do {
    count = ::read(descriptor, buffer, length);
  } while (count < 0 && errno == EINTR);
  return count;
}

ssize_t sys_write(int descriptor, const void* data, std::size_t length) {
  ssize_t count;
  do {
    count = ::write(descriptor, data, length);
  } while (count < 0 && errno == EINTR);
  return count;
}

int sys_close(int descriptor) { return ::close(descriptor); }
int sys_fsync(int descriptor) { return ::fsync(descriptor); }
int sys_ftruncate(int descriptor) { return ::ftruncate(descriptor, 0); }
off_t sys_seek(int descriptor, off_t offset) { return ::lseek(descriptor, offset, SEEK_SET); }

int sys_unlink(const std::string& native) {
  const int result = ::unlink(native.c_str());
  if (result == 0) noted([&] { note_removed(native); });
  return result;
}
int sys_mkdir(const std::string& native) {
  const int result = ::mkdir(native.c_str(), 0777);
  if (result == 0) noted([&] { note_created(native, Found::kFolder); });
  return result;
}
int sys_rmdir(const std::string& native) {
  const int result = ::rmdir(native.c_str());
  if (result == 0) noted([&] { note_removed(native); });
  return result;
}
int sys_rename(const std::string& from, const std::string& to) {
  const int result = ::rename(from.c_str(), to.c_str());
  if (result == 0) noted([&] { note_renamed(from, to); });
  return result;
}

// ---------------------------------------------------------------------------------------------
// The table of open files.

using FileIdentity = std::pair<dev_t, ino_t>;

std::set<FileIdentity>& open_files() {
  static std::set<FileIdentity> files;
  return files;
}

FileIdentity identity_of(const struct stat& status) { return {status.st_dev, status.st_ino}; }

bool is_open(const struct stat& status) { return open_files().count(identity_of(status)) != 0; }

// A file whose owner may not write it is this layer's read-only file.
bool is_read_only(const struct stat& status) { return (status.st_mode & S_IWUSR) == 0; }

enum class Access { kRead, kWrite, kReplace };

// Takes a descriptor just opened on `native` into the table, after the checks that CreateFileA
// makes: no folder (5), no file that is open already (32), for writing no read-only file (5).
// Only then is the file truncated for kReplace. Closes the descriptor and returns null on failure.
FileRef adopt(int descriptor, const std::string& native, Access access) {
  struct stat status;
  u32 code = 0;
  if (::fstat(descriptor, &status) != 0) {
    code = code_for(errno, native, Subject::kFile);
  } else if (S_ISDIR(status.st_mode)) {
    code = win_error::kAccessDenied;
  } else if (is_open(status)) {
    code = win_error::kSharingViolation;
  } else if (access != Access::kRead && is_read_only(status)) {
    code = win_error::kAccessDenied;
  } else if (access == Access::kReplace && sys_ftruncate(descriptor) != 0) {
    code = code_for(errno, native, Subject::kFile);
  }
  if (code != 0) {
    sys_close(descriptor);
    fail(code);
    return nullptr;
  }
  open_files().insert(identity_of(status));
  FileRef file = new OsFile{descriptor, identity_of(status), native};
  file->windowed = access == Access::kRead;
  return file;
}

// The state of an existing name for the operations that act on a name rather than an open file:
// fills `status` and returns true, or returns false with the code for a missing name.
bool existing(const std::string& native, struct stat* status) {
  if (::lstat(native.c_str(), status) == 0) return true;
  return fail_with_errno(native, Subject::kFile);
}

// Checks that an existing name may be replaced by a file: not a folder, not open, not read-only.
bool may_replace(const struct stat& status) {
  if (S_ISDIR(status.st_mode)) return fail(win_error::kAccessDenied);
  if (is_open(status)) return fail(win_error::kSharingViolation);
  if (is_read_only(status)) return fail(win_error::kAccessDenied);
  return true;
}

// Forces the folder's entries (a rename into it) to the disk.
bool flush_folder(const std::string& native) {
  int descriptor = sys_open(native, O_RDONLY | O_DIRECTORY);
  if (descriptor < 0) return fail_with_errno(native, Subject::kFolder);
  bool flushed = sys_fsync(descriptor) == 0;
  if (!flushed) fail_with_errno(native, Subject::kFolder);
  sys_close(descriptor);
  return flushed;
}
// ---------------------------------------------------------------------------------------------
// Folder searches.

// Matches a name against a pattern of '*' (any run of characters) and '?' (any one character),
// without regard to letter case.
bool wildcard_match(const char* name, const char* pattern) {
  const char* star = nullptr;  // the last '*' seen, to go back to when a match fails
  const char* resume = nullptr;
  while (*name != 0) {
    if (*pattern == '*') {
      star = pattern++;
      resume = name;
    } else if (*pattern != 0 && (*pattern == '?' || fold(*pattern) == fold(*name))) {
      ++pattern;
      ++name;
    } else if (star != nullptr) {
      pattern = star + 1;
      name = ++resume;
    } else {
      return false;
    }
  }
  while (*pattern == '*') ++pattern;
  return *pattern == 0;
}

// As FindFirstFileA matches: a final ".*" also matches a name without any dot, so "*.*" matches
// every name.
bool pattern_matches(const std::string& name, const std::string& pattern) {
  if (wildcard_match(name.c_str(), pattern.c_str())) return true;
  std::size_t size = pattern.size();
  if (size >= 2 && pattern.compare(size - 2, 2, ".*") == 0) {
    return wildcard_match(name.c_str(), pattern.substr(0, size - 2).c_str());
  }
  return false;
}

std::size_t g_open_searches = 0;
std::size_t g_shared_opens = 0;  // files open through open_for_reading_shared

void copy_found(const std::string& name, FoundName* found) {
  std::size_t length = name.size() < kMaxPath - 1 ? name.size() : kMaxPath - 1;
  std::memcpy(found->text, name.data(), length);
  found->text[length] = 0;
}

}  // namespace

// =============================================================================================
// Files.

FileRef open_for_reading(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return nullptr;
  int descriptor = sys_open(native, O_RDONLY);
  if (descriptor < 0) {
    fail_with_errno(native, Subject::kFile);
    return nullptr;
  }
  return adopt(descriptor, native, Access::kRead);
}

namespace {

// Opens `path` to change it, as `operation` (the name that fault injection and confinement know it
// by): the path mapped, the confinement asked, open(2) with `flags`, and the file adopted for `access`.
// Null, with the failure's code, when any of that fails.
FileRef open_to_change(const char* operation, const char* path, int flags, Access access) {
  std::string native;
  if (!to_native(path, &native)) return nullptr;
  if (refused_change(operation, native)) return nullptr;
  int descriptor = sys_open(native, flags);
  if (descriptor < 0) {
    fail_with_errno(native, Subject::kFile);
    return nullptr;
  }
  return adopt(descriptor, native, access);
}

}  // namespace

FileRef create_or_replace(const char* path) {
  // Opened without O_TRUNC: an existing file is cut only once adopt has found that it may be.
  return open_to_change("create_or_replace", path, O_WRONLY | O_CREAT, Access::kReplace);
}

FileRef create_new(const char* path) {
  return open_to_change("create_new", path, O_WRONLY | O_CREAT | O_EXCL, Access::kWrite);
}

FileRef open_for_appending(const char* path) {
  FileRef file = open_to_change("open_for_appending", path, O_WRONLY, Access::kWrite);
  if (file != nullptr && ::lseek(file->descriptor, 0, SEEK_END) < 0) {
    const u32 code = code_for(errno, file->native, Subject::kFile);
    close_file(file);
    fail(code);
    return nullptr;
  }
  return file;
}

FileRef open_for_reading_shared(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return nullptr;
  int descriptor = sys_open(native, O_RDONLY);
  if (descriptor < 0) {
    fail_with_errno(native, Subject::kFile);
    return nullptr;
  }
  struct stat status;
  if (::fstat(descriptor, &status) != 0 || S_ISDIR(status.st_mode)) {
    const u32 code = S_ISDIR(status.st_mode) ? win_error::kAccessDenied : code_for(errno, native, Subject::kFile);
    sys_close(descriptor);
    fail(code);
    return nullptr;
  }
  ++g_shared_opens;
  FileRef file = new OsFile{descriptor, identity_of(status), native};
  file->shared = true;
  file->windowed = true;
  return file;
}

FileRef create_scratch_file(const char* path) {
  FileRef file = open_to_change("create_scratch_file", path, O_RDWR | O_CREAT | O_EXCL, Access::kWrite);
  if (file != nullptr) file->delete_on_close = true;
  return file;
}

namespace {

constexpr std::size_t kWindowLength = 65536;

// Reads up to `length` bytes at `offset` into `buffer`: the count read, short only at the end of
// the file, or -1 with errno set.
ssize_t read_at(int descriptor, u8* buffer, std::size_t length, u64 offset) {
  std::size_t done = 0;
  while (done < length) {
    const ssize_t count = ::pread(descriptor, buffer + done, length - done, static_cast<off_t>(offset + done));
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) return -1;
    if (count == 0) break;
    done += static_cast<std::size_t>(count);
  }
  return static_cast<ssize_t>(done);
}

// read_file for a windowed file: from a window when the bytes are in one, else directly for a read
// as long as a window, else through the window used longest ago, read again from the position on.
bool read_windowed(FileRef file, u8* buffer, u32 length) {
  const u64 at = file->position;
  int which = -1;
  for (int i = 0; i < 2; ++i) {
    const OsFile::Window& window = file->windows[i];
    if (at >= window.start && at + length <= window.start + window.bytes.size()) which = i;
  }
  if (which < 0) {
    if (length >= kWindowLength) {
      const ssize_t count = read_at(file->descriptor, buffer, length, at);
      if (count < 0) return fail(code_for(errno, "", Subject::kFile));
      file->position += static_cast<u64>(count);
      return static_cast<u32>(count) == length || fail(win_error::kHandleEof);
    }
    which = 1 - file->last_used;
    OsFile::Window& window = file->windows[which];
    window.bytes.resize(kWindowLength);
    const ssize_t count = read_at(file->descriptor, window.bytes.data(), kWindowLength, at);
    window.bytes.resize(count < 0 ? 0 : static_cast<std::size_t>(count));
    window.start = at;
    if (count < 0) return fail(code_for(errno, "", Subject::kFile));
  }
  file->last_used = which;
  const OsFile::Window& window = file->windows[which];
  const u64 offset = at - window.start;
  const u64 available = window.bytes.size() - offset;
  const u32 taken = available < length ? static_cast<u32>(available) : length;
  std::memcpy(buffer, window.bytes.data() + offset, taken);
  file->position += taken;
  return taken == length || fail(win_error::kHandleEof);
}

}  // namespace

bool seek_file(FileRef file, u32 offset) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
  if (file->windowed) {
    file->position = offset;
    return true;
  }
  if (sys_seek(file->descriptor, static_cast<off_t>(offset)) < 0) {
    return fail(code_for(errno, "", Subject::kFile));
  }
  return true;
}

bool read_file(FileRef file, void* buffer, u32 length) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
  if (file->windowed) return read_windowed(file, static_cast<u8*>(buffer), length);
  u8* at = static_cast<u8*>(buffer);
  u32 left = length;
  while (left > 0) {
    ssize_t count = sys_read(file->descriptor, at, left);
    // A descriptor opened for writing only: Windows refuses a read on such a handle with 5.
    if (count < 0) return fail(errno == EBADF ? win_error::kAccessDenied : code_for(errno, "", Subject::kFile));
    if (count == 0) return fail(win_error::kHandleEof);
    at += count;
    left -= static_cast<u32>(count);
  }
  return true;
}

bool write_file(FileRef file, const void* data, u32 length) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
  if (injected_failure_here("write_file", file->native)) return false;
  const u8* at = static_cast<const u8*>(data);
  u32 left = length;
  while (left > 0) {
    ssize_t count = sys_write(file->descriptor, at, left);
    if (count < 0) return fail(errno == EBADF ? win_error::kAccessDenied : code_for(errno, "", Subject::kFile));
    if (count == 0) return fail(win_error::kDiskFull);
    at += count;
    left -= static_cast<u32>(count);
  }
  return true;
}

bool get_file_size(FileRef file, u32* size) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
  struct stat status;
  if (::fstat(file->descriptor, &status) != 0) return fail(code_for(errno, "", Subject::kFile));
  if (static_cast<u64>(status.st_size) > 0xFFFFFFFFu) return fail(win_error::kInvalidParameter);
  *size = static_cast<u32>(status.st_size);
  return true;
}

bool flush_file(FileRef file) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
  if (injected_failure_here("flush_file", file->native)) return false;
  if (sys_fsync(file->descriptor) != 0) return fail(code_for(errno, "", Subject::kFile));
  return true;
}

bool close_file(FileRef file) {
  if (file == nullptr) return true;
  if (file->shared) {
    --g_shared_opens;
  } else {
    open_files().erase(file->identity);
  }
  // The system removes a scratch file when its handle is closed, whatever else happens.
  if (file->delete_on_close) sys_unlink(file->native);
  int result = sys_close(file->descriptor);
  int error = errno;
  delete file;
  if (result != 0) return fail(code_for(error, "", Subject::kFile));
  return true;
}

bool make_folder(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return false;
  if (refused_change("make_folder", native)) return false;
  if (sys_mkdir(native) != 0) return fail_with_errno(native, Subject::kFolder);
  return true;
}

bool remove_folder(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return false;
  if (refused_change("remove_folder", native)) return false;
  if (sys_rmdir(native) == 0) return true;
  int error = errno;
  struct stat status;
  if (error == ENOTDIR && ::lstat(native.c_str(), &status) == 0 && !S_ISDIR(status.st_mode)) {
    return fail(kNotAFolder);
  }
  if (error == EEXIST) return fail(win_error::kDirNotEmpty);
  return fail(code_for(error, native, Subject::kFolder));
}

bool copy_file(const char* from, const char* to) {
  std::string source_path;
  std::string target_path;
  if (!to_native(from, &source_path) || !to_native(to, &target_path)) return false;
  if (refused_change("copy_file", target_path)) return false;
  int source = sys_open(source_path, O_RDONLY);
  if (source < 0) return fail_with_errno(source_path, Subject::kFile);
  struct stat source_status;
  struct stat target_status;
  bool ready = false;
  if (::fstat(source, &source_status) != 0) {
    fail_with_errno(source_path, Subject::kFile);
  } else if (S_ISDIR(source_status.st_mode)) {
    fail(win_error::kAccessDenied);
  } else if (is_open(source_status)) {
    fail(win_error::kSharingViolation);
  } else if (::stat(target_path.c_str(), &target_status) == 0) {
    // Copying a file onto itself would cut it before reading it; Windows refuses with 32.
    if (identity_of(target_status) == identity_of(source_status)) {
      fail(win_error::kSharingViolation);
    } else {
      ready = may_replace(target_status);
    }
  } else {
    ready = true;
  }
  if (!ready) {
    sys_close(source);
    return false;
  }
  int target = sys_open(target_path, O_WRONLY | O_CREAT | O_TRUNC);
  if (target < 0) {
    fail_with_errno(target_path, Subject::kFile);
    sys_close(source);
    return false;
  }
  bool copied = true;
  char block[65536];
  for (;;) {
    ssize_t count = sys_read(source, block, sizeof block);
    if (count < 0) {
      copied = fail_with_errno(source_path, Subject::kFile);
      break;
    }
    if (count == 0) break;
    for (ssize_t done = 0; done < count;) {
      ssize_t written = sys_write(target, block + done, static_cast<std::size_t>(count - done));
      if (written <= 0) {
        copied = written < 0 ? fail_with_errno(target_path, Subject::kFile) : fail(win_error::kDiskFull);
        break;
      }
      done += written;
    }
    if (!copied) break;
  }
  // CopyFileA carries the attributes over, the read-only one among them.
  if (copied) ::fchmod(target, source_status.st_mode & 07777);
  if (sys_close(target) != 0 && copied) copied = fail_with_errno(target_path, Subject::kFile);
  sys_close(source);
  // Like CopyFileA, a copy that failed part way leaves no partial target behind.
  if (!copied) sys_unlink(target_path);
  return copied;
}

bool delete_file(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return false;
  if (refused_change("delete_file", native)) return false;
  struct stat status;
  if (!existing(native, &status)) return false;
  if (!may_replace(status)) return false;
  if (sys_unlink(native) != 0) return fail_with_errno(native, Subject::kFile);
  return true;
}

bool clear_read_only(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return false;
  struct stat status;
  if (!existing(native, &status)) return false;
  if (!S_ISREG(status.st_mode) || !is_read_only(status)) return false;
  if (refused_change("clear_read_only", native)) return false;
  if (::chmod(native.c_str(), (status.st_mode & 07777) | S_IWUSR) != 0) return fail_with_errno(native, Subject::kFile);
  return true;
}

// A symbolic link stands for every kind of reparse point.
bool is_link(const char* path) {
  std::string native;
  Found found = Found::kUnknown;
  if (!to_native(path, &native, &found)) return false;
  // The index of its folder, just found true, knows what the name is.
  if (found != Found::kUnknown) return found == Found::kLink;
  struct stat status;
  return ::lstat(native.c_str(), &status) == 0 && S_ISLNK(status.st_mode);
}

bool replace_file(const char* from, const char* to) {
  std::string source_path;
  std::string target_path;
  if (!to_native(from, &source_path) || !to_native(to, &target_path)) return false;
  if (escapes_confinement("replace_file", source_path) || refused_change("replace_file", target_path)) return false;
  struct stat source_status;
  if (!existing(source_path, &source_status)) return false;
  if (is_open(source_status)) return fail(win_error::kSharingViolation);
  struct stat target_status;
  if (::lstat(target_path.c_str(), &target_status) == 0 &&
      identity_of(target_status) != identity_of(source_status)) {
    // MoveFileExA cannot put a file in place of a folder, an open file or a read-only one. An open
    // target is refused with 5, not 32: it is the replacing, not an open, that is refused.
    if (S_ISDIR(target_status.st_mode) || is_open(target_status) || is_read_only(target_status)) {
      return fail(win_error::kAccessDenied);
    }
  }
  if (sys_rename(source_path, target_path) != 0) return fail_with_errno(target_path, Subject::kFile);
  if (!flush_folder(parent_of(target_path))) return false;
  if (parent_of(source_path) != parent_of(target_path)) return flush_folder(parent_of(source_path));
  return true;
}

SearchRef find_first(const char* pattern, FoundName* found) {
  if (pattern == nullptr || pattern[0] == 0) {
    fail(win_error::kPathNotFound);
    return nullptr;
  }
  if (std::strlen(pattern) >= kMaxPath) {
    fail(win_error::kFilenameTooLong);
    return nullptr;
  }
  std::string text = pattern;
  std::size_t separator = text.find_last_of("\\/");
  std::string folder = separator == std::string::npos ? "" : text.substr(0, separator + 1);
  std::string names = separator == std::string::npos ? text : text.substr(separator + 1);
  if (names.empty()) {
    fail(win_error::kFileNotFound);
    return nullptr;
  }
  for (char c : names) {
    if (c != '*' && c != '?' && !is_valid_name_character(c)) {
      fail(win_error::kInvalidName);
      return nullptr;
    }
  }
  std::string native = ".";
  if (!folder.empty() && !to_native(folder.c_str(), &native)) return nullptr;
  DIR* listing = ::opendir(native.c_str());
  if (listing == nullptr) {
    fail(errno == EACCES ? win_error::kAccessDenied : win_error::kPathNotFound);
    return nullptr;
  }
  auto search = std::make_unique<OsSearch>();
  // Every folder but a root lists "." and ".." first on Windows, and the uninstaller skips the
  // first two entries for that reason.
  if (native != "/") {
    for (const char* dots : {".", ".."}) {
      if (pattern_matches(dots, names)) search->names.push_back(dots);
    }
  }
  while (dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    if (pattern_matches(name, names)) search->names.push_back(name);
  }
  ::closedir(listing);
  if (search->names.empty()) {
    fail(win_error::kFileNotFound);
    return nullptr;
  }
  copy_found(search->names[0], found);
  search->next = 1;
  ++g_open_searches;
  return search.release();
}

bool find_next(SearchRef search, FoundName* found) {
  if (search == nullptr) return fail(win_error::kInvalidHandle);
  if (search->next >= search->names.size()) return fail(win_error::kNoMoreFiles);
  copy_found(search->names[search->next++], found);
  return true;
}

void find_close(SearchRef search) {
  if (search == nullptr) return;
  --g_open_searches;
  delete search;
}

// =============================================================================================
// Memory.

void* allocate_zeroed(u32 length) { return std::calloc(1, length == 0 ? 1 : length); }

namespace {

// True when the `length` bytes of `text` are valid UTF-8, as MultiByteToWideChar with
// MB_ERR_INVALID_CHARS takes it: no sequence cut short, overlong, a surrogate or beyond U+10FFFF.
bool is_utf8(const u8* text, u32 length) {
  for (u32 i = 0; i < length;) {
    const u8 lead = text[i];
    u32 more = 0;     // the bytes that follow the lead byte
    u8 low = 0x80;    // the smallest and largest second byte
    u8 high = 0xBF;
    if (lead < 0x80) {
      more = 0;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
      more = 1;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
      more = 2;
      if (lead == 0xE0) low = 0xA0;   // not overlong
      if (lead == 0xED) high = 0x9F;  // no surrogate
    } else if (lead >= 0xF0 && lead <= 0xF4) {
      more = 3;
      if (lead == 0xF0) low = 0x90;   // not overlong
      if (lead == 0xF4) high = 0x8F;  // not beyond U+10FFFF
    } else {
      return false;
    }
    if (length - i <= more) return false;
    for (u32 j = 1; j <= more; ++j) {
      const u8 next = text[i + j];
      if (next < (j == 1 ? low : 0x80) || next > (j == 1 ? high : 0xBF)) return false;
    }
    i += more + 1;
  }
  return true;
}

}  // namespace

u32 text_to_utf8(const char* text, u32 length, char* utf8) {
  if (is_utf8(reinterpret_cast<const u8*>(text), length)) {
    std::memcpy(utf8, text, length);
    return length;
  }
  // Windows-1252: Latin-1 but for 0x80 to 0x9F, where the five bytes it leaves undefined keep their
  // own values, as MultiByteToWideChar gives them.
  static const u16 kFrom80[32] = {0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
                                  0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
                                  0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
                                  0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};
  u32 written = 0;
  for (u32 i = 0; i < length; ++i) {
    const u8 byte = static_cast<u8>(text[i]);
    const u32 c = byte >= 0x80 && byte < 0xA0 ? kFrom80[byte - 0x80] : byte;
    if (c < 0x80) {
      utf8[written++] = static_cast<char>(c);
    } else if (c < 0x800) {
      utf8[written++] = static_cast<char>(0xC0 | (c >> 6));
      utf8[written++] = static_cast<char>(0x80 | (c & 0x3F));
    } else {
      utf8[written++] = static_cast<char>(0xE0 | (c >> 12));
      utf8[written++] = static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      utf8[written++] = static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return written;
}

void release_memory(void* block) { std::free(block); }

namespace host {

std::size_t open_file_count() { return open_files().size() + g_shared_opens; }

std::size_t open_search_count() { return g_open_searches; }

}  // namespace host

}  // namespace zep
