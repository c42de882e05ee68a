// The file operations of native_file.h on Linux: the C library and POSIX, failures in errno.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "tools/error_words.h"
#include "tools/native_file.h"

namespace zep::tool {

std::FILE* open_to_read(const std::filesystem::path& path) { return std::fopen(path.c_str(), "rb"); }

std::FILE* create_new_file(const std::filesystem::path& path, bool& name_taken) {
  // "x": create exclusively.
  std::FILE* file = std::fopen(path.c_str(), "wbx");
  name_taken = file == nullptr && errno == EEXIST;
  return file;
}

bool size_of(std::FILE* file, u64& size) {
  struct stat status;
  if (::fstat(::fileno(file), &status) != 0) return false;
  size = static_cast<u64>(status.st_size);
  return true;
}

bool seek_to(std::FILE* file, u64 offset) { return ::fseeko(file, static_cast<off_t>(offset), SEEK_SET) == 0; }

bool rename_over(const std::filesystem::path& from, const std::filesystem::path& to) {
  return std::rename(from.c_str(), to.c_str()) == 0;
}

bool names_ignore_case() { return false; }

unsigned long process_number() { return static_cast<unsigned long>(::getpid()); }

std::string cannot_native(const std::string& verb, const std::string& path) { return cannot_errno(verb, path); }

}  // namespace zep::tool
