#include "tests/support/command_status.h"

namespace zep::test {

const char* const kDiscardOutput = " >NUL 2>&1";

// On Windows std::system gives the exit code of cmd.exe, which is that of the command it ran.
int exit_code_of(int status) { return status; }

}  // namespace zep::test
