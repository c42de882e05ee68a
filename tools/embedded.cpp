#include "tools/embedded.h"

// Defined in embedded.S when the programs are built in, and as weak empty markers otherwise.
extern "C" {
extern const std::uint8_t zep_embedded_stub_begin[] __attribute__((weak));
extern const std::uint8_t zep_embedded_stub_end[] __attribute__((weak));
extern const std::uint8_t zep_embedded_uninstaller_begin[] __attribute__((weak));
extern const std::uint8_t zep_embedded_uninstaller_end[] __attribute__((weak));
}

namespace zep::tool {

EmbeddedProgram embedded_stub() {
  if (zep_embedded_stub_begin == nullptr) return {nullptr, 0};
  return {zep_embedded_stub_begin,
          static_cast<std::size_t>(zep_embedded_stub_end - zep_embedded_stub_begin)};
}

EmbeddedProgram embedded_uninstaller() {
  if (zep_embedded_uninstaller_begin == nullptr) return {nullptr, 0};
  return {zep_embedded_uninstaller_begin,
          static_cast<std::size_t>(zep_embedded_uninstaller_end - zep_embedded_uninstaller_begin)};
}

}  // namespace zep::tool
