// Applying a string patch file (dialog/string_patch.h) to a game: its resource goes to the game's
// override folder, its texts to the end of the talk table, and the texts' strrefs into the resource.
#pragma once

#include "dialog/talk_table.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

enum class PatchStatus {
  kApplied,    // the texts appended, the resource handed to Place file (see `placed`)
  kRefused,    // damaged, or a resource name outside the game folder: reported, nothing changed
  kSpkn,       // the SPKN refusal was shown, nothing changed
  kPassedOver, // no SPK3/SPK4/SPKN magic (or not even 4 bytes): nothing done, nothing shown
  kUnreadable, // the file could not be opened or read: nothing done, nothing shown
};

struct PatchOutcome {
  PatchStatus status;
  PlaceResult placed;   // kApplied: what became of the resource
  u32 texts;            // texts appended to the talk table
  u32 texts_refused;    // texts the talk table could not take (it would pass 4 GiB)
};

// Applies the string patch file `file_name` (the temporary file the installation copied it to) to
// `table` and the game folder `game_path`. Before anything is logged, placed or appended the whole
// file is checked (read_string_patch) and the resource name must be a plain name inside the game
// folder. A file that fails is refused with one message naming `shown_name` (the string patch file's
// name in the archive). Otherwise, in this order: the log line "override\" + resource name, every
// text appended (strrefs consecutive), the strrefs written at their positions (in entry order, so a
// position listed twice keeps the later strref), and the patched resource placed once as
// `game_path` + "override\" + resource name, asking before it replaces an existing file. Messages are
// owned by `owner`.
PatchOutcome apply_string_patch_file(const char* file_name, const char* shown_name, TalkTable* table,
                                     const char* game_path, InstallLog* log, WindowRef owner);

}  // namespace zep
