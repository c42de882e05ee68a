// Fault injection and confinement for the Linux platform layer (see host_platform.h): the n-th
// changing file operation fails with a chosen code, and changes outside one folder are refused and
// recorded. The file functions ask refused_change before they touch the disk.
#include <unistd.h>

#include <string>
#include <vector>

#include "platform/host_internal.h"
#include "platform/host_platform.h"

namespace zep {
namespace host_detail {
namespace {

struct Faults {
  std::size_t count = 0;    // operations counted since the plan was set
  std::size_t fail_at = 0;  // the one that fails, counting from 1; 0 for none
  u32 code = 0;
  std::string failed;       // what it hit
  std::string confined_to;  // absolute host folder, with a trailing '/'; empty for no confinement
  std::vector<std::string> escapes;
};

Faults& faults() {
  static Faults instance;
  return instance;
}

std::string absolute_host_path(const std::string& native) {
  std::string path = native;
  if (path.empty() || path[0] != '/') {
    char folder[4096];
    if (::getcwd(folder, sizeof folder) != nullptr) path = std::string(folder) + "/" + path;
  }
  return path;
}

}  // namespace

bool injected_failure_here(const char* kind, const std::string& native) {
  Faults& plan = faults();
  ++plan.count;
  if (plan.fail_at == 0 || plan.count != plan.fail_at) return false;
  plan.failed = std::string(kind) + " " + native;
  fail(plan.code);
  return true;
}

bool escapes_confinement(const char* kind, const std::string& native) {
  Faults& plan = faults();
  if (plan.confined_to.empty()) return false;
  std::string path = absolute_host_path(native);
  bool inside = path.compare(0, plan.confined_to.size(), plan.confined_to) == 0 &&
                path.find("/../") == std::string::npos && path.find("/./") == std::string::npos &&
                (path.size() < 3 || path.compare(path.size() - 3, 3, "/..") != 0);
  if (inside) return false;
  plan.escapes.push_back(std::string(kind) + " " + path);
  fail(win_error::kAccessDenied);
  return true;
}

bool refused_change(const char* kind, const std::string& native) {
  return escapes_confinement(kind, native) || injected_failure_here(kind, native);
}

}  // namespace host_detail

namespace host {

using host_detail::absolute_host_path;
using host_detail::Faults;
using host_detail::faults;

void fail_nth_file_operation(std::size_t n, u32 code) {
  Faults& plan = faults();
  plan.count = 0;
  plan.fail_at = n;
  plan.code = code;
  plan.failed.clear();
}

std::size_t file_operation_count() { return faults().count; }

std::string injected_failure() { return faults().failed; }

void confine_changes_to(const std::string& folder) {
  Faults& plan = faults();
  plan.escapes.clear();
  plan.confined_to.clear();
  if (folder.empty()) return;
  plan.confined_to = absolute_host_path(folder);
  if (plan.confined_to.back() != '/') plan.confined_to += '/';
}

std::vector<std::string> confinement_escapes() { return faults().escapes; }

}  // namespace host

}  // namespace zep
