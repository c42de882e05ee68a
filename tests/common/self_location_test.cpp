// The own path and `AddonName` derived from the command line, rule by rule.
#include <gtest/gtest.h>

#include <string>

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
