#include "install/backup.h"

#include "install/log_lines.h"
#include "install/placement.h"
#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {
namespace {

constexpr char kBackupCaption[] = "ZEP backup error";

bool exists(const char* path) {
  FileHandle file(open_for_reading(path));
  if (file.is_open()) return true;
  // Held open elsewhere is there all the same.
  return last_error() == win_error::kSharingViolation;
}

// The first of `a` and `b` that passes through a link, or null.
const char* link_of(const PathString& a, const PathString& b, u32 game_path_length) {
  if (passes_through_link(a.c_str(), game_path_length)) return a.c_str();
  return passes_through_link(b.c_str(), game_path_length) ? b.c_str() : nullptr;
}

// The messages of a file that is not replaced because its original could not be kept name the file
// first, then say why, and where its original is kept when there is one. The backups of the player's
// files are the only copies of the game's own: a message that names one says so, lest the player
// delete it to get an installation through.
constexpr char kKeepBackup[] = "\nKeep it and its folder: it may be the game's own file.";
constexpr char kBackupTooLong[] = "%s\nwas not replaced: for its backup, %s.%s";
constexpr char kBackupThroughLink[] = "%s\nwas not replaced: the path of its backup passes through a link:\n%s";
// An earlier backup of the file is where its backup would go; the other add-on's may be there too.
constexpr char kEarlierBackup[] = "%s\nwas not replaced: an earlier backup of it is kept as\n%s%s%s%s";

// A log of another add-on, read whole: `name` its add-on's name, checked against the log's first two
// lines.
struct OtherLog {
  HeapBuffer text;
  u32 size = 0;
  u32 line_start = 0;  // where the line naming the file begins
  u32 line_end = 0;    // where the next line begins
};

// Reads `path`, the log of the add-on `name`, and finds `relative_name` among its file lines.
bool find_in_log(const char* path, const char* name, const char* game_path, const char* relative_name,
                 OtherLog* log) {
  {
    FileHandle file(open_for_reading(path));
    if (!file.is_open() || !read_whole_file(file.get(), kLargestLog, &log->text, &log->size)) return false;
  }
  u32 position = 0;
  for (u32 index = 0; position < log->size; ++index) {
    u32 start = 0;
    const u32 length = next_log_line(log->text.text(), log->size, &position, &start);
    const char* line = log->text.text() + start;
    if (index == 0 && !same_name(line, length, name)) return false;
    if (index == 1 && !same_name(line, length, game_path)) return false;
    if (index >= 2 && same_name(line, length, relative_name)) {
      log->line_start = start;
      log->line_end = position < log->size ? position : log->size;
      return true;
    }
  }
  return false;
}

// Writes `log` back to `path` without the line that was found, through a temporary file that then
// replaces it in one step.
bool write_without_line(const char* path, const OtherLog& log) {
  PathString temporary;
  FileHandle file(create_log_replacement(path, &temporary));
  if (!file.is_open()) return false;
  const u8* bytes = log.text.data();
  const u32 tail = log.size - log.line_end;
  bool written = (log.line_start == 0 || write_file(file.get(), bytes, log.line_start)) &&
                 (tail == 0 || write_file(file.get(), bytes + log.line_end, tail)) && flush_file(file.get());
  written = file.close() && written;
  return finish_log_replacement(written, temporary.c_str(), path);
}

}  // namespace

bool backup_path(const char* game_path, const char* addon_name, const char* relative_name, PathString* path) {
  return path->format("%s%s%s\\%s", game_path, addon_name, kBackupSuffix, relative_name);
}

bool Backup::take_over(const char* relative_name, WindowRef owner, bool* failed) const {
  PathString pattern;
  if (!pattern.format("%s*%s", game_path_, kLogSuffix)) return false;
  FoundName found;
  SearchRef search = find_first(pattern.c_str(), &found);
  if (search == nullptr) return false;
  bool taken = false;
  do {
    // The add-on's name is the log's name without ".log"; a name with a dot is no add-on's.
    const u32 length = text_length(found.text);
    if (length <= 4) continue;
    BoundedText<kMaxPath> name;
    name.append(found.text, length - 4);
    bool plain = true;
    for (const char* c = name.c_str(); *c != 0; ++c) plain = plain && *c != '.';
    if (!plain || same_name(name.c_str(), name.length(), addon_name_)) continue;
    PathString log_path;
    if (!log_path.format("%s%s", game_path_, found.text)) continue;
    OtherLog log;
    if (!find_in_log(log_path.c_str(), name.c_str(), game_path_, relative_name, &log)) continue;

    // The other add-on's backup of the file, when it has one, is the game's original: it becomes
    // this add-on's, so that removing either add-on never loses it. Then the other log lets go.
    PathString theirs;
    PathString ours;
    PathString full_path;
    full_path.format("%s%s", game_path_, relative_name);  // fits: the placement made it
    bool moved = false;
    if (!backup_path(game_path_, name.c_str(), relative_name, &theirs) ||
        !backup_path(game_path_, addon_name_, relative_name, &ours)) {
      show_warning(owner, kBackupCaption, kBackupTooLong, full_path.c_str(), kPathTooLong, kChooseShorterPath);
      *failed = true;
    } else if (const char* linked = link_of(theirs, ours, text_length(game_path_))) {
      show_warning(owner, kLinkCaption, kBackupThroughLink, full_path.c_str(), linked);
      *failed = true;
    } else if (exists(theirs.c_str())) {
      if (exists(ours.c_str())) {
        show_warning(owner, kBackupCaption, kEarlierBackup, full_path.c_str(), ours.c_str(), "\nand another as\n",
                     theirs.c_str(), "\nKeep both and their folders: either may be the game's own file.");
        *failed = true;
      } else {
        moved =
            make_missing_folders(ours.c_str(), text_length(game_path_)) && replace_file(theirs.c_str(), ours.c_str());
        if (!moved) {
          show_warning(owner, kBackupCaption,
                       "%s\nwas not replaced: the add-on %s's backup of it,\n%s,\ncould not be moved to this one's: "
                       "%e.%s",
                       full_path.c_str(), name.c_str(), theirs.c_str(), last_error(), kKeepBackup);
          *failed = true;
        }
      }
    }
    if (!*failed && !write_without_line(log_path.c_str(), log)) {
      const u32 code = last_error();
      show_warning(
          owner, kBackupCaption,
          "%s\nwas not replaced: the log of the add-on %s, which placed it, could not be changed:\n%s\n%e.%s%s%s",
          full_path.c_str(), name.c_str(), log_path.c_str(), code, moved ? "\nIts backup is now kept as\n" : "",
          moved ? ours.c_str() : "", moved ? kKeepBackup : "");
      *failed = true;
    }
    taken = true;
    break;
  } while (find_next(search, &found));
  find_close(search);
  return taken;
}

void Backup::undo_placement(const char* relative_name) const {
  const u32 code = last_error();  // the failure being undone is what gets reported
  PathString full_path;
  PathString backup;
  const bool kept = same_name(relative_name, text_length(relative_name), last_kept_.c_str());
  last_kept_.clear();
  if (full_path.format("%s%s", game_path_, relative_name)) {
    // A backup from an earlier installation stays where it is: the log lists the file.
    if (!kept || !backup_path(game_path_, addon_name_, relative_name, &backup) ||
        !replace_file(backup.c_str(), full_path.c_str())) {
      delete_file(full_path.c_str());
    }
  }
  set_last_error(code);
}

bool Backup::keep_original(const char* relative_name, const char* full_path, WindowRef owner) const {
  if (log_ != nullptr && log_->lists(relative_name)) return true;
  bool failed = false;
  last_kept_.clear();
  if (take_over(relative_name, owner, &failed)) {
    if (!failed) last_kept_.assign(relative_name);
    return !failed;
  }

  PathString backup;
  if (!backup_path(game_path_, addon_name_, relative_name, &backup)) {
    show_warning(owner, kBackupCaption, kBackupTooLong, full_path, kPathTooLong, kChooseShorterPath);
    return false;
  }
  if (passes_through_link(backup.c_str(), text_length(game_path_))) {
    show_warning(owner, kLinkCaption, kBackupThroughLink, full_path, backup.c_str());
    return false;
  }
  // An older backup is older than what is there now: it stays, and what is there now is not replaced.
  if (exists(backup.c_str())) {
    show_warning(owner, kBackupCaption, kEarlierBackup, full_path, backup.c_str(), "", "", kKeepBackup);
    return false;
  }
  if (!make_missing_folders(backup.c_str(), text_length(game_path_)) || !copy_file(full_path, backup.c_str())) {
    const u32 code = last_error();
    delete_file(backup.c_str());  // a copy that stopped part way is no backup
    show_warning(owner, kBackupCaption, "%s\nwas not replaced: copying it to\n%s\nfailed: %e.", full_path,
                 backup.c_str(), code);
    return false;
  }
  last_kept_.assign(relative_name);
  return true;
}

}  // namespace zep
