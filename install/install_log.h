// The install log: `AddonName` + ".log" in the game folder, the record of what the add-on put there,
// which the uninstaller reads to undo it.
//
//   line 1      AddonName
//   line 2      GamePath (with its trailing backslash)
//   line 3 ...  one path relative to GamePath per file the add-on placed, each once, in the order placed
//
// 8-bit ANSI text exactly as held in memory; every line this installer writes ends in CR LF, the last
// one too; no byte-order mark, no terminating zero. A log that is already there when the add-on is
// installed (a reinstall, or another add-on of the same name) is continued: its lines stay, and only
// files it does not list yet are added, so that the uninstaller still removes everything.
#pragma once

#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The largest log that is continued: far more lines than any add-on has.
constexpr u32 kLargestLog = 64u << 20;

enum class ExistingLog {
  kNone,          // there is no log yet
  kContinued,     // the log is this add-on's and will be continued; its file lines are known
  kNotThisAddons, // its first lines are not this add-on's name and game folder, or it is too large
  kUnreadable,    // it cannot be read (open elsewhere, no access); last_error() says why
};

// A set of relative file names, compared as Windows compares names (ASCII letters without regard
// to case).
class NameSet {
 public:
  // Adds `length` bytes of `name`. Returns false when memory runs out.
  bool add(const char* name, u32 length);
  bool contains(const char* name, u32 length) const;
  u32 size() const { return count_; }

 private:
  bool grow();
  const char* name_at(u32 offset) const { return names_.text() + offset; }

  HeapBuffer names_;  // each name with a terminating zero, back to back
  u32 names_used_ = 0;
  HeapBuffer slots_;  // u32 offsets into names_ + 1; 0 for an empty slot
  u32 slot_count_ = 0;
  u32 count_ = 0;
};

class InstallLog {
 public:
  // Looks, before anything is changed, for the log `game_path` + `addon_name` + ".log" of an earlier
  // installation. A log whose first two lines are `addon_name` and `game_path` (ignoring case) is
  // kContinued: create() then keeps it, and its file lines count as listed. Lines may end in CR LF or
  // in LF alone.
  ExistingLog read_existing(const char* game_path, const char* addon_name);

  // Creates the log with its first two lines, or, after read_existing found one to continue, opens it
  // to add lines at its end. Returns false when that fails; it then counts one failure and every
  // later line is lost.
  bool create(const char* game_path, const char* addon_name);

  // True when `name` is one of the log's file lines, kept or added.
  bool lists(const char* name) const { return listed_.contains(name, text_length(name)); }

  // Adds `text` as a file line, in one write of exactly its length + 2 bytes, unless the log lists it
  // already. Returns false, counting a failure, when the line does not reach the log; from then on
  // the log takes no more lines, so that none is read in the place of the one that was lost.
  bool append_line(const char* text);

  // Closes the log. Returns false, counting a failure, when the system reports one.
  bool close();

  // How many times the log has failed: without its log an add-on cannot be uninstalled, so the
  // installation counts these as its own failures.
  u32 failures() const { return failures_; }

 private:
  bool write_line(const char* text);

  FileHandle file_;
  bool continued_ = false;        // read_existing found a log to continue
  bool needs_line_end_ = false;   // the continued log's last line has no line end
  bool broken_ = false;           // a line was lost
  u32 failures_ = 0;
  NameSet listed_;
};

}  // namespace zep
