// Fuzz target: the uninstaller run on an install log of any content, the question answered Yes.
// Whatever the log says, the uninstaller never reads outside its buffers and closes every file, and
// it deletes and puts back only inside the folder that holds the log, whatever its second line says:
// the host layer's confinement to the private folder would record anything else (and keeps a fuzzed
// log from ever reaching the machine's own files); nor does it delete through the link to elsewhere
// planted beside the log.
#include <cstdint>

#include "tests/fuzz/fuzz_support.h"
#include "uninstaller/uninstaller.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zep;
  const std::string& root = fuzz::private_folder();
  static const bool ready = [&] {
    host::confine_changes_to(root);
    fuzz::answer_messages(kIdYes);
    host::set_registry_value(RegistryRoot::kCurrentUser,
                             "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\", "Programs",
                             root + "Programs");
    std::filesystem::current_path(root);
    std::filesystem::create_directories(root + "elsewhere");
    std::filesystem::create_directory_symlink(root + "elsewhere", root + "Linked");
    return true;
  }();
  (void)ready;
  const std::string log = root + "Fuzz.log";
  fuzz::write_file(log, data, size);
  // A file the log may name, to be deleted.
  fuzz::write_file(root + "a", "a", 1);
  fuzz::write_file(root + "elsewhere/x", "x", 1);  // reachable only through the link
  run_uninstaller(("UInst -" + log).c_str());
  if (host::open_file_count() != 0) abort();
  if (!host::confinement_escapes().empty()) abort();
  if (!std::filesystem::exists(root + "elsewhere/x")) abort();
  return 0;
}
