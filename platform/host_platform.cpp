// The Linux implementation of platform/platform.h.
//
// Files and folders are real. The logic was written against Windows, so this layer gives it the
// Windows behaviour it depends on:
//   - paths use backslashes and letter case does not matter: each component is matched against what
//     exists (see to_native);
//   - every open is exclusive, like CreateFileA with share mode 0: a table of open files refuses a
//     second open, a deletion or a rename of an open file with 32;
//   - a file without its owner's write permission stands for a file with the read-only attribute:
//     it cannot be written, replaced or deleted (5), even by root;
//   - failures leave Windows error codes, mapped from errno with the context Windows would use
//     (2 or 3 for a missing name, 80 or 183 for an existing one, ...).
// The registry, the shell, COM, controls, the folder chooser and message boxes are kept in memory
// and are reached from tests and the zep tool through platform/host_platform.h.
#include "platform/host_platform.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iostream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace zep {

// Handles are pointers to these host objects.
struct OsFile {
  int descriptor;
  std::pair<dev_t, ino_t> identity;  // the key of this file in the table of open files
  std::string native;                // the host path it was opened by
};

struct OsSearch {
  std::vector<std::string> names;  // every matching entry, taken when the search started
  std::size_t next = 0;            // index of the entry that find_next gives next
};

struct OsKey {
  std::string folded;  // the key's full path in lower case, root included
  u64 serial;          // the serial of the key when it was opened; a recreated key has another
};

struct OsWindow {
  std::vector<std::string> lines;
  std::string text;
  bool enabled = true;
};

namespace {

// Windows codes that only this layer produces.
constexpr u32 kNotSameDevice = 17;        // ERROR_NOT_SAME_DEVICE: a rename across file systems
constexpr u32 kInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr u32 kBadPathname = 161;         // ERROR_BAD_PATHNAME: a registry path starting with '\'
constexpr u32 kNotAFolder = 267;          // ERROR_DIRECTORY: remove_folder on a file
constexpr u32 kNoMessageText = 317;       // ERROR_MR_MID_NOT_FOUND: no text for a code

thread_local u32 g_last_error = 0;

// Records `code` as the last error and returns false, so that a failing path reads
// `return fail(code);`.
bool fail(u32 code) {
  g_last_error = code;
  return false;
}

// ---------------------------------------------------------------------------------------------
// Fault injection and confinement (see host_platform.h).

struct Faults {
  std::size_t count = 0;    // operations counted since the plan was set
  std::size_t fail_at = 0;  // the one that fails, counting from 1; 0 for none
  u32 code = 0;
  std::string failed;       // what it hit
  std::string confined_to;  // absolute host folder, with a trailing '/'; empty for no confinement
  std::vector<std::string> escapes;
};

Faults& faults() {
  static Faults instance;
  return instance;
}

// Counts one operation of `kind` on `native`; true (with the code set) when it is the one that fails.
bool injected_failure_here(const char* kind, const std::string& native) {
  Faults& plan = faults();
  ++plan.count;
  if (plan.fail_at == 0 || plan.count != plan.fail_at) return false;
  plan.failed = std::string(kind) + " " + native;
  fail(plan.code);
  return true;
}

std::string absolute_host_path(const std::string& native) {
  std::string path = native;
  if (path.empty() || path[0] != '/') {
    char folder[4096];
    if (::getcwd(folder, sizeof folder) != nullptr) path = std::string(folder) + "/" + path;
  }
  return path;
}

// True, with the attempt recorded and 5 set, when a change of `native` would leave the confinement.
bool escapes_confinement(const char* kind, const std::string& native) {
  Faults& plan = faults();
  if (plan.confined_to.empty()) return false;
  std::string path = absolute_host_path(native);
  bool inside = path.compare(0, plan.confined_to.size(), plan.confined_to) == 0 &&
                path.find("/../") == std::string::npos && path.find("/./") == std::string::npos &&
                (path.size() < 3 || path.compare(path.size() - 3, 3, "/..") != 0);
  if (inside) return false;
  plan.escapes.push_back(std::string(kind) + " " + path);
  fail(win_error::kAccessDenied);
  return true;
}

// Both checks for an operation that changes the disk: true when it must fail.
bool refused_change(const char* kind, const std::string& native) {
  return escapes_confinement(kind, native) || injected_failure_here(kind, native);
}

// ---------------------------------------------------------------------------------------------
// System calls. The file functions make every file-system call that can be interrupted or that
// changes the disk through one of these wrappers, which retry after a signal.

int sys_open(const std::string& native, int flags) {
  int descriptor;
  do {
    descriptor = ::open(native.c_str(), flags | O_CLOEXEC, 0666);
  } while (descriptor < 0 && errno == EINTR);
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
int sys_unlink(const std::string& native) { return ::unlink(native.c_str()); }
int sys_mkdir(const std::string& native) { return ::mkdir(native.c_str(), 0777); }
int sys_rmdir(const std::string& native) { return ::rmdir(native.c_str()); }
int sys_rename(const std::string& from, const std::string& to) {
  return ::rename(from.c_str(), to.c_str());
}

// ---------------------------------------------------------------------------------------------
// Paths.

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string folded(const std::string& text) {
  std::string result = text;
  for (char& c : result) c = fold(c);
  return result;
}

bool same_ignoring_case(const char* a, const std::string& b) {
  std::size_t i = 0;
  for (; a[i] != 0 && i < b.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return a[i] == 0 && i == b.size();
}

bool is_folder(const std::string& native) {
  struct stat status;
  return ::stat(native.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

// The folder that holds `native`.
std::string parent_of(const std::string& native) {
  std::size_t slash = native.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return native.substr(0, slash);
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

// Characters that Windows refuses in a file or folder name (the separators are taken out before).
bool is_valid_name_character(char c) {
  if (static_cast<unsigned char>(c) < 32) return false;
  return std::strchr("<>:\"|?*", c) == nullptr;
}

// Which spelling of `name` to use inside the existing folder `folder`: the name itself when it
// exists as spelled, else the one entry that differs from it only in letter case, else the name as
// spelled (so that something new is created as the caller wrote it).
std::string match_component(const std::string& folder, const std::string& name) {
  std::string exact = join(folder, name);
  struct stat status;
  if (::lstat(exact.c_str(), &status) == 0) return name;
  DIR* listing = ::opendir(folder.empty() ? "." : folder.c_str());
  if (listing == nullptr) return name;
  std::string match;
  int matches = 0;
  while (dirent* entry = ::readdir(listing)) {
    if (same_ignoring_case(entry->d_name, name)) {
      match = entry->d_name;
      ++matches;
    }
  }
  ::closedir(listing);
  return matches == 1 ? match : name;
}

// Turns a path as the logic writes it into the host path of the same thing. Backslashes and slashes
// both separate components; repeated separators count as one; "." is dropped and ".." takes away the
// component before it without looking at the disk, as Windows does when it makes a path full. A
// path that starts with a separator is absolute, any other is relative to the current folder.
// Returns false with 3 for an empty path, 206 for one of kMaxPath bytes or more, 123 for a
// component with a character that Windows refuses (a drive letter's ':' among them).
bool to_native(const char* path, std::string* native) {
  if (path == nullptr || path[0] == 0) return fail(win_error::kPathNotFound);
  std::size_t length = std::strlen(path);
  if (length >= kMaxPath) return fail(win_error::kFilenameTooLong);
  bool absolute = path[0] == '\\' || path[0] == '/';
  std::vector<std::string> components;
  std::string component;
  for (std::size_t i = 0; i <= length; ++i) {
    char c = path[i];
    if (c != '\\' && c != '/' && c != 0) {
      if (!is_valid_name_character(c)) return fail(win_error::kInvalidName);
      component += c;
      continue;
    }
    if (component == "..") {
      if (!components.empty() && components.back() != "..") {
        components.pop_back();
      } else if (!absolute) {
        components.push_back(component);
      }
    } else if (!component.empty() && component != ".") {
      components.push_back(component);
    }
    component.clear();
  }

  std::string built = absolute ? "/" : "";
  // Most paths are spelled as they exist for most of their length: the longest such leading part
  // that is a folder is found from the end, and only the components after it are matched one by one
  // (a leading part that exists as spelled is what matching would choose anyway).
  std::size_t matched = 0;
  std::string exact = built;
  for (std::size_t k = components.size(); k-- > 0;) {
    std::string folder = built;
    for (std::size_t i = 0; i < k; ++i) folder = join(folder, components[i]);
    if (k == 0 || is_folder(folder)) {
      matched = k;
      exact = folder;
      break;
    }
  }
  built = exact;
  bool folder_exists = true;  // whether `built` names an existing folder
  for (std::size_t i = matched; i < components.size(); ++i) {
    const std::string& name = components[i];
    std::string chosen = name;
    if (folder_exists && name != "..") chosen = match_component(built, name);
    built = join(built, chosen);
    folder_exists = folder_exists && is_folder(built);
  }
  *native = built.empty() ? "." : built;
  return true;
}

// The code for a name that does not exist: 2 when its folder exists, 3 when it does not.
u32 missing_code(const std::string& native) {
  return is_folder(parent_of(native)) ? win_error::kFileNotFound : win_error::kPathNotFound;
}

enum class Subject { kFile, kFolder };

// The Windows code for a failed call on `native` that set `error`.
u32 code_for(int error, const std::string& native, Subject subject) {
  switch (error) {
    case ENOENT:
      return missing_code(native);
    case ENOTDIR:
    case ELOOP:
      return win_error::kPathNotFound;
    case EEXIST:
      return subject == Subject::kFolder ? win_error::kAlreadyExists : win_error::kFileExists;
    case ENOTEMPTY:
      return win_error::kDirNotEmpty;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
      return win_error::kAccessDenied;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return win_error::kDiskFull;
    case ENAMETOOLONG:
      return win_error::kFilenameTooLong;
    case EBUSY:
    case ETXTBSY:
      return win_error::kSharingViolation;
    case EMFILE:
    case ENFILE:
      return win_error::kTooManyOpenFiles;
    case ENOMEM:
      return win_error::kNotEnoughMemory;
    case EXDEV:
      return kNotSameDevice;
    case EBADF:
      return win_error::kInvalidHandle;
    case EINVAL:
      return win_error::kInvalidParameter;
    default:
      return win_error::kGeneralFailure;
  }
}

bool fail_with_errno(const std::string& native, Subject subject) {
  return fail(code_for(errno, native, subject));
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
  return new OsFile{descriptor, identity_of(status), native};
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

void copy_found(const std::string& name, FoundName* found) {
  std::size_t length = name.size() < kMaxPath - 1 ? name.size() : kMaxPath - 1;
  std::memcpy(found->text, name.data(), length);
  found->text[length] = 0;
}

// ---------------------------------------------------------------------------------------------
// System error texts, as FormatMessageA gives them in English (with their line end).

struct ErrorText {
  u32 code;
  const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {0, "The operation completed successfully.\r\n"},
    {2, "The system cannot find the file specified.\r\n"},
    {3, "The system cannot find the path specified.\r\n"},
    {4, "The system cannot open the file.\r\n"},
    {5, "Access is denied.\r\n"},
    {6, "The handle is invalid.\r\n"},
    {8, "Not enough memory resources are available to process this command.\r\n"},
    {17, "The system cannot move the file to a different disk drive.\r\n"},
    {18, "There are no more files.\r\n"},
    {31, "A device attached to the system is not functioning.\r\n"},
    {32, "The process cannot access the file because it is being used by another process.\r\n"},
    {38, "Reached the end of the file.\r\n"},
    {80, "The file exists.\r\n"},
    {87, "The parameter is incorrect.\r\n"},
    {112, "There is not enough space on the disk.\r\n"},
    {122, "The data area passed to a system call is too small.\r\n"},
    {123, "The filename, directory name, or volume label syntax is incorrect.\r\n"},
    {145, "The directory is not empty.\r\n"},
    {161, "The specified path is invalid.\r\n"},
    {183, "Cannot create a file when that file already exists.\r\n"},
    {206, "The filename or extension is too long.\r\n"},
    {234, "More data is available.\r\n"},
    {267, "The directory name is invalid.\r\n"},
    {1018, "Illegal operation attempted on a registry key that has been marked for deletion.\r\n"},
};

// ---------------------------------------------------------------------------------------------
// Process, user interface and shell state.

std::string& command_line_text() {
  static std::string text = "zep";
  return text;
}

int g_com_depth = 0;

int default_message(WindowRef, const char* text, const char* caption, u32 style) {
  std::cerr << "[" << caption << "] " << text << "\n";
  return (style & 0xF) == kMbYesNo ? kIdNo : kIdOk;
}

host::MessageHandler& message_handler() {
  static host::MessageHandler handler;
  return handler;
}

host::FolderChooser& folder_chooser() {
  static host::FolderChooser chooser;
  return chooser;
}

host::SaveChooser& save_chooser() {
  static host::SaveChooser chooser;
  return chooser;
}

std::vector<std::unique_ptr<OsWindow>>& controls() {
  static std::vector<std::unique_ptr<OsWindow>> made;
  return made;
}

// The control behind `window`, or null when it is not one made by make_control.
OsWindow* find_control(WindowRef window) {
  for (const auto& control : controls()) {
    if (control.get() == window) return control.get();
  }
  return nullptr;
}

struct ShellRecords {
  std::vector<host::ShellLinkRecord> links;
  std::vector<std::string> opened;
};

ShellRecords& shell_records() {
  static ShellRecords records;
  return records;
}

// The HRESULT that stands for a Windows error code (HRESULT_FROM_WIN32).
i32 result_from_error(u32 code) {
  return code == 0 ? 0 : static_cast<i32>(0x80070000u | (code & 0xFFFFu));
}

// ---------------------------------------------------------------------------------------------
// The registry.

struct RegistryValue {
  std::string name;  // as spelled when first set
  std::string data;  // the bytes stored, a string's terminating zero included
};

struct RegistryKey {
  std::string spelled;  // the full path as first created, root included
  u64 serial;           // distinguishes this key from a deleted one of the same path
  std::map<std::string, RegistryValue> values;  // by folded name
};

struct Registry {
  std::map<std::string, RegistryKey> keys;  // by folded full path; the roots are created on use
  u64 next_serial = 1;
  std::size_t open_keys = 0;
  bool denied[2] = {false, false};
};

Registry& registry() {
  static Registry instance;
  return instance;
}

const char* root_name(RegistryRoot root) {
  return root == RegistryRoot::kCurrentUser ? "HKEY_CURRENT_USER" : "HKEY_LOCAL_MACHINE";
}

bool writes_denied(RegistryRoot root) {
  return registry().denied[root == RegistryRoot::kCurrentUser ? 0 : 1];
}

// Splits a key path below `root` into its components, each with the root's full path before it.
// A single trailing backslash is accepted and ignored, as RegCreateKeyA does. Returns 0, 161 for a
// path that starts with a backslash or 123 for an empty component inside it.
i32 split_key_path(RegistryRoot root, const char* path, std::vector<std::string>* prefixes) {
  std::string text = path == nullptr ? "" : path;
  if (!text.empty() && text[0] == '\\') return static_cast<i32>(kBadPathname);
  if (!text.empty() && text.back() == '\\') text.pop_back();
  std::string prefix = root_name(root);
  prefixes->push_back(prefix);
  if (text.empty()) return 0;
  std::size_t start = 0;
  for (;;) {
    std::size_t end = text.find('\\', start);
    std::string component = text.substr(start, end == std::string::npos ? end : end - start);
    if (component.empty()) return static_cast<i32>(win_error::kInvalidName);
    prefix += "\\" + component;
    prefixes->push_back(prefix);
    if (end == std::string::npos) return 0;
    start = end + 1;
  }
}

RegistryKey* find_key(const std::string& spelled) {
  auto found = registry().keys.find(folded(spelled));
  return found == registry().keys.end() ? nullptr : &found->second;
}

// The key that an open handle refers to, or null when that key has been deleted since.
RegistryKey* key_of(KeyRef key) {
  auto found = registry().keys.find(key->folded);
  if (found == registry().keys.end() || found->second.serial != key->serial) return nullptr;
  return &found->second;
}

bool has_subkeys(const std::string& folded_path) {
  const auto& keys = registry().keys;
  auto after = keys.lower_bound(folded_path + "\\");
  return after != keys.end() && after->first.compare(0, folded_path.size() + 1, folded_path + "\\") == 0;
}

// Creates the keys of `prefixes` that are missing; returns the last one. A new key is spelled as
// its parent already is, followed by its own name as given: on Windows, a key reached through a
// differently cased path still lives under its parents' first names.
RegistryKey& create_keys(const std::vector<std::string>& prefixes) {
  RegistryKey* key = nullptr;
  for (const std::string& prefix : prefixes) {
    RegistryKey* parent = key;
    key = find_key(prefix);
    if (key == nullptr) {
      Registry& state = registry();
      key = &state.keys[folded(prefix)];
      key->spelled = parent == nullptr ? prefix
                                       : parent->spelled + prefix.substr(prefix.rfind('\\'));
      key->serial = state.next_serial++;
    }
  }
  return *key;
}

bool is_root(const RegistryKey& key) {
  return key.spelled.find('\\') == std::string::npos;
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

FileRef create_or_replace(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return nullptr;
  if (refused_change("create_or_replace", native)) return nullptr;
  // Opened without O_TRUNC: an existing file is cut only once adopt has found that it may be.
  int descriptor = sys_open(native, O_WRONLY | O_CREAT);
  if (descriptor < 0) {
    fail_with_errno(native, Subject::kFile);
    return nullptr;
  }
  return adopt(descriptor, native, Access::kReplace);
}

FileRef create_new(const char* path) {
  std::string native;
  if (!to_native(path, &native)) return nullptr;
  if (refused_change("create_new", native)) return nullptr;
  int descriptor = sys_open(native, O_WRONLY | O_CREAT | O_EXCL);
  if (descriptor < 0) {
    fail_with_errno(native, Subject::kFile);
    return nullptr;
  }
  return adopt(descriptor, native, Access::kWrite);
}

bool seek_file(FileRef file, u32 offset) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
  if (sys_seek(file->descriptor, static_cast<off_t>(offset)) < 0) {
    return fail(code_for(errno, "", Subject::kFile));
  }
  return true;
}

bool read_file(FileRef file, void* buffer, u32 length) {
  if (file == nullptr) return fail(win_error::kInvalidHandle);
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
  open_files().erase(file->identity);
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

u32 last_error() { return g_last_error; }

void set_last_error(u32 code) { g_last_error = code; }

bool system_error_text(u32 code, char* buffer, u32 capacity) {
  for (const ErrorText& entry : kErrorTexts) {
    if (entry.code != code) continue;
    std::size_t length = std::strlen(entry.text);
    if (buffer == nullptr || length + 1 > capacity) return fail(kInsufficientBuffer);
    std::memcpy(buffer, entry.text, length + 1);
    return true;
  }
  return fail(kNoMessageText);
}

// =============================================================================================
// Memory and process.

void* allocate_zeroed(u32 length) { return std::calloc(1, length == 0 ? 1 : length); }

void release_memory(void* block) { std::free(block); }

const char* command_line() { return command_line_text().c_str(); }

void com_initialize() { ++g_com_depth; }

void com_uninitialize() {
  if (g_com_depth > 0) --g_com_depth;
}

// =============================================================================================
// User interface.

int show_message(WindowRef owner, const char* text, const char* caption, u32 style) {
  const char* shown_text = text == nullptr ? "" : text;
  // MessageBoxA shows "Error" when it is given no caption.
  const char* shown_caption = caption == nullptr ? "Error" : caption;
  if (message_handler()) return message_handler()(owner, shown_text, shown_caption, style);
  return default_message(owner, shown_text, shown_caption, style);
}

bool choose_folder(WindowRef owner, const char* title, char* path) {
  path[0] = 0;
  if (!folder_chooser()) return false;
  std::optional<std::string> chosen = folder_chooser()(owner, title == nullptr ? "" : title);
  // A folder whose path does not fit kMaxPath bytes has no path that SHGetPathFromIDListA can give.
  if (!chosen || chosen->empty() || chosen->size() >= kMaxPath) return false;
  std::memcpy(path, chosen->c_str(), chosen->size() + 1);
  return true;
}

bool choose_save_file(char* path) {
  path[0] = 0;
  if (!save_chooser()) return false;
  std::optional<std::string> chosen = save_chooser()();
  if (!chosen || chosen->empty() || chosen->size() >= kMaxPath) return false;
  std::memcpy(path, chosen->c_str(), chosen->size() + 1);
  return true;
}

void append_list_line(WindowRef list, const char* line) {
  if (OsWindow* control = find_control(list)) control->lines.push_back(line == nullptr ? "" : line);
}

void set_control_text(WindowRef control, const char* text) {
  if (OsWindow* found = find_control(control)) found->text = text == nullptr ? "" : text;
}

void enable_control(WindowRef control, bool enabled) {
  if (OsWindow* found = find_control(control)) found->enabled = enabled;
}

// =============================================================================================
// Registry.

i32 open_or_create_key(RegistryRoot root, const char* path, KeyRef* key) {
  *key = nullptr;
  std::vector<std::string> prefixes;
  if (i32 code = split_key_path(root, path, &prefixes)) return code;
  if (writes_denied(root) && find_key(prefixes.back()) == nullptr && prefixes.size() > 1) {
    return static_cast<i32>(win_error::kAccessDenied);
  }
  RegistryKey& found = create_keys(prefixes);
  *key = new OsKey{folded(found.spelled), found.serial};
  ++registry().open_keys;
  return 0;
}

i32 set_string_value(KeyRef key, const char* name, const char* text) {
  if (key == nullptr) return static_cast<i32>(win_error::kInvalidHandle);
  RegistryKey* found = key_of(key);
  if (found == nullptr) return static_cast<i32>(win_error::kKeyDeleted);
  std::string root = found->spelled.substr(0, found->spelled.find('\\'));
  RegistryRoot which = root == root_name(RegistryRoot::kCurrentUser) ? RegistryRoot::kCurrentUser
                                                                      : RegistryRoot::kLocalMachine;
  if (writes_denied(which)) return static_cast<i32>(win_error::kAccessDenied);
  std::string value_name = name == nullptr ? "" : name;
  RegistryValue& value = found->values[folded(value_name)];
  if (value.name.empty()) value.name = value_name;
  value.data.assign(text == nullptr ? "" : text);
  value.data.push_back('\0');
  return 0;
}

i32 query_string_value(KeyRef key, const char* name, char* buffer, u32 capacity) {
  if (key == nullptr) return static_cast<i32>(win_error::kInvalidHandle);
  RegistryKey* found = key_of(key);
  if (found == nullptr) return static_cast<i32>(win_error::kKeyDeleted);
  auto value = found->values.find(folded(name == nullptr ? "" : name));
  if (value == found->values.end()) return static_cast<i32>(win_error::kFileNotFound);
  const std::string& data = value->second.data;
  if (data.size() > capacity) return static_cast<i32>(win_error::kMoreData);
  std::memcpy(buffer, data.data(), data.size());
  return 0;
}

i32 delete_key(RegistryRoot root, const char* path) {
  std::vector<std::string> prefixes;
  if (i32 code = split_key_path(root, path, &prefixes)) return code;
  // A root cannot be deleted.
  if (prefixes.size() == 1) return static_cast<i32>(win_error::kAccessDenied);
  RegistryKey* found = find_key(prefixes.back());
  if (found == nullptr) return static_cast<i32>(win_error::kFileNotFound);
  if (writes_denied(root)) return static_cast<i32>(win_error::kAccessDenied);
  std::string folded_path = folded(found->spelled);
  if (has_subkeys(folded_path)) return static_cast<i32>(win_error::kAccessDenied);
  registry().keys.erase(folded_path);
  return 0;
}

void close_key(KeyRef key) {
  if (key == nullptr) return;
  --registry().open_keys;
  delete key;
}

// =============================================================================================
// Shell.

void open_with_shell(WindowRef, const char* path) {
  shell_records().opened.push_back(path == nullptr ? "" : path);
}

ShellLinkResult make_shell_link(const char* target, const char* arguments, const char* description,
                                const char* link_path) {
  // CoCreateInstance fails so when the thread has not entered COM.
  if (g_com_depth <= 0) return {host::kComNotInitialised, false};
  host::ShellLinkRecord record;
  record.target = target == nullptr ? "" : target;
  record.arguments = arguments == nullptr ? "" : arguments;
  record.description = description == nullptr ? "" : description;
  record.link_path = link_path == nullptr ? "" : link_path;
  // The link file is written through this layer's own file functions, so that it meets the same
  // names, sharing and read-only rules as every other file. Its content is this layer's own.
  std::string content = "ZEP host shortcut\ntarget=" + record.target + "\narguments=" +
                        record.arguments + "\ndescription=" + record.description + "\n";
  u32 saved_error = g_last_error;
  FileRef file = create_or_replace(link_path);
  bool written = file != nullptr &&
                 write_file(file, content.data(), static_cast<u32>(content.size()));
  if (file != nullptr && !close_file(file)) written = false;
  record.code = written ? 0 : result_from_error(g_last_error);
  g_last_error = saved_error;
  shell_records().links.push_back(record);
  return {record.code, true};
}

// =============================================================================================
// The hooks of platform/host_platform.h.

namespace host {

void set_message_handler(MessageHandler handler) { message_handler() = std::move(handler); }

void reset_message_handler() { message_handler() = nullptr; }

void use_terminal_messages() {
  message_handler() = [](WindowRef, const char* text, const char* caption, u32 style) {
    std::cerr << caption << ": " << text << "\n";
    if ((style & 0xF) != kMbYesNo) return kIdOk;
    for (;;) {
      std::cerr << "[y/n] " << std::flush;
      std::string answer;
      if (!std::getline(std::cin, answer)) return kIdNo;
      if (answer == "y" || answer == "Y" || answer == "yes") return kIdYes;
      if (answer == "n" || answer == "N" || answer == "no") return kIdNo;
    }
  };
}

void set_folder_chooser(FolderChooser chooser) { folder_chooser() = std::move(chooser); }

void reset_folder_chooser() { folder_chooser() = nullptr; }

void set_save_chooser(SaveChooser chooser) { save_chooser() = std::move(chooser); }

void reset_save_chooser() { save_chooser() = nullptr; }

void set_command_line(std::string text) { command_line_text() = std::move(text); }

int com_depth() { return g_com_depth; }

std::size_t open_file_count() { return open_files().size(); }

std::size_t open_search_count() { return g_open_searches; }

std::optional<std::string> native_path(const std::string& path) {
  std::string native;
  if (!to_native(path.c_str(), &native)) return std::nullopt;
  return native;
}

std::optional<std::string> registry_value(RegistryRoot root, const std::string& key,
                                          const std::string& name) {
  std::vector<std::string> prefixes;
  if (split_key_path(root, key.c_str(), &prefixes) != 0) return std::nullopt;
  RegistryKey* found = find_key(prefixes.back());
  if (found == nullptr) return std::nullopt;
  auto value = found->values.find(folded(name));
  if (value == found->values.end()) return std::nullopt;
  std::string text = value->second.data;
  if (!text.empty() && text.back() == '\0') text.pop_back();
  return text;
}

bool registry_key_exists(RegistryRoot root, const std::string& key) {
  std::vector<std::string> prefixes;
  if (split_key_path(root, key.c_str(), &prefixes) != 0) return false;
  return prefixes.size() == 1 || find_key(prefixes.back()) != nullptr;
}

std::vector<std::string> registry_keys() {
  std::vector<std::string> keys;
  for (const auto& entry : registry().keys) {
    if (!is_root(entry.second)) keys.push_back(entry.second.spelled);
  }
  return keys;
}

void set_registry_value(RegistryRoot root, const std::string& key, const std::string& name,
                        const std::string& text) {
  std::vector<std::string> prefixes;
  if (split_key_path(root, key.c_str(), &prefixes) != 0) return;
  RegistryKey& found = create_keys(prefixes);
  RegistryValue& value = found.values[folded(name)];
  if (value.name.empty()) value.name = name;
  value.data = text;
  value.data.push_back('\0');
}

void deny_registry_writes(RegistryRoot root, bool denied) {
  registry().denied[root == RegistryRoot::kCurrentUser ? 0 : 1] = denied;
}

std::size_t open_key_count() { return registry().open_keys; }

void clear_registry() {
  Registry& state = registry();
  state.keys.clear();
  state.denied[0] = false;
  state.denied[1] = false;
}

std::vector<ShellLinkRecord> shell_links() { return shell_records().links; }

std::vector<std::string> shell_opened() { return shell_records().opened; }

void reset_shell() {
  shell_records().links.clear();
  shell_records().opened.clear();
}

WindowRef make_control() {
  controls().push_back(std::make_unique<OsWindow>());
  return controls().back().get();
}

std::vector<std::string> control_lines(WindowRef control) {
  OsWindow* found = find_control(control);
  return found == nullptr ? std::vector<std::string>() : found->lines;
}

std::string control_text(WindowRef control) {
  OsWindow* found = find_control(control);
  return found == nullptr ? std::string() : found->text;
}

bool control_enabled(WindowRef control) {
  OsWindow* found = find_control(control);
  return found != nullptr && found->enabled;
}

void reset_controls() { controls().clear(); }

void fail_nth_file_operation(std::size_t n, u32 code) {
  Faults& plan = faults();
  plan.count = 0;
  plan.fail_at = n;
  plan.code = code;
  plan.failed.clear();
}

std::size_t file_operation_count() { return faults().count; }

std::string injected_failure() { return faults().failed; }

void confine_changes_to(const std::string& folder) {
  Faults& plan = faults();
  plan.escapes.clear();
  plan.confined_to.clear();
  if (folder.empty()) return;
  plan.confined_to = absolute_host_path(folder);
  if (plan.confined_to.back() != '/') plan.confined_to += '/';
}

std::vector<std::string> confinement_escapes() { return faults().escapes; }

void reset_all() {
  fail_nth_file_operation(0, 0);
  confine_changes_to("");
  reset_message_handler();
  reset_folder_chooser();
  reset_save_chooser();
  set_command_line("zep");
  g_com_depth = 0;
  clear_registry();
  reset_shell();
  reset_controls();
}

}  // namespace host

}  // namespace zep
