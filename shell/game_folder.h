// Choosing the game folder: the folder chooser, and the check that the chosen folder holds the game's
// talk table, which is all that tells a game folder from any other: dialog.tlk at its top (a classic
// game), or lang\<locale>\dialog.tlk (an Enhanced Edition).
#pragma once

#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The longest chosen folder path that is taken: with "\dialog.tlk" appended it fills the 260 bytes of
// an ANSI path exactly.
constexpr u32 kMaxGameFolderLength = 248;

extern const char kChooseFolderTitle[];  // "Choose the directory containing the IE game."

enum class FolderChoice {
  kAccepted,     // `game_path` holds the new GamePath
  kCancelled,    // the chooser was cancelled or gave no file-system path; nothing shown
  kNoDialogFile, // the folder's dialog.tlk cannot be opened; the message was shown
  kNotATalkTable,// the folder's dialog.tlk is not a talk table (or does not fit in memory); the message was shown
  kTooLong,      // the folder's path is longer than kMaxGameFolderLength; the message was shown
  kRefused,      // the game's tables cannot be used (a link on their way, a DLC not merged); the message was shown
};

// Shows the folder chooser owned by `owner` and checks the chosen folder by finding its talk tables
// (find_talk_tables), then opening the first of them, its dialog.tlk in a classic game, for reading
// without sharing and reading it as a talk table (read_talk_table). When the check passes, writes the
// folder's path followed by one backslash (a drive root's own backslash is kept, so it ends in two)
// into `game_path` (kMaxPath bytes) and returns kAccepted. The chooser and the check work in storage
// of their own: in every other case `game_path` is left exactly as it was.
FolderChoice choose_game_folder(WindowRef owner, char* game_path);

// The check of choose_game_folder, on the folder `chosen` (not empty) given otherwise (by the
// command line of a scripted install), with the same messages and results. The folder is first
// written as canonical_path writes it, so that one game folder is always one GamePath, however it
// was spelled.
FolderChoice check_game_folder(WindowRef owner, const char* chosen, char* game_path);

// Writes `path` into `canonical` as the one spelling of what it names: its full path (full_path), and
// no separator at its end but a drive root's own ("C:\"). Returns false, leaving `canonical` empty, when
// it does not fit.
bool canonical_path(const char* path, PathString* canonical);

}  // namespace zep
