// The installer's main window, as a user sees it: zepstub.exe is started for real and its window is
// read from outside.
#include <windows.h>

#include <gtest/gtest.h>

#include <memory>

#include "tests/support/archive_builder.h"
#include "tests/support/temp_folder.h"
#include "tests/support/windows_ui.h"

namespace zep::test {
namespace {

struct ExpectedControl {
  const char* class_name;  // as the system reports it
  const char* text;
  LONG style;
  LONG ex_style;
  int x, y, width, height;
};

const ExpectedControl kExpected[7] = {
    {"Static", "ZEP contents", 0x50000000, 0, 4, 5, 150, 15},
    {"ListBox", "", 0x50304000, 0x200, 3, 20, 175, 170},
    {"Button", "Select game path", 0x50000000, 0, 200, 25, 120, 25},
    {"Static", "<Please select a game path>", 0x50000000, 0, 190, 55, 150, 15},
    {"Button", "Import ZEP into game", 0x50000000, 0, 200, 80, 120, 25},
    {"Button", "Extract ZEP from archive", 0x50000000, 0, 200, 110, 120, 25},
    {"Static", nullptr, 0x50000000, 0, 200, 140, 120, 45},
};

// The window belongs to a whole installer: the stub reads its own file while the window is created,
// and a bare zepstub.exe would hold the window back behind a message about its missing archive.
// The installer is started as Explorer starts a program, by its full path in quotes, from its folder.
class MainWindowTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string installer = build_installer(build_test_archive(sample_patches(), sample_files()));
    ASSERT_FALSE(installer.empty()) << "cannot read " << ZEP_TEST_STUB << " or " << ZEP_TEST_UINST;
    write_native_file(folder_.native() / "Sample.exe", installer);
    const std::string path = folder_ / "Sample.exe";
    program_ = std::make_unique<StartedProgram>(path, "\"" + path + "\"", folder_.path());
    ASSERT_TRUE(program_->started()) << "cannot start " << path;
    window_ = wait_for_window("ZEPExtractor", program_->process_id(), 60000);
    ASSERT_NE(window_, nullptr) << "no window of class ZEPExtractor appeared";
    // The window is looked at once it is shown: only then has its creation, the listing included,
    // come to an end.
    EXPECT_TRUE(wait_until([this] { return IsWindowVisible(window_) != 0; }, 60000))
        << "the window was not shown";
  }

  TempFolder folder_;  // the program's current folder
  std::unique_ptr<StartedProgram> program_;
  HWND window_ = nullptr;
};

TEST_F(MainWindowTest, HasTheCaptionClassAndFixedFrame) {
  EXPECT_EQ(window_text(window_), "ZEP self-extracting archive v1.1 by Vantrel");
  EXPECT_EQ(GetClassLongPtrA(window_, GCL_STYLE), CS_HREDRAW | CS_VREDRAW);
  // The class brush and the controls' font cannot be read from another process under wine (both
  // come back as 0), so they are not checked here.
  LONG style = GetWindowLongA(window_, GWL_STYLE);
  EXPECT_TRUE(style & WS_VISIBLE);
  EXPECT_TRUE(style & WS_SYSMENU);
  EXPECT_TRUE((style & WS_CAPTION) == WS_CAPTION) << "an overlapped window has a caption bar";
  EXPECT_FALSE(style & WS_THICKFRAME) << "the window must not be resizable";
  EXPECT_FALSE(style & (WS_MINIMIZEBOX | WS_MAXIMIZEBOX));
  RECT outer;
  ASSERT_TRUE(GetWindowRect(window_, &outer));
  EXPECT_EQ(outer.right - outer.left, 350);
  EXPECT_EQ(outer.bottom - outer.top, 210);
}

TEST_F(MainWindowTest, HasTheSevenControlsInOrderWithImportDisabled) {
  std::vector<HWND> children = child_windows(window_);
  ASSERT_EQ(children.size(), 7u);
  for (size_t i = 0; i < children.size(); ++i) {
    const ExpectedControl& expected = kExpected[i];
    HWND control = children[i];
    SCOPED_TRACE("control " + std::to_string(i + 1));
    EXPECT_STRCASEEQ(window_class_name(control).c_str(), expected.class_name);
    std::string text = window_text(control);
    if (expected.text != nullptr) {
      EXPECT_EQ(text, expected.text);
    } else {
      // The credits: two lines, a credit naming the author and the maker's web address.
      size_t line_feed = text.find('\n');
      ASSERT_NE(line_feed, std::string::npos) << text;
      EXPECT_NE(text.find("Vantrel"), std::string::npos) << text;
      EXPECT_LT(line_feed + 1, text.size());
    }
    // The system clears a list's scroll bar bits while it has nothing to scroll.
    LONG managed = i == 1 ? (WS_VSCROLL | WS_HSCROLL) : 0;
    EXPECT_EQ(GetWindowLongA(control, GWL_STYLE) & ~(WS_DISABLED | managed), expected.style & ~managed);
    EXPECT_EQ(GetWindowLongA(control, GWL_EXSTYLE), expected.ex_style);
    RECT rect;
    ASSERT_TRUE(GetWindowRect(control, &rect));
    MapWindowPoints(nullptr, window_, reinterpret_cast<POINT*>(&rect), 2);
    EXPECT_EQ(rect.left, expected.x);
    EXPECT_EQ(rect.top, expected.y);
    EXPECT_EQ(rect.right - rect.left, expected.width);
    if (i == 1) {
      // The list keeps the whole-line height adjustment, so it may come out a little shorter.
      EXPECT_LE(rect.bottom - rect.top, expected.height);
      EXPECT_GT(rect.bottom - rect.top, expected.height - 20);
    } else {
      EXPECT_EQ(rect.bottom - rect.top, expected.height);
    }
    EXPECT_EQ(IsWindowEnabled(control) != 0, i != 4) << "only the Import button starts disabled";
  }
}

TEST_F(MainWindowTest, ClosingEndsTheProgramWithExitCodeZero) {
  PostMessageA(window_, WM_CLOSE, 0, 0);
  EXPECT_EQ(program_->wait_for_exit(60000), 0);
}

}  // namespace
}  // namespace zep::test
