// zep uninstall: the uninstaller's own run on Linux, on an install log written by zep install. Its
// exit code is 0 only when the add-on is gone: 1 when anything remains, when the question was
// answered No, or when there was no valid log.
#include <filesystem>
#include <iostream>
#include <string>

#include "platform/host_platform.h"
#include "tools/commands.h"
#include "tools/error_words.h"
#include "tools/help.h"
#include "uninstaller/uninstaller.h"

namespace zep::tool {

int run_uninstall(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  std::string log;
  bool yes = false;
  for (const std::string& word : args) {
    if (word == "--yes" || word == "-y") {
      yes = true;
    } else if (!word.empty() && word[0] == '-') {
      return usage_error("uninstall", "unknown option " + word, err);
    } else if (log.empty()) {
      log = word;
    } else {
      return usage_error("uninstall", "one log at a time, not also " + word, err);
    }
  }
  if (log.empty()) return usage_error("uninstall", "name the add-on's install log (GAME/Addon.log)", err);
  // With --yes the one question of the run is answered Yes and every other box only shown; without
  // it the boxes go where they already go (the terminal, in the zep program).
  struct MessagesBack {
    bool set;
    ~MessagesBack() {
      if (set) show_boxes_on_terminal(std::cerr);
    }
  } messages_back{yes};
  if (yes) show_boxes_on_terminal(err, [](const std::string&) { return kIdYes; });
  // Linux has no Start Menu: the uninstaller's search for the add-on's folder there finds nothing.
  host::set_registry_value(RegistryRoot::kCurrentUser,
                           "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "Programs",
                           "/nonexistent/Start Menu/Programs");
  // The log by the path the installation wrote into it, so that the game folder it names is the
  // log's own.
  // A log that is not there is said to be missing, not to be invalid.
  std::error_code code;
  if (!std::filesystem::is_regular_file(log, code)) {
    err << "zep uninstall: " << cannot("read", log, std::filesystem::exists(log, code) ? 5 : 2) << "\n";
    return kExitFailed;
  }
  const Outcome outcome = run_uninstaller(("UInst -" + windows_style(log)).c_str());
  return outcome == Outcome::kCompleted ? kExitOk : kExitFailed;
}

}  // namespace zep::tool
