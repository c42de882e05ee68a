// Building ZEP archives and self-extracting files (see archive/format.h for both layouts).
//
// Archives are built the one way the installer's archives are built: the header, the entry table
// from offset 21 (string patch files first, then other files), then for each entry in table order its
// name immediately followed by its data, so that the last data ends at the total length.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "archive/format.h"
#include "platform/types.h"

namespace zep::tool {

// The largest archive a self-extracting file can carry: the installer reaches each of its bytes at the
// u32 file offset 40960 + archive offset.
constexpr u64 kMaxArchiveLength = 0xFFFFFFFFull - kArchiveOffset;

// One entry to pack: its archive name and where its data comes from.
struct PackItem {
  std::string name;             // the archive name, stored as it stands
  u32 flags = 0;                // kRunAfterInstall or 0
  bool in_memory = false;       // the data is `bytes`, not the file at `path`
  std::vector<u8> bytes;        // the data, when in_memory
  std::filesystem::path path;   // the file holding the data, otherwise
  u64 length = 0;               // bytes of data: bytes.size(), or the file's size when it was found
};

// Where everything of an archive lies.
struct ArchivePlan {
  ArchiveHeader header{};
  std::vector<ArchiveEntry> entries;  // patch_count string patch records, then file_count others
};

// Lays out the archive of `patches` (string patch files) followed by `files` (other files) from
// their names and lengths alone. Returns false, with the problem in `error`, when the archive would be
// longer than kMaxArchiveLength.
bool plan_archive(const std::vector<PackItem>& patches, const std::vector<PackItem>& files, ArchivePlan& plan,
                  std::string& error);

// The header and the entry table of `plan`: its first 21 + 20 * (P + F) bytes.
std::vector<u8> archive_head(const ArchivePlan& plan);

// Where built bytes go.
class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Writes all `length` bytes; false when any could not be written.
  virtual bool write(const void* data, std::size_t length) = 0;
  // Writes `count` zero bytes.
  bool write_zeros(u64 count);
  // Why the last write() that returned false failed, in words: "cannot write Lantern.exe: the disk
  // is full (112)".
  virtual std::string write_failure() const { return "cannot write the output"; }
};

// Bytes appended to a vector.
class VectorSink : public ByteSink {
 public:
  explicit VectorSink(std::vector<u8>& out) : out_(out) {}
  bool write(const void* data, std::size_t length) override;

 private:
  std::vector<u8>& out_;
};

// The same bytes to each of several open files (not owned). A failure names the file by its
// PendingFile's target when it is one (see output_file.h).
class FileSink : public ByteSink {
 public:
  void add(std::FILE* file) { files_.push_back(file); }
  bool write(const void* data, std::size_t length) override;
  std::string write_failure() const override;

 private:
  std::vector<std::FILE*> files_;
  std::FILE* failed_ = nullptr;  // the file of the last failed write
  int failed_errno_ = 0;         // errno as that write left it
};

// Writes the archive that `plan` lays out for the same `patches` and `files` to `sink`, copying each
// file's data in pieces. Returns false, with the problem in `error`, when a file cannot be read, when
// its length is no longer the one planned, or when the sink fails.
bool write_archive(const ArchivePlan& plan, const std::vector<PackItem>& patches, const std::vector<PackItem>& files,
                   ByteSink& sink, std::string& error);

// plan_archive and write_archive into memory: the whole archive in `out`.
bool build_archive(const std::vector<PackItem>& patches, const std::vector<PackItem>& files, std::vector<u8>& out,
                   std::string& error);

// The first 40960 bytes of a self-extracting file: `stub` zero-padded to 36864 bytes, then
// `uninstaller` zero-padded to 4096. Returns false, with the problem in `error`, when either is empty
// or longer than its slot.
bool build_self_extracting_head(const std::vector<u8>& stub, const std::vector<u8>& uninstaller, std::vector<u8>& out,
                                std::string& error);

}  // namespace zep::tool
