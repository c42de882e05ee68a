// Failures in words for the terminal: the reason a person can read, with the Windows error number
// after it where one exists ("cannot read Lantern.exe: no such file (2)"). The platform layer reports
// Windows error numbers on every system; the tool's own reads and writes through the C library report
// errno, which is turned into the same numbers so that a message reads the same on Linux and Windows.
#pragma once

#include <string>
#include <system_error>

#include "platform/types.h"

namespace zep::tool {

// The reason for the Windows error `code` in words, followed by the number in parentheses:
// "no such file (2)", "access denied (5)"; "error 1234" for a number without words here.
std::string error_words(u32 code);

// The Windows error number that the C library's `error` (an errno value) stands for; 0 for 0.
u32 windows_code_of_errno(int error);

// "cannot <verb> <path>: <reason>", the reason being error_words(code).
std::string cannot(const std::string& verb, const std::string& path, u32 code);

// cannot(), the reason taken from a standard library error code (of std::filesystem, say).
std::string cannot(const std::string& verb, const std::string& path, const std::error_code& code);

// cannot(), the reason taken from errno as it is at the call.
std::string cannot_errno(const std::string& verb, const std::string& path);

}  // namespace zep::tool
