// What the fuzz targets share: a private temporary folder, file writing, and message boxes answered
// without a user.
#pragma once

#include <stdlib.h>
#include <unistd.h>

#include <cstddef>
#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/host_platform.h"

namespace zep::fuzz {

// A fresh folder below /tmp for the whole run, with a trailing '/'.
inline const std::string& private_folder() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/zep-fuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    return std::string(pattern) + "/";
  }();
  return folder;
}

inline void write_file(const std::string& path, const void* data, std::size_t length) {
  std::FILE* file = std::fopen(path.c_str(), "wb");
  if (file == nullptr) abort();
  if (length > 0 && std::fwrite(data, 1, length, file) != length) abort();
  std::fclose(file);
}

// Every question answered `answer`, every other box closed.
inline void answer_messages(int answer) {
  zep::host::set_message_handler([answer](zep::WindowRef, const char*, const char*, zep::u32 style) {
    return (style & 0xF) == zep::kMbYesNo ? answer : zep::kIdOk;
  });
}

// A talk table of one entry, "hi".
inline void write_small_talk_table(const std::string& path) {
  static const unsigned char tlk[] = {'T', 'L', 'K', ' ', 'V', '1', ' ', ' ', 0, 0, 1, 0, 0, 0, 44, 0, 0, 0,
                                      1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 0,
                                      0, 0, 'h', 'i'};
  write_file(path, tlk, sizeof tlk);
}

}  // namespace zep::fuzz
