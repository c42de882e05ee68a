#include "platform/error_message.h"

namespace zep {

void format_unsigned_decimal(u32 value, char* buffer) {
  char digits[10];
  u32 count = 0;
  do {
    digits[count++] = static_cast<char>('0' + value % 10);
    value /= 10;
  } while (value != 0);
  u32 at = 0;
  while (count > 0) buffer[at++] = digits[--count];
  buffer[at] = 0;
}

void format_signed_decimal(i32 value, char* buffer) {
  // The magnitude is taken as unsigned, so that the most negative value has one too.
  if (value < 0) {
    buffer[0] = '-';
    format_unsigned_decimal(0u - static_cast<u32>(value), buffer + 1);
  } else {
    format_unsigned_decimal(static_cast<u32>(value), buffer);
  }
}

void show_error_number(WindowRef owner, const char* caption) {
  char text[12];
  format_signed_decimal(static_cast<i32>(last_error()), text);
  show_message(owner, text, caption, kMbOk);
}

}  // namespace zep
