// The file operations of the zep tool that Linux and Windows do differently, each system's in a file
// of its own (native_file_host.cpp, native_file_win.cpp): files opened by their std::filesystem path
// (whose native form is wide on Windows), positions past 2 GiB, the process number for temporary
// names, and the rename that replaces an existing file in one step.
//
// A function that fails leaves its reason where cannot_native() finds it: GetLastError on Windows,
// errno on Linux. Reads and writes through the std::FILE that these open are the C library's own and
// leave errno (see cannot_errno in error_words.h).
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/types.h"

namespace zep::tool {

// Opens an existing file to read, in binary; others may read and write it meanwhile. Returns null
// when it cannot.
std::FILE* open_to_read(const std::filesystem::path& path);

// Creates a file to write, in binary, only when nothing of its name exists: no other run's file is
// ever taken over. Returns null when it cannot, with `name_taken` true when the reason is that the
// name exists.
std::FILE* create_new_file(const std::filesystem::path& path, bool& name_taken);

// The size of an open file in bytes. Returns false when it cannot be found.
bool size_of(std::FILE* file, u64& size);

// Moves the position of `file` to `offset` bytes from its start. Returns false when it cannot.
bool seek_to(std::FILE* file, u64 offset);

// Renames `from` to `to`, replacing a file at `to` in one step. Returns false when it cannot; both
// are then as they were.
bool rename_over(const std::filesystem::path& from, const std::filesystem::path& to);

// True when the file system takes names that differ only in letter case for one name (Windows).
bool names_ignore_case();

// This process's number, which tells its temporary files from those of other runs.
unsigned long process_number();

// "cannot <verb> <path>: <reason>" for the last failure of a function above, the reason in words with
// its Windows error number (see error_words.h).
std::string cannot_native(const std::string& verb, const std::string& path);

}  // namespace zep::tool
