// The installer stub and the uninstaller that the zep tool builds into self-extracting files when no
// others are named. They are the shipping win32 programs, built into the tool by scripts/build.
#pragma once

#include <cstddef>
#include <cstdint>

namespace zep::tool {

struct EmbeddedProgram {
  const std::uint8_t* data;  // null when the tool was built without the programs
  std::size_t length;        // bytes
};

EmbeddedProgram embedded_stub();
EmbeddedProgram embedded_uninstaller();

}  // namespace zep::tool
