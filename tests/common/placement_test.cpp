// Place file and the install log on real files, with the user's answers played by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>

#include "install/backup.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "tests/support/folder_link.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::MessageScript;
using test::read_native_file;
using test::TempFolder;
using test::write_native_file;

// A game folder inside a temporary folder, so that anything written beside it would be seen.
class Placement : public ::testing::Test {
 protected:
  Placement() : game_(root_.native() / "Game") {
    fs::create_directories(game_);
    game_path_ = root_.path() + "Game";
    game_path_ += root_.path().back();  // the platform's separator, as GamePath ends in one
  }

  // Places `data` under `name` and closes the result at once.
  PlaceResult place(const std::string& name, const std::string& data, const PlaceRules& rules = {}) {
    FileHandle placed;
    PlaceResult result = place_file(game_path_.c_str(), name.c_str(), data.data(),
                                    static_cast<u32>(data.size()), rules, nullptr, &placed);
    EXPECT_EQ(placed.is_open(), result == PlaceResult::kPlaced);
    return result;
  }

  // Every file and folder under the temporary folder, with the files' contents.
  std::map<std::string, std::string> tree() const {
    std::map<std::string, std::string> entries;
    for (const auto& entry : fs::recursive_directory_iterator(root_.native())) {
      std::string name = fs::relative(entry.path(), root_.native()).generic_string();
      entries[name] = entry.is_directory() ? "<folder>" : read_native_file(entry.path());
    }
    return entries;
  }

  TempFolder root_;
  fs::path game_;
  std::string game_path_;
};

TEST_F(Placement, NewFilesAreWrittenWithoutAQuestion) {
  MessageScript script;
  EXPECT_EQ(place("readme.txt", "plain"), PlaceResult::kPlaced);
  EXPECT_EQ(read_native_file(game_ / "readme.txt"), "plain");
  EXPECT_EQ(place("empty.bin", ""), PlaceResult::kPlaced);
  EXPECT_TRUE(fs::exists(game_ / "empty.bin"));
  EXPECT_EQ(fs::file_size(game_ / "empty.bin"), 0u);
  // Missing folders are made, one level or several.
  EXPECT_EQ(place("Override\\new.eff", "effect"), PlaceResult::kPlaced);
  EXPECT_EQ(read_native_file(game_ / "Override" / "new.eff"), "effect");
  EXPECT_EQ(place("A\\B\\file.txt", "deep"), PlaceResult::kPlaced);
  EXPECT_EQ(read_native_file(game_ / "A" / "B" / "file.txt"), "deep");
  EXPECT_TRUE(script.shown().empty());

  // The placed file stays open for the caller, positioned after its data.
  FileHandle placed;
  ASSERT_EQ(place_file(game_path_.c_str(), "Override\\spell.spl", "12345678", 8, {}, nullptr, &placed),
            PlaceResult::kPlaced);
  ASSERT_TRUE(seek_file(placed.get(), 4));
  ASSERT_TRUE(write_file(placed.get(), "ab", 2));
  ASSERT_TRUE(placed.close());
  EXPECT_EQ(read_native_file(game_ / "Override" / "spell.spl"), "1234ab78");
}

TEST_F(Placement, ExistingFilesAreReplacedOnlyAfterYes) {
  write_native_file(game_ / "Override" / "old.itm", "the original, longer content");
  MessageScript script;
  script.answer(kIdNo);
  EXPECT_EQ(place("Override\\old.itm", "new"), PlaceResult::kDeclined);
  EXPECT_EQ(read_native_file(game_ / "Override" / "old.itm"), "the original, longer content");
  script.answer(kIdYes);
  EXPECT_EQ(place("Override\\old.itm", "new"), PlaceResult::kPlaced);
  EXPECT_EQ(read_native_file(game_ / "Override" / "old.itm"), "new");

  std::vector<test::ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 2u);
  for (const test::ShownMessage& box : shown) {
    EXPECT_EQ(box.text, "File already exists. Overwrite?");
    EXPECT_EQ(box.caption, game_path_ + "Override\\old.itm");
    EXPECT_EQ(box.style & 0xF, kMbYesNo);
  }
  EXPECT_EQ(shown[0].answer, kIdNo);
  EXPECT_EQ(shown[1].answer, kIdYes);
}

TEST_F(Placement, FailuresAreReportedAsWriteErrors) {
  // A file where a folder of the name should be: the folder cannot be made, the create fails.
  write_native_file(game_ / "plain", "a file");
  {
    MessageScript script;
    EXPECT_EQ(place("plain\\inner.txt", "x"), PlaceResult::kFailed);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].caption, "Write error");
    // The file, then the reason in the system's words (which differ from system to system) and number.
    const std::string text = script.shown()[0].text;
    EXPECT_EQ(text.rfind(game_path_ + "plain\\inner.txt\ncould not be written: ", 0), 0u) << text;
    EXPECT_NE(text.find(" (error 3).\nIt is not installed."), std::string::npos) << text;
    EXPECT_EQ(read_native_file(game_ / "plain"), "a file");
  }
  // A folder where the file should go: it exists (the question may come first) and cannot be
  // replaced by a file.
  fs::create_directories(game_ / "taken");
  MessageScript script;
  script.answer(kIdYes);
  EXPECT_EQ(place("taken", "x"), PlaceResult::kFailed);
  ASSERT_FALSE(script.shown().empty());
  EXPECT_EQ(script.shown().back().caption, "Write error");
  EXPECT_EQ(script.shown().back().text.rfind(game_path_ + "taken\ncould not be written: ", 0), 0u)
      << script.shown().back().text;
  EXPECT_NE(script.shown().back().text.find("(error 5)"), std::string::npos) << script.shown().back().text;
  EXPECT_TRUE(fs::is_directory(game_ / "taken"));
}

TEST_F(Placement, NamesThatLeaveTheGameFolderOrAreTheInstallersOwnAreRefusedBeforeAnythingIsWritten) {
  write_native_file(root_.native() / "outside.txt", "keep");
  write_native_file(game_ / "dialog.tlk", "the game's table");
  write_native_file(game_ / "Evilamul.log", "the add-on's log");
  const std::map<std::string, std::string> before = tree();
  const char* hostile[] = {"",           "..\\x.dll",       "..\\..\\Windows\\x.dll", "Override\\..\\..\\x",
                           "C:\\x",      "\\x",             "\\\\server\\share\\x",   "x:stream",
                           ".\\x",       "Override\\.. \\x", "Override\\...\\x",      "Override\\\\x",
                           "Override\\", "..",              "a/../../x",
                           // What the installer keeps for itself, in any letter case.
                           "dialog.tlk", "DIALOG.TLK", "dialog.tlk.new", "dialogf.tlk", "DialogF.tlk.new",
                           "dialogF.tlk.old", "UInst.exe", "uinst.EXE", "Evilamul.log", "evilamul.LOG",
                           "Evilamul.log.new", "Evilamul.zep-backup", "evilamul.zep-backup\\Override\\x.itm",
                           // Any add-on's log and backup folder, and a short name that may stand for one.
                           "Other.log", "Other.LOG.new", "Other.zep-backup\\x.itm", "OTHERZ~1\\x.itm", "BETA~1.ZEP\\x"};
  MessageScript script;
  const PlaceRules rules = {"Evilamul", nullptr};
  for (const char* name : hostile) {
    SCOPED_TRACE(name);
    script.answer(kIdYes);  // were any of them asked about, it would be replaced
    EXPECT_EQ(place(name, "payload", rules), PlaceResult::kRefused);
  }
  EXPECT_EQ(tree(), before) << "nothing is written anywhere";
  std::vector<test::ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), std::size(hostile)) << "one refusal each, and no question";
  EXPECT_EQ(shown[1].caption, "ZEP refused file");
  EXPECT_NE(shown[1].text.find("..\\x.dll"), std::string::npos) << shown[1].text;
  EXPECT_EQ(shown.back().text,
            "The add-on's file\nBETA~1.ZEP\\x\nis not installed: the installer keeps this name, or one it may be short "
            "for, for itself.");
  // Names that only resemble them are the add-on's to place.
  for (const char* name : {"Override\\evilamul.spl", "Override\\dialog.tlk", "dialog.tlk2", "Evilamul.txt",
                           "Override\\Other.log", "Other.logs", "Evilamul.zep-backupx", "Evilamul", "a~b.txt",
                           "Override\\LONGNA~1.ITM"}) {
    EXPECT_TRUE(accept_placement_name(name, "Evilamul", nullptr)) << name;
  }
}

// A link in the game folder, planted by anyone who may write there, would have the installer write
// wherever it points: a path through one is refused, for the file itself and for its backup.
TEST_F(Placement, PathsThroughALinkAreRefused) {
  const fs::path elsewhere = root_.native() / "Elsewhere";
  write_native_file(elsewhere / "victim.itm", "precious");
  write_native_file(game_ / "Data" / "old.itm", "the player's");
  fs::create_directories(game_ / "Mod.zep-backup");
  if (!test::make_folder_link(game_ / "Override", elsewhere) ||
      !test::make_folder_link(game_ / "Mod.zep-backup" / "Data", elsewhere)) {
    ASSERT_TRUE(test::may_refuse_links()) << "a symbolic link can be made here";
    GTEST_SKIP() << "Windows does not let this test make a symbolic link (developer mode or administrator)";
  }
  Backup backup(game_path_.c_str(), "Mod", nullptr);
  const PlaceRules rules = {"Mod", &backup};
  MessageScript script;
  for (const char* name : {"Override\\new.itm", "override\\VICTIM.itm", "Override\\Deeper\\x.itm"}) {
    SCOPED_TRACE(name);
    script.answer(kIdYes);  // were it asked about, it would be replaced
    EXPECT_EQ(place(name, "harm", rules), PlaceResult::kRefused);
  }
  // The backup of a replaced file would be written through the link: the file is not replaced.
  script.answer(kIdYes);
  EXPECT_EQ(place("Data\\old.itm", "new", rules), PlaceResult::kFailed);
  EXPECT_EQ(read_native_file(game_ / "Data" / "old.itm"), "the player's");

  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(elsewhere)) names.push_back(entry.path().filename().string());
  EXPECT_EQ(names, std::vector<std::string>{"victim.itm"}) << "nothing written through the link";
  EXPECT_EQ(read_native_file(elsewhere / "victim.itm"), "precious");
  std::vector<test::ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 5u) << "one refusal each, and one question for the file that exists";
  for (std::size_t k : {0, 1, 2, 4}) {
    EXPECT_EQ(shown[k].caption, "ZEP refused link");
    EXPECT_NE(shown[k].text.find("passes through a link"), std::string::npos) << shown[k].text;
  }
  EXPECT_EQ(shown[3].text, "File already exists. Overwrite?");
}

TEST_F(Placement, AReplacedFileIsKeptInTheBackupFolderFirst) {
  write_native_file(game_ / "Override" / "old.itm", "the player's original");
  write_native_file(game_ / "Override" / "mine.itm", "placed by the add-on before");
  InstallLog log;
  write_native_file(game_ / "Mod.log", "Mod\r\n" + game_path_ + "\r\nOverride\\mine.itm\r\n");
  ASSERT_EQ(log.read_existing(game_path_.c_str(), "Mod"), ExistingLog::kContinued);
  Backup backup(game_path_.c_str(), "Mod", &log);
  const PlaceRules rules = {"Mod", &backup};
  const fs::path backups = game_ / "Mod.zep-backup";

  MessageScript script;
  script.answer(kIdYes);
  EXPECT_EQ(place("Override\\old.itm", "new", rules), PlaceResult::kPlaced);
  EXPECT_EQ(read_native_file(game_ / "Override" / "old.itm"), "new");
  EXPECT_EQ(read_native_file(backups / "Override" / "old.itm"), "the player's original");

  // A file the log lists is the add-on's own from before: replaced without a backup.
  script.answer(kIdYes);
  EXPECT_EQ(place("Override\\mine.itm", "newer", rules), PlaceResult::kPlaced);
  EXPECT_FALSE(fs::exists(backups / "Override" / "mine.itm"));

  // A backup that is there already is older than what is there now: it stays, and the file is not
  // replaced; nor is one whose backup cannot be written.
  write_native_file(game_ / "Override" / "old.itm", "changed since");
  script.answer(kIdYes);
  EXPECT_EQ(place("Override\\old.itm", "again", rules), PlaceResult::kFailed);
  EXPECT_EQ(read_native_file(game_ / "Override" / "old.itm"), "changed since");
  EXPECT_EQ(read_native_file(backups / "Override" / "old.itm"), "the player's original");
  write_native_file(game_ / "blocked.txt", "the player's");
  fs::create_directories(backups / "blocked.txt" / "in the way");
  script.answer(kIdYes);
  EXPECT_EQ(place("blocked.txt", "x", rules), PlaceResult::kFailed);
  EXPECT_EQ(read_native_file(game_ / "blocked.txt"), "the player's");
  const std::vector<test::ShownMessage> shown = script.shown();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown.back().caption, "ZEP backup error");
  EXPECT_NE(shown.back().text.find(game_path_ + "blocked.txt\nwas not replaced: "), std::string::npos)
      << shown.back().text;
}

TEST_F(Placement, InstallLogHoldsItsLinesExactly) {
  InstallLog log;
  ASSERT_TRUE(log.create(game_path_.c_str(), "Evilamul"));
  const char* lines[] = {"override\\EVILAMUL.itm", "Override\\evilamul.spl", "Override\\evlamul1.eff",
                         "Override\\evlamul2.eff", "Override\\evlamul3.eff", "Override\\evilamul_readme.txt"};
  for (const char* line : lines) EXPECT_TRUE(log.append_line(line));
  EXPECT_TRUE(log.close());
  EXPECT_EQ(log.failures(), 0u);
  std::string expected = "Evilamul\r\n" + game_path_ + "\r\n";
  for (const char* line : lines) expected += std::string(line) + "\r\n";
  EXPECT_EQ(read_native_file(game_ / "Evilamul.log"), expected);

  // A second installation continues the log: its lines stay, and only new files are added.
  InstallLog again;
  ASSERT_EQ(again.read_existing(game_path_.c_str(), "Evilamul"), ExistingLog::kContinued);
  EXPECT_TRUE(again.lists("OVERRIDE\\EVILAMUL.SPL")) << "names compare as Windows compares them";
  ASSERT_TRUE(again.create(game_path_.c_str(), "Evilamul"));
  EXPECT_TRUE(again.append_line("Override\\evilamul.spl"));
  EXPECT_TRUE(again.append_line("Override\\new.eff"));
  EXPECT_TRUE(again.close());
  EXPECT_EQ(read_native_file(game_ / "Evilamul.log"), expected + "Override\\new.eff\r\n");

  // A log edited on Linux, its lines ended by LF alone and its last one by nothing, is read as its
  // lines say, and continued on a line of its own.
  write_native_file(game_ / "Evilamul.log", "Evilamul\n" + game_path_ + "\nOverride\\a.eff\nreadme.txt");
  InstallLog edited;
  ASSERT_EQ(edited.read_existing(game_path_.c_str(), "EVILAMUL"), ExistingLog::kContinued);
  EXPECT_TRUE(edited.lists("readme.txt"));
  EXPECT_TRUE(edited.lists("Override\\a.eff"));
  ASSERT_TRUE(edited.create(game_path_.c_str(), "Evilamul"));
  EXPECT_TRUE(edited.append_line("b.txt"));
  EXPECT_TRUE(edited.close());
  EXPECT_EQ(read_native_file(game_ / "Evilamul.log"),
            "Evilamul\n" + game_path_ + "\nOverride\\a.eff\nreadme.txt\r\nb.txt\r\n");

  // A log of this add-on that names another folder (the game was moved or copied since), or lost its
  // second line, is continued with this folder as its second line; its file lines stay as they were.
  const std::vector<std::pair<std::string, std::string>> moved = {
      {"Evilamul\r\nC:\\Elsewhere\\\r\nOverride\\a.eff\r\n", "Override\\a.eff\r\n"},
      {"EVILAMUL\nC:\\Elsewhere\\\nOverride\\a.eff", "Override\\a.eff\r\n"},
      {"Evilamul\r\nC:\\Elsewhere\\\r\n", ""},
      {"Evilamul\r\nC:\\Elsewhere\\", ""},
      {"Evilamul", ""},
      {"Evilamul\r\n", ""}};
  for (const auto& [old_log, file_lines] : moved) {
    SCOPED_TRACE(old_log);
    write_native_file(game_ / "Evilamul.log", old_log);
    InstallLog copied;
    ASSERT_EQ(copied.read_existing(game_path_.c_str(), "Evilamul"), ExistingLog::kContinued);
    EXPECT_EQ(copied.lists("Override\\a.eff"), !file_lines.empty());
    ASSERT_TRUE(copied.create(game_path_.c_str(), "Evilamul"));
    EXPECT_TRUE(copied.append_line("b.txt"));
    EXPECT_TRUE(copied.close());
    EXPECT_EQ(read_native_file(game_ / "Evilamul.log"), "Evilamul\r\n" + game_path_ + "\r\n" + file_lines + "b.txt\r\n");
    EXPECT_FALSE(fs::exists(game_ / "Evilamul.log.new"));
  }

  // A log whose first line is not this add-on's name is not continued.
  for (const std::string& other : {"Other\r\n" + game_path_ + "\r\n", std::string("\r\nEvilamul\r\n"), std::string()}) {
    write_native_file(game_ / "Evilamul.log", other);
    InstallLog foreign;
    EXPECT_EQ(foreign.read_existing(game_path_.c_str(), "Evilamul"), ExistingLog::kNotThisAddons) << other;
  }
  // One this add-on's by its first line but larger than any log is read is said to be too large.
  write_native_file(game_ / "Evilamul.log", "Evilamul\r\n");
  fs::resize_file(game_ / "Evilamul.log", (64u << 20) + 1);
  InstallLog large;
  EXPECT_EQ(large.read_existing(game_path_.c_str(), "Evilamul"), ExistingLog::kTooLarge);
  fs::remove(game_ / "Evilamul.log");
  InstallLog none;
  EXPECT_EQ(none.read_existing(game_path_.c_str(), "Evilamul"), ExistingLog::kNone);
  ASSERT_TRUE(none.create(game_path_.c_str(), "Evilamul"));
  EXPECT_TRUE(none.close());
  EXPECT_EQ(read_native_file(game_ / "Evilamul.log"), "Evilamul\r\n" + game_path_ + "\r\n");

  // A log that cannot be created is a failure, and so is every line that is lost.
  InstallLog missing;
  std::string no_folder = game_path_ + "missing" + game_path_.back();
  EXPECT_FALSE(missing.create(no_folder.c_str(), "Evilamul"));
  EXPECT_FALSE(missing.append_line("Override\\x"));
  EXPECT_EQ(missing.failures(), 2u);
  EXPECT_FALSE(fs::exists(game_ / "missing"));
}

}  // namespace
}  // namespace zep
