// The game's talk tables during one installation: dialog.tlk, and, in the languages that have one,
// dialogF.tlk beside it, the texts as female characters say them. An add-on's texts go to both, at
// the same strrefs, so that the two tables stay in step; both are saved the same way, and either
// both hold the new texts afterwards or neither does.
#pragma once

#include "dialog/talk_table.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The last line of a message that stops an installation before anything is changed, after its line
// end: "\nNothing was installed.".
extern const char kNothingInstalled[];


class GameTalkTables {
 public:
  // Loads and checks `game_path` + "dialog.tlk", and "dialogF.tlk" when there is one, before anything
  // is changed. Returns false, with a message owned by `owner` that says what is wrong and that
  // nothing was installed, when a table cannot be read, is not a talk table, does not fit in memory,
  // or when the two do not have the same number of entries.
  bool load(const char* game_path, WindowRef owner);

  bool loaded() const { return male_.loaded(); }
  bool has_female_table() const { return female_.loaded(); }
  const TalkTable& table() const { return male_; }

  // Appends one text to both tables (see append_string). Returns its strref, the same in both, or
  // kAppendRefused with neither table changed.
  u32 append(const void* text, u32 length, u16 flags, const u8* sound_resref, u32 volume_variance,
             u32 pitch_variance);

  // Takes back the last append.
  void remove_last();

  // Writes both tables back and empties them, whatever happens. Each is first written whole to its
  // ".new" file beside it and flushed; then dialogF.tlk, kept as "dialogF.tlk.old" until the end, and
  // dialog.tlk are replaced in one step each. When the second replacement fails, the first is undone.
  // Returns true when both hold the grown tables; otherwise both are as they were, no temporary file
  // is left, and the failure was shown: "Can't open dialog file. SPK importing aborted." when a file
  // cannot be made or replaced; when writing fails, under "Write error", which table and why.
  bool save(const char* game_path, WindowRef owner);

 private:
  TalkTable male_;
  TalkTable female_;
};

}  // namespace zep
