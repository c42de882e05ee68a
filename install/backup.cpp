#include "install/backup.h"

#include "install/game_talk_tables.h"
#include "install/log_lines.h"
#include "install/placement.h"
#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {
namespace {

constexpr char kBackupCaption[] = "ZEP backup error";

// True when a file is at `path` (held open elsewhere, it is there all the same). A folder is not: it
// leaves 5 in last_error().
bool exists(const char* path) {
  FileHandle file(open_for_reading(path));
  return file.is_open() || last_error() == win_error::kSharingViolation;
}

// True when the files at `a` and `b` can both be read whole and hold the same bytes. (Files larger
// than any log are taken for different: comparing them is not worth holding them in memory.) Kept out
// of line, measured: 4 bytes less than folded into its caller.
[[gnu::noinline]] bool same_bytes(const char* a, const char* b) {
  HeapBuffer first;
  HeapBuffer second;
  u32 size = 0;
  u32 other = 0;
  return read_whole_file(a, kLargestLog, &first, &size) && read_whole_file(b, kLargestLog, &second, &other) &&
         size == other && __builtin_memcmp(first.data(), second.data(), size) == 0;
}

// The messages of a file that is not placed name the file first, then say why, and where its original
// is kept when there is one. The backups of the player's files are the only copies of the game's own:
// a message that names one says so, lest the player delete it to get an installation through. Each
// begins with the file and "was not replaced" (a file that was there) or "was not installed".
constexpr char kKeepBackup[] = "\nKeep it and its folder: it may be the game's own file.";
constexpr char kBackupTooLong[] = "for its backup, %s.%s";
constexpr char kBackupThroughLink[] = "the path of its backup passes through a link:\n%s";
// An original, or the other add-on's backup, that could not be moved back where it was.
constexpr char kNotMovedBack[] = "%s\ncould not be moved back to\n%s: %e.%s";
constexpr char kTwoBackups[] = "two backups of it are kept, as\n%s\nand as\n%s\n"
                               "Keep both and their folders: either may be the game's own file.";

// Removes the folders of `path` from its last up to the game folder (its first `game_length` bytes)
// while they are empty: what the other add-on's backup folder keeps once its backup moved out.
void remove_empty_folders(const char* path, u32 game_length) {
  PathString folder;
  folder.assign(path);
  for (u32 at = folder.length(); at > game_length; --at) {
    if (folder.c_str()[at] != '\\') continue;
    folder.split_at(at);  // the folder's path: what comes before this separator
    if (!remove_folder(folder.c_str())) return;
  }
}

// Shows under `caption` that the file at `full_path` was not placed ("was not replaced" when it was
// there, `existing`, "was not installed" otherwise) and why: `reason` with its fields.
void refuse(WindowRef owner, const char* caption, const char* full_path, bool existing, const char* reason, ...) {
  MessageText why;
  va_list fields;
  va_start(fields, reason);
  why.format_list(reason, fields, true);
  va_end(fields);
  show_warning(owner, caption, "%s\nwas not %s: %s", full_path, existing ? "replaced" : "installed", why.c_str());
}

}  // namespace

bool backup_path(const char* game_path, const char* addon_name, const char* relative_name, PathString* path) {
  return path->format("%s%s%s\\%s", game_path, addon_name, kBackupSuffix, relative_name);
}

bool Backup::prepare(WindowRef owner) {
  PathString folder;
  folder_there_ = folder.format("%s%s%s", game_path_, addon_name_, kBackupSuffix) &&
                  (exists(folder.c_str()) || last_error() == win_error::kAccessDenied);
  PathString failed;
  if (others_.read(game_path_, addon_name_, &failed)) return true;
  show_warning(owner, kBackupCaption,
               "%s cannot be read: %e.\nAs it may be another add-on's log, close the program that uses it, then run "
               "this installer again.%s",
               failed.c_str(), last_error(), kNothingInstalled);
  return false;
}

// Kept out of line, measured: 44 bytes less than folded into claim(), whose frame its locals would
// widen.
[[gnu::noinline]] bool Backup::check_own_backup(const PathString& ours, const char* relative_name,
                                                const char* full_path, bool existing, WindowRef owner) {
  // A new file needs a look only when the backup folder was there before this installation (what it
  // has made there since is other files' backups); a backup made now never replaces one that is there.
  if ((!existing && !folder_there_) || !exists(ours.c_str())) return true;
  // The log lists the file: the backup holds its original, from the add-on's first installation.
  if (log_ != nullptr && log_->lists(relative_name)) {
    kept_.assign(relative_name);
    return true;
  }
  // Left by a run that was cut short. Holding the bytes of the file there now, it is as good as the
  // backup this placement would make.
  if (existing && same_bytes(ours.c_str(), full_path)) {
    kept_.assign(relative_name);
    made_ = true;
    return true;
  }
  refuse(owner, kBackupCaption, full_path, existing,
         "a backup of it that this add-on's log does not account for is in the way:\n%s\nIt may be the game's own "
         "file: put it back in the file's place, or delete it if it is not; then run this installer again.",
         ours.c_str());
  return false;
}

bool Backup::claim(const char* relative_name, const char* full_path, bool existing, WindowRef owner) {
  kept_.clear();
  made_ = false;
  taken_ = others_.listing(relative_name);
  moved_from_.clear();
  const bool taking = taken_ != OtherLogs::kNone;
  // The add-on's own already (its backup, if any, holds the original); or a new file where no backup
  // can be in the way.
  if (!taking && ((log_ != nullptr && log_->lists(relative_name)) || (!existing && !folder_there_))) return true;

  const u32 game_length = text_length(game_path_);
  PathString ours;
  PathString theirs;
  if (!backup_path(game_path_, addon_name_, relative_name, &ours) ||
      (taking && !backup_path(game_path_, others_.addon(taken_), relative_name, &theirs))) {
    if (!taking && !existing) return true;  // a new file needs no backup, and none can be in the way
    refuse(owner, kBackupCaption, full_path, existing, kBackupTooLong, kPathTooLong, kChooseShorterPath);
    return false;
  }
  const char* linked = passes_through_link(ours.c_str(), game_length)                ? ours.c_str()
                       : taking && passes_through_link(theirs.c_str(), game_length) ? theirs.c_str()
                                                                                    : nullptr;
  if (linked != nullptr) {
    refuse(owner, kLinkCaption, full_path, existing, kBackupThroughLink, linked);
    return false;
  }
  // Taking the file over from another add-on: that add-on's backup of it is the game's original, and
  // becomes this one's.
  const bool moving = taking && exists(theirs.c_str());
  if (moving && exists(ours.c_str())) {
    refuse(owner, kBackupCaption, full_path, existing, kTwoBackups, ours.c_str(), theirs.c_str());
    return false;
  }
  if (!moving && !check_own_backup(ours, relative_name, full_path, existing, owner)) return false;
  if (taking) {
    // The other log lets go of the file, written anew before anything moves; a failure to move puts it
    // back as it was.
    if (!others_.let_go(taken_, relative_name)) {
      PathString log_path;
      others_.log_path(taken_, &log_path);
      refuse(owner, kBackupCaption, full_path, existing,
             "the log of the add-on %s, which placed it, could not be changed:\n%s\n%e.",
             others_.addon(taken_), log_path.c_str(), last_error());
      return false;
    }
    if (!moving) return true;
    if (!make_missing_folders(ours.c_str(), game_length) || !replace_file(theirs.c_str(), ours.c_str())) {
      refuse(owner, kBackupCaption, full_path, existing,
             "the add-on %s's backup of it,\n%s,\ncould not be moved to this one's: %e.%s",
             others_.addon(taken_), theirs.c_str(), last_error(), kKeepBackup);
      put_back(taken_, relative_name, full_path, owner);
      return false;
    }
    moved_from_.assign(theirs.c_str());
    remove_empty_folders(theirs.c_str(), game_length);
  } else if (existing && kept_.length() == 0) {
    if (!make_missing_folders(ours.c_str(), game_length) || !copy_file(full_path, ours.c_str())) {
      const u32 code = last_error();
      delete_file(ours.c_str());  // a copy that stopped part way is no backup
      refuse(owner, kBackupCaption, full_path, true, "copying it to\n%s\nfailed: %e.", ours.c_str(), code);
      return false;
    }
    made_ = true;
  } else {
    return true;
  }
  kept_.assign(relative_name);
  return true;
}

void Backup::put_back(u32 log, const char* relative_name, const char* full_path, WindowRef owner) {
  if (others_.put_back(log, relative_name)) return;
  PathString log_path;
  others_.log_path(log, &log_path);
  show_warning(owner, kBackupCaption,
               "The log %s\ncould not be written back as it was, and no longer lists\n%s: %e.\nKeep the add-on %s's "
               "backup folder: it may hold the game's own file.",
               log_path.c_str(), full_path, last_error(), others_.addon(log));
}

void Backup::release(const char* relative_name, WindowRef owner) {
  const u32 code = last_error();  // the failure being undone is what gets reported
  PathString ours;
  backup_path(game_path_, addon_name_, relative_name, &ours);  // fits: claim made it
  const u32 game_length = text_length(game_path_);
  if (taken_ != OtherLogs::kNone) {
    // The other add-on's backup goes back into its folders, made again where the take-over removed
    // them as they emptied; this add-on's go as they empty.
    if (moved_from_.length() > 0) {
      if (make_missing_folders(moved_from_.c_str(), game_length) && replace_file(ours.c_str(), moved_from_.c_str())) {
        remove_empty_folders(ours.c_str(), game_length);
      } else {
        show_warning(owner, kBackupCaption, kNotMovedBack, ours.c_str(), moved_from_.c_str(), last_error(),
                     kKeepBackup);
      }
    }
    PathString full_path;
    full_path.format("%s%s", game_path_, relative_name);
    put_back(taken_, relative_name, full_path.c_str(), owner);
  } else if (made_) {
    // The original is still in place: the backup made of it goes, also when it came with the original's
    // read-only mark (the very mark that may have kept the original from being replaced).
    clear_read_only(ours.c_str());
    delete_file(ours.c_str());
  }
  kept_.clear();
  made_ = false;
  taken_ = OtherLogs::kNone;
  set_last_error(code);
}

void Backup::undo_placement(const char* relative_name, WindowRef owner) {
  const u32 code = last_error();  // the failure being undone is what gets reported
  PathString full_path;
  PathString backup;
  const bool kept = same_name(relative_name, text_length(relative_name), kept_.c_str());
  kept_.clear();
  if (full_path.format("%s%s", game_path_, relative_name) &&
      (!kept || !backup_path(game_path_, addon_name_, relative_name, &backup) ||
       !replace_file(backup.c_str(), full_path.c_str()))) {
    if (kept) {
      // The original stays in the backup folder, where the add-on's next installation finds it.
      show_warning(owner, kBackupCaption, kNotMovedBack, backup.c_str(), full_path.c_str(), last_error(), kKeepBackup);
    }
    delete_file(full_path.c_str());
  }
  set_last_error(code);
}

}  // namespace zep
