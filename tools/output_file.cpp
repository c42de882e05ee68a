#include "tools/output_file.h"

#include <cerrno>
#include <map>
#include <system_error>

#include "tools/error_words.h"
#include "tools/native_file.h"

namespace zep::tool {

namespace fs = std::filesystem;

namespace {

// The target of every pending file by its open temporary file, for the messages of code that has
// only the std::FILE (see pending_target_of).
std::map<const std::FILE*, std::string>& pending_targets() {
  static std::map<const std::FILE*, std::string> targets;
  return targets;
}

}  // namespace

std::string pending_target_of(const std::FILE* file) {
  auto found = pending_targets().find(file);
  return found == pending_targets().end() ? std::string() : found->second;
}

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
  // Created exclusively, so that an existing file (another run's) is never taken over. The name is
  // put together as a path, so that it holds whatever the target's name holds.
  for (int attempt = 0; attempt < 100; ++attempt) {
    fs::path candidate = folder / ".";
    candidate += target.filename();
    candidate += ".tmp-" + std::to_string(process_number()) + "-" + std::to_string(attempt);
    bool name_taken = false;
    std::FILE* file = create_new_file(candidate, name_taken);
    if (file != nullptr) {
      target_ = target;
      temporary_ = candidate;
      file_ = file;
      pending_ = true;
      pending_targets()[file] = target.string();
      return true;
    }
    if (!name_taken) {
      error = cannot_native("write", target.string());
      return false;
    }
  }
  error = "cannot write " + target.string() + ": no free name for its temporary file in " + folder.string();
  return false;
}

bool PendingFile::commit(std::string& error) {
  if (!pending_) {
    error = "internal: nothing to commit";
    return false;
  }
  pending_targets().erase(file_);
  bool written = std::fflush(file_) == 0 && !std::ferror(file_);
  int saved = errno;
  bool closed = std::fclose(file_) == 0;
  file_ = nullptr;
  if (!written || !closed) {
    if (!written) errno = saved;
    error = cannot_errno("write", target_.string());
    abandon();
    return false;
  }
  std::error_code code;
  const bool replacing = fs::exists(target_, code);
  if (!rename_over(temporary_, target_)) {
    error = cannot_native(replacing ? "replace" : "write", target_.string());
    abandon();
    return false;
  }
  pending_ = false;
  return true;
}

void PendingFile::abandon() {
  if (file_ != nullptr) {
    pending_targets().erase(file_);
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
