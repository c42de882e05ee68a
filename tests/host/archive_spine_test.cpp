// Self-location, extraction and the zep tool's list and extract, on real files in a temporary
// folder through the host platform layer.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "archive/extraction.h"
#include "archive/format.h"
#include "archive/reader.h"
#include "platform/host_platform.h"
#include "shell/self_location.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/test_list.h"
#include "tools/commands.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::TempFolder;
using test::write_native_file;

// Makes `folder` the current folder for as long as it lives.
class CurrentFolder {
 public:
  explicit CurrentFolder(const fs::path& folder) : before_(fs::current_path()) { fs::current_path(folder); }
  ~CurrentFolder() { fs::current_path(before_); }

 private:
  fs::path before_;
};

// The folder's path as a Windows-style absolute path ("\tmp\zep-test-...\"), which the host layer maps.
std::string windows_style(const fs::path& path) {
  std::string text = path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

const std::string kArchive = test::build_test_archive(test::sample_patches(), test::sample_files());
const std::string kExe = test::build_self_extracting("MZ stub", "MZ uninstaller", kArchive);
const std::vector<std::string> kSampleLines = {
    "SPK files in this archive:", "EVILAMUL.spk", "", "Other files in this archive:", "Override\\evilamul.spl",
    "Override\\evlamul1.eff", "Override\\evlamul2.eff", "Override\\evlamul3.eff", "Override\\evilamul_readme.txt"};

class ArchiveSpine : public ::testing::Test {
 protected:
  void SetUp() override { host::reset_all(); }
  void TearDown() override { host::reset_all(); }
};

TEST_F(ArchiveSpine, LocateSelfCopiesTheProgramIntoAWorkingCopyItHoldsAndListsIt) {
  TempFolder folder;
  write_native_file(folder.native() / "BigMod.Setup.exe", kExe);
  write_native_file(folder.native() / "tmp", "the player's own file named tmp");
  CurrentFolder current(folder.native());
  host::set_command_line("\"" + windows_style(folder.native() / "BigMod.Setup.EXE") + "\"");
  test::MessageScript script;
  test::TestList list;
  char addon_name[kAddonNameCapacity];
  ArchiveCounts counts{};
  FileHandle working_copy;
  locate_self(host::make_control(), list.handle(), addon_name, &counts, &working_copy);

  EXPECT_STREQ(addon_name, "Bigmod");
  EXPECT_EQ(read_native_file(folder.native() / "tmp"), "the player's own file named tmp") << "never touched";
  EXPECT_EQ(list.lines(), kSampleLines);
  EXPECT_EQ(counts.patch_count, 1u);
  EXPECT_EQ(counts.file_count, 5u);
  EXPECT_TRUE(counts.usable);
  EXPECT_TRUE(script.shown().empty());
  // The copy is held: nobody else may open, replace or delete it, and it goes when it is closed.
  ASSERT_TRUE(working_copy.is_open());
  EXPECT_EQ(host::open_file_count(), 1u);
  EXPECT_EQ(read_native_file(folder.native() / "tmp.2"), kExe);
  EXPECT_EQ(open_for_reading("tmp.2"), nullptr);
  EXPECT_EQ(last_error(), win_error::kSharingViolation);
  EXPECT_FALSE(copy_file("BigMod.Setup.exe", "tmp.2"));
  EXPECT_FALSE(delete_file("tmp.2"));
  working_copy.close();
  EXPECT_FALSE(fs::exists(folder.native() / "tmp.2"));
  EXPECT_EQ(host::open_file_count(), 0u);
}

TEST_F(ArchiveSpine, LocateSelfListsNothingWhenTheCopyCannotBeMade) {
  TempFolder folder;
  CurrentFolder current(folder.native());
  test::MessageScript script;
  WindowRef window = host::make_control();
  char addon_name[kAddonNameCapacity];
  ArchiveCounts counts{};

  // Started by a bare name that does not exist here, with an older "tmp" beside it: that one is never
  // listed, as what it holds is not this program.
  write_native_file(folder.native() / "tmp", kExe);
  host::set_command_line("Missing");
  test::TestList list;
  FileHandle working_copy;
  locate_self(window, list.handle(), addon_name, &counts, &working_copy);
  EXPECT_STREQ(addon_name, "Missing");
  std::vector<test::ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].caption, "ZEP access error");
  EXPECT_EQ(shown[0].text, "2");
  EXPECT_TRUE(shown[0].has_owner);
  EXPECT_TRUE(list.lines().empty());
  EXPECT_FALSE(counts.usable);
  EXPECT_FALSE(working_copy.is_open());
  EXPECT_FALSE(fs::exists(folder.native() / "tmp.2")) << "the copy that failed is gone";
  EXPECT_EQ(read_native_file(folder.native() / "tmp"), kExe);

  // A name that does not fit the add-on name's storage is refused; its path is too long to copy.
  std::string long_name(kAddonNameCapacity, 'x');
  host::set_command_line(long_name + ".exe");
  test::TestList third;
  locate_self(window, third.handle(), addon_name, &counts, &working_copy);
  EXPECT_STREQ(addon_name, "");
  shown = script.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[1].caption, "ZEP name error");
  EXPECT_EQ(shown[2].caption, "ZEP access error");
  EXPECT_TRUE(third.lines().empty());
  EXPECT_EQ(host::open_file_count(), 0u);
}

// Extracts `exe` (written as the working copy) to `target`, playing the user at the Save As dialog.
struct Extraction {
  bool written;
  std::vector<test::ShownMessage> shown;
  int dialogs = 0;
};

Extraction extract(const TempFolder& folder, const std::string& exe, const std::optional<std::string>& target) {
  write_native_file(folder.native() / "tmp", exe);
  Extraction result{};
  host::set_save_chooser([&] {
    ++result.dialogs;
    return target;
  });
  test::MessageScript script;
  FileHandle copy(open_for_reading((folder / "tmp").c_str()));
  EXPECT_TRUE(copy.is_open());
  result.written = extract_archive(copy.get(), kStubLayout.archive_offset, host::make_control());
  result.shown = script.shown();
  return result;
}

TEST_F(ArchiveSpine, ExtractionWritesExactlyTheArchive) {
  TempFolder folder;
  Extraction done = extract(folder, kExe, folder / "Out.zep");
  EXPECT_TRUE(done.written);
  EXPECT_EQ(read_native_file(folder.native() / "Out.zep"), kArchive);
  ASSERT_EQ(done.shown.size(), 1u);
  EXPECT_EQ(done.shown[0].text, "ZEP file has been extracted.");
  EXPECT_EQ(done.shown[0].caption, "Ready");
  EXPECT_EQ(done.shown[0].style, kMbOk);
  EXPECT_TRUE(done.shown[0].has_owner);

  // An existing file is replaced (the dialog has asked before overwriting it).
  write_native_file(folder.native() / "Old.zep", std::string(100000, 'o'));
  EXPECT_TRUE(extract(folder, kExe, folder / "Old.zep").written);
  EXPECT_EQ(read_native_file(folder.native() / "Old.zep"), kArchive);

  // Larger than one piece of the copy, and an empty archive region after the header.
  // The window shows its progress by the piece: the share of the archive's bytes, up to the whole.
  std::string big_archive = test::build_test_archive({}, {{"big.bin", std::string(300000, 'b')}});
  const WindowRef label = host::make_control();
  g_copy_progress = {label, 0, 0, 0, 0};
  EXPECT_TRUE(extract(folder, test::build_self_extracting("MZ", "MZ", big_archive), folder / "Big.zep").written);
  g_copy_progress = {};
  EXPECT_EQ(read_native_file(folder.native() / "Big.zep"), big_archive);
  const std::vector<std::string> texts = host::control_texts(label);
  ASSERT_EQ(texts.size(), 5u) << "one text for each piece of 64 KiB";
  int last = -1;
  for (const std::string& text : texts) {
    int percent = -1;
    ASSERT_EQ(std::sscanf(text.c_str(), "%d%%", &percent), 1) << text;
    EXPECT_EQ(text, std::to_string(percent) + "%");
    EXPECT_GT(percent, last) << text;
    last = percent;
  }
  EXPECT_EQ(texts.back(), "100%");
}

TEST_F(ArchiveSpine, ExtractionFailuresAreReportedAndLeaveNoPartialFile) {
  TempFolder folder;
  Extraction cancelled = extract(folder, kExe, std::nullopt);
  EXPECT_FALSE(cancelled.written);
  EXPECT_EQ(cancelled.dialogs, 1);
  EXPECT_TRUE(cancelled.shown.empty());

  Extraction no_folder = extract(folder, kExe, folder / "missing\\Out.zep");
  EXPECT_FALSE(no_folder.written);
  ASSERT_EQ(no_folder.shown.size(), 1u);
  EXPECT_EQ(no_folder.shown[0].caption, "ZEP read Error");
  EXPECT_EQ(no_folder.shown[0].text, "3");

  Extraction damaged = extract(folder, kExe.substr(0, kExe.size() - 10), folder / "Cut.zep");
  EXPECT_FALSE(damaged.written);
  EXPECT_EQ(damaged.dialogs, 0) << "a damaged archive is refused before anything is asked";
  ASSERT_EQ(damaged.shown.size(), 1u);
  EXPECT_EQ(damaged.shown[0].caption, "ZEP archive damaged");
  EXPECT_FALSE(fs::exists(folder.native() / "Cut.zep"));

  // A disk that fills up: files may not grow past 4000 bytes while the limit holds.
  std::signal(SIGXFSZ, SIG_IGN);
  struct rlimit before;
  ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &before), 0);
  write_native_file(folder.native() / "tmp", kExe);  // written before the limit
  struct rlimit limited = before;
  limited.rlim_cur = 4000;
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
  host::set_save_chooser([&] { return folder / "Full.zep"; });
  test::MessageScript script;
  bool written;
  {
    FileHandle copy(open_for_reading((folder / "tmp").c_str()));
    written = extract_archive(copy.get(), kStubLayout.archive_offset, host::make_control());
  }
  ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &before), 0);
  std::signal(SIGXFSZ, SIG_DFL);
  EXPECT_FALSE(written);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, "Write error");
  EXPECT_EQ(script.shown()[0].text,
            (folder.native() / "Full.zep").string() + "\ncould not be written: There is not enough space on the disk "
                                                      "(error 112).");
  EXPECT_FALSE(fs::exists(folder.native() / "Full.zep")) << "the half-written file is removed";
  EXPECT_EQ(host::open_file_count(), 0u);
}

struct ToolRun {
  int code;
  std::string out;
  std::vector<test::ShownMessage> shown;
};

ToolRun run_tool(int (*command)(const std::vector<std::string>&, std::ostream&, std::ostream&),
                 const std::vector<std::string>& args) {
  test::MessageScript script;
  std::ostringstream out, err;
  int code = command(args, out, err);
  return {code, out.str(), script.shown()};
}

TEST_F(ArchiveSpine, ToolListsAndExtractsAsTheInstallerDoes) {
  TempFolder folder;
  write_native_file(folder.native() / "Sample.exe", kExe);
  write_native_file(folder.native() / "Sample.zep", kArchive);
  std::string expected;
  for (const std::string& line : kSampleLines) expected += line + "\n";

  ToolRun listed = run_tool(tool::run_list, {folder / "Sample.exe"});
  EXPECT_EQ(listed.code, tool::kExitOk);
  EXPECT_EQ(listed.out, expected);
  ToolRun bare = run_tool(tool::run_list, {folder / "Sample.zep"});
  EXPECT_EQ(bare.code, tool::kExitOk);
  EXPECT_EQ(bare.out, expected);

  write_native_file(folder.native() / "Cut.exe", kExe.substr(0, kExe.size() - 500));
  ToolRun cut = run_tool(tool::run_list, {folder / "Cut.exe"});
  EXPECT_EQ(cut.code, tool::kExitFailed);
  EXPECT_EQ(cut.out, "");
  ASSERT_EQ(cut.shown.size(), 1u);
  EXPECT_EQ(cut.shown[0].caption, "ZEP archive damaged");
  EXPECT_EQ(run_tool(tool::run_list, {folder / "None.exe"}).code, tool::kExitFailed);
  EXPECT_EQ(run_tool(tool::run_list, {}).code, tool::kExitUsage);

  ToolRun extracted = run_tool(tool::run_extract, {folder / "Sample.exe", folder / "Out.zep"});
  EXPECT_EQ(extracted.code, tool::kExitOk);
  EXPECT_EQ(read_native_file(folder.native() / "Out.zep"), kArchive);
  EXPECT_EQ(run_tool(tool::run_extract, {folder / "Cut.exe", folder / "Cut.zep"}).code, tool::kExitFailed);
  EXPECT_FALSE(fs::exists(folder.native() / "Cut.zep"));
}

}  // namespace
}  // namespace zep
