#include "tests/support/command_status.h"

#include <sys/wait.h>

namespace zep::test {

const char* const kDiscardOutput = " >/dev/null 2>&1";

int exit_code_of(int status) { return status != -1 && WIFEXITED(status) ? WEXITSTATUS(status) : -1; }

}  // namespace zep::test
