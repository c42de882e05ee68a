#include "install/game_talk_tables.h"

#include "platform/buffers.h"
#include "platform/error_message.h"

namespace zep {

const char kNothingInstalled[] = "\nNothing was installed.";

namespace {


// `game_path` + `name` + `suffix` into `path`.
bool table_path(const char* game_path, const char* name, const char* suffix, PathString* path) {
  return path->format("%s%s%s", game_path, name, suffix);
}

// Why a table could not be loaded, for the message that stops the installation.
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

// Why the tables could not be saved: `written` is kFailed when the file `path` could not be written
// whole; otherwise (kCannotCreate, or kWritten when it was a later step that failed) it could not be
// made, copied or replaced.
void show_save_failure(TalkWrite written, const char* path, WindowRef owner) {
  if (written == TalkWrite::kFailed) {
    show_write_failure(owner, false, path, "", "\nThe talk tables are as they were: no string patch file is applied.");
  } else {
    show_message(owner, kOpenFailureText, kTalkTableErrorCaption, kMbOk);
  }
}

// Deletes `path`, keeping the error code of the failure that is being reported.
void remove_keeping_error(const char* path) {
  const u32 code = last_error();
  delete_file(path);
  set_last_error(code);
}

}  // namespace

bool GameTalkTables::load(const char* game_path, WindowRef owner) {
  // dialog.tlk, then dialogF.tlk, read in one loop rather than by a call of each step for each.
  PathString paths[2];
  if (!table_path(game_path, kTalkTableName, "", &paths[0]) ||
      !table_path(game_path, kFemaleTalkTableName, "", &paths[1])) {
    set_last_error(win_error::kFilenameTooLong);
    show_load_failure(TalkLoad::kCannotOpen, game_path, nullptr, owner);
    return false;
  }
  const char* problem = "";
  for (u32 k = 0; k < 2; ++k) {
    const TalkLoad result = read_talk_table(k == 0 ? &male_ : &female_, paths[k].c_str(), &problem);
    if (k == 1 && result == TalkLoad::kCannotOpen && last_error() == win_error::kFileNotFound) return true;  // none
    if (result != TalkLoad::kLoaded) {
      show_load_failure(result, paths[k].c_str(), problem, owner);
      release_talk_table(&male_);  // when it is dialogF.tlk that cannot be loaded
      return false;
    }
  }
  const char* male = paths[0].c_str();
  const char* female = paths[1].c_str();
  if (female_.entry_count() != male_.entry_count()) {
    show_warning(owner, kTalkTableErrorCaption, "%s has %u entries and %s %u.\nThe talk tables are out of step.%s",
                 male, male_.entry_count(), female, female_.entry_count(), kNothingInstalled);
    release_talk_table(&male_);
    release_talk_table(&female_);
    return false;
  }
  return true;
}

u32 GameTalkTables::append(const void* text, u32 length, u16 flags, const u8* sound_resref, u32 volume_variance,
                           u32 pitch_variance) {
  const u32 strref = append_string(&male_, text, length, flags, sound_resref, volume_variance, pitch_variance);
  if (strref == kAppendRefused || !female_.loaded()) return strref;
  if (append_string(&female_, text, length, flags, sound_resref, volume_variance, pitch_variance) == strref) {
    return strref;
  }
  remove_last_string(&male_);
  return kAppendRefused;
}

void GameTalkTables::remove_last() {
  remove_last_string(&male_);
  if (female_.loaded()) remove_last_string(&female_);
}

bool GameTalkTables::save(const char* game_path, WindowRef owner) {
  if (!loaded()) return false;
  const bool female = female_.loaded();
  // The five paths, made in one loop rather than by a call each: each table, then the file written
  // beside it, then the copy of dialogF.tlk kept until the end.
  PathString paths[5];
  PathString& male_path = paths[0];
  PathString& male_new = paths[1];
  PathString& female_path = paths[2];
  PathString& female_new = paths[3];
  PathString& female_old = paths[4];
  bool fitted = true;
  for (u32 k = 0; k < 5 && fitted; ++k) {
    fitted = table_path(game_path, k < 2 ? kTalkTableName : kFemaleTalkTableName,
                        k == 4 ? ".old" : (k & 1) != 0 ? kNewFileSuffix : "", &paths[k]);
  }
  // Every failure ends in one message, naming the file it failed on (see show_save_failure).
  TalkWrite written = TalkWrite::kCannotCreate;
  const char* failed = nullptr;
  if (!fitted) {
    set_last_error(win_error::kFilenameTooLong);
    failed = game_path;
  } else if ((written = write_talk_table(male_, male_new.c_str())) != TalkWrite::kWritten) {
    failed = male_path.c_str();
  } else {
    if (female && (written = write_talk_table(female_, female_new.c_str())) != TalkWrite::kWritten) {
      failed = female_path.c_str();
    } else if (!female) {
      if (!replace_file(male_new.c_str(), male_path.c_str())) failed = male_path.c_str();
    } else if (!copy_file(female_path.c_str(), female_old.c_str()) ||
               !replace_file(female_new.c_str(), female_path.c_str())) {
      // dialogF.tlk is as it was: the copy of it, or the one that was to replace it, goes.
      remove_keeping_error(female_old.c_str());
      remove_keeping_error(female_new.c_str());
      failed = female_path.c_str();
    } else if (!replace_file(male_new.c_str(), male_path.c_str())) {
      // dialog.tlk could not take the texts that dialogF.tlk now has: dialogF.tlk goes back.
      const u32 code = last_error();
      replace_file(female_old.c_str(), female_path.c_str());
      set_last_error(code);
      failed = male_path.c_str();
    } else {
      delete_file(female_old.c_str());
    }
    // dialog.tlk.new, written, goes whatever failed after it.
    if (failed != nullptr) remove_keeping_error(male_new.c_str());
  }
  if (failed != nullptr) show_save_failure(written, failed, owner);
  release_talk_table(&male_);
  release_talk_table(&female_);
  return failed == nullptr;
}

}  // namespace zep
