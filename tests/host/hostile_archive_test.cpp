// Archives built to do harm or broken in transit, put through the installer's listing and the whole
// installation (zep install): each is refused or handled with a clear message, and the whole
// temporary tree, listed before and after, shows that nothing was written outside the game folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <sstream>

#include "archive/format.h"
#include "archive/listing.h"
#include "platform/buffers.h"
#include "platform/host_platform.h"
#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/commands.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::build_self_extracting;
using test::build_test_archive;
using test::put_u32_at;
using test::read_native_file;
using test::TestEntry;
using test::write_native_file;

// Every entry below `folder` with its size (or "/" for a folder), in order.
std::vector<std::string> tree(const fs::path& folder) {
  std::vector<std::string> entries;
  for (const auto& item : fs::recursive_directory_iterator(folder)) {
    std::string entry = fs::relative(item.path(), folder).string();
    entry += item.is_directory() ? "/" : " " + std::to_string(item.file_size());
    entries.push_back(entry);
  }
  std::sort(entries.begin(), entries.end());
  return entries;
}

struct Outcome {
  bool listed;                // the listing accepted the archive
  std::string listing_message;
  int install_code;           // zep install's exit code
  std::string install_output; // what it printed, messages included
};

class HostileArchive : public ::testing::Test {
 protected:
  void SetUp() override {
    host::reset_all();
    before_ = fs::current_path();
    fs::create_directories(root_.native() / "Outside" / "Deeper" / "Game");
    game_ = root_.native() / "Outside" / "Deeper" / "Game";
    write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
    fs::current_path(root_.native() / "Outside");
  }
  void TearDown() override {
    fs::current_path(before_);
    host::reset_all();
  }

  // Lists and installs `installer`, with every change confined to the test's folder; `answer` answers
  // "File already exists. Overwrite?".
  Outcome run(const std::string& installer, const char* answer = "--no") {
    write_native_file(root_.native() / "Outside" / "Hostile.exe", installer);
    Outcome outcome;
    std::string message;
    host::set_message_handler([&message](WindowRef, const char* text, const char* caption, u32) {
      message += std::string(caption) + ": " + text + "\n";
      return kIdNo;
    });
    FileHandle file(open_for_reading("Hostile.exe"));
    EXPECT_TRUE(file.is_open());
    WindowRef list = host::make_control();
    ArchiveCounts counts = {};
    list_contents(file.get(), kStubLayout.archive_offset, list, nullptr, &counts);
    file.close();
    outcome.listed = counts.usable;
    outcome.listing_message = message;

    host::confine_changes_to(root_.path());
    std::ostringstream out, err;
    outcome.install_code = tool::run_install({answer, "Hostile.exe", game_.string()}, out, err);
    outcome.install_output = out.str() + err.str();
    EXPECT_TRUE(host::confinement_escapes().empty()) << outcome.install_output;
    host::confine_changes_to("");
    return outcome;
  }

  std::string installer(const std::vector<TestEntry>& patches, const std::vector<TestEntry>& files) {
    return build_self_extracting("MZ stub", "MZ uninstaller", build_test_archive(patches, files));
  }

  test::TempFolder root_;
  fs::path before_;
  fs::path game_;
};

TEST_F(HostileArchive, NamesThatWouldLeaveTheGameFolderAreRefusedEachAndTheRestInstalled) {
  const std::vector<std::string> names = {
      "..\\Deeper.txt", "..\\..\\Outside.txt", "Override\\..\\..\\x.txt", "..", ".\\..\\x", "Override\\.\\x",
      "\\absolute.txt", "\\\\server\\share\\x", "C:\\Windows\\x.dll", "C:x.txt", "x.txt:stream", "CON", "nul.txt",
      "Override\\NUL", "aux.dat", "COM1", "lpt9.x", "prn", "COM0", "lpt0.txt", "COM\xb9", "LPT\xb2.dat",
      "Override\\caf\xe9.txt", "Override/../../x", "/absolute.txt", "...", "x.", "x ", "Override\\\\x",
      "Override\\", "", std::string(257, 'n'), std::string(300, 'n'), std::string("a\0b", 3), "tab\tname",
      "quote\"name", "star*.txt"};
  for (const std::string& name : names) {
    SCOPED_TRACE("name \"" + name + "\"");
    fs::remove_all(game_);
    fs::create_directories(game_);
    write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
    const std::vector<std::string> before = tree(root_.native());
    // Flagged to be opened after installation: a refused name is never opened either.
    Outcome outcome = run(installer({}, {{"Override\\fine.txt", "fine"}, {name, "harm", 1}}));
    EXPECT_TRUE(outcome.listed) << outcome.listing_message;
    EXPECT_EQ(outcome.install_code, tool::kExitFailed);
    // The message names the file and says why: each of these names is refused for a reason of its own.
    EXPECT_NE(outcome.install_output.find("ZEP refused file: The add-on's file\n"), std::string::npos)
        << outcome.install_output;
    EXPECT_NE(outcome.install_output.find("\nis not installed: "), std::string::npos) << outcome.install_output;
    EXPECT_NE(outcome.install_output.find("with errors: 1 step"), std::string::npos) << outcome.install_output;
    EXPECT_EQ(outcome.install_output.find("Opened after installation"), std::string::npos) << outcome.install_output;
    EXPECT_EQ(read_native_file(game_ / "Override" / "fine.txt"), "fine");
    const std::string log = read_native_file(game_ / "Hostile.log");
    EXPECT_EQ(log.substr(log.size() - 19), "Override\\fine.txt\r\n") << "the refused file is not logged";
    // Nothing outside the game folder: the tree differs only inside it and by the installer itself.
    std::vector<std::string> now;
    for (const std::string& item : tree(root_.native())) {
      if (item.rfind("Outside/Deeper/Game", 0) != 0 && item.rfind("Outside/Hostile.exe", 0) != 0) now.push_back(item);
    }
    std::vector<std::string> was;
    for (const std::string& item : before) {
      if (item.rfind("Outside/Deeper/Game", 0) != 0 && item.rfind("Outside/Hostile.exe", 0) != 0) was.push_back(item);
    }
    EXPECT_EQ(now, was);
  }
}

TEST_F(HostileArchive, AForwardSlashSeparatesFoldersAsOnWindows) {
  Outcome outcome = run(installer({}, {{"Override/Deeper/fine.txt", "fine"}}));
  EXPECT_EQ(outcome.install_code, tool::kExitOk) << outcome.install_output;
  EXPECT_EQ(read_native_file(game_ / "Override" / "Deeper" / "fine.txt"), "fine");
  const std::string log = read_native_file(game_ / "Hostile.log");
  EXPECT_EQ(log.substr(log.size() - 26), "Override\\Deeper\\fine.txt\r\n") << "logged with backslashes";
}

TEST_F(HostileArchive, AStringPatchResourceThatWouldLeaveIsRefusedAndTheRestInstalled) {
  // An SPK3 naming its resource "..\..\evil.itm": refused as a whole, nothing logged or placed for it.
  std::string spk(60, '\0');
  spk.replace(0, 4, "SPK3");
  spk.replace(8, 12, std::string("..\\..\\e.itm\0", 12));
  put_u32_at(spk, 20, 44);  // resource at 44, 16 bytes
  put_u32_at(spk, 24, 16);
  put_u32_at(spk, 40, 60);  // no entries
  Outcome outcome = run(installer({{"EVIL.spk", spk}}, {{"Override\\fine.txt", "fine"}}));
  EXPECT_TRUE(outcome.listed);
  EXPECT_EQ(outcome.install_code, tool::kExitFailed);
  EXPECT_NE(outcome.install_output.find("ZEP refused file: The add-on's file\noverride\\..\\..\\e.itm\nis not installed: "
                                       "a . or .. part of the name would leave the game folder."),
            std::string::npos)
      << outcome.install_output;
  EXPECT_NE(outcome.install_output.find("with errors: 1 step"), std::string::npos) << outcome.install_output;
  EXPECT_FALSE(fs::exists(root_.native() / "e.itm"));
  EXPECT_FALSE(fs::exists(root_.native() / "Outside" / "e.itm"));
  EXPECT_EQ(read_native_file(game_ / "Override" / "fine.txt"), "fine");
  const std::string log = read_native_file(game_ / "Hostile.log");
  EXPECT_EQ(log.find("e.itm"), std::string::npos) << log;
}

TEST_F(HostileArchive, TheInstallersOwnFilesAreRefusedEachAndTheRestInstalled) {
  const std::string table = read_native_file(game_ / "dialog.tlk");
  Outcome outcome = run(installer({}, {{"DIALOG.TLK", "not the game's table"},
                                       {"dialogf.tlk", "nor this"},
                                       {"UInst.exe", "MZ another uninstaller"},
                                       {"Hostile.log", "Hostile\r\nC:\\\r\n..\\..\\x\r\n"},
                                       {"hostile.zep-backup\\Override\\fine.txt", "a false original"},
                                       // Another add-on's log and backup, by name and by short name.
                                       {"Beta.log", "Beta\r\nC:\\\r\ndialog.tlk\r\nchitin.key\r\n"},
                                       {"Beta.zep-backup\\Override\\x.itm", "a false original"},
                                       {"BETA~1.ZEP\\Override\\x.itm", "a false original"},
                                       {"Beta.log.new", "Beta\r\n"},
                                       {"Override\\fine.txt", "fine"}}));
  EXPECT_TRUE(outcome.listed);
  EXPECT_EQ(outcome.install_code, tool::kExitFailed);
  EXPECT_NE(outcome.install_output.find("with errors: 9 steps"), std::string::npos) << outcome.install_output;
  for (const char* name : {"DIALOG.TLK", "Beta.log", "Beta.zep-backup\\Override\\x.itm", "BETA~1.ZEP\\Override\\x.itm",
                           "Beta.log.new"}) {
    EXPECT_NE(outcome.install_output.find(std::string(name) + "\nis not installed: the installer keeps this name"),
              std::string::npos)
        << name << "\n" << outcome.install_output;
  }
  EXPECT_FALSE(fs::exists(game_ / "Beta.log"));
  EXPECT_FALSE(fs::exists(game_ / "Beta.log.new"));
  EXPECT_FALSE(fs::exists(game_ / "Beta.zep-backup"));
  EXPECT_FALSE(fs::exists(game_ / "BETA~1.ZEP"));
  EXPECT_EQ(read_native_file(game_ / "dialog.tlk"), table);
  EXPECT_FALSE(fs::exists(game_ / "dialogf.tlk"));
  EXPECT_NE(read_native_file(game_ / "UInst.exe"), "MZ another uninstaller");
  EXPECT_FALSE(fs::exists(game_ / "hostile.zep-backup"));
  EXPECT_EQ(read_native_file(game_ / "Override" / "fine.txt"), "fine");
  EXPECT_EQ(read_native_file(game_ / "Hostile.log"),
            "Hostile\r\n" + tool::windows_style(game_) + "\\\r\nOverride\\fine.txt\r\n");
}

// A link planted in the game folder (a symbolic link here, a junction or symbolic link on Windows)
// would have the installer, which runs as administrator, write wherever it points. None is followed:
// a file whose path passes through one is refused and counted; a link where the installer keeps a
// file of its own stops the installation before it starts.
TEST_F(HostileArchive, LinksInTheGameFolderAreNeverFollowed) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> links;  // in the game folder, to a path below Elsewhere
    std::vector<TestEntry> files;
    bool started;  // false when the installation stops before its first change
  };
  const std::vector<Case> cases = {
      {"a folder of the name", {{"Override", ""}}, {{"override\\x.itm", "harm"}}, true},
      {"a deeper folder", {{"Override/Deep", ""}}, {{"Override\\DEEP\\x.itm", "harm"}}, true},
      {"the file itself", {{"readme.txt", "victim.txt"}}, {{"Readme.txt", "harm"}}, true},
      {"a folder of the backup", {{"Hostile.zep-backup/Override", ""}}, {{"Override\\kept.itm", "harm"}}, true},
      {"the uninstaller", {{"UInst.exe", "victim.txt"}}, {}, false},
      {"the log, pointing to nothing yet", {{"hostile.log", "new.txt"}}, {}, false},
      {"the backup folder", {{"Hostile.zep-backup", ""}}, {}, false},
      {"the talk table's temporary file", {{"dialog.tlk.new", "victim.txt"}}, {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(game_);
    const fs::path elsewhere = root_.native() / "Outside" / "Elsewhere";
    fs::remove_all(elsewhere);
    fs::create_directories(game_ / "Override");
    fs::create_directories(elsewhere / "Deep");
    write_native_file(game_ / "dialog.tlk", test::kEmptyTalkTable);
    write_native_file(game_ / "Override" / "kept.itm", "the player's");
    write_native_file(elsewhere / "victim.txt", "precious");
    for (const auto& [name, target] : c.links) {
      fs::create_directories((game_ / name).parent_path());
      fs::remove_all(game_ / name);
      fs::create_symlink(target.empty() ? elsewhere : elsewhere / target, game_ / name);
    }
    const std::vector<std::string> before = tree(elsewhere);
    std::vector<TestEntry> files = c.files;
    files.push_back({"fine.txt", "fine"});
    Outcome outcome = run(installer({}, files), "--yes");
    EXPECT_EQ(outcome.install_code, tool::kExitFailed);
    EXPECT_NE(outcome.install_output.find("ZEP refused link: "), std::string::npos) << outcome.install_output;
    EXPECT_NE(outcome.install_output.find("passes through a link"), std::string::npos) << outcome.install_output;
    EXPECT_EQ(tree(elsewhere), before) << "nothing written through the link";
    EXPECT_EQ(read_native_file(elsewhere / "victim.txt"), "precious");
    if (c.started) {
      EXPECT_NE(outcome.install_output.find("with errors: 1 step"), std::string::npos) << outcome.install_output;
      EXPECT_EQ(read_native_file(game_ / "fine.txt"), "fine");
      if (!fs::is_symlink(game_ / "Override")) {
        EXPECT_EQ(read_native_file(game_ / "Override" / "kept.itm"), "the player's");
      }
      EXPECT_EQ(read_native_file(game_ / "Hostile.log"), "Hostile\r\n" + tool::windows_style(game_) + "\\\r\nfine.txt\r\n")
          << "the refused file is not logged";
    } else {
      EXPECT_NE(outcome.install_output.find("Nothing was installed."), std::string::npos) << outcome.install_output;
      EXPECT_FALSE(fs::exists(game_ / "fine.txt"));
    }
  }
}

TEST_F(HostileArchive, DuplicateNamesAreAskedAboutLikeAnyExistingFile) {
  // The second of two names that differ only in letter case is the same file on Windows.
  Outcome outcome = run(installer({}, {{"Override\\twice.txt", "first"}, {"override\\TWICE.txt", "second"}}));
  EXPECT_TRUE(outcome.listed);
  EXPECT_EQ(outcome.install_code, tool::kExitOk) << outcome.install_output;
  EXPECT_NE(outcome.install_output.find("File already exists. Overwrite?"), std::string::npos);
  EXPECT_EQ(read_native_file(game_ / "Override" / "twice.txt"), "first") << "the answer was No";
}

TEST_F(HostileArchive, CountsAndLengthsThatTheFileCannotHoldAreRefused) {
  const std::string sound = installer({}, {{"Override\\a.txt", std::string(5000, 'a')}, {"Override\\b.txt", "b"}});
  const std::vector<std::string> before = tree(root_.native());
  struct Damage {
    const char* what;
    std::string installer;
    const char* says;
  };
  std::vector<Damage> damages;
  // Huge counts in a tiny archive.
  std::string counts = build_self_extracting("MZ stub", "MZ uninstaller", build_test_archive({}, {}));
  put_u32_at(counts, kArchiveOffset + 8, 0xFFFFFFFFu);
  damages.push_back({"huge string patch count", counts, "list of files runs past"});
  put_u32_at(counts, kArchiveOffset + 8, 0x7FFFFFFFu);
  put_u32_at(counts, kArchiveOffset + 12, 0x7FFFFFFFu);
  damages.push_back({"huge counts that add up", counts, "list of files runs past"});
  // A data region and a name region that reach past the end, with lengths chosen to wrap 32 bits.
  std::string data = sound;
  put_u32_at(data, kArchiveOffset + kEntryTableOffset + 16, 0xFFFFFFF0u);
  damages.push_back({"data length wrapping", data, "data of entry 1"});
  std::string name = sound;
  put_u32_at(name, kArchiveOffset + kEntryTableOffset, 0xFFFFFFFEu);
  damages.push_back({"name offset past the end", name, "name of entry 1"});
  // The download cut short: in the stub, in the uninstaller, in the header, in the table, in the data.
  for (std::size_t length : {std::size_t{100}, std::size_t{37000}, std::size_t{kArchiveOffset + 10},
                             std::size_t{kArchiveOffset + 30}, sound.size() - 2000, sound.size() - 1}) {
    damages.push_back({"cut short", sound.substr(0, length), "damaged"});
  }
  for (const Damage& damage : damages) {
    SCOPED_TRACE(std::string(damage.what) + ", " + std::to_string(damage.installer.size()) + " bytes");
    Outcome outcome = run(damage.installer);
    EXPECT_FALSE(outcome.listed);
    EXPECT_NE(outcome.listing_message.find(damage.says), std::string::npos) << outcome.listing_message;
    EXPECT_EQ(outcome.install_code, tool::kExitFailed);
    std::vector<std::string> now = tree(root_.native());
    now.erase(std::remove_if(now.begin(), now.end(),
                             [](const std::string& entry) { return entry.rfind("Outside/Hostile.exe ", 0) == 0; }),
              now.end());
    EXPECT_EQ(now, before);
  }
}

}  // namespace
}  // namespace zep
