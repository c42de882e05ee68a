#include "tests/support/temp_folder.h"

#include <atomic>
#include <chrono>
#include <fstream>
#include <sstream>

namespace zep::test {

TempFolder::TempFolder(const std::filesystem::path& under) {
  static std::atomic<unsigned> counter{0};
  auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
  for (;;) {
    std::ostringstream name;
    name << "zep-test-" << stamp << "-" << counter++;
    native_ = (under.empty() ? std::filesystem::temp_directory_path() : under) / name.str();
    if (std::filesystem::create_directory(native_)) break;
  }
  native_ = std::filesystem::canonical(native_);
  path_ = native_.string();
#ifdef _WIN32
  for (char& c : path_) {
    if (c == '/') c = '\\';
  }
  path_ += '\\';
#else
  path_ += '/';
#endif
}

TempFolder::~TempFolder() {
  std::error_code ignored;
  std::filesystem::remove_all(native_, ignored);
}

void write_native_file(const std::filesystem::path& file, const std::string& bytes) {
  if (file.has_parent_path()) std::filesystem::create_directories(file.parent_path());
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string read_native_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return "<missing>";
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace zep::test
