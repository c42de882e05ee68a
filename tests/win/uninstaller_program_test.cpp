// UInst.exe started for real, as the uninstall command or a user would start it.
#include <windows.h>

#include <gtest/gtest.h>

#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

// Starts UInst.exe with `command_line`, answers its boxes, and returns them once it has ended.
std::vector<ShownMessage> run_uninstaller(const std::string& command_line, long* exit_code) {
  TempFolder folder;
  MessageScript script;
  StartedProgram program(windows_path(ZEP_TEST_UINST), command_line, windows_path(folder.path()));
  EXPECT_TRUE(program.started());
  if (!program.started()) return {};
  script.watch_process(program.process_id());
  *exit_code = program.wait_for_exit(20000);
  return script.shown();
}

TEST(UninstallerProgram, WithoutAHyphenShowsTheUsageAndEndsWithZero) {
  for (const char* command_line : {"UInst.exe", "-", "UInst.exe /uninstall"}) {
    SCOPED_TRACE(command_line);
    long exit_code = -1;
    std::vector<ShownMessage> shown = run_uninstaller(command_line, &exit_code);
    EXPECT_EQ(exit_code, 0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Usage: UInst -<logfile>");
    EXPECT_EQ(shown[0].caption, "Info");
    EXPECT_EQ(shown[0].style, kMbOk);
    EXPECT_FALSE(shown[0].has_owner);
  }
}

}  // namespace
}  // namespace zep::test
