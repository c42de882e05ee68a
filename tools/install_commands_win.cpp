// zep install and zep uninstall on Windows. On Linux they run the installer's and the uninstaller's
// own code through the host layer (install_command.cpp, uninstall_command.cpp); on Windows the
// programs themselves do that, with their windows, the registry and the Start Menu, so the tool
// only says which to run.
#include <filesystem>

#include "tools/commands.h"

namespace zep::tool {

std::string windows_style(const std::filesystem::path& path) {
  std::string text = std::filesystem::absolute(path).lexically_normal().string();
  while (text.size() > 3 && (text.back() == '\\' || text.back() == '/')) text.pop_back();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

int run_install(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
  err << "zep install: on Windows, run the add-on's .exe itself: it installs the add-on through its window\n";
  return kExitFailed;
}

int run_uninstall(const std::vector<std::string>&, std::ostream&, std::ostream& err) {
  err << "zep uninstall: on Windows, run UInst.exe in the game folder (or remove the add-on from the list of "
         "installed programs)\n";
  return kExitFailed;
}

}  // namespace zep::tool
