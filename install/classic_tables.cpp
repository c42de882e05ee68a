// The talk tables of the classic games alone: what the installer stub links in place of
// install/enhanced_tables.cpp. Its 36,864 bytes hold no room for the search of an Enhanced Edition's
// languages, its DLC check and the conversion of texts to UTF-8 (about 1,000 bytes): an Enhanced
// Edition's folder is refused, and installed with the zep tool (zep install, on Windows and Linux).
// Every Enhanced Edition has its English tables; a folder with them is one, even with a dialog.tlk at
// its top, which the game does not read.
#include "install/game_talk_tables.h"
#include "platform/error_message.h"

namespace zep {

extern const bool kServesEnhancedEditions = false;

TableSearch find_talk_tables(const char* game_path, TalkTableNames* tables, PathString* about) {
  if (table_path(game_path, "lang\\en_US\\", kTalkTableName, about) && something_at(about->c_str())) {
    return TableSearch::kEnhancedEdition;
  }
  return find_classic_tables(game_path, tables);
}

void show_table_search_failure(TableSearch search, const PathString& about, const char* last, WindowRef owner) {
  if (search == TableSearch::kEnhancedEdition) {
    show_warning(owner, kTalkTableErrorCaption,
                 "%s\nbelongs to an Enhanced Edition: install this add-on with zep install.%s",
                 about.c_str(), last);
  } else {
    show_load_failure(TalkLoad::kNoMemory, about.c_str(), "", owner);
  }
}

}  // namespace zep
