// The Start Menu part of the registration on the host, where the registry and the shell are kept in
// memory and the Programs folder can be set up freely.
#include <gtest/gtest.h>

#include <filesystem>

#include "install/registration.h"
#include "platform/host_platform.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep {
namespace {

class StartMenuHost : public ::testing::Test {
 protected:
  void SetUp() override { host::reset_all(); }
  void TearDown() override { host::reset_all(); }
};

TEST_F(StartMenuHost, YesWithoutAProgramsValueWarnsAndMakesNoShortcuts) {
  test::MessageScript script;
  script.answer(kIdYes);
  StartMenu menu;
  ask_for_shortcuts(host::make_control(), &menu);
  EXPECT_FALSE(menu.wanted);
  ASSERT_EQ(script.shown().size(), 2u);
  EXPECT_EQ(script.shown()[1].text,
            "Could not access registry to determine Start Menu location.\nNo shortcuts will be added to start menu.");
  EXPECT_EQ(script.shown()[1].caption, "Error");
  EXPECT_EQ(script.shown()[1].style, kMbOk | kMbIconWarning);
  EXPECT_FALSE(script.shown()[1].has_owner);
  // Looking did not write anything: the Shell Folders key holds no value it did not hold before.
  EXPECT_FALSE(host::registry_value(RegistryRoot::kCurrentUser, kShellFoldersKey, "Programs"));
}

TEST_F(StartMenuHost, YesMakesTheAddonFolderAndItsShortcuts) {
  test::TempFolder programs;
  std::string programs_path = programs.native().string();
  host::set_registry_value(RegistryRoot::kCurrentUser, kShellFoldersKey, "Programs", programs_path);
  const auto keys_before = host::registry_keys();
  test::MessageScript script;
  script.answer(kIdYes);
  StartMenu menu;
  ask_for_shortcuts(nullptr, &menu);
  ASSERT_TRUE(menu.wanted);
  EXPECT_STREQ(menu.folder.c_str(), programs_path.c_str());

  make_addon_start_menu_folder("Evil Amul", nullptr, &menu);
  ASSERT_TRUE(menu.wanted);
  EXPECT_EQ(std::string(menu.folder.c_str()), programs_path + "\\Evil Amul\\");
  EXPECT_TRUE(std::filesystem::is_directory(programs.native() / "Evil Amul"));
  // A folder left by an earlier installation is used again.
  StartMenu again = menu;
  again.folder.assign(programs_path.c_str());
  make_addon_start_menu_folder("Evil Amul", nullptr, &again);
  EXPECT_TRUE(again.wanted);

  com_initialize();
  EXPECT_EQ(create_start_menu_shortcut(menu, "Uninstall.lnk", "C:\\Games\\Saga\\UInst.exe",
                                       " -C:\\Games\\Saga\\Evil Amul.log", nullptr),
            0);
  EXPECT_EQ(create_start_menu_shortcut(menu, "evilamul_readme.lnk", "C:\\Games\\Saga\\Override\\evilamul_readme.txt",
                                       "", nullptr),
            0);
  com_uninitialize();
  std::vector<host::ShellLinkRecord> links = host::shell_links();
  ASSERT_EQ(links.size(), 2u);
  EXPECT_EQ(links[0].link_path, programs_path + "\\Evil Amul\\Uninstall.lnk");
  EXPECT_EQ(links[0].target, "C:\\Games\\Saga\\UInst.exe");
  EXPECT_EQ(links[0].arguments, " -C:\\Games\\Saga\\Evil Amul.log");
  EXPECT_EQ(links[0].description, links[0].target);
  EXPECT_EQ(links[1].arguments, "");
  EXPECT_TRUE(std::filesystem::exists(programs.native() / "Evil Amul" / "evilamul_readme.lnk"));
  EXPECT_EQ(script.shown().size(), 1u) << "no message besides the question";
  EXPECT_EQ(host::registry_keys(), keys_before) << "the Shell Folders key is only read";
}

TEST_F(StartMenuHost, FailuresOfTheFolderAndTheSaveAreReported) {
  test::TempFolder programs;
  StartMenu menu;
  menu.wanted = true;
  menu.folder.assign((programs.native() / "missing" / "deeper").string().c_str());
  test::MessageScript script;
  make_addon_start_menu_folder("Mod", nullptr, &menu);
  EXPECT_TRUE(menu.wanted) << "a folder that cannot be made is not reported";
  com_initialize();
  EXPECT_NE(create_start_menu_shortcut(menu, "Uninstall.lnk", "t", "a", nullptr), 0);
  com_uninitialize();
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].text, "IPersistFile->Save() Error");
  EXPECT_EQ(script.shown()[0].caption, "Error");
  EXPECT_FALSE(script.shown()[0].has_owner);

  // Without COM the link object cannot be made: skipped without a message.
  EXPECT_NE(create_shortcut("t", (programs.native() / "x.lnk").string().c_str(), "", "t"), 0);
  EXPECT_EQ(script.shown().size(), 1u);

  // Paths that do not fit are refused with a message, and nothing is made.
  StartMenu full;
  full.wanted = true;
  full.folder.assign(std::string(250, 'p').c_str());
  make_addon_start_menu_folder("A much longer add-on name", nullptr, &full);
  EXPECT_FALSE(full.wanted);
  StartMenu nearly;
  nearly.wanted = true;
  nearly.folder.assign(std::string(250, 'p').c_str());
  EXPECT_EQ(create_start_menu_shortcut(nearly, "a-rather-long-shortcut-name.lnk", "t", "", nullptr), -1);
  EXPECT_EQ(script.shown().size(), 3u);
  EXPECT_EQ(host::shell_links().size(), 1u) << "only the save that failed was tried";
}

}  // namespace
}  // namespace zep
