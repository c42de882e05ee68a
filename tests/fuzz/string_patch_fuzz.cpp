// Fuzz target: a string patch file of any content applied to the talk tables and a game folder. Whatever
// the bytes, the file is either refused or applied within its bounds; the sanitizers report any read
// or write outside a buffer.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>

#include "install/string_patch_import.h"
#include "platform/host_platform.h"

namespace {

struct Game {
  std::string root;       // a private temporary folder
  std::string game_path;  // root + "game/"
  std::string patch;      // root + "spktmp"
};

void write_file(const std::string& path, const void* data, std::size_t length) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (length > 0) std::fwrite(data, 1, length, file);
  std::fclose(file);
}

const Game& game() {
  static const Game game = [] {
    char pattern[] = "/tmp/zep-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    Game made{pattern, std::string(pattern) + "/game/", std::string(pattern) + "/spktmp"};
    std::filesystem::create_directories(made.game_path);
    // A talk table of one entry.
    static const unsigned char tlk[] = {'T', 'L', 'K', ' ', 'V', '1', ' ', ' ', 0, 0, 1, 0, 0, 0, 44, 0, 0, 0,
                                        1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0,
                                        0, 0, 'h', 'i'};
    write_file(made.game_path + "dialog.tlk", tlk, sizeof tlk);
    // Every question is answered No, every other box just closed.
    zep::host::set_message_handler([](zep::WindowRef, const char*, const char*, zep::u32 style) {
      return (style & 0xF) == zep::kMbYesNo ? zep::kIdNo : zep::kIdOk;
    });
    return made;
  }();
  return game;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const Game& g = game();
  std::error_code ignored;
  std::filesystem::remove_all(g.game_path + "override", ignored);
  write_file(g.patch, data, size);
  zep::GameTalkTables tables;
  if (!tables.load(g.game_path.c_str(), nullptr)) abort();
  // The installation's steps: the file checked, its texts appended, its resource patched and placed.
  zep::LoadedPatch loaded;
  zep::FileHandle patch(zep::open_for_reading(g.patch.c_str()));
  if (zep::read_string_patch_file(patch.get(), "FUZZ.spk", "Fuzz", nullptr, &loaded) == zep::PatchStatus::kSound) {
    const zep::u32 first = zep::append_patch_texts(loaded, &tables);
    if (first != zep::kAppendRefused) {
      zep::place_patched_resource(loaded, first, g.game_path.c_str(), {"Fuzz", nullptr}, nullptr);
    }
  }
  patch.close();
  if (zep::host::open_file_count() != 0) abort();  // every file the run opened is closed again
  return 0;
}
