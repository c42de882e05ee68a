// The contents listing: the lines of the main window's list, and the archive counts that the
// installation relies on for the rest of the run.
#pragma once

#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The archive counts, as the listing found them. Until a listing has succeeded they are 0 and the
// archive is not usable: nothing may be installed or extracted from it.
struct ArchiveCounts {
  u32 patch_count;  // P
  u32 file_count;   // F
  bool usable;      // the archive was checked and found sound
};

extern const char kSpkHeading[];
extern const char kNoSpkHeading[];
extern const char kOtherHeading[];
extern const char kNoOtherHeading[];

// Checks the archive at `archive_offset` of `file` and appends its listing to `list`: the string
// patch heading and names, an empty line, the other files' heading and names. A damaged archive is
// reported in a message owned by `owner` instead, and nothing is listed. Fills `counts` either way.
void list_contents(FileRef file, u32 archive_offset, WindowRef list, WindowRef owner, ArchiveCounts* counts);

}  // namespace zep
