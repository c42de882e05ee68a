#include "shell/game_folder.h"

#include "dialog/talk_table.h"
#include "install/game_talk_tables.h"
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
  // The chosen path and a backslash: the GamePath the folder is checked as. Its first talk table is
  // read (dialog.tlk at its top for a classic game); all of them are when the add-on is installed.
  PathString folder_path;
  folder_path.format("%s\\", chosen);  // fits: 248 characters, the backslash and the terminator
  TalkTableNames tables;
  PathString tried;
  const TableSearch search = find_talk_tables(folder_path.c_str(), &tables, &tried);
  if (search != TableSearch::kFound) {
    show_table_search_failure(search, tried, "", owner);
    return FolderChoice::kRefused;
  }
  tried.format("%s%s", folder_path.c_str(), tables.names());  // fits for dialog.tlk; a longer one is looked for
  TalkTable table;
  const char* problem = "";
  const TalkLoad result = read_talk_table(&table, tried.c_str(), &problem, false);
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
  copy_bytes(game_path, folder_path.c_str(), length + 2);
  return FolderChoice::kAccepted;
}

}  // namespace zep
