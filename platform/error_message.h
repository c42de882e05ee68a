// The error-number message: the system's last error code, as a signed decimal number and nothing
// else, in a message box with the caller's caption and an OK button; and the messages that say in
// words what went wrong, each written as one sentence with its fields.
#pragma once

#include <stdarg.h>

#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Writes `value` as a decimal number with its terminator into `buffer` (at least 11 bytes).
void format_unsigned_decimal(u32 value, char* buffer);

// Writes `value` as a signed decimal number with its terminator into `buffer` (at least 12 bytes).
void format_signed_decimal(i32 value, char* buffer);

// The text number `index` (counted from 0) of `texts`, a list of texts each ended by a zero byte: one
// list of words, chosen from by number, costs the program neither a table of addresses nor a
// relocation for each of its texts, as a switch of texts or an array of pointers would.
const char* nth_text(const char* texts, u32 index);

// Shows last_error(), taken at the moment of the call, as the error-number message.
void show_error_number(WindowRef owner, const char* caption);

// Shows a warning (an OK box with the warning icon) owned by `owner` under `caption`, its text
// `pattern` with its fields filled in (see append_formatted in platform/buffers.h).
void show_warning(WindowRef owner, const char* caption, const char* pattern, ...);
void show_warning_list(WindowRef owner, const char* caption, const char* pattern, va_list fields);

// Shows under "Write error", owned by `owner`, that `folder` + `name` could not be written, with
// last_error() in words, and then `then` (empty, or a line of its own); when `unreadable`, under "ZEP
// read Error", that this was because this installer could not be read.
void show_write_failure(WindowRef owner, bool unreadable, const char* folder, const char* name, const char* then);

// The captions of the messages about a file that could not be written, or read.
extern const char kWriteErrorCaption[];  // "Write error"
extern const char kReadErrorCaption[];   // "ZEP read Error"

}  // namespace zep
