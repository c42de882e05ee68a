// The large talk tables the benchmarks time: TLK V1 files of any number of entries, each with a text of
// 50 to 150 bytes (100 on average), built field by field with the standard library.
#pragma once

#include <cstdint>
#include <string>

namespace bench {

inline void put_u32(std::string& bytes, std::uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((value >> shift) & 0xFF);
}

// The length of text `i`: 50 to 150 bytes, 100 on average.
inline std::uint32_t text_length(std::uint32_t i) { return 50 + (i * 7919u) % 101; }

// A TLK V1 file of `count` entries, texts back to back.
inline std::string build_tlk(std::uint32_t count) {
  std::string bytes = "TLK V1  ";
  bytes += std::string(2, '\0');
  put_u32(bytes, count);
  put_u32(bytes, 18 + 26 * count);
  std::uint32_t offset = 0;
  for (std::uint32_t i = 0; i < count; ++i) {
    bytes += std::string("\x01\x00", 2);
    bytes += std::string("SND", 3) + std::string(5, '\0');
    put_u32(bytes, 0);
    put_u32(bytes, 0);
    put_u32(bytes, offset);
    put_u32(bytes, text_length(i));
    offset += text_length(i);
  }
  bytes.reserve(bytes.size() + offset);
  for (std::uint32_t i = 0; i < count; ++i) bytes += std::string(text_length(i), static_cast<char>('a' + i % 26));
  return bytes;
}

}  // namespace bench
