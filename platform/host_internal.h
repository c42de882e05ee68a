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

// Turns a path as the logic writes it into the host path of the same thing (see host_paths.cpp).
// Returns false with 3 for an empty path, 206 for one of kMaxPath bytes or more, 123 for a
// component with a character that Windows refuses.
bool to_native(const char* path, std::string* native);

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
