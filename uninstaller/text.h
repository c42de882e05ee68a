// The uninstaller's string handling. On Windows it is the system's own lstr functions, which cost
// the 4,096-byte program nothing; elsewhere the same behaviour in a few lines.
#pragma once

#include "platform/types.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace zep::uninstall {

#ifdef _WIN32
inline u32 length_of(const char* text) { return static_cast<u32>(lstrlenA(text)); }
inline void copy_text(char* to, const char* from) { lstrcpyA(to, from); }
inline void append_text(char* to, const char* from) { lstrcpyA(to + lstrlenA(to), from); }
// Copies at most `count` - 1 characters, stops at a zero byte, always terminates.
inline void copy_at_most(char* to, const char* from, int count) { lstrcpynA(to, from, count); }
#else
inline u32 length_of(const char* text) {
  u32 length = 0;
  while (text[length] != 0) ++length;
  return length;
}
inline void copy_text(char* to, const char* from) {
  while ((*to++ = *from++) != 0) {
  }
}
inline void append_text(char* to, const char* from) { copy_text(to + length_of(to), from); }
inline void copy_at_most(char* to, const char* from, int count) {
  int i = 0;
  for (; i + 1 < count && from[i] != 0; ++i) to[i] = from[i];
  if (count > 0) to[i] = 0;
}
#endif

}  // namespace zep::uninstall
