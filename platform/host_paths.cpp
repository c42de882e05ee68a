// Paths and error codes of the Linux platform layer. The logic writes Windows paths; this file maps
// them to host paths as Windows would resolve them: backslashes and slashes both separate, letter
// case does not matter (each component is matched against what exists), "." and ".." are taken out
// without looking at the disk. Failures leave Windows error codes, mapped from errno with the
// context Windows would use (2 or 3 for a missing name, 80 or 183 for an existing one, ...).
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "platform/host_internal.h"
#include "platform/host_platform.h"

namespace zep {
namespace host_detail {
namespace {

thread_local u32 g_last_error = 0;

bool same_ignoring_case(const char* a, const std::string& b) {
  std::size_t i = 0;
  for (; a[i] != 0 && i < b.size(); ++i) {
    if (fold(a[i]) != fold(b[i])) return false;
  }
  return a[i] == 0 && i == b.size();
}

std::string join(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  if (folder.back() == '/') return folder + name;
  return folder + "/" + name;
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

// The code for a name that does not exist: 2 when its folder exists, 3 when it does not.
u32 missing_code(const std::string& native) {
  return is_folder(parent_of(native)) ? win_error::kFileNotFound : win_error::kPathNotFound;
}

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

}  // namespace

bool fail(u32 code) {
  g_last_error = code;
  return false;
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

// Characters that Windows refuses in a file or folder name (the separators are taken out before).
bool is_valid_name_character(char c) {
  if (static_cast<unsigned char>(c) < 32) return false;
  return std::strchr("<>:\"|?*", c) == nullptr;
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

}  // namespace host_detail

using host_detail::fail;

u32 last_error() { return host_detail::g_last_error; }

void set_last_error(u32 code) { host_detail::g_last_error = code; }

bool is_whole_path(const char* path) {
  const bool from_root = (path[0] == '\\' || path[0] == '/') && path[1] != '\\' && path[1] != '/';
  return from_root || (path[0] != 0 && path[1] == ':' && (path[2] == 0 || path[2] == '\\')) ||
         (path[0] == '\\' && path[1] == '\\');
}

bool full_path(const char* path, char* full) {
  std::string text = path;
  for (char& c : text) c = c == '/' ? '\\' : c;
  // The root: a drive, a server's share, or the Linux root; a path without one is the current
  // folder's.
  std::string root;
  std::size_t at = 0;
  if (text.size() >= 2 && text[1] == ':') {
    root = text.substr(0, 2) + "\\";
    at = 2;
  } else if (text.rfind("\\\\", 0) == 0) {
    at = 2;
    for (int names = 0; names < 2; ++names) {
      const std::size_t end = std::min(text.find('\\', at), text.size());
      root += "\\" + text.substr(at, end - at);
      at = std::min(end + 1, text.size());
    }
    root = "\\" + root + "\\";
  } else {
    if (text.empty() || text[0] != '\\') {
      char folder[4096];
      if (::getcwd(folder, sizeof folder) == nullptr) return fail(win_error::kGeneralFailure);
      std::string base = folder;
      for (char& c : base) c = c == '/' ? '\\' : c;
      text = base + "\\" + text;
    }
    root = "\\";
    at = 1;
  }
  std::vector<std::string> parts;
  while (at <= text.size()) {
    std::size_t end = std::min(text.find('\\', at), text.size());
    const std::string part = text.substr(at, end - at);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    at = end + 1;
  }
  std::string result = root;
  for (std::size_t k = 0; k < parts.size(); ++k) result += (k == 0 ? "" : "\\") + parts[k];
  if (!parts.empty() && text.back() == '\\') result += '\\';
  if (result.size() >= kMaxPath) return fail(win_error::kFilenameTooLong);
  std::memcpy(full, result.c_str(), result.size() + 1);
  return true;
}

bool system_error_text(u32 code, char* buffer, u32 capacity) {
  for (const host_detail::ErrorText& entry : host_detail::kErrorTexts) {
    if (entry.code != code) continue;
    std::size_t length = std::strlen(entry.text);
    if (buffer == nullptr || length + 1 > capacity) return fail(host_detail::kInsufficientBuffer);
    std::memcpy(buffer, entry.text, length + 1);
    return true;
  }
  return fail(host_detail::kNoMessageText);
}

namespace host {

std::optional<std::string> native_path(const std::string& path) {
  std::string native;
  if (!host_detail::to_native(path.c_str(), &native)) return std::nullopt;
  return native;
}

}  // namespace host

}  // namespace zep
