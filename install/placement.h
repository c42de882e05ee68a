// Place file: the one way an add-on file reaches the game folder. It never replaces an existing file
// without asking, makes the missing folders of the file's name inside the game folder, and refuses
// any name that would reach outside it.
#pragma once

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

// True when `relative_name` is one of the files the installer keeps for itself in the game folder,
// which no archive may place: dialog.tlk, dialogF.tlk and their temporary files, UInst.exe, and the
// add-on `addon_name`'s log and backup folder (ignoring case; `addon_name` may be null).
bool is_installer_own_name(const char* relative_name, const char* addon_name);

// The question asked before a file that is already there is replaced.
extern const char kOverwriteQuestion[];  // "File already exists. Overwrite?"

// True when `relative_name`, joined to the game folder, names a file inside it that an add-on may
// place (not one of the installer's own, for `addon_name`, which may be null).
bool may_place(const char* relative_name, const char* addon_name);

// may_place, and when it is not so, shows the refusal naming the file, owned by `owner`. Everything
// that places files checks the name here first.
bool accept_placement_name(const char* relative_name, const char* addon_name, WindowRef owner);

// Shows the refusal of a file whose name no Windows path can hold (see kNameUnusable), owned by `owner`.
void refuse_long_name(WindowRef owner);

// Makes every missing folder of `full_path` from its byte `game_path_length` on (the game folder
// itself exists), level by level. Folders that exist already are fine; any other failure leaves the
// error for the create that follows.
void make_missing_folders(const char* full_path, u32 game_path_length);

// True when a part of `full_path` after its first `game_path_length` bytes (the game folder), the
// last part included, is a symbolic link, junction or other reparse point (see is_link): a path
// through one may name anything on the disk, so the installer never writes, makes or deletes it.
bool passes_through_link(const char* full_path, u32 game_path_length);

// Shows a warning under `caption`, owned by `owner`: `why`, then `path` on a line of its own, then
// `then` (which may be empty, or begin a line of its own).
void show_path_warning(const char* caption, const char* why, const char* path, const char* then, WindowRef owner);

// Shows the refusal of `full_path`, which passes through a link, followed by `then`.
void refuse_link(const char* full_path, const char* then, WindowRef owner);

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
  const Backup* backup;    // keeps the original of a file before it is replaced; null to replace it as is
};

// Writes the `length` bytes of `data` to `game_path` + `relative_name`:
//   - a new file is created and written without a question;
//   - an existing file is replaced only when the user answers Yes to "File already exists.
//     Overwrite?" (caption: the full path), and only once `rules.backup` has kept its original;
//   - missing folders of the name are made, level by level, inside the game folder;
//   - a name whose path passes through a link inside the game folder is refused (kRefused, reported);
//   - every other failure, a short write included, shows the "Write error" error-number message, and
//     a file that was not completely written is removed.
// On kPlaced `placed` holds the open file, positioned after the data; otherwise it holds nothing.
PlaceResult place_file(const char* game_path, const char* relative_name, const void* data, u32 length,
                       const PlaceRules& rules, WindowRef owner, FileHandle* placed);

// The same for bytes held in memory or in a file. A source that cannot be read shows the
// error-number message with caption "ZEP read Error" and removes what was written, as a failed write
// does.
PlaceResult place_file(const char* game_path, const char* relative_name, const PlaceData& data,
                       const PlaceRules& rules, WindowRef owner, FileHandle* placed);

}  // namespace zep
