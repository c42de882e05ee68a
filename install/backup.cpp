#include "install/backup.h"

#include "install/log_lines.h"
#include "install/placement.h"
#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {

const char kBackupSuffix[] = ".zep-backup";

namespace {

constexpr char kBackupCaption[] = "ZEP backup error";

char fold(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

// True when `length` bytes at `a` and the zero-terminated `b` are equal, ignoring case.
bool same_name(const char* a, u32 length, const char* b) {
  for (u32 i = 0; i < length; ++i) {
    if (b[i] == 0 || fold(a[i]) != fold(b[i])) return false;
  }
  return b[length] == 0;
}

bool exists(const char* path) {
  FileHandle file(open_for_reading(path));
  if (file.is_open()) return true;
  // Held open elsewhere is there all the same.
  return last_error() == win_error::kSharingViolation;
}

// What follows a refused link's path when it is where a backup would be, or would come from.
constexpr char kLinkNotReplaced[] = "\nA backup's path: the file was not replaced.";

// The first of `a` and `b` that passes through a link, or null.
const char* link_of(const PathString& a, const PathString& b, u32 game_path_length) {
  if (passes_through_link(a.c_str(), game_path_length)) return a.c_str();
  return passes_through_link(b.c_str(), game_path_length) ? b.c_str() : nullptr;
}

// The message for a file whose original could not be kept: what happened, the file, the error.
void show_not_kept(const char* why, const char* full_path, WindowRef owner) {
  char number[12];
  format_unsigned_decimal(last_error(), number);
  MessageText then;
  then.assign("\nIt was not replaced. (error ");
  then.append(number);
  then.append(")");
  show_path_warning(kBackupCaption, why, full_path, then.c_str(), owner);
}

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
  if (!temporary.assign(path) || !temporary.append(".new")) {
    set_last_error(win_error::kFilenameTooLong);
    return false;
  }
  // A link in the temporary file's place would have the log written wherever it points. (The log
  // itself may be one: the rename replaces the link, not what it points to.)
  if (is_link(temporary.c_str())) {
    set_last_error(win_error::kAccessDenied);
    return false;
  }
  FileHandle file(create_or_replace(temporary.c_str()));
  if (!file.is_open()) return false;
  const u8* bytes = log.text.data();
  const u32 tail = log.size - log.line_end;
  if ((log.line_start > 0 && !write_file(file.get(), bytes, log.line_start)) ||
      (tail > 0 && !write_file(file.get(), bytes + log.line_end, tail)) || !flush_file(file.get()) || !file.close()) {
    discard_written_file(&file, temporary.c_str());
    return false;
  }
  if (replace_file(temporary.c_str(), path)) return true;
  const u32 code = last_error();
  delete_file(temporary.c_str());
  set_last_error(code);
  return false;
}

}  // namespace

bool backup_path(const char* game_path, const char* addon_name, const char* relative_name, PathString* path) {
  return path->assign(game_path) && path->append(addon_name) && path->append(kBackupSuffix) &&
         path->append("\\") && path->append(relative_name);
}

bool Backup::take_over(const char* relative_name, WindowRef owner, bool* failed) const {
  PathString pattern;
  if (!pattern.assign(game_path_) || !pattern.append("*.log")) return false;
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
    if (!log_path.assign(game_path_) || !log_path.append(found.text)) continue;
    OtherLog log;
    if (!find_in_log(log_path.c_str(), name.c_str(), game_path_, relative_name, &log)) continue;

    // The other add-on's backup of the file, when it has one, is the game's original: it becomes
    // this add-on's, so that removing either add-on never loses it. Then the other log lets go.
    PathString theirs;
    PathString ours;
    PathString full_path;
    full_path.assign(game_path_);
    full_path.append(relative_name);
    if (!backup_path(game_path_, name.c_str(), relative_name, &theirs) ||
        !backup_path(game_path_, addon_name_, relative_name, &ours)) {
      set_last_error(win_error::kFilenameTooLong);
      show_not_kept("Another add-on's backup of this file could not be taken over:", full_path.c_str(),
                    owner);
      *failed = true;
    } else if (const char* linked = link_of(theirs, ours, text_length(game_path_))) {
      refuse_link(linked, kLinkNotReplaced, owner);
      *failed = true;
    } else if (exists(theirs.c_str())) {
      if (exists(ours.c_str())) {
        set_last_error(win_error::kAlreadyExists);
        show_not_kept("An earlier backup of this file is in the way:", ours.c_str(), owner);
        *failed = true;
      } else {
        make_missing_folders(ours.c_str(), text_length(game_path_));
        if (!replace_file(theirs.c_str(), ours.c_str())) {
          show_not_kept("Another add-on's backup of this file could not be taken over:",
                        full_path.c_str(), owner);
          *failed = true;
        }
      }
    }
    if (!*failed && !write_without_line(log_path.c_str(), log)) {
      show_not_kept("The other add-on's log could not be changed:", log_path.c_str(), owner);
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
  if (full_path.assign(game_path_) && full_path.append(relative_name)) {
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
    set_last_error(win_error::kFilenameTooLong);
    show_not_kept("The original of this file could not be kept (path too long):", full_path,
                  owner);
    return false;
  }
  if (passes_through_link(backup.c_str(), text_length(game_path_))) {
    refuse_link(backup.c_str(), kLinkNotReplaced, owner);
    return false;
  }
  // An older backup is older than what is there now: it stays, and what is there now is not replaced.
  if (exists(backup.c_str())) {
    set_last_error(win_error::kAlreadyExists);
    show_not_kept("An earlier backup of this file is in the way:", backup.c_str(), owner);
    return false;
  }
  make_missing_folders(backup.c_str(), text_length(game_path_));
  if (!copy_file(full_path, backup.c_str())) {
    const u32 code = last_error();
    delete_file(backup.c_str());  // a copy that stopped part way is no backup
    set_last_error(code);
    show_not_kept("The original of this file could not be kept:", full_path, owner);
    return false;
  }
  last_kept_.assign(relative_name);
  return true;
}

}  // namespace zep
