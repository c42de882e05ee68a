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

namespace {

// The program between `begin` and `end`; none when the weak symbols stayed undefined (null).
EmbeddedProgram program_between(const std::uint8_t* begin, const std::uint8_t* end) {
  if (begin == nullptr) return {nullptr, 0};
  return {begin, static_cast<std::size_t>(end - begin)};
}

}  // namespace

EmbeddedProgram embedded_stub() { return program_between(zep_embedded_stub_begin, zep_embedded_stub_end); }

EmbeddedProgram embedded_uninstaller() {
  return program_between(zep_embedded_uninstaller_begin, zep_embedded_uninstaller_end);
}

}  // namespace zep::tool
