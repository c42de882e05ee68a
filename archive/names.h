// Checks on the names of other files: each is joined to the game folder (its forward slashes made
// backslashes), so only a name that stays inside the game folder and that Windows accepts as a
// relative file path is sound. A name that is not is refused for that file alone.
#pragma once

#include "platform/types.h"

namespace zep {

// The longest name of an other file, in bytes. Joined to the shortest possible game folder, a drive
// root such as "C:\" (3 bytes), it must still fit the 260 bytes of an ANSI path with its terminator.
constexpr u32 kMaxEntryNameLength = 256;

// Why a name was refused, or kNameOk.
enum class NameProblem {
  kNameOk,
  kEmpty,              // no characters
  kTooLong,            // more than kMaxEntryNameLength bytes
  kBadCharacter,       // a control character, a byte of 0x80 or above, or one of < > : " / | ? *
  kAbsolute,           // starts with a backslash (a root or network path)
  kEmptyComponent,     // two backslashes in a row, or one at the end
  kDotComponent,       // a component "." or ".." that would leave the folder or name it
  kBadComponentEnd,    // a component ending in a dot or a blank, which Windows drops silently
  kReservedDeviceName  // CON, PRN, AUX, NUL, COM0..COM9, LPT0..LPT9 (with any extension)
};

// Checks the `length` bytes of `name` as a path relative to the game folder.
NameProblem check_relative_name(const char* name, u32 length);

// A short English description of a problem, for messages.
const char* describe_name_problem(NameProblem problem);

}  // namespace zep
