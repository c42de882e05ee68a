// zep list and zep extract: the installer's own listing and extraction, run on Linux through the host
// platform layer, so that a mod author sees exactly what a player will see.
#include "archive/extraction.h"
#include "archive/format.h"
#include "archive/listing.h"
#include "platform/buffers.h"
#include "platform/error_message.h"
#include "platform/host_platform.h"
#include "tools/commands.h"

namespace zep::tool {

u32 archive_offset_of(FileRef file) {
  char start[2] = {0, 0};
  if (seek_file(file, 0) && read_file(file, start, 2) && start[0] == 'M' && start[1] == 'Z') {
    return kStubLayout.archive_offset;
  }
  return 0;
}

int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  if (args.size() != 1 || (!args[0].empty() && args[0][0] == '-')) {
    err << "zep list: name one file: an add-on's .exe or a .zep archive\n";
    return kExitUsage;
  }
  FileHandle file(open_for_reading(args[0].c_str()));
  if (!file.is_open()) {
    show_error_number(nullptr, "ZEP read Error");
    return kExitFailed;
  }
  WindowRef list = host::make_control();
  ArchiveCounts counts;
  list_contents(file.get(), archive_offset_of(file.get()), list, nullptr, &counts);
  for (const std::string& line : host::control_lines(list)) out << line << "\n";
  return counts.usable ? kExitOk : kExitFailed;
}

int run_extract(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  if (args.size() != 2 || args[0].empty() || args[0][0] == '-' || args[1].empty()) {
    err << "zep extract: name the add-on's .exe and the .zep file to write\n";
    return kExitUsage;
  }
  FileHandle file(open_for_reading(args[0].c_str()));
  if (!file.is_open()) {
    show_error_number(nullptr, "ZEP read Error");
    return kExitFailed;
  }
  std::string target = args[1];
  host::set_save_chooser([target] { return target; });
  bool extracted = extract_archive(file.get(), archive_offset_of(file.get()), nullptr);
  host::reset_save_chooser();
  return extracted ? kExitOk : kExitFailed;
}

}  // namespace zep::tool
