// The packer, the string patch compiler and the lister, driven through their commands with real files.
#include <gtest/gtest.h>

#include <cstdlib>
#include <sstream>

#include "archive/format.h"
#include "tests/support/command_status.h"
#include "tests/support/spk_bytes.h"
#include "tests/support/temp_folder.h"
#include "tests/support/tlk_bytes.h"
#include "tools/archive_writer.h"
#include "tools/byte_io.h"
#include "tools/commands.h"
#include "tools/embedded.h"
#include "tools/help.h"
#include "tools/native_file.h"
#include "tools/spk_fields.h"

namespace zep::tool {
namespace {

using test::read_native_file;
using test::TempFolder;
using test::write_native_file;
namespace fs = std::filesystem;

struct CommandResult {
  int code;
  std::string out;
  std::string err;
};

CommandResult pack(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = run_pack(args, out, err);
  return {code, out.str(), err.str()};
}

CommandResult inspect(const std::vector<std::string>& args) {
  std::ostringstream out, err;
  int code = run_inspect(args, out, err);
  return {code, out.str(), err.str()};
}

u32 u32_at(const std::string& bytes, std::size_t offset) {
  return get_u32(reinterpret_cast<const u8*>(bytes.data()) + offset);
}

std::string filler(std::size_t length, char seed) {
  std::string bytes(length, 0);
  for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<char>(seed + i * 7);
  return bytes;
}

// The names of everything in `folder`, so that a test can see that nothing was left behind.
std::vector<std::string> entries_of(const fs::path& folder) {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Test stub and uninstaller programs of known content.
struct Programs {
  explicit Programs(const TempFolder& folder)
      : stub(folder.native() / "stub.exe"), uninstaller(folder.native() / "uinst.exe") {
    write_native_file(stub, "MZ" + filler(4000, 's'));
    write_native_file(uninstaller, "MZ" + filler(2000, 'u'));
  }
  std::vector<std::string> args() const {
    return {"--stub", stub.string(), "--uninstaller", uninstaller.string()};
  }
  fs::path stub;
  fs::path uninstaller;
};

// The string patch file that the installer's documentation walks through: resource EVILAMUL.itm of
// 1082 bytes, four texts of 17, 21, 279 and 2706 bytes with flags 3, 1, 3, 1 and one position each.
StringPatch documented_patch() {
  StringPatch patch;
  patch.resource_name = "EVILAMUL.itm";
  patch.resource.assign(1082, 0x11);
  const std::size_t lengths[] = {17, 21, 279, 2706};
  const u16 flags[] = {3, 1, 3, 1};
  const u32 positions[] = {8, 12, 80, 84};
  for (int k = 0; k < 4; ++k) {
    PatchText text;
    text.text = filler(lengths[k], static_cast<char>('A' + k));
    text.flags = flags[k];
    text.positions = {positions[k]};
    patch.texts.push_back(text);
  }
  return patch;
}

std::string documented_spk4() {
  std::vector<u8> out;
  std::string error;
  EXPECT_TRUE(build_spk4(documented_patch(), out, error)) << error;
  return std::string(out.begin(), out.end());
}

// The sample add-on: one string patch file and five other files with the names and sizes of the
// archive that the installer's documentation walks through.
struct SampleAddon {
  explicit SampleAddon(const TempFolder& folder) : root(folder.native() / "in") {
    write_native_file(root / "EVILAMUL.spk", documented_spk4());
    const std::pair<const char*, std::size_t> files[] = {
        {"evilamul.spl", 826}, {"evlamul1.eff", 272}, {"evlamul2.eff", 272},
        {"evlamul3.eff", 272}, {"evilamul_readme.txt", 938}};
    for (const auto& [name, size] : files) {
      write_native_file(root / name, filler(size, name[4]));
      add.insert(add.end(), {"--add", (root / name).string(), std::string("Override\\") + name});
    }
  }
  std::vector<std::string> args() const {
    std::vector<std::string> all = {"--spk", (root / "EVILAMUL.spk").string()};
    all.insert(all.end(), add.begin(), add.end());
    all.insert(all.end(), {"--open", "override\\EVILAMUL_README.TXT"});
    return all;
  }
  fs::path root;
  std::vector<std::string> add;
};

TEST(Packer, SampleArchiveIsLaidOutFieldByField) {
  TempFolder folder;
  SampleAddon addon(folder);
  std::vector<std::string> args = addon.args();
  args.insert(args.end(), {"--zep", folder / "sample.zep"});
  CommandResult run = pack(args);
  ASSERT_EQ(run.code, kExitOk) << run.err;

  std::string zep = read_native_file(folder / "sample.zep");
  ASSERT_EQ(zep.size(), 7226u);
  EXPECT_EQ(zep.substr(0, 4), std::string("ZEP\0", 4));
  EXPECT_EQ(u32_at(zep, 4), 0u);
  EXPECT_EQ(u32_at(zep, 8), 1u);
  EXPECT_EQ(u32_at(zep, 12), 5u);
  EXPECT_EQ(zep[16], 0);
  EXPECT_EQ(u32_at(zep, 17), 7226u);

  struct Record {
    u32 name_offset, name_length;
    const char* name;
    u32 flags, data_offset, data_length;
  };
  const Record expected[] = {
      {141, 12, "EVILAMUL.spk", 0, 153, 4381},
      {4534, 21, "Override\\evilamul.spl", 0, 4555, 826},
      {5381, 21, "Override\\evlamul1.eff", 0, 5402, 272},
      {5674, 21, "Override\\evlamul2.eff", 0, 5695, 272},
      {5967, 21, "Override\\evlamul3.eff", 0, 5988, 272},
      {6260, 28, "Override\\evilamul_readme.txt", 1, 6288, 938},
  };
  const fs::path sources[] = {"EVILAMUL.spk", "evilamul.spl", "evlamul1.eff", "evlamul2.eff", "evlamul3.eff",
                              "evilamul_readme.txt"};
  for (u32 i = 0; i < 6; ++i) {
    SCOPED_TRACE("record " + std::to_string(i));
    const Record& want = expected[i];
    std::size_t at = entry_offset(i);
    EXPECT_EQ(u32_at(zep, at), want.name_offset);
    EXPECT_EQ(u32_at(zep, at + 4), want.name_length);
    EXPECT_EQ(u32_at(zep, at + 8), want.flags);
    EXPECT_EQ(u32_at(zep, at + 12), want.data_offset);
    EXPECT_EQ(u32_at(zep, at + 16), want.data_length);
    EXPECT_EQ(zep.substr(want.name_offset, want.name_length), want.name);
    EXPECT_EQ(zep.substr(want.data_offset, want.data_length), read_native_file(addon.root / sources[i]));
  }
}

TEST(Packer, SelfExtractingFileHasItsPiecesAtTheFixedOffsets) {
  TempFolder folder;
  SampleAddon addon(folder);
  Programs programs(folder);
  std::vector<std::string> args = addon.args();
  std::vector<std::string> more = programs.args();
  args.insert(args.end(), more.begin(), more.end());
  args.insert(args.end(), {"-o", folder / "Evilamul.exe", "--zep", folder / "sample.zep"});
  CommandResult run = pack(args);
  ASSERT_EQ(run.code, kExitOk) << run.err;

  std::string exe = read_native_file(folder / "Evilamul.exe");
  std::string stub = read_native_file(programs.stub);
  std::string uninstaller = read_native_file(programs.uninstaller);
  ASSERT_EQ(exe.size(), kArchiveOffset + 7226u);
  EXPECT_EQ(exe.substr(0, stub.size()), stub);
  EXPECT_EQ(exe.substr(stub.size(), kUninstallerOffset - stub.size()),
            std::string(kUninstallerOffset - stub.size(), '\0'));
  EXPECT_EQ(exe.substr(kUninstallerOffset, uninstaller.size()), uninstaller);
  EXPECT_EQ(exe.substr(kUninstallerOffset + uninstaller.size(), kUninstallerLength - uninstaller.size()),
            std::string(kUninstallerLength - uninstaller.size(), '\0'));
  EXPECT_EQ(exe.substr(kArchiveOffset), read_native_file(folder / "sample.zep"));
  EXPECT_EQ(entries_of(folder.native()),
            (std::vector<std::string>{"Evilamul.exe", "in", "sample.zep", "stub.exe", "uinst.exe"}));
}

TEST(Packer, BuiltInProgramsAreTheShippingOnes) {
  EmbeddedProgram stub = embedded_stub();
  EmbeddedProgram uninstaller = embedded_uninstaller();
  if (stub.data == nullptr) GTEST_SKIP() << "this build of the tests has no programs built in";
  TempFolder folder;
  write_native_file(folder.native() / "a.txt", "text");
  CommandResult run = pack({"--add", folder / "a.txt", "a.txt", "-o", folder / "A.exe"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  std::string exe = read_native_file(folder / "A.exe");
  ASSERT_GT(exe.size(), kArchiveOffset);
  EXPECT_EQ(exe.substr(0, stub.length), std::string(reinterpret_cast<const char*>(stub.data), stub.length));
  EXPECT_EQ(exe.substr(kUninstallerOffset, uninstaller.length),
            std::string(reinterpret_cast<const char*>(uninstaller.data), uninstaller.length));
  EXPECT_LE(stub.length, kUninstallerOffset);
  EXPECT_LE(uninstaller.length, kUninstallerLength);
}

TEST(Packer, FolderIsPackedAsTheGameFolderWithItsSourcesCompiled) {
  TempFolder folder;
  fs::path in = folder.native() / "addon";
  write_native_file(in / "thing.itm", filler(100, 'i'));
  write_native_file(in / "THING.spks", "resource thing.itm\nstring ~A thing~ at 8\nstring ~Its tale~ at 12\n");
  write_native_file(in / "OLD.SPK", test::build_spk3("old.itm", filler(40, 'o'), {{"Old", 1, "", 0, 0, {4}}}));
  write_native_file(in / "Override" / "b.spl", "b");
  write_native_file(in / "Override" / "A.eff", "a");
  write_native_file(in / "readme.txt", "r");
  write_native_file(in / ".hidden", "h");
  write_native_file(in / ".git" / "config", "g");
  CommandResult run =
      pack({in.string(), "--open", "README.TXT", "--open", "override/B.SPL", "--zep", folder / "Thing.zep"});
  ASSERT_EQ(run.code, kExitOk) << run.err;
  EXPECT_NE(run.out.find("Thing.zep: installs as the add-on \"Thing\""), std::string::npos) << run.out;
  EXPECT_EQ(run.err, "");
  std::string zep = read_native_file(folder / "Thing.zep");

  ASSERT_EQ(u32_at(zep, 8), 2u);
  ASSERT_EQ(u32_at(zep, 12), 3u);
  auto name = [&](u32 i) { return zep.substr(u32_at(zep, entry_offset(i)), u32_at(zep, entry_offset(i) + 4)); };
  EXPECT_EQ(name(0), "OLD.SPK");
  EXPECT_EQ(name(1), "THING.spk");
  // thing.itm went into THING.spk; the hidden files stay out; names are in case-insensitive order.
  EXPECT_EQ(name(2), "Override\\A.eff");
  EXPECT_EQ(name(3), "Override\\b.spl");
  EXPECT_EQ(name(4), "readme.txt");
  EXPECT_EQ(u32_at(zep, entry_offset(4) + 8), kRunAfterInstall);
  EXPECT_EQ(u32_at(zep, entry_offset(2) + 8), 0u);
  EXPECT_EQ(u32_at(zep, entry_offset(3) + 8), kRunAfterInstall);  // a slash separates, as on Windows

  std::string spk = zep.substr(u32_at(zep, entry_offset(1) + 12), u32_at(zep, entry_offset(1) + 16));
  MemorySource source(reinterpret_cast<const u8*>(spk.data()), spk.size());
  SpkFile read = read_spk_fields(source, true);
  EXPECT_TRUE(read.problems.empty());
  EXPECT_EQ(read.version, 4);
  EXPECT_EQ(read.resource_name, "thing.itm");
  ASSERT_EQ(read.texts.size(), 2u);
  EXPECT_EQ(read.texts[0].text, "A thing");
  EXPECT_EQ(positions_of(read, read.texts[1]), std::vector<u32>{12});
}

TEST(Packer, BadInputIsRefusedAndLeavesNothingBehind) {
  TempFolder folder;
  fs::path data = folder.native() / "data.bin";
  write_native_file(data, "data");
  write_native_file(folder.native() / "out" / "old.exe", "the previous build");
  std::string out_exe = (folder.native() / "out" / "old.exe").string();
  std::string out_zep = (folder.native() / "out" / "new.zep").string();
  Programs programs(folder);

  // String patch files the installer would refuse or pass over, and two that install one resource.
  auto patch_file = [&](const std::string& name, const std::string& bytes) {
    write_native_file(folder.native() / name, bytes);
    return (folder.native() / name).string();
  };
  const std::string item = patch_file("item.itm", "ITM V1  " + filler(40, 'i'));
  const std::string spkn = patch_file("n.spk", "SPKN" + filler(60, 'n'));
  const std::string past_end = patch_file("past.spk", test::build_spk4("x.itm", filler(10, 'x'), {{"t", 1, "", 0, 0, {8}}}));
  std::string damaged_bytes = test::build_spk4("x.itm", filler(10, 'x'), {{"t", 1, "", 0, 0, {0}}});
  damaged_bytes[test::spk_field::kResourceLength + 3] = '\x40';
  const std::string damaged = patch_file("damaged.spk", damaged_bytes);
  const std::string device = patch_file("device.spk", test::build_spk3("CON", filler(10, 'x'), {{"t", 1, "", 0, 0, {0}}}));
  const std::string first = patch_file("first.spk", test::build_spk4("same.itm", filler(10, 'a'), {}));
  const std::string second = patch_file("second.spk", test::build_spk3("SAME.ITM", filler(10, 'b'), {}));

  struct Case {
    const char* what;
    std::vector<std::string> args;
    const char* message;
  };
  std::string long_name(257, 'a');
  const Case cases[] = {
      {"not a string patch file", {"--spk", item}, "is not a string patch file"},
      {"an SPKN file", {"--spk", spkn}, "SPKN"},
      {"a position past the resource", {"--spk", past_end}, "a position lies outside its resource"},
      {"a damaged field", {"--spk", damaged}, "its resource lies outside it"},
      {"a resource the installer never places", {"--spk", device}, "never places"},
      {"two patches of one resource", {"--spk", first, "--spk", second}, "would both install override\\SAME.ITM"},
      {"a patch and a file of one resource", {"--spk", first, "--add", data.string(), "Override/Same.itm"},
       "would both install Override\\Same.itm"},
      {"a file and a patch of one resource", {"--add", data.string(), "override\\same.itm", "--spk", first},
       "would both install override\\same.itm"},
      {"missing file", {"--add", (folder.native() / "nope.bin").string(), "x.bin"}, "nope.bin: no such file (2)"},
      {"long name", {"--add", data.string(), long_name}, "longer than 256"},
      {"parent folder", {"--add", data.string(), "..\\x"}, "leave the game folder"},
      {"inner parent folder", {"--add", data.string(), "Override\\..\\..\\x"}, "leave the game folder"},
      {"drive", {"--add", data.string(), "C:\\x"}, "drive"},
      {"root", {"--add", data.string(), "\\x"}, "leave the game folder"},
      {"duplicate", {"--add", data.string(), "Override\\X", "--add", data.string(), "override\\x"}, "twice"},
      {"open without file", {"--add", data.string(), "x", "--open", "y"}, "no such file"},
      {"missing folder", {(folder.native() / "nope").string()}, "nope: no such folder (3)"},
      {"missing source", {"--spk", (folder.native() / "nope.spks").string()}, "nope.spks: no such file (2)"},
      // What the installer keeps for itself; the outputs old.exe and new.zep name the add-ons Old and New.
      {"the talk table", {"--add", data.string(), "DIALOG.TLK"}, "keeps for itself"},
      {"the female talk table", {"--add", data.string(), "dialogF.tlk"}, "keeps for itself"},
      {"the uninstaller", {"--add", data.string(), "uinst.exe"}, "keeps for itself"},
      {"the log", {"--add", data.string(), "Old.log"}, "keeps for itself"},
      {"the bare archive's log", {"--add", data.string(), "new.log"}, "keeps for itself"},
      {"the backup folder", {"--add", data.string(), "Old.zep-backup\\Override\\x.itm"}, "keeps for itself"},
      {"another add-on's log", {"--add", data.string(), "Beta.log"}, "any add-on's log or backup folder"},
      {"another add-on's log's temporary file", {"--add", data.string(), "beta.LOG.new"}, "keeps for itself"},
      {"another add-on's backup", {"--add", data.string(), "Beta.zep-backup\\Override\\x.itm"}, "keeps for itself"},
      {"a short name", {"--add", data.string(), "BETA~1.ZEP\\Override\\x.itm"}, "NAME~1.EXT"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> args = c.args;
    std::vector<std::string> more = programs.args();
    args.insert(args.end(), more.begin(), more.end());
    args.insert(args.end(), {"-o", out_exe, "--zep", out_zep});
    CommandResult run = pack(args);
    EXPECT_EQ(run.code, kExitFailed);
    EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
    EXPECT_EQ(read_native_file(out_exe), "the previous build");
    EXPECT_EQ(entries_of(folder.native() / "out"), std::vector<std::string>{"old.exe"});
  }

  // A command line without outputs or content is a usage error, which names the option and shows
  // the command's usage.
  EXPECT_EQ(pack({"--add", data.string(), "x"}).code, kExitUsage);
  EXPECT_EQ(pack({"--zep", out_zep}).code, kExitUsage);
  CommandResult unknown = pack({"--frobnicate", "-o", out_exe});
  EXPECT_EQ(unknown.code, kExitUsage);
  EXPECT_NE(unknown.err.find("zep pack: unknown option --frobnicate"), std::string::npos) << unknown.err;
  EXPECT_NE(unknown.err.find("zep pack [FOLDER...]"), std::string::npos) << unknown.err;
  CommandResult missing = pack({"--add", data.string()});
  EXPECT_EQ(missing.code, kExitUsage);
  EXPECT_NE(missing.err.find("--add needs 2 values"), std::string::npos) << missing.err;
  EXPECT_EQ(pack({"--add", data.string(), "x", "-o", out_exe, "--zep", out_exe}).code, kExitUsage);
  // The same output under two spellings, both relative and neither there yet.
  const fs::path before = fs::current_path();
  fs::current_path(folder.native() / "out");
  EXPECT_EQ(pack({"--add", data.string(), "x", "-o", "q.exe", "--zep", "./q.exe"}).code, kExitUsage);
  fs::current_path(before);
  EXPECT_FALSE(fs::exists(folder.native() / "out" / "q.exe"));
  EXPECT_EQ(read_native_file(out_exe), "the previous build");

  // An output that is also an input is refused before anything is written.
  fs::path addon = folder.native() / "addon";
  write_native_file(addon / "r.itm", filler(20, 'r'));
  write_native_file(addon / "k.spks", "resource r.itm\nstring ~a~ at 0\n");
  struct Clash {
    const char* what;
    std::vector<std::string> args;
  };
  const Clash clashes[] = {
      {"an added file", {"--add", data.string(), "x", "-o", data.string()}},
      {"a string patch file", {"--spk", first, "--zep", first}},
      {"a source", {"--spk", (addon / "k.spks").string(), "--zep", (addon / "k.spks").string()}},
      {"a source's resource", {"--spk", (addon / "k.spks").string(), "--zep", (addon / "r.itm").string()}},
      {"a file inside the folder", {addon.string(), "--zep", (addon / "Addon.zep").string()}},
      {"the folder's own name", {addon.string(), "-o", (addon / "sub" / ".." / "Addon.exe").string()}},
      {"the stub", {"--add", data.string(), "x", "--stub", programs.stub.string(), "--uninstaller",
                    programs.uninstaller.string(), "-o", programs.stub.string()}},
  };
  std::vector<Clash> all(std::begin(clashes), std::end(clashes));
  if (names_ignore_case()) {
    // Where letter case makes no difference, neither does it to these checks.
    std::string upper = (folder.native() / "ADDON").string();
    all.push_back({"the folder in capitals", {addon.string(), "-o", upper + "\\Override\\y.exe"}});
    all.push_back({"a source's resource in capitals", {"--spk", (addon / "k.spks").string(), "--zep", upper + "\\R.ITM"}});
  }
  for (const Clash& c : all) {
    SCOPED_TRACE(c.what);
    std::vector<std::string> before = entries_of(folder.native());
    std::vector<std::string> inside = entries_of(addon);
    std::string data_before = read_native_file(data), stub_before = read_native_file(programs.stub);
    CommandResult run = pack(c.args);
    EXPECT_EQ(run.code, kExitFailed);
    EXPECT_TRUE(run.err.find("is also an input") != std::string::npos ||
                run.err.find("lies inside the add-on folder") != std::string::npos) << run.err;
    EXPECT_EQ(entries_of(folder.native()), before);
    EXPECT_EQ(entries_of(addon), inside);
    EXPECT_EQ(read_native_file(data), data_before);
    EXPECT_EQ(read_native_file(programs.stub), stub_before);
  }
}

TEST(Packer, SaysTheAddonNameTheInstallerWillTakeAndWarnsWhenItDiffers) {
  TempFolder folder;
  write_native_file(folder.native() / "a.txt", "a");
  Programs programs(folder);
  struct Case {
    std::string file;
    const char* name;  // null: refused
    bool warned;
  };
  const Case cases[] = {
      {"Lantern.exe", "Lantern", false},
      {"MyMod.exe", "Mymod", true},
      {"my.big.mod.exe", "My", true},
      {"lantern.v2.zep", "Lantern", true},
      {".exe", nullptr, false},
      {std::string(300, 'a') + ".exe", nullptr, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file.substr(0, 40));
    std::vector<std::string> args = programs.args();
    bool bare = c.file.size() > 4 && c.file.substr(c.file.size() - 4) == ".zep";
    args.insert(args.end(), {"--add", folder / "a.txt", "a.txt", bare ? "--zep" : "-o", folder / c.file});
    CommandResult run = pack(args);
    if (c.name == nullptr) {
      EXPECT_EQ(run.code, kExitFailed);
      EXPECT_NE(run.err.find("name"), std::string::npos) << run.err;
      std::error_code code;
      EXPECT_FALSE(fs::exists(folder.native() / c.file, code));
      continue;
    }
    ASSERT_EQ(run.code, kExitOk) << run.err;
    EXPECT_NE(run.out.find("installs as the add-on \"" + std::string(c.name) + "\""), std::string::npos) << run.out;
    if (c.warned) {
      EXPECT_NE(run.err.find("warning: " + (folder / c.file) + " installs as \"" + c.name + "\", not"), std::string::npos)
          << run.err;
    } else {
      EXPECT_EQ(run.err, "");
    }
  }
}

TEST(Packer, ArchiveOver4GiBIsRefusedBeforeAnythingIsWritten) {
  TempFolder folder;
  fs::path big = folder.native() / "big.bin";
  write_native_file(big, "");
  // Sparse: 4 GiB of size, no disk space.
  std::error_code grown;
  fs::resize_file(big, std::uintmax_t{1} << 32, grown);
  ASSERT_FALSE(grown) << grown.message();
  CommandResult run = pack({"--add", big.string(), "big.bin", "--zep", folder / "big.zep"});
  EXPECT_EQ(run.code, kExitFailed);
  EXPECT_NE(run.err.find("more than"), std::string::npos) << run.err;
  EXPECT_EQ(entries_of(folder.native()), std::vector<std::string>{"big.bin"});

  // One byte under the limit of what a self-extracting file can address is planned without complaint.
  PackItem item;
  item.name = "x";
  item.length = kMaxArchiveLength - kEntryTableOffset - sizeof(ArchiveEntry) - 1;
  ArchivePlan plan;
  std::string error;
  EXPECT_TRUE(plan_archive({}, {item}, plan, error)) << error;
  u32 total_length = plan.header.total_length;  // a packed field: copied before comparing
  EXPECT_EQ(total_length, kMaxArchiveLength);
  item.length += 1;
  EXPECT_FALSE(plan_archive({}, {item}, plan, error));
}

TEST(Packer, ToolProgramReportsThroughItsExitCode) {
  TempFolder folder;
  std::string tool = ZEP_TOOL;
  auto exit_code = [&](const std::string& args) {
    return test::exit_code_of(std::system((tool + " " + args + test::kDiscardOutput).c_str()));
  };
  write_native_file(folder.native() / "a.txt", "a");
  std::string zep = folder / "a.zep";
  EXPECT_EQ(exit_code(""), kExitUsage);
  EXPECT_EQ(exit_code("bogus"), kExitUsage);
  EXPECT_EQ(exit_code("pack --add " + folder / "a.txt" + " \"x\\a.txt\" --zep " + zep), kExitOk);
  EXPECT_EQ(exit_code("list " + zep), kExitOk);
  // Help and version answer with 0; asking for a command that does not exist is a usage error.
  for (const char* asked : {"--help", "-h", "help", "help pack", "pack --help", "inspect -h", "--version"}) {
    EXPECT_EQ(exit_code(asked), kExitOk) << asked;
  }
  EXPECT_EQ(exit_code("help bogus"), kExitUsage);
#ifndef _WIN32  // on Windows zep install only names the program that installs
  EXPECT_EQ(exit_code("install --yes --no " + zep + " " + folder.path()), kExitUsage);
#endif
  EXPECT_EQ(exit_code("list --frobnicate " + zep), kExitUsage);
  EXPECT_EQ(exit_code("pack --add " + folder / "a.txt" + " \"..\\a.txt\" --zep " + zep), kExitFailed);
}

// ---------------------------------------------------------------------------------------------

TEST(StringPatch, Spk4IsLaidOutAsTheDocumentedExample) {
  StringPatch patch = documented_patch();
  const std::size_t lengths[] = {17, 21, 279, 2706};
  const u16 flags[] = {3, 1, 3, 1};
  const u32 positions[] = {8, 12, 80, 84};
  std::string spk = documented_spk4();
  ASSERT_EQ(spk.size(), 4381u);
  EXPECT_EQ(spk.substr(0, 4), "SPK4");
  EXPECT_EQ(spk.substr(8, 12), "EVILAMUL.itm");
  EXPECT_EQ(u32_at(spk, 20), 276u);   // resource
  EXPECT_EQ(u32_at(spk, 24), 1082u);
  EXPECT_EQ(u32_at(spk, 32), 1358u);  // text base
  EXPECT_EQ(u32_at(spk, 36), 4u);     // entries
  EXPECT_EQ(u32_at(spk, 40), 60u);
  EXPECT_EQ(u32_at(spk, 44), 4u);     // reference table
  EXPECT_EQ(u32_at(spk, 48), 260u);
  EXPECT_EQ(u32_at(spk, 52), 0u);     // no further table
  EXPECT_EQ(u32_at(spk, 56), 276u);
  const u32 text_offsets[] = {0, 17, 38, 317};
  for (u32 k = 0; k < 4; ++k) {
    SCOPED_TRACE("entry " + std::to_string(k));
    std::size_t at = 60 + 50 * k;
    EXPECT_EQ(u32_at(spk, at), text_offsets[k]);
    EXPECT_EQ(u32_at(spk, at + 4), lengths[k]);
    EXPECT_EQ(spk.substr(at + 8, 8), std::string(8, '\0'));
    EXPECT_EQ(u32_at(spk, at + 16), 0u);
    EXPECT_EQ(u32_at(spk, at + 20), 0u);
    EXPECT_EQ(get_u16(reinterpret_cast<const u8*>(spk.data()) + at + 24), flags[k]);
    EXPECT_EQ(u32_at(spk, at + 26), k);
    EXPECT_EQ(u32_at(spk, at + 30), 1u);
    EXPECT_EQ(spk.substr(at + 34, 16), std::string(16, '\0'));
    EXPECT_EQ(u32_at(spk, 260 + 4 * k), positions[k]);
    EXPECT_EQ(spk.substr(1358 + text_offsets[k], lengths[k]), patch.texts[k].text);
  }
  EXPECT_EQ(spk.substr(276, 1082), std::string(1082, 0x11));
}

TEST(StringPatch, UnsoundPatchesAreRefused) {
  StringPatch good;
  good.resource_name = "TWELVECHARS1";  // exactly 12: stored without a terminator
  good.resource.assign(16, 0);
  good.texts.push_back({"t", "SOUND001", 0, 0, 3, {0, 12}});
  std::vector<u8> out;
  std::string error;
  ASSERT_TRUE(build_spk4(good, out, error)) << error;
  EXPECT_EQ(std::string(out.begin() + 8, out.begin() + 20), "TWELVECHARS1");

  auto refusal = [](StringPatch patch) {
    std::vector<u8> bytes;
    std::string problem;
    EXPECT_FALSE(build_spk4(patch, bytes, problem));
    return problem;
  };
  StringPatch bad = good;
  bad.resource_name = "THIRTEENCHARS";
  EXPECT_NE(refusal(bad).find("longer than 12"), std::string::npos);
  bad = good;
  bad.resource_name = "..";
  EXPECT_FALSE(refusal(bad).empty());
  bad = good;
  bad.texts[0].positions = {13};  // its 4 bytes would end past the 16-byte resource
  EXPECT_NE(refusal(bad).find("not inside"), std::string::npos);
  bad = good;
  bad.texts.push_back({"u", "", 0, 0, 1, {2}});  // overlaps the strref at 0
  EXPECT_NE(refusal(bad).find("overlaps"), std::string::npos);
  bad = good;
  bad.texts[0].sound = "NINECHARS";
  EXPECT_NE(refusal(bad).find("longer than 8"), std::string::npos);
}

TEST(StringPatch, SourceMistakesNameTheirLine) {
  TempFolder folder;
  write_native_file(folder.native() / "r.itm", std::string(20, 0));
  struct Case {
    const char* source;
    const char* message;
  };
  const Case cases[] = {
      {"resource r.itm\nstring ~a~\n  at 4\n  colour red\n", ":4:"},
      {"resource r.itm\nat 4\n", ":2:"},
      {"resource r.itm\nstring ~never closed\n\n", ":2:"},
      {"string ~a~\n", "resource"},
      {"resource r.itm\nstring ~a~ at 0x1G\n", ":2: `at`: `0x1G` is not a number"},
      {"resource r.itm\nstring ~a~\n\n at -1\n", ":4: `at`: `-1` is negative"},
      {"resource r.itm\nstring ~a~ at 4 12abc\n", ":2: `at`: `12abc` is not a number"},
      {"resource r.itm\nstring ~a~ at 0xffffffffff\n", ":2: `at`: `0xffffffffff` is larger than 0xFFFFFFFF"},
      {"resource r.itm\nstring ~a~ at 0\nflags 99999\n", ":3:"},
      {"resource r.itm\nstring ~a~\nvolume 1x\n", ":3: `volume`: `1x` is not a number"},
      {"resource r.itm\nstring ~a~ at 20\n", "not inside"},
      {"resource missing.itm\n", "missing.itm: no such file (2)"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.source);
    write_native_file(folder.native() / "p.spks", c.source);
    std::ostringstream out, err;
    EXPECT_EQ(run_spk({folder / "p.spks", "-o", folder / "p.spk"}, out, err), kExitFailed);
    EXPECT_NE(err.str().find(c.message), std::string::npos) << err.str();
    EXPECT_FALSE(fs::exists(folder.native() / "p.spk"));
  }

  // A UTF-8 byte order mark before the first word is accepted; its lines count as written.
  write_native_file(folder.native() / "p.spks", "\xEF\xBB\xBFresource r.itm\nstring ~a~ at 4\n");
  std::ostringstream out, err;
  EXPECT_EQ(run_spk({folder / "p.spks"}, out, err), kExitOk) << err.str();
  write_native_file(folder.native() / "p.spks", "\xEF\xBB\xBFresource r.itm\nstring ~a~ at x\n");
  EXPECT_EQ(run_spk({folder / "p.spks"}, out, err), kExitFailed);
  EXPECT_NE(err.str().find(":2:"), std::string::npos) << err.str();

  // The output may not be the source or its resource; the command line names what is wrong.
  const std::string before = read_native_file(folder.native() / "r.itm");
  write_native_file(folder.native() / "p.spks", "resource r.itm\nstring ~a~ at 4\n");
  for (const std::string& output : {folder / "p.spks", folder / "r.itm", folder / "R.ITM/../r.itm"}) {
    SCOPED_TRACE(output);
    std::ostringstream out2, err2;
    EXPECT_EQ(run_spk({folder / "p.spks", "-o", output}, out2, err2), kExitFailed);
    EXPECT_NE(err2.str().find("writing it would destroy it"), std::string::npos) << err2.str();
  }
  EXPECT_EQ(read_native_file(folder.native() / "r.itm"), before);
  EXPECT_EQ(read_native_file(folder.native() / "p.spks"), "resource r.itm\nstring ~a~ at 4\n");
  std::ostringstream out3, err3;
  EXPECT_EQ(run_spk({folder / "p.spks", "-o"}, out3, err3), kExitUsage);
  EXPECT_NE(err3.str().find("-o needs a value"), std::string::npos) << err3.str();
  EXPECT_NE(err3.str().find("zep spk SOURCE.spks"), std::string::npos) << err3.str();
}

TEST(Tool, HelpCoversEveryCommandAndQuestionsAreAskedUntilAnswered) {
  for (const char* command : {"pack", "spk", "list", "extract", "install", "uninstall", "tables", "inspect"}) {
    SCOPED_TRACE(command);
    ASSERT_NE(command_help(command), nullptr);
    EXPECT_EQ(std::string(command_help(command)).rfind(std::string("zep ") + command + " ", 0), 0u);
    EXPECT_NE(help_text().find(command_help(command)), std::string::npos);
  }
  EXPECT_EQ(command_help("bogus"), nullptr);

  struct Case {
    const char* typed;
    bool answer;
    int asked;  // times "[y/n]" was shown
  };
  const Case cases[] = {
      {"y\n", true, 1}, {"YES\r\n", true, 1}, {" no \n", false, 1}, {"maybe\n\nyep\nN\n", false, 4},
      {"what\n", false, 2},  // then the end of the input, which is No
      {"", false, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.typed);
    std::istringstream in(c.typed);
    std::ostringstream err;
    EXPECT_EQ(ask_yes_no(in, err), c.answer);
    std::string shown = err.str();
    int asked = 0;
    for (std::size_t at = shown.find("[y/n]"); at != std::string::npos; at = shown.find("[y/n]", at + 1)) ++asked;
    EXPECT_EQ(asked, c.asked) << shown;
  }
}

TEST(Tool, FailuresAreSaidInWordsWithTheirWindowsNumber) {
  TempFolder folder;
  const std::string missing = folder / "Nope.exe";
  using Command = int (*)(const std::vector<std::string>&, std::ostream&, std::ostream&);
  const std::pair<Command, std::vector<std::string>> commands[] = {
      {run_list, {missing}}, {run_extract, {missing, folder / "x.zep"}}, {run_inspect, {missing}},
      {run_pack, {"--add", missing, "x", "--zep", folder / "x.zep"}}};
  for (const auto& [command, args] : commands) {
    SCOPED_TRACE(args[0]);
    std::ostringstream out, err;
    EXPECT_EQ(command(args, out, err), kExitFailed);
    EXPECT_NE(err.str().find("cannot read " + missing + ": no such file (2)"), std::string::npos) << err.str();
  }

  // Extract names its output when it cannot write there.
  write_native_file(folder.native() / "a.txt", "a");
  Programs programs(folder);
  std::vector<std::string> args = programs.args();
  args.insert(args.end(), {"--add", folder / "a.txt", "a.txt", "-o", folder / "A.exe"});
  ASSERT_EQ(pack(args).code, kExitOk);
  const std::string exe = read_native_file(folder.native() / "A.exe");
  const std::string lost = (folder.native() / "missing" / "x.zep").string();
  const std::pair<std::string, std::string> targets[] = {
      {folder / "A.exe", "is the add-on's .exe itself"}, {lost, "cannot write " + lost + ": no such folder (3)"}};
  for (const auto& [target, said] : targets) {
    SCOPED_TRACE(target);
    std::ostringstream out, err;
    EXPECT_EQ(run_extract({folder / "A.exe", target}, out, err), kExitFailed);
    EXPECT_NE(err.str().find(said), std::string::npos) << err.str();
  }
  EXPECT_EQ(read_native_file(folder.native() / "A.exe"), exe);

  // The installer's error-number message, as the terminal shows it.
  std::ostringstream boxes;
  show_boxes_on_terminal(boxes);
  show_message(nullptr, "112", "Write error", kMbOk);
  show_message(nullptr, "-5", "ZEP read Error", kMbOk);
  show_message(nullptr, "Nothing was installed.", "ZEP", kMbOk);
  show_boxes_on_terminal(std::cerr);
  EXPECT_EQ(boxes.str(), "Write error: the disk is full (112)\nZEP read Error: error 4294967291\n"
                         "ZEP: Nothing was installed.\n");
}

// ---------------------------------------------------------------------------------------------

TEST(Inspector, ShowsTalkTablesWithTheirTextsAndSaysWhatItCannotShow) {
  TempFolder folder;
  const std::string long_text(300, 'L');
  write_native_file(folder.native() / "dialog.tlk",
                    test::build_tlk({{1, "", 0, 0, "first"}, {3, "SND01", 0, 0, long_text}}));
  CommandResult shown = inspect({folder / "dialog.tlk"});
  EXPECT_EQ(shown.code, kExitOk) << shown.err;
  EXPECT_NE(shown.out.find("strref 0: flags 1, sound \"\", 5 bytes"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("sound \"SND01\""), std::string::npos) << shown.out;
  EXPECT_EQ(shown.out.find(long_text), std::string::npos);
  CommandResult whole = inspect({"--texts", "--from", "1", folder / "dialog.tlk"});
  EXPECT_EQ(whole.code, kExitOk) << whole.err;
  EXPECT_NE(whole.out.find("\"" + long_text + "\""), std::string::npos) << whole.out;
  EXPECT_EQ(whole.out.find("strref 0"), std::string::npos) << whole.out;

  CommandResult past = inspect({"--from", "2", folder / "dialog.tlk"});
  EXPECT_EQ(past.code, kExitFailed);
  EXPECT_NE(past.out.find("--from 2 is past the end: the table's strrefs are 0 to 1"), std::string::npos) << past.out;

  // A string patch file's texts are whole with --texts, and an empty sound resref is "".
  write_native_file(folder.native() / "x.spk", test::build_spk4("x.itm", filler(8, 'x'), {{long_text, 1, "", 0, 0, {0}}}));
  CommandResult patch = inspect({"--texts", folder / "x.spk"});
  EXPECT_EQ(patch.code, kExitOk) << patch.err;
  EXPECT_NE(patch.out.find("sound \"\""), std::string::npos) << patch.out;
  EXPECT_NE(patch.out.find("\"" + long_text + "\""), std::string::npos) << patch.out;

  write_native_file(folder.native() / "item.itm", "ITM V1  " + filler(40, 'i'));
  CommandResult unknown = inspect({folder / "item.itm"});
  EXPECT_EQ(unknown.code, kExitFailed);
  EXPECT_NE(unknown.out.find("unknown"), std::string::npos) << unknown.out;
  EXPECT_EQ(unknown.out.find("header:"), std::string::npos) << unknown.out;

  for (const std::vector<std::string>& wrong : std::vector<std::vector<std::string>>{
           {"--from"}, {"--from", "-1", folder / "dialog.tlk"}, {"--colour", folder / "dialog.tlk"}}) {
    CommandResult usage = inspect(wrong);
    EXPECT_EQ(usage.code, kExitUsage);
    EXPECT_NE(usage.err.find("zep inspect [--texts]"), std::string::npos) << usage.err;
  }
}

TEST(Inspector, ShowsTheArchiveAndNamesDamageWithoutReadingOutside) {
  TempFolder folder;
  SampleAddon addon(folder);
  std::vector<std::string> args = addon.args();
  args.insert(args.end(), {"--zep", folder / "sample.zep"});
  ASSERT_EQ(pack(args).code, kExitOk);
  CommandResult shown = inspect({folder / "sample.zep"});
  EXPECT_EQ(shown.code, kExitOk) << shown.err;
  EXPECT_NE(shown.out.find("1 string patch file(s), 5 other file(s)"), std::string::npos) << shown.out;
  EXPECT_NE(shown.out.find("\"Override\\evilamul_readme.txt\"  opened after installation"), std::string::npos)
      << shown.out;
  EXPECT_NE(shown.out.find("SPK4: resource \"EVILAMUL.itm\", 1082 bytes at 276"), std::string::npos);
  EXPECT_EQ(shown.out.find("problem:"), std::string::npos);

  std::string zep = read_native_file(folder / "sample.zep");
  std::string damaged = zep;
  damaged[15] = '\x7f';  // an entry table far larger than the archive
  write_native_file(folder.native() / "damaged.zep", damaged);
  CommandResult bad = inspect({folder / "damaged.zep"});
  EXPECT_EQ(bad.code, kExitFailed);
  EXPECT_NE(bad.out.find("entry table"), std::string::npos) << bad.out;

  damaged = zep;
  damaged[entry_offset(3) + 15] = '\x7f';  // a data offset far outside
  write_native_file(folder.native() / "damaged.zep", damaged);
  bad = inspect({folder / "damaged.zep"});
  EXPECT_EQ(bad.code, kExitFailed);
  EXPECT_NE(bad.out.find("record 3's data leaves the archive"), std::string::npos) << bad.out;

  write_native_file(folder.native() / "short.exe", "MZ" + std::string(100, 0));
  EXPECT_EQ(inspect({folder / "short.exe"}).code, kExitFailed);
}

}  // namespace
}  // namespace zep::tool
