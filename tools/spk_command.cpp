// zep spk, and the help text of every command.
#include <filesystem>

#include "tools/byte_io.h"
#include "tools/commands.h"
#include "tools/output_file.h"
#include "tools/spk_source.h"

namespace zep::tool {

const char* help_text() {
  return R"(zep: builds ZEP add-on installers.

zep pack [FOLDER...] [--spk FILE]... [--add FILE NAME]... [--open NAME]...
         [-o ADDON.exe] [--zep ADDON.zep] [--stub FILE] [--uninstaller FILE]
    Packs an add-on. A FOLDER is laid out as the game folder: every file below it is installed under
    its path relative to FOLDER (Override/x.spl becomes Override\x.spl), except the .spk and .spks
    files directly in FOLDER, which are string patch files. Names starting with a dot are skipped.
    --spk FILE        a string patch file: an .spk as it is, or an .spks source compiled to SPK4
    --add FILE NAME   one more file, installed as NAME (for example Override\evilamul.spl)
    --open NAME       open the file NAME after installation (for example a readme)
    -o ADDON.exe      write the self-extracting installer; its file name is the add-on's name
    --zep ADDON.zep   write the bare archive
    --stub, --uninstaller   use these programs instead of the ones built into zep

zep spk SOURCE.spks [-o FILE.spk]
    Compiles a string patch source to an SPK4 file (default: SOURCE with .spk).

zep list ADDON.exe|ADDON.zep
    Shows the contents list exactly as the installer's window will show it.

zep extract ADDON.exe OUT.zep
    Saves the bare archive, as the installer's "Extract ZEP from archive" does.

zep install [--yes|--no] [--no-shortcuts] ADDON.exe|ADDON.zep GAME
    Installs the add-on into the game folder GAME (which must hold dialog.tlk), exactly as the
    installer's "Import ZEP into game" does: UInst.exe, the log GAME/Addon.log, the string patch files
    applied to dialog.tlk, every other file. The add-on's name comes from the file name. Questions are
    asked on the terminal; --yes or --no answers every "File already exists. Overwrite?" for you.
    Linux has no registry and no Start Menu: nothing is registered and no shortcuts are made
    (--no-shortcuts is accepted for scripts and changes nothing). Exit code 0 only when nothing failed.

zep uninstall [--yes] GAME/ADDON.log
    Removes an installed add-on, as its UInst.exe does: every file its log lists, then the log.
    --yes answers the question for you.

zep inspect [--texts] [--from STRREF] FILE...
    Shows what an installer .exe, a .zep archive, an .spk file or a dialog.tlk holds, field by field.
    --from STRREF shows a talk table's entries from that strref on.
)";
}

int run_spk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::filesystem::path source;
  std::filesystem::path output;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "-o" && i + 1 < args.size()) {
      output = args[++i];
    } else if (!args[i].empty() && args[i][0] != '-' && source.empty()) {
      source = args[i];
    } else {
      err << "zep spk: unexpected " << args[i] << "\n";
      return kExitUsage;
    }
  }
  if (source.empty()) {
    err << "zep spk: name a string patch source (.spks)\n";
    return kExitUsage;
  }
  if (output.empty()) output = std::filesystem::path(source).replace_extension(".spk");
  std::vector<u8> bytes;
  std::filesystem::path resource;
  std::string error;
  PendingFile file;
  if (!compile_spk_source(source, bytes, resource, error) || !file.create(output, error) ||
      std::fwrite(bytes.data(), 1, bytes.size(), file.file()) != bytes.size() || !file.commit(error)) {
    err << "zep spk: " << (error.empty() ? "cannot write " + output.string() : error) << "\n";
    return kExitFailed;
  }
  out << output.string() << ": " << bytes.size() << " bytes\n";
  return kExitOk;
}

}  // namespace zep::tool
