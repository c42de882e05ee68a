// How the lines of an install log are told apart, the same for the installer that continues a log
// and for the uninstaller that reads it: each line runs up to the next LF, and a CR just before that
// LF belongs to the line end, not to the line; a last line without a line end is taken whole. So a
// log edited on Linux (LF alone) reads as its lines say.
#pragma once

#include "platform/types.h"

namespace zep {

// The largest log that is read: far more lines than any add-on has.
constexpr u32 kLargestLog = 64u << 20;

// One line of `size` bytes of log text at `log`, from `*position` on: stores where the line starts in
// `*line_start`, returns its length and moves `*position` to where the next line begins (past `size`
// at the end).
inline u32 next_log_line(const char* log, u32 size, u32* position, u32* line_start) {
  const u32 start = *position;
  u32 at = start;
  while (at < size && log[at] != '\n') ++at;
  *line_start = start;
  if (at < size) {
    *position = at + 1;
    return at > start && log[at - 1] == '\r' ? at - start - 1 : at - start;
  }
  *position = size + 2;
  return size - start;
}

}  // namespace zep
