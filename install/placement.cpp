#include "install/placement.h"

#include "archive/names.h"
#include "archive/reader.h"
#include "install/backup.h"
#include "platform/error_message.h"

namespace zep {

const char kOverwriteQuestion[] = "File already exists. Overwrite?";
namespace {

constexpr char kWriteError[] = "Write error";

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `name` begins with `prefix` (of `length` bytes), ignoring case.
bool starts_with(const char* name, const char* prefix, u32 length) {
  for (u32 i = 0; i < length; ++i) {
    if (name[i] == 0 || fold(name[i]) != fold(prefix[i])) return false;
  }
  return true;
}

bool equal_names(const char* a, const char* b) {
  const u32 length = text_length(b);
  return text_length(a) == length && starts_with(a, b, length);
}

PlaceResult fail_with_write_error(WindowRef owner) {
  show_error_number(owner, kWriteError);
  return PlaceResult::kFailed;
}

}  // namespace

void make_missing_folders(const char* full_path, u32 game_path_length) {
  PathString folder;
  const u32 length = text_length(full_path);
  for (u32 i = game_path_length; i < length; ++i) {
    if (full_path[i] != '\\') continue;
    folder.clear();
    folder.append(full_path, i);
    make_folder(folder.c_str());
  }
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

void show_path_warning(const char* caption, const char* why, const char* path, const char* then, WindowRef owner) {
  MessageText text;
  text.assign(why);
  text.append("\n");
  if (!text.append(path)) text.append("(too long to show)");
  text.append(then);
  show_message(owner, text.c_str(), caption, kMbOk | kMbIconWarning);
}

void refuse_link(const char* full_path, const char* then, WindowRef owner) {
  show_path_warning("ZEP refused link",
                    "This path passes through a link; links are not followed:",
                    full_path, then, owner);
}

bool is_installer_own_name(const char* relative_name, const char* addon_name) {
  static const char* const kOwnFiles[] = {"dialog.tlk", "dialog.tlk.new", "dialogF.tlk", "dialogF.tlk.new",
                                          "dialogF.tlk.old", "UInst.exe"};
  for (const char* own : kOwnFiles) {
    if (equal_names(relative_name, own)) return true;
  }
  if (addon_name == nullptr || addon_name[0] == 0) return false;
  const u32 length = text_length(addon_name);
  if (!starts_with(relative_name, addon_name, length)) return false;
  const char* rest = relative_name + length;
  if (equal_names(rest, ".log") || equal_names(rest, ".log.new")) return true;
  // The backup folder, and everything in it.
  const u32 suffix = text_length(kBackupSuffix);
  return starts_with(rest, kBackupSuffix, suffix) && (rest[suffix] == 0 || rest[suffix] == '\\');
}

bool may_place(const char* relative_name, const char* addon_name) {
  return check_relative_name(relative_name, text_length(relative_name)) == NameProblem::kNameOk &&
         !is_installer_own_name(relative_name, addon_name);
}

void refuse_long_name(WindowRef owner) {
  show_message(owner, "A file name of this add-on is unusable; it is not installed.",
               "ZEP refused file", kMbOk | kMbIconWarning);
}

bool accept_placement_name(const char* relative_name, const char* addon_name, WindowRef owner) {
  const bool inside = check_relative_name(relative_name, text_length(relative_name)) == NameProblem::kNameOk;
  if (inside && !is_installer_own_name(relative_name, addon_name)) return true;
  show_path_warning("ZEP refused file",
                    inside ? "A file the installer keeps for itself is not installed:"
                           : "A file outside the game folder is not installed:",
                    relative_name, "", owner);
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
  if (!full_path.assign(game_path) || !full_path.append(relative_name)) {
    set_last_error(win_error::kFilenameTooLong);
    return fail_with_write_error(owner);
  }
  if (passes_through_link(full_path.c_str(), text_length(game_path))) {
    refuse_link(full_path.c_str(), "\nThe file is not installed.", owner);
    return PlaceResult::kRefused;
  }

  FileHandle file(create_new(full_path.c_str()));
  if (!file.is_open()) {
    const u32 code = last_error();
    if (code == win_error::kFileExists) {
      if (show_message(owner, kOverwriteQuestion, full_path.c_str(), kMbYesNo) != kIdYes) {
        return PlaceResult::kDeclined;
      }
      if (rules.backup != nullptr && !rules.backup->keep_original(relative_name, full_path.c_str(), owner)) {
        return PlaceResult::kFailed;
      }
    } else if (code == win_error::kPathNotFound) {
      make_missing_folders(full_path.c_str(), text_length(game_path));
    } else {
      return fail_with_write_error(owner);
    }
    file = FileHandle(create_or_replace(full_path.c_str()));
    if (!file.is_open()) {
      if (rules.backup != nullptr) rules.backup->undo_placement(relative_name);
      return fail_with_write_error(owner);
    }
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
    if (rules.backup != nullptr) rules.backup->undo_placement(relative_name);
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
