#include "tools/help.h"

#include <cstring>

#include <iostream>

#include "platform/host_platform.h"
#include "tools/commands.h"
#include "tools/error_words.h"

namespace zep::tool {
namespace {

struct CommandHelp {
  const char* name;
  const char* text;
};

const CommandHelp kCommands[] = {
    {"pack", R"(zep pack [FOLDER...] [--spk FILE]... [--add FILE NAME]... [--open NAME]...
         [-o ADDON.exe] [--zep ADDON.zep] [--stub FILE] [--uninstaller FILE]
    Packs an add-on. A FOLDER is laid out as the game folder: every file below it is installed under
    its path relative to FOLDER (Override/x.spl becomes Override\x.spl), except the .spk and .spks
    files directly in FOLDER, which are string patch files. Names starting with a dot are skipped.
    --spk FILE        a string patch file: an .spk as it is, or an .spks source compiled to SPK4
    --add FILE NAME   one more file, installed as NAME (for example Override\evilamul.spl; a / is
                      taken as a \)
    --open NAME       open the file NAME after installation (for example a readme)
    -o ADDON.exe      write the self-extracting installer; its file name up to the first dot is the
                      add-on's name, with the first letter in upper case and the others in lower case
    --zep ADDON.zep   write the bare archive
    --stub, --uninstaller   use these programs instead of the ones built into zep
    Every string patch file is checked as the installer will check it, and anything the installer
    would refuse or pass over (a damaged or SPKN file, a file that is no string patch file, two files
    installed under one name, a name the installer keeps for itself) is refused: nothing is written.
    No output may be an input or lie inside an add-on folder.
)"},
    {"spk", R"(zep spk SOURCE.spks [-o FILE.spk]
    Compiles a string patch source to an SPK4 file (default: SOURCE with .spk), checked as the
    installer will check it.
)"},
    {"list", R"(zep list ADDON.exe|ADDON.zep
    Shows the contents list exactly as the installer's window will show it.
)"},
    {"extract", R"(zep extract ADDON.exe OUT.zep
    Saves the bare archive, as the installer's "Extract ZEP from archive" does.
)"},
    {"install", R"(zep install [--yes|--no] [--no-shortcuts] [--report FILE] ADDON.exe|ADDON.zep GAME
    Installs the add-on into the game folder GAME (which must hold the game's talk tables: dialog.tlk,
    or lang\<locale>\dialog.tlk in an Enhanced Edition), exactly as the installer's "Import ZEP into
    game" does: UInst.exe, the log GAME/Addon.log, the string patch files applied to every talk table,
    every other file. The add-on's name comes from the file name. Questions are
    asked on the terminal (answer y or n); --yes or --no answers every "File already exists.
    Overwrite?" for you. Linux has no registry and no Start Menu: nothing is registered and no
    shortcuts are made (--no-shortcuts is accepted for scripts and changes nothing). --report FILE
    appends every message to FILE, one per line with its caption, and a last line with the outcome
    ("Outcome: 0: every step succeeded", "1: some steps failed" or "2: nothing was installed"); never
    to a file of the installer's own (a talk table, UInst.exe, a log, a backup), which is refused with
    exit code 2. Exit code 0 only when nothing failed. On Windows, run the add-on's .exe instead.
)"},
    {"uninstall", R"(zep uninstall [--yes] GAME/ADDON.log
    Removes an installed add-on, as its UInst.exe does: every file its log lists, then the log.
    --yes answers the question for you. Exit code 0 only when the add-on is gone. On Windows, run
    UInst.exe in the game folder, or use the list of installed programs.
)"},
    {"tables", R"(zep tables GAME
    Lists the talk tables that installing an add-on into the game folder GAME would grow, with each
    one's entry count: dialog.tlk (and dialogF.tlk) at the top of a classic game, every
    lang\<locale>\dialog.tlk and dialogF.tlk of an Enhanced Edition. The add-on's texts get the same
    strrefs in all of them: a table with fewer entries than the largest is padded with empty entries
    first. Each table is checked as the installer checks it; a folder it would refuse (no talk table,
    a damaged or read-only one, a link on the way, a DLC not merged) is named with what is wrong, exit
    code 1. Nothing is changed.
)"},
    {"inspect", R"(zep inspect [--texts] [--from STRREF] FILE...
    Shows what an installer .exe, a .zep archive, an .spk file or a dialog.tlk holds, field by field.
    --texts           show the texts of string patch files and talk tables whole
    --from STRREF     show a talk table's entries from that strref on
)"},
};

}  // namespace

const char kVersion[] = "1.0";

std::string help_text() {
  std::string text = "zep: builds ZEP add-on installers.\n\n"
                     "zep --help, zep help COMMAND, zep COMMAND --help: this help, or a command's\n"
                     "zep --version: the version\n";
  for (const CommandHelp& command : kCommands) text += std::string("\n") + command.text;
  return text;
}

const char* command_help(const std::string& command) {
  for (const CommandHelp& entry : kCommands) {
    if (command == entry.name) return entry.text;
  }
  return nullptr;
}

int usage_error(const std::string& command, const std::string& problem, std::ostream& err) {
  err << "zep " << command << ": " << problem << "\n\n";
  const char* help = command_help(command);
  err << (help != nullptr ? help : help_text().c_str());
  return kExitUsage;
}

bool ask_yes_no(std::istream& in, std::ostream& err) {
  for (;;) {
    err << "  [y/n] " << std::flush;
    std::string line;
    if (!std::getline(in, line)) {
      err << "(end of input: no)\n";
      return false;
    }
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
    std::size_t start = line.find_first_not_of(' ');
    std::string answer = start == std::string::npos ? "" : line.substr(start);
    for (char& c : answer) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    if (answer == "y" || answer == "yes") return true;
    if (answer == "n" || answer == "no") return false;
    err << "  Please answer y or n.\n";
  }
}

void show_boxes_on_terminal(std::ostream& err, std::function<int(const std::string& text)> answer,
                            std::ostream* report) {
  host::set_message_handler([&err, answer, report](WindowRef, const char* text, const char* caption, u32 style) {
    const std::string shown = text;
    if (report != nullptr) {
      std::string line = shown;
      for (char& c : line) c = c == '\n' ? ' ' : c;
      *report << caption << ": " << line << "\n" << std::flush;
    }
    // The error-number message holds a signed decimal number and nothing else: it is said in words.
    const std::size_t digits = shown.find_first_not_of("0123456789", shown.rfind('-', 0) == 0 ? 1 : 0);
    const bool number = !shown.empty() && shown != "-" && digits == std::string::npos && shown.size() < 12;
    err << caption << ": " << (number ? error_words(static_cast<u32>(std::stoll(shown))) : shown) << "\n";
    if ((style & 0xF) != kMbYesNo) return kIdOk;
    const int given = answer ? answer(shown) : 0;
    if (given == kIdYes || given == kIdNo) return given;
    return ask_yes_no(std::cin, err) ? kIdYes : kIdNo;
  });
}

}  // namespace zep::tool
