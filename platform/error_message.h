// The error-number message: the system's last error code, as a signed decimal number and nothing
// else, in a message box with the caller's caption and an OK button.
#pragma once

#include "platform/platform.h"
#include "platform/types.h"

namespace zep {

// Writes `value` as a decimal number with its terminator into `buffer` (at least 11 bytes).
void format_unsigned_decimal(u32 value, char* buffer);

// Writes `value` as a signed decimal number with its terminator into `buffer` (at least 12 bytes).
void format_signed_decimal(i32 value, char* buffer);

// Shows last_error(), taken at the moment of the call, as the error-number message.
void show_error_number(WindowRef owner, const char* caption);

}  // namespace zep
