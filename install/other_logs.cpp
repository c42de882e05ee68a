#include "install/other_logs.h"

#include "install/log_lines.h"
#include "install/own_files.h"

namespace zep {
namespace {

// Reads, from the start of the open `file`, no more than it takes to tell whether its first line is
// `name`, as the uninstaller reads a log's first line (up to its LF, a CR before that dropped, the last
// line without one taken whole) and compares it (without regard to case). Stores the file's size in
// `size` and the answer in `named`. Returns false, with last_error() saying why, when it cannot be read.
bool first_line_is(FileRef file, const char* name, u32* size, bool* named) {
  const u32 name_length = text_length(name);
  char head[kMaxPath + 2];
  *named = false;
  if (name_length > kMaxPath || !get_file_size(file, size)) return false;
  // The name and the line end after it.
  const u32 head_length = *size < name_length + 2 ? *size : name_length + 2;
  if (!seek_file(file, 0) || (head_length > 0 && !read_file(file, head, head_length))) return false;
  *named = head_length >= name_length && same_name(head, name_length, name) &&
           (head_length == name_length || head[name_length] == '\n' ||
            (head_length == name_length + 2 && head[name_length] == '\r' && head[name_length + 1] == '\n'));
  return true;
}

}  // namespace

// Kept out of line, measured: 12 bytes less than folded into the backup's preparation.
[[gnu::noinline]] bool OtherLogs::read(const char* game_path, const char* addon_name, PathString* failed) {
  game_path_ = game_path;
  PathString pattern;
  if (!pattern.format("%s*%s", game_path, kLogSuffix)) return true;  // no log of any add-on has a path
  FoundName found;
  SearchRef search = find_first(pattern.c_str(), &found);
  if (search == nullptr) return true;
  bool read = true;
  do {
    // "<Name>.log", <Name> an add-on's name (which ends at its first dot) but this one's. The search
    // also finds names whose short form ends in ".log".
    const u32 length = text_length(found.text);
    bool plain = length > 4 && same_name(found.text + length - 4, 4, kLogSuffix);
    for (u32 i = 0; i + 4 < length; ++i) plain = plain && found.text[i] != '.';
    if (!plain) continue;
    found.text[length - 4] = 0;
    if (same_name(found.text, length - 4, addon_name) || !failed->format("%s%s%s", game_path, found.text, kLogSuffix)) {
      continue;
    }
    FileHandle file(open_for_reading(failed->c_str()));
    u32 size = 0;
    bool named = false;
    HeapBuffer text;
    if (!file.is_open()) {
      // Gone since the search, or a folder: no log. A file held open by another program may be one.
      const u32 code = last_error();
      read = code == win_error::kFileNotFound || code == win_error::kPathNotFound || code == win_error::kAccessDenied;
      continue;
    }
    // Not a log; or one too large for any uninstaller to read, so that nothing it lists is deleted.
    read = first_line_is(file.get(), found.text, &size, &named);
    if (!read || !named || size > kLargestLog) continue;
    const u32 log = names_.used() / kMaxPath;
    read = read_whole_file(file.get(), kLargestLog, &text, &size) && names_.extend(kMaxPath) != nullptr;
    if (!read) break;
    copy_bytes(names_.data() + log * kMaxPath, found.text, length - 3);
    u32 position = 0;
    for (u32 index = 0; position < size && read; ++index) {
      u32 start = 0;
      const u32 line_length = next_log_line(text.text(), size, &position, &start);
      if (index >= 2 && line_length > 0) read = index_.add(text.text() + start, line_length, log);
    }
  } while (read && find_next(search, &found));
  const u32 code = last_error();
  find_close(search);
  set_last_error(code);
  return read;
}

bool OtherLogs::log_path(u32 log, PathString* path) const {
  return path->format("%s%s%s", game_path_, addon(log), kLogSuffix);
}

bool OtherLogs::let_go(u32 log, const char* relative_name) {
  PathString path;
  log_path(log, &path);
  HeapBuffer text;
  u32 size = 0;
  if (!read_whole_file(path.c_str(), kLargestLog, &text, &size)) return false;
  if (!write_log_anew(path.c_str(), nullptr, text.text(), 0, size, relative_name, false)) return false;
  before_ = static_cast<HeapBuffer&&>(text);
  before_size_ = size;
  *index_.value_of(relative_name, text_length(relative_name)) = kNone;
  return true;
}

bool OtherLogs::put_back(u32 log, const char* relative_name) {
  PathString path;
  log_path(log, &path);
  if (!write_log_anew(path.c_str(), nullptr, before_.text(), 0, before_size_, nullptr, false)) return false;
  *index_.value_of(relative_name, text_length(relative_name)) = log;
  return true;
}

}  // namespace zep
