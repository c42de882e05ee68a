// The whole installation through the real driver on real files: what reaches the game folder, the
// log, the talk table, the registry and the shell, in which order the user is asked, and that the
// final message tells a complete installation from one with errors.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <sstream>

#include "archive/format.h"
#include "archive/reader.h"
#include "install/driver.h"
#include "install/registration.h"
#include "platform/buffers.h"
#include "shell/game_folder.h"
#include "platform/host_platform.h"
#include "tests/support/archive_builder.h"
#include "tests/support/message_script.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"
#include "uninstaller/uninstaller.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::MessageScript;
using test::read_native_file;
using test::ShownMessage;
using test::TestEntry;
using test::u32_at;
using test::write_native_file;

const fs::path kDemo = fs::path(ZEP_TESTDATA) / "gemrb" / "demo";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Sample";
constexpr char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders\\";
constexpr char kShortcutQuestion[] = "Do you want to create Start Menu shortcuts?";
constexpr char kOverwrite[] = "File already exists. Overwrite?";
// Where the strrefs go in the item: its two names and its description.
const std::vector<std::uint32_t> kPositions = {0x08, 0x0C, 0x54};

std::string lines_of(const std::vector<std::string>& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\r\n";
  return text;
}

// A game folder with a talk table, an installer's folder (the current folder, where "spktmp" is
// made) and a self-extracting file shaped like the installer's worked example: one string patch file
// and five other files, the readme flagged to be opened.
class InstallDriver : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    com_initialize();  // as the window does when it is created
    before_ = fs::current_path();
    fs::create_directories(root_.native() / "Installer");
    fs::current_path(root_.native() / "Installer");
    game_ = root_.native() / "Game";
    fs::create_directories(game_);
    game_path_ = root_.path() + "Game" + root_.path().back();
    if (fs::exists(kDemo / "dialog.tlk")) {
      talk_table_ = read_native_file(kDemo / "dialog.tlk");
      item_ = read_native_file(kDemo / "ruby.itm");
    } else {
      talk_table_ = test::kEmptyTalkTable;
      item_ = std::string(114, 'r');
    }
    write_native_file(game_ / "dialog.tlk", talk_table_);
    fs::create_directories(root_.native() / "Programs");
    programs_ = root_.path() + "Programs";
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", programs_);
    texts_ = {{"Lantern of Dawn", 1, "LNTRN", 0, 0, {kPositions[0], kPositions[1]}},
              {"It glows.", 3, "", 0, 0, {kPositions[2]}}};
    patches_ = {{"EVILAMUL.spk", test::build_spk4("EVILAMUL.itm", item_, texts_)}};
    files_ = test::sample_files();
  }
  void TearDown() override {
    fs::current_path(before_);
    host::reset_all();
  }

  // The installer in the installer's folder, with the uninstaller image "MZ uninstaller".
  std::string installer() const {
    return test::build_self_extracting("MZ stub", "MZ uninstaller", test::build_test_archive(patches_, files_));
  }

  // Installs the add-on "Sample" from a fresh copy of installer(), as the Import command does.
  InstallReport install() {
    write_native_file(root_.native() / "Installer" / "tmp", installer());
    FileHandle copy(open_for_reading("tmp"));
    EXPECT_TRUE(copy.is_open());
    ArchiveCounts counts = {static_cast<u32>(patches_.size()), static_cast<u32>(files_.size()), true};
    InstallSource source = {copy.get(), kStubLayout.archive_offset, &counts, nullptr, false};
    return install_addon(source, game_path_.c_str(), "Sample", window_);
  }

  std::string log_text() const { return read_native_file(game_ / "Sample.log"); }
  // A file of the game folder by its name as the installer writes it, letter case aside.
  std::string file(const std::string& name) const {
    std::optional<std::string> path = host::native_path(game_path_ + name);
    return path ? read_native_file(*path) : "<missing>";
  }

  // The log of a complete installation of patches_ and files_.
  std::string full_log() const {
    std::vector<std::string> lines = {"Sample", game_path_, "override\\EVILAMUL.itm"};
    for (const TestEntry& entry : files_) lines.push_back(entry.name);
    return lines_of(lines);
  }

  static std::string captions(const std::vector<ShownMessage>& shown) {
    std::string text;
    for (const ShownMessage& message : shown) text += "[" + message.caption + ": " + message.text + "]";
    return text;
  }

  test::TempFolder root_;
  fs::path before_;
  fs::path game_;
  std::string game_path_;
  std::string programs_;
  std::string talk_table_;
  std::string item_;
  std::vector<test::SpkText> texts_;
  std::vector<TestEntry> patches_;
  std::vector<TestEntry> files_;
  WindowRef window_ = host::make_control();
};

TEST_F(InstallDriver, InstallsTheWorkedExampleInItsOrder) {
  // A file of the player's that happens to be called as the installer's temporary file.
  write_native_file(root_.native() / "Installer" / "spktmp", "the player's own");
  MessageScript script;
  script.answer(kIdYes);  // shortcuts
  InstallReport report = install();
  EXPECT_TRUE(report.started);
  EXPECT_EQ(report.failures, 0u);

  std::vector<ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 2u) << captions(shown);
  EXPECT_EQ(shown[0].text, kShortcutQuestion);
  EXPECT_EQ(shown[0].caption, "ZEP SFX");
  EXPECT_EQ(shown[0].style, kMbYesNo);
  EXPECT_EQ(shown[1].text, "ZEP imported successfully!");
  EXPECT_EQ(shown[1].caption, "ZEP SFX");
  EXPECT_EQ(shown[1].style, kMbOk);
  EXPECT_TRUE(shown[1].has_owner);

  // The uninstaller is the image slot whole, zero padding included.
  std::string image = installer().substr(kUninstallerOffset, kUninstallerLength);
  EXPECT_EQ(file("UInst.exe"), image);
  EXPECT_EQ(log_text(), full_log());
  for (const TestEntry& entry : files_) EXPECT_TRUE(file(entry.name) == entry.data) << entry.name;

  // The texts at the end of the talk table, their strrefs at every position of the resource.
  const std::string table = file("dialog.tlk");
  const std::uint32_t old_count = u32_at(talk_table_, 10);
  ASSERT_GE(table.size(), 18u);
  EXPECT_EQ(u32_at(table, 10), old_count + 2);
  EXPECT_EQ(table.substr(0, 10), talk_table_.substr(0, 10));
  EXPECT_EQ(table.substr(table.size() - 24), "Lantern of DawnIt glows.");
  std::string resource = file("override\\EVILAMUL.itm");
  ASSERT_EQ(resource.size(), item_.size());
  EXPECT_EQ(u32_at(resource, kPositions[0]), old_count);
  EXPECT_EQ(u32_at(resource, kPositions[1]), old_count);
  EXPECT_EQ(u32_at(resource, kPositions[2]), old_count + 1);
  std::string untouched = resource;
  for (std::uint32_t at : kPositions) untouched.replace(at, 4, item_.substr(at, 4));
  EXPECT_EQ(untouched, item_) << "only the positions change";

  // Registration, with the uninstaller's path quoted.
  EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, kUninstallKey, "DisplayName"), "Sample");
  EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, kUninstallKey, "UninstallString"),
            "\"" + game_path_ + "UInst.exe\" -" + game_path_ + "Sample.log");

  // The readme is opened once every file is in place, and both shortcuts are made.
  const std::string readme = game_path_ + "Override\\evilamul_readme.txt";
  EXPECT_EQ(host::shell_opened(), std::vector<std::string>{readme});
  std::vector<host::ShellLinkRecord> links = host::shell_links();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].link_path, programs_ + "\\Sample\\Uninstall.lnk");
  EXPECT_EQ(links[0].target, game_path_ + "UInst.exe");
  EXPECT_EQ(links[0].arguments, " -" + game_path_ + "Sample.log");
  EXPECT_EQ(links[0].description, links[0].target);
  EXPECT_EQ(links[1].link_path, programs_ + "\\Sample\\evilamul_readme.lnk");
  EXPECT_EQ(links[1].target, readme);
  EXPECT_EQ(links[1].arguments, "");
  EXPECT_EQ(links[1].description, readme);
  EXPECT_TRUE(fs::is_directory(root_.native() / "Programs" / "Sample"));

  EXPECT_EQ(read_native_file(root_.native() / "Installer" / "spktmp"), "the player's own") << "never touched";
  EXPECT_FALSE(fs::exists(root_.native() / "Installer" / "spktmp.2")) << "the temporary copy is gone";
  EXPECT_FALSE(fs::exists(game_ / "dialog.tlk.new"));
  EXPECT_EQ(host::open_file_count(), 0u);
}

// The progress shown while the window's Import runs: every file in turn, its bytes by the piece, to
// the end. Without a place to show it (a scripted install) nothing is shown.
TEST_F(InstallDriver, ProgressGoesThroughEveryFileToTheEndAndIsShownOnlyWhereAsked) {
  files_.push_back({"Override\\big.bam", std::string(3 * kCopyPieceLength + 5, 'b')});
  const u32 count = static_cast<u32>(patches_.size() + files_.size());
  const WindowRef label = host::make_control();
  g_copy_progress = {label, 0, 0, 0, 0};
  MessageScript script;
  InstallReport report = install();
  g_copy_progress = {};
  EXPECT_EQ(report.failures, 0u) << captions(script.shown());
  const std::vector<std::string> texts = host::control_texts(label);
  ASSERT_FALSE(texts.empty());
  EXPECT_EQ(texts.back(), "File " + std::to_string(count) + " of " + std::to_string(count) + ", 100%");
  u32 last_file = 0, last_percent = 0;
  for (const std::string& text : texts) {
    unsigned file = 0, files = 0, percent = 0;
    ASSERT_EQ(std::sscanf(text.c_str(), "File %u of %u, %u%%", &file, &files, &percent), 3) << text;
    EXPECT_EQ(files, count) << text;
    EXPECT_GE(file, last_file) << text;
    EXPECT_GE(percent, last_percent) << text;
    EXPECT_LE(percent, 100u) << text;
    last_file = file;
    last_percent = percent;
  }
  // The big file went in four pieces, each shown with its own share.
  EXPECT_GE(texts.size(), count + 3);

  fs::remove(game_ / "Sample.log");
  install();
  EXPECT_EQ(host::control_texts(label).size(), texts.size()) << "nothing shown without a place for it";
}

TEST_F(InstallDriver, WithoutStringPatchFilesOrWithoutOtherFiles) {
  // P = 0: the talk table is never loaded, so a game folder without one installs completely.
  patches_.clear();
  fs::remove(game_ / "dialog.tlk");
  {
    MessageScript script;
    InstallReport report = install();  // shortcuts: No
    EXPECT_EQ(report.failures, 0u);
    ASSERT_EQ(script.shown().size(), 2u) << captions(script.shown());
    EXPECT_EQ(script.shown()[1].text, "ZEP imported successfully!");
    std::vector<std::string> lines = {"Sample", game_path_};
    for (const TestEntry& entry : files_) lines.push_back(entry.name);
    EXPECT_EQ(log_text(), lines_of(lines));
    EXPECT_FALSE(fs::exists(game_ / "dialog.tlk"));
    EXPECT_FALSE(fs::exists(root_.native() / "Installer" / "spktmp"));
    EXPECT_TRUE(host::shell_links().empty()) << "no shortcuts wanted";
    EXPECT_EQ(host::shell_opened().size(), 1u);
  }

  // F = 0 as well: the uninstaller, a two-line log, the registration and the uninstall shortcut (in a
  // folder whose log of the first run is gone, as it would be continued).
  files_.clear();
  fs::remove(game_ / "Sample.log");
  host::reset_shell();
  MessageScript script;
  script.answer(kIdYes);
  InstallReport report = install();
  EXPECT_EQ(report.failures, 0u);
  EXPECT_EQ(script.shown().back().text, "ZEP imported successfully!");
  EXPECT_EQ(log_text(), lines_of({"Sample", game_path_}));
  EXPECT_EQ(file("UInst.exe").substr(0, 14), "MZ uninstaller");
  EXPECT_TRUE(host::registry_value(RegistryRoot::kLocalMachine, kUninstallKey, "UninstallString").has_value());
  ASSERT_EQ(host::shell_links().size(), 1u);
  EXPECT_EQ(host::shell_links()[0].link_path, programs_ + "\\Sample\\Uninstall.lnk");
  EXPECT_TRUE(host::shell_opened().empty());
}

TEST_F(InstallDriver, WhatIsCheckedBeforeTheFirstChangeInstallsNothingWhenItFails) {
  // Every case leaves the game folder, the registry and the installer's folder exactly as they were,
  // after one message that says what is wrong.
  const std::string cut_table = talk_table_.substr(0, 12);
  std::string damaged_spk = test::build_spk4("EVILAMUL.itm", item_, texts_);
  test::put_u32_at(damaged_spk, test::spk_field::kResourceLength, 0x7FFFFFFF);
  const struct {
    const char* what;
    std::string table, female_table, patch;
    const char* said;
  } cases[] = {
      {"a talk table cut inside its header", cut_table, "", "", "is not a talk table"},
      {"a talk table of another signature", "TLK V2  " + talk_table_.substr(8), "", "", "is not a talk table"},
      {"a female talk table that is not one", talk_table_, "garbage", "", "dialogF.tlk is not a talk table"},
      {"a read-only talk table", talk_table_, "", "", "Can't open dialog file"},
      {"a damaged string patch file", talk_table_, "", damaged_spk, "EVILAMUL.spk is damaged"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(game_);
    fs::create_directories(game_);
    write_native_file(game_ / "dialog.tlk", c.table);
    if (!c.female_table.empty()) write_native_file(game_ / "dialogF.tlk", c.female_table);
    if (std::string(c.what).find("read-only") != std::string::npos) {
      fs::permissions(game_ / "dialog.tlk", fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                      fs::perm_options::remove);
    }
    patches_ = {{"EVILAMUL.spk", c.patch.empty() ? test::build_spk4("EVILAMUL.itm", item_, texts_) : c.patch}};
    std::vector<std::string> before;
    for (const auto& item : fs::recursive_directory_iterator(game_)) before.push_back(item.path().string());
    MessageScript script;
    InstallReport report = install();
    EXPECT_FALSE(report.started);
    std::vector<ShownMessage> shown = script.shown();
    ASSERT_EQ(shown.size(), 1u) << captions(shown);
    EXPECT_NE(shown[0].text.find(c.said), std::string::npos) << shown[0].text;
    EXPECT_NE(shown[0].text.find("Nothing was installed."), std::string::npos) << shown[0].text;
    std::vector<std::string> after;
    for (const auto& item : fs::recursive_directory_iterator(game_)) after.push_back(item.path().string());
    EXPECT_EQ(after, before);
    EXPECT_EQ(file("dialog.tlk"), c.table);
    EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallKey));
    EXPECT_FALSE(fs::exists(root_.native() / "Installer" / "spktmp"));
  }
  // A log of this add-on's name that is not its log in this folder.
  fs::remove(game_ / "dialogF.tlk");
  write_native_file(game_ / "dialog.tlk", talk_table_);
  patches_ = {{"EVILAMUL.spk", test::build_spk4("EVILAMUL.itm", item_, texts_)}};
  write_native_file(game_ / "Sample.log", "an older log with more lines\r\nx\r\ny\r\nz\r\n");
  MessageScript script;
  EXPECT_FALSE(install().started);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, "ZEP log error");
  EXPECT_FALSE(fs::exists(game_ / "UInst.exe"));
}

TEST_F(InstallDriver, TheFemaleTalkTableGrowsInStepAndAShorterOneIsPaddedFirst) {
  // dialogF.tlk as long as dialog.tlk, then one entry shorter, then one longer: the texts always go
  // to the strrefs after the longer table's entries, the shorter one padded with empty entries.
  for (int longer : {0, -1, 1}) {
    SCOPED_TRACE("dialogF.tlk longer by " + std::to_string(longer));
    fs::remove_all(game_);
    fs::create_directories(game_);
    std::vector<test::Line> male = {{1, "", 0, 0, "one"}, {1, "", 0, 0, "two"}};
    std::vector<test::Line> female = male;
    if (longer < 0) female.pop_back();
    if (longer > 0) female.push_back({1, "SND", 0, 0, "three"});
    write_native_file(game_ / "dialog.tlk", test::build_tlk(male));
    write_native_file(game_ / "dialogF.tlk", test::build_tlk(female));
    MessageScript script;
    EXPECT_EQ(install().failures, 0u) << captions(script.shown());
    const std::uint32_t first = longer > 0 ? 3 : 2;
    for (const char* name : {"dialog.tlk", "dialogF.tlk"}) {
      SCOPED_TRACE(name);
      const test::ParsedTable table = test::parse_tlk(file(name));
      ASSERT_TRUE(table.sound);
      ASSERT_EQ(table.entries.size(), first + 2);
      EXPECT_EQ(table.text(first), "Lantern of Dawn");
      EXPECT_EQ(table.text(first + 1), "It glows.");
      const std::size_t own = std::string(name) == "dialog.tlk" ? male.size() : female.size();
      for (std::size_t i = own; i < first; ++i) {
        EXPECT_EQ(table.entries[i].flags, 0u) << i;
        EXPECT_EQ(table.entries[i].resref, std::string(8, '\0')) << i;
        EXPECT_EQ(table.entries[i].length, 0u) << i;
      }
    }
    EXPECT_EQ(u32_at(file("override\\EVILAMUL.itm"), kPositions[2]), first + 1);
    for (const char* left : {"dialog.tlk.new", "dialogF.tlk.new", "dialog.tlk.old", "dialogF.tlk.old"}) {
      EXPECT_FALSE(fs::exists(game_ / left)) << left;
    }
  }
}

TEST_F(InstallDriver, ADeclinedFileIsNotLoggedAndASecondInstallationContinuesTheLog) {
  fs::create_directories(game_ / "Override");
  write_native_file(game_ / "Override" / "evlamul2.eff", "the player's own");
  {
    MessageScript script;
    script.answer(kIdNo);  // shortcuts
    script.answer(kIdNo);  // keep evlamul2.eff
    InstallReport report = install();
    EXPECT_EQ(report.failures, 0u);
    std::vector<ShownMessage> shown = script.shown();
    ASSERT_EQ(shown.size(), 3u) << captions(shown);
    EXPECT_EQ(shown[1].text, kOverwrite);
    EXPECT_EQ(shown[1].caption, game_path_ + "Override\\evlamul2.eff");
    EXPECT_EQ(shown[2].text, "ZEP imported successfully!");
    EXPECT_EQ(file("Override\\evlamul2.eff"), "the player's own");
  }
  std::vector<std::string> lines = {"Sample", game_path_, "override\\EVILAMUL.itm"};
  for (const TestEntry& entry : files_) {
    if (entry.name != "Override\\evlamul2.eff") lines.push_back(entry.name);
  }
  EXPECT_EQ(log_text(), lines_of(lines)) << "the file the player kept is not the uninstaller's to delete";
  const std::string first_table = file("dialog.tlk");

  // Everything again: each file now exists, and each is asked about in the installation's order.
  MessageScript script;
  for (int i = 0; i < 7; ++i) script.answer(kIdYes);
  InstallReport report = install();
  EXPECT_EQ(report.failures, 0u);
  std::vector<ShownMessage> shown = script.shown();
  std::vector<std::string> asked;
  for (const ShownMessage& message : shown) {
    if (message.text == kOverwrite) asked.push_back(message.caption);
  }
  std::vector<std::string> expected = {game_path_ + "override\\EVILAMUL.itm"};
  for (const TestEntry& entry : files_) expected.push_back(game_path_ + entry.name);
  EXPECT_EQ(asked, expected);
  EXPECT_EQ(shown.back().text, "ZEP imported successfully!");
  // The log keeps its lines and gains the one file it did not list; only that file, the player's, is
  // kept as an original: the others are the add-on's own from the first time.
  lines.push_back("Override\\evlamul2.eff");
  EXPECT_EQ(log_text(), lines_of(lines));
  EXPECT_TRUE(file("Override\\evlamul2.eff") == files_[2].data);
  std::vector<std::string> kept;
  for (const auto& item : fs::recursive_directory_iterator(game_ / "Sample.zep-backup")) {
    if (item.is_regular_file()) kept.push_back(fs::relative(item.path(), game_).generic_string());
  }
  EXPECT_EQ(kept, std::vector<std::string>{"Sample.zep-backup/Override/evlamul2.eff"});
  EXPECT_EQ(read_native_file(game_ / "Sample.zep-backup" / "Override" / "evlamul2.eff"), "the player's own");
  // The texts are appended once more, and the replaced resource refers to the new ones.
  const std::string table = file("dialog.tlk");
  EXPECT_EQ(u32_at(table, 10), u32_at(first_table, 10) + 2);
  EXPECT_EQ(u32_at(file("override\\EVILAMUL.itm"), kPositions[2]), u32_at(first_table, 10) + 1);
}

// The add-on's Start Menu folder holds its own shortcuts only: "Uninstall.lnk" and those made for
// files it opens, of this archive or of the files its log lists (an earlier version's readme). Such a
// folder is used again; one of another program's, with that program's key of the same name, is left
// alone by the installation and then by the uninstaller.
TEST_F(InstallDriver, TheStartMenuFolderOfAnEarlierVersionIsItsOwnAndAnotherProgramsIsLeftAlone) {
  const fs::path folder = fs::path(programs_) / "Sample";
  write_native_file(game_ / "Sample.log", "Sample\r\n" + game_path_ + "\r\nOverride\\old_readme.txt\r\n");
  write_native_file(game_ / "Override" / "old_readme.txt", "the earlier version's readme");
  write_native_file(folder / "Uninstall.lnk", "earlier");
  write_native_file(folder / "old_readme.lnk", "earlier");
  {
    MessageScript script;
    script.answer(kIdYes);  // shortcuts
    EXPECT_EQ(install().failures, 0u) << captions(script.shown());
    EXPECT_EQ(script.shown().back().text, "ZEP imported successfully!") << captions(script.shown());
  }
  std::vector<std::string> links;
  for (const auto& item : fs::directory_iterator(folder)) links.push_back(item.path().filename().string());
  std::sort(links.begin(), links.end());
  EXPECT_EQ(links, (std::vector<std::string>{"Uninstall.lnk", "evilamul_readme.lnk", "old_readme.lnk"}));
  EXPECT_NE(read_native_file(folder / "Uninstall.lnk"), "earlier") << "made anew";
  // Uninstalled, the folder is gone: the earlier readme's shortcut went with the file its log lists.
  {
    MessageScript script;
    script.answer(kIdYes);
    EXPECT_EQ(run_uninstaller(("UInst -" + game_path_ + "Sample.log").c_str()), Outcome::kCompleted);
    EXPECT_EQ(script.shown().back().text, "Uninstall completed.");
  }
  EXPECT_FALSE(fs::exists(folder));
  EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallKeyPrefix + std::string("Sample")));

  // Another program named so: its folder with its two shortcuts, with a key of the add-on's name or
  // (as an installer that names its key otherwise leaves it) without. The add-on is registered in
  // neither case, so that its uninstaller never takes that folder for its own.
  const std::string key = kUninstallKeyPrefix + std::string("Sample");
  const std::string foreign = "\"C:\\Program Files\\Sample\\uninstall.exe\"";
  for (const bool with_key : {true, false}) {
    SCOPED_TRACE(with_key ? "with a key of the add-on's name" : "without a key of that name");
    host::clear_registry();
    host::set_registry_value(RegistryRoot::kCurrentUser, kShellFolders, "Programs", programs_);
    if (with_key) {
      host::set_registry_value(RegistryRoot::kLocalMachine, key, "DisplayName", "Sample Suite");
      host::set_registry_value(RegistryRoot::kLocalMachine, key, "UninstallString", foreign);
    }
    write_native_file(folder / "Uninstall.lnk", "the other program's");
    write_native_file(folder / "readme.lnk", "the other program's readme");
    write_native_file(folder / "Sample Help.lnk", "the other program's help");
    files_.push_back({"readme.txt", "the add-on's readme"});
    {
      MessageScript script;
      EXPECT_EQ(install().failures, 0u);
      const std::string said = captions(script.shown());
      EXPECT_NE(said.find("holds files this add-on did not make. The add-on gets no Start Menu shortcuts and no "
                          "entry in the list of installed programs"),
                std::string::npos)
          << said;
      EXPECT_EQ(said.find("Do you want to create Start Menu shortcuts?"), std::string::npos) << said;
    }
    files_.pop_back();
    EXPECT_EQ(host::registry_key_exists(RegistryRoot::kLocalMachine, key), with_key);
    {
      MessageScript script;
      script.answer(kIdYes);
      EXPECT_EQ(run_uninstaller(("UInst -" + game_path_ + "Sample.log").c_str()), Outcome::kCompleted);
      EXPECT_EQ(script.shown().back().text,
                with_key ? "Uninstall completed.\nThe installed programs entry of this name is not this log's: it stays."
                         : "Uninstall completed.");
    }
    if (with_key) {
      EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, key, "UninstallString"), foreign);
      EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, key, "DisplayName"), "Sample Suite");
    }
    EXPECT_EQ(read_native_file(folder / "Uninstall.lnk"), "the other program's");
    EXPECT_EQ(read_native_file(folder / "readme.lnk"), "the other program's readme");
    EXPECT_EQ(read_native_file(folder / "Sample Help.lnk"), "the other program's help");
    EXPECT_FALSE(fs::exists(game_ / "Sample.log"));
    EXPECT_FALSE(fs::exists(game_ / "readme.txt"));
  }
}

TEST_F(InstallDriver, EveryFailedStepIsReportedAndCounted) {
  // UInst.exe cannot be made (a folder holds its name) and Override is a file, so that none of the
  // five files can be placed; the resource still goes to override\ ... which is that same file.
  fs::create_directories(game_ / "UInst.exe");
  write_native_file(game_ / "Override", "not a folder");
  MessageScript script;
  InstallReport report = install();
  EXPECT_TRUE(report.started);
  // UInst.exe, the resource, and the five files.
  EXPECT_EQ(report.failures, 7u);
  std::vector<ShownMessage> shown = script.shown();
  ASSERT_FALSE(shown.empty());
  EXPECT_EQ(shown[0].caption, "Write error") << "the uninstaller's failure comes first";
  std::size_t write_errors = 0;
  for (const ShownMessage& message : shown) write_errors += message.caption == "Write error";
  EXPECT_EQ(write_errors, 7u) << captions(shown);
  EXPECT_NE(shown.back().text.find("7 steps of the installation failed"), std::string::npos) << shown.back().text;
  EXPECT_EQ(shown.back().style, kMbOk | kMbIconWarning);
  // The texts still reach the talk table; what could not be placed is not logged.
  EXPECT_EQ(u32_at(file("dialog.tlk"), 10), u32_at(talk_table_, 10) + 2);
  EXPECT_EQ(log_text(), lines_of({"Sample", game_path_}));
  EXPECT_EQ(file("Override"), "not a folder");
}

TEST_F(InstallDriver, ADamagedOrChangedArchiveInstallsNothing) {
  const std::string whole = installer();
  // Cut short, as a broken download is.
  // Installs from the working copy as it is, with the counts listed at start, and returns the one
  // message shown, which must be the only one.
  auto refusal = [&](ArchiveCounts counts, const char* addon_name) {
    MessageScript script;
    FileHandle copy(open_for_reading("tmp"));
    InstallSource source = {copy.get(), kStubLayout.archive_offset, &counts, nullptr, false};
    EXPECT_FALSE(install_addon(source, game_path_.c_str(), addon_name, window_).started);
    std::vector<ShownMessage> shown = script.shown();
    EXPECT_EQ(shown.size(), 1u) << captions(shown);
    return shown.empty() ? ShownMessage{} : shown[0];
  };
  write_native_file(root_.native() / "Installer" / "tmp", whole.substr(0, whole.size() - 100));
  ShownMessage shown = refusal({1, 5, true}, "Sample");
  EXPECT_NE(shown.text.find("cut short"), std::string::npos) << shown.text;
  // Sound, but no longer what was listed at start.
  write_native_file(root_.native() / "Installer" / "tmp", whole);
  shown = refusal({1, 4, true}, "Sample");
  EXPECT_NE(shown.text.find("changed since the installer started"), std::string::npos) << shown.text;
  // Sound now, but never listed (the working copy could not be read at start).
  shown = refusal({0, 0, false}, "Sample");
  EXPECT_NE(shown.text.find("could not be read when the installer started"), std::string::npos) << shown.text;
  // A file name that gave no AddonName: there would be no key, Start Menu folder or log of its own.
  EXPECT_EQ(refusal({1, 5, true}, "").caption, "ZEP name error");
  std::vector<std::string> names;
  for (const auto& item : fs::recursive_directory_iterator(game_)) names.push_back(item.path().filename());
  EXPECT_EQ(names, std::vector<std::string>{"dialog.tlk"});
  EXPECT_EQ(file("dialog.tlk"), talk_table_);
  EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, kUninstallKey));
}

// The folder chooser and the check of the chosen folder, in storage of their own.
class GameFolderChoice : public ::testing::Test {
 protected:
  void SetUp() override { host::reset_all(); }
  void TearDown() override { host::reset_all(); }

  FolderChoice choose(const std::string& folder) {
    host::set_folder_chooser([folder](WindowRef, const char* title) -> std::optional<std::string> {
      EXPECT_STREQ(title, "Choose the directory containing the IE game.");
      if (folder.empty()) return std::nullopt;
      return folder;
    });
    return choose_game_folder(owner_, game_path_);
  }

  test::TempFolder root_;
  WindowRef owner_ = host::make_control();
  char game_path_[kMaxPath] = "earlier\\";
};

// A path as the checked folder writes it: with backslashes.
std::string backslashed(std::string path) {
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
}

TEST_F(GameFolderChoice, AcceptsOnlyAFolderWhoseTalkTableOpensAndIsOne) {
  const std::string game = backslashed(root_.path() + "Game");
  fs::create_directories(root_.native() / "Game");
  MessageScript script;

  // No dialog.tlk: the message names the tried path; GamePath stays as it was.
  EXPECT_EQ(choose(game), FolderChoice::kNoDialogFile);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].text,
            "The dialog file cannot be located.\nOnly dirs containing a dialog.tlk file are considered valid.");
  EXPECT_EQ(script.shown()[0].caption, game + "\\dialog.tlk");
  EXPECT_EQ(script.shown()[0].style, kMbOk);
  EXPECT_STREQ(game_path_, "earlier\\");

  // A file that is not a talk table is refused, with what is wrong; a talk table of any size is taken.
  for (const std::string& bytes : {std::string(), std::string("TLK V1  \0\0\5\0\0\0\x12\0\0\0", 18), std::string("MZ")}) {
    write_native_file(root_.native() / "Game" / "dialog.tlk", bytes);
    EXPECT_EQ(choose(game), FolderChoice::kNotATalkTable);
    EXPECT_NE(script.shown().back().text.find("is not a talk table"), std::string::npos) << script.shown().back().text;
    EXPECT_EQ(script.shown().back().caption, game + "\\dialog.tlk");
    EXPECT_STREQ(game_path_, "earlier\\");
  }
  write_native_file(root_.native() / "Game" / "dialog.tlk", test::kEmptyTalkTable);
  EXPECT_EQ(choose(game), FolderChoice::kAccepted);
  EXPECT_EQ(std::string(game_path_), game + "\\");

  // Cancelled: nothing shown, nothing changed.
  EXPECT_EQ(choose(""), FolderChoice::kCancelled);
  EXPECT_EQ(std::string(game_path_), game + "\\");

  // A talk table another program holds open is refused, as the check opens it without sharing.
  {
    FileHandle held(open_for_reading((game + "\\dialog.tlk").c_str()));
    ASSERT_TRUE(held.is_open());
    EXPECT_EQ(choose(game), FolderChoice::kNoDialogFile);
  }
  EXPECT_EQ(std::string(game_path_), game + "\\");
  EXPECT_EQ(script.shown().size(), 5u);
  EXPECT_EQ(host::open_file_count(), 0u);

  // However the folder is spelled, it is one GamePath: no ".", "..", doubled or trailing separators.
  fs::create_directories(root_.native() / "Other");
  const std::string root = root_.path();
  for (const std::string& spelled : {root + "Game/", root + "Game\\\\", root + "Other/../Game", root + "./Game/.",
                                     root + "Game/../Game/", root + "/Game", backslashed(root) + "Other\\..\\Game",
                                     root + "Other/../../" + fs::path(root).parent_path().filename().string() + "/Game"}) {
    SCOPED_TRACE(spelled);
    EXPECT_EQ(choose(spelled), FolderChoice::kAccepted);
    EXPECT_EQ(std::string(game_path_), game + "\\");
  }
  EXPECT_EQ(script.shown().size(), 5u);
}

TEST_F(GameFolderChoice, RefusesAPathThatWouldNotLeaveRoomForTheTalkTable) {
  // 248 characters are the most that leave room for "\dialog.tlk" in 260 bytes.
  std::string fits = backslashed(root_.path());
  while (fits.size() < kMaxGameFolderLength) fits += fits.size() % 50 == 49 ? '\\' : 'f';
  fits.resize(kMaxGameFolderLength);
  if (fits.back() == '\\') fits.back() = 'g';
  const std::string native = *host::native_path(fits);
  fs::create_directories(native);
  write_native_file(fs::path(native) / "dialog.tlk", test::kEmptyTalkTable);
  MessageScript script;
  EXPECT_EQ(choose(fits), FolderChoice::kAccepted);
  EXPECT_EQ(std::string(game_path_), fits + "\\");

  const std::string longer = fits + "h";
  fs::create_directories(native + "h");
  write_native_file(fs::path(native + "h") / "dialog.tlk", test::kEmptyTalkTable);
  EXPECT_EQ(choose(longer), FolderChoice::kTooLong);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, longer);
  EXPECT_EQ(script.shown()[0].text,
            "The chosen folder's path is longer than 248 characters.\nChoose a game folder with a shorter path.");
  EXPECT_EQ(std::string(game_path_), fits + "\\") << "the earlier folder stays";
}

// zep install: the same driver on Linux, for a self-extracting file and for a bare archive.
TEST_F(InstallDriver, TheToolInstallsAnInstallerAndABareArchive) {
  const fs::path exe = root_.native() / "Sample.exe";
  write_native_file(exe, installer());
  std::ostringstream out, err;
  int code = tool::run_install({"--no", exe.string(), game_.string()}, out, err);
  EXPECT_EQ(code, tool::kExitOk) << out.str() << err.str();
  EXPECT_NE(out.str().find("not registered"), std::string::npos) << out.str();
  EXPECT_EQ(file("UInst.exe"), installer().substr(kUninstallerOffset, kUninstallerLength));
  EXPECT_EQ(log_text().substr(0, 8), "Sample\r\n");
  EXPECT_TRUE(file("Override\\evilamul.spl") == files_[0].data);

  // Again from the bare archive, every overwrite declined: the uninstaller comes from the tool itself.
  const fs::path zep = root_.native() / "sample.zep";
  write_native_file(zep, test::build_test_archive(patches_, files_));
  fs::remove(game_ / "UInst.exe");
  std::ostringstream out2, err2;
  code = tool::run_install({"--no", zep.string(), game_.string()}, out2, err2);
  if (file("UInst.exe") == "<missing>") GTEST_SKIP() << "this zep was built without the Windows programs";
  EXPECT_EQ(code, tool::kExitOk) << out2.str() << err2.str();
  EXPECT_EQ(file("UInst.exe").substr(0, 2), "MZ");
  EXPECT_EQ(file("UInst.exe").size(), kUninstallerLength);

  // A game folder without a talk table is refused before anything is written.
  std::ostringstream out3, err3;
  const fs::path empty = root_.native() / "Empty";
  fs::create_directories(empty);
  const std::string report = (root_.native() / "report.txt").string();
  EXPECT_EQ(tool::run_install({"--report", report, "--yes", exe.string(), empty.string()}, out3, err3),
            tool::kExitFailed);
  EXPECT_NE(err3.str().find("The dialog file cannot be located."), std::string::npos) << err3.str();
  EXPECT_TRUE(fs::is_empty(empty));
  // The report has every message on a line of its own, caption first, and the outcome last, as the
  // installer's /REPORT= file.
  EXPECT_EQ(read_native_file(report), tool::windows_style(empty) + "\\dialog.tlk: The dialog file cannot be located. "
                                      "Only dirs containing a dialog.tlk file are considered valid.\n"
                                      "Outcome: 2: nothing was installed\n");

  // A failure makes the exit code 1.
  write_native_file(game_ / "Override" / "evlamul3.eff", "");
  fs::remove(game_ / "Override" / "evlamul3.eff");
  fs::create_directories(game_ / "Override" / "evlamul3.eff");  // a folder where a file goes
  std::ostringstream out4, err4;
  EXPECT_EQ(tool::run_install({"--yes", "--report", report, exe.string(), game_.string()}, out4, err4),
            tool::kExitFailed);
  EXPECT_NE(err4.str().find("with errors"), std::string::npos) << err4.str();
  const std::string reported = read_native_file(report);
  EXPECT_NE(reported.find("ZEP SFX: ZEP imported with errors: "), std::string::npos) << reported;
  EXPECT_EQ(reported.substr(reported.size() - 31), "\nOutcome: 1: some steps failed\n") << reported;
  std::ostringstream out6, err6;
  EXPECT_EQ(tool::run_install({"--yes", exe.string(), game_.string(), "--report"}, out6, err6), tool::kExitUsage);
  EXPECT_NE(err6.str().find("--report needs a value"), std::string::npos) << err6.str();
  // A game folder whose talk table is not one is refused before anything is written.
  write_native_file(game_ / "dialog.tlk", "damaged");
  std::ostringstream out5, err5;
  EXPECT_EQ(tool::run_install({"--yes", exe.string(), game_.string()}, out5, err5), tool::kExitFailed);
  EXPECT_NE(err5.str().find("is not a talk table"), std::string::npos) << err5.str();
}

}  // namespace
}  // namespace zep
