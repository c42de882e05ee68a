// The zep tool: packs, lists and makes the pieces of ZEP add-on installers.
#include <iostream>

#include "tools/commands.h"
#include "tools/help.h"

namespace {

using namespace zep::tool;

bool is_help(const std::string& word) { return word == "--help" || word == "-h" || word == "-?"; }

int run(const std::string& command, const std::vector<std::string>& args) {
  if (command == "pack") return run_pack(args, std::cout, std::cerr);
  if (command == "spk") return run_spk(args, std::cout, std::cerr);
  if (command == "list") return run_list(args, std::cout, std::cerr);
  if (command == "extract") return run_extract(args, std::cout, std::cerr);
  if (command == "inspect") return run_inspect(args, std::cout, std::cerr);
  if (command == "install") return run_install(args, std::cout, std::cerr);
  if (command == "tables") return run_tables(args, std::cout, std::cerr);
  if (command == "uninstall") return run_uninstall(args, std::cout, std::cerr);
  std::cerr << "zep: unknown command " << command << "\n\n" << help_text();
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  show_boxes_on_terminal(std::cerr);
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty()) {
    std::cerr << help_text();
    return kExitUsage;
  }
  const std::string first = args[0];
  if (first == "--version" || first == "-V" || first == "version") {
    std::cout << "zep " << kVersion << "\n";
    return kExitOk;
  }
  if (is_help(first) || first == "help") {
    if (args.size() < 2 || is_help(args[1])) {
      std::cout << help_text();
      return kExitOk;
    }
    const char* help = command_help(args[1]);
    if (help == nullptr) {
      std::cerr << "zep: unknown command " << args[1] << "\n\n" << help_text();
      return kExitUsage;
    }
    std::cout << help;
    return kExitOk;
  }
  args.erase(args.begin());
  // `zep COMMAND --help`, wherever among the command's words it stands.
  for (const std::string& word : args) {
    if (is_help(word) && command_help(first) != nullptr) {
      std::cout << command_help(first);
      return kExitOk;
    }
  }
  return run(first, args);
}
