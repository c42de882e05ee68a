// String patch files for tests, written from the format's tables (independently of the zep tool).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zep::test {

struct SpkText {
  std::string text;
  std::uint16_t flags = 1;        // SPK4 only
  std::string sound;              // up to 8 bytes, zero-padded (any bytes)
  std::uint32_t volume = 0;       // SPK4 only
  std::uint32_t pitch = 0;        // SPK4 only
  std::vector<std::uint32_t> positions;  // SPK4: any number; SPK3: at most one (none = 0xFFFFFFFF)
};

// An SPK4 file: header, entries, reference table, resource, texts.
std::string build_spk4(const std::string& resource_name, const std::string& resource, const std::vector<SpkText>& texts);

// An SPK3 file: header, entries, resource, texts.
std::string build_spk3(const std::string& resource_name, const std::string& resource, const std::vector<SpkText>& texts);

// The offsets of the fields of an SPK file's header, for tests that damage them.
namespace spk_field {
constexpr std::size_t kResourceOffset = 20, kResourceLength = 24, kTextBase = 32, kEntryCount = 36,
                      kEntryTable = 40, kReferenceCount = 44, kReferenceTable = 48;
}

}  // namespace zep::test
