// The uninstaller's string handling: a few loops of its own, which cost UInst.exe less than importing
// the system's lstr functions would, and the same on every platform. Comparing names without regard
// to letter case is the one thing left to the system on Windows (lstrcmpiA, see main.cpp), as it
// compares them by the rules of the Windows code page.
#pragma once

#include "platform/types.h"

namespace zep::uninstall {

constexpr u32 length_of(const char* text) {
  u32 length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Joins the `count` texts that follow it into `to` (a buffer of `capacity` bytes); a null text is an
// empty one. Returns false, leaving `to` empty, when they would not fit. The texts are read from the
// caller's arguments as they lie (a C variable argument list): a call pushes exactly the texts it
// joins and their count, where one with a fixed number of parameters would fill every missing one
// (UInst.exe has a dozen calls). Call it through join below, which counts them.
inline bool join_list(char* to, u32 capacity, u32 count, ...) {
  __builtin_va_list parts;
  __builtin_va_start(parts, count);
  u32 used = 0;
  bool fits = true;
  for (; fits && count > 0; --count) {
    const char* part = __builtin_va_arg(parts, const char*);
    for (; part != nullptr && *part != 0; ++part) {
      if (used + 1 >= capacity) {
        used = 0;
        fits = false;
        break;
      }
      to[used++] = *part;
    }
  }
  __builtin_va_end(parts);
  to[used] = 0;
  return fits;
}

// Joins `parts` (texts, or null for none) into `to`, a buffer of `capacity` bytes; false, leaving `to`
// empty, when they would not fit.
template <class... Parts>
inline bool join(char* to, u32 capacity, Parts... parts) {
  return join_list(to, capacity, sizeof...(parts), static_cast<const char*>(parts)...);
}

}  // namespace zep::uninstall
