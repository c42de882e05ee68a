// What only the Linux platform layer does: it maps Windows-style names onto a case-sensitive file
// system, emulates read-only files, and keeps the registry, the shell and the controls in memory
// where the hooks of platform/host_platform.h can reach them.
#include "platform/host_platform.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <filesystem>
#include <random>
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

// `text` with its ASCII letters in lower case, as Windows compares names.
std::string lower(std::string text) {
  for (char& c : text) c = (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
  return text;
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

// A folder's names are read once into an index that the layer's own changes keep true; whatever
// changes the folder from outside the layer makes it read again.
TEST(HostPaths, AFolderIsReadOnceAndReadAgainAfterAnOutsideChange) {
  TempFolder folder;
  host::forget_folder_indexes();
  ASSERT_TRUE(make_folder((folder / "Override").c_str()));
  ASSERT_TRUE(write_whole(folder / "override\\first.itm", "1"));
  const std::size_t reads = host::folder_read_count();
  // Placing new files is a miss each time, and a miss does not read the folder again.
  for (int i = 0; i < 200; ++i) {
    const std::string name = folder / ("OVERRIDE\\new" + std::to_string(i) + ".itm");
    ASSERT_FALSE(is_link(name.c_str()));
    FileRef file = create_new(name.c_str());
    ASSERT_NE(file, nullptr) << name;
    close_file(file);
  }
  EXPECT_EQ(host::folder_read_count(), reads);
  EXPECT_EQ(listing(folder.native()), std::vector<std::string>{"Override"});
  EXPECT_EQ(host::native_path(folder / "override\\NEW7.ITM"), (folder.native() / "Override" / "new7.itm").string());

  // Made outside: found under any spelling.
  write_native_file(folder.native() / "Override" / "Outside.TXT", "outside");
  EXPECT_EQ(host::native_path(folder / "override\\outside.txt"),
            (folder.native() / "Override" / "Outside.TXT").string());
  EXPECT_GT(host::folder_read_count(), reads);
  // Deleted outside: missing, and may be made again.
  fs::remove(folder.native() / "Override" / "first.itm");
  EXPECT_EQ(open_for_reading((folder / "override\\First.itm").c_str()), nullptr);
  EXPECT_EQ(last_error(), win_error::kFileNotFound);
  FileRef again = create_new((folder / "override\\First.itm").c_str());
  EXPECT_NE(again, nullptr);
  close_file(again);
  // A file put in place of another by a link from outside is a link.
  fs::remove(folder.native() / "Override" / "new3.itm");
  fs::create_symlink(folder.native() / "Override" / "new4.itm", folder.native() / "Override" / "new3.itm");
  EXPECT_TRUE(is_link((folder / "override\\NEW3.itm").c_str()));
  EXPECT_FALSE(is_link((folder / "override\\NEW4.itm").c_str()));

  // Two names that differ only in letter case: each spelled so reaches its own file, and another
  // spelling reaches neither; once one is deleted, any spelling reaches the other.
  write_native_file(folder.native() / "Override" / "Twin.txt", "one");
  write_native_file(folder.native() / "Override" / "TWIN.txt", "two");
  EXPECT_EQ(host::native_path(folder / "override\\Twin.txt"), (folder.native() / "Override" / "Twin.txt").string());
  EXPECT_EQ(host::native_path(folder / "override\\TWIN.txt"), (folder.native() / "Override" / "TWIN.txt").string());
  EXPECT_EQ(host::native_path(folder / "override\\twin.txt"), (folder.native() / "Override" / "twin.txt").string());
  EXPECT_EQ(open_for_reading((folder / "override\\twin.txt").c_str()), nullptr);
  ASSERT_TRUE(delete_file((folder / "override\\Twin.txt").c_str()));
  EXPECT_EQ(host::native_path(folder / "override\\twin.TXT"), (folder.native() / "Override" / "TWIN.txt").string());
}

// Random changes of one folder, some through the layer and some from outside, in random spellings:
// after each, every name resolves as a fresh reading of the folder says it must, and is_link agrees
// with the disk.
TEST(HostPaths, RandomChangesInsideAndOutsideTheLayerKeepTheIndexTrue) {
  TempFolder folder;
  host::forget_folder_indexes();
  const fs::path native = folder.native() / "Override";
  fs::create_directory(native);
  std::mt19937 random(20261210);
  const std::vector<std::string> names = {"a.itm", "A.ITM", "b.spl", "B.spl", "c.bam", "Sub", "SUB"};
  auto pick = [&] { return names[random() % names.size()]; };
  // The path that a reading of `dir` gives `name`: itself, the only other spelling there, or itself
  // when there are none or several (or `dir` is no folder).
  auto resolve_in = [&](const fs::path& dir, const std::string& name) {
    std::error_code error;
    if (!fs::is_directory(dir, error)) return dir / name;
    std::vector<std::string> spellings;
    for (const auto& entry : fs::directory_iterator(dir)) {
      const std::string there = entry.path().filename().string();
      if (there == name) return dir / name;
      if (lower(there) == lower(name)) spellings.push_back(there);
    }
    return dir / (spellings.size() == 1 ? spellings[0] : name);
  };
  for (int step = 0; step < 1500; ++step) {
    const std::string name = pick();
    const std::string path = folder / ("override\\" + name);
    std::error_code ignored;
    switch (random() % 10) {
      case 0:
        close_file(create_new(path.c_str()));
        break;
      case 1:
        delete_file(path.c_str());
        break;
      case 2:
        replace_file(path.c_str(), (folder / ("OVERRIDE\\" + pick())).c_str());
        break;
      case 3:
        make_folder(path.c_str()) || remove_folder(path.c_str());
        break;
      case 4:
        write_native_file(native / name, "outside");
        break;
      case 5:
        fs::remove(native / name, ignored);
        break;
      case 6:
        fs::rename(native / name, native / pick(), ignored);
        break;
      case 7:
        fs::create_symlink(native / pick(), native / name, ignored);
        break;
      case 8:
        close_file(create_new((folder / ("override\\sub\\" + name)).c_str()));
        break;
      case 9:
        fs::remove(resolve_in(resolve_in(native, "sub"), name), ignored);
        break;
    }
    for (const std::string& other : names) {
      const std::string spelled = folder / ("override\\" + other);
      const std::string inner = folder / ("override\\SUB\\" + other);
      const fs::path top = resolve_in(native, other);
      const fs::path below = resolve_in(resolve_in(native, "SUB"), other);
      ASSERT_EQ(host::native_path(spelled), top.string()) << "step " << step;
      ASSERT_EQ(is_link(spelled.c_str()), fs::is_symlink(fs::symlink_status(top, ignored)))
          << "step " << step << " " << other;
      ASSERT_EQ(host::native_path(inner), below.string()) << "step " << step;
      ASSERT_EQ(is_link(inner.c_str()), fs::is_symlink(fs::symlink_status(below, ignored)))
          << "step " << step << " " << other;
    }
  }
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

// A file opened for reading is read through a window of its bytes: reads at random places and of
// random lengths, inside it, across its end and longer than it, give the file's bytes; a read past
// the end of the file fails with 38, shared or not.
TEST(HostFiles, ReadsAtAnyPlaceGiveTheFilesBytes) {
  TempFolder folder;
  std::string bytes(200000, 0);
  std::mt19937 random(7);
  for (char& c : bytes) c = static_cast<char>(random());
  ASSERT_TRUE(write_whole(folder / "data.bin", bytes));
  for (const bool shared : {false, true}) {
    FileRef file = shared ? open_for_reading_shared((folder / "data.bin").c_str())
                          : open_for_reading((folder / "data.bin").c_str());
    ASSERT_NE(file, nullptr);
    for (int i = 0; i < 300; ++i) {
      const u32 offset = random() % bytes.size();
      const u32 length = 1 + random() % (i % 10 == 0 ? 150000 : 100);
      std::string read(length, 0);
      ASSERT_TRUE(seek_file(file, offset));
      if (offset + length > bytes.size()) {
        EXPECT_FALSE(read_file(file, read.data(), length));
        EXPECT_EQ(last_error(), win_error::kHandleEof);
        continue;
      }
      ASSERT_TRUE(read_file(file, read.data(), length)) << offset << " " << length;
      ASSERT_EQ(read, bytes.substr(offset, length)) << offset << " " << length;
      // The next read goes on where this one ended.
      if (offset + length < bytes.size()) {
        char next = 0;
        ASSERT_TRUE(read_file(file, &next, 1));
        ASSERT_EQ(next, bytes[offset + length]);
      }
    }
    EXPECT_FALSE(write_file(file, "x", 1)) << "opened for reading alone";
    close_file(file);
  }
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
