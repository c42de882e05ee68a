// Writes that stop short because the disk is full. On Linux a file-size limit for the process plays
// the full disk: a write past it fails with EFBIG, which the host layer reports as 112.
#include <sys/resource.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>

#include "install/install_log.h"
#include "install/placement.h"
#include "platform/host_platform.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep {
namespace {

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

TEST(DiskFullTest, PlacementAndLogReportTheShortWrite) {
  test::TempFolder game;
  std::string data(5000, 'd');
  test::MessageScript script;
  InstallLog log;
  ASSERT_TRUE(log.create(game.path().c_str(), "Mod"));
  FileHandle placed;
  PlaceResult result;
  bool logged;
  {
    DiskFull full(4000);
    ASSERT_TRUE(full.ok());
    result = place_file(game.path().c_str(), "Override\\big.bam", data.data(), static_cast<u32>(data.size()),
                        {}, nullptr, &placed);
    logged = log.append_line(std::string(4100, 'n').c_str());
  }
  EXPECT_EQ(result, PlaceResult::kFailed);
  EXPECT_FALSE(placed.is_open());
  EXPECT_FALSE(std::filesystem::exists(game.native() / "Override" / "big.bam")) << "no partial file stays";
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, "Write error");
  EXPECT_EQ(script.shown()[0].text, game.path() + "Override\\big.bam\ncould not be written: There is not enough space on "
                                     "the disk (error 112).\nIt is not installed.");
  EXPECT_FALSE(logged);
  EXPECT_EQ(log.failures(), 1u);
  EXPECT_TRUE(log.close());
  EXPECT_EQ(host::open_file_count(), 0u);
}

}  // namespace
}  // namespace zep
