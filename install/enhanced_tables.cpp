// The talk tables of the classic games and of the Enhanced Editions: where they are, and why a game
// folder's cannot be grown.
#include "archive/names.h"
#include "install/game_talk_tables.h"
#include "install/placement.h"
#include "platform/error_message.h"

namespace zep {

TableSearch find_talk_tables(const char* game_path, TalkTableNames* tables, PathString* about) {
  static const char* const kTables[] = {kTalkTableName, kFemaleTalkTableName};
  // An Enhanced Edition's languages: every folder in lang\ that holds a table.
  PathString relative;
  FoundName language;
  const SearchRef search = about->format("%slang\\*", game_path) ? find_first(about->c_str(), &language) : nullptr;
  TableSearch result = TableSearch::kFound;
  for (bool more = search != nullptr; more && result == TableSearch::kFound; more = find_next(search, &language)) {
    // Only a plain folder name names a language: not "." or "..", no separator, nothing that Windows
    // would take for another name (one ending in a dot or a blank) or refuses. Anything else is no
    // language's folder, and could make one table two.
    const char* name = language.text;
    bool plain = check_relative_name(name, text_length(name)) == NameProblem::kNameOk;
    for (const char* c = name; *c != 0; ++c) plain = plain && *c != '\\';
    for (u32 k = 0; k < 2 && plain; ++k) {
      PathString path;
      // A table whose path, or the path of the file written beside it, is too long for Windows
      // cannot be grown: the game is refused rather than left with one language short.
      if (!relative.format("lang\\%s\\%s", name, kTables[k]) ||
          !table_path(game_path, relative.c_str(), kNewFileSuffix, &path)) {
        if (!about->format("%slang\\%s", game_path, name)) about->format("%slang", game_path);
        result = TableSearch::kTooLong;
        break;
      }
      // Two names of one table (its folder's name in two letter cases, where the file system tells
      // them apart but the game's Windows would not): listed once.
      bool listed = false;
      const char* earlier = tables->names();
      for (u32 i = 0; i < tables->count(); ++i, earlier += text_length(earlier) + 1) {
        listed = listed || same_name(earlier, text_length(earlier), relative.c_str());
      }
      const u32 before = tables->count();
      if (listed) continue;
      if (!add_table(tables, game_path, relative.c_str(), false)) result = TableSearch::kNoMemory;
      if (tables->count() == before) continue;
      tables->enhanced_ = tables->enhanced_ || k == 0;
      // The grown table is written beside the table and put in its place: a link on the way, or one
      // in the place of the file written beside it, could send it anywhere.
      if (passes_through_link(path.c_str(), text_length(game_path))) {
        about->assign(path.c_str());
        result = TableSearch::kLink;
      }
    }
  }
  find_close(search);
  if (result != TableSearch::kFound) return result;
  if (!tables->enhanced_) {
    *tables = TalkTableNames();  // a dialogF.tlk alone in a language's folder is none
    return find_classic_tables(game_path, tables);
  }
  // Siege of Dragonspear as some stores sell it: the game reads its texts from the archive, never from
  // lang\, until the archive is merged into the game folder. Its name in the game folder is the end
  // of its name in the dlc folder.
  static const char kDlcArchive[] = "dlc\\sod-dlc.zip";
  for (u32 at = 0; at < 8; at += 4) {
    if (table_path(game_path, kDlcArchive + at, "", about) && something_at(about->c_str())) {
      return TableSearch::kDlcArchive;
    }
  }
  return TableSearch::kFound;
}

void show_table_search_failure(TableSearch search, const PathString& about, const char* last, WindowRef owner) {
  if (search == TableSearch::kLink) {
    refuse_link(about.c_str(), "\nThe game's talk tables are not grown through it.", last, owner);
  } else if (search == TableSearch::kDlcArchive) {
    show_warning(owner, kTalkTableErrorCaption,
                 "%s\nholds a DLC, and the game reads its texts from there: texts added to its talk tables would "
                 "not show.\nMerge the DLC into the game folder first (with a DLC merger), then choose it again.%s",
                 about.c_str(), last);
  } else if (search == TableSearch::kTooLong) {
    show_warning(owner, kTalkTableErrorCaption,
                 "The paths of the talk tables in\n%s\nare too long for Windows: they cannot be grown.\nMove the game "
                 "to a folder of a shorter path, or shorten that folder's name.%s",
                 about.c_str(), last);
  } else {
    show_load_failure(TalkLoad::kNoMemory, about.c_str(), "", owner);
  }
}


}  // namespace zep
