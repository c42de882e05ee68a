// zep list and zep extract: the installer's own listing and extraction, run through the platform
// layer, so that a mod author sees exactly what a player will see.
#include <filesystem>

#include "archive/extraction.h"
#include "archive/format.h"
#include "archive/listing.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "tools/commands.h"
#include "tools/error_words.h"
#include "tools/help.h"

namespace zep::tool {

u32 archive_offset_of(FileRef file) {
  char start[2] = {0, 0};
  if (seek_file(file, 0) && read_file(file, start, 2) && start[0] == 'M' && start[1] == 'Z') {
    return kStubLayout.archive_offset;
  }
  return 0;
}

int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  for (const std::string& word : args) {
    if (!word.empty() && word[0] == '-') return usage_error("list", "unknown option " + word, err);
  }
  if (args.size() != 1) return usage_error("list", "name one file: an add-on's .exe or a .zep archive", err);
  FileHandle file(open_for_reading(args[0].c_str()));
  if (!file.is_open()) {
    const u32 code = last_error();  // before the stream's own calls can change it
    err << "zep list: " << cannot("read", args[0], code) << "\n";
    return kExitFailed;
  }
  WindowRef list = host::make_control();
  ArchiveCounts counts;
  list_contents(file.get(), archive_offset_of(file.get()), list, nullptr, &counts);
  for (const std::string& line : host::control_lines(list)) out << line << "\n";
  return counts.usable ? kExitOk : kExitFailed;
}

int run_extract(const std::vector<std::string>& args, std::ostream&, std::ostream& err) {
  for (const std::string& word : args) {
    if (!word.empty() && word[0] == '-') return usage_error("extract", "unknown option " + word, err);
  }
  if (args.size() != 2 || args[0].empty() || args[1].empty()) {
    return usage_error("extract", "name the add-on's .exe and the .zep file to write", err);
  }
  FileHandle file(open_for_reading(args[0].c_str()));
  if (!file.is_open()) {
    const u32 code = last_error();  // before the stream's own calls can change it
    err << "zep extract: " << cannot("read", args[0], code) << "\n";
    return kExitFailed;
  }
  std::string target = args[1];
  // What the installer's Save As would only report by a number is said here with the file's name.
  if (same_file(args[0], target)) {
    err << "zep extract: the output " << target << " is the add-on's .exe itself; writing it would destroy it\n";
    return kExitFailed;
  }
  std::error_code missing;
  const std::filesystem::path folder = std::filesystem::absolute(target, missing).parent_path();
  if (!std::filesystem::is_directory(folder, missing)) {
    err << "zep extract: " << cannot("write", target, 3) << "\n";
    return kExitFailed;
  }
  host::set_save_chooser([target] { return target; });
  bool extracted = extract_archive(file.get(), archive_offset_of(file.get()), nullptr);
  host::reset_save_chooser();
  return extracted ? kExitOk : kExitFailed;
}

}  // namespace zep::tool
