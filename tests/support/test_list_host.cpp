#include "platform/host_platform.h"
#include "tests/support/test_list.h"

namespace zep::test {

TestList::TestList() : handle_(host::make_control()) {}
TestList::~TestList() = default;

std::vector<std::string> TestList::lines() const { return host::control_lines(handle_); }

}  // namespace zep::test
