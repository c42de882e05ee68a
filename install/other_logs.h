// The install logs of the other add-ons in the game folder, read once before an installation changes
// anything, so that a file one of them lists is known to be that add-on's, and the installation can
// take it over (install/backup.h). At any time each file of the game is listed by one log at most.
//
// Another add-on's log is recognised as the uninstaller recognises a log: by where it lies (a file
// "<Name>.log" in the game folder, <Name> without a dot) and by its first line, which is <Name>; never
// by its second line, which names the folder it was written in (the game may have been moved or
// copied since, or reached by another path). Any other file whose name ends in ".log" costs one short
// read. Its file lines are compared by same_listed_name, as the uninstaller takes them.
#pragma once

#include "install/install_log.h"
#include "platform/buffers.h"
#include "platform/types.h"

namespace zep {

class OtherLogs {
 public:
  static constexpr u32 kNone = 0xFFFFFFFFu;

  // Reads the logs of the add-ons other than `addon_name` in `game_path`. Returns false when a file
  // that may be one cannot be read: `failed` then names it, and last_error() says why.
  bool read(const char* game_path, const char* addon_name, PathString* failed);

  // The log that lists `relative_name`, or kNone.
  u32 listing(const char* relative_name) const { return index_.find(relative_name, text_length(relative_name)); }

  // The name of the add-on whose log is `log`, and that log's path.
  const char* addon(u32 log) const { return reinterpret_cast<const char*>(names_.data()) + log * kMaxPath; }
  bool log_path(u32 log, PathString* path) const;

  // Writes `log` anew without its lines that list `relative_name`, through its temporary file that
  // then replaces it in one step, and keeps what it held for put_back. Returns false, the log then as
  // it was, with last_error() saying why.
  bool let_go(u32 log, const char* relative_name);
  // Writes `log`, which let_go changed last for `relative_name`, back as it was.
  bool put_back(u32 log, const char* relative_name);

 private:
  const char* game_path_ = nullptr;
  GrowingBuffer names_;  // each log's add-on name, in kMaxPath bytes
  NameSet index_;        // each file a log lists, with that log, or kNone once it was let go
  HeapBuffer before_;    // the text of the log let_go changed last
  u32 before_size_ = 0;
};

}  // namespace zep
