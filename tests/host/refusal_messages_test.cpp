// Every way in which a file of the add-on is refused, or does not replace the player's file because
// its original could not be kept, placed through the host layer with the player answering Yes: each
// ends in one message that names the file and says why in words, and the player's file is as it was.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "install/backup.h"
#include "install/install_log.h"
#include "install/placement.h"
#include "platform/host_platform.h"
#include "tests/support/temp_folder.h"

namespace zep {
namespace {

namespace fs = std::filesystem;
using test::read_native_file;
using test::write_native_file;

constexpr char kPlayers[] = "the player's";

struct Shown {
  std::string caption;
  std::string text;
};

// The game folder of one case: "Override\x.itm" is the player's, and the add-on is "Mod".
class Game {
 public:
  Game() : folder_(root_.native() / "Game") {
    write_native_file(folder_ / "Override" / "x.itm", kPlayers);
    write_native_file(folder_ / "Mod.log", "Mod\r\n" + path() + "\r\n");
  }
  std::string path() const { return root_.path() + "Game/"; }
  const fs::path& folder() const { return folder_; }

 private:
  test::TempFolder root_;
  fs::path folder_;
};

struct Case {
  const char* what;
  std::string name;                           // the name placed; "{long}" grows it as the case needs
  std::function<void(const Game&)> prepare;   // what the game folder holds besides
  const char* fail_first;                     // a file operation that fails the first time, or null
  u32 code;                                   // its error code
  bool backup;                                // placed as the installation places, keeping originals
  PlaceResult result;
  const char* caption;
  // What the message says, in order: "{game}" is the game folder's path, "{file}" the file's full path.
  std::vector<std::string> says;
};

std::string filled(std::string text, const Game& game, const std::string& name) {
  for (const auto& [field, value] : {std::pair<std::string, std::string>{"{file}", game.path() + name},
                                     std::pair<std::string, std::string>{"{game}", game.path()}}) {
    for (std::size_t at; (at = text.find(field)) != std::string::npos;) text.replace(at, field.size(), value);
  }
  return text;
}

// Another add-on, "Other", placed "Override\x.itm" and lists it in its log; `with_backup` when it kept
// the game's original too.
std::function<void(const Game&)> other_addon(bool with_backup) {
  return [with_backup](const Game& game) {
    write_native_file(game.folder() / "Other.log", "Other\r\n" + game.path() + "\r\nOverride\\x.itm\r\n");
    if (with_backup) write_native_file(game.folder() / "Other.zep-backup" / "Override" / "x.itm", "the original");
  };
}

// The file name in Override whose full path is `full` bytes long in `game`.
std::string file_of_length(const Game& game, std::size_t full) {
  return std::string(full - game.path().size() - 9, 'n');
}

// The case whose data is read from past the end of its source.
constexpr char kUnreadableData[] = "unreadable data";

struct Placed {
  PlaceResult result;
  std::vector<Shown> shown;
  std::string failed;  // the operation the injected failure hit
};

Placed place(const Game& game, const Case& c, const std::string& name, std::size_t inject_at) {
  Placed placed;
  host::set_message_handler([&placed](WindowRef, const char* text, const char* caption, u32 style) {
    if ((style & 0xF) == kMbYesNo) return kIdYes;
    placed.shown.push_back({caption, text});
    return kIdOk;
  });
  // The installation's game path, alive for as long as the backup that holds on to it.
  const std::string game_path = game.path();
  InstallLog log;
  EXPECT_EQ(log.read_existing(game_path.c_str(), "Mod"), ExistingLog::kContinued);
  Backup backup(game_path.c_str(), "Mod", &log);
  EXPECT_TRUE(backup.prepare(nullptr));
  const PlaceRules rules = {"Mod", c.backup ? &backup : nullptr};
  // The data comes from a file, as the installation's does; a case that reads past its end cannot read it.
  write_native_file(game.folder().parent_path() / "data", "the add-on's");
  FileHandle source(open_for_reading((game.folder().parent_path() / "data").c_str()));
  const PlaceData data = {nullptr, source.get(), std::string(c.what) == kUnreadableData ? 100u : 0u, 12};
  if (c.fail_first != nullptr) host::fail_nth_file_operation(inject_at, c.code);
  FileHandle file;
  placed.result = place_file(game_path.c_str(), name.c_str(), data, rules, nullptr, &file);
  placed.failed = host::injected_failure();
  host::fail_nth_file_operation(0, 0);
  host::reset_message_handler();
  return placed;
}

TEST(RefusalMessages, EachNamesTheFileAndSaysWhyAndTheFileIsAsItWas) {
  const std::vector<Case> cases = {
      // Names that are refused before anything is looked at.
      {"empty name", "", nullptr, nullptr, 0, true, PlaceResult::kRefused, "ZEP refused file",
       {"The add-on's file\n\nis not installed: the name is empty."}},
      {"too long a name", std::string(257, 'n'), nullptr, nullptr, 0, true, PlaceResult::kRefused,
       "ZEP refused file", {std::string(257, 'n'), "\nis not installed: the name is longer than 256 bytes."}},
      {"a byte outside ASCII", "Override\\caf\xe9.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused,
       "ZEP refused file", {"Override\\caf\xe9.itm", "is not installed: the name holds a control character"}},
      {"a drive", "C:x.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused, "ZEP refused file",
       {"C:x.itm", "(a drive such as C: included)"}},
      {"from the root", "\\x.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused, "ZEP refused file",
       {"\\x.itm", "starts with a backslash and would leave the game folder"}},
      {"an empty part", "Override\\\\x.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused, "ZEP refused file",
       {"Override\\\\x.itm", "holds an empty folder part"}},
      {"leaving the game folder", "..\\x.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused,
       "ZEP refused file", {"..\\x.itm", "a . or .. part of the name would leave the game folder"}},
      {"a part ending in a dot", "Override.\\x.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused,
       "ZEP refused file", {"Override.\\x.itm", "ends in a dot or a blank"}},
      {"a device name", "Override\\NUL.itm", nullptr, nullptr, 0, true, PlaceResult::kRefused, "ZEP refused file",
       {"Override\\NUL.itm", "is a device name"}},
      {"the installer's own name", "mod.zep-backup\\Override\\x.itm", nullptr, nullptr, 0, true,
       PlaceResult::kRefused, "ZEP refused file",
       {"mod.zep-backup\\Override\\x.itm", "the installer keeps this name, or one it may be short for, for itself"}},
      // Names that no path can hold in this game folder, or that pass through a link.
      {"too long a path", "{long}260", nullptr, nullptr, 0, true, PlaceResult::kFailed, "Write error",
       {"{file}", "is not installed: its path would be longer than the 259 characters Windows takes",
        "Choose a game folder with a shorter path."}},
      {"through a link", "Linked\\x.itm",
       [](const Game& game) { fs::create_directory_symlink(game.folder().parent_path(), game.folder() / "Linked"); },
       nullptr, 0, true, PlaceResult::kRefused, "ZEP refused link",
       {"passes through a link; links are not followed:\n{file}", "It is not installed."}},
      // Failures of the writing itself.
      {"the first create failing", "Override\\new.itm", nullptr, "create_new", 5, true, PlaceResult::kFailed,
       "Write error", {}},  // the error-number message: the number alone
      {"a file that cannot be replaced", "Override\\x.itm", nullptr, "create_or_replace", 32, false,
       PlaceResult::kFailed, "Write error",
       {"{file}\ncould not be written: The process cannot access the file because it is being used by another "
        "process (error 32).\nIt is not installed."}},
      {"a full disk", "Override\\new.itm", nullptr, "write_file", 112, true, PlaceResult::kFailed, "Write error",
       {"{file}\ncould not be written: There is not enough space on the disk (error 112)."}},
      {"a folder that cannot be made", "New\\new.itm", nullptr, "make_folder", 5, true, PlaceResult::kFailed,
       "Write error", {"{file}\ncould not be written: Access is denied (error 5).\nIt is not installed."}},
      {"a file that cannot be replaced once its original is kept", "Override\\x.itm", nullptr, "create_or_replace",
       32, true, PlaceResult::kFailed, "Write error",
       {"{file}\ncould not be written: The process cannot access the file because it is being used by another "
        "process (error 32).\nIt is not installed."}},
      {kUnreadableData, "Override\\new.itm", nullptr, nullptr, 0, true, PlaceResult::kFailed, "ZEP read Error",
       {"{file}\ncould not be written, as this installer could not be read: Reached the end of the file (error 38)."}},
      // The player's file is not replaced when its original cannot be kept.
      {"a backup path too long", "{long}250",
       [](const Game& game) { write_native_file(game.folder() / "Override" / file_of_length(game, 250), kPlayers); },
       nullptr,
       0, true, PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: for its backup, its path would be longer than the 259 characters Windows takes.",
        "Choose a game folder with a shorter path."}},
      {"a backup through a link", "Override\\x.itm",
       [](const Game& game) {
         fs::create_directories(game.folder() / "Mod.zep-backup");
         fs::create_directory_symlink(game.folder().parent_path(), game.folder() / "Mod.zep-backup" / "Override");
       },
       nullptr, 0, true, PlaceResult::kFailed, "ZEP refused link",
       {"{file}\nwas not replaced: the path of its backup passes through a link:\n"
        "{game}Mod.zep-backup\\Override\\x.itm"}},
      {"an earlier backup", "Override\\x.itm",
       [](const Game& game) { write_native_file(game.folder() / "Mod.zep-backup" / "Override" / "x.itm", "older"); },
       nullptr, 0, true, PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: a backup of it that this add-on's log does not account for is in the way:\n"
        "{game}Mod.zep-backup\\Override\\x.itm\n",
        "It may be the game's own file: put it back in the file's place, or delete it if it is not"}},
      {"a file marked read-only", "Override\\x.itm",
       [](const Game& game) {
         fs::permissions(game.folder() / "Override" / "x.itm", fs::perms::owner_write, fs::perm_options::remove);
       },
       nullptr, 0, true, PlaceResult::kFailed, "Write error",
       {"{file}\ncould not be written: Access is denied (error 5).\nIt is not installed."}},
      {"a backup's folder that cannot be made", "Override\\x.itm", nullptr, "make_folder", 5, true,
       PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: copying it to\n{game}Mod.zep-backup\\Override\\x.itm\nfailed: Access is denied "
        "(error 5)."}},
      {"a backup that cannot be made", "Override\\x.itm", nullptr, "copy_file", 112, true, PlaceResult::kFailed,
       "ZEP backup error",
       {"{file}\nwas not replaced: copying it to\n{game}Mod.zep-backup\\Override\\x.itm\nfailed: There is not enough "
        "space on the disk (error 112)."}},
      // Another add-on's file, taken over with its original.
      {"both add-ons keeping a backup", "Override\\x.itm",
       [](const Game& game) {
         other_addon(true)(game);
         write_native_file(game.folder() / "Mod.zep-backup" / "Override" / "x.itm", "older");
       },
       nullptr, 0, true, PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: two backups of it are kept, as\n{game}Mod.zep-backup\\Override\\x.itm\nand as\n"
        "{game}Other.zep-backup\\Override\\x.itm\nKeep both and their folders: either may be the game's own file."}},
      {"the other add-on's backup that cannot be moved", "Override\\x.itm", other_addon(true), "make_folder", 5,
       true, PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: the add-on Other's backup of it,\n{game}Other.zep-backup\\Override\\x.itm,\ncould "
        "not be moved to this one's: Access is denied (error 5).",
        "Keep it"}},
      {"the other add-on's backup through a link", "Override\\x.itm",
       [](const Game& game) {
         other_addon(false)(game);
         fs::create_directory_symlink(game.folder().parent_path(), game.folder() / "Other.zep-backup");
       },
       nullptr, 0, true, PlaceResult::kFailed, "ZEP refused link",
       {"{file}\nwas not replaced: the path of its backup passes through a link:\n"
        "{game}Other.zep-backup\\Override\\x.itm"}},
      {"the other add-on's log that cannot be replaced", "Override\\x.itm", other_addon(false), "replace_file", 5,
       true, PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: the log of the add-on Other, which placed it, could not be changed:\n"
        "{game}Other.log\nAccess is denied (error 5)."}},
      {"the other add-on's log that cannot be changed", "Override\\x.itm", other_addon(false), "create_or_replace",
       5, true, PlaceResult::kFailed, "ZEP backup error",
       {"{file}\nwas not replaced: the log of the add-on Other, which placed it, could not be changed:\n"
        "{game}Other.log\nAccess is denied (error 5)."}},
      {"the other add-on's log that cannot be changed, its backup kept", "Override\\x.itm", other_addon(true),
       "create_or_replace", 5, true, PlaceResult::kFailed, "ZEP backup error",
       {"{game}Other.log\nAccess is denied (error 5)."}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    // An injected failure is made the first time its operation is, whichever of the operations that is.
    bool checked = false;
    for (std::size_t at = 1; at < 40 && !checked; ++at) {
      Game game;
      if (c.prepare) c.prepare(game);
      std::string name = c.name;
      if (name.rfind("{long}", 0) == 0) name = "Override\\" + file_of_length(game, std::stoul(name.substr(6)));
      host::reset_all();
      const fs::path other_log = game.folder() / "Other.log";
      const fs::path other_backup = game.folder() / "Other.zep-backup" / "Override" / "x.itm";
      const std::string other_text = fs::exists(other_log) ? read_native_file(other_log) : "";
      const bool had_other_backup = fs::is_regular_file(other_backup);
      const Placed placed = place(game, c, name, at);
      if (c.fail_first != nullptr && placed.failed.rfind(std::string(c.fail_first) + " ", 0) != 0) {
        ASSERT_FALSE(placed.failed.empty()) << "the case never makes a " << c.fail_first;
        continue;
      }
      EXPECT_EQ(placed.result, c.result);
      ASSERT_EQ(placed.shown.size(), 1u);
      EXPECT_EQ(placed.shown[0].caption, c.caption);
      const std::string& text = placed.shown[0].text;
      if (c.says.empty()) {
        EXPECT_EQ(text, std::to_string(c.code)) << "the error-number message";
      }
      std::size_t from = 0;
      for (const std::string& part : c.says) {
        const std::size_t at_part = text.find(filled(part, game, name), from);
        EXPECT_NE(at_part, std::string::npos) << "\"" << filled(part, game, name) << "\" in\n" << text;
        if (at_part != std::string::npos) from = at_part + 1;
      }
      EXPECT_EQ(read_native_file(game.folder() / "Override" / "x.itm"), kPlayers) << "the player's file stays";
      // A take-over that did not complete changed nothing of the other add-on's.
      if (!other_text.empty()) {
        EXPECT_EQ(read_native_file(other_log), other_text);
      }
      if (had_other_backup) {
        EXPECT_EQ(read_native_file(other_backup), "the original");
      }
      if (c.prepare == nullptr) {
        EXPECT_FALSE(fs::exists(game.folder() / "Mod.zep-backup" / "Override" / "x.itm")) << "no backup of it stays";
      }
      EXPECT_EQ(host::open_file_count(), 0u);
      checked = true;
    }
    EXPECT_TRUE(checked) << "the case was placed";
  }
  host::reset_all();
}

}  // namespace
}  // namespace zep
