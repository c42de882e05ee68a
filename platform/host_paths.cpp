// Paths and error codes of the Linux platform layer. The logic writes Windows paths; this file maps
// them to host paths as Windows would resolve them: backslashes and slashes both separate, letter
// case does not matter (each component is matched against what exists), "." and ".." are taken out
// without looking at the disk. Failures leave Windows error codes, mapped from errno with the
// context Windows would use (2 or 3 for a missing name, 80 or 183 for an existing one, ...).
//
// Matching a name against its folder's entries must not cost a reading of the folder each time: a
// game's override folder holds tens of thousands of files, and every file placed is looked up
// several times. So the names of each folder that an absolute path goes through are read once and
// kept as an index from the name in lower case to the names on disk. An index is trusted while its
// folder's state (modification and change times, size, link count, identity) is the one it
// recorded: one stat of the folder, which the lookup needs anyway to know that the folder is there.
// Whoever else changes the folder changes that state, and the index is read again. This layer's own
// changes (host_files.cpp) update the index and record the folder's new state, so that placing
// thousands of new files reads their folder once.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
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
// spelled (so that something new is created as the caller wrote it). Reads the folder: for relative
// paths, whose folders are not indexed (the current folder may change between two calls).
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

// ---------------------------------------------------------------------------------------------
// Folder indexes.

struct Entry {
  std::string name;  // as on disk
  Found kind;
};

struct FolderIndex {
  // The folder's state when the index was last known to be true.
  dev_t device = 0;
  ino_t inode = 0;
  timespec modified{};
  timespec changed{};
  nlink_t links = 0;
  off_t size = 0;
  // The entries by their name in lower case; names that differ only in letter case share a list.
  std::unordered_map<std::string, std::vector<Entry>> names;
};

std::unordered_map<std::string, FolderIndex>& folder_indexes() {
  static std::unordered_map<std::string, FolderIndex> indexes;
  return indexes;
}

std::size_t g_folder_reads = 0;

bool same_time(const timespec& a, const timespec& b) { return a.tv_sec == b.tv_sec && a.tv_nsec == b.tv_nsec; }

bool same_state(const FolderIndex& index, const struct stat& status) {
  return index.device == status.st_dev && index.inode == status.st_ino &&
         same_time(index.modified, status.st_mtim) && same_time(index.changed, status.st_ctim) &&
         index.links == status.st_nlink && index.size == status.st_size;
}

void record_state(FolderIndex* index, const struct stat& status) {
  index->device = status.st_dev;
  index->inode = status.st_ino;
  index->modified = status.st_mtim;
  index->changed = status.st_ctim;
  index->links = status.st_nlink;
  index->size = status.st_size;
}

Found kind_of_mode(mode_t mode) {
  if (S_ISDIR(mode)) return Found::kFolder;
  if (S_ISLNK(mode)) return Found::kLink;
  if (S_ISREG(mode)) return Found::kFile;
  return Found::kOther;
}

Found kind_of_entry(const std::string& folder, const dirent& entry) {
  switch (entry.d_type) {
    case DT_DIR:
      return Found::kFolder;
    case DT_LNK:
      return Found::kLink;
    case DT_REG:
      return Found::kFile;
    case DT_UNKNOWN: {
      struct stat status;
      if (::lstat(join(folder, entry.d_name).c_str(), &status) != 0) return Found::kOther;
      return kind_of_mode(status.st_mode);
    }
    default:
      return Found::kOther;
  }
}

// The index of the absolute folder `native`, whose stat is `status`: the one kept when the folder
// is as it recorded, else the folder read again. Null when its entries cannot be listed.
FolderIndex* index_of(const std::string& native, const struct stat& status) {
  std::unordered_map<std::string, FolderIndex>& indexes = folder_indexes();
  auto kept = indexes.find(native);
  if (kept != indexes.end() && same_state(kept->second, status)) return &kept->second;
  // The state is taken before the entries are read: a change made while they are read leaves a
  // state that differs from the recorded one, and so the folder is read again next time.
  FolderIndex fresh;
  record_state(&fresh, status);
  DIR* listing = ::opendir(native.c_str());
  if (listing == nullptr) {
    if (kept != indexes.end()) indexes.erase(kept);
    return nullptr;
  }
  while (dirent* entry = ::readdir(listing)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    fresh.names[folded(entry->d_name)].push_back(Entry{entry->d_name, kind_of_entry(native, *entry)});
  }
  ::closedir(listing);
  ++g_folder_reads;
  FolderIndex& index = indexes[native];
  index = std::move(fresh);
  return &index;
}

// The entry that `name` stands for in `index`: the one spelled so, else the only one that differs
// from it in letter case alone; null when there is none (or several, none spelled so).
const Entry* find_entry(const FolderIndex& index, const std::string& name) {
  auto spellings = index.names.find(folded(name));
  if (spellings == index.names.end()) return nullptr;
  for (const Entry& entry : spellings->second) {
    if (entry.name == name) return &entry;
  }
  return spellings->second.size() == 1 ? &spellings->second[0] : nullptr;
}

// The entry spelled exactly `name` in `index`, or null.
Entry* spelled_entry(FolderIndex* index, const std::string& name) {
  auto spellings = index->names.find(folded(name));
  if (spellings == index->names.end()) return nullptr;
  for (Entry& entry : spellings->second) {
    if (entry.name == name) return &entry;
  }
  return nullptr;
}

// The last name of an absolute host path and the folder that holds it, when the folder is indexed.
FolderIndex* kept_index_of_parent(const std::string& native, std::string* name) {
  const std::size_t slash = native.find_last_of('/');
  if (native.empty() || native[0] != '/' || slash == std::string::npos || slash + 1 >= native.size()) return nullptr;
  auto kept = folder_indexes().find(slash == 0 ? "/" : native.substr(0, slash));
  if (kept == folder_indexes().end()) return nullptr;
  *name = native.substr(slash + 1);
  return &kept->second;
}

// After a change of the folder that holds `native`: the folder's new state is recorded, or its
// index forgotten when the folder is gone.
void record_change(const std::string& native, FolderIndex* index) {
  struct stat status;
  const std::string folder = parent_of(native);
  if (::stat(folder.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
    record_state(index, status);
  } else {
    folder_indexes().erase(folder);
  }
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
bool to_native(const char* path, std::string* native, Found* found) {
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
  // that is a folder is found from the end, from the folder of the last name on, and only the
  // components after it are matched one by one (a leading part that exists as spelled is what
  // matching would choose anyway).
  std::size_t matched = 0;
  std::string exact = built;
  struct stat exact_status;
  bool exact_stated = false;  // whether exact_status is the stat of `exact`
  for (std::size_t k = components.empty() ? 0 : components.size() - 1;; --k) {
    std::string folder = built;
    for (std::size_t i = 0; i < k; ++i) folder = join(folder, components[i]);
    if (k == 0) {
      exact = folder;
      break;
    }
    if (::stat(folder.c_str(), &exact_status) == 0 && S_ISDIR(exact_status.st_mode)) {
      matched = k;
      exact = folder;
      exact_stated = true;
      break;
    }
  }
  built = exact;
  Found last = Found::kUnknown;
  bool folder_exists = true;  // whether `built` names an existing folder
  bool below_missing = false;  // whether an index found a component before this one missing
  for (std::size_t i = matched; i < components.size(); ++i) {
    const std::string& name = components[i];
    std::string chosen = name;
    last = below_missing ? Found::kMissing : Found::kUnknown;
    if (folder_exists && name != ".." && absolute) {
      // An absolute folder is indexed; its stat both proves it a folder and validates its index.
      struct stat status;
      FolderIndex* index = nullptr;
      if (exact_stated && i == matched) {
        index = index_of(built, exact_status);
      } else if (::stat(built.c_str(), &status) == 0 && S_ISDIR(status.st_mode)) {
        index = index_of(built, status);
      } else {
        folder_exists = false;
      }
      if (index != nullptr) {
        const Entry* entry = find_entry(*index, name);
        last = entry == nullptr ? Found::kMissing : entry->kind;
        if (entry != nullptr) chosen = entry->name;
      }
    } else if (folder_exists && name != "..") {
      chosen = match_component(built, name);
    }
    built = join(built, chosen);
    if (i + 1 < components.size()) {
      if (last == Found::kMissing || last == Found::kFile || last == Found::kOther) {
        folder_exists = false;
        below_missing = last == Found::kMissing;
      } else if (last == Found::kUnknown && !absolute) {
        folder_exists = folder_exists && is_folder(built);
      }
    }
  }
  *native = built.empty() ? "." : built;
  if (found != nullptr) *found = last;
  return true;
}

void note_created(const std::string& native, Found kind) {
  std::string name;
  FolderIndex* index = kept_index_of_parent(native, &name);
  if (index == nullptr) return;
  // A name already listed keeps its kind: a file opened to be created may have been there, or be a
  // link that the open went through.
  if (spelled_entry(index, name) == nullptr) index->names[folded(name)].push_back(Entry{name, kind});
  record_change(native, index);
}

void note_renamed(const std::string& from, const std::string& to) {
  // What was at `from` is now at `to`, of the same kind; whatever `to` was is gone.
  Found kind = Found::kFile;
  std::string name;
  if (FolderIndex* index = kept_index_of_parent(from, &name)) {
    if (const Entry* entry = spelled_entry(index, name)) kind = entry->kind;
  }
  note_removed(from);
  note_removed(to);
  note_created(to, kind);
}

void note_removed(const std::string& native) {
  folder_indexes().erase(native);
  std::string name;
  FolderIndex* index = kept_index_of_parent(native, &name);
  if (index == nullptr) return;
  auto spellings = index->names.find(folded(name));
  if (spellings != index->names.end()) {
    std::vector<Entry>& list = spellings->second;
    list.erase(std::remove_if(list.begin(), list.end(), [&](const Entry& entry) { return entry.name == name; }),
               list.end());
    if (list.empty()) index->names.erase(spellings);
  }
  record_change(native, index);
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

std::size_t folder_read_count() { return host_detail::g_folder_reads; }

void forget_folder_indexes() { host_detail::folder_indexes().clear(); }

std::optional<std::string> native_path(const std::string& path) {
  std::string native;
  if (!host_detail::to_native(path.c_str(), &native)) return std::nullopt;
  return native;
}

}  // namespace host

}  // namespace zep
