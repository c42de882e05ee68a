// Start Menu shortcuts made through the real shell link object, read back through it.
#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "install/registration.h"
#include "tests/support/installer_run.h"
#include "tests/support/message_script.h"

namespace zep {
namespace {

using test::LinkContent;
using test::read_link;

class Shortcuts : public ::testing::Test {
 protected:
  void SetUp() override { com_initialize(); }
  void TearDown() override { com_uninitialize(); }
};

TEST_F(Shortcuts, AreMadeInTheRealStartMenuAndReadBack) {
  StartMenu menu;
  ASSERT_TRUE(find_start_menu_folder(&menu.folder)) << "the prefix has a Programs folder";
  menu.wanted = true;
  const std::string programs = menu.folder.c_str();
  EXPECT_TRUE(std::filesystem::is_directory(programs)) << programs;
  const std::string addon = "Zep Test " + std::to_string(GetCurrentProcessId());
  make_addon_start_menu_folder(addon.c_str(), nullptr, &menu);
  ASSERT_TRUE(menu.wanted);
  ASSERT_EQ(std::string(menu.folder.c_str()), programs + "\\" + addon + "\\");

  test::MessageScript script;
  EXPECT_EQ(create_start_menu_shortcut(menu, "Uninstall.lnk", "C:\\Games\\Saga\\UInst.exe",
                                       " -C:\\Games\\Saga\\Evilamul.log", nullptr),
            0);
  StartMenuPath readme;
  ASSERT_TRUE(shortcut_name("Override\\evilamul_readme.txt", &readme));
  EXPECT_EQ(create_start_menu_shortcut(menu, readme.c_str(), "C:\\Games\\Saga\\Override\\evilamul_readme.txt", "",
                                       nullptr),
            0);
  EXPECT_TRUE(script.shown().empty());

  const std::string folder = menu.folder.c_str();
  LinkContent uninstall = read_link(folder + "Uninstall.lnk");
  EXPECT_EQ(uninstall.path, "C:\\Games\\Saga\\UInst.exe");
  EXPECT_EQ(uninstall.arguments, " -C:\\Games\\Saga\\Evilamul.log");
  EXPECT_EQ(uninstall.description, "C:\\Games\\Saga\\UInst.exe");
  LinkContent opened = read_link(folder + "evilamul_readme.lnk");
  EXPECT_EQ(opened.path, "C:\\Games\\Saga\\Override\\evilamul_readme.txt");
  EXPECT_EQ(opened.arguments, "");

  // A second installation replaces the shortcut without asking.
  EXPECT_EQ(create_start_menu_shortcut(menu, "Uninstall.lnk", "C:\\Other\\UInst.exe", " -x", nullptr), 0);
  EXPECT_EQ(read_link(folder + "Uninstall.lnk").path, "C:\\Other\\UInst.exe");
  EXPECT_TRUE(script.shown().empty());

  std::error_code ignored;
  std::filesystem::remove_all(folder, ignored);
}

TEST_F(Shortcuts, ASaveIntoAMissingFolderIsReported) {
  char temp[MAX_PATH];
  GetTempPathA(MAX_PATH, temp);
  std::string link = std::string(temp) + "zep-missing-" + std::to_string(GetCurrentProcessId()) + "\\x.lnk";
  test::MessageScript script;
  EXPECT_NE(create_shortcut("C:\\x.exe", link.c_str(), "", "C:\\x.exe"), 0);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].text, "IPersistFile->Save() Error");
  EXPECT_EQ(script.shown()[0].caption, "Error");
  EXPECT_FALSE(script.shown()[0].has_owner);
}

}  // namespace
}  // namespace zep
