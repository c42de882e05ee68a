// The install log: `AddonName` + ".log" in the game folder, the record of what one installation put
// there, which the uninstaller reads to undo it.
//
//   line 1      AddonName
//   line 2      GamePath (with its trailing backslash)
//   line 3 ...  one path relative to GamePath per file handled, in the order handled
//
// 8-bit ANSI text exactly as held in memory; every line ends in CR LF, the last one too; no byte-order
// mark, no terminating zero.
#pragma once

#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

class InstallLog {
 public:
  // Creates (or replaces) the log `game_path` + `addon_name` + ".log" and writes its first two lines.
  // Returns false when the log cannot be created or written; it then counts one failure and every
  // later line is lost.
  bool create(const char* game_path, const char* addon_name);

  // Appends `text` and CR LF in one write of exactly its length + 2 bytes. Returns false, counting a
  // failure, when the line does not reach the log; from then on the log takes no more lines, so that
  // none is read in the place of the one that was lost.
  bool append_line(const char* text);

  // Closes the log. Returns false, counting a failure, when the system reports one.
  bool close();

  // How many times the log has failed: without its log an add-on cannot be uninstalled, so the
  // installation counts these as its own failures.
  u32 failures() const { return failures_; }

 private:
  FileHandle file_;
  bool broken_ = false;  // a line was lost
  u32 failures_ = 0;
};

}  // namespace zep
