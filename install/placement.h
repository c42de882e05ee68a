// Place file: the one way an add-on file reaches the game folder. It never replaces an existing file
// without asking, makes the missing folders of the file's name inside the game folder, and refuses
// any name that would reach outside it.
#pragma once

#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

enum class PlaceResult {
  kPlaced,    // written completely; the open file is handed to the caller
  kDeclined,  // the file exists and the user chose to keep it
  kFailed,    // could not be written; reported in the "Write error" message
  kRefused,   // the name would leave the game folder; reported, nothing written
};

// True when `relative_name`, joined to the game folder, names a file inside it. Otherwise shows the
// refusal naming it, owned by `owner`, and returns false. Everything that places files and every
// caller that logs a name before placing it checks the name here first.
bool accept_placement_name(const char* relative_name, WindowRef owner);

// The bytes of a file to place: `length` bytes at `bytes` in memory, or, when `bytes` is null, the
// `length` bytes at file offset `offset` of `source`, copied in pieces so that memory stays flat
// whatever the file's size.
struct PlaceData {
  const void* bytes;
  FileRef source;
  u32 offset;
  u32 length;
};

// Writes the `length` bytes of `data` to `game_path` + `relative_name`:
//   - a new file is created and written without a question;
//   - an existing file is replaced only when the user answers Yes to "File already exists.
//     Overwrite?" (caption: the full path);
//   - missing folders of the name are made, level by level, inside the game folder;
//   - every other failure, a short write included, shows the "Write error" error-number message, and
//     a file that was not completely written is removed.
// On kPlaced `placed` holds the open file, positioned after the data; otherwise it holds nothing.
PlaceResult place_file(const char* game_path, const char* relative_name, const void* data, u32 length,
                       WindowRef owner, FileHandle* placed);

// The same for bytes held in memory or in a file. A source that cannot be read shows the
// error-number message with caption "ZEP read Error" and removes what was written, as a failed write
// does.
PlaceResult place_file(const char* game_path, const char* relative_name, const PlaceData& data, WindowRef owner,
                       FileHandle* placed);

}  // namespace zep
