// Place file: the one way an add-on file reaches the game folder. It never replaces an existing file
// without asking, makes the missing folders of the file's name inside the game folder, and refuses
// any name that would reach outside it.
#pragma once

#include "archive/reader.h"
#include "install/own_files.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

class Backup;

enum class PlaceResult {
  kPlaced,    // written completely; the open file is handed to the caller
  kDeclined,  // the file exists and the user chose to keep it
  kFailed,    // could not be written, or its original could not be kept; reported
  kRefused,   // the name would leave the game folder, is the installer's own, or its path passes through
              // a link; reported, nothing written
};

// The question asked before a file that is already there is replaced.
extern const char kOverwriteQuestion[];  // "File already exists. Overwrite?"

// True when `relative_name`, joined to the game folder, names a file inside it that an add-on may
// place (not one of the installer's own, for `addon_name`, which may be null).
bool may_place(const char* relative_name, const char* addon_name);

// may_place, and when it is not so, shows the refusal naming the file and why, owned by `owner`.
// Everything that places files checks the name here first.
bool accept_placement_name(const char* relative_name, const char* addon_name, WindowRef owner);

// Shows the refusal of an other file whose name no Windows path can hold (see kNameUnusable): `name`
// is as much of it as a path could hold, up to a zero byte in it.
void refuse_unusable_name(const char* name, WindowRef owner);

// The line that ends the messages about an add-on's file that is not installed.
extern const char kFileNotInstalled[];  // "\nIt is not installed."

// Why a path is refused that would not fit, and what the player can do then.
extern const char kPathTooLong[];        // "its path would be longer than the 259 characters Windows takes"
extern const char kChooseShorterPath[];  // "\nChoose a game folder with a shorter path."

// Makes every missing folder of `full_path` from its byte `game_path_length` on (the game folder
// itself exists), level by level. Names that exist already are fine (a file in the place of a folder
// is then the create's to report). Returns false when a folder cannot be made, with last_error() why.
bool make_missing_folders(const char* full_path, u32 game_path_length);

// True when a part of `full_path` after its first `game_path_length` bytes (the game folder), the
// last part included, is a symbolic link, junction or other reparse point (see is_link): a path
// through one may name anything on the disk, so the installer never writes, makes or deletes it.
bool passes_through_link(const char* full_path, u32 game_path_length);

// The caption of the messages about a path through a link.
extern const char kLinkCaption[];  // "ZEP refused link"

// Shows the refusal of `full_path`, which passes through a link, followed by `then` and `last` (each
// empty, or lines of their own).
void refuse_link(const char* full_path, const char* then, const char* last, WindowRef owner);

// The bytes of a file to place: `length` bytes at `bytes` in memory, or, when `bytes` is null, the
// `length` bytes at file offset `offset` of `source`, copied in pieces so that memory stays flat
// whatever the file's size.
struct PlaceData {
  const void* bytes;
  FileRef source;
  u32 offset;
  u32 length;
};

// What place_file needs to know of the add-on, beyond the file itself.
struct PlaceRules {
  const char* addon_name;  // whose log and backup folder no file may be placed as; null for none
  Backup* backup;          // makes a file the add-on's before it is written (install/backup.h); null for none
};

// Writes the `length` bytes of `data` to `game_path` + `relative_name`:
//   - a new file is created and written without a question;
//   - an existing file is replaced only when the user answers Yes to "File already exists.
//     Overwrite?" (caption: the full path), and only once `rules.backup` has claimed it (kept its
//     original, or taken it over from the add-on whose log lists it); a new file is claimed too;
//   - missing folders of the name are made, level by level, inside the game folder;
//   - a name whose path passes through a link inside the game folder is refused (kRefused, reported);
//   - when the first create fails for another reason than that the file or a folder of its name is
//     missing, the "Write error" error-number message is shown; every later failure, a short write
//     included, is shown in words under the same caption (show_write_failure), and a file that was not
//     completely written is removed.
// On kPlaced `placed` holds the open file, positioned after the data; otherwise it holds nothing.
PlaceResult place_file(const char* game_path, const char* relative_name, const void* data, u32 length,
                       const PlaceRules& rules, WindowRef owner, FileHandle* placed);

// The same for bytes held in memory or in a file. A source that cannot be read is shown in words
// under the caption "ZEP read Error", and what was written is removed, as after a failed write.
PlaceResult place_file(const char* game_path, const char* relative_name, const PlaceData& data,
                       const PlaceRules& rules, WindowRef owner, FileHandle* placed);

}  // namespace zep
