#include "archive/names.h"

#include "platform/error_message.h"

namespace zep {
namespace {

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

// Control characters, the characters Windows refuses, and every byte from 0x80 on: those are read in
// the player's code page, where some are digits (the superscripts 0xB9, 0xB2 and 0xB3 make COM¹ and
// LPT² device names) and none is certain to be what the author meant.
bool is_bad_character(u8 c) {
  if (c < 0x20 || c >= 0x7f) return true;
  switch (c) {
    case '<': case '>': case ':': case '"': case '/': case '|': case '?': case '*':
      return true;
    default:
      return false;
  }
}

// True when the component's base (the part before its first dot, blanks at its end ignored) is one of
// the device names that Windows opens as a device in every folder.
bool is_device_name(const char* component, u32 length) {
  u32 base = 0;
  while (base < length && component[base] != '.') ++base;
  while (base > 0 && component[base - 1] == ' ') --base;
  if (base != 3 && base != 4) return false;
  // The three letters every device name begins with, each ended by a zero byte: four names alone,
  // then COM and LPT, which take a digit (COM0 and LPT0 are device names too, as the superscript
  // digits would be; those bytes are refused anyway). One table and one loop serve both lengths.
  static const char kDevices[] = "CON\0PRN\0AUX\0NUL\0COM\0LPT";
  for (u32 k = 0; k < 6; ++k) {
    const char* device = kDevices + 4 * k;
    u32 i = 0;
    while (i < 3 && upper(component[i]) == device[i]) ++i;
    if (i == 3) return base == 3 ? k < 4 : k >= 4 && component[3] >= '0' && component[3] <= '9';
  }
  return false;
}

NameProblem check_component(const char* component, u32 length) {
  if (length == 0) return NameProblem::kEmptyComponent;
  if ((length == 1 && component[0] == '.') ||
      (length == 2 && component[0] == '.' && component[1] == '.')) {
    return NameProblem::kDotComponent;
  }
  char last = component[length - 1];
  if (last == '.' || last == ' ') return NameProblem::kBadComponentEnd;
  if (is_device_name(component, length)) return NameProblem::kReservedDeviceName;
  return NameProblem::kNameOk;
}

}  // namespace

NameProblem check_relative_name(const char* name, u32 length) {
  if (length == 0) return NameProblem::kEmpty;
  if (length > kMaxEntryNameLength) return NameProblem::kTooLong;
  for (u32 i = 0; i < length; ++i) {
    if (is_bad_character(static_cast<u8>(name[i]))) return NameProblem::kBadCharacter;
  }
  if (name[0] == '\\') return NameProblem::kAbsolute;
  u32 start = 0;
  for (u32 i = 0; i <= length; ++i) {
    if (i == length || name[i] == '\\') {
      NameProblem problem = check_component(name + start, i - start);
      if (problem != NameProblem::kNameOk) return problem;
      start = i + 1;
    }
  }
  return NameProblem::kNameOk;
}

const char* describe_name_problem(NameProblem problem) {
  // For each problem, in its order, its words (see nth_text).
  static const char kWords[] =
      "the name is sound\0"
      "the name is empty\0"
      "the name is longer than 256 bytes\0"
      "the name holds a control character, a byte outside ASCII or one of < > : \" | ? * (a drive such as C: "
      "included)\0"
      "the name starts with a backslash and would leave the game folder\0"
      "the name holds an empty folder part (\\\\ or a trailing \\)\0"
      "a . or .. part of the name would leave the game folder\0"
      "a part of the name ends in a dot or a blank\0"
      "a part of the name is a device name (CON, NUL, COM1, ...)";
  static_assert(static_cast<u32>(NameProblem::kReservedDeviceName) == 8, "words for each problem");
  return nth_text(kWords, static_cast<u32>(problem));
}

}  // namespace zep
