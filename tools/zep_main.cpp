// The zep tool: packs, lists and makes the pieces of ZEP add-on installers on Linux.
#include <iostream>

#include "platform/host_platform.h"
#include "tools/commands.h"

int main(int argc, char** argv) {
  using namespace zep::tool;
  zep::host::use_terminal_messages();
  std::vector<std::string> args(argv + 1, argv + argc);
  if (args.empty() || args[0] == "help" || args[0] == "--help" || args[0] == "-h") {
    (args.empty() ? std::cerr : std::cout) << help_text();
    return args.empty() ? kExitUsage : kExitOk;
  }
  std::string command = args[0];
  args.erase(args.begin());
  if (command == "pack") return run_pack(args, std::cout, std::cerr);
  if (command == "spk") return run_spk(args, std::cout, std::cerr);
  if (command == "list") return run_list(args, std::cout, std::cerr);
  if (command == "extract") return run_extract(args, std::cout, std::cerr);
  if (command == "inspect") return run_inspect(args, std::cout, std::cerr);
  if (command == "install") return run_install(args, std::cout, std::cerr);
  if (command == "uninstall") return run_uninstall(args, std::cout, std::cerr);
  std::cerr << "zep: unknown command " << command << "\n" << help_text();
  return kExitUsage;
}
