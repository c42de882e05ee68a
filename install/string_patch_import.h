// Applying a string patch file (dialog/string_patch.h) to a game, in the steps that keep the game
// consistent: every file is checked before anything is changed; the texts of all of them are
// appended to the talk tables, which are saved; only then does each resource, with the texts' strrefs
// written into it, go to the game's override folder. So no resource in the game ever refers to a
// text that the talk table lacks.
#pragma once

#include "dialog/string_patch.h"
#include "install/game_talk_tables.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

enum class PatchStatus {
  kSound,      // an SPK3 or SPK4 file that passed every check
  kRefused,    // damaged: reported, nothing changed
  kNameRefused,// sound, but its resource's name may not be placed (see accept_placement_name); not reported
  kSpkn,       // an SPKN file, which is not applied
  kPassedOver, // no SPK3/SPK4/SPKN magic (or not even 4 bytes): nothing done, nothing shown
  kUnreadable, // the file could not be opened or read: nothing done, nothing shown
};

// A string patch file read whole and checked.
struct LoadedPatch {
  PatchStatus status = PatchStatus::kUnreadable;
  HeapBuffer bytes;          // the whole file
  StringPatch patch = {};    // its fields, when kSound
  PathString relative_name;  // "override\" + the resource name, when kSound
};

// What a refused string patch file's message ends with, and the caption of such messages.
extern const char kNotApplied[];          // "Nothing of it was installed."
extern const char kStringPatchCaption[];  // "ZEP string patch error"

// Checks the `size` bytes of a string patch file at `bytes`, which `loaded` then refers to (the
// caller keeps them alive): its kind, its structure (read_string_patch), and that its resource
// "override\" + name may be placed by the add-on `addon_name`. Shows nothing: for a damaged file
// (kRefused) `*problem` receives what is wrong, as words for a message. The packer checks with this
// too, so that it refuses what the installer would.
PatchStatus judge_string_patch(const u8* bytes, u32 size, const char* addon_name, LoadedPatch* loaded,
                               const char** problem);

// judge_string_patch, and for a damaged file one message owned by `owner` that names `shown_name`
// (its name in the archive) and says what is wrong and that `consequence` (for example "Nothing was
// installed."). A name that may not be placed, SPKN and other magics are only told, without a message.
PatchStatus examine_string_patch(const u8* bytes, u32 size, const char* shown_name, const char* addon_name,
                                 const char* consequence, WindowRef owner, LoadedPatch* loaded);

// Reads the open string patch file `file` (the temporary copy the installation made) whole into
// `loaded` and examines it; kUnreadable when it cannot be read.
PatchStatus read_string_patch_file(FileRef file, const char* shown_name, const char* addon_name, WindowRef owner,
                                   LoadedPatch* loaded);

// Shows the refusal of an SPKN file: "SPKN not (yet)supported!", empty caption, owned by `owner`.
void show_spkn_refusal(WindowRef owner);

// Appends every text of a sound patch to `tables`, in entry order. Returns the strref of the first
// (the others follow it), or kAppendRefused when the tables could not take them all; then none of
// its texts stays.
u32 append_patch_texts(const LoadedPatch& loaded, GameTalkTables* tables);

// Writes the strrefs from `first_strref` on into a copy of the resource of a sound patch, at every
// position of each text in entry order (so a position listed twice keeps the later strref), and places
// it as `game_path` + "override\" + resource name, asking before it replaces an existing file.
// Returns what became of it.
PlaceResult place_patched_resource(const LoadedPatch& loaded, u32 first_strref, const char* game_path,
                                   const PlaceRules& rules, WindowRef owner);

}  // namespace zep
