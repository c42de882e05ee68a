// The tool's own files, on Linux and on Windows alike: an output appears only when it is complete and
// then replaces what was there, reads reach past 2 and 4 GiB, and a failure is said in words with the
// file named as it was given.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>

#include "tests/support/temp_folder.h"
#include "tools/byte_io.h"
#include "tools/output_file.h"

namespace zep::tool {
namespace {

using test::read_native_file;
using test::TempFolder;
using test::write_native_file;
namespace fs = std::filesystem;

std::vector<std::string> names_in(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

bool write_all(const PendingFile& file, const std::string& bytes) {
  return std::fwrite(bytes.data(), 1, bytes.size(), file.file()) == bytes.size();
}

TEST(PendingFile, ReplacesTheTargetOnlyWhenCommitted) {
  TempFolder folder;
  const std::string target = folder / "Lantern.exe";
  write_native_file(target, "the previous build");
  PendingFile file;
  std::string error;
  ASSERT_TRUE(file.create(target, error)) << error;
  ASSERT_TRUE(write_all(file, "the new build"));
  EXPECT_EQ(read_native_file(target), "the previous build");
  EXPECT_EQ(names_in(folder.native()).size(), 2u) << "the output is written beside its target";
  ASSERT_TRUE(file.commit(error)) << error;
  EXPECT_EQ(read_native_file(target), "the new build");
  EXPECT_EQ(names_in(folder.native()), std::vector<std::string>{"Lantern.exe"});
}

TEST(PendingFile, AnAbandonedOutputLeavesNothingBehind) {
  TempFolder folder;
  const std::string kept = folder / "Kept.exe";
  write_native_file(kept, "the previous build");
  std::string error;
  {
    PendingFile file;
    ASSERT_TRUE(file.create(kept, error)) << error;
    ASSERT_TRUE(write_all(file, "half of it"));
  }
  PendingFile never;
  ASSERT_TRUE(never.create(folder / "New.zep", error)) << error;
  ASSERT_TRUE(write_all(never, "half of it"));
  never.abandon();
  EXPECT_EQ(read_native_file(kept), "the previous build");
  EXPECT_EQ(names_in(folder.native()), std::vector<std::string>{"Kept.exe"});
}

TEST(PendingFile, OutputsOfOneTargetAtOnceTakeTemporaryFilesOfTheirOwn) {
  TempFolder folder;
  const std::string target = folder / "Lantern.zep";
  PendingFile first;
  PendingFile second;
  std::string error;
  ASSERT_TRUE(first.create(target, error)) << error;
  ASSERT_TRUE(second.create(target, error)) << error;
  ASSERT_TRUE(write_all(first, "first"));
  ASSERT_TRUE(write_all(second, "second"));
  EXPECT_EQ(names_in(folder.native()).size(), 2u);
  ASSERT_TRUE(first.commit(error)) << error;
  EXPECT_EQ(read_native_file(target), "first");
  ASSERT_TRUE(second.commit(error)) << error;
  EXPECT_EQ(read_native_file(target), "second");
  EXPECT_EQ(names_in(folder.native()), std::vector<std::string>{"Lantern.zep"});
}

TEST(PendingFile, AFailedReplaceIsSaidInWordsAndLeavesNothingBehind) {
  TempFolder folder;
  const std::string target = folder / "Lantern.exe";
  PendingFile file;
  std::string error;
  ASSERT_TRUE(file.create(target, error)) << error;
  ASSERT_TRUE(write_all(file, "the new build"));
  // Meanwhile a folder, not empty, took the target's name: no file can replace it.
  write_native_file(folder.native() / "Lantern.exe" / "inside.txt", "x");
  EXPECT_FALSE(file.commit(error));
  EXPECT_EQ(error, "cannot replace " + target + ": access denied (5)");
  EXPECT_EQ(names_in(folder.native()), std::vector<std::string>{"Lantern.exe"});
  EXPECT_EQ(read_native_file(folder.native() / "Lantern.exe" / "inside.txt"), "x");

  PendingFile nowhere;
  const std::string lost = (folder.native() / "missing" / "Lantern.exe").string();
  EXPECT_FALSE(nowhere.create(lost, error));
  EXPECT_EQ(error, "the folder of the output " + lost + " does not exist");
  EXPECT_FALSE(nowhere.create(target, error));
  EXPECT_EQ(error, "the output " + target + " is a folder");
}

TEST(FileSource, ReadsAtEveryOffsetOfAFileOver4GiB) {
  TempFolder folder;
  const fs::path big = folder.native() / "big.bin";
  write_native_file(big, "0123456789ABCDEF");
  // Sparse: no disk space for the zeros after the first 16 bytes.
  const u64 length = (u64{1} << 32) + 16;
  std::error_code grown;
  fs::resize_file(big, length, grown);
  ASSERT_FALSE(grown) << grown.message();

  FileSource source;
  std::string error;
  ASSERT_TRUE(source.open(big, error)) << error;
  EXPECT_EQ(source.size(), length);
  // Each offset past 2 GiB or 4 GiB cut to 32 bits, signed or not, would land on the first bytes.
  for (u64 offset : {u64{0x80000008}, u64{0xFFFFFFF8}, u64{0x100000008}}) {
    SCOPED_TRACE(offset);
    std::vector<u8> bytes;
    ASSERT_TRUE(source.read_bytes(offset, 8, bytes));
    EXPECT_EQ(bytes, std::vector<u8>(8, 0));
  }
  std::vector<u8> start;
  ASSERT_TRUE(source.read_bytes(8, 8, start));
  EXPECT_EQ(std::string(start.begin(), start.end()), "89ABCDEF");
  std::vector<u8> past;
  EXPECT_FALSE(source.read_bytes(length - 4, 8, past));
}

TEST(FileSource, AMissingFileOrAFolderIsNamedAsGiven) {
  TempFolder folder;
  FileSource source;
  std::string error;
  EXPECT_FALSE(source.open(folder / "Nope.exe", error));
  EXPECT_EQ(error, "cannot read " + (folder / "Nope.exe") + ": no such file (2)");
  EXPECT_FALSE(source.open(folder.path(), error));
  EXPECT_EQ(error, folder.path() + " is not a regular file");
  EXPECT_EQ(source.size(), 0u);
}

}  // namespace
}  // namespace zep::tool
