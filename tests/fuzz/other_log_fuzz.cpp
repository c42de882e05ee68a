// Fuzz target: another add-on's install log of any content in the game folder while an add-on that
// places some of the same files is installed, then both uninstalled. Whatever the other log says,
// nothing is read outside a buffer (the sanitizers watch), nothing is changed outside the private
// folder (the host layer's confinement refuses and records it), nothing is written or deleted
// through the link to elsewhere planted in the game folder, and every opened file is closed again.
#include <cstdint>

#include "archive/format.h"
#include "install/driver.h"
#include "platform/buffers.h"
#include "tests/fuzz/fuzz_support.h"
#include "tests/support/archive_builder.h"
#include "uninstaller/uninstaller.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zep;
  const std::string& root = fuzz::private_folder();
  const std::string game = root + "game/";
  const std::string elsewhere = root + "elsewhere";
  static const std::string installer = test::build_self_extracting(
      "MZ stub", "MZ uninstaller",
      test::build_test_archive({}, {{"override\\x.itm", "Fuzz's x"}, {"Override\\NEW.itm", "Fuzz's new"},
                                    {"Linked\\z.itm", "through the link"}}));
  static const bool ready = [&] {
    std::filesystem::create_directories(elsewhere);
    host::confine_changes_to(root);
    fuzz::answer_messages(kIdYes);
    fuzz::write_file(root + "tmp", installer.data(), installer.size());
    return std::filesystem::current_path(root), true;
  }();
  (void)ready;
  std::error_code ignored;
  std::filesystem::remove_all(game, ignored);
  std::filesystem::create_directories(game + "override");
  std::filesystem::create_directories(game + "Other.zep-backup/override");
  fuzz::write_small_talk_table(game + "dialog.tlk");
  fuzz::write_file(game + "override/x.itm", "x", 1);
  fuzz::write_file(game + "override/new.itm", "n", 1);
  fuzz::write_file(game + "Other.zep-backup/override/x.itm", "o", 1);
  std::filesystem::create_directory_symlink(elsewhere, game + "Linked");
  fuzz::write_file(game + "Other.log", data, size);

  {
    FileHandle file(open_for_reading((root + "tmp").c_str()));
    if (!file.is_open()) abort();
    const InstallSource source = {file.get(), kStubLayout.archive_offset, nullptr, nullptr, true};
    install_addon(source, game.c_str(), "Fuzz", nullptr);
  }
  run_uninstaller(("UInst -" + game + "Fuzz.log").c_str());
  run_uninstaller(("UInst -" + game + "Other.log").c_str());
  if (host::open_file_count() != 0) abort();
  if (!host::confinement_escapes().empty()) abort();
  if (!std::filesystem::is_empty(elsewhere)) abort();
  return 0;
}
