#include "tools/embedded.h"

// Defined in embedded.S when the programs are built in (the build then defines ZEP_HAVE_EMBEDDED, and
// these strong references pull embedded.S's object out of the library); weak and null otherwise.
#ifdef ZEP_HAVE_EMBEDDED
#define ZEP_EMBEDDED_LINKAGE
#else
#define ZEP_EMBEDDED_LINKAGE __attribute__((weak))
#endif
extern "C" {
extern const std::uint8_t zep_embedded_stub_begin[] ZEP_EMBEDDED_LINKAGE;
extern const std::uint8_t zep_embedded_stub_end[] ZEP_EMBEDDED_LINKAGE;
extern const std::uint8_t zep_embedded_uninstaller_begin[] ZEP_EMBEDDED_LINKAGE;
extern const std::uint8_t zep_embedded_uninstaller_end[] ZEP_EMBEDDED_LINKAGE;
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
