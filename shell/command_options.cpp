#include "shell/command_options.h"

#include "platform/buffers.h"
#include "platform/error_message.h"
#include "platform/platform.h"

namespace zep {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

char* skip_blanks(char* at) {
  while (is_blank(*at)) ++at;
  return at;
}

// What follows the switch `name` (upper case) at `at`, compared without regard to case; null when
// `at` does not start with it.
char* after_switch(char* at, const char* name) {
  for (; *name != 0; ++name, ++at) {
    char c = *at;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    if (c != *name) return nullptr;
  }
  return at;
}

// True when `word` is the switch `name`, compared without regard to case.
bool is_switch(char* word, const char* name) {
  char* rest = after_switch(word, name);
  return rest != nullptr && *rest == 0;
}

// Ends the word at `at` (a quoted one without its quotes) and returns where the next one may begin.
char* end_word(char* at, char** word) {
  const bool quoted = *at == '"';
  if (quoted) ++at;
  *word = at;
  while (*at != 0 && (quoted ? *at != '"' : !is_blank(*at))) ++at;
  if (*at != 0) *at++ = 0;
  return at;
}

}  // namespace

const char kUsage[] = "Usage: Addon.exe /S [/O=yes|no] [/SHORTCUTS] [/REPORT=file] /D=C:\\path\\to\\game";

const char* installer_arguments(const char* command_line) {
  const char* at = command_line;
  if (*at == '"') {
    ++at;
    while (*at != 0 && *at != '"') ++at;
    if (*at != 0) ++at;
  } else {
    while (*at != 0 && !(is_blank(*at) && at[1] == '/')) ++at;
  }
  while (is_blank(*at)) ++at;
  return at;
}

bool read_installer_options(char* arguments, InstallerOptions* options) {
  // One bit for each switch read, so that none is given twice. A bad word does not end the reading:
  // whether /S is there decides how a bad command line is answered.
  enum : u32 { kSilent = 1, kOverwrite = 2, kShortcuts = 4, kReport = 8, kBad = 16 };
  u32 seen = 0;
  for (char* at = skip_blanks(arguments); *at != 0; at = skip_blanks(at)) {
    char* word = after_switch(at, "/D=");
    if (word != nullptr) {
      // The rest of the line is the folder, blanks and all; blanks and backslashes at its end are not
      // part of it (the game folder gets its one backslash when it is checked), except the one of a
      // drive's root ("C:\\", as the folder chooser gives it). It must be a whole path, from a drive
      // or a server: the installation writes it into the uninstall command.
      char* end = word + text_length(word);
      while (end > word && (is_blank(end[-1]) || (end[-1] == '\\' && end - word != 3))) *--end = 0;
      if (is_whole_path(word)) options->game_folder = word;
      break;
    }
    u32 which = kBad;
    char* rest = after_switch(at, "/REPORT=");
    if (rest != nullptr) {
      at = end_word(rest, &word);
      if (*word != 0) {
        options->report = word;
        which = kReport;
      }
    } else {
      at = end_word(at, &word);
      // The switches of one word, each ended by a zero byte (see nth_text), looked for in one loop
      // rather than by a call each: /S, /O= with either value, /SHORTCUTS.
      static const char kWords[] = "/S\0/O=YES\0/O=NO\0/SHORTCUTS";
      u32 k = 0;
      while (k < 4 && !is_switch(word, nth_text(kWords, k))) ++k;
      if (k == 0) {
        options->silent = true;
        which = kSilent;
      } else if (k == 3) {
        options->shortcuts = true;
        which = kShortcuts;
      } else if (k < 3) {
        options->overwrite = word[3] == 'y' || word[3] == 'Y';
        which = kOverwrite;
      }
    }
    seen |= (seen & which) != 0 ? kBad : which;
  }
  return (seen & kBad) == 0 && options->silent && options->game_folder != nullptr;
}

}  // namespace zep
