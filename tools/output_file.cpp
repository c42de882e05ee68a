#include "tools/output_file.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <system_error>

namespace zep::tool {

namespace fs = std::filesystem;

PendingFile::~PendingFile() { abandon(); }

bool PendingFile::create(const fs::path& target, std::string& error) {
  std::error_code code;
  if (fs::is_directory(target, code)) {
    error = "the output " + target.string() + " is a folder";
    return false;
  }
  fs::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  if (!fs::is_directory(folder, code)) {
    error = "the folder of the output " + target.string() + " does not exist";
    return false;
  }
  // "x": create exclusively, so that an existing file (another run's) is never taken over.
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = folder / ("." + target.filename().string() + ".tmp-" + std::to_string(getpid()) + "-" +
                                   std::to_string(attempt));
    std::FILE* file = std::fopen(candidate.c_str(), "wbx");
    if (file != nullptr) {
      target_ = target;
      temporary_ = candidate;
      file_ = file;
      pending_ = true;
      return true;
    }
    if (errno != EEXIST) {
      error = "cannot create a file in " + folder.string() + ": " + std::strerror(errno);
      return false;
    }
  }
  error = "cannot find a free temporary name in " + folder.string();
  return false;
}

bool PendingFile::commit(std::string& error) {
  if (!pending_) {
    error = "internal: nothing to commit";
    return false;
  }
  bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  int saved = errno;
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) {
    error = "cannot write " + target_.string() + ": " + std::strerror(written ? errno : saved);
    abandon();
    return false;
  }
  std::error_code code;
  fs::rename(temporary_, target_, code);
  if (code) {
    error = "cannot put " + target_.string() + " in place: " + code.message();
    abandon();
    return false;
  }
  pending_ = false;
  return true;
}

void PendingFile::abandon() {
  if (file_ != nullptr) {
    std::fclose(file_);
    file_ = nullptr;
  }
  if (pending_) {
    std::error_code ignored;
    fs::remove(temporary_, ignored);
    pending_ = false;
  }
}

}  // namespace zep::tool
