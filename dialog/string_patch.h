// Applying a string patch file: one game resource with its new texts and, for each text, the byte
// positions in the resource that receive the text's strref. The resource goes to the game's
// override folder, the texts to the end of the talk table.
//
// SPK3 (all integers u32 little-endian, no padding; offsets from the file's first byte):
//   0 magic "SPK3"  4 unused  8 resource name (12 bytes, zero-padded; no terminator when 12 long)
//   20 resource data offset  24 resource data length  28 unused  32 text base offset
//   36 string entry count  40 string entry table offset
//   entry i (20 bytes at table + 20*i): text offset (from the text base), text length, reference
//   offset (the strref's position in the resource; 0xFFFFFFFF for none), sound resref (8 bytes).
//   Every SPK3 text is appended with flags 3 and volume and pitch variance 0.
// SPK4: the SPK3 header, then 44 reference count, 48 reference offset table offset, 52 further
//   table count, 56 further table offset (both unused).
//   entry i (50 bytes at table + 50*i): text offset, text length, sound resref (8 bytes), volume
//   variance, pitch variance, u16 flags, first reference index, reference count, 16 unused bytes.
//   The text's positions are the reference table's values first .. first + count - 1.
// SPKN is recognised and refused; any other magic is passed over.
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
// file is checked: header, resource, entry table, texts and reference table inside the file, every
// reference index inside the table, every position's 4 bytes inside the resource, and the resource
// name a plain name inside the game folder. A file that fails is refused with one message naming
// `shown_name` (the string patch file's name in the archive). Otherwise, in this order: the log line
// "override\" + resource name, every text appended (strrefs consecutive), the strrefs written at
// their positions (in entry order, so a position listed twice keeps the later strref), and the
// patched resource placed once as `game_path` + "override\" + resource name, asking before it
// replaces an existing file. Messages are owned by `owner`.
PatchOutcome apply_string_patch_file(const char* file_name, const char* shown_name, TalkTable* table,
                                     const char* game_path, InstallLog* log, WindowRef owner);

}  // namespace zep
