// Registration for uninstallation, through the real registry on Windows and the host's in-memory one.
#include <gtest/gtest.h>

#include <chrono>
#include <random>
#include <string>

#include "install/registration.h"
#include "tests/support/message_script.h"

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
  // The largest that fits the 520-byte buffer, then one byte more.
  std::string game = "C:\\" + std::string(240, 'g') + "\\";  // 244 bytes
  std::string name(15, 'n');  // 1 + 244 + 12 + 244 + 15 + 4 = 520 bytes, and no room for the zero
  test::MessageScript script;
  UninstallCommand command;
  EXPECT_FALSE(build_uninstall_command(game.c_str(), name.c_str(), nullptr, &command));
  EXPECT_STREQ(command.c_str(), "");
  ASSERT_EQ(script.shown().size(), 1u);
  EXPECT_EQ(script.shown()[0].caption, "ZEP SFX");
  EXPECT_TRUE(build_uninstall_command(game.c_str(), name.substr(1).c_str(), nullptr, &command));
  EXPECT_EQ(command.length(), 519u);
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
