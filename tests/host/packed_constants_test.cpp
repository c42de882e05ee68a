// The installer stub's packed constants: what cmake/pack-constants encodes, unpack_constants gives
// back byte for byte, and relocate_constants applies to the copy exactly the relocations listed there.
#include "platform/packed_constants.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "platform/bytes.h"
#include "tests/support/temp_folder.h"

namespace zep::test {
namespace {

// `bytes` packed by the build step itself.
std::string packed_by_the_build(const std::string& bytes) {
  TempFolder folder;
  write_native_file(folder.native() / "in", bytes);
  const std::string command = std::string("python3 ") + ZEP_SOURCE_DIR + "/cmake/pack-constants --encode '" +
                              (folder.native() / "in").string() + "' '" + (folder.native() / "out").string() + "'";
  EXPECT_EQ(std::system(command.c_str()), 0) << command;
  return read_native_file(folder.native() / "out");
}

TEST(PackedConstants, WhatTheBuildPacksUnpacksToItself) {
  std::mt19937 random(36864);
  std::string noise(5000, 0);
  for (char& c : noise) c = static_cast<char>(random());
  std::string texts;
  const char* words[] = {"The add-on's file ", "could not be ", "installed", "%s\n", "the game folder ", "."};
  while (texts.size() < 9000) texts += words[random() % 6];
  const std::vector<std::string> cases = {"", "x", "abc", std::string(4000, 'z'), std::string(70000, 0), noise, texts,
                                          texts + noise + texts};
  for (const std::string& bytes : cases) {
    const std::string packed = packed_by_the_build(bytes);
    if (bytes.size() > 100 && &bytes != &cases[5]) EXPECT_LT(packed.size(), bytes.size() * 3 / 4) << bytes.size();
    std::vector<u8> out(bytes.size() + 1, 0xEE);
    unpack_constants(reinterpret_cast<const u8*>(packed.data()), out.data(), static_cast<u32>(bytes.size()));
    EXPECT_EQ(std::string(out.begin(), out.end() - 1), bytes) << bytes.size();
    EXPECT_EQ(out.back(), 0xEE) << "nothing written past the end";
  }
}

TEST(PackedConstants, RelocationsApplyToTheCopyAlone) {
  std::vector<u8> image(0x3000, 0);
  const u32 first = 0x1FF8;  // the copy: from here, 0x20 bytes, across a page
  const u32 length = 0x20;
  const std::vector<u32> sites = {0x1FF4, 0x1FF8, 0x2000, 0x2014, 0x2018};  // the first and last outside
  for (u32 site : sites) store_u32(image.data() + site, 0x00401000 + site);
  // Two blocks, the second ended by a type-0 entry that pads it to four bytes.
  std::vector<u8> table(8 + 2 * 2 + 8 + 2 * 4, 0);
  store_u32(table.data(), 0x1000);
  store_u32(table.data() + 4, 12);
  table[8] = 0xF4, table[9] = 0x3F;   // 0x1FF4
  table[10] = 0xF8, table[11] = 0x3F;  // 0x1FF8
  store_u32(table.data() + 12, 0x2000);
  store_u32(table.data() + 16, 16);
  table[20] = 0x00, table[21] = 0x30;  // 0x2000
  table[22] = 0x14, table[23] = 0x30;  // 0x2014
  table[24] = 0x18, table[25] = 0x30;  // 0x2018
  relocate_constants(image.data(), table.data(), static_cast<u32>(table.size()), first, length, 0x00010000u);
  for (u32 site : sites) {
    const bool inside = site >= first && site < first + length;
    EXPECT_EQ(load_u32(image.data() + site), 0x00401000 + site + (inside ? 0x10000u : 0u)) << std::hex << site;
  }
  // A negative delta (an image loaded below its base) wraps as the loader's does.
  relocate_constants(image.data(), table.data(), static_cast<u32>(table.size()), first, length, 0u - 0x10000u);
  for (u32 site : sites) EXPECT_EQ(load_u32(image.data() + site), 0x00401000 + site);
}

}  // namespace
}  // namespace zep::test
