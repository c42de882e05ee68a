// The game's talk tables during one installation. A classic game keeps dialog.tlk at the top of its
// folder and, in the languages that have one, dialogF.tlk beside it, the texts as female characters
// say them. An Enhanced Edition keeps them for each language in lang\<locale>\, and the player may
// switch language at any time. An add-on's texts go to every table at the same strrefs, so that the
// tables stay in step; either all of them hold the new texts afterwards or none does.
//
// Only one table is in memory at a time: the tables are checked one after another before anything
// changes, the installation's texts are collected on their own, and each table is read, grown and
// written beside itself in turn when they are saved.
#pragma once

#include "dialog/talk_table.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// The last line of a message that stops an installation before anything is changed, after its line
// end: "\nNothing was installed.".
extern const char kNothingInstalled[];

enum class TableSearch {
  kFound,      // the tables are named; a classic game's dialog.tlk is named whether it is there or not
  kLink,       // the path given back passes through a link, which is never followed
  kDlcArchive, // the game's content is still in the DLC archive given back, which the game reads texts from
  kNoMemory,   // the names do not fit in memory
  kTooLong,    // the path given back holds a table whose path is too long for Windows
};

// The game's talk tables, as names relative to the game folder.
class TalkTableNames {
 public:
  u32 count() const { return count_; }
  // True for an Enhanced Edition: the tables are those under lang\, and take their texts in UTF-8.
  bool enhanced() const { return enhanced_; }
  // The names one after another, each ending in a zero byte.
  const char* names() const { return reinterpret_cast<const char*>(names_.data()); }
  // Appends one name. Returns false when memory runs out.
  bool add(const char* relative);

 private:
  friend TableSearch find_talk_tables(const char*, TalkTableNames*, PathString*);

  GrowingBuffer names_;
  u32 count_ = 0;
  bool enhanced_ = false;
};

// Finds the talk tables of the game folder `game_path` (ending in a backslash; defined by
// install/enhanced_tables.cpp): each
// lang\<locale>\dialog.tlk and lang\<locale>\dialogF.tlk when there is at least one such dialog.tlk;
// otherwise dialog.tlk and, when there is one, dialogF.tlk. `about` gets the path that a result other
// than kFound is about.
TableSearch find_talk_tables(const char* game_path, TalkTableNames* tables, PathString* about);

// Shows why find_talk_tables did not find the tables (`search` is not kFound), owned by `owner`, with
// `last` as the message's last line (kNothingInstalled, or empty).
void show_table_search_failure(TableSearch search, const PathString& about, const char* last, WindowRef owner);

// The classic games' tables of `game_path` into `tables` (empty): dialog.tlk, named whether it is
// there or not, and dialogF.tlk when it is there. Returns kFound, or kNoMemory.
TableSearch find_classic_tables(const char* game_path, TalkTableNames* tables);

// Helpers of the search (install/enhanced_tables.cpp) and of the tables' loading.
// `game_path` + `name` + `suffix` into `path`; false when it does not fit.
bool table_path(const char* game_path, const char* name, const char* suffix, PathString* path);
// True when something is at `path`: it can be opened, or it cannot for another reason than that it
// is missing (it is held open by the game, say, which the table's check then says).
bool something_at(const char* path);
// Adds `relative` to `tables` when something is at it in `game_path`, or `always`. Returns false when
// memory runs out.
bool add_table(TalkTableNames* tables, const char* game_path, const char* relative, bool always);
// Shows why the table `path` could not be loaded (`problem` says how it is not a talk table), for
// the message that stops the installation.
void show_load_failure(TalkLoad result, const char* path, const char* problem, WindowRef owner);

class GameTalkTables {
 public:
  // Finds the tables, and loads and checks each of them, one at a time, before anything is changed.
  // Returns false, with a message owned by `owner` that says what is wrong and that nothing was
  // installed, when a table cannot be read, is not a talk table, does not fit in memory, or when the
  // tables cannot be used at all (find_talk_tables).
  bool load(const char* game_path, WindowRef owner);

  bool loaded() const { return additions_.loaded(); }
  const TalkTableNames& names() const { return names_; }
  // The strref the next appended text gets: the largest table's entry count, then one more for each
  // text appended.
  u32 next_strref() const { return first_ + additions_.entry_count(); }

  // Appends one text for every table (see append_string), in UTF-8 for an Enhanced Edition: a text
  // that is not valid UTF-8 is taken to be in the ANSI code page and converted (text_to_utf8). Returns its strref,
  // or kAppendRefused with nothing appended.
  u32 append(const void* text, u32 length, u16 flags, const u8* sound_resref, u32 volume_variance,
             u32 pitch_variance);

  // Takes back the last append.
  void remove_last();

  // Writes every table back with the appended texts and forgets them, whatever happens. A table with
  // fewer entries than the largest is first padded with empty entries, so that the texts have the
  // same strrefs in all of them. Each grown table is first written whole to its ".new" file beside it
  // and flushed; only when all are written is each put in place by one rename, every original kept
  // as its ".old" file until the last is in place. Returns true when every table holds the texts (or
  // none was appended); otherwise every table is as it was, no temporary file is left, and the
  // failure was shown: "Can't open dialog file. SPK importing aborted." when a table cannot be read
  // again, made or replaced; when writing fails, under "Write error", which table and why.
  bool save(const char* game_path, WindowRef owner);

 private:
  TalkTableNames names_;
  u32 first_ = 0;       // the largest table's entry count: the first new strref
  TalkTable additions_; // the appended texts, collected for every table
};

}  // namespace zep
