#include "shell/game_folder.h"

#include "platform/buffers.h"

namespace zep {

const char kChooseFolderTitle[] = "Choose the directory containing the IE game.";

FolderChoice choose_game_folder(WindowRef owner, char* game_path) {
  char chosen[kMaxPath];
  if (!choose_folder(owner, kChooseFolderTitle, chosen) || chosen[0] == 0) return FolderChoice::kCancelled;

  const u32 length = text_length(chosen);
  if (length > kMaxGameFolderLength) {
    show_message(owner,
                 "The path of the chosen folder is too long: it may have at most 248 characters.\n"
                 "Please choose a game folder with a shorter path.",
                 chosen, kMbOk | kMbIconWarning);
    return FolderChoice::kTooLong;
  }
  PathString tried;
  tried.assign(chosen);
  tried.append("\\dialog.tlk");  // fits: 248 + 11 characters and the terminator are 260 bytes
  FileHandle dialog_file(open_for_reading(tried.c_str()));
  if (!dialog_file.is_open()) {
    show_message(owner,
                 "The dialog file cannot be located.\nOnly dirs containing a dialog.tlk file are considered valid.",
                 tried.c_str(), kMbOk);
    return FolderChoice::kNoDialogFile;
  }
  // The chosen path and the backslash that was appended to it.
  copy_bytes(game_path, tried.c_str(), length + 1);
  game_path[length + 1] = 0;
  return FolderChoice::kAccepted;
}

}  // namespace zep
