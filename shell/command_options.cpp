#include "shell/command_options.h"

#include "platform/buffers.h"

namespace zep {
namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }

char* skip_blanks(char* at) {
  while (is_blank(*at)) ++at;
  return at;
}

// True when `at` starts with the switch `name` (upper case), compared without regard to case; then
// `*rest` is what follows it.
bool starts_with(char* at, const char* name, char** rest) {
  for (; *name != 0; ++name, ++at) {
    char c = *at;
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 0x20);
    if (c != *name) return false;
  }
  *rest = at;
  return true;
}

// Ends the word at `at` (a quoted one without its quotes) and returns where the next one may begin.
char* end_word(char* at, char** word) {
  if (*at == '"') {
    *word = ++at;
    while (*at != 0 && *at != '"') ++at;
  } else {
    *word = at;
    while (*at != 0 && !is_blank(*at)) ++at;
  }
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
  bool seen_overwrite = false, seen_shortcuts = false;
  for (char* at = skip_blanks(arguments); *at != 0; at = skip_blanks(at)) {
    char* rest = nullptr;
    char* value = nullptr;
    if (starts_with(at, "/D=", &rest)) {
      // The rest of the line is the folder, blanks and all; blanks at its end are not part of it.
      char* end = rest + text_length(rest);
      while (end > rest && is_blank(end[-1])) *--end = 0;
      if (*rest == 0) return false;
      options->game_folder = rest;
      break;
    }
    if (starts_with(at, "/REPORT=", &rest)) {
      if (options->report != nullptr) return false;
      at = end_word(rest, &value);
      if (*value == 0) return false;
      options->report = value;
      continue;
    }
    at = end_word(at, &value);
    char* word = value;
    if (starts_with(word, "/S", &rest) && *rest == 0 && !options->silent) {
      options->silent = true;
    } else if (starts_with(word, "/SHORTCUTS", &rest) && *rest == 0 && !seen_shortcuts) {
      options->shortcuts = seen_shortcuts = true;
    } else if (starts_with(word, "/O=", &rest) && !seen_overwrite &&
               (starts_with(rest, "YES", &word) || starts_with(rest, "NO", &word)) && *word == 0) {
      options->overwrite = rest[0] == 'y' || rest[0] == 'Y';
      seen_overwrite = true;
    } else {
      return false;
    }
  }
  return options->silent && options->game_folder != nullptr;
}

}  // namespace zep
