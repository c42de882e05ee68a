// Registration for uninstallation, through the real registry on Windows and the host's in-memory one.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <random>
#include <string>

#include "install/registration.h"
#include "tests/support/message_script.h"
#include "tests/support/temp_folder.h"

namespace zep {
namespace {

// Reads a value through the platform layer, also checking that its data is the text and its zero.
std::string read_value(RegistryRoot root, const std::string& key_path, const char* name) {
  KeyRef key = nullptr;
  EXPECT_EQ(open_or_create_key(root, key_path.c_str(), &key), 0);
  char buffer[600] = {};
  i32 result = query_string_value(key, name, buffer, sizeof buffer);
  std::string text = result == 0 ? std::string(buffer) : "<missing>";
  if (result == 0) {
    char exact[600];
    EXPECT_EQ(query_string_value(key, name, exact, static_cast<u32>(text.size() + 1)), 0) << name;
    EXPECT_EQ(query_string_value(key, name, exact, static_cast<u32>(text.size())), 234) << name;
  }
  close_key(key);
  return text;
}

std::string unique_addon_name() {
  std::mt19937_64 random(static_cast<u64>(std::chrono::steady_clock::now().time_since_epoch().count()));
  return "Zep Test " + std::to_string(random() % 1000000000);
}

std::string command_for(const char* game_path, const char* addon_name) {
  UninstallCommand command;
  EXPECT_TRUE(build_uninstall_command(game_path, addon_name, nullptr, &command));
  return command.c_str();
}

TEST(Registration, UninstallCommandQuotesTheUninstallersPath) {
  EXPECT_EQ(command_for("C:\\Games\\Saga\\", "Evilamul"), "\"C:\\Games\\Saga\\UInst.exe\" -C:\\Games\\Saga\\Evilamul.log");
  EXPECT_EQ(command_for("C:\\Program Files\\Black Isle\\BGII - SoA\\", "My Mod"),
            "\"C:\\Program Files\\Black Isle\\BGII - SoA\\UInst.exe\" -C:\\Program Files\\Black Isle\\BGII - SoA\\My "
            "Mod.log");
  // The longest the uninstaller takes, then one byte more: a game folder of about 120 characters no
  // longer gives a command that could never be run.
  std::string game = "C:\\" + std::string(115, 'g') + "\\";  // 119 bytes
  std::string name(9, 'n');  // 1 + 119 + 12 + 119 + 9 + 4 = 264 bytes
  test::MessageScript script;
  UninstallCommand command;
  EXPECT_FALSE(build_uninstall_command(game.c_str(), (name + "nnnnn").c_str(), nullptr, &command));
  EXPECT_STREQ(command.c_str(), "");
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, "ZEP SFX");
  EXPECT_FALSE(build_uninstall_command(game.c_str(), name.substr(5).c_str(), nullptr, &command)) << "259 characters";
  EXPECT_TRUE(build_uninstall_command(game.c_str(), name.substr(6).c_str(), nullptr, &command));
  EXPECT_EQ(command.length(), kLongestUninstallCommand);
}

TEST(Registration, KeyHoldsTheNameAndTheCommandAndASecondRegistrationOverwritesThem) {
  const std::string addon = unique_addon_name();
  const std::string key_path = std::string(kUninstallKeyPrefix) + addon;
  {
    UninstallKey key;
    ASSERT_TRUE(key.open_and_name(addon.c_str()));
    ASSERT_TRUE(key.set_command(command_for("C:\\Games\\Saga\\", addon.c_str()).c_str()));
  }
  EXPECT_EQ(read_value(RegistryRoot::kLocalMachine, key_path, "DisplayName"), addon);
  EXPECT_EQ(read_value(RegistryRoot::kLocalMachine, key_path, "UninstallString"),
            "\"C:\\Games\\Saga\\UInst.exe\" -C:\\Games\\Saga\\" + addon + ".log");
  {
    UninstallKey again;
    ASSERT_TRUE(again.open_and_name(addon.c_str()));
    ASSERT_TRUE(again.set_command("second"));
  }
  EXPECT_EQ(read_value(RegistryRoot::kLocalMachine, key_path, "DisplayName"), addon);
  EXPECT_EQ(read_value(RegistryRoot::kLocalMachine, key_path, "UninstallString"), "second");
  EXPECT_EQ(delete_key(RegistryRoot::kLocalMachine, key_path.c_str()), 0);
}

TEST(Registration, AnEntryOfAnotherProgramIsNeverTakenOver) {
  const std::string addon = unique_addon_name();
  const std::string key_path = std::string(kUninstallKeyPrefix) + addon;
  struct Case {
    const char* command;  // null: no UninstallString
    const char* name;     // null: no DisplayName
    bool zep;
  };
  const std::string quoted = "\"C:\\Games\\Saga\\UInst.exe\" -C:\\Games\\Saga\\" + addon + ".log";
  const std::string plain = "C:\\Games\\Saga\\uinst.EXE -C:\\Games\\Saga\\" + addon + ".LOG";
  const Case cases[] = {
      {quoted.c_str(), addon.c_str(), true},
      {plain.c_str(), "anything", true},
      {nullptr, addon.c_str(), true},   // a registration that stopped half way
      {nullptr, nullptr, true},
      {"\"C:\\Program Files\\Other\\uninstall.exe\" /S", addon.c_str(), false},
      {"MsiExec.exe /X{12345678-1234-1234-1234-123456789012}", "Other", false},
      {"C:\\UInst.exe.bat -x.log", "Other", false},
      {nullptr, "Another Program", false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command == nullptr ? "(no command)" : c.command);
    KeyRef key = nullptr;
    ASSERT_EQ(open_or_create_key(RegistryRoot::kLocalMachine, key_path.c_str(), &key), 0);
    if (c.command != nullptr) set_string_value(key, "UninstallString", c.command);
    if (c.name != nullptr) set_string_value(key, "DisplayName", c.name);
    close_key(key);
    test::MessageScript script;
    UninstallKey ours;
    EXPECT_EQ(ours.open_and_name(addon.c_str()), c.zep);
    EXPECT_EQ(script.shown().size(), c.zep ? 0u : 1u);
    if (!c.zep) {
      EXPECT_NE(script.shown()[0].text.find("of another program"), std::string::npos) << script.shown()[0].text;
      EXPECT_EQ(read_value(RegistryRoot::kLocalMachine, key_path, "DisplayName"), c.name) << "left as it is";
    }
    EXPECT_EQ(delete_key(RegistryRoot::kLocalMachine, key_path.c_str()), 0);
  }
}

TEST(Registration, AStartMenuFolderOfAnotherProgramIsNeverTakenOver) {
  const std::string addon = unique_addon_name();
  test::TempFolder programs;
  auto allowed = [](const char* name, const void*) { return std::string(name) == "readme.lnk"; };
  auto made = [&](const std::vector<std::string>& already_there) {
    std::filesystem::remove_all(programs.native() / addon);
    for (const std::string& name : already_there) test::write_native_file(programs.native() / addon / name, "x");
    StartMenu menu;
    menu.wanted = true;
    menu.folder.assign(programs.path().substr(0, programs.path().size() - 1).c_str());
    make_addon_start_menu_folder(addon.c_str(), nullptr, &menu, allowed, nullptr);
    return menu.wanted;
  };
  test::MessageScript script;
  EXPECT_TRUE(made({}));
  EXPECT_TRUE(made({"Uninstall.lnk", "readme.lnk"})) << "what this add-on made before";
  EXPECT_TRUE(script.shown().empty());
  EXPECT_FALSE(made({"Uninstall.lnk", "Other Program.lnk"}));
  EXPECT_FALSE(made({"desktop.ini"}));
  EXPECT_FALSE(made({"inner/file.txt"}));
  ASSERT_EQ(script.shown().size(), 3u);
  EXPECT_NE(script.shown()[0].text.find("holds files this add-on did not make"), std::string::npos);
  EXPECT_TRUE(std::filesystem::exists(programs.native() / addon / "inner")) << "left as it is";
}

TEST(Registration, ShortcutNamesComeFromTheBaseNameCutAtItsLastDot) {
  auto name_of = [](const char* archive_name) {
    StartMenuPath name;
    EXPECT_TRUE(shortcut_name(archive_name, &name));
    return std::string(name.c_str());
  };
  EXPECT_EQ(name_of("Override\\evilamul_readme.txt"), "evilamul_readme.lnk");
  EXPECT_EQ(name_of("Override\\Read.Me.txt"), "Read.Me.lnk");
  EXPECT_EQ(name_of("Override\\notes"), "notes.lnk");
  EXPECT_EQ(name_of("readme.txt"), "readme.lnk");
  EXPECT_EQ(name_of("Docs.d\\notes"), "notes.lnk");  // a dot in the folder part does not count
  EXPECT_EQ(name_of("Override/Docs.d/Read.Me.txt"), "Read.Me.lnk");  // as an archive may name it
  StartMenuPath name;
  EXPECT_FALSE(shortcut_name(std::string(256, 'x').c_str(), &name));
}

TEST(Registration, NoShortcutsWhenTheUserSaysNo) {
  test::MessageScript script;
  script.answer(kIdNo);
  StartMenu menu;
  ask_for_shortcuts(nullptr, &menu);
  EXPECT_FALSE(menu.wanted);
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].text, "Do you want to create Start Menu shortcuts?");
  EXPECT_EQ(script.shown()[0].caption, "ZEP SFX");
  EXPECT_EQ(script.shown()[0].style & 0xF, kMbYesNo);
}

}  // namespace
}  // namespace zep
