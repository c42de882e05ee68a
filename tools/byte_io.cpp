#include "tools/byte_io.h"

#include <cstdio>
#include <cstring>
#include <system_error>

#include "tools/error_words.h"
#include "tools/native_file.h"

namespace zep::tool {

void put_u8(std::vector<u8>& out, u8 value) { out.push_back(value); }

void put_u16(std::vector<u8>& out, u16 value) {
  out.push_back(static_cast<u8>(value));
  out.push_back(static_cast<u8>(value >> 8));
}

void put_u32(std::vector<u8>& out, u32 value) {
  for (int shift = 0; shift < 32; shift += 8) out.push_back(static_cast<u8>(value >> shift));
}

void put_padded(std::vector<u8>& out, const std::string& text, std::size_t width) {
  out.insert(out.end(), text.begin(), text.end());
  out.insert(out.end(), width - text.size(), 0);
}

void put_bytes(std::vector<u8>& out, const void* data, std::size_t length) {
  const u8* bytes = static_cast<const u8*>(data);
  out.insert(out.end(), bytes, bytes + length);
}

u16 get_u16(const u8* bytes) { return static_cast<u16>(bytes[0] | (bytes[1] << 8)); }

u32 get_u32(const u8* bytes) {
  return static_cast<u32>(bytes[0]) | (static_cast<u32>(bytes[1]) << 8) |
         (static_cast<u32>(bytes[2]) << 16) | (static_cast<u32>(bytes[3]) << 24);
}

bool fits(u64 offset, u64 length, u64 size) { return offset <= size && length <= size - offset; }

bool ByteSource::read_bytes(u64 offset, std::size_t length, std::vector<u8>& out) {
  if (!fits(offset, length, size())) return false;
  out.resize(length);
  return length == 0 || read(offset, out.data(), length);
}

bool MemorySource::read(u64 offset, void* out, std::size_t length) {
  if (!fits(offset, length, length_)) return false;
  if (length > 0) std::memcpy(out, data_ + offset, length);
  return true;
}

FileSource::~FileSource() {
  if (file_ != nullptr) std::fclose(file_);
}

bool FileSource::open(const std::filesystem::path& path, std::string& error) {
  std::error_code code;
  if (!std::filesystem::is_regular_file(path, code)) {
    error = std::filesystem::exists(path, code) ? path.string() + " is not a regular file"
                                                 : cannot("read", path.string(), 2);
    return false;
  }
  std::FILE* file = open_to_read(path);
  if (file == nullptr) {
    error = cannot_native("read", path.string());
    return false;
  }
  // The size of what was opened, not of what the name led to a moment before.
  u64 size = 0;
  if (!size_of(file, size)) {
    error = cannot_native("read", path.string());
    std::fclose(file);
    return false;
  }
  if (file_ != nullptr) std::fclose(file_);
  file_ = file;
  size_ = size;
  return true;
}

bool FileSource::read(u64 offset, void* out, std::size_t length) {
  if (file_ == nullptr || !fits(offset, length, size_)) return false;
  if (length == 0) return true;
  if (!seek_to(file_, offset)) return false;
  return std::fread(out, 1, length, file_) == length;
}

bool SliceSource::read(u64 offset, void* out, std::size_t length) {
  if (!fits(offset, length, length_)) return false;
  return whole_.read(offset_ + offset, out, length);
}

std::string number(u64 value) { return std::to_string(value); }

std::string hex_number(u64 value) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

std::string printable(const std::string& bytes, std::size_t limit) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string shown;
  std::size_t count = bytes.size() < limit ? bytes.size() : limit;
  for (std::size_t i = 0; i < count; ++i) {
    u8 c = static_cast<u8>(bytes[i]);
    if (c == '\n') {
      shown += "\\n";
    } else if (c >= 0x20 && c < 0x7f) {
      shown += static_cast<char>(c);
    } else {
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
    }
  }
  if (count < bytes.size()) shown += "...";
  return shown;
}

std::string fold_case(const std::string& text) {
  std::string folded = text;
  for (char& c : folded) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return folded;
}

}  // namespace zep::tool
