// Running a program through std::system in a test, on either system: what to append to a command so
// that its output is thrown away, and the program's exit code from what std::system returned.
#pragma once

namespace zep::test {

// " >/dev/null 2>&1" for the Linux shell, " >NUL 2>&1" for cmd.exe.
extern const char* const kDiscardOutput;

// The exit code of the program that std::system ran, from its result `status`; -1 when the program
// did not exit by itself (a signal ended it) or could not be run.
int exit_code_of(int status);

}  // namespace zep::test
