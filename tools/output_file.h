// An output file that appears only when it is complete: it is written to a temporary file beside its
// target and renamed over the target on success. Until then an existing target stays untouched, and a
// failed or abandoned output leaves nothing behind.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>

namespace zep::tool {

class PendingFile {
 public:
  PendingFile() = default;
  ~PendingFile();  // removes the temporary file unless commit() succeeded
  PendingFile(const PendingFile&) = delete;
  PendingFile& operator=(const PendingFile&) = delete;

  // Creates a fresh temporary file in the target's folder. Returns false, with the problem in
  // `error`, when the folder is missing or not writable, or when the target is a folder.
  bool create(const std::filesystem::path& target, std::string& error);

  // The open temporary file, for writing.
  std::FILE* file() const { return file_; }

  // Flushes and closes the temporary file and renames it over the target. Returns false, with the
  // problem in `error` and the temporary file removed, when any of that fails.
  bool commit(std::string& error);

  // Closes and removes the temporary file; the target is not touched.
  void abandon();

 private:
  std::filesystem::path target_;
  std::filesystem::path temporary_;
  std::FILE* file_ = nullptr;
  bool pending_ = false;  // the temporary file exists and is ours to remove
};

// The target, as it was given to PendingFile::create, of the pending file whose open temporary file
// is `file`; empty when `file` is none. For messages about writes made through the std::FILE alone.
std::string pending_target_of(const std::FILE* file);

}  // namespace zep::tool
