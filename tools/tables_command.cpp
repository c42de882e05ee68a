// zep tables: the talk tables that an installation into a game folder would grow, found and checked
// as the installer finds and checks them before it changes anything, with each one's entry count and
// the padding that keeps them in step. It only reads: no file of the game is changed.
#include <algorithm>
#include <cstring>
#include <filesystem>
#include <iomanip>
#include <string>
#include <vector>

#include "dialog/talk_table.h"
#include "install/game_talk_tables.h"
#include "platform/buffers.h"
#include "shell/game_folder.h"
#include "tools/commands.h"
#include "tools/error_words.h"
#include "tools/help.h"

namespace zep::tool {
namespace {

namespace fs = std::filesystem;

// The closing line of every refusal: the installer checks the same before it changes anything.
const char kInstallationWouldStop[] = "An installation into this folder would stop before changing anything.\n";

struct FoundTable {
  std::string name;  // relative to the game folder, with backslashes
  u32 entries;
};

// `relative` (with backslashes) below `folder`, the folder as the user wrote it, in this system's
// own spelling, so that a message names a file the user can find.
std::string shown_path(const std::string& folder, std::string relative) {
  if (fs::path::preferred_separator == '/') std::replace(relative.begin(), relative.end(), '\\', '/');
  return (fs::path(folder) / relative).string();
}

// Checks the table at `path` as the installer does before an installation: its path and the path of
// the file written beside it within Windows' length, read whole but for its texts, which are only
// measured against its size, and open to writing. Returns what is wrong, in words naming it as
// `shown`, or an empty text with its entry count in `*entries`.
std::string check_table(const std::string& path, const std::string& shown, u32* entries) {
  // The file written beside the table, four characters longer, must have a path Windows takes too.
  if (path.size() + std::strlen(kNewFileSuffix) >= kMaxPath) {
    return shown + ": its path, with the \".new\" of the file written beside it, is too long for Windows";
  }
  TalkTable table;
  const char* problem = "";
  switch (read_talk_table(&table, path.c_str(), &problem, false)) {
    case TalkLoad::kLoaded: break;
    case TalkLoad::kCannotOpen: return cannot("read", shown, last_error());
    case TalkLoad::kNotATable: return shown + " is not a talk table: " + problem;
    case TalkLoad::kNoMemory: return shown + " does not fit in memory";
  }
  // Read-only, or held open by the game: the installer finds that now, not when it replaces the table.
  FileHandle writable(open_for_appending(path.c_str()));
  if (!writable.is_open()) return cannot("write", shown, last_error());
  *entries = table.entry_count();
  return "";
}

// Why find_talk_tables gave `search` (not kFound) about the path `about` below the game folder.
std::string search_failure(TableSearch search, const std::string& shown_about, const std::string& folder) {
  if (search == TableSearch::kLink) {
    return shown_about + " passes through a link, which the installer never follows: it grows no talk table "
                         "through one";
  }
  if (search == TableSearch::kDlcArchive) {
    return shown_about + " holds a DLC, and the game reads its texts from there: texts added to the tables in " +
           shown_path(folder, "lang") + " would not show. Merge the DLC into the game folder first (with a DLC merger)";
  }
  if (search == TableSearch::kTooLong) {
    return "the paths of the talk tables in " + shown_about + " are too long for Windows: they cannot be grown";
  }
  return "the names of the talk tables in " + folder + " do not fit in memory";
}

}  // namespace

int run_tables(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::vector<std::string> names;
  for (const std::string& word : args) {
    if (!word.empty() && word[0] == '-') return usage_error("tables", "unknown option " + word, err);
    names.push_back(word);
  }
  if (names.size() != 1) return usage_error("tables", "name the game folder", err);
  const std::string& folder = names[0];

  std::error_code error;
  if (!fs::is_directory(folder, error)) {
    err << "zep tables: " << (error ? cannot("read", folder, error) : folder + " is not a folder") << "\n";
    return kExitFailed;
  }
  // The game path as the installer makes it of a chosen folder: canonical, one backslash at its end.
  PathString canonical;
  if (!canonical_path(windows_style(folder).c_str(), &canonical) || canonical.length() > kMaxGameFolderLength) {
    err << "zep tables: the path of " << folder << " is longer than the " << kMaxGameFolderLength
        << " characters the installer takes\n";
    return kExitFailed;
  }
  std::string game_path = canonical.c_str();
  if (game_path.back() != '\\') game_path += '\\';

  TalkTableNames found;
  PathString about;
  const TableSearch search = find_talk_tables(game_path.c_str(), &found, &about);
  if (search != TableSearch::kFound) {
    // `about` is a path below the game folder.
    const std::string relative =
        std::string(about.c_str()).substr(std::min<std::size_t>(game_path.size(), about.length()));
    err << "zep tables: " << search_failure(search, shown_path(folder, relative), folder) << "\n"
        << kInstallationWouldStop;
    return kExitFailed;
  }

  std::vector<FoundTable> tables;
  std::vector<std::string> problems;
  const char* name = found.names();
  for (u32 k = 0; k < found.count(); ++k, name += std::strlen(name) + 1) {
    FoundTable table = {name, 0};
    const std::string shown = shown_path(folder, name);
    std::string problem = check_table(game_path + name, shown, &table.entries);
    // A classic game's dialog.tlk is named whether it is there or not: its absence means no table at all.
    if (!found.enhanced() && k == 0 && !problem.empty() && !fs::exists(fs::path(shown), error)) {
      problem = folder + " holds no talk table dialog.tlk, neither at its top nor in lang\\<locale>\\: is it the "
                         "game's folder?";
    }
    if (!problem.empty()) problems.push_back(problem);
    tables.push_back(table);
  }
  if (!problems.empty()) {
    for (const std::string& problem : problems) err << "zep tables: " << problem << "\n";
    err << kInstallationWouldStop;
    return kExitFailed;
  }

  // The installer takes them in the folder's order; shown sorted, so that two runs read the same.
  std::sort(tables.begin(), tables.end(), [](const FoundTable& a, const FoundTable& b) { return a.name < b.name; });
  std::size_t name_width = 0;
  u32 largest = 0;
  for (const FoundTable& table : tables) {
    name_width = std::max(name_width, table.name.size());
    largest = std::max(largest, table.entries);
  }
  const std::size_t count_width = std::to_string(largest).size();
  out << folder << ": " << (found.enhanced() ? "Enhanced Edition" : "classic game, dialog.tlk at its top") << ", "
      << tables.size() << (tables.size() == 1 ? " talk table\n" : " talk tables\n");
  bool in_step = true;
  for (const FoundTable& table : tables) {
    out << "  " << std::left << std::setw(static_cast<int>(name_width)) << table.name << "   " << std::right
        << std::setw(static_cast<int>(count_width)) << table.entries << " entries";
    if (table.entries < largest) {
      out << ", " << largest - table.entries << " short: padded with empty entries before the add-on's texts";
      in_step = false;
    }
    out << "\n";
  }
  if (in_step && tables.size() > 1) out << "The tables are in step.\n";
  out << "New texts would get strrefs from " << largest << " on.\n";
  return kExitOk;
}

}  // namespace zep::tool
