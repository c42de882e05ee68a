// The uninstaller's string handling: a few loops of its own, which cost UInst.exe less than importing
// the system's lstr functions would, and the same on every platform. Comparing names without regard
// to letter case is the one thing left to the system on Windows (lstrcmpiA, see main.cpp), as it
// compares them by the rules of the Windows code page.
#pragma once

#include "platform/types.h"

namespace zep::uninstall {

inline u32 length_of(const char* text) {
  u32 length = 0;
  while (text[length] != 0) ++length;
  return length;
}

// Joins up to four texts into `to` (a working buffer of `capacity` bytes); a null part ends the list.
// Returns false, leaving `to` empty, when they would not fit.
inline bool join(char* to, u32 capacity, const char* a, const char* b = nullptr, const char* c = nullptr,
                 const char* d = nullptr, const char* e = nullptr) {
  const char* parts[] = {a, b, c, d, e};
  u32 used = 0;
  for (const char* part : parts) {
    if (part == nullptr) break;
    for (; *part != 0; ++part) {
      if (used + 1 >= capacity) {
        to[0] = 0;
        return false;
      }
      to[used++] = *part;
    }
  }
  to[used] = 0;
  return true;
}

}  // namespace zep::uninstall
