// The talk table against what only the host layer can show: a disk that fills up part way through a
// save (a file-size limit for the process, which makes a write past it fail with 112), and the files
// the table has open at each moment.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "dialog/talk_table.h"
#include "platform/host_platform.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep {
namespace {

namespace fs = std::filesystem;

// Files cannot grow past `limit` bytes while this lives.
class DiskFull {
 public:
  explicit DiskFull(rlim_t limit) {
    std::signal(SIGXFSZ, SIG_IGN);
    getrlimit(RLIMIT_FSIZE, &before_);
    struct rlimit limited = before_;
    limited.rlim_cur = limit;
    ok_ = setrlimit(RLIMIT_FSIZE, &limited) == 0;
  }
  ~DiskFull() {
    setrlimit(RLIMIT_FSIZE, &before_);
    std::signal(SIGXFSZ, SIG_DFL);
  }
  bool ok() const { return ok_; }

 private:
  struct rlimit before_;
  bool ok_;
};

void put_u32(std::string& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

// A TLK V1 file of `count` entries whose texts are `text_length` bytes each, back to back.
std::string build_tlk(std::uint32_t count, std::uint32_t text_length) {
  std::string bytes = "TLK V1  ";
  bytes += std::string(2, '\0');
  put_u32(bytes, count);
  put_u32(bytes, 18 + 26 * count);
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes += std::string("\x01\x00", 2);
    bytes += std::string(8, '\0');
    put_u32(bytes, 0);
    put_u32(bytes, 0);
    put_u32(bytes, i * text_length);
    put_u32(bytes, text_length);
  }
  for (std::uint32_t i = 0; i < count; ++i) bytes += std::string(text_length, static_cast<char>('A' + i % 26));
  return bytes;
}

TEST(TalkTableDiskFull, SaveThatFailsPartWayLeavesTheFileAsItWas) {
  test::TempFolder game;
  const fs::path tlk = game.native() / "dialog.tlk";
  const fs::path temporary = game.native() / "dialog.tlk.new";
  const std::string original = build_tlk(200, 100);  // 25,218 bytes
  test::write_native_file(tlk, original);
  const std::string text(3000, 't');

  // Full at once, inside the header, inside the entries, inside the loaded and the appended texts,
  // and one byte short of the whole file.
  const std::uint64_t grown = original.size() + 26 + text.size();
  for (std::uint64_t limit : {std::uint64_t{0}, std::uint64_t{10}, std::uint64_t{18}, std::uint64_t{3000},
                              std::uint64_t{20000}, original.size() + 26 + 5, grown - 1}) {
    SCOPED_TRACE(limit);
    test::MessageScript script;
    TalkTable table;
    ASSERT_TRUE(load_talk_table(&table, game.path().c_str(), nullptr));
    ASSERT_EQ(append_string(&table, text.data(), static_cast<u32>(text.size()), 1, nullptr, 0, 0), 200u);
    bool saved;
    {
      DiskFull full(limit);
      ASSERT_TRUE(full.ok());
      saved = save_talk_table(&table, game.path().c_str(), nullptr);
    }
    EXPECT_FALSE(saved);
    EXPECT_FALSE(table.loaded()) << "released all the same";
    ASSERT_EQ(script.shown().size(), 1u);
    EXPECT_EQ(script.shown()[0].caption, "Write error");
    EXPECT_EQ(script.shown()[0].text, "112");
    EXPECT_EQ(script.shown()[0].style, kMbOk);
    EXPECT_EQ(test::read_native_file(tlk), original) << "dialog.tlk is untouched";
    EXPECT_FALSE(fs::exists(temporary)) << "no partial temporary file stays";
    EXPECT_EQ(host::open_file_count(), 0u);
  }

  // With room enough, the same save goes through.
  test::MessageScript script;
  TalkTable table;
  ASSERT_TRUE(load_talk_table(&table, game.path().c_str(), nullptr));
  ASSERT_EQ(append_string(&table, text.data(), static_cast<u32>(text.size()), 1, nullptr, 0, 0), 200u);
  {
    DiskFull full(grown);
    ASSERT_TRUE(full.ok());
    EXPECT_TRUE(save_talk_table(&table, game.path().c_str(), nullptr));
  }
  EXPECT_TRUE(script.shown().empty());
  EXPECT_EQ(fs::file_size(tlk), grown);
  EXPECT_FALSE(fs::exists(temporary));
}

TEST(TalkTableOpenFiles, NoFileIsHeldOpenOutsideLoadAndSave) {
  test::TempFolder game;
  const fs::path tlk = game.native() / "dialog.tlk";
  const std::string original = build_tlk(3, 5);
  // Every message is shown with nothing open: the user may go and look at the file meanwhile.
  std::vector<std::size_t> open_at_message;
  host::set_message_handler([&open_at_message](WindowRef, const char*, const char*, u32) {
    open_at_message.push_back(host::open_file_count());
    return kIdOk;
  });

  test::write_native_file(tlk, original.substr(0, original.size() - 1));  // the last text cut short
  TalkTable table;
  EXPECT_FALSE(load_talk_table(&table, game.path().c_str(), nullptr));
  EXPECT_EQ(host::open_file_count(), 0u);

  test::write_native_file(tlk, original);
  ASSERT_TRUE(load_talk_table(&table, game.path().c_str(), nullptr));
  EXPECT_EQ(host::open_file_count(), 0u);
  EXPECT_EQ(append_string(&table, "x", 1, 1, nullptr, 0, 0), 3u);
  EXPECT_EQ(host::open_file_count(), 0u);
  {
    // Replacing a file that is open elsewhere fails; only the other program's handle is open then.
    FileHandle other(open_for_reading((game.path() + "dialog.tlk").c_str()));
    ASSERT_TRUE(other.is_open());
    EXPECT_FALSE(save_talk_table(&table, game.path().c_str(), nullptr));
  }
  EXPECT_EQ(host::open_file_count(), 0u);
  host::reset_message_handler();
  EXPECT_EQ(open_at_message, (std::vector<std::size_t>{0, 1}));
  EXPECT_EQ(test::read_native_file(tlk), original);
}

}  // namespace
}  // namespace zep
