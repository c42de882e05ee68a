#include "install/placement.h"

#include "archive/names.h"
#include "install/backup.h"
#include "platform/error_message.h"

namespace zep {

const char kOverwriteQuestion[] = "File already exists. Overwrite?";
const char kFileNotInstalled[] = "\nIt is not installed.";
const char kLinkCaption[] = "ZEP refused link";
const char kPathTooLong[] = "its path would be longer than the 259 characters Windows takes";
const char kChooseShorterPath[] = "\nChoose a game folder with a shorter path.";

namespace {

constexpr char kRefusedCaption[] = "ZEP refused file";

// Shows under `caption` that the add-on's file `folder` + `name` is not installed, `why` (words that
// follow "is not installed: "), and then `then` (empty, or a line of its own).
void refuse_file(const char* caption, const char* folder, const char* name, const char* why, const char* then,
                 WindowRef owner) {
  show_warning(owner, caption, "The add-on's file\n%s%s\nis not installed: %s.%s", folder, name, why, then);
}

}  // namespace

bool make_missing_folders(const char* full_path, u32 game_path_length) {
  PathString folder;
  const u32 length = text_length(full_path);
  for (u32 i = game_path_length; i < length; ++i) {
    if (full_path[i] != '\\') continue;
    folder.clear();
    folder.append(full_path, i);
    if (!make_folder(folder.c_str()) && last_error() != win_error::kAlreadyExists) return false;
  }
  return true;
}

bool passes_through_link(const char* full_path, u32 game_path_length) {
  // Each leading part that ends at a separator or at the end, after the game folder itself (the
  // player's choice), is looked at in turn.
  char part[kMaxPath];
  for (u32 i = 0; i < kMaxPath; ++i) {
    const char c = full_path[i];
    part[i] = 0;
    if (i > game_path_length && (c == '\\' || c == 0) && is_link(part)) return true;
    if (c == 0) break;
    part[i] = c;
  }
  return false;
}

void refuse_link(const char* full_path, const char* then, const char* last, WindowRef owner) {
  show_warning(owner, kLinkCaption, "This path passes through a link; links are not followed:\n%s%s%s", full_path, then,
               last);
}

bool may_place(const char* relative_name, const char* addon_name) {
  return check_relative_name(relative_name, text_length(relative_name)) == NameProblem::kNameOk &&
         !is_installer_own_name(relative_name, addon_name);
}

void refuse_unusable_name(const char* name, WindowRef owner) {
  refuse_file(kRefusedCaption, "", name, "the name is longer than 256 bytes or holds a zero byte", "", owner);
}

bool accept_placement_name(const char* relative_name, const char* addon_name, WindowRef owner) {
  const NameProblem problem = check_relative_name(relative_name, text_length(relative_name));
  const bool own = problem == NameProblem::kNameOk && is_installer_own_name(relative_name, addon_name);
  if (problem == NameProblem::kNameOk && !own) return true;
  refuse_file(kRefusedCaption, "", relative_name,
              own ? "the installer keeps this name, or one it may be short for, for itself"
                  : describe_name_problem(problem),
              "", owner);
  return false;
}

PlaceResult place_file(const char* game_path, const char* relative_name, const void* data, u32 length,
                       const PlaceRules& rules, WindowRef owner, FileHandle* placed) {
  return place_file(game_path, relative_name, PlaceData{data, nullptr, 0, length}, rules, owner, placed);
}

PlaceResult place_file(const char* game_path, const char* relative_name, const PlaceData& data,
                       const PlaceRules& rules, WindowRef owner, FileHandle* placed) {
  *placed = FileHandle();
  if (!accept_placement_name(relative_name, rules.addon_name, owner)) return PlaceResult::kRefused;
  PathString full_path;
  if (!full_path.format("%s%s", game_path, relative_name)) {
    refuse_file(kWriteErrorCaption, game_path, relative_name, kPathTooLong, kChooseShorterPath, owner);
    return PlaceResult::kFailed;
  }
  if (passes_through_link(full_path.c_str(), text_length(game_path))) {
    refuse_link(full_path.c_str(), kFileNotInstalled, "", owner);
    return PlaceResult::kRefused;
  }

  FileHandle file(create_new(full_path.c_str()));
  bool existing = false;  // the player agreed to replace the file that is there
  if (!file.is_open()) {
    const u32 code = last_error();
    if (code == win_error::kFileExists) {
      if (show_message(owner, kOverwriteQuestion, full_path.c_str(), kMbYesNo) != kIdYes) {
        return PlaceResult::kDeclined;
      }
      existing = true;
      if (rules.backup != nullptr && !rules.backup->claim(relative_name, full_path.c_str(), true, owner)) {
        return PlaceResult::kFailed;
      }
    } else if (code == win_error::kPathNotFound) {
      if (!make_missing_folders(full_path.c_str(), text_length(game_path))) {
        show_write_failure(owner, false, full_path.c_str(), "", kFileNotInstalled);
        return PlaceResult::kFailed;
      }
    } else {
      show_error_number(owner, kWriteErrorCaption);
      return PlaceResult::kFailed;
    }
    file = FileHandle(create_or_replace(full_path.c_str()));
    if (!file.is_open()) {
      if (existing && rules.backup != nullptr) rules.backup->release(relative_name, owner);
      show_write_failure(owner, false, full_path.c_str(), "", kFileNotInstalled);
      return PlaceResult::kFailed;
    }
  }
  // A file that was not there may still be listed by another add-on's log: it becomes this one's
  // before anything is written to it, or the empty file just made goes again.
  if (!existing && rules.backup != nullptr && !rules.backup->claim(relative_name, full_path.c_str(), false, owner)) {
    discard_written_file(&file, full_path.c_str());
    return PlaceResult::kFailed;
  }

  CopyFailure failure = CopyFailure::kNone;
  if (data.bytes != nullptr) {
    if (!write_file(file.get(), data.bytes, data.length)) failure = CopyFailure::kWrite;
  } else {
    failure = copy_region(data.source, data.offset, data.length, file.get());
  }
  if (failure != CopyFailure::kNone) {
    // What is reported is the failure itself, not whatever the clean-up leaves behind. The original,
    // when one was kept for this, goes back in place of the half-written file.
    discard_written_file(&file, full_path.c_str());
    if (rules.backup != nullptr) rules.backup->undo_placement(relative_name, owner);
    show_write_failure(owner, failure == CopyFailure::kRead, full_path.c_str(), "", kFileNotInstalled);
    return PlaceResult::kFailed;
  }
  *placed = static_cast<FileHandle&&>(file);
  return PlaceResult::kPlaced;
}

}  // namespace zep
