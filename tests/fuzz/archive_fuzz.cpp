// Fuzz target: an installer's archive of any content, listed and, when the listing accepts it,
// installed into a game folder. Whatever the bytes, nothing is read outside the file or a buffer
// (the sanitizers watch), nothing is changed outside the private folder (the host layer's
// confinement refuses and records it), nothing is written through the link to elsewhere planted as
// the game's Override folder, and every opened file is closed again.
#include <cstdint>

#include "archive/format.h"
#include "archive/listing.h"
#include "install/driver.h"
#include "platform/buffers.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zep;
  const std::string& root = fuzz::private_folder();
  const std::string game = root + "game/";
  const std::string elsewhere = root + "elsewhere";
  static const bool ready = [&] {
    std::filesystem::create_directories(elsewhere);
    host::confine_changes_to(root);
    fuzz::answer_messages(kIdNo);
    return std::filesystem::current_path(root), true;
  }();
  (void)ready;
  std::error_code ignored;
  std::filesystem::remove_all(game, ignored);
  std::filesystem::create_directories(game);
  fuzz::write_small_talk_table(game + "dialog.tlk");
  std::filesystem::create_directory_symlink(elsewhere, game + "Override");
  fuzz::write_file(root + "tmp", data, size);

  FileHandle file(open_for_reading((root + "tmp").c_str()));
  if (!file.is_open()) abort();
  WindowRef list = host::make_control();
  ArchiveCounts counts = {};
  list_contents(file.get(), 0, list, nullptr, &counts);
  if (counts.usable) {
    static const u8 uninstaller[kUninstallerLength] = {'M', 'Z'};
    InstallSource source = {file.get(), 0, &counts, uninstaller, false};
    install_addon(source, game.c_str(), "Fuzz", nullptr);
  }
  file.close();
  host::reset_controls();
  if (host::open_file_count() != 0) abort();
  if (!host::confinement_escapes().empty()) abort();  // a name that reached outside the game's folder
  if (!std::filesystem::is_empty(elsewhere)) abort();  // a path that went through the link
  return 0;
}
