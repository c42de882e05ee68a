// Little-endian fields and bounded reads for the zep tool. Every file the tool reads may be damaged or
// hostile, so each read names its offset and length and is refused when it would leave the source.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/types.h"

namespace zep::tool {

// Appends a field to `out` in file order.
void put_u8(std::vector<u8>& out, u8 value);
void put_u16(std::vector<u8>& out, u16 value);
void put_u32(std::vector<u8>& out, u32 value);
// Appends `text`'s bytes, then zero bytes up to `width`. The caller has checked that it fits.
void put_padded(std::vector<u8>& out, const std::string& text, std::size_t width);
void put_bytes(std::vector<u8>& out, const void* data, std::size_t length);

// Reads a field from the start of `bytes`; the caller has checked that enough bytes are there.
u16 get_u16(const u8* bytes);
u32 get_u32(const u8* bytes);

// True when [offset, offset + length) lies inside `size` bytes. Safe against overflow.
bool fits(u64 offset, u64 length, u64 size);

// Bytes to read from, with a known size. Reads outside it are refused, never attempted.
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // The number of bytes in the source.
  virtual u64 size() const = 0;
  // Fills `out` with the `length` bytes at `offset`. Returns false, having read nothing, when the
  // range leaves the source, and false when the underlying file delivers fewer bytes.
  virtual bool read(u64 offset, void* out, std::size_t length) = 0;

  // The `length` bytes at `offset` into `out` (resized). False as for read().
  bool read_bytes(u64 offset, std::size_t length, std::vector<u8>& out);
};

// Bytes held in memory, not owned: the caller keeps them alive.
class MemorySource : public ByteSource {
 public:
  MemorySource(const u8* data, std::size_t length) : data_(data), length_(length) {}
  explicit MemorySource(const std::vector<u8>& bytes) : MemorySource(bytes.data(), bytes.size()) {}
  u64 size() const override { return length_; }
  bool read(u64 offset, void* out, std::size_t length) override;

 private:
  const u8* data_;
  std::size_t length_;  // bytes at data_
};

// An open file, read by seeking. The size is taken once when the file is opened.
class FileSource : public ByteSource {
 public:
  FileSource() = default;
  ~FileSource() override;
  FileSource(const FileSource&) = delete;
  FileSource& operator=(const FileSource&) = delete;

  // Opens `path` for reading. Returns false with a message in `error` when it cannot be opened or
  // is not a regular file.
  bool open(const std::filesystem::path& path, std::string& error);
  u64 size() const override { return size_; }
  bool read(u64 offset, void* out, std::size_t length) override;

 private:
  std::FILE* file_ = nullptr;
  u64 size_ = 0;  // bytes in the file when it was opened
};

// A window of `length` bytes at `offset` in another source (an archive entry's data, say). The
// window itself must lie inside the other source; reads are bounded by the window.
class SliceSource : public ByteSource {
 public:
  SliceSource(ByteSource& whole, u64 offset, u64 length) : whole_(whole), offset_(offset), length_(length) {}
  u64 size() const override { return length_; }
  bool read(u64 offset, void* out, std::size_t length) override;

 private:
  ByteSource& whole_;
  u64 offset_;  // where the window starts in whole_
  u64 length_;  // bytes in the window
};

// A text for messages: printable ASCII as it stands, a line feed as \n, every other byte as \xNN;
// at most `limit` source bytes, then "..." when there were more.
std::string printable(const std::string& bytes, std::size_t limit = 200);

// A number for messages, in decimal and as "0x50".
std::string number(u64 value);
std::string hex_number(u64 value);

// The lower-case form of an ASCII text (other bytes unchanged), for case-insensitive comparison of
// archive names the way Windows compares file names.
std::string fold_case(const std::string& text);

}  // namespace zep::tool
