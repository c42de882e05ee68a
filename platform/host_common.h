// What every file of the Linux platform layer shares, in standard C++ alone: the objects behind
// registry keys and windows, letter-case folding, and the Windows codes that only this layer produces.
// The in-memory parts (host_registry.cpp, host_shell.cpp) need nothing else, so the Windows zep tool
// builds them too (see cmake/windows-tool.cmake); host_internal.h adds what the POSIX files share.
// Not for code outside platform/host_*.cpp.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Handles are pointers to these host objects.
struct OsKey {
  std::string folded;  // the key's full path in lower case, root included
  u64 serial;          // the serial of the key when it was opened; a recreated key has another
};

struct OsWindow {
  std::vector<std::string> lines;
  std::string text;
  std::vector<std::string> texts;  // every text it was given, in order
  bool enabled = true;
};

namespace host_detail {

// Windows codes that only this layer produces.
constexpr u32 kNotSameDevice = 17;        // ERROR_NOT_SAME_DEVICE: a rename across file systems
constexpr u32 kInsufficientBuffer = 122;  // ERROR_INSUFFICIENT_BUFFER
constexpr u32 kBadPathname = 161;         // ERROR_BAD_PATHNAME: a registry path starting with '\'
constexpr u32 kNotAFolder = 267;          // ERROR_DIRECTORY: remove_folder on a file
constexpr u32 kNoMessageText = 317;       // ERROR_MR_MID_NOT_FOUND: no text for a code

// ASCII letters in lower case, as Windows compares names; other bytes unchanged.
char fold(char c);
std::string folded(const std::string& text);

}  // namespace host_detail
}  // namespace zep
