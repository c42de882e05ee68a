// The Windows behaviour of the platform layer that the logic depends on: error codes, exclusive
// opens, folder searches, the registry and message boxes. The same tests run against the host
// implementation on Linux and against the real Win32 calls under wine, so that both agree.
#ifdef _WIN32
#include <windows.h>
#endif

#include <gtest/gtest.h>

#include <cctype>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/platform.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep::test {
namespace {

// Writes `bytes` into a new or truncated file through the platform layer.
bool write_whole(const std::string& path, const std::string& bytes) {
  FileRef file = create_or_replace(path.c_str());
  if (file == nullptr) return false;
  bool written = write_file(file, bytes.data(), static_cast<u32>(bytes.size()));
  return close_file(file) && written;
}

// The whole content of a file read through the platform layer, or "<error N>" when it cannot be.
std::string read_whole(const std::string& path) {
  FileRef file = open_for_reading(path.c_str());
  if (file == nullptr) return "<error " + std::to_string(last_error()) + ">";
  u32 size = 0;
  std::string bytes;
  if (get_file_size(file, &size)) {
    bytes.resize(size);
    if (size != 0 && !read_file(file, &bytes[0], size)) bytes = "<short read>";
  }
  close_file(file);
  return bytes;
}

// The code that a call returning a null handle or false left behind; 0 when the call succeeded
// (its handle is closed at once).
u32 open_failure(FileRef file) {
  if (file == nullptr) return last_error();
  close_file(file);
  return win_error::kSuccess;
}

u32 failure(bool succeeded) { return succeeded ? win_error::kSuccess : last_error(); }

TEST(PlatformFiles, MissingAndExistingNamesGiveTheWindowsCodes) {
  TempFolder folder;
  std::string kept = folder / "kept.txt";
  ASSERT_TRUE(write_whole(kept, "original"));

  // CREATE_NEW refuses a name that exists and does not touch the file.
  EXPECT_EQ(open_failure(create_new(kept.c_str())), win_error::kFileExists);
  EXPECT_EQ(read_whole(kept), "original");
  EXPECT_EQ(open_failure(create_new((folder / "fresh.txt").c_str())), win_error::kSuccess);
  EXPECT_EQ(read_whole(folder / "fresh.txt"), "");

  // A missing file is 2, a missing folder on the way is 3, for every way of opening.
  std::string missing_file = folder / "absent.txt";
  std::string missing_folder = folder / "absent\\x.txt";
  EXPECT_EQ(open_failure(open_for_reading(missing_file.c_str())), win_error::kFileNotFound);
  EXPECT_EQ(open_failure(open_for_reading(missing_folder.c_str())), win_error::kPathNotFound);
  EXPECT_EQ(open_failure(create_or_replace(missing_folder.c_str())), win_error::kPathNotFound);
  EXPECT_EQ(open_failure(create_new(missing_folder.c_str())), win_error::kPathNotFound);
  EXPECT_EQ(failure(delete_file(missing_file.c_str())), win_error::kFileNotFound);
  EXPECT_EQ(failure(delete_file(missing_folder.c_str())), win_error::kPathNotFound);

  // Names are matched without regard to letter case.
  EXPECT_EQ(read_whole(folder / "KEPT.TXT"), "original");
  EXPECT_EQ(open_failure(create_new((folder / "Kept.Txt").c_str())), win_error::kFileExists);

  // set_last_error and last_error carry any code.
  set_last_error(1234);
  EXPECT_EQ(last_error(), 1234u);
}

TEST(PlatformFiles, AnOpenFileCannotBeOpenedAgainOrDeleted) {
  TempFolder folder;
  std::string path = folder / "busy.txt";
  struct Opener {
    const char* name;
    FileRef (*open)(const char*);
  };
  const Opener kOpeners[] = {{"reading", open_for_reading}, {"writing", create_or_replace}};
  for (const Opener& first : kOpeners) {
    SCOPED_TRACE(std::string("first open for ") + first.name);
    ASSERT_TRUE(write_whole(path, "content"));
    FileRef open = first.open(path.c_str());
    ASSERT_NE(open, nullptr);
    for (const Opener& second : kOpeners) {
      SCOPED_TRACE(std::string("second open for ") + second.name);
      EXPECT_EQ(open_failure(second.open(path.c_str())), win_error::kSharingViolation);
    }
    EXPECT_EQ(failure(delete_file(path.c_str())), win_error::kSharingViolation);
    EXPECT_EQ(open_failure(create_new(path.c_str())), win_error::kFileExists);
    // Copying onto an open file is refused as an open; renaming onto one as a replacement.
    ASSERT_TRUE(write_whole(folder / "other.txt", "other"));
    EXPECT_EQ(failure(copy_file((folder / "other.txt").c_str(), path.c_str())),
              win_error::kSharingViolation);
    EXPECT_EQ(failure(replace_file((folder / "other.txt").c_str(), path.c_str())),
              win_error::kAccessDenied);
    EXPECT_EQ(read_whole(folder / "other.txt"), "other");
    EXPECT_TRUE(close_file(open));
    // A refused create_or_replace must not have cut the file open for reading.
    if (first.open == open_for_reading) {
      EXPECT_EQ(read_whole(path), "content");
    }
    for (const Opener& second : kOpeners) {
      EXPECT_EQ(open_failure(second.open(path.c_str())), win_error::kSuccess) << second.name;
    }
    EXPECT_TRUE(delete_file(path.c_str()));
    EXPECT_EQ(open_failure(open_for_reading(path.c_str())), win_error::kFileNotFound);
  }
}

TEST(PlatformFiles, ReadsWritesSeeksAndSizesRoundTrip) {
  TempFolder folder;
  std::string path = folder / "data.bin";
  ASSERT_TRUE(write_whole(path, "a much longer earlier content"));

  FileRef file = create_or_replace(path.c_str());
  ASSERT_NE(file, nullptr);
  u32 size = 99;
  ASSERT_TRUE(get_file_size(file, &size));
  EXPECT_EQ(size, 0u) << "create_or_replace truncates";
  ASSERT_TRUE(write_file(file, "hello world", 11));
  ASSERT_TRUE(seek_file(file, 6));
  ASSERT_TRUE(write_file(file, "WORLD", 5));
  ASSERT_TRUE(flush_file(file));
  ASSERT_TRUE(get_file_size(file, &size));
  EXPECT_EQ(size, 11u);
  char byte = 0;
  EXPECT_EQ(failure(read_file(file, &byte, 1)), win_error::kAccessDenied) << "a write-only handle";
  ASSERT_TRUE(close_file(file));

  file = open_for_reading(path.c_str());
  ASSERT_NE(file, nullptr);
  ASSERT_TRUE(get_file_size(file, &size));
  EXPECT_EQ(size, 11u);
  char buffer[12] = {};
  ASSERT_TRUE(seek_file(file, 6));
  ASSERT_TRUE(read_file(file, buffer, 5));
  EXPECT_STREQ(buffer, "WORLD");
  ASSERT_TRUE(seek_file(file, 0));
  ASSERT_TRUE(read_file(file, buffer, 6));
  EXPECT_EQ(std::string(buffer, 6), "hello ");
  // Fewer bytes than asked for is a failure, at the end of the file as well as past it.
  ASSERT_TRUE(seek_file(file, 8));
  EXPECT_EQ(failure(read_file(file, buffer, 5)), win_error::kHandleEof);
  ASSERT_TRUE(seek_file(file, 11));
  EXPECT_EQ(failure(read_file(file, buffer, 1)), win_error::kHandleEof);
  ASSERT_TRUE(seek_file(file, 11));
  EXPECT_TRUE(read_file(file, buffer, 0));
  EXPECT_TRUE(close_file(file));
  EXPECT_TRUE(close_file(nullptr));
}

TEST(PlatformFolders, MakeRemoveCopyAndReplace) {
  TempFolder folder;
  std::string sub = folder / "sub";
  ASSERT_TRUE(make_folder(sub.c_str()));
  EXPECT_EQ(failure(make_folder(sub.c_str())), win_error::kAlreadyExists);
  EXPECT_EQ(failure(make_folder((folder / "no\\such").c_str())), win_error::kPathNotFound);
  EXPECT_EQ(failure(delete_file(sub.c_str())), win_error::kAccessDenied) << "a folder";
  EXPECT_EQ(open_failure(open_for_reading(sub.c_str())), win_error::kAccessDenied) << "a folder";
  ASSERT_TRUE(write_whole(folder / "sub\\x.txt", "inside"));
  EXPECT_EQ(failure(make_folder((folder / "sub\\x.txt").c_str())), win_error::kAlreadyExists);
  EXPECT_EQ(failure(remove_folder(sub.c_str())), win_error::kDirNotEmpty);
  EXPECT_EQ(read_whole(folder / "sub\\x.txt"), "inside");

  // copy_file makes a new target and replaces an existing one; the source stays.
  std::string copy = folder / "copy.txt";
  ASSERT_TRUE(copy_file((folder / "sub\\x.txt").c_str(), copy.c_str()));
  EXPECT_EQ(read_whole(copy), "inside");
  ASSERT_TRUE(write_whole(copy, "an older and longer text"));
  ASSERT_TRUE(copy_file((folder / "sub\\x.txt").c_str(), copy.c_str()));
  EXPECT_EQ(read_whole(copy), "inside");
  EXPECT_EQ(read_whole(folder / "sub\\x.txt"), "inside");
  EXPECT_EQ(failure(copy_file((folder / "absent").c_str(), copy.c_str())), win_error::kFileNotFound);
  EXPECT_EQ(read_whole(copy), "inside");

  // replace_file puts the source in place of the target in one step; the source name is gone.
  std::string target = folder / "target.txt";
  ASSERT_TRUE(write_whole(target, "old target"));
  ASSERT_TRUE(write_whole(folder / "new.tmp", "new"));
  ASSERT_TRUE(replace_file((folder / "new.tmp").c_str(), target.c_str()));
  EXPECT_EQ(read_whole(target), "new");
  EXPECT_EQ(open_failure(open_for_reading((folder / "new.tmp").c_str())), win_error::kFileNotFound);
  ASSERT_TRUE(replace_file(target.c_str(), (folder / "moved.txt").c_str())) << "to a free name";
  EXPECT_EQ(read_whole(folder / "moved.txt"), "new");
  EXPECT_EQ(failure(replace_file(target.c_str(), copy.c_str())), win_error::kFileNotFound);
  EXPECT_EQ(read_whole(copy), "inside") << "a failed replace leaves the target alone";

  ASSERT_TRUE(delete_file((folder / "sub\\x.txt").c_str()));
  EXPECT_TRUE(remove_folder(sub.c_str()));
  EXPECT_EQ(failure(make_folder((folder / "sub\\again").c_str())), win_error::kPathNotFound);
  u32 code = failure(remove_folder(sub.c_str()));
  EXPECT_TRUE(code == win_error::kFileNotFound || code == win_error::kPathNotFound) << code;
}

TEST(PlatformSearch, ListsTheDotsFirstThenEveryEntry) {
  TempFolder folder;
  ASSERT_TRUE(write_whole(folder / "a.txt", "a"));
  ASSERT_TRUE(write_whole(folder / "b.dat", "b"));
  ASSERT_TRUE(write_whole(folder / "noext", "c"));
  ASSERT_TRUE(make_folder((folder / "sub").c_str()));
  ASSERT_TRUE(write_whole(folder / "sub\\hidden.txt", "not listed: one level down"));

  FoundName found;
  std::memset(found.text, 'x', sizeof found.text);
  SearchRef search = find_first((folder / "*.*").c_str(), &found);
  ASSERT_NE(search, nullptr) << last_error();
  EXPECT_STREQ(found.text, ".");
  ASSERT_TRUE(find_next(search, &found));
  EXPECT_STREQ(found.text, "..");
  std::multiset<std::string> rest;
  while (find_next(search, &found)) rest.insert(found.text);
  EXPECT_EQ(last_error(), win_error::kNoMoreFiles);
  EXPECT_FALSE(find_next(search, &found)) << "the end stays the end";
  find_close(search);
  EXPECT_EQ(rest, (std::multiset<std::string>{"a.txt", "b.dat", "noext", "sub"}));

  // A narrower pattern, matched without regard to letter case, does not match the dots.
  search = find_first((folder / "*.TXT").c_str(), &found);
  ASSERT_NE(search, nullptr);
  EXPECT_STREQ(found.text, "a.txt");
  EXPECT_FALSE(find_next(search, &found));
  find_close(search);
  find_close(nullptr);

  EXPECT_EQ(find_first((folder / "*.none").c_str(), &found), nullptr);
  EXPECT_EQ(last_error(), win_error::kFileNotFound);
  EXPECT_EQ(find_first((folder / "absent\\*.*").c_str(), &found), nullptr);
  EXPECT_EQ(last_error(), win_error::kPathNotFound);
}

// A key path of this run's own, so that runs never meet each other's keys.
std::string unique_key_path() {
  std::mt19937_64 generator(std::random_device{}() ^
                            static_cast<u64>(std::chrono::steady_clock::now().time_since_epoch().count()));
  char name[32];
  std::snprintf(name, sizeof name, "%016llx", static_cast<unsigned long long>(generator()));
  return std::string("Software\\ZepTest\\") + name;
}

// Full paths as GetFullPathNameA makes them: the host layer's spelling agrees with Windows'.
TEST(PlatformPaths, AFullPathHasOneSpelling) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\Games\\BG2", "C:\\Games\\BG2"},           {"C:\\Games\\BG2\\", "C:\\Games\\BG2\\"},
      {"C:\\Games\\..\\BG2", "C:\\BG2"},              {"C:\\Games\\BG2\\..\\BG2", "C:\\Games\\BG2"},
      {"C:\\..\\..\\Games", "C:\\Games"},             {"C:/Games//BG2/./x", "C:\\Games\\BG2\\x"},
      {"C:\\", "C:\\"},                                 {"C:\\.", "C:\\"},
      {"\\\\server\\share\\..\\BG2", "\\\\server\\share\\BG2"}, {"\\\\server\\share\\a\\.\\b", "\\\\server\\share\\a\\b"}};
  for (const auto& [path, expected] : cases) {
    char full[kMaxPath] = {};
    EXPECT_TRUE(full_path(path, full)) << path;
    EXPECT_STREQ(full, expected) << path;
  }
  char full[kMaxPath];
  EXPECT_FALSE(full_path(("C:\\" + std::string(300, 'x')).c_str(), full));
}

TEST(PlatformRegistry, ValuesRoundTripAndKeysAreDeleted) {
  const std::string key_path = unique_key_path();
  const std::string inner_path = key_path + "\\Inner";
  KeyRef key = nullptr;
  ASSERT_EQ(open_or_create_key(RegistryRoot::kCurrentUser, inner_path.c_str(), &key), 0);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(set_string_value(key, "Name", "Value"), 0);

  char buffer[64];
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(query_string_value(key, "Name", buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "Value");
  EXPECT_EQ(query_string_value(key, "NAME", buffer, 6), 0) << "exactly the text and its zero";
  EXPECT_EQ(query_string_value(key, "Name", buffer, 5), static_cast<i32>(win_error::kMoreData));
  EXPECT_EQ(query_string_value(key, "Other", buffer, sizeof buffer),
            static_cast<i32>(win_error::kFileNotFound));
  EXPECT_EQ(set_string_value(key, "name", "Replaced"), 0);
  close_key(key);

  // The same key reached again under another spelling holds the same values.
  KeyRef again = nullptr;
  std::string shouted = inner_path;
  for (char& c : shouted) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  ASSERT_EQ(open_or_create_key(RegistryRoot::kCurrentUser, shouted.c_str(), &again), 0);
  EXPECT_EQ(query_string_value(again, "Name", buffer, sizeof buffer), 0);
  EXPECT_STREQ(buffer, "Replaced");

  // A key with a subkey is not deleted; once the subkey is gone it is.
  EXPECT_NE(delete_key(RegistryRoot::kCurrentUser, key_path.c_str()), 0);
  EXPECT_EQ(delete_key(RegistryRoot::kCurrentUser, inner_path.c_str()), 0);
  EXPECT_EQ(set_string_value(again, "Late", "x"), static_cast<i32>(win_error::kKeyDeleted))
      << "a handle to a deleted key";
  close_key(again);
  EXPECT_EQ(delete_key(RegistryRoot::kCurrentUser, inner_path.c_str()),
            static_cast<i32>(win_error::kFileNotFound));
  EXPECT_EQ(delete_key(RegistryRoot::kCurrentUser, key_path.c_str()), 0);
  EXPECT_EQ(delete_key(RegistryRoot::kCurrentUser, key_path.c_str()),
            static_cast<i32>(win_error::kFileNotFound));
  // The shared parent goes too when no other run has a key in it.
  delete_key(RegistryRoot::kCurrentUser, "Software\\ZepTest");
  close_key(nullptr);
}

TEST(PlatformMessages, ErrorTextsAndMessageBoxes) {
  char text[512];
  std::memset(text, 0, sizeof text);
  ASSERT_TRUE(system_error_text(win_error::kFileNotFound, text, sizeof text));
  EXPECT_GT(std::strlen(text), 0u);
  // A code with the customer bit set is never one of the system's.
  EXPECT_FALSE(system_error_text(0x20001234u, text, sizeof text));

  MessageScript script;
  script.answer(kIdYes);
  script.answer(kIdNo);
  EXPECT_EQ(show_message(nullptr, "Install it?", "First question", kMbYesNo | kMbIconQuestion), kIdYes);
  EXPECT_EQ(show_message(nullptr, "Really?", "Second question", kMbYesNo | kMbIconWarning), kIdNo);
  EXPECT_EQ(show_message(nullptr, "All done.", "Notice", kMbOk | kMbIconInformation), kIdOk)
      << "an OK box without a planned answer is acknowledged";
  std::vector<ShownMessage> shown = script.shown();
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_FALSE(shown[0].has_owner);
  EXPECT_EQ(shown[0].text, "Install it?");
  EXPECT_EQ(shown[0].caption, "First question");
  EXPECT_EQ(shown[0].style & 0xF, kMbYesNo);
  EXPECT_EQ(shown[0].answer, kIdYes);
  EXPECT_EQ(shown[1].caption, "Second question");
  EXPECT_EQ(shown[1].answer, kIdNo);
  EXPECT_EQ(shown[2].text, "All done.");
  EXPECT_EQ(shown[2].style & 0xF, kMbOk);
  EXPECT_EQ(shown[2].answer, kIdOk);
}

TEST(PlatformTexts, ValidUtf8StaysAndWindows1252BecomesUtf8) {
  // The host layer takes Windows-1252 for the ANSI code page; Windows its own.
#ifdef _WIN32
  if (GetACP() != 1252) GTEST_SKIP() << "the ANSI code page here is " << GetACP() << ", not Windows-1252";
#endif
  const struct {
    std::string text, utf8;
  } cases[] = {
      {std::string("ASCII, a \x01 and a zero \0 byte", 28), std::string("ASCII, a \x01 and a zero \0 byte", 28)},
      {"\xc3\xa9t\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x90\x89", "\xc3\xa9t\xc3\xa9 \xe2\x9c\x93 \xf0\x9f\x90\x89"},
      {"Caf\xe9 \x93lit\x94 \x80 \x9f", "Caf\xc3\xa9 \xe2\x80\x9clit\xe2\x80\x9d \xe2\x82\xac \xc5\xb8"},
      {"cut short \xc3", "cut short \xc3\x83"},                           // a lead byte at the end
      {"overlong \xc0\xaf", "overlong \xc3\x80\xc2\xaf"},                 // '/' in two bytes
      {"surrogate \xed\xa0\x80", "surrogate \xc3\xad\xc2\xa0\xe2\x82\xac"},  // U+D800
      {"beyond \xf4\x90\x80\x80", "beyond \xc3\xb4\xc2\x90\xe2\x82\xac\xe2\x82\xac"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string out(3 * c.text.size(), '?');
    const u32 written = text_to_utf8(c.text.data(), static_cast<u32>(c.text.size()), out.data());
    EXPECT_EQ(out.substr(0, written), c.utf8);
  }
}

}  // namespace
}  // namespace zep::test
