// The zep tool's commands. Each takes the words after its name on the command line, prints its
// report to `out` and its problems to `err`, and returns the process exit code: 0 on success, 1 when
// the input is refused or damaged, 2 when the command line itself is wrong.
#pragma once

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "platform/platform.h"

namespace zep::tool {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

// zep pack: builds a self-extracting file and/or a bare archive.
int run_pack(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// zep spk: compiles a string patch source into an SPK4 file.
int run_spk(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// zep list: the installer's contents listing of a self-extracting file or a bare archive.
int run_list(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// zep extract: saves the bare archive of a self-extracting file, as the installer's Extract does.
int run_extract(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);
// zep inspect: shows what a self-extracting file, an archive or a string patch file holds, field by
// field.
int run_inspect(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// zep tables: the talk tables an installation into a game folder would grow, and their entry counts.
int run_tables(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// zep uninstall: the uninstaller's run on an install log.
int run_uninstall(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// zep install: installs an add-on into a game folder, as the installer's Import does.
int run_install(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

// Where the archive in `file` starts: after the stub and the uninstaller in a self-extracting file
// (which, as every Windows program, starts with "MZ"), at the first byte of a bare archive.
u32 archive_offset_of(FileRef file);

// A Linux path as the platform layer takes it and as the installer writes it into a log: absolute,
// with backslashes.
std::string windows_style(const std::filesystem::path& path);

// True when `a` and `b` name the same file: the same path once made absolute and resolved, or, for
// two files that exist, the same file under two names (a link, or letter case on a file system that
// ignores it).
bool same_file(const std::filesystem::path& a, const std::filesystem::path& b);

}  // namespace zep::tool
