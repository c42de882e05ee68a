#include "shell/game_folder.h"

#include "dialog/talk_table.h"
#include "install/placement.h"
#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {

const char kChooseFolderTitle[] = "Choose the directory containing the IE game.";

FolderChoice choose_game_folder(WindowRef owner, char* game_path) {
  char chosen[kMaxPath];
  if (!choose_folder(owner, kChooseFolderTitle, chosen) || chosen[0] == 0) return FolderChoice::kCancelled;
  return check_game_folder(owner, chosen, game_path);
}

bool canonical_path(const char* path, PathString* canonical) {
  char full[kMaxPath];
  // A drive alone is its root here, not the folder its drive is in at the moment.
  const char root[] = {path[0], ':', '\\', 0};
  const bool drive = path[0] != 0 && path[1] == ':' && path[2] == 0;
  canonical->clear();
  if (!full_path(drive ? root : path, full)) return false;
  u32 length = text_length(full);
  if (length > 3 && full[length - 1] == '\\') full[--length] = 0;  // but a drive root's own
  return canonical->assign(full);
}

FolderChoice check_game_folder(WindowRef owner, const char* given, char* game_path) {
  PathString folder;
  if (!canonical_path(given, &folder)) folder.assign(given);  // too long, and refused as such below
  const char* chosen = folder.length() > 0 ? folder.c_str() : given;
  const u32 length = text_length(chosen);
  if (length > kMaxGameFolderLength) {
    show_warning(owner, chosen, "The chosen folder's path is longer than %u characters.%s", kMaxGameFolderLength,
                 kChooseShorterPath);
    return FolderChoice::kTooLong;
  }
  PathString tried;
  tried.format("%s\\%s", chosen, kTalkTableName);  // fits: 248 + 11 characters and the terminator are 260 bytes
  TalkTable table;
  const char* problem = "";
  const TalkLoad result = read_talk_table(&table, tried.c_str(), &problem);
  if (result == TalkLoad::kCannotOpen) {
    show_message(owner,
                 "The dialog file cannot be located.\nOnly dirs containing a dialog.tlk file are considered valid.",
                 tried.c_str(), kMbOk);
    return FolderChoice::kNoDialogFile;
  }
  if (result != TalkLoad::kLoaded) {
    show_warning(owner, tried.c_str(), "The dialog file is not a talk table: %s.",
                 result == TalkLoad::kNotATable ? problem : "it does not fit in memory");
    return FolderChoice::kNotATalkTable;
  }
  // The chosen path and the backslash that was appended to it.
  copy_bytes(game_path, tried.c_str(), length + 1);
  game_path[length + 1] = 0;
  return FolderChoice::kAccepted;
}

}  // namespace zep
