// A fresh, empty folder for one test, removed with everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>

namespace zep::test {

class TempFolder {
 public:
  // In the system's folder for temporary files, or in `under` when it is given.
  explicit TempFolder(const std::filesystem::path& under = {});
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;

  // The folder as the platform layer takes it, with a trailing separator, so that a relative name
  // with backslashes ("Override\\x.spl") can be appended to it.
  const std::string& path() const { return path_; }
  // The folder for std::filesystem.
  const std::filesystem::path& native() const { return native_; }
  // path() + name.
  std::string operator/(const std::string& name) const { return path_ + name; }

 private:
  std::filesystem::path native_;
  std::string path_;
};

// Writes `bytes` to a new or truncated file (native path), creating missing folders.
void write_native_file(const std::filesystem::path& file, const std::string& bytes);
// The whole content of a file, or "<missing>" when it cannot be read.
std::string read_native_file(const std::filesystem::path& file);

}  // namespace zep::test
