#include "shell/error_message.h"

namespace zep {

void format_signed_decimal(i32 value, char* buffer) {
  // Work with the magnitude as unsigned, so that the most negative value has one too.
  u32 magnitude = value < 0 ? 0u - static_cast<u32>(value) : static_cast<u32>(value);
  char digits[10];
  u32 count = 0;
  do {
    digits[count++] = static_cast<char>('0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  u32 at = 0;
  if (value < 0) buffer[at++] = '-';
  while (count > 0) buffer[at++] = digits[--count];
  buffer[at] = 0;
}

void show_error_number(WindowRef owner, const char* caption) {
  char text[12];
  format_signed_decimal(static_cast<i32>(last_error()), text);
  show_message(owner, text, caption, kMbOk);
}

}  // namespace zep
