// The own path and `AddonName` derived from the command line, rule by rule.
#include <gtest/gtest.h>

#include <string>

#include "shell/command_options.h"
#include "shell/self_location.h"

namespace zep {
namespace {

// The own path for a command line as the system gives it (lower-cased first, as the installer does).
std::string own_path_for(std::string command_line) {
  lower_case_ascii(command_line.data());
  HeapBuffer storage;
  const char* path = derive_own_path(command_line.c_str(), &storage);
  return path == nullptr ? "<no memory>" : path;
}

std::string name_for(const std::string& own_path) {
  char name[kAddonNameCapacity];
  if (!derive_addon_name(own_path.c_str(), name)) return "<refused:" + std::string(name) + ">";
  return name;
}

TEST(SelfLocation, LowerCasingChangesOnlyAToZ) {
  std::string text = "C:\\Games\\BigMod.EXE [\xC0\xE9]@Z";
  lower_case_ascii(text.data());
  EXPECT_EQ(text, "c:\\games\\bigmod.exe [\xC0\xE9]@z");
}

TEST(SelfLocation, QuotedCommandLinesGiveTheBarePath) {
  EXPECT_EQ(own_path_for("\"C:\\Games\\BigMod.Setup.exe\""), "c:\\games\\bigmod.setup.exe");
  EXPECT_EQ(own_path_for("\"C:\\Games\\BigMod.exe\" "), "c:\\games\\bigmod.exe");
  // Files dropped on the program arrive as arguments after the quoted path.
  EXPECT_EQ(own_path_for("\"C:\\Games\\BigMod.exe\" \"C:\\My Files\\notes.txt\""), "c:\\games\\bigmod.exe");
  EXPECT_EQ(own_path_for("\"C:\\Games\\BigMod\""), "c:\\games\\bigmod.exe");
  EXPECT_EQ(own_path_for("\"C:\\Games\\BigMod.EXE"), "c:\\games\\bigmod.exe");  // never closed
  EXPECT_EQ(own_path_for("\"\""), ".exe");
  // ".exe" anywhere in the command line, arguments included, suppresses the appending.
  EXPECT_EQ(own_path_for("\"C:\\Games\\BigMod\" x.exe"), "c:\\games\\bigmod");
}

TEST(SelfLocation, UnquotedCommandLinesAreUsedAsTheyStand) {
  std::string lowered = "c:\\games\\bigmod.exe";
  HeapBuffer storage;
  EXPECT_EQ(derive_own_path(lowered.c_str(), &storage), lowered.c_str()) << "no copy is made";
  EXPECT_TRUE(storage.empty());
  EXPECT_EQ(own_path_for("C:\\Games\\BigMod.exe extra words"), "c:\\games\\bigmod.exe extra words");
  EXPECT_EQ(own_path_for("BigMod"), "bigmod.exe");
  EXPECT_EQ(own_path_for("C:\\My.exe.files\\BigMod"), "c:\\my.exe.files\\bigmod");
}

TEST(SelfLocation, AddonNameIsTheFileNameUpToItsFirstDotWithItsFirstLetterRaised) {
  EXPECT_EQ(name_for("c:\\games\\bigmod.setup.exe"), "Bigmod");
  EXPECT_EQ(name_for("c:\\games\\mymod.exe"), "Mymod");
  EXPECT_EQ(name_for("mymod.exe"), "Mymod");                  // no backslash
  EXPECT_EQ(name_for("c:\\games.d\\mymod"), "Mymod");         // no dot after the last backslash
  EXPECT_EQ(name_for("c:\\games\\2mod.exe"), "2mod");
  EXPECT_EQ(name_for("c:\\games\\_mod.exe"), "_mod");
  EXPECT_EQ(name_for("c:\\games\\~mod.exe"), "^mod");
  EXPECT_EQ(name_for("c:\\games\\{mod}.exe"), "[mod}");
  EXPECT_EQ(name_for("c:\\games\\\x7fmod.exe"), "_mod");
  EXPECT_EQ(name_for("c:\\games\\\xe9mod.exe"), "\xe9mod");   // from 0x80 up nothing changes
  EXPECT_EQ(name_for("c:\\games\\.exe"), "");
  // A backslash at the very start is never looked at, so it stays part of the name.
  EXPECT_EQ(name_for("\\mymod.exe"), "\\mymod");
  EXPECT_EQ(name_for("c:\\games\\"), "");
}

TEST(SelfLocation, AddonNameThatDoesNotFitIsRefused) {
  std::string fits(kAddonNameCapacity - 1, 'm');
  EXPECT_EQ(name_for("c:\\" + fits + ".exe"), "M" + fits.substr(1));
  EXPECT_EQ(name_for("c:\\" + fits + "m.exe"), "<refused:>");
}

}  // namespace
}  // namespace zep

namespace zep {
namespace {

TEST(CommandLine, ArgumentsFollowTheOwnPathAndAreReadAsTheScriptedInstallNeeds) {
  // Where the arguments begin: after a quoted path's closing quote, else at a blank before a slash.
  const struct {
    const char* line;
    const char* arguments;
  } splits[] = {
      {"\"C:\\Mods\\Lantern.exe\"", ""},
      {"\"C:\\Mods\\My /Mod\\Lantern.exe\"  /S /D=C:\\Game", "/S /D=C:\\Game"},
      {"C:\\Mods\\Lantern.exe /S /D=C:\\Game", "/S /D=C:\\Game"},
      {"C:\\My Mods\\Lantern.exe", ""},
      {"Lantern /s /d=c:\\game", "/s /d=c:\\game"},
  };
  for (const auto& split : splits) {
    SCOPED_TRACE(split.line);
    EXPECT_STREQ(installer_arguments(split.line), split.arguments);
  }

  struct Case {
    const char* arguments;
    bool overwrite = true, shortcuts = false;
    const char* report = nullptr;
    const char* game_folder = nullptr;
  };
  const Case cases[] = {
      {"/S /D=C:\\Game", true, false, nullptr, "C:\\Game"},
      {"/s /o=NO /shortcuts /report=C:\\r.txt /d=C:\\Program Files\\Black Isle\\BGII  ", false, true,
       "C:\\r.txt", "C:\\Program Files\\Black Isle\\BGII"},
      {"/REPORT=\"C:\\My Logs\\r.txt\" /O=yes /S /D=D:\\", true, false, "C:\\My Logs\\r.txt", "D:\\"},
      {"/S /D=C:\\A /S", true, false, nullptr, "C:\\A /S"},  // /D= takes the rest of the line
      // Backslashes at the end go: the game folder gets its one when it is checked.
      {"/S /D=C:\\Games\\BG2\\ ", true, false, nullptr, "C:\\Games\\BG2"},
      {"/S /D=\\\\server\\share\\BG2", true, false, nullptr, "\\\\server\\share\\BG2"},
  };
  // Bad command lines, and whether /S was read all the same: it decides that no usage box is shown.
  const struct {
    const char* arguments;
    bool silent;
  } bad_lines[] = {
      {"/D=C:\\Game", false},  // no window, but no /S
      {"/S", true},             // no game folder
      {"/S /D=", true},
      {"/S /D=   ", true},
      {"/S /D=\\\\", true},
      {"/S /S /D=C:\\Game", true},
      {"/S /O=maybe /D=C:\\Game", true},
      {"/O=maybe /S /D=C:\\Game", true},
      {"/QUIET /S /D=C:\\Game", true},
      {"/S /O=yes /O=no /D=C:\\Game", true},
      {"/S /REPORT= /D=C:\\Game", true},
      {"/S /SHORTCUTSX /D=C:\\Game", true},
      {"/S /Silent /D=C:\\Game", true},
      {"-S /D=C:\\Game", false},
      // A folder that is not a whole path would go into the uninstall command as it is.
      {"/S /D=Games\\BG2", true},
      {"/S /D=..\\BG2", true},
#ifdef _WIN32
      {"/S /D=\\Games\\BG2", true},  // from the current drive's root (the host layer's root is Linux's)
#endif
      {"/S /D=C:Games", true},
  };
  for (const auto& line : bad_lines) {
    SCOPED_TRACE(line.arguments);
    std::string copy = line.arguments;
    InstallerOptions options;
    EXPECT_FALSE(read_installer_options(copy.data(), &options));
    EXPECT_EQ(options.silent, line.silent);
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.arguments);
    std::string copy = c.arguments;
    InstallerOptions options;
    ASSERT_TRUE(read_installer_options(copy.data(), &options));
    EXPECT_TRUE(options.silent);
    EXPECT_EQ(options.overwrite, c.overwrite);
    EXPECT_EQ(options.shortcuts, c.shortcuts);
    EXPECT_EQ(options.report == nullptr ? std::string("<none>") : std::string(options.report),
              c.report == nullptr ? "<none>" : c.report);
    EXPECT_STREQ(options.game_folder, c.game_folder);
  }
}

}  // namespace
}  // namespace zep
