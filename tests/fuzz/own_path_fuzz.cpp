// Fuzz target: the program's own path and AddonName derived from a command line of any content.
// The derivations stay inside their storage, and a name they accept fits AddonName's.
#include <cstdint>
#include <cstring>
#include <string>

#include "platform/buffers.h"
#include "shell/self_location.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace zep;
  // A command line is a zero-terminated text: it ends at its first zero byte.
  std::string line(reinterpret_cast<const char*>(data), size);
  line = line.c_str();
  lower_case_ascii(line.data());
  HeapBuffer storage;
  const char* own_path = derive_own_path(line.c_str(), &storage);
  if (own_path == nullptr) return 0;
  char name[kAddonNameCapacity];
  std::memset(name, 'x', sizeof name);
  if (derive_addon_name(own_path, name)) {
    if (std::strlen(name) >= kAddonNameCapacity) abort();
  } else if (name[0] != 0) {
    abort();
  }
  return 0;
}
