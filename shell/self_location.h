// Self-location: the program's own path and `AddonName` from the command line, and the working
// copy "tmp" of the running executable, which every reader of the archive reads instead of the
// executable itself.
#pragma once

#include "archive/listing.h"
#include "platform/buffers.h"
#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Bytes of the `AddonName` storage, terminator included.
constexpr u32 kAddonNameCapacity = 260;

// The working copy, in the current directory.
extern const char kWorkingCopy[];

// Lower-cases the letters A-Z of `text` in place; every other byte stays as it is.
void lower_case_ascii(char* text);

// The program's own path from the lower-cased command line `lowered`:
//   - quoted: the text between the opening quote and the next one (or to the end when there is
//     none), with ".exe" appended when the command line contains ".exe" nowhere;
//   - unquoted: the whole command line when it contains ".exe" anywhere, else it with ".exe" appended.
// Returns `lowered` itself when it serves unchanged, else a copy in `storage` (the command line's
// length + 8 bytes); null when that storage cannot be had.
const char* derive_own_path(const char* lowered, HeapBuffer* storage);

// `AddonName` from the own path: the file name after the last backslash (one at position 0 is not
// looked at) up to its first full stop, with a first byte of 0x61-0x7F made 0x20 less. Writes it
// into `name` (kAddonNameCapacity bytes) and returns true; returns false, with `name` empty, when it
// is longer than kAddonNameCapacity - 1 bytes.
bool derive_addon_name(const char* own_path, char* name);

// Runs once while the main window is created (`window`): fills `addon_name`, copies the running
// executable to a scratch file kWorkingCopy (or the first free name after it: see
// create_free_scratch_file) and lists the archive in it into `list`, keeping the counts in `counts`.
// The copy stays open in `working_copy`, the one way every command reads the archive, until the
// program closes it, which deletes it. Failures are reported in messages owned by `window`; when the
// copy cannot be made, nothing is listed and `working_copy` stays closed.
void locate_self(WindowRef window, WindowRef list, char* addon_name, ArchiveCounts* counts,
                 FileHandle* working_copy);

}  // namespace zep
