// The talk tables of the classic games alone: what the installer stub links in place of
// install/enhanced_tables.cpp. Its 36,864 bytes hold no room for the search of an Enhanced Edition's
// languages, its DLC check and the conversion of texts to UTF-8 (about 1,000 bytes): an Enhanced
// Edition's folder, without dialog.tlk at its top, is refused there as any folder without one, and
// installed with the zep tool (zep install, on Windows and Linux).
#include "install/game_talk_tables.h"

namespace zep {

extern const bool kServesEnhancedEditions = false;

TableSearch find_talk_tables(const char* game_path, TalkTableNames* tables, PathString*) {
  return find_classic_tables(game_path, tables);
}

void show_table_search_failure(TableSearch, const PathString& about, const char*, WindowRef owner) {
  show_load_failure(TalkLoad::kNoMemory, about.c_str(), "", owner);
}

}  // namespace zep
