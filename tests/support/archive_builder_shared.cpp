#include "tests/support/archive_builder.h"

namespace zep::test {

std::string build_test_archive(const std::vector<TestEntry>& patches, const std::vector<TestEntry>& files) {
  std::vector<TestEntry> all = patches;
  all.insert(all.end(), files.begin(), files.end());
  std::string archive(21 + 20 * all.size(), '\0');
  archive.replace(0, 4, std::string("ZEP\0", 4));
  put_u32_at(archive, 8, static_cast<std::uint32_t>(patches.size()));
  put_u32_at(archive, 12, static_cast<std::uint32_t>(files.size()));
  for (std::size_t i = 0; i < all.size(); ++i) {
    std::size_t record = 21 + 20 * i;
    put_u32_at(archive, record, static_cast<std::uint32_t>(archive.size()));
    put_u32_at(archive, record + 4, static_cast<std::uint32_t>(all[i].name.size()));
    put_u32_at(archive, record + 8, all[i].flags);
    archive += all[i].name;
    put_u32_at(archive, record + 12, static_cast<std::uint32_t>(archive.size()));
    put_u32_at(archive, record + 16, static_cast<std::uint32_t>(all[i].data.size()));
    archive += all[i].data;
  }
  put_u32_at(archive, 17, static_cast<std::uint32_t>(archive.size()));
  return archive;
}

std::string build_self_extracting(const std::string& stub, const std::string& uninstaller,
                                  const std::string& archive) {
  std::string file = stub;
  file.resize(36864, '\0');
  file += uninstaller;
  file.resize(40960, '\0');
  return file + archive;
}

namespace {

std::string data_of(std::size_t length, char seed) {
  std::string data(length, '\0');
  for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<char>(seed + 3 * i);
  return data;
}

}  // namespace

std::vector<TestEntry> sample_patches() { return {{"EVILAMUL.spk", "SPK4" + data_of(4377, 's')}}; }

std::vector<TestEntry> sample_files() {
  return {{"Override\\evilamul.spl", data_of(826, 'a')},
          {"Override\\evlamul1.eff", data_of(272, 'b')},
          {"Override\\evlamul2.eff", data_of(272, 'c')},
          {"Override\\evlamul3.eff", data_of(272, 'd')},
          {"Override\\evilamul_readme.txt", data_of(938, 'e'), 1}};
}

}  // namespace zep::test
