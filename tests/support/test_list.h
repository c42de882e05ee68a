// A list control for tests of code that appends lines: a control of the host layer on Linux, a real
// (hidden) list box on Windows.
#pragma once

#include <string>
#include <vector>

#include "platform/platform.h"

namespace zep::test {

class TestList {
 public:
  TestList();
  ~TestList();
  TestList(const TestList&) = delete;
  TestList& operator=(const TestList&) = delete;

  WindowRef handle() const { return handle_; }
  // The lines appended so far, in order.
  std::vector<std::string> lines() const;

 private:
  WindowRef handle_ = nullptr;
};

}  // namespace zep::test
