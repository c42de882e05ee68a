// zep install and zep uninstall on Windows, where the add-on's .exe and UInst.exe do the work.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>

#include "tests/support/command_status.h"
#include "tools/commands.h"

namespace zep::tool {
namespace {

TEST(WindowsTool, InstallAndUninstallSayWhichProgramToRun) {
  std::ostringstream out, err;
  EXPECT_EQ(run_install({"--yes", "Lantern.exe", "C:\\Games\\BG2"}, out, err), kExitFailed);
  EXPECT_NE(err.str().find("run the add-on's .exe"), std::string::npos) << err.str();
  std::ostringstream out2, err2;
  EXPECT_EQ(run_uninstall({"C:\\Games\\BG2\\Lantern.log"}, out2, err2), kExitFailed);
  EXPECT_NE(err2.str().find("run UInst.exe in the game folder"), std::string::npos) << err2.str();
  EXPECT_EQ(out.str() + out2.str(), "");

  // The program says so through its exit code too.
  const std::string tool = ZEP_TOOL;
  EXPECT_EQ(test::exit_code_of(std::system((tool + " install Lantern.exe C:\\" + test::kDiscardOutput).c_str())),
            kExitFailed);
  EXPECT_EQ(test::exit_code_of(std::system((tool + " uninstall C:\\Lantern.log" + test::kDiscardOutput).c_str())),
            kExitFailed);
}

TEST(WindowsTool, WindowsStyleIsTheAbsolutePathWithBackslashes) {
  EXPECT_EQ(windows_style("C:/Games/BG2/"), "C:\\Games\\BG2");
  EXPECT_EQ(windows_style("C:\\Games\\.\\BG2\\..\\BG1"), "C:\\Games\\BG1");
  EXPECT_EQ(windows_style("C:\\"), "C:\\");
  EXPECT_EQ(windows_style("Override/x.itm"), std::filesystem::current_path().string() + "\\Override\\x.itm");
}

}  // namespace
}  // namespace zep::tool
