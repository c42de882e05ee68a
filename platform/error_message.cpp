#include "platform/error_message.h"

#include "platform/buffers.h"

namespace zep {

const char kWriteErrorCaption[] = "Write error";
const char kReadErrorCaption[] = "ZEP read Error";

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

// Kept out of line, as it is meant to be shared: the installer is 16 bytes smaller than with a copy
// of it folded into one of its callers.
__attribute__((noinline)) const char* nth_text(const char* texts, u32 index) {
  for (; index > 0; --index) texts += text_length(texts) + 1;
  return texts;
}

void show_error_number(WindowRef owner, const char* caption) {
  char text[12];
  format_signed_decimal(static_cast<i32>(last_error()), text);
  show_message(owner, text, caption, kMbOk);
}

void show_warning_list(WindowRef owner, const char* caption, const char* pattern, va_list fields) {
  MessageText text;
  text.format_list(pattern, fields, true);
  show_message(owner, text.c_str(), caption, kMbOk | kMbIconWarning);
}

void show_warning(WindowRef owner, const char* caption, const char* pattern, ...) {
  va_list fields;
  va_start(fields, pattern);
  show_warning_list(owner, caption, pattern, fields);
  va_end(fields);
}

void show_write_failure(WindowRef owner, bool unreadable, const char* folder, const char* name, const char* then) {
  show_warning(owner, unreadable ? kReadErrorCaption : kWriteErrorCaption, "%s%s\ncould not be written%s: %e.%s",
               folder, name, unreadable ? ", as this installer could not be read" : "", last_error(), then);
}

}  // namespace zep
