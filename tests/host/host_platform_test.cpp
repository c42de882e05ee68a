// What only the Linux platform layer does: it maps Windows-style names onto a case-sensitive file
// system, emulates read-only files, and keeps the registry, the shell and the controls in memory
// where the hooks of platform/host_platform.h can reach them.
#include "platform/host_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep::test {
namespace {

namespace fs = std::filesystem;

bool write_whole(const std::string& path, const std::string& bytes) {
  FileRef file = create_or_replace(path.c_str());
  if (file == nullptr) return false;
  bool written = write_file(file, bytes.data(), static_cast<u32>(bytes.size()));
  return close_file(file) && written;
}

// The names in a native folder, sorted.
std::vector<std::string> listing(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

TEST(HostPaths, NamesAreMatchedToWhatExistsWithoutRegardToCase) {
  TempFolder folder;
  fs::create_directory(folder.native() / "override");
  ASSERT_TRUE(write_whole(folder / "Override\\x.spl", "spell"));
  EXPECT_EQ(listing(folder.native()), std::vector<std::string>{"override"}) << "no second folder";
  EXPECT_EQ(read_native_file(folder.native() / "override" / "x.spl"), "spell");

  // An existing file is reached under any spelling; a new name is created as spelled.
  ASSERT_TRUE(write_whole(folder / "OVERRIDE\\X.SPL", "again"));
  EXPECT_EQ(listing(folder.native() / "override"), std::vector<std::string>{"x.spl"});
  EXPECT_EQ(read_native_file(folder.native() / "override" / "x.spl"), "again");
  ASSERT_TRUE(make_folder((folder / "override\\NewSub").c_str()));
  ASSERT_TRUE(write_whole(folder / "Override\\newsub\\Fresh.TXT", "new"));
  EXPECT_EQ(read_native_file(folder.native() / "override" / "NewSub" / "Fresh.TXT"), "new");
  EXPECT_EQ(host::native_path(folder / "OverRide\\NEWSUB\\fresh.txt"),
            (folder.native() / "override" / "NewSub" / "Fresh.TXT").string());

  // Below a component that does not exist nothing is matched: the rest is kept as spelled.
  EXPECT_EQ(host::native_path(folder / "Missing\\OVERRIDE"),
            (folder.native() / "Missing" / "OVERRIDE").string());
}

TEST(HostPaths, BackslashesSeparateAndBadNamesAreRefused) {
  TempFolder folder;
  std::string base = folder.native().string();
  EXPECT_EQ(host::native_path(folder / "a\\b\\c.txt"), base + "/a/b/c.txt");
  EXPECT_EQ(host::native_path(folder / "a\\\\.\\b\\..\\c.txt"), base + "/a/c.txt");
  EXPECT_EQ(host::native_path("\\"), "/");
  EXPECT_EQ(host::native_path("relative\\name"), "relative/name");
  EXPECT_EQ(host::native_path("C:\\game"), std::nullopt) << "a drive letter has no host path";
  EXPECT_EQ(host::native_path(""), std::nullopt);

  EXPECT_EQ(open_for_reading((folder / "what?.txt").c_str()), nullptr);
  EXPECT_EQ(last_error(), win_error::kInvalidName);
  std::string too_long = folder / std::string(kMaxPath, 'n');
  EXPECT_EQ(create_or_replace(too_long.c_str()), nullptr);
  EXPECT_EQ(last_error(), win_error::kFilenameTooLong);
  EXPECT_TRUE(listing(folder.native()).empty());
}

TEST(HostFiles, ReadOnlyFilesAndOpenCounts) {
  TempFolder folder;
  ASSERT_EQ(host::open_file_count(), 0u);
  ASSERT_TRUE(write_whole(folder / "locked.txt", "kept"));
  fs::permissions(folder.native() / "locked.txt", fs::perms::owner_read | fs::perms::group_read);
  // A file its owner may not write is read-only, whoever runs the test (root included).
  EXPECT_EQ(create_or_replace((folder / "locked.txt").c_str()), nullptr);
  EXPECT_EQ(last_error(), win_error::kAccessDenied);
  EXPECT_FALSE(delete_file((folder / "locked.txt").c_str()));
  EXPECT_EQ(last_error(), win_error::kAccessDenied);
  ASSERT_TRUE(write_whole(folder / "new.tmp", "new"));
  EXPECT_FALSE(replace_file((folder / "new.tmp").c_str(), (folder / "locked.txt").c_str()));
  EXPECT_EQ(last_error(), win_error::kAccessDenied);
  EXPECT_EQ(read_native_file(folder.native() / "locked.txt"), "kept");

  FileRef first = open_for_reading((folder / "locked.txt").c_str());
  FileRef second = open_for_reading((folder / "new.tmp").c_str());
  ASSERT_NE(first, nullptr);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(host::open_file_count(), 2u);
  FoundName found;
  SearchRef search = find_first((folder / "*.*").c_str(), &found);
  EXPECT_EQ(host::open_search_count(), 1u);
  find_close(search);
  close_file(first);
  EXPECT_EQ(host::open_file_count(), 1u);
  close_file(second);
  EXPECT_EQ(host::open_file_count(), 0u);
  EXPECT_EQ(host::open_search_count(), 0u);
}

TEST(HostRegistry, KeysAndValuesIgnoreCaseAndWritesCanBeDenied) {
  host::reset_all();
  KeyRef key = nullptr;
  ASSERT_EQ(open_or_create_key(RegistryRoot::kCurrentUser, "Software\\Zep\\Key", &key), 0);
  EXPECT_EQ(set_string_value(key, "DisplayName", "The add-on"), 0);
  EXPECT_EQ(host::open_key_count(), 1u);
  close_key(key);
  EXPECT_EQ(host::open_key_count(), 0u);
  EXPECT_EQ(host::registry_value(RegistryRoot::kCurrentUser, "SOFTWARE\\zep\\KEY", "displayname"),
            "The add-on");
  EXPECT_EQ(host::registry_value(RegistryRoot::kLocalMachine, "Software\\Zep\\Key", "DisplayName"),
            std::nullopt) << "each root has its own keys";
  ASSERT_EQ(open_or_create_key(RegistryRoot::kCurrentUser, "software\\ZEP\\key\\Sub", &key), 0);
  close_key(key);
  EXPECT_EQ(host::registry_keys(),
            (std::vector<std::string>{"HKEY_CURRENT_USER\\Software", "HKEY_CURRENT_USER\\Software\\Zep",
                                      "HKEY_CURRENT_USER\\Software\\Zep\\Key",
                                      "HKEY_CURRENT_USER\\Software\\Zep\\Key\\Sub"}))
      << "spelled as first created";

  // A denied root still opens and reads what exists, but every write is refused with 5.
  host::set_registry_value(RegistryRoot::kLocalMachine, "Software\\Uninstall\\Zep", "Name", "x");
  host::deny_registry_writes(RegistryRoot::kLocalMachine, true);
  const i32 denied = static_cast<i32>(win_error::kAccessDenied);
  EXPECT_EQ(open_or_create_key(RegistryRoot::kLocalMachine, "Software\\New", &key), denied);
  EXPECT_EQ(key, nullptr);
  ASSERT_EQ(open_or_create_key(RegistryRoot::kLocalMachine, "Software\\Uninstall\\Zep", &key), 0);
  char buffer[8];
  EXPECT_EQ(query_string_value(key, "name", buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "x");
  EXPECT_EQ(set_string_value(key, "Name", "y"), denied);
  EXPECT_EQ(delete_key(RegistryRoot::kLocalMachine, "Software\\Uninstall\\Zep"), denied);
  close_key(key);
  EXPECT_EQ(open_or_create_key(RegistryRoot::kCurrentUser, "Software\\Other", &key), 0)
      << "the other root is still writable";
  close_key(key);
  host::deny_registry_writes(RegistryRoot::kLocalMachine, false);
  EXPECT_EQ(delete_key(RegistryRoot::kLocalMachine, "SOFTWARE\\UNINSTALL\\ZEP"), 0);
  EXPECT_FALSE(host::registry_key_exists(RegistryRoot::kLocalMachine, "Software\\Uninstall\\Zep"));
  EXPECT_EQ(host::open_key_count(), 0u);
  host::reset_all();
  EXPECT_TRUE(host::registry_keys().empty());
}

TEST(HostShell, LinksNeedComAndOpensAreRecorded) {
  host::reset_all();
  TempFolder folder;
  const std::size_t files_before = host::open_file_count();
  std::string link = folder / "Game.lnk";
  ShellLinkResult result = make_shell_link("C:\\Game\\UInst.exe", "-remove", "Remove it", link.c_str());
  EXPECT_EQ(result.code, host::kComNotInitialised);
  EXPECT_FALSE(result.save_tried);
  EXPECT_TRUE(host::shell_links().empty());
  EXPECT_TRUE(listing(folder.native()).empty());

  com_initialize();
  EXPECT_EQ(host::com_depth(), 1);
  result = make_shell_link("C:\\Game\\UInst.exe", "-remove", "Remove it", link.c_str());
  EXPECT_EQ(result.code, 0);
  EXPECT_TRUE(result.save_tried);
  EXPECT_TRUE(fs::exists(folder.native() / "Game.lnk"));
  std::string missing = folder / "Absent\\Game.lnk";
  result = make_shell_link("t", "", "", missing.c_str());
  EXPECT_EQ(result.code, static_cast<i32>(0x80070003u)) << "the missing folder's 3 as a result";
  EXPECT_TRUE(result.save_tried);
  std::vector<host::ShellLinkRecord> links = host::shell_links();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].target, "C:\\Game\\UInst.exe");
  EXPECT_EQ(links[0].arguments, "-remove");
  EXPECT_EQ(links[0].description, "Remove it");
  EXPECT_EQ(links[0].link_path, link);
  EXPECT_EQ(links[0].code, 0);
  EXPECT_EQ(links[1].code, result.code);
  com_uninitialize();
  EXPECT_EQ(host::com_depth(), 0);
  EXPECT_EQ(host::open_file_count(), files_before) << "the link files are closed";

  open_with_shell(nullptr, "C:\\Game\\readme.txt");
  EXPECT_EQ(host::shell_opened(), std::vector<std::string>{"C:\\Game\\readme.txt"});
  host::reset_all();
  EXPECT_TRUE(host::shell_opened().empty());
  EXPECT_TRUE(host::shell_links().empty());
}

TEST(HostInterface, ControlsAndMessageBoxesAreKeptInMemory) {
  host::reset_all();
  WindowRef list = host::make_control();
  WindowRef label = host::make_control();
  append_list_line(list, "first");
  append_list_line(list, "second");
  set_control_text(label, "Game path");
  set_control_text(label, "C:\\Game");
  enable_control(label, false);
  EXPECT_EQ(host::control_lines(list), (std::vector<std::string>{"first", "second"}));
  EXPECT_TRUE(host::control_lines(label).empty());
  EXPECT_EQ(host::control_text(label), "C:\\Game");
  EXPECT_FALSE(host::control_enabled(label));
  EXPECT_TRUE(host::control_enabled(list));
  enable_control(label, true);
  EXPECT_TRUE(host::control_enabled(label));
  append_list_line(nullptr, "ignored");  // not a control: nothing happens

  {
    MessageScript script;
    script.answer(kIdYes);
    EXPECT_EQ(show_message(list, "Text", "Caption", kMbYesNo | kMbIconQuestion), kIdYes);
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_TRUE(script.shown()[0].has_owner);
    EXPECT_EQ(script.shown()[0].style, kMbYesNo | kMbIconQuestion) << "the host keeps every bit";
  }
  // Without a script, a question is answered No and any other box OK.
  EXPECT_EQ(show_message(nullptr, "Unplanned?", "Question", kMbYesNo), kIdNo);
  EXPECT_EQ(show_message(nullptr, "Unplanned.", "Notice", kMbOk), kIdOk);

  host::reset_all();
  EXPECT_TRUE(host::control_lines(list).empty());
  EXPECT_FALSE(host::control_enabled(list)) << "a destroyed control is no control";
}

}  // namespace
}  // namespace zep::test
