// Archives and self-extracting files for tests, laid out independently of the zep tool's packer, so
// that each checks the other.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/byte_fields.h"

namespace zep::test {

struct TestEntry {
  std::string name;
  std::string data;
  std::uint32_t flags = 0;
};

// An archive as the installer's archives are built: header, entry table, then each entry's name and
// data in table order.
std::string build_test_archive(const std::vector<TestEntry>& patches, const std::vector<TestEntry>& files);

// `stub` padded with zeros to 36864 bytes, `uninstaller` padded to 4096, then `archive`.
std::string build_self_extracting(const std::string& stub, const std::string& uninstaller,
                                  const std::string& archive);

// The shape of the installer's sample archive: one string patch file "EVILAMUL.spk" and five files
// under Override, the readme flagged to be opened, with data of the sample's lengths.
std::vector<TestEntry> sample_patches();
std::vector<TestEntry> sample_files();

}  // namespace zep::test
