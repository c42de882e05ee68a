#include "install/placement.h"

#include "archive/names.h"
#include "archive/reader.h"
#include "platform/error_message.h"

namespace zep {
namespace {

constexpr char kWriteError[] = "Write error";

// Makes every folder of `full_path` from the end of `game_path` on (the game folder itself exists).
// Folders that exist already are fine; any other failure leaves the error for the create that follows.
void make_missing_folders(const PathString& full_path, u32 game_path_length) {
  PathString folder;
  const char* text = full_path.c_str();
  for (u32 i = game_path_length; i < full_path.length(); ++i) {
    if (text[i] != '\\') continue;
    folder.clear();
    folder.append(text, i);
    make_folder(folder.c_str());
  }
}

PlaceResult fail_with_write_error(WindowRef owner) {
  show_error_number(owner, kWriteError);
  return PlaceResult::kFailed;
}

}  // namespace

bool accept_placement_name(const char* relative_name, WindowRef owner) {
  if (check_relative_name(relative_name, text_length(relative_name)) == NameProblem::kNameOk) return true;
  BoundedText<400> text;
  text.assign("This add-on names a file outside the game folder, which is not installed:\n");
  if (!text.append(relative_name)) text.append("(a name too long to show)");
  show_message(owner, text.c_str(), "ZEP refused file", kMbOk | kMbIconWarning);
  return false;
}

PlaceResult place_file(const char* game_path, const char* relative_name, const void* data, u32 length,
                       WindowRef owner, FileHandle* placed) {
  return place_file(game_path, relative_name, PlaceData{data, nullptr, 0, length}, owner, placed);
}

PlaceResult place_file(const char* game_path, const char* relative_name, const PlaceData& data, WindowRef owner,
                       FileHandle* placed) {
  *placed = FileHandle();
  if (!accept_placement_name(relative_name, owner)) return PlaceResult::kRefused;
  PathString full_path;
  if (!full_path.assign(game_path) || !full_path.append(relative_name)) {
    set_last_error(win_error::kFilenameTooLong);
    return fail_with_write_error(owner);
  }

  FileHandle file(create_new(full_path.c_str()));
  if (!file.is_open()) {
    const u32 code = last_error();
    if (code == win_error::kFileExists) {
      if (show_message(owner, "File already exists. Overwrite?", full_path.c_str(), kMbYesNo) != kIdYes) {
        return PlaceResult::kDeclined;
      }
    } else if (code == win_error::kPathNotFound) {
      make_missing_folders(full_path, text_length(game_path));
    } else {
      return fail_with_write_error(owner);
    }
    file = FileHandle(create_or_replace(full_path.c_str()));
    if (!file.is_open()) return fail_with_write_error(owner);
  }

  CopyFailure failure = CopyFailure::kNone;
  if (data.bytes != nullptr) {
    if (!write_file(file.get(), data.bytes, data.length)) failure = CopyFailure::kWrite;
  } else {
    failure = copy_region(data.source, data.offset, data.length, file.get());
  }
  if (failure != CopyFailure::kNone) {
    // What is reported is the failure itself, not whatever the clean-up leaves behind.
    discard_written_file(&file, full_path.c_str());
    if (failure == CopyFailure::kRead) {
      show_error_number(owner, "ZEP read Error");
      return PlaceResult::kFailed;
    }
    return fail_with_write_error(owner);
  }
  *placed = static_cast<FileHandle&&>(file);
  return PlaceResult::kPlaced;
}

}  // namespace zep
