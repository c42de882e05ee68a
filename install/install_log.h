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

#include "install/log_lines.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {


enum class ExistingLog {
  kNone,          // there is no log yet
  kContinued,     // the log is this add-on's and will be continued; its file lines are known
  kNotThisAddons, // its first line is not this add-on's name
  kTooLarge,      // it is larger than any log is read (kLargestLog)
  kUnreadable,    // it cannot be read (open elsewhere, no access); last_error() says why
};

// True when the `length` bytes at `a` and the zero-terminated `b` name the same file as the
// uninstaller takes a log's lines: a forward slash as a backslash, ASCII letters without regard to case.
bool same_listed_name(const char* a, u32 length, const char* b);

// A set of relative file names, each with a number, compared by same_listed_name.
class NameSet {
 public:
  static constexpr u32 kAbsent = 0xFFFFFFFFu;

  // Adds `length` bytes of `name` with `value`, unless the set holds that name already: then its
  // value is stored in `*held` (when not null). Returns false when memory runs out.
  bool add(const char* name, u32 length, u32 value = 0, u32* held = nullptr);
  // The value of `length` bytes of `name`, or kAbsent.
  u32 find(const char* name, u32 length) const;
  // Where the value of `length` bytes of `name` is kept, to be changed; null when the set has no such name.
  u32* value_of(const char* name, u32 length);
  bool contains(const char* name, u32 length) const { return find(name, length) != kAbsent; }
  u32 size() const { return count_; }
  // The names in the order added, each followed by a zero, back to back: `*length` bytes.
  const char* names(u32* length) const {
    *length = keys_.used();
    return reinterpret_cast<const char*>(keys_.data());
  }

 private:
  bool grow();
  // The slot of the `length` bytes of `name` (its entry number + 1, or 0 where it would go).
  u32* slot_of(const char* name, u32 length) const;

  GrowingBuffer keys_;     // each name with a terminating zero, back to back
  GrowingBuffer entries_;  // per name: the offset of its key in keys_, and its value (two u32)
  HeapBuffer slots_;       // per slot: an entry number + 1, or 0 for an empty slot
  u32 slot_count_ = 0;
  u32 count_ = 0;
};

// Writes the log at `path` anew through "<path>.new", which then replaces it in one step, so that a
// failure at any point leaves the old log as it was: `head` (its first lines, when not null), then the
// `size` bytes of `text` from `from` on, without the file lines (from its third line on) that list the
// file `without` (none when null), and, when `end_line`, a line end after a last line that has none.
// Returns false on failure, with last_error() saying why: 206 when the name does not fit, 5 for a
// link in the place of "<path>.new" (it would have the log written wherever it points; a link in the
// log's own place is what the rename replaces, not what it points to).
bool write_log_anew(const char* path, const char* head, const char* text, u32 from, u32 size, const char* without,
                    bool end_line);

class InstallLog {
 public:
  // Looks, before anything is changed, for the log `game_path` + `addon_name` + ".log" of an earlier
  // installation. A log whose first line is `addon_name` (ignoring case) is kContinued: create() then
  // keeps it, and its file lines count as listed. When its second line names another folder than
  // `game_path` (the game folder was moved or copied since), create() makes that line `game_path`,
  // as the uninstaller works from the log's own folder all the same. Lines may end in CR LF or in LF
  // alone.
  ExistingLog read_existing(const char* game_path, const char* addon_name);

  // Creates the log with its first two lines, or, after read_existing found one to continue, opens it
  // to add lines at its end. Returns false when that fails; it then counts one failure and every
  // later line is lost.
  bool create(const char* game_path, const char* addon_name);

  // True when `name` is one of the log's file lines, kept or added.
  bool lists(const char* name) const { return listed_.contains(name, text_length(name)); }
  const NameSet& listed() const { return listed_; }

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
  HeapBuffer moved_text_;         // a log whose second line names another folder, read whole
  u32 moved_size_ = 0;
  u32 file_lines_ = 0;            // where its file lines begin
  bool continued_ = false;        // read_existing found a log to continue
  bool needs_line_end_ = false;   // the continued log's last line has no line end
  bool broken_ = false;           // a line was lost
  u32 failures_ = 0;
  NameSet listed_;
};

}  // namespace zep
