#include "install/game_talk_tables.h"

#include "install/placement.h"
#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {

const char kNothingInstalled[] = "\nNothing was installed.";

namespace {

// The longest text converted to UTF-8, so that three bytes for each of its bytes are still a
// positive int, as the conversion's functions take lengths.
constexpr u32 kLargestConvertedText = 0x2AAAAAAA;

}  // namespace

bool table_path(const char* game_path, const char* name, const char* suffix, PathString* path) {
  return path->format("%s%s%s", game_path, name, suffix);
}

bool something_at(const char* path) {
  FileHandle file(open_for_reading(path));
  const u32 code = last_error();
  return file.is_open() || (code != win_error::kFileNotFound && code != win_error::kPathNotFound);
}

void show_load_failure(TalkLoad result, const char* path, const char* problem, WindowRef owner) {
  const u32 code = last_error();
  if (result == TalkLoad::kCannotOpen) {
    show_warning(owner, kTalkTableErrorCaption, "Can't open dialog file %s: %e.\nIs the game running?%s", path, code,
                 kNothingInstalled);
  } else if (result == TalkLoad::kNotATable) {
    show_warning(owner, kTalkTableErrorCaption, "%s is not a talk table: %s.%s", path, problem, kNothingInstalled);
  } else {
    show_warning(owner, kTalkTableErrorCaption, "%s does not fit in memory.%s", path, kNothingInstalled);
  }
}

bool add_table(TalkTableNames* tables, const char* game_path, const char* relative, bool always) {
  PathString path;
  if (!always && (!table_path(game_path, relative, "", &path) || !something_at(path.c_str()))) return true;
  return tables->add(relative);
}

bool TalkTableNames::add(const char* relative) {
  count_ += 1;
  return names_.append(relative, text_length(relative) + 1);
}

TableSearch find_classic_tables(const char* game_path, TalkTableNames* tables) {
  // dialog.tlk, whose absence its check tells, and dialogF.tlk when it is there.
  for (u32 k = 0; k < 2; ++k) {
    if (!add_table(tables, game_path, k == 0 ? kTalkTableName : kFemaleTalkTableName, k == 0)) {
      return TableSearch::kNoMemory;
    }
  }
  return TableSearch::kFound;
}

bool GameTalkTables::load(const char* game_path, WindowRef owner) {
  PathString path;
  const TableSearch search = find_talk_tables(game_path, &names_, &path);
  if (search != TableSearch::kFound) {
    show_table_search_failure(search, path, kNothingInstalled, owner);
    return false;
  }
  // Each table is checked whole but for its texts, which are only measured against its size; the
  // largest entry count is where the new strrefs begin.
  const char* name = names_.names();
  for (u32 k = 0; k < names_.count(); ++k, name += text_length(name) + 1) {
    TalkTable table;
    const char* problem = "";
    // The files written beside it have names four characters longer, which must fit too.
    set_last_error(win_error::kFilenameTooLong);
    TalkLoad result = table_path(game_path, name, kNewFileSuffix, &path) && table_path(game_path, name, "", &path)
                          ? read_talk_table(&table, path.c_str(), &problem, false)
                          : TalkLoad::kCannotOpen;
    // A table that may not be written (read-only, or held open) is found now, not when it is replaced.
    if (result == TalkLoad::kLoaded && !FileHandle(open_for_appending(path.c_str())).is_open()) {
      result = TalkLoad::kCannotOpen;
    }
    if (result != TalkLoad::kLoaded) {
      show_load_failure(result, path.c_str(), problem, owner);
      return false;
    }
    if (table.entry_count() > first_) first_ = table.entry_count();
  }
  start_talk_table(&additions_);
  return true;
}

u32 GameTalkTables::append(const void* text, u32 length, u16 flags, const u8* sound_resref, u32 volume_variance,
                           u32 pitch_variance) {
  HeapBuffer converted;
  if (names_.enhanced() && length > 0) {
    // Each byte is at most one character, which is at most three bytes in UTF-8.
    length = length <= kLargestConvertedText && converted.allocate(3 * length)
                 ? text_to_utf8(static_cast<const char*>(text), length, reinterpret_cast<char*>(converted.data()))
                 : 0;
    if (length == 0) return kAppendRefused;
    text = converted.data();
  }
  const u32 index = append_string(&additions_, text, length, flags, sound_resref, volume_variance, pitch_variance);
  return index == kAppendRefused ? index : first_ + index;
}

void GameTalkTables::remove_last() { remove_last_string(&additions_); }

bool GameTalkTables::save(const char* game_path, WindowRef owner) {
  if (!loaded()) return false;
  // With nothing to add every table stays as it is.
  const u32 count = additions_.entry_count() == 0 ? 0 : names_.count();
  // The file written beside each table, its original kept until the end, and the table itself: their
  // paths end in the three texts of kSuffixes, five bytes apart.
  PathString paths[3];
  static const char kSuffixes[] = ".new\0.old\0";
  TalkWrite written = TalkWrite::kWritten;
  const char* failed = nullptr;  // the table a failure is about
  u32 kept = 0;                  // tables whose originals are kept
  // Steps 0 to count - 1 write each grown table beside itself, the next count put each in place, the
  // last count let the originals kept go when no table failed, or, when one did, put them back and
  // remove what was written beside the tables. Every path fits: load made sure of it.
  u32 code = 0;  // the failure's error code, kept for its message
  const char* name = nullptr;
  for (u32 step = 0, k = count; step < 3 * count; ++step, ++k, name += text_length(name) + 1) {
    if (k == count) {
      k = 0;
      name = names_.names();
    }
    if (step < 2 * count && failed != nullptr) continue;
    for (u32 i = 0; i < 3; ++i) table_path(game_path, name, kSuffixes + 5 * i, &paths[i]);
    bool made;
    if (step < count) {
      TalkTable table;
      written = read_talk_table(&table, paths[2].c_str(), nullptr) == TalkLoad::kLoaded &&
                        append_table(&table, additions_, first_)
                    ? write_talk_table(table, paths[0].c_str())
                    : TalkWrite::kCannotCreate;
      made = written == TalkWrite::kWritten;
    } else if (step < 2 * count) {
      // The last table needs no original kept: once it is in place, all are.
      const bool last = step + 1 == 2 * count;
      made = last || replace_file(paths[2].c_str(), paths[1].c_str());
      if (made && !last) ++kept;
      made = made && replace_file(paths[0].c_str(), paths[2].c_str());
    } else {
      if (step == 2 * count) code = last_error();
      if (failed == nullptr) {
        delete_file(paths[1].c_str());
      } else {
        delete_file(paths[0].c_str());
        if (k < kept) replace_file(paths[1].c_str(), paths[2].c_str());
      }
      continue;
    }
    if (!made) failed = name;
  }
  set_last_error(code);
  if (failed != nullptr) {
    if (written == TalkWrite::kFailed) {
      show_write_failure(owner, false, game_path, failed,
                         "\nThe talk tables are as they were: no string patch file is applied.");
    } else {
      show_message(owner, kOpenFailureText, kTalkTableErrorCaption, kMbOk);
    }
  }
  release_talk_table(&additions_);
  return failed == nullptr;
}

}  // namespace zep
