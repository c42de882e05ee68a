// What the POSIX files of the Linux platform layer share among themselves, beside host_common.h: the
// host objects behind file and search handles, the last error, path mapping with its error codes, and
// the checks that fault injection and confinement make. Not for code outside platform/host_*.cpp.
#pragma once

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

#include "platform/host_common.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Handles are pointers to these host objects.
struct OsFile {
  int descriptor;
  std::pair<dev_t, ino_t> identity;  // the key of this file in the table of open files
  std::string native;                // the host path it was opened by
  bool shared = false;               // opened to be read while others may read it too: not in the table
  bool delete_on_close = false;      // a scratch file, removed when it is closed
  // A file opened for reading alone is read through two windows of its bytes, so that the many
  // small reads of an archive's entries (one window) and of their names and data (the other) cost
  // no system call each. Nobody may write the file while it is open (Windows refuses them), so the
  // windows stay true until it is closed.
  struct Window {
    u64 start = 0;
    std::vector<u8> bytes;  // the file's bytes from start on, as last read
  };
  bool windowed = false;
  u64 position = 0;  // where the next read starts, for a windowed file
  Window windows[2];
  int last_used = 0;  // the window that served the last read; the other is read again on a miss
};

struct OsSearch {
  std::vector<std::string> names;  // every matching entry, taken when the search started
  std::size_t next = 0;            // index of the entry that find_next gives next
};

namespace host_detail {

// Records `code` as the last error and returns false, so that a failing path reads
// `return fail(code);`.
bool fail(u32 code);

// ---------------------------------------------------------------------------------------------
// Paths (host_paths.cpp).

bool is_folder(const std::string& native);

// The folder that holds `native`.
std::string parent_of(const std::string& native);

// Characters that Windows refuses in a file or folder name (the separators are taken out before).
bool is_valid_name_character(char c);

// What the index of its folder says of a path's last name: nothing (kUnknown: a relative path, or
// a folder that is missing or cannot be listed), that it is missing, or what kind of entry it is.
enum class Found { kUnknown, kMissing, kFile, kFolder, kLink, kOther };

// Turns a path as the logic writes it into the host path of the same thing (see host_paths.cpp),
// and says in `found`, when given, what its folder's index knows of its last name.
// Returns false with 3 for an empty path, 206 for one of kMaxPath bytes or more, 123 for a
// component with a character that Windows refuses.
bool to_native(const char* path, std::string* native, Found* found = nullptr);

// This layer's own changes of the disk, told to the index of the folder they change (when it has
// one), which takes them in and records the folder's new state: `native` made as `kind`, or removed.
void note_created(const std::string& native, Found kind);
void note_removed(const std::string& native);
void note_renamed(const std::string& from, const std::string& to);

enum class Subject { kFile, kFolder };

// The Windows code for a failed call on `native` that set `error` (an errno value).
u32 code_for(int error, const std::string& native, Subject subject);

// fail() with the code for errno.
bool fail_with_errno(const std::string& native, Subject subject);

// ---------------------------------------------------------------------------------------------
// Fault injection and confinement (host_faults.cpp).

// Counts one changing operation of `kind` on `native`; true (with the code set) when it is the one
// that fails.
bool injected_failure_here(const char* kind, const std::string& native);

// True, with the attempt recorded and 5 set, when a change of `native` would leave the confinement.
bool escapes_confinement(const char* kind, const std::string& native);

// Both checks for an operation that changes the disk: true when it must fail.
bool refused_change(const char* kind, const std::string& native);

}  // namespace host_detail
}  // namespace zep
